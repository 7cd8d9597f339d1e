#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "SettingsDocument.h"

namespace {

int ReadText(const std::string& text, EncoderRecord& record)
{
    return ReadSettingsText(text.data(), static_cast<int>(text.size()), record);
}

std::string Write(EncoderRecord record)
{
    std::vector<char> buffer(10000, '\0');
    return std::string(buffer.data(), WriteSettingsDocument(record, buffer.data()));
}

std::string InRoot(const std::string& body)
{
    return "<encoder_202>" + body + "</encoder_202>";
}

using Field = std::function<long long(const EncoderRecord&)>;

struct ReaderCase {
    const char* name;
    std::string document;
    Field field;
    long long expected;
};

void PrintTo(const ReaderCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReaderConversion : public testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderConversion, StoresTheConvertedValue)
{
    EncoderRecord record{};
    ASSERT_EQ(ReadText(GetParam().document, record), 1);
    EXPECT_EQ(GetParam().field(record), GetParam().expected);
}

std::string System(const std::string& leaves)
{
    return InRoot("<system_info>" + leaves + "</system_info>");
}
std::string Program1(const std::string& leaves)
{
    return InRoot("<program_info1>" + leaves + "</program_info1>");
}
std::string Program2(const std::string& leaves)
{
    return InRoot("<program_info2>" + leaves + "</program_info2>");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderConversion,
    testing::Values(
        // Numbers: atoi, saturated at 32 bits, then cut to the field's width.
        ReaderCase{"deviceID 300 wraps to 44", System("<deviceID>300</deviceID>"),
                   [](const EncoderRecord& r) { return r.deviceID; }, 44},
        ReaderCase{"progNO 70000 wraps to 4464", Program1("<progNO>70000</progNO>"),
                   [](const EncoderRecord& r) { return r.program_info1.progNO; }, 4464},
        ReaderCase{"progNO -1 is 65535", Program2("<progNO>-1</progNO>"),
                   [](const EncoderRecord& r) { return r.program_info2.progNO; }, 65535},
        ReaderCase{"keyboard 200 is -56", System("<keyboard>200</keyboard>"),
                   [](const EncoderRecord& r) { return r.keyboard; }, -56},
        ReaderCase{"tsBitrate stops at the first non-digit", System("<tsBitrate>12000kbps</tsBitrate>"),
                   [](const EncoderRecord& r) { return r.tsBitrate; }, 12000},
        ReaderCase{"tsBitrate saturates", System("<tsBitrate>99999999999</tsBitrate>"),
                   [](const EncoderRecord& r) { return r.tsBitrate; }, 2147483647},
        ReaderCase{"saturated then cut to 16 bits", System("<temperature>99999999999</temperature>"),
                   [](const EncoderRecord& r) { return r.temperature; }, 65535},
        ReaderCase{"negative saturation cut to 8 bits", System("<deviceID>-99999999999</deviceID>"),
                   [](const EncoderRecord& r) { return r.deviceID; }, 0},
        ReaderCase{"no digits is 0", System("<tsipPort>port</tsipPort>"),
                   [](const EncoderRecord& r) { return r.tsipPort; }, 0},
        ReaderCase{"surrounding blanks are trimmed", System("<tsipPort>  5000  </tsipPort>"),
                   [](const EncoderRecord& r) { return r.tsipPort; }, 5000},
        ReaderCase{"audioSDI of program 1", Program1("<audio1><audioSDI>7</audioSDI></audio1>"),
                   [](const EncoderRecord& r) { return r.program_info1.audio1.audioSDI; }, 7},
        ReaderCase{"video numbers", Program2("<video><contrast>256</contrast></video>"),
                   [](const EncoderRecord& r) { return r.program_info2.video.contrast; }, 0},
        // Addresses: inet_addr, in host order.
        ReaderCase{"ipAddr", System("<ipAddr>192.168.1.100</ipAddr>"), [](const EncoderRecord& r) { return r.ipAddr; },
                   0xC0A80164},
        ReaderCase{"ipAddr out of range", System("<ipAddr>10.0.0.300</ipAddr>"),
                   [](const EncoderRecord& r) { return r.ipAddr; }, 0xFFFFFFFF},
        ReaderCase{"ipMask garbage", System("<ipMask>mask</ipMask>"), [](const EncoderRecord& r) { return r.ipMask; },
                   0xFFFFFFFF},
        ReaderCase{"tsipAddr", System("<tsipAddr>239.0.0.1</tsipAddr>"),
                   [](const EncoderRecord& r) { return r.tsipAddr; }, 0xEF000001},
        // Words: exact, case-sensitive, else 255.
        ReaderCase{"VBR under program 1", Program1("<video><mode>CBR</mode><mode>VBR</mode></video>"),
                   [](const EncoderRecord& r) { return r.program_info1.video.mode; }, 0},
        ReaderCase{"vbr is not VBR", Program2("<video><mode>vbr</mode></video>"),
                   [](const EncoderRecord& r) { return r.program_info2.video.mode; }, 255},
        ReaderCase{"none is not a source", Program1("<video><source>none</source></video>"),
                   [](const EncoderRecord& r) { return r.program_info1.video.source; }, 255},
        ReaderCase{"CVBS1 is not in program 2's list", Program2("<video><source>CVBS1</source></video>"),
                   [](const EncoderRecord& r) { return r.program_info2.video.source; }, 255},
        ReaderCase{"CVBS2 in program 2", Program2("<video><source>CVBS2</source></video>"),
                   [](const EncoderRecord& r) { return r.program_info2.video.source; }, 1},
        ReaderCase{"BALANCE1 in program 1 audio 1", Program1("<audio1><source>BALANCE1</source></audio1>"),
                   [](const EncoderRecord& r) { return r.program_info1.audio1.source; }, 1},
        ReaderCase{"BALANCE1 is not the second input", Program1("<audio2><source>BALANCE1</source></audio2>"),
                   [](const EncoderRecord& r) { return r.program_info1.audio2.source; }, 255},
        ReaderCase{"audio bitrate 224", Program2("<audio1><bitrate>224</bitrate></audio1>"),
                   [](const EncoderRecord& r) { return r.program_info2.audio1.bitrate; }, 9},
        ReaderCase{"condensed blanks in a word", Program1("<audio2><mode>  joint   stereo </mode></audio2>"),
                   [](const EncoderRecord& r) { return r.program_info1.audio2.mode; }, 0},
        ReaderCase{"sample rate", Program1("<audio1><samplebitrate>48000</samplebitrate></audio1>"),
                   [](const EncoderRecord& r) { return r.program_info1.audio1.samplebitrate; }, 2},
        // Flags: presence alone.
        ReaderCase{"adjustVolumn 0 stores 1", Program1("<audio1><adjustVolumn>0</adjustVolumn></audio1>"),
                   [](const EncoderRecord& r) { return r.program_info1.audio1.adjustVolumn; }, 1},
        ReaderCase{"empty adjustVolumn stores 1", Program2("<audio1><adjustVolumn/></audio1>"),
                   [](const EncoderRecord& r) { return r.program_info2.audio1.adjustVolumn; }, 1},
        ReaderCase{"program 1 audio 2 flag is program 2's", Program1("<audio2><adjustVolumn>x</adjustVolumn></audio2>"),
                   [](const EncoderRecord& r) { return r.program_info2.audio1.adjustVolumn; }, 1},
        // Leaves without a value keep what they had.
        ReaderCase{"empty element keeps the field", System("<deviceID>9</deviceID><deviceID/>"),
                   [](const EncoderRecord& r) { return r.deviceID; }, 9},
        ReaderCase{"start tag then end tag keeps the field", System("<ipAddr>1.2.3.4</ipAddr><ipAddr></ipAddr>"),
                   [](const EncoderRecord& r) { return r.ipAddr; }, 0x01020304},
        // The walk: order, duplicates, names.
        ReaderCase{"later duplicate wins",
                   InRoot("<system_info><deviceID>1</deviceID></system_info>"
                          "<system_info><deviceID>2</deviceID></system_info>"),
                   [](const EncoderRecord& r) { return r.deviceID; }, 2},
        ReaderCase{"names are case-sensitive", Program1("<video><PID>33</PID></video>"),
                   [](const EncoderRecord& r) { return r.program_info1.video.pid; }, 0},
        ReaderCase{"wrongly cased container is ignored", InRoot("<Program_info1><pcrPid>33</pcrPid></Program_info1>"),
                   [](const EncoderRecord& r) { return r.program_info1.pcrPid; }, 0},
        ReaderCase{"audioSDI elsewhere is ignored", Program1("<audio2><audioSDI>5</audioSDI></audio2>"),
                   [](const EncoderRecord& r) { return r.program_info1.audio1.audioSDI; }, 0},
        ReaderCase{"audio2 under program 2 is ignored", Program2("<audio2><pid>77</pid></audio2>"),
                   [](const EncoderRecord& r) { return r.program_info2.audio1.pid + r.program_info1.audio2.pid; }, 0},
        ReaderCase{"leaves directly under the root are ignored", InRoot("<deviceID>5</deviceID>"),
                   [](const EncoderRecord& r) { return r.deviceID; }, 0},
        ReaderCase{"CR LF and lone CR are line ends",
                   "<?xml version=\"1.0\" ?>\r\n<encoder_202>\r<system_info>\r\n<deviceID>\r12\r\n</deviceID>"
                   "</system_info></encoder_202>\r\n",
                   [](const EncoderRecord& r) { return r.deviceID; }, 12}));

TEST(SettingsReader, TextsAreCopiedWithEntitiesDecoded)
{
    EncoderRecord record{};
    ASSERT_EQ(ReadText(InRoot("<system_info><version>HW&amp;2</version></system_info>"
                              "<program_info1><progName>A&amp;B</progName>"
                              "<video><standard>PAL</standard></video></program_info1>"),
                       record),
              1);
    EXPECT_STREQ(record.version, "HW&2");
    EXPECT_STREQ(record.program_info1.progName, "A&B");
    EXPECT_STREQ(record.program_info1.video.standard, "PAL");
    EXPECT_NE(Write(record).find("<progName>A&amp;B</progName>"), std::string::npos);
}

TEST(SettingsReader, TextsLongerThanTheirFieldAreCutToFit)
{
    EncoderRecord record{};
    ReadText(InRoot("<system_info><version>" + std::string(100, 'v') +
                    "</version></system_info>"
                    "<program_info2><video><standard>" +
                    std::string(30, 's') +
                    "</standard></video>"
                    "<providerName>" +
                    std::string(45, 'p') + "</providerName></program_info2>"),
             record);
    EXPECT_EQ(std::string(record.version), std::string(21, 'v'));
    EXPECT_EQ(std::string(record.program_info2.video.standard), std::string(9, 's'));
    EXPECT_EQ(std::string(record.program_info2.providerName), std::string(39, 'p'));
    EXPECT_EQ(record.program_info2.video.mode, 0);   // the next field is untouched
}

TEST(SettingsReader, ALongNameIsCutBetweenCharacters)
{
    // 19 pairs and one more: the 40th byte would be half of the 20th character.
    std::string name;
    for (int i = 0; i < 20; ++i) name += "\xD6\xD0";
    EncoderRecord record{};
    ReadText(InRoot("<program_info1><progName>A" + name +
                    "</progName>"
                    "<providerName>" +
                    name + "</providerName></program_info1>"),
             record);
    EXPECT_EQ(std::string(record.program_info1.progName), "A" + name.substr(0, 38));
    EXPECT_EQ(std::string(record.program_info1.providerName), name.substr(0, 38));
    // Bytes that are not pairs are cut where the field ends, as before.
    ReadText(InRoot("<program_info2><progName>" + std::string(39, 'x') + "\xD6\xD0</progName></program_info2>"),
             record);
    EXPECT_EQ(std::string(record.program_info2.progName), std::string(39, 'x'));
}

TEST(SettingsReader, PasswordsAreNeverTakenFromADocument)
{
    EncoderRecord record{};
    std::strcpy(record.password, "mine");
    ReadText(System("<password>theirs</password><newPassword>x</newPassword>"), record);
    EXPECT_STREQ(record.password, "mine");
    EXPECT_STREQ(record.newPassword, "");
}

TEST(SettingsReader, AnotherRootOrNoneLeavesTheRecordUntouched)
{
    EncoderRecord before{};
    before.deviceID = 3;
    before.loaded = 1;
    for (const std::string& text : {std::string("<encoder_203><system_info><deviceID>5</deviceID>"
                                                "</system_info></encoder_203>"),
                                    std::string("<Encoder_202/>"), std::string(""), std::string("not xml at all"),
                                    std::string("\0<encoder_202/>", 15)}) {
        EncoderRecord record = before;
        EXPECT_EQ(ReadText(text, record), 0) << text;
        // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): a record and its copy, byte for byte
        EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0) << text;
    }
    EncoderRecord record = before;
    EXPECT_EQ(ReadSettingsDocument(nullptr, record), 0);
}

TEST(SettingsReader, AnEmptyRootReadsAndChangesNothing)
{
    EncoderRecord before{};
    before.tsipPort = 1234;
    EncoderRecord record = before;
    EXPECT_EQ(ReadText("<encoder_202/>", record), 1);
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): a record and its copy, byte for byte
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

TEST(SettingsReader, MissingElementsKeepTheirValues)
{
    EncoderRecord record{};
    record.program_info1.video.bitrate = 4000;
    record.tsipPort = 1234;
    ReadText(Program1("<video><pid>100</pid></video>"), record);
    EXPECT_EQ(record.program_info1.video.pid, 100);
    EXPECT_EQ(record.program_info1.video.bitrate, 4000);
    EXPECT_EQ(record.tsipPort, 1234);
}

TEST(SettingsReader, OnlyTheGivenLengthIsRead)
{
    EncoderRecord record{};
    const std::string text = System("<deviceID>7</deviceID>") + "<trailing garbage";
    EXPECT_EQ(ReadSettingsText(text.data(), static_cast<int>(text.size()) - 17, record), 1);
    EXPECT_EQ(record.deviceID, 7);
}

// A reply cut off inside a multi-byte character must not lead the parser past its end.
TEST(SettingsReader, AReplyCutOffMidCharacterIsReadSafely)
{
    for (const char* tail : {"\xED", "\xF0\x9F", "\xEF\xBB", "\xED\n", "\xC3"}) {
        for (const std::string& head : {std::string("\xEF\xBB\xBF<encoder_202><system_info><version>"),
                                        std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><encoder_202>"),
                                        std::string("\xEF\xBB\xBF<encoder_202 a=\"")}) {
            const std::string text = head + tail;
            std::vector<char> exact(text.begin(), text.end());   // no terminator behind it
            EncoderRecord record{};
            EXPECT_EQ(ReadSettingsText(exact.data(), static_cast<int>(exact.size()), record), 1);
            EXPECT_EQ(record.version[sizeof record.version - 1], '\0');
        }
    }
}

// A realistic record written, read back into a fresh record and written again.
// What an encoder sends is kept byte for byte, control bytes and bytes that are not GB2312
// included; only the document written from it loses the control bytes XML forbids.
TEST(SettingsReader, TextsKeepTheEncodersBytesAndTheWriterReplacesControlBytes)
{
    EncoderRecord record{};
    ASSERT_EQ(ReadText("<?xml version=\"1.0\" encoding=\"GB2312\" standalone=\"no\" ?>\n" +
                           InRoot("<system_info><version>V\x01\x1F"
                                  "1</version></system_info>"
                                  "<program_info1><progName>\xD6\xD0\xCE\xC4</progName>"
                                  "<providerName>\x81\x40\xFF</providerName>"
                                  "<video><standard>P&#7;L</standard></video></program_info1>"),
                       record),
              1);
    EXPECT_STREQ(record.version, "V\x01\x1F"
                                 "1");
    EXPECT_STREQ(record.program_info1.progName, "\xD6\xD0\xCE\xC4");
    EXPECT_STREQ(record.program_info1.providerName, "\x81\x40\xFF");
    EXPECT_STREQ(record.program_info1.video.standard, "P\x07L");
    const std::string doc = Write(record);
    EXPECT_NE(doc.find("<version>V??1</version>"), std::string::npos);
    EXPECT_NE(doc.find("<progName>\xD6\xD0\xCE\xC4</progName>"), std::string::npos);
    EXPECT_NE(doc.find("<providerName>\x81\x40\xFF</providerName>"), std::string::npos);
    EXPECT_NE(doc.find("<standard>P?L</standard>"), std::string::npos);
}

TEST(SettingsRoundTrip, ARecordSurvivesWriteThenRead)
{
    EncoderRecord record{};
    record.keyboard = 1;
    std::strcpy(record.version, "KV-202 r3");
    record.ipAddr = 0xC0A8010A;
    record.ipMask = 0xFFFFFF00;
    record.ipGate = 0xC0A80101;
    record.deviceID = 12;
    record.temperature = 70;
    record.defaultSetting = -3;
    record.tsBitrate = 12000;
    record.tsipAddr = 0xEF010101;
    record.tsipPort = 1234;
    Program1Info& p1 = record.program_info1;
    p1.start = 1;
    std::strcpy(p1.progName, "News & <Weather>");
    std::strcpy(p1.providerName, "Kor'vane \"TV\"");
    p1.progNO = 1;
    p1.pmtPid = 32;
    p1.pcrPid = 100;
    p1.video = VideoSettings{100, 1, "PAL", 1, 6000, 1, 2, 1, 128, 127, 126, 125};
    p1.audio1 = Program1Audio1{101, 0, 3, 2, 40, 41, 8, 1, 1};
    p1.audio2 = Program1Audio2{0, 0, 2, 30, 31, 6, 3};
    Program2Info& p2 = record.program_info2;
    p2.start = 0;
    std::strcpy(p2.progName, "Sport");
    std::strcpy(p2.providerName, "Korvane");
    p2.progNO = 2;
    p2.pcrPid = 200;
    p2.video = VideoSettings{200, 1, "NTSC", 0, 3000, 3, 3, 2, 1, 2, 3, 4};
    p2.audio1 = Program2Audio1{201, 0, 2, 30, 31, 6, 3, 1};

    const std::string first = Write(record);
    EncoderRecord back{};
    ASSERT_EQ(ReadText(first, back), 1);
    // The document carries every field but the flag of having been read; the passwords
    // are empty on both sides, so the same document means the same settings.
    EXPECT_EQ(Write(back), first);
    EXPECT_STREQ(back.program_info1.progName, "News & <Weather>");
    EXPECT_STREQ(back.program_info1.providerName, "Kor'vane \"TV\"");
    EXPECT_EQ(back.program_info1.video.bitrate, 6000);
    EXPECT_EQ(back.program_info2.audio1.adjustVolumn, 1);
}

}   // namespace
