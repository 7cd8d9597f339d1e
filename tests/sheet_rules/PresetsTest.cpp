#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "Presets.h"
#include "RecordSamples.h"
#include "SettingsDocument.h"
#include "SheetLayout.h"

void PrintTo(const BrokenRule& rule, std::ostream* out);

namespace {

std::string Written(EncoderRecord record)
{
    std::vector<char> buffer(10000, '\0');
    return std::string(buffer.data(), WriteSettingsDocument(record, buffer.data()));
}

// NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): a record and its copy, byte for byte
bool SameBytes(const EncoderRecord& a, const EncoderRecord& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Another encoder, configured otherwise in every field, so that whatever is taken shows.
EncoderRecord OtherEncoder()
{
    EncoderRecord record = GoodRecord();
    SetByName(record, {
                          {"version", "KV202-HW3.0"},
                          {"ipAddr", "10.1.2.21"},
                          {"ipMask", "255.255.0.0"},
                          {"ipGate", "10.1.0.1"},
                          {"deviceID", "9"},
                          {"temperature", "70"},
                          {"tsBitrate", "9000"},
                          {"tsipAddr", "239.9.9.9"},
                          {"tsipPort", "6000"},
                          {"keyboard", "0"},
                          {"defaultSetting", "0"},
                          {"program_info1.start", "0"},
                          {"program_info1.progName", "Old"},
                          {"program_info1.progNO", "11"},
                          {"program_info1.pmtPid", "0"},
                          {"program_info1.pcrPid", "1000"},
                          {"program_info1.video.pid", "1001"},
                          {"program_info1.video.source", "CVBS1"},
                          {"program_info1.video.standard", "NTSC"},
                          {"program_info1.video.bitrate", "6000"},
                          {"program_info1.audio1.pid", "1002"},
                          {"program_info1.audio1.mode", "double"},
                          {"program_info1.audio1.samplebitrate", "44100"},
                          {"program_info1.audio2.samplebitrate", "44100"},
                          {"program_info2.audio1.samplebitrate", "44100"},
                          {"program_info1.audio2.pid", "1003"},
                          {"program_info2.audio1.pid", "0"},
                          {"program_info2.progNO", "12"},
                          {"program_info2.pmtPid", "40"},
                          {"program_info2.pcrPid", "0"},
                          {"program_info2.video.pid", "1004"},
                          {"program_info2.video.standard", "PAL"},
                      });
    record.program_info1.audio1.adjustVolumn = 0;
    record.program_info2.audio1.adjustVolumn = 0;
    std::strcpy(record.password, "admin");
    std::strcpy(record.newPassword, "next");
    return record;
}

// The fields a preset never carries from one encoder to another.
const char* const kKeptFields[] = {
    "ipAddr",
    "ipMask",
    "ipGate",
    "version",
    "tsBitrate",
    "keyboard",
    "defaultSetting",
    "program_info1.video.standard",
    "program_info2.video.standard",
    "program_info1.audio1.adjustVolumn",
    "program_info2.audio1.adjustVolumn",
};

TEST(SaveSettingsDocument, IsTheWrittenDocumentWithEmptyPasswords)
{
    EncoderRecord record = OtherEncoder();
    record.program_info2.progName[0] = '\0';
    const EncoderRecord before = record;
    const std::string saved = SaveSettingsDocument(record);
    EXPECT_TRUE(SameBytes(record, before));

    EncoderRecord withoutPasswords = record;
    withoutPasswords.password[0] = withoutPasswords.newPassword[0] = '\0';
    EXPECT_EQ(saved, Written(withoutPasswords));
    EXPECT_NE(saved.find("\t\t<password></password>\n\t\t<newPassword></newPassword>\n"), std::string::npos);
    EXPECT_EQ(saved.find("admin"), std::string::npos);
    EXPECT_NE(saved.find("<progName>dvb</progName>"), std::string::npos);
}

// Save one encoder's settings, apply them to another and write: the document is the
// source's, apart from the fields each encoder keeps.
TEST(ApplySettings, RoundTripTakesEveryEditableSettingButThePasswords)
{
    const EncoderRecord source = GoodRecord();
    EncoderRecord target = OtherEncoder();
    const EncoderRecord before = target;
    ASSERT_EQ(CheckWholeRecord(source), std::vector<BrokenRule>{});

    EXPECT_EQ(ApplySettings(SaveSettingsDocument(source), target), std::vector<BrokenRule>{});

    EncoderRecord expected = source;
    for (const char* name : kKeptFields) {
        const SettingsField* element = FindSettingsField(name);
        ASSERT_NE(element, nullptr) << name;
        std::memcpy(reinterpret_cast<char*>(&expected) + element->field.offset,
                    reinterpret_cast<const char*>(&before) + element->field.offset, element->field.size);
    }
    std::memcpy(expected.password, before.password, sizeof expected.password);
    std::memcpy(expected.newPassword, before.newPassword, sizeof expected.newPassword);
    EXPECT_EQ(Written(target), Written(expected));
    EXPECT_STREQ(target.password, "admin");
    EXPECT_STREQ(target.newPassword, "next");
}

TEST(ApplySettings, ApplyingAnEncodersOwnFileChangesNothing)
{
    EncoderRecord record = GoodRecord();
    std::strcpy(record.password, "admin");
    const EncoderRecord before = record;
    EXPECT_EQ(ApplySettings(SaveSettingsDocument(record), record), std::vector<BrokenRule>{});
    EXPECT_TRUE(SameBytes(record, before));
}

struct RefusedFile {
    const char* name;
    std::string text;
    std::vector<int> rows;   // the rows named, 0 for the file as a whole
};

std::string GoodFileWith(const char* from, const char* to)
{
    std::string text = SaveSettingsDocument(GoodRecord());
    const size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, std::strlen(from), to);
    return text;
}

const RefusedFile kRefused[] = {
    {"temperature_out_of_range", GoodFileWith("<temperature>60<", "<temperature>100<"), {10008}},
    {"pid_conflict", GoodFileWith("<pmtPid>33<", "<pmtPid>32<"), {10017, 10048}},
    {"zero_record",
     SaveSettingsDocument(EncoderRecord{}),
     {10016, 10018, 10022, 10035, 10036, 10042, 10043, 10047, 10053, 10066, 10067}},
    {"empty_file", "", {0}},
    {"other_root", "<?xml version=\"1.0\" ?>\n<encoder_203><system_info/></encoder_203>\n", {0}},
    {"not_xml", "deviceID=7\n", {0}},
    {"too_long", std::string(kMaxSettingsFileBytes + 1, ' '), {0}},
};

void PrintTo(const RefusedFile& f, std::ostream* out)
{
    *out << f.name;
}

class ApplyRefused : public testing::TestWithParam<RefusedFile> {};

TEST_P(ApplyRefused, LeavesTheRecordAndSaysWhy)
{
    EncoderRecord record = OtherEncoder();
    const EncoderRecord before = record;
    const std::vector<BrokenRule> reasons = ApplySettings(GetParam().text, record);
    std::vector<int> rows;
    for (const BrokenRule& reason : reasons) {
        rows.push_back(reason.controlId);
        EXPECT_FALSE(reason.warning.empty());
    }
    EXPECT_EQ(rows, GetParam().rows);
    EXPECT_TRUE(SameBytes(record, before));
}

INSTANTIATE_TEST_SUITE_P(Presets, ApplyRefused, testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ApplySettings, FileLevelReasonsAreWorded)
{
    EncoderRecord record = GoodRecord();
    EXPECT_EQ(ApplySettings("", record)[0].warning, "The file is not an encoder settings document !");
    EXPECT_EQ(ApplySettings(std::string(kMaxSettingsFileBytes + 1, ' '), record)[0].warning,
              "The settings file is too long !");
}

// The reader's tolerances: missing elements keep their values, line ends of any kind,
// and passwords or addresses in the file are not taken.
TEST(ApplySettings, APartialFileChangesOnlyWhatItCarries)
{
    EncoderRecord record = GoodRecord();
    EncoderRecord expected = record;
    expected.deviceID = 7;
    expected.program_info2.video.bitrate = 5000;
    const std::string file = "<?xml version=\"1.0\" encoding=\"GB2312\" standalone=\"no\" ?>\r\n<encoder_202>\r\n"
                             "<system_info><deviceID>7</deviceID><password>x</password><ipAddr>1.2.3.4</ipAddr>"
                             "<ipMask>0.0.0.0</ipMask><tsBitrate>1</tsBitrate><keyboard>9</keyboard></system_info>\r"
                             "<program_info2><video><bitrate>5000</bitrate><standard>X</standard></video>"
                             "<audio2><pid>99</pid></audio2></program_info2><unknown>1</unknown></encoder_202>";
    EXPECT_EQ(ApplySettings(file, record), std::vector<BrokenRule>{});
    EXPECT_TRUE(SameBytes(record, expected));
}

}   // namespace
