#pragma once
// Every text an operator reads about an outcome, in one table: the window's boxes, message
// list and activity log, and the command line's messages all take their words from here,
// so the same outcome reads the same everywhere. The exchanges' own boxes are listed too
// (the link shows them with these very words), so that one table names them all.

#include <string>
#include <vector>

enum class OutcomeText {
    // The gate before a read or a write (device list boxes).
    GateConnectFailed,
    GateBusy,
    GateKeyboard,
    // The message list's lines of one status reading.
    AlarmConnectFailed,
    AlarmTemperature,
    AlarmProgram1NoOutput,
    AlarmProgram1NoInput,
    AlarmProgram2NoOutput,
    AlarmProgram2NoInput,
    // What a reading of an encoder whose configuration was never read cannot tell.
    NotReadProgramsAssumedOn,
    NotReadThresholdUnknown,
    // The exchanges' boxes.
    CreateSocketFailed,
    ConnectEncoderFailed,
    ReadConfigurationFailed,
    PasswordMissing,
    NewPasswordMissing,
    SendFailed,
    ReplyCodeFailed,
    ReplyLengthFailed,
    ReplyPayloadFailed,
    WriteSucceeded,
    PasswordError,
    WriteFailed,
    // The workflows' own outcomes.
    ReadFirst,
    BrokenRulesNotWritten,
    NoSettingsDocument,
    RequestNotAcknowledged,
    Cancelled,
    ReadBackFailed,
    ReadBackAllTook,
    LocalFailure,
};

struct OutcomeTextEntry {
    OutcomeText id;
    const char* text;
};

// The whole table, in the order of the enumeration.
const std::vector<OutcomeTextEntry>& OutcomeTexts();
const char* TextOf(OutcomeText id);
// True when `text` is one of the table's texts, letter for letter.
bool IsOutcomeText(const std::string& text);

// The line that names a rule a record breaks: "Program1 - Video / Video_Pid: <warning>";
// the heading or the label may be empty, a rule of the whole document has neither.
std::string BrokenRuleLine(const char* heading, const char* label, const std::string& warning);
// A setting the encoder did not take, by the record field's dotted name.
std::string NotTakenLine(const std::string& name, const std::string& written, const std::string& readBack);
