#include "CEncoderSim.h"

#include "SettingsDocument.h"
#include "SettingsFields.h"

namespace {

// A two-program encoder as it leaves the factory: SDI on program 1, the analogue inputs
// on program 2, both programs on air. Each value is the text its element carries; the
// fields not named here are 0.
struct FactoryValue {
    FieldRef field;
    const char* text;
};

#define SET(path, text)                                                                                                \
    FactoryValue                                                                                                       \
    {                                                                                                                  \
        RECORD_FIELD(path), text                                                                                       \
    }

const FactoryValue kFactory[] = {
    SET(version, "KV202-HW2.1"),
    SET(ipMask, "255.255.255.0"),
    SET(deviceID, "1"),
    SET(temperature, "60"),
    SET(tsBitrate, "12000"),
    SET(tsipAddr, "239.1.1.1"),
    SET(tsipPort, "5000"),

    SET(program_info1.start, "1"),
    SET(program_info1.progName, "Korvane One"),
    SET(program_info1.providerName, "Korvane"),
    SET(program_info1.progNO, "1"),
    SET(program_info1.pmtPid, "32"),
    SET(program_info1.pcrPid, "256"),
    SET(program_info1.video.pid, "256"),
    SET(program_info1.video.source, "SDI"),
    SET(program_info1.video.standard, "PAL"),
    SET(program_info1.video.mode, "CBR"),
    SET(program_info1.video.bitrate, "4000"),
    SET(program_info1.video.resolution, "D1"),
    SET(program_info1.video.gop, "IPBB"),
    SET(program_info1.video.filter, "normal"),
    SET(program_info1.video.lightness, "128"),
    SET(program_info1.video.hue, "128"),
    SET(program_info1.video.saturation, "128"),
    SET(program_info1.video.contrast, "128"),
    SET(program_info1.audio1.pid, "257"),
    SET(program_info1.audio1.source, "SDI"),
    SET(program_info1.audio1.samplebitrate, "48000"),
    SET(program_info1.audio1.volumnLeft, "40"),
    SET(program_info1.audio1.volumnRight, "40"),
    SET(program_info1.audio1.bitrate, "192"),
    SET(program_info1.audio1.mode, "stereo"),
    SET(program_info1.audio1.adjustVolumn, "1"),
    SET(program_info1.audio2.source, "BALANCE2"),
    SET(program_info1.audio2.samplebitrate, "48000"),
    SET(program_info1.audio2.volumnLeft, "40"),
    SET(program_info1.audio2.volumnRight, "40"),
    SET(program_info1.audio2.bitrate, "128"),
    SET(program_info1.audio2.mode, "joint stereo"),

    SET(program_info2.start, "1"),
    SET(program_info2.progName, "Korvane Two"),
    SET(program_info2.providerName, "Korvane"),
    SET(program_info2.progNO, "2"),
    SET(program_info2.pmtPid, "33"),
    SET(program_info2.pcrPid, "512"),
    SET(program_info2.video.pid, "512"),
    SET(program_info2.video.source, "CVBS2"),
    SET(program_info2.video.standard, "PAL"),
    SET(program_info2.video.mode, "VBR"),
    SET(program_info2.video.bitrate, "3000"),
    SET(program_info2.video.resolution, "HALF-D1"),
    SET(program_info2.video.gop, "IPB"),
    SET(program_info2.video.filter, "soft"),
    SET(program_info2.video.lightness, "120"),
    SET(program_info2.video.hue, "128"),
    SET(program_info2.video.saturation, "130"),
    SET(program_info2.video.contrast, "126"),
    SET(program_info2.audio1.pid, "513"),
    SET(program_info2.audio1.source, "BALANCE2"),
    SET(program_info2.audio1.samplebitrate, "48000"),
    SET(program_info2.audio1.volumnLeft, "40"),
    SET(program_info2.audio1.volumnRight, "40"),
    SET(program_info2.audio1.bitrate, "128"),
    SET(program_info2.audio1.mode, "joint stereo"),
    SET(program_info2.audio1.adjustVolumn, "1"),
};

#undef SET

}   // namespace

std::string CEncoderSim::DefaultDocument(uint32_t hostOrderAddr)
{
    EncoderRecord record{};
    for (const FactoryValue& value : kFactory) {
        if (const SettingsField* element = FindSettingsField(value.field)) {
            StoreFieldText(*element, value.text, record);
        }
    }
    // The encoder reports the address it is reached at, so that a read never sends the
    // tool elsewhere.
    record.ipAddr = hostOrderAddr;
    record.ipGate = (hostOrderAddr & 0xFFFFFF00u) | 0xFEu;
    return EncoderSideDocument(record);
}
