// The gate before a read or write and the alarm lines of a status reading, text for text.

#include <gtest/gtest.h>

#include "LinkProtocol.h"
#include "StatusGate.h"

namespace {

struct GateCase {
    const char* name;
    int flags;
    const char* message;   // nullptr: the exchange goes ahead
};

class GateTest : public ::testing::TestWithParam<GateCase> {};

TEST_P(GateTest, RefusesWithTheOneWarning)
{
    std::optional<std::string> message = GateMessage(GetParam().flags);
    if (GetParam().message == nullptr) {
        EXPECT_FALSE(message.has_value()) << *message;
    } else {
        ASSERT_TRUE(message.has_value());
        EXPECT_EQ(*message, GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Flags, GateTest,
    ::testing::Values(GateCase{"no_answer", -1, "Connect Device Failed !"}, GateCase{"idle", 0, nullptr},
                      GateCase{"busy", STATUS_BUSY, "Device is busying !"},
                      GateCase{"keyboard", STATUS_KEYBOARD, "Device is controled by keyboard !"},
                      GateCase{"busy_before_keyboard", STATUS_BUSY | STATUS_KEYBOARD, "Device is busying !"},
                      GateCase{"alarms_do_not_stop_it", 0x7C, nullptr}),
    [](const ::testing::TestParamInfo<GateCase>& info) { return std::string(info.param.name); });

struct AlarmCase {
    const char* name;
    int flags;
    bool program1On, program2On;
    std::vector<AlarmLine> lines;
};

class AlarmTest : public ::testing::TestWithParam<AlarmCase> {};

TEST_P(AlarmTest, ListsTheLinesInTheOrderTheyAreAdded)
{
    EncoderRecord record{};
    record.program_info1.start = GetParam().program1On ? 1 : 0;
    record.program_info2.start = GetParam().program2On ? 1 : 0;
    EXPECT_EQ(AlarmLines(GetParam().flags, record), GetParam().lines);
}

const std::vector<AlarmLine> kEveryAlarm = {
    {1, "Device temperature warning"}, {0, "Program-1 no output"}, {0, "Program-1 no input"},
    {0, "Program-2 no output"},        {0, "Program-2 no input"},
};

INSTANTIATE_TEST_SUITE_P(
    Readings, AlarmTest,
    ::testing::Values(
        AlarmCase{"no_answer", -1, true, true, {{1, "Connect device failed"}}}, AlarmCase{"quiet", 0, true, true, {}},
        AlarmCase{"busy_and_keyboard_are_not_alarms", STATUS_BUSY | STATUS_KEYBOARD, true, true, {}},
        AlarmCase{"everything", 0x7F, true, true, kEveryAlarm},
        AlarmCase{"programs_off_show_only_the_device", 0x7F, false, false, {{1, "Device temperature warning"}}},
        AlarmCase{
            "program2_off", STATUS_PROG2_NO_INPUT | STATUS_PROG1_NO_INPUT, true, false, {{0, "Program-1 no input"}}},
        AlarmCase{"program2_only",
                  STATUS_PROG2_NO_OUTPUT | STATUS_PROG1_NO_OUTPUT,
                  false,
                  true,
                  {{0, "Program-2 no output"}}}),
    [](const ::testing::TestParamInfo<AlarmCase>& info) { return std::string(info.param.name); });

}   // namespace
