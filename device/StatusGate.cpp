#include "StatusGate.h"

#include "OutcomeTexts.h"

const char* const kGateConnectFailed = TextOf(OutcomeText::GateConnectFailed);
const char* const kGateBusy = TextOf(OutcomeText::GateBusy);
const char* const kGateKeyboard = TextOf(OutcomeText::GateKeyboard);

std::optional<std::string> GateMessage(const DeviceStatusReading& reading)
{
    if (!reading.Answered()) return std::string(TextOf(OutcomeText::GateConnectFailed));
    if (reading.Busy()) return std::string(TextOf(OutcomeText::GateBusy));
    if (reading.KeyboardLocked()) return std::string(TextOf(OutcomeText::GateKeyboard));
    return std::nullopt;
}

std::optional<std::string> GateMessage(int statusFlags)
{
    return GateMessage(DeviceStatusReading(statusFlags, 0, {}));
}

std::vector<AlarmLine> AlarmLines(const DeviceStatusReading& reading, const EncoderRecord& record)
{
    if (!reading.Answered()) return {{kAlarmImageDevice, TextOf(OutcomeText::AlarmConnectFailed)}};
    const bool read = record.loaded != 0;
    const bool program1 = !read || record.program_info1.start != 0;
    const bool program2 = !read || record.program_info2.start != 0;
    // One row per alarm, in the order the lines are added.
    struct Row {
        bool raised;
        int image;
        OutcomeText text;
    };
    const Row rows[] = {
        {OverTemperatureAlarm(reading, record), kAlarmImageDevice, OutcomeText::AlarmTemperature},
        {program1 && !reading.HasOutput(1), kAlarmImageProgram, OutcomeText::AlarmProgram1NoOutput},
        {program1 && !reading.HasInput(1), kAlarmImageProgram, OutcomeText::AlarmProgram1NoInput},
        {program2 && !reading.HasOutput(2), kAlarmImageProgram, OutcomeText::AlarmProgram2NoOutput},
        {program2 && !reading.HasInput(2), kAlarmImageProgram, OutcomeText::AlarmProgram2NoInput},
    };
    std::vector<AlarmLine> lines;
    for (const Row& row : rows) {
        if (row.raised) lines.push_back({row.image, TextOf(row.text)});
    }
    return lines;
}

bool OverTemperatureAlarm(const DeviceStatusReading& reading, const EncoderRecord& record)
{
    return reading.OverTemperature() || (record.loaded != 0 && reading.Exceeds(record.temperature));
}

std::vector<std::string> AlarmNotes(const DeviceStatusReading& reading, const EncoderRecord& record)
{
    if (!reading.Answered() || record.loaded != 0) return {};
    return {TextOf(OutcomeText::NotReadProgramsAssumedOn), TextOf(OutcomeText::NotReadThresholdUnknown)};
}
