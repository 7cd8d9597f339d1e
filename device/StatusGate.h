#pragma once
// What a status reading means to the operator: the gate that a read or a write of the
// configuration passes first, and the alarm lines of the message list. Plain functions of
// the flags and the record so that the window, the command-line tool and the engine show
// the same texts for the same reading.

#include <optional>
#include <string>
#include <vector>

#include "EncoderRecord.h"

// The gate's refusals, each shown as a warning; the read or write does not happen.
extern const char* const kGateConnectFailed;   // "Connect Device Failed !"
extern const char* const kGateBusy;            // "Device is busying !"
extern const char* const kGateKeyboard;        // "Device is controled by keyboard !"

// The gate before a read or write, given the status flags (-1: no answer). Empty when the
// exchange may go ahead; otherwise the one warning to show. Busy is tested before the
// keyboard lock.
std::optional<std::string> GateMessage(int statusFlags);

// The image a line of the message list carries: device-level lines 1, program lines 0.
constexpr int kAlarmImageDevice = 1;
constexpr int kAlarmImageProgram = 0;

struct AlarmLine {
    int image = kAlarmImageDevice;
    std::string text;
    bool operator==(const AlarmLine& other) const { return image == other.image && text == other.text; }
};

// The lines one status reading adds to the message list, in the order they are added
// (each new line goes on top, so the list shows them reversed). A failed reading
// (-1) is the single line "Connect device failed". Program lines appear only for programs
// switched on (`start` nonzero) in `record` as it stands; busy and keyboard are not alarms.
std::vector<AlarmLine> AlarmLines(int statusFlags, const EncoderRecord& record);
