#include "CEncoderSim.h"

#include "Socket.h"

namespace {

// A two-program encoder as it leaves the factory: SDI on program 1, the analogue inputs
// on program 2, both programs on air. The encoder never sends its passwords.
const char kDocument[] =
    "<?xml version=\"1.0\" encoding=\"GB2312\" standalone=\"no\" ?>\n"
    "<encoder_202>\n"
    "\t<system_info>\n"
    "\t\t<keyboard>0</keyboard>\n"
    "\t\t<version>KV202-HW2.1</version>\n"
    "\t\t<ipAddr>@ADDR@</ipAddr>\n"
    "\t\t<ipMask>255.255.255.0</ipMask>\n"
    "\t\t<ipGate>@GATE@</ipGate>\n"
    "\t\t<deviceID>1</deviceID>\n"
    "\t\t<temperature>60</temperature>\n"
    "\t\t<defaultSetting>0</defaultSetting>\n"
    "\t\t<tsBitrate>12000</tsBitrate>\n"
    "\t\t<tsipAddr>239.1.1.1</tsipAddr>\n"
    "\t\t<tsipPort>5000</tsipPort>\n"
    "\t</system_info>\n"
    "\t<program_info1>\n"
    "\t\t<start>1</start>\n"
    "\t\t<progName>Korvane One</progName>\n"
    "\t\t<providerName>Korvane</providerName>\n"
    "\t\t<progNO>1</progNO>\n"
    "\t\t<pmtPid>32</pmtPid>\n"
    "\t\t<pcrPid>256</pcrPid>\n"
    "\t\t<video>\n"
    "\t\t\t<pid>256</pid>\n"
    "\t\t\t<source>SDI</source>\n"
    "\t\t\t<standard>PAL</standard>\n"
    "\t\t\t<mode>CBR</mode>\n"
    "\t\t\t<bitrate>4000</bitrate>\n"
    "\t\t\t<resolution>D1</resolution>\n"
    "\t\t\t<gop>IPBB</gop>\n"
    "\t\t\t<filter>normal</filter>\n"
    "\t\t\t<lightness>128</lightness>\n"
    "\t\t\t<hue>128</hue>\n"
    "\t\t\t<saturation>128</saturation>\n"
    "\t\t\t<contrast>128</contrast>\n"
    "\t\t</video>\n"
    "\t\t<audio1>\n"
    "\t\t\t<pid>257</pid>\n"
    "\t\t\t<source>SDI</source>\n"
    "\t\t\t<audioSDI>0</audioSDI>\n"
    "\t\t\t<samplebitrate>48000</samplebitrate>\n"
    "\t\t\t<volumnLeft>40</volumnLeft>\n"
    "\t\t\t<volumnRight>40</volumnRight>\n"
    "\t\t\t<bitrate>192</bitrate>\n"
    "\t\t\t<mode>stereo</mode>\n"
    "\t\t\t<adjustVolumn>1</adjustVolumn>\n"
    "\t\t</audio1>\n"
    "\t\t<audio2>\n"
    "\t\t\t<pid>0</pid>\n"
    "\t\t\t<source>BALANCE2</source>\n"
    "\t\t\t<samplebitrate>48000</samplebitrate>\n"
    "\t\t\t<volumnLeft>40</volumnLeft>\n"
    "\t\t\t<volumnRight>40</volumnRight>\n"
    "\t\t\t<bitrate>128</bitrate>\n"
    "\t\t\t<mode>joint stereo</mode>\n"
    "\t\t\t<adjustVolumn>1</adjustVolumn>\n"
    "\t\t</audio2>\n"
    "\t</program_info1>\n"
    "\t<program_info2>\n"
    "\t\t<start>1</start>\n"
    "\t\t<progName>Korvane Two</progName>\n"
    "\t\t<providerName>Korvane</providerName>\n"
    "\t\t<progNO>2</progNO>\n"
    "\t\t<pmtPid>33</pmtPid>\n"
    "\t\t<pcrPid>512</pcrPid>\n"
    "\t\t<video>\n"
    "\t\t\t<pid>512</pid>\n"
    "\t\t\t<source>CVBS2</source>\n"
    "\t\t\t<standard>PAL</standard>\n"
    "\t\t\t<mode>VBR</mode>\n"
    "\t\t\t<bitrate>3000</bitrate>\n"
    "\t\t\t<resolution>HALF-D1</resolution>\n"
    "\t\t\t<gop>IPB</gop>\n"
    "\t\t\t<filter>soft</filter>\n"
    "\t\t\t<lightness>120</lightness>\n"
    "\t\t\t<hue>128</hue>\n"
    "\t\t\t<saturation>130</saturation>\n"
    "\t\t\t<contrast>126</contrast>\n"
    "\t\t</video>\n"
    "\t\t<audio1>\n"
    "\t\t\t<pid>513</pid>\n"
    "\t\t\t<source>BALANCE2</source>\n"
    "\t\t\t<samplebitrate>48000</samplebitrate>\n"
    "\t\t\t<volumnLeft>40</volumnLeft>\n"
    "\t\t\t<volumnRight>40</volumnRight>\n"
    "\t\t\t<bitrate>128</bitrate>\n"
    "\t\t\t<mode>joint stereo</mode>\n"
    "\t\t\t<adjustVolumn>1</adjustVolumn>\n"
    "\t\t</audio1>\n"
    "\t</program_info2>\n"
    "</encoder_202>\n";

void ReplaceAll(std::string& text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
}

}  // namespace

std::string CEncoderSim::DefaultDocument(uint32_t hostOrderAddr) {
    std::string document = kDocument;
    // The encoder reports the address it is reached at, so that a read never sends the
    // tool elsewhere.
    ReplaceAll(document, "@ADDR@", DottedFromAddress(hostOrderAddr));
    ReplaceAll(document, "@GATE@", DottedFromAddress((hostOrderAddr & 0xFFFFFF00u) | 0xFEu));
    return document;
}
