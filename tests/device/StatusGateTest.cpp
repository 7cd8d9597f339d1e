// A status reading's accessors, the gate before a read or write and the alarm lines of a
// reading, text for text, for encoders read and never read.

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

TEST(DeviceStatusReading, NamesEveryBitAndTheTemperature)
{
    const DeviceStatusReading none;
    EXPECT_FALSE(none.Answered());
    EXPECT_FALSE(none.Busy() || none.HasOutput(1) || none.HasInput(2) || none.HasTemperature());
    EXPECT_EQ(DeviceStatusReading(-5, 40, {}).Flags(), -1) << "any negative value is no answer";
    EXPECT_FALSE(DeviceStatusReading(-1, 40, {}).HasTemperature()) << "no answer carries no temperature";

    const DeviceStatusReading all(0x7F, 75, {});
    EXPECT_TRUE(all.Answered() && all.Busy() && all.KeyboardLocked() && all.OverTemperature());
    EXPECT_FALSE(all.HasOutput(1) || all.HasInput(1) || all.HasOutput(2) || all.HasInput(2));
    const DeviceStatusReading quiet(0, 38, {});
    EXPECT_TRUE(quiet.HasOutput(1) && quiet.HasInput(1) && quiet.HasOutput(2) && quiet.HasInput(2));
    EXPECT_FALSE(quiet.Busy() || quiet.KeyboardLocked() || quiet.OverTemperature());
    EXPECT_EQ(quiet.Temperature(), 38);
    // The encoder's own comparison: signed reading above the unsigned threshold, 0 off.
    EXPECT_TRUE(DeviceStatusReading(0, 60, {}).Exceeds(50));
    EXPECT_FALSE(DeviceStatusReading(0, 50, {}).Exceeds(50));
    EXPECT_FALSE(DeviceStatusReading(0, 60, {}).Exceeds(0));
    EXPECT_FALSE(DeviceStatusReading(0, -56, {}).Exceeds(50)) << "byte 200 is a negative reading";
    EXPECT_FALSE(DeviceStatusReading(0, 0, {}).Exceeds(1)) << "0 is no reading";
}

TEST(GateMessage, TakesTheReadingAsItsFlags)
{
    EXPECT_EQ(GateMessage(DeviceStatusReading(STATUS_KEYBOARD, 0, {})), GateMessage(STATUS_KEYBOARD));
    EXPECT_EQ(GateMessage(DeviceStatusReading()), std::optional<std::string>("Connect Device Failed !"));
}

struct AlarmCase {
    const char* name;
    int flags;
    bool program1On, program2On;
    std::vector<AlarmLine> lines;
    bool read = true;         // the configuration was read (the record is loaded)
    int8_t temperature = 0;   // the reading's temperature
    uint16_t threshold = 0;   // the record's warning threshold
};

class AlarmTest : public ::testing::TestWithParam<AlarmCase> {};

TEST_P(AlarmTest, ListsTheLinesInTheOrderTheyAreAdded)
{
    EncoderRecord record{};
    record.loaded = GetParam().read ? 1 : 0;
    record.temperature = GetParam().threshold;
    record.program_info1.start = GetParam().program1On ? 1 : 0;
    record.program_info2.start = GetParam().program2On ? 1 : 0;
    const DeviceStatusReading reading(GetParam().flags, GetParam().temperature, {});
    EXPECT_EQ(AlarmLines(reading, record), GetParam().lines);
    const bool notes = GetParam().flags >= 0 && !GetParam().read;
    EXPECT_EQ(AlarmNotes(reading, record).size(), notes ? 2u : 0u);
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
                  {{0, "Program-2 no output"}}},
        // Never read: nothing says a program is off, and no threshold is known.
        AlarmCase{"never_read_counts_both_programs",
                  STATUS_PROG1_NO_INPUT | STATUS_PROG2_NO_OUTPUT,
                  false,
                  false,
                  {{0, "Program-1 no input"}, {0, "Program-2 no output"}},
                  false},
        AlarmCase{"never_read_no_answer", -1, false, false, {{1, "Connect device failed"}}, false},
        AlarmCase{"never_read_hot_is_not_judged", 0, false, false, {}, false, 75, 60},
        // Read: the record's threshold judges the reading, even one taken before it was known.
        AlarmCase{"read_hot_above_threshold", 0, true, true, {{1, "Device temperature warning"}}, true, 75, 60},
        AlarmCase{"read_at_threshold", 0, true, true, {}, true, 60, 60},
        AlarmCase{"read_threshold_off", 0, true, true, {}, true, 75, 0}),
    [](const ::testing::TestParamInfo<AlarmCase>& info) { return std::string(info.param.name); });

}   // namespace
