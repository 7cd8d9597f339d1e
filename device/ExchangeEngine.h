#pragma once
// Runs the encoder exchanges (status, read, write, start, stop, search) for many encoders
// at once, every one a machine on an event loop (link/LinkExchange.h) of a small fixed pool
// (one a core, at most two): connects, sends, receives and fixed waits are events and
// timers, so a wait holds no thread and a batch of thousands takes one exchange's time. A
// read's settings document is parsed on a thread beside the loops. The bytes, waits, results and texts of an exchange
// are the link's; the engine adds concurrency, priorities, deadlines, cancelling and
// structured results.
//
// Rules:
// - One exchange per encoder at a time: a second one for an address that has an exchange
//   accepted and not yet finished is refused (reported as Refused, nothing runs).
// - Exchanges run on a copy of the record taken at submit. The engine never touches an
//   EncoderList; a read's new record comes back in the result, and the list's owner
//   applies it (ApplyResult in EncoderList.h). A failed, cancelled or refused exchange
//   carries no record.
// - As many run at once as the open-file limit allows (the soft limit is raised to the hard
//   one, and a margin is kept for the rest of the process: docs/engine.md), or fewer when
//   `maxInFlight` says so; the rest wait, the operator's commands ahead of monitor polls,
//   each kind in order of submitting. An exchange that finds no descriptor waits for one.
// - Every exchange is bounded. Each connect: LinkTiming::connectTimeoutMs (20000 ms).
//   Each fixed wait: its LinkTiming time (status 4000, read 20000, write 15000 ms).
//   All the receives that follow one fixed wait: receiveTimeoutMs (500 ms) per receive and
//   at most receiveBoundMs (2000 ms) together, whatever the peer trickles. So a read
//   ends at the latest 20000 + 2000 ms after its request went out, its status gate at
//   the latest 4000 + 2000 ms after its own request, each plus the time to connect.
//   A search listens for searchWindowMs (10000 ms).
// - Cancel (one exchange, one encoder's, a batch, or all) closes the exchange on the loop
//   at once, reported as Cancelled with no record and no messages.
// - Two wait modes, chosen per request: Fixed sends, waits the full time, receives (the
//   protocol's own behaviour); ReplyComplete ends as soon as the reply is complete, the
//   fixed wait being its deadline. Both give the same results and texts.
// - A write's document is kept in the out file (`outFile`) before the encoder is
//   contacted, one write at a time.
//
// Callbacks run through the executor given in the options (the window: its event loop;
// empty: on the loop thread that ran the exchange, one at a time across the loops, where a
// collector takes them), never inside a call to Submit or Cancel; an executor is called
// from any of the loops. A
// request made while the engine shuts down is reported as cancelled. Callbacks must not
// block for long and must not destroy the engine; they may submit or cancel.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "EncoderLink.h"
#include "EncoderRecord.h"

using ExchangeId = uint64_t;   // 0 is never an exchange
using BatchId = uint64_t;      // 0: not part of a batch

enum class ExchangeKind {
    Status,   // the message list's status reading (no gate)
    Read,     // status gate, then read the configuration
    Write,    // status gate, then write the configuration
    Start,    // start TS -> IP
    Stop,     // stop TS -> IP
    Search,   // discovery on a broadcast address
};

// The command text of a kind as the device list names it ("Read Configuration", ...).
const char* ExchangeKindName(ExchangeKind kind);

enum class ExchangeOutcome {
    Succeeded,   // status answered, configuration read, write answered "OK", start/stop sent, search ran
    Failed,      // the exchange ran (or stopped at the gate) and did not succeed
    Cancelled,   // cancelled before or while it ran
    Refused,     // that encoder already had an exchange in flight; nothing ran
    // This machine could not run it (no descriptor, no space, no local port); the encoder
    // had no say in it. `localError` tells the OS's reason.
    LocalFailure,
};

const char* ExchangeOutcomeName(ExchangeOutcome outcome);   // "succeeded", "failed", ...

enum class MessageKind { Warning, Tip };   // Warning: caption "Warning", exclamation; Tip: caption "Tip"

struct ExchangeMessage {
    MessageKind kind = MessageKind::Warning;
    std::string text;
    bool operator==(const ExchangeMessage& other) const { return kind == other.kind && text == other.text; }
};

struct ExchangeResult {
    ExchangeId id = 0;
    BatchId batch = 0;
    uint32_t address = 0;   // the record's ipAddr, or the search's broadcast address
    ExchangeKind kind = ExchangeKind::Status;
    ExchangeOutcome outcome = ExchangeOutcome::Failed;

    // The link operation's own int: status flags or -1 (Status); the reader's result or 0
    // (Read); 1 or 0 (Write, Start, Stop); 0 for a search. 0 when the gate stopped a read
    // or write, and when cancelled or refused.
    int linkResult = 0;

    // The status reading, when one was taken (Status, and the gate of Read and Write).
    bool statusTaken = false;
    int statusFlags = -1;     // StatusFlags, -1 when the encoder did not answer
    int8_t temperature = 0;   // status byte 2, signed; 0 means no reading

    // What the exchange would show, in order: the gate's warning, or the link's boxes.
    std::vector<ExchangeMessage> messages;

    // A successful read: the record as the encoder reported it (`loaded` set). A
    // successful write: the record as sent. Empty otherwise.
    std::optional<EncoderRecord> record;
    std::optional<EncoderRecord> written;
    // A successful read: the settings document's bytes exactly as the encoder sent them.
    std::string document;

    std::vector<uint32_t> found;   // a search: every address reported, in arrival order

    std::string localError;   // LocalFailure, or a local trouble beside the outcome (the out file)
    // It left the queue and ran: something may have reached the encoder. False for an
    // exchange cancelled or refused before it started, which sent nothing.
    bool ran = false;

    std::chrono::steady_clock::time_point submitted, started, finished;
    double QueuedMs() const { return std::chrono::duration<double, std::milli>(started - submitted).count(); }
    double RunMs() const { return std::chrono::duration<double, std::milli>(finished - started).count(); }
};

struct BatchSummary {
    BatchId id = 0;
    size_t total = 0, succeeded = 0, failed = 0, cancelled = 0, refused = 0, localFailures = 0;
};

// The result is the callback's own: a collector keeps it without copying a read's document.
using CompletionCallback = std::function<void(ExchangeResult)>;
using FoundCallback = std::function<void(ExchangeId, uint32_t address)>;   // search progress
using BatchCallback = std::function<void(const BatchSummary&)>;

struct ExchangeCallbacks {
    CompletionCallback done;   // every exchange, once
    FoundCallback found;       // a search, per address reported, as it arrives
};

// Who is waiting for an exchange: the operator's commands go ahead of monitor polls.
enum class ExchangePriority { Command, Poll };

struct ExchangeRequest {
    ExchangeKind kind = ExchangeKind::Status;
    EncoderRecord record{};             // copied at submit; its ipAddr names the encoder
    uint32_t searchAddress = 0;         // a search: the broadcast address, host order
    std::optional<WaitMode> waitMode;   // empty: the engine's LinkOptions::waitMode
    ExchangePriority priority = ExchangePriority::Command;
};

// Runs a piece of work where the caller wants its results (its own thread, its own loop).
using Executor = std::function<void(std::function<void()> work)>;

struct EngineOptions {
    LinkOptions link;                  // ports, waits, bounds, default wait mode; `sleep` is not used
    size_t maxInFlight = 0;            // a cap on exchanges running at once; 0: the open-file limit's
    size_t loops = 0;                  // event loops the exchanges share; 0: one a core, at most two
    Executor executor;                 // where callbacks run; empty: on the engine's loops, one at a time
    std::string outFile = "out.xml";   // a write's document, as sent; empty: not kept
};

class ExchangeEngine {
public:
    explicit ExchangeEngine(EngineOptions options = {});
    // Cancels every exchange and stops the loop; every result has been handed to the
    // executor before it returns (without an executor: every callback has run).
    ~ExchangeEngine();
    ExchangeEngine(const ExchangeEngine&) = delete;
    ExchangeEngine& operator=(const ExchangeEngine&) = delete;

    const EngineOptions& Options() const { return m_options; }

    // Accepts an exchange and returns its id (never 0). A refused one is reported through
    // `callbacks.done` like any other, later, and its id returned all the same.
    ExchangeId Submit(const ExchangeRequest& request, ExchangeCallbacks callbacks);
    ExchangeId Status(const EncoderRecord& record, CompletionCallback done);
    ExchangeId Read(const EncoderRecord& record, CompletionCallback done);
    ExchangeId Write(const EncoderRecord& record, CompletionCallback done);
    ExchangeId Start(const EncoderRecord& record, CompletionCallback done);
    ExchangeId Stop(const EncoderRecord& record, CompletionCallback done);
    ExchangeId Search(uint32_t broadcastAddress, CompletionCallback done, FoundCallback found = {});

    // One exchange of `kind` per record ("read these 50"). Each is reported through
    // `callbacks.done` like a single one, then `end` once with the counts.
    struct BatchTicket {
        BatchId id = 0;
        std::vector<ExchangeId> exchanges;   // in the order of `records`
    };
    BatchTicket SubmitBatch(ExchangeKind kind, const std::vector<EncoderRecord>& records,
                            const ExchangeCallbacks& callbacks, BatchCallback end);
    // The same for requests of any kinds, wait modes and priorities.
    BatchTicket SubmitBatch(const std::vector<ExchangeRequest>& requests, const ExchangeCallbacks& callbacks,
                            BatchCallback end);

    // Each returns how many exchanges it cancelled (not yet finished ones only).
    size_t Cancel(ExchangeId id);
    size_t CancelEncoder(uint32_t hostOrderAddress);
    size_t CancelBatch(BatchId batch);
    size_t CancelAll();
    // Cancels every exchange still waiting in the queue (nothing of them is sent); those
    // running go on to their end.
    size_t CancelQueued();

    bool InFlight(uint32_t hostOrderAddress) const;   // accepted and not yet finished
    size_t Pending() const;                           // accepted and not yet reported
    size_t Running() const;                           // running on the loop now
    size_t Limit() const;                             // how many may run at once now
    std::vector<uint32_t> RunningEncoders() const;    // the encoders of the exchanges running now
    // Blocks until every accepted exchange has been reported (callbacks returned);
    // false when `timeoutMs` (>= 0) passed first.
    bool WaitIdle(int timeoutMs = -1) const;

private:
    struct Job;
    struct Batch;
    struct Shared;
    class Runner;

    ExchangeId Accept(const ExchangeRequest& request, ExchangeCallbacks callbacks, BatchId batch);
    size_t CancelWhere(const std::function<bool(const Job&)>& match);

    EngineOptions m_options;
    std::shared_ptr<Shared> m_shared;   // what outlives the engine in results not yet run
    std::unique_ptr<Runner> m_runner;   // the loop and what runs on it
};

// Collects results for a thread that waits for them (the command-line tool): pass Sink()
// as the completion callback, then take the results in the order they finished.
class ExchangeCollector {
public:
    CompletionCallback Sink();
    // The next result, waiting at most `timeoutMs` (< 0: for ever); empty on time-out.
    std::optional<ExchangeResult> Next(int timeoutMs = -1);
    // Waits until `count` results have arrived in all (taken ones included), or time-out.
    bool WaitFor(size_t count, int timeoutMs = -1);
    std::vector<ExchangeResult> TakeAll();

private:
    // Waits until `total` results have arrived in all, or time-out.
    bool WaitUntilLocked(std::unique_lock<std::mutex>& lock, size_t total, int timeoutMs);

    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<ExchangeResult> m_results;
    size_t m_total = 0;
    size_t m_wakeAt = SIZE_MAX;   // the fewest results in all a waiter waits for
};
