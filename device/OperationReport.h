#pragma once
// What an operation is asked to do and what it says happened: the kinds of command, the
// options of a write and of a status, and the OperationReport each operation ends with,
// in the table's words (OutcomeTexts.h), which the caller only has to show.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DeviceStatusReading.h"
#include "EncoderList.h"
#include "ExchangeEngine.h"
#include "RecordComparison.h"
#include "StatusGate.h"

using OperationId = uint64_t;   // 0 is never an operation

enum class OperationKind { Status, Read, Write, Start, Stop };

// A box a single encoder's command shows, in order: the gate's refusal (owned by the
// device list) or the exchange's own (owned by the main window).
struct OperationBox {
    MessageKind kind = MessageKind::Warning;
    std::string text;
    bool fromGate = false;
    bool operator==(const OperationBox& other) const
    {
        return kind == other.kind && text == other.text && fromGate == other.fromGate;
    }
};

// Passwords given for a whole batch of writes, as typed (UTF-8): they go into the record
// sent as the encoder's GB2312, exactly as the sheet encodes typing, never into the
// encoder's entry, and nothing here stores them.
struct WritePasswords {
    std::string password, newPassword;
};

struct WriteOptions {
    // Read the configuration first, in this operation (the command line); otherwise the
    // entry must hold a record read before (the window).
    bool readFirst = false;
    // A settings file taken into the record as read, before the checks.
    std::optional<std::string> settingsFile;
    // For the batch; empty: the passwords typed into the entry's record.
    std::optional<WritePasswords> passwords;
    // Read the configuration back after "Set Configuration Success !" and compare.
    bool verify = false;
};

struct StatusOptions {
    bool readFirst = false;   // read the configuration first, so the alarms know the programs
    bool poll = false;        // a monitor's reading
};

struct OperationReport {
    OperationId id = 0;
    OperationKind kind = OperationKind::Status;
    uint32_t address = 0;
    ExchangeOutcome outcome = ExchangeOutcome::Failed;
    bool poll = false;

    std::vector<OperationBox> boxes;   // what a single encoder's command shows, in order
    // Why an outcome the boxes leave silent happened, or what it implies; for the log and
    // the command line's messages.
    std::vector<std::string> notes;
    uint64_t eventsFrom = 0;   // the entry's events this operation added: sequence numbers from here

    // Some exchange of the operation left the engine's queue: something may have reached
    // the encoder. False: nothing at all was sent to it.
    bool reached = false;
    // Ended by WindDown before its next exchange (the ones already sent had finished).
    bool interrupted = false;
    // This computer could not run the exchange (LocalFailure), or could not keep the copy
    // of the document sent: the system's reason. Never the encoder's fault.
    std::string localError;

    // Status: the reading, its alarm lines and what it could not tell.
    std::optional<DeviceStatusReading> status;
    std::vector<AlarmLine> alarms;
    std::vector<std::string> alarmNotes;

    // Read (and a write's own read): the record and the document as the encoder sent it.
    std::optional<EncoderRecord> record;
    std::string document;

    // Write.
    bool notRead = false;                   // refused: the configuration was not read first
    std::vector<std::string> brokenRules;   // refused: the rules the record breaks, one line each
    bool written = false;                   // the encoder answered "OK"
    std::optional<EncoderRecord> sent;      // the record as sent
    bool verifyRan = false;
    bool verifyRead = false;               // the read-back succeeded
    std::vector<FieldMismatch> notTaken;   // written and read back differ
    std::vector<std::string> notTakenLines;
};

// The command names, as the device list calls them.
const char* OperationName(OperationKind kind);
