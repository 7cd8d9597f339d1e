#pragma once
// What a status reading means to the operator: the gate that a read or a write of the
// configuration passes first, and the alarm lines of the message list. Plain functions of
// the reading and the record so that the window, the command-line tool and the operations
// show the same texts for the same reading.

#include <optional>
#include <string>
#include <vector>

#include "DeviceStatusReading.h"
#include "EncoderRecord.h"

// The gate's refusals, each shown as a warning; the read or write does not happen.
extern const char* const kGateConnectFailed;   // "Connect Device Failed !"
extern const char* const kGateBusy;            // "Device is busying !"
extern const char* const kGateKeyboard;        // "Device is controled by keyboard !"

// The gate before a read or write. Empty when the exchange may go ahead; otherwise the one
// warning to show. Busy is tested before the keyboard lock.
std::optional<std::string> GateMessage(const DeviceStatusReading& reading);
// The same for bare flags (-1: no answer), for the exchange engine's gate.
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
// (each new line goes on top, so the list shows them reversed). An unanswered reading is
// the single line "Connect device failed". Program lines appear for programs switched on
// (`start` nonzero) in `record`; while the configuration was never read, nothing says a
// program is off, so both count. Over-temperature is the encoder's own verdict, or the
// reading against the record's threshold once a read has brought it. Busy and keyboard are
// not alarms.
std::vector<AlarmLine> AlarmLines(const DeviceStatusReading& reading, const EncoderRecord& record);

// The over-temperature alarm: the encoder's own verdict, or the reading against the
// record's threshold once a read has brought it.
bool OverTemperatureAlarm(const DeviceStatusReading& reading, const EncoderRecord& record);

// What an answered reading could not tell because the configuration was never read: the
// programs were assumed on, the temperature threshold is unknown. Empty once it was read.
std::vector<std::string> AlarmNotes(const DeviceStatusReading& reading, const EncoderRecord& record);
