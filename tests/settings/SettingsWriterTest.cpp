#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cstring>
#include <string>
#include <vector>

#include "SettingsDocument.h"

namespace {

std::string Write(EncoderRecord& record)
{
    std::vector<char> buffer(10000, '\0');
    const int length = WriteSettingsDocument(record, buffer.data());
    EXPECT_EQ(length, static_cast<int>(std::strlen(buffer.data())));
    return std::string(buffer.data(), length);
}

// The document of a record that was added and never read or edited, line by line.
const char* const kZeroRecordDocument = "<?xml version=\"1.0\" encoding=\"GB2312\" standalone=\"no\" ?>\n"
                                        "<encoder_202>\n"
                                        "\t<system_info>\n"
                                        "\t\t<keyboard>0</keyboard>\n"
                                        "\t\t<version></version>\n"
                                        "\t\t<ipAddr>0.0.0.0</ipAddr>\n"
                                        "\t\t<ipMask>0.0.0.0</ipMask>\n"
                                        "\t\t<ipGate>0.0.0.0</ipGate>\n"
                                        "\t\t<password></password>\n"
                                        "\t\t<newPassword></newPassword>\n"
                                        "\t\t<deviceID>0</deviceID>\n"
                                        "\t\t<temperature>0</temperature>\n"
                                        "\t\t<defaultSetting>0</defaultSetting>\n"
                                        "\t\t<tsBitrate>0</tsBitrate>\n"
                                        "\t\t<tsipAddr>0.0.0.0</tsipAddr>\n"
                                        "\t\t<tsipPort>0</tsipPort>\n"
                                        "\t</system_info>\n"
                                        "\t<program_info1>\n"
                                        "\t\t<start>0</start>\n"
                                        "\t\t<progName>dvb</progName>\n"
                                        "\t\t<providerName>dvb</providerName>\n"
                                        "\t\t<progNO>0</progNO>\n"
                                        "\t\t<pmtPid>0</pmtPid>\n"
                                        "\t\t<pcrPid>0</pcrPid>\n"
                                        "\t\t<video>\n"
                                        "\t\t\t<pid>0</pid>\n"
                                        "\t\t\t<source>SDI</source>\n"
                                        "\t\t\t<standard></standard>\n"
                                        "\t\t\t<mode>VBR</mode>\n"
                                        "\t\t\t<bitrate>0</bitrate>\n"
                                        "\t\t\t<resolution>D1</resolution>\n"
                                        "\t\t\t<gop>I</gop>\n"
                                        "\t\t\t<filter>soft</filter>\n"
                                        "\t\t\t<lightness>0</lightness>\n"
                                        "\t\t\t<hue>0</hue>\n"
                                        "\t\t\t<saturation>0</saturation>\n"
                                        "\t\t\t<contrast>0</contrast>\n"
                                        "\t\t</video>\n"
                                        "\t\t<audio1>\n"
                                        "\t\t\t<pid>0</pid>\n"
                                        "\t\t\t<source>SDI</source>\n"
                                        "\t\t\t<audioSDI>0</audioSDI>\n"
                                        "\t\t\t<samplebitrate>32000</samplebitrate>\n"
                                        "\t\t\t<volumnLeft>0</volumnLeft>\n"
                                        "\t\t\t<volumnRight>0</volumnRight>\n"
                                        "\t\t\t<bitrate>32</bitrate>\n"
                                        "\t\t\t<mode>joint stereo</mode>\n"
                                        "\t\t\t<adjustVolumn>0</adjustVolumn>\n"
                                        "\t\t</audio1>\n"
                                        "\t\t<audio2>\n"
                                        "\t\t\t<pid>0</pid>\n"
                                        "\t\t\t<source>BALANCE2</source>\n"
                                        "\t\t\t<samplebitrate>32000</samplebitrate>\n"
                                        "\t\t\t<volumnLeft>0</volumnLeft>\n"
                                        "\t\t\t<volumnRight>0</volumnRight>\n"
                                        "\t\t\t<bitrate>32</bitrate>\n"
                                        "\t\t\t<mode>joint stereo</mode>\n"
                                        "\t\t\t<adjustVolumn>0</adjustVolumn>\n"
                                        "\t\t</audio2>\n"
                                        "\t</program_info1>\n"
                                        "\t<program_info2>\n"
                                        "\t\t<start>0</start>\n"
                                        "\t\t<progName>dvb</progName>\n"
                                        "\t\t<providerName>dvb</providerName>\n"
                                        "\t\t<progNO>0</progNO>\n"
                                        "\t\t<pmtPid>0</pmtPid>\n"
                                        "\t\t<pcrPid>0</pcrPid>\n"
                                        "\t\t<video>\n"
                                        "\t\t\t<pid>0</pid>\n"
                                        "\t\t\t<source>YPbPr</source>\n"
                                        "\t\t\t<standard></standard>\n"
                                        "\t\t\t<mode>VBR</mode>\n"
                                        "\t\t\t<bitrate>0</bitrate>\n"
                                        "\t\t\t<resolution>D1</resolution>\n"
                                        "\t\t\t<gop>I</gop>\n"
                                        "\t\t\t<filter>soft</filter>\n"
                                        "\t\t\t<lightness>0</lightness>\n"
                                        "\t\t\t<hue>0</hue>\n"
                                        "\t\t\t<saturation>0</saturation>\n"
                                        "\t\t\t<contrast>0</contrast>\n"
                                        "\t\t</video>\n"
                                        "\t\t<audio1>\n"
                                        "\t\t\t<pid>0</pid>\n"
                                        "\t\t\t<source>BALANCE2</source>\n"
                                        "\t\t\t<samplebitrate>32000</samplebitrate>\n"
                                        "\t\t\t<volumnLeft>0</volumnLeft>\n"
                                        "\t\t\t<volumnRight>0</volumnRight>\n"
                                        "\t\t\t<bitrate>32</bitrate>\n"
                                        "\t\t\t<mode>joint stereo</mode>\n"
                                        "\t\t\t<adjustVolumn>0</adjustVolumn>\n"
                                        "\t\t</audio1>\n"
                                        "\t</program_info2>\n"
                                        "</encoder_202>\n";

// The line of `document` that holds the n-th (0-based) element `name`, without its tabs.
std::string LineOf(const std::string& document, const std::string& name, int n = 0)
{
    size_t at = 0;
    for (int i = 0; i <= n; ++i) {
        at = document.find("<" + name + ">", i == 0 ? 0 : at + 1);
        if (at == std::string::npos) return "";
    }
    return document.substr(at, document.find('\n', at) - at);
}

bool WellFormed(const std::string& document)
{
    TiXmlDocument parsed;
    parsed.Parse(document.c_str());
    return !parsed.Error() && parsed.RootElement() != nullptr;
}

TEST(SettingsWriter, ZeroRecordGivesTheDocumentOfANewEncoder)
{
    EncoderRecord record{};
    EXPECT_EQ(Write(record), kZeroRecordDocument);
}

TEST(SettingsWriter, AppendsToTextAlreadyInTheBufferAndReturnsTheWholeLength)
{
    EncoderRecord record{};
    std::vector<char> buffer(10100, '\0');
    std::strcpy(buffer.data(), "HEAD");
    const int length = WriteSettingsDocument(record, buffer.data());
    EXPECT_EQ(std::string(buffer.data()), std::string("HEAD") + kZeroRecordDocument);
    EXPECT_EQ(length, static_cast<int>(4 + std::strlen(kZeroRecordDocument)));
}

TEST(SettingsWriter, EmptyNamesAreStoredAsDvbAndOthersKept)
{
    EncoderRecord record{};
    std::strcpy(record.program_info1.progName, "News");
    Write(record);
    EXPECT_STREQ(record.program_info1.progName, "News");
    EXPECT_STREQ(record.program_info1.providerName, "dvb");
    EXPECT_STREQ(record.program_info2.progName, "dvb");
    EXPECT_STREQ(record.program_info2.providerName, "dvb");
}

TEST(SettingsWriter, UnknownCodesGiveEachListsFallbackWord)
{
    EncoderRecord record{};
    for (VideoSettings* v : {&record.program_info1.video, &record.program_info2.video}) {
        v->source = v->mode = v->resolution = v->gop = v->filter = 255;
    }
    auto& a1 = record.program_info1.audio1;
    auto& a2 = record.program_info1.audio2;
    auto& b1 = record.program_info2.audio1;
    a1.source = a2.source = b1.source = 255;
    a1.samplebitrate = a2.samplebitrate = b1.samplebitrate = 255;
    a1.bitrate = a2.bitrate = b1.bitrate = 255;
    a1.mode = a2.mode = b1.mode = 255;
    const std::string doc = Write(record);

    EXPECT_EQ(LineOf(doc, "source", 0), "<source>none</source>");    // program 1 video
    EXPECT_EQ(LineOf(doc, "source", 1), "<source>none</source>");    // program 1 audio 1
    EXPECT_EQ(LineOf(doc, "source", 2), "<source>none</source>");    // program 1 audio 2
    EXPECT_EQ(LineOf(doc, "source", 3), "<source>CVBS2</source>");   // program 2 video
    EXPECT_EQ(LineOf(doc, "source", 4), "<source>none</source>");    // program 2 audio 1
    for (int n : {0, 1}) {
        EXPECT_EQ(LineOf(doc, "resolution", n), "<resolution>Q-SIF</resolution>");
        EXPECT_EQ(LineOf(doc, "gop", n), "<gop>IPBB</gop>");
        EXPECT_EQ(LineOf(doc, "filter", n), "<filter>sharp</filter>");
    }
    EXPECT_EQ(LineOf(doc, "mode", 0), "<mode>CBR</mode>");
    EXPECT_EQ(LineOf(doc, "mode", 3), "<mode>CBR</mode>");
    for (int n : {1, 2, 4}) EXPECT_EQ(LineOf(doc, "mode", n), "<mode>single</mode>");
    for (int n : {0, 1, 2}) {
        EXPECT_EQ(LineOf(doc, "samplebitrate", n), "<samplebitrate>48000</samplebitrate>");
    }
    EXPECT_EQ(LineOf(doc, "bitrate", 1), "<bitrate>384</bitrate>");   // after video bitrate
}

TEST(SettingsWriter, CodesJustPastTheListAlsoFallBack)
{
    EncoderRecord record{};
    record.program_info1.video.source = 2;
    record.program_info2.video.source = 1;
    record.program_info1.audio1.bitrate = 12;
    record.program_info1.audio2.bitrate = 13;
    record.program_info1.audio1.mode = 4;
    const std::string doc = Write(record);
    EXPECT_EQ(LineOf(doc, "source", 0), "<source>none</source>");
    EXPECT_EQ(LineOf(doc, "source", 3), "<source>CVBS2</source>");
    EXPECT_EQ(LineOf(doc, "bitrate", 1), "<bitrate>384</bitrate>");
    EXPECT_EQ(LineOf(doc, "bitrate", 2), "<bitrate>384</bitrate>");
    EXPECT_EQ(LineOf(doc, "mode", 1), "<mode>single</mode>");
}

TEST(SettingsWriter, NumbersAreDecimalsOfTheFieldsWidthAndSignedness)
{
    EncoderRecord record{};
    record.keyboard = -1;
    record.defaultSetting = static_cast<int8_t>(200);
    record.tsipPort = 5000;
    record.tsBitrate = -12;
    record.temperature = 65535;
    record.deviceID = 255;
    record.ipAddr = 0xC0A80164;
    record.tsipAddr = 0xEF010203;
    record.program_info1.start = 1;
    record.program_info1.audio1.audioSDI = -128;
    record.program_info2.progNO = 65535;
    const std::string doc = Write(record);
    EXPECT_EQ(LineOf(doc, "keyboard"), "<keyboard>-1</keyboard>");
    EXPECT_EQ(LineOf(doc, "defaultSetting"), "<defaultSetting>-56</defaultSetting>");
    EXPECT_EQ(LineOf(doc, "tsipPort"), "<tsipPort>5000</tsipPort>");
    EXPECT_EQ(LineOf(doc, "tsBitrate"), "<tsBitrate>-12</tsBitrate>");
    EXPECT_EQ(LineOf(doc, "temperature"), "<temperature>65535</temperature>");
    EXPECT_EQ(LineOf(doc, "deviceID"), "<deviceID>255</deviceID>");
    EXPECT_EQ(LineOf(doc, "ipAddr"), "<ipAddr>192.168.1.100</ipAddr>");
    EXPECT_EQ(LineOf(doc, "tsipAddr"), "<tsipAddr>239.1.2.3</tsipAddr>");
    EXPECT_EQ(LineOf(doc, "start"), "<start>1</start>");
    EXPECT_EQ(LineOf(doc, "audioSDI"), "<audioSDI>-128</audioSDI>");
    EXPECT_EQ(LineOf(doc, "progNO", 1), "<progNO>65535</progNO>");
}

TEST(SettingsWriter, BothElementsOfTheSecondAnalogueInputCarryOneFlag)
{
    EncoderRecord record{};
    record.program_info2.audio1.adjustVolumn = 1;
    record.program_info1.audio1.adjustVolumn = 0;
    const std::string doc = Write(record);
    EXPECT_EQ(LineOf(doc, "adjustVolumn", 0), "<adjustVolumn>0</adjustVolumn>");
    EXPECT_EQ(LineOf(doc, "adjustVolumn", 1), "<adjustVolumn>1</adjustVolumn>");
    EXPECT_EQ(LineOf(doc, "adjustVolumn", 2), "<adjustVolumn>1</adjustVolumn>");
}

TEST(EscapeXmlText, ReplacesTheFiveMarkupCharactersOnly)
{
    EXPECT_EQ(EscapeXmlText("A&B<C>"), "A&amp;B&lt;C&gt;");
    EXPECT_EQ(EscapeXmlText("\"'"), "&quot;&apos;");
    EXPECT_EQ(EscapeXmlText(""), "");
    EXPECT_EQ(EscapeXmlText("plain text 123"), "plain text 123");
    EXPECT_EQ(EscapeXmlText("\xB1\xB1\xBE\xA9"), "\xB1\xB1\xBE\xA9");   // bytes >= 0x80 pass
    EXPECT_EQ(EscapeXmlText(std::string(39, '"').c_str()).size(), 234u);
}

TEST(SettingsWriter, NamesAreEscaped)
{
    EncoderRecord record{};
    std::strcpy(record.program_info2.providerName, "A&B<C>");
    EXPECT_EQ(LineOf(Write(record), "providerName", 1), "<providerName>A&amp;B&lt;C&gt;</providerName>");
}

// Passwords, the version and the video standards are escaped too: a password must not be
// able to add elements to the document the encoder receives, nor make it unparseable.
TEST(SettingsWriter, EveryTextIsEscapedSoTheDocumentStaysWellFormed)
{
    EncoderRecord record{};
    std::strcpy(record.newPassword, "a</newPas");
    std::strcpy(record.password, "x&y");
    std::strcpy(record.version, "V<1>&\"'");
    std::strcpy(record.program_info1.video.standard, "P&L");
    std::strcpy(record.program_info2.video.standard, "<N>");
    const std::string doc = Write(record);
    EXPECT_TRUE(WellFormed(doc));
    EXPECT_EQ(LineOf(doc, "newPassword"), "<newPassword>a&lt;/newPas</newPassword>");
    EXPECT_EQ(LineOf(doc, "password"), "<password>x&amp;y</password>");
    EXPECT_EQ(LineOf(doc, "version"), "<version>V&lt;1&gt;&amp;&quot;&apos;</version>");
    EXPECT_EQ(LineOf(doc, "standard", 0), "<standard>P&amp;L</standard>");
    EXPECT_EQ(LineOf(doc, "standard", 1), "<standard>&lt;N&gt;</standard>");
}

TEST(SettingsWriter, InjectedElementsInANewPasswordStayText)
{
    EncoderRecord record{};
    const char* injected = "a</newPassword><ipAddr>10.0.0.9</ipAddr><newPassword>";
    std::memcpy(record.newPassword, injected, sizeof record.newPassword - 1);
    const std::string doc = Write(record);
    TiXmlDocument parsed;
    parsed.Parse(doc.c_str());
    ASSERT_FALSE(parsed.Error());
    const TiXmlElement* system = parsed.RootElement()->FirstChildElement("system_info");
    int ipAddrCount = 0;
    for (const TiXmlElement* e = system->FirstChildElement("ipAddr"); e; e = e->NextSiblingElement("ipAddr")) {
        ++ipAddrCount;
    }
    EXPECT_EQ(ipAddrCount, 1);
    EXPECT_EQ(std::string(system->FirstChildElement("newPassword")->GetText()),
              std::string(injected, sizeof record.newPassword - 1));
}

TEST(SettingsWriter, AFieldWithoutItsNulIsNeverReadPast)
{
    EncoderRecord record{};
    std::memset(record.version, 'V', sizeof record.version);
    std::memset(record.program_info1.progName, 'N', sizeof record.program_info1.progName);
    const std::string doc = Write(record);
    EXPECT_EQ(LineOf(doc, "version"), "<version>" + std::string(22, 'V') + "</version>");
    EXPECT_EQ(LineOf(doc, "progName"), "<progName>" + std::string(40, 'N') + "</progName>");
}

TEST(SettingsWriter, LongestEscapedTextsStayInsideTheCallersBuffer)
{
    EncoderRecord record{};
    for (char* field : {record.version, record.password, record.newPassword}) {
        std::memset(field, '"', field == record.version ? 21 : 19);
    }
    for (char* field : {record.program_info1.progName, record.program_info1.providerName, record.program_info2.progName,
                        record.program_info2.providerName}) {
        std::memset(field, '"', 39);
    }
    std::memset(record.program_info1.video.standard, '"', 9);
    std::memset(record.program_info2.video.standard, '"', 9);
    const std::string doc = Write(record);
    EXPECT_LT(doc.size(), 5000u);
    EXPECT_TRUE(WellFormed(doc));
}

// Every byte alone between two letters: the markup five become references, the control
// bytes no XML document may hold become '?', and every other byte goes out as it is.
TEST(EscapeXmlText, ReplacesEveryForbiddenControlByteAndKeepsTheRest)
{
    for (int byte = 1; byte <= 0xFF; ++byte) {
        const std::string text{'a', static_cast<char>(byte), 'b'};
        const std::string escaped = EscapeXmlText(text.c_str());
        const bool forbidden = (byte <= 0x08) || byte == 0x0B || byte == 0x0C || (byte >= 0x0E && byte <= 0x1F);
        EXPECT_EQ(IsXmlForbiddenByte(static_cast<unsigned char>(byte)), forbidden) << byte;
        if (forbidden) {
            EXPECT_EQ(escaped, "a?b") << byte;
        } else if (std::string("\"&'<>").find(static_cast<char>(byte)) == std::string::npos) {
            EXPECT_EQ(escaped, text) << byte;
        }
    }
}

TEST(SettingsWriter, NoTextFieldCarriesAForbiddenControlByteOut)
{
    std::string controls;
    for (int byte = 1; byte < 0x20; ++byte) {
        if (byte != 0x09 && byte != 0x0A && byte != 0x0D) controls += static_cast<char>(byte);
    }
    ASSERT_EQ(controls.size(), 28u);
    EncoderRecord record{};
    // Each field holds as many of them as it can, ending in a GB2312 pair that must survive.
    const auto fill = [&](char* field, size_t size, size_t from) {
        const std::string text = controls.substr(from % controls.size()) + controls;
        std::memcpy(field, text.data(), size - 3);
        std::memcpy(field + size - 3, "\xD6\xD0", 3);
    };
    fill(record.version, sizeof record.version, 0);
    fill(record.password, sizeof record.password, 3);
    fill(record.newPassword, sizeof record.newPassword, 6);
    fill(record.program_info1.progName, sizeof record.program_info1.progName, 9);
    fill(record.program_info1.providerName, sizeof record.program_info1.providerName, 12);
    fill(record.program_info2.progName, sizeof record.program_info2.progName, 15);
    fill(record.program_info2.providerName, sizeof record.program_info2.providerName, 18);
    fill(record.program_info1.video.standard, sizeof record.program_info1.video.standard, 21);
    fill(record.program_info2.video.standard, sizeof record.program_info2.video.standard, 24);
    const std::string doc = Write(record);
    for (char c : doc) EXPECT_FALSE(IsXmlForbiddenByte(static_cast<unsigned char>(c))) << int(c);
    EXPECT_EQ(LineOf(doc, "version"), "<version>" + std::string(19, '?') + "\xD6\xD0</version>");
    EXPECT_EQ(LineOf(doc, "progName", 1), "<progName>" + std::string(37, '?') + "\xD6\xD0</progName>");
    EXPECT_EQ(LineOf(doc, "standard", 1), "<standard>" + std::string(7, '?') + "\xD6\xD0</standard>");
    EXPECT_TRUE(WellFormed(doc));
}

}   // namespace
