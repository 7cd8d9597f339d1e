#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "CommitRules.h"
#include "RecordSamples.h"
#include "SheetLayout.h"

void PrintTo(const BrokenRule& rule, std::ostream* out)
{
    *out << rule.controlId << " \"" << rule.warning << "\"";
}

namespace {

const char* const kSingle = "Audio bitrate in single mode must less than 192Kb !";
const char* const kOther = "Audio bitrate not  single mode must large than 64Kb !";

BrokenRule Broken(int id, std::string warning)
{
    return BrokenRule{id, "", "", std::move(warning)};
}

struct BreakCase {
    const char* name;
    std::function<void(EncoderRecord&)> breakIt;
    std::vector<BrokenRule> expected;
};

const BreakCase kBreaks[] = {
    {"warn_temperature_100",
     [](EncoderRecord& r) { r.temperature = 100; },
     {Broken(10008, "Temperature warning value must less than 99 !")}},
    {"ts_port_above_range",
     [](EncoderRecord& r) { r.tsipPort = 65536; },
     {Broken(10012, "IP port must between 0--65535!")}},
    {"ts_port_negative", [](EncoderRecord& r) { r.tsipPort = -1; }, {Broken(10012, "IP port must between 0--65535!")}},
    {"password_11_bytes",
     [](EncoderRecord& r) { std::strcpy(r.password, "12345678901"); },
     {Broken(10005, "Password length must less than 10 characters !")}},
    {"new_password_11_bytes",
     [](EncoderRecord& r) { std::strcpy(r.newPassword, "12345678901"); },
     {Broken(10006, "NewPassword length must less than 10 characters !")}},
    {"service_name_21_bytes",
     [](EncoderRecord& r) { std::strcpy(r.program_info1.progName, "123456789012345678901"); },
     {Broken(10014, "Service name length must less than 20 characters !")}},
    {"provider_2_21_bytes",
     [](EncoderRecord& r) { std::strcpy(r.program_info2.providerName, "123456789012345678901"); },
     {Broken(10046, "Service provider name length must less than 20 characters !")}},
    {"equal_program_numbers",
     [](EncoderRecord& r) { r.program_info2.progNO = 1; },
     {Broken(10016, "Program-1 Number conflicts with program-2's !"),
      Broken(10047, "Program-2 Number conflicts with program-1's !")}},
    {"program1_pcr_zero",
     [](EncoderRecord& r) { r.program_info1.pcrPid = 0; },
     {Broken(10018, "Pcr_Pid value must between 20 and 8190 !")}},
    {"program2_pcr_zero_is_fine", [](EncoderRecord& r) { r.program_info2.pcrPid = 0; }, {}},
    {"video_pid_8191",
     [](EncoderRecord& r) { r.program_info2.video.pid = 8191; },
     {Broken(10050, "Video_Pid value must between 20 and 8190 !")}},
    {"pmt_pid_19",
     [](EncoderRecord& r) { r.program_info1.pmtPid = 19; },
     {Broken(10017, "Pmt_Pid value must between 20 and 8190 !")}},
    {"pid_conflict_across_programs",
     [](EncoderRecord& r) { r.program_info2.audio1.pid = 256; },
     {Broken(10018, "Pcr_Pid conflict with Program-2's Audio1_Pid !"),
      Broken(10019, "Video_Pid conflict with Program-2's Audio1_Pid !"),
      Broken(10061, "Audio1_Pid conflict with Program-1's Pcr_Pid !")}},
    {"pmt_equal_to_own_pcr",
     [](EncoderRecord& r) { r.program_info2.pmtPid = 512; },
     {Broken(10048, "Pmt_Pid conflict with Program-2's Pcr_Pid !"),
      Broken(10049, "Pcr_Pid conflict with Program-2's Pmt_Pid !"),
      Broken(10050, "Video_Pid conflict with Program-2's Pmt_Pid !")}},
    {"video_bitrate_1499",
     [](EncoderRecord& r) { r.program_info1.video.bitrate = 1499; },
     {Broken(10022, "Video bitrate must between 1500 and 15000 kb !")}},
    {"video_bitrate_15001",
     [](EncoderRecord& r) { r.program_info2.video.bitrate = 15001; },
     {Broken(10053, "Video bitrate must between 1500 and 15000 kb !")}},
    {"volume_61",
     [](EncoderRecord& r) { r.program_info1.audio1.volumnLeft = 61; },
     {Broken(10033, "Audio Volumn value must between 0 and 60 !")}},
    {"second_input_volume_61_both_copies",
     [](EncoderRecord& r) { r.program_info1.audio2.volumnRight = r.program_info2.audio1.volumnRight = 61; },
     {Broken(10041, "Audio Volumn value must between 0 and 60 !"),
      Broken(10065, "Audio Volumn value must between 0 and 60 !")}},
    {"single_mode_at_224",
     [](EncoderRecord& r) {
         r.program_info1.audio1.mode = 3;
         r.program_info1.audio1.bitrate = 9;
     },
     {Broken(10035, kSingle), Broken(10036, kSingle)}},
    {"stereo_at_56_on_second_input",
     [](EncoderRecord& r) { r.program_info1.audio2.bitrate = r.program_info2.audio1.bitrate = 2; },
     {Broken(10042, kOther), Broken(10043, kOther), Broken(10066, kOther), Broken(10067, kOther)}},
    {"second_input_bitrates_differ",
     [](EncoderRecord& r) { r.program_info2.audio1.bitrate = 7; },
     {Broken(10042, "Bitrate(kbps) of the second analog input differs between Program 1 and Program 2 !")}},
    {"second_input_modes_differ",
     [](EncoderRecord& r) { r.program_info1.audio2.mode = 1; },
     {Broken(10043, "Audio Mode of the second analog input differs between Program 1 and Program 2 !")}},
    {"second_input_sources_differ",
     [](EncoderRecord& r) { r.program_info1.audio2.source = 255; },
     {Broken(10038, "Audio Input of the second analog input differs between Program 1 and Program 2 !")}},
    {"second_input_volumes_differ",
     [](EncoderRecord& r) { r.program_info2.audio1.volumnLeft = 29; },
     {Broken(10040, "Left Volume of the second analog input differs between Program 1 and Program 2 !")}},
    {"second_input_both_pids_used",
     [](EncoderRecord& r) { r.program_info1.audio2.pid = 300; },
     {Broken(10037, "Audio2_Pid conflict with Program-2's Audio1_Pid !")}},
    {"second_input_same_pid_twice",
     [](EncoderRecord& r) { r.program_info1.audio2.pid = 513; },
     {Broken(10037, "Audio2_Pid conflict with Program-2's Audio1_Pid !")}},
    {"sample_rates_differ",
     [](EncoderRecord& r) { r.program_info2.audio1.samplebitrate = 1; },
     {Broken(10063, "Sampling Frequency must be the same for every audio input !")}},
    {"program1_sample_rate_differs",
     [](EncoderRecord& r) { r.program_info1.audio1.samplebitrate = 0; },
     {Broken(10039, "Sampling Frequency must be the same for every audio input !"),
      Broken(10063, "Sampling Frequency must be the same for every audio input !")}},
    // Fields no sheet row edits are not the operator's to get wrong.
    {"fields_without_rows_are_free",
     [](EncoderRecord& r) {
         r.keyboard = -5;
         r.tsBitrate = -1;
         r.ipAddr = 0;
         r.program_info1.audio1.adjustVolumn = 7;
         std::memset(r.version, 'x', sizeof r.version);
     },
     {}},
};

void PrintTo(const BreakCase& c, std::ostream* out)
{
    *out << c.name;
}

class WholeRecord : public testing::TestWithParam<BreakCase> {};

TEST_P(WholeRecord, EachBrokenRuleIsNamedOnItsRow)
{
    EncoderRecord record = GoodRecord();
    GetParam().breakIt(record);
    const std::vector<BrokenRule> broken = CheckWholeRecord(record);
    EXPECT_EQ(broken, GetParam().expected);
    for (const BrokenRule& rule : broken) {
        const SheetRow* row = FindSheetRow(rule.controlId);
        ASSERT_NE(row, nullptr);
        EXPECT_STREQ(rule.label, row->label);
        EXPECT_STREQ(rule.heading, HeadingOf(*row));
    }
}

INSTANTIATE_TEST_SUITE_P(Check, WholeRecord, testing::ValuesIn(kBreaks),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WholeRecordCheck, AGoodRecordPasses)
{
    EXPECT_EQ(CheckWholeRecord(GoodRecord()), std::vector<BrokenRule>{});
}

TEST(WholeRecordCheck, TheCheckChangesNothing)
{
    EncoderRecord record{};
    const EncoderRecord before = record;
    CheckWholeRecord(record);
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): a record and its copy, byte for byte
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

// A record that was never read: video bitrate 0, every PID 0, both program numbers 0,
// the lowest audio bitrate in stereo. Writing it would wipe an encoder's settings.
TEST(WholeRecordCheck, TheZeroRecordIsRefused)
{
    const std::vector<BrokenRule> broken = CheckWholeRecord(EncoderRecord{});
    const std::vector<BrokenRule> expected = {
        Broken(10016, "Program-1 Number conflicts with program-2's !"),
        Broken(10018, "Pcr_Pid value must between 20 and 8190 !"),
        Broken(10022, "Video bitrate must between 1500 and 15000 kb !"),
        Broken(10035, kOther),
        Broken(10036, kOther),
        Broken(10042, kOther),
        Broken(10043, kOther),
        Broken(10047, "Program-2 Number conflicts with program-1's !"),
        Broken(10053, "Video bitrate must between 1500 and 15000 kb !"),
        Broken(10066, kOther),
        Broken(10067, kOther),
    };
    EXPECT_EQ(broken, expected);
}

// Any value an edit accepts leaves a record the whole check accepts: random edits of every
// editable row, with values around and beyond each row's limits.
TEST(WholeRecordCheck, EditsThatAreAcceptedKeepTheRecordWhole)
{
    std::vector<const SheetRow*> rows;
    ForEachSheetRow([&](const SheetRow& row, const char*) {
        if (row.commit.kind != CommitKind::None) rows.push_back(&row);
    });
    std::mt19937 random(20261208);
    EncoderRecord record = GoodRecord();
    int accepted = 0;
    for (int step = 0; step < 8000; ++step) {
        const SheetRow& row = *rows[random() % rows.size()];
        EditorValue value;
        switch (row.kind) {
        case RowKind::Combo:
            value = EditorValue::Index(static_cast<uint8_t>(random() % row.options.count));
            break;
        case RowKind::IPAddress:
            value = EditorValue::Address(static_cast<uint32_t>(random()));
            break;
        case RowKind::Text:
            value = EditorValue::Text(std::string(random() % 24, 'a' + random() % 26));
            break;
        default: {
            const int pick = static_cast<int>(random() % 4);
            const int v = pick == 0   ? static_cast<int>(random() % 100)
                          : pick == 1 ? static_cast<int>(random() % 9000)
                          : pick == 2 ? static_cast<int>(random() % 70000) - 100
                                      : static_cast<int>(random() % 40);
            value = EditorValue::Text(std::to_string(v));
        }
        }
        if (CommitSetting(row.controlId, value, record)) continue;
        ++accepted;
        const std::vector<BrokenRule> broken = CheckWholeRecord(record);
        ASSERT_EQ(broken, std::vector<BrokenRule>{}) << "after step " << step << " on " << row.controlId;
    }
    EXPECT_GT(accepted, 2000);
}

}   // namespace
