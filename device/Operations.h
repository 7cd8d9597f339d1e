#pragma once
// The workflows both front ends run, over the exchange engine and the encoder list: search,
// status (and the alarms it raises), read, write (read-first rule, passwords, whole-record
// check, write, optional read-back with the fields that did not take), start and stop. The
// window and the command line call these and never sequence exchanges themselves; each
// operation ends with one OperationReport that says what happened in the table's words
// (OutcomeTexts.h), which the caller only has to show.
//
// Threads: the list belongs to the owner's thread. Engine results are handed to the
// owner's thread through the executor given at construction (the window: a queued call;
// the command line: a CallQueue it drains); the list is changed and `done` runs there,
// never inside the call that started the operation.

#include <cstdint>
#include <functional>
#include <memory>
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

// How a command on several encoders ended, one count per encoder.
struct OperationSummary {
    OperationKind kind = OperationKind::Read;
    size_t total = 0, succeeded = 0, failed = 0, cancelled = 0;
    // The exchanges this computer could not run (no descriptor, no memory, ...): no word about
    // the encoders, so never counted among the failed.
    size_t local = 0;
    // The encoders that failed, here or there, and why (the first thing their command said), in the order
    // they ended.
    struct Failure {
        uint32_t address = 0;
        std::string why;
    };
    std::vector<Failure> failures;
};
// "Read Configuration on 20 encoders: 17 succeeded, 3 failed." (", 2 cancelled" and ", 1 not
// run by this computer" before the point when any was).
std::string SummaryText(const OperationSummary& summary);
// One line per failed encoder, in address order: "10.1.2.20: Connect Device Failed !".
std::vector<std::string> SummaryFailureLines(const OperationSummary& summary);

class Operations {
public:
    using Executor = std::function<void(std::function<void()>)>;
    using Done = std::function<void(const OperationReport&)>;

    Operations(ExchangeEngine& engine, EncoderList& encoders, Executor executor);
    // Operations still running report nothing any more; their exchanges are cancelled.
    ~Operations();
    Operations(const Operations&) = delete;
    Operations& operator=(const Operations&) = delete;

    // Each starts one operation for a listed encoder; 0 (and nothing reported) when the
    // encoder is not listed.
    OperationId Status(uint32_t address, StatusOptions options, Done done);
    OperationId Read(uint32_t address, Done done);
    OperationId Write(uint32_t address, WriteOptions options, Done done);
    OperationId Start(uint32_t address, Done done);
    OperationId Stop(uint32_t address, Done done);
    OperationId Run(OperationKind kind, uint32_t address, Done done);

    // One command on several encoders: an operation each (a write with `write`), each
    // reported through `done` as if alone, then `end` once with the counts. The first
    // exchange of every operation goes to the engine as one batch. Encoders not listed
    // start nothing (0 in their place) and are not counted.
    using BatchDone = std::function<void(const OperationSummary&)>;
    std::vector<OperationId> RunBatch(OperationKind kind, const std::vector<uint32_t>& addresses,
                                      const WriteOptions& write, Done done, BatchDone end);

    // Discovery on a broadcast address: `found` per address as it answers (each once),
    // then `done` with the search's outcome (Succeeded: the request went out and the
    // listening window ended) and every address in arrival order.
    OperationId Search(uint32_t broadcast, const std::function<void(uint32_t)>& found,
                       const std::function<void(ExchangeOutcome, const std::vector<uint32_t>&)>& done);

    // Exchanges started from now on wait so (empty: the engine's own mode); those running
    // finish in the mode they started in.
    void SetWaitMode(std::optional<WaitMode> mode) { m_waitMode = mode; }

    // The checks before a write that need no exchange: the read-first rule and the whole
    // record. Empty when the record may be sent; otherwise the report's refusal.
    std::optional<OperationReport> CheckWrite(uint32_t address) const;
    // Whether the entry's record holds both passwords a write needs.
    bool HasPasswords(uint32_t address) const;

    // Cancels the encoder's operation (or everything); it reports Cancelled.
    void Cancel(uint32_t address);
    void CancelAll();

    // An interrupted batch: from now on no operation starts another exchange. Exchanges
    // still queued are cancelled (nothing of them is sent); those running finish within
    // their bounds, and their operations then end there, reported Cancelled with
    // `interrupted` set. Operations started later end the same way without sending.
    void WindDown();
    bool WindingDown() const { return m_windingDown; }

private:
    struct Flow;
    struct BatchCount;
    // The first exchanges of a batch, gathered by Submit while a batch starts.
    using Gathered = std::vector<std::pair<ExchangeRequest, std::shared_ptr<Flow>>>;
    void SubmitGathered(Gathered gathered);
    OperationId Begin(OperationKind kind, uint32_t address, Done done, std::shared_ptr<Flow>& flow);
    void Submit(const std::shared_ptr<Flow>& flow, ExchangeKind kind, const EncoderRecord& record);
    void OnResult(const std::shared_ptr<Flow>& flow, const ExchangeResult& result);
    void Continue(const std::shared_ptr<Flow>& flow, const ExchangeResult& result, EncoderEntry& entry);
    void PrepareWrite(const std::shared_ptr<Flow>& flow, EncoderEntry& entry);
    void Finish(const std::shared_ptr<Flow>& flow, ExchangeOutcome outcome);

    ExchangeEngine* m_engine;
    std::optional<WaitMode> m_waitMode;
    bool m_windingDown = false;
    EncoderList& m_encoders;
    Executor m_executor;
    std::shared_ptr<bool> m_alive;
    OperationId m_nextId = 1;
    Gathered* m_gathering = nullptr;
};
