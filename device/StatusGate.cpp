#include "StatusGate.h"

#include "LinkProtocol.h"

const char* const kGateConnectFailed = "Connect Device Failed !";
const char* const kGateBusy = "Device is busying !";
const char* const kGateKeyboard = "Device is controled by keyboard !";

std::optional<std::string> GateMessage(int statusFlags)
{
    if (statusFlags < 0) {
        return std::string(kGateConnectFailed);
    }
    if (statusFlags & STATUS_BUSY) {
        return std::string(kGateBusy);
    }
    if (statusFlags & STATUS_KEYBOARD) {
        return std::string(kGateKeyboard);
    }
    return std::nullopt;
}

std::vector<AlarmLine> AlarmLines(int statusFlags, const EncoderRecord& record)
{
    if (statusFlags < 0) {
        return {{kAlarmImageDevice, "Connect device failed"}};
    }
    // One row per alarm, in the order the lines are added; the program rows count only for
    // programs switched on in the record.
    struct Row {
        int flag;
        bool counts;
        int image;
        const char* text;
    };
    const Row rows[] = {
        {STATUS_OVER_TEMPERATURE, true, kAlarmImageDevice, "Device temperature warning"},
        {STATUS_PROG1_NO_OUTPUT, record.program_info1.start != 0, kAlarmImageProgram, "Program-1 no output"},
        {STATUS_PROG1_NO_INPUT, record.program_info1.start != 0, kAlarmImageProgram, "Program-1 no input"},
        {STATUS_PROG2_NO_OUTPUT, record.program_info2.start != 0, kAlarmImageProgram, "Program-2 no output"},
        {STATUS_PROG2_NO_INPUT, record.program_info2.start != 0, kAlarmImageProgram, "Program-2 no input"},
    };
    std::vector<AlarmLine> lines;
    for (const Row& row : rows) {
        if ((statusFlags & row.flag) && row.counts) {
            lines.push_back({row.image, row.text});
        }
    }
    return lines;
}
