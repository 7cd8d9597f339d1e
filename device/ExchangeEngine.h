#pragma once
// Runs the encoder exchanges (status, read, write, start, stop, search) for many encoders
// at once, each on a worker thread over its own CEncoderLink. The bytes, waits, results
// and texts of an exchange are the link's; the engine adds concurrency, deadlines,
// cancelling and structured results.
//
// Rules:
// - One exchange per encoder at a time: a second one for an address that has an exchange
//   accepted and not yet finished is refused (reported as Refused, nothing runs).
// - Exchanges run on a copy of the record taken at submit. The engine never touches an
//   EncoderList; a read's new record comes back in the result, and the list's owner
//   applies it (ApplyResult in EncoderList.h). A failed, cancelled or refused exchange
//   carries no record.
// - At most `maxInFlight` exchanges run at once; more wait in order of submitting. A
//   worker thread lives only while there are exchanges to run.
// - Every exchange is bounded. Each connect: LinkTiming::connectTimeoutMs (20000 ms).
//   Each fixed wait: its LinkTiming time (status 4000, read 20000, write 15000 ms).
//   All the receives that follow one fixed wait: receiveTimeoutMs (500 ms) per receive and
//   at most receiveBoundMs (2000 ms) together, whatever the peer trickles. So a read
//   ends at the latest 20000 + 2000 ms after its request went out, its status gate at
//   the latest 4000 + 2000 ms after its own request, each plus the time to connect.
//   A search listens for searchWindowMs (10000 ms) plus at most one receive time-out.
// - Cancel (one exchange, one encoder's, a batch, or all): a running exchange ends within
//   100 ms, its socket closed, reported as Cancelled with no record and no messages; one
//   still waiting for a slot is reported at once.
// - Two wait modes (LinkOptions::waitMode): Fixed sends, waits the full time, receives
//   (the protocol's own behaviour); ReplyComplete ends as soon as the reply is complete,
//   the fixed wait being its deadline. Both give the same results and texts for the same
//   encoder behaviour.
// - The out file of concurrent writes is written by one exchange at a time.
//
// Callbacks run on the engine's worker threads, except that a refused exchange, and one
// cancelled before it started, are reported on the thread that submitted or cancelled it
// before that call returns. Callbacks must not block for long and must not destroy the
// engine; they may submit or cancel. The window hands results to its own thread with a
// queued signal; the command-line tool collects them with an ExchangeCollector (below).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
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

    std::chrono::steady_clock::time_point submitted, started, finished;
    double QueuedMs() const { return std::chrono::duration<double, std::milli>(started - submitted).count(); }
    double RunMs() const { return std::chrono::duration<double, std::milli>(finished - started).count(); }
};

struct BatchSummary {
    BatchId id = 0;
    size_t total = 0, succeeded = 0, failed = 0, cancelled = 0, refused = 0;
};

using CompletionCallback = std::function<void(const ExchangeResult&)>;
using FoundCallback = std::function<void(ExchangeId, uint32_t address)>;   // search progress
using BatchCallback = std::function<void(const BatchSummary&)>;

struct ExchangeCallbacks {
    CompletionCallback done;   // every exchange, once
    FoundCallback found;       // a search, per address reported, as it arrives
};

struct ExchangeRequest {
    ExchangeKind kind = ExchangeKind::Status;
    EncoderRecord record{};       // copied at submit; its ipAddr names the encoder
    uint32_t searchAddress = 0;   // a search: the broadcast address, host order
};

struct EngineOptions {
    LinkOptions link;          // ports, waits, bounds, wait mode, out file; `sleep` best left empty
                               // (a given sleep cannot be cut short by a cancel)
    size_t maxInFlight = 64;   // exchanges running at once (at least 1)
};

class ExchangeEngine {
public:
    explicit ExchangeEngine(EngineOptions options = {});
    // Cancels every exchange and waits for the workers; callbacks of cancelled exchanges
    // still run, on the worker threads, before it returns.
    ~ExchangeEngine();
    ExchangeEngine(const ExchangeEngine&) = delete;
    ExchangeEngine& operator=(const ExchangeEngine&) = delete;

    const EngineOptions& Options() const { return m_options; }

    // Accepts an exchange and returns its id (never 0). A refused one is reported through
    // `callbacks.done` before this returns, and its id returned all the same.
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

    // Each returns how many exchanges it cancelled (not yet finished ones only).
    size_t Cancel(ExchangeId id);
    size_t CancelEncoder(uint32_t hostOrderAddress);
    size_t CancelBatch(BatchId batch);
    size_t CancelAll();

    bool InFlight(uint32_t hostOrderAddress) const;   // accepted and not yet finished
    size_t Pending() const;                           // accepted and not yet reported
    size_t Running() const;                           // running on a worker now
    // Blocks until every accepted exchange has been reported (callbacks returned);
    // false when `timeoutMs` (>= 0) passed first.
    bool WaitIdle(int timeoutMs = -1) const;

private:
    struct Job;
    struct Batch;

    ExchangeId Accept(const ExchangeRequest& request, ExchangeCallbacks callbacks, BatchId batch,
                      std::vector<std::shared_ptr<Job>>& refused);
    void SpawnWorkersLocked();
    void WorkerLoop();
    ExchangeResult Run(Job& job);
    void Report(Job& job, ExchangeResult result);
    size_t CancelWhere(const std::function<bool(const Job&)>& match);

    EngineOptions m_options;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    ExchangeId m_nextId = 1;
    BatchId m_nextBatch = 1;
    std::deque<std::shared_ptr<Job>> m_queue;                         // accepted, waiting for a slot
    std::unordered_map<ExchangeId, std::shared_ptr<Job>> m_running;   // on a worker now
    std::unordered_set<uint32_t> m_busyAddresses;                     // accepted record exchanges
    std::map<BatchId, std::shared_ptr<Batch>> m_batches;
    size_t m_pending = 0;   // accepted, not yet reported
    size_t m_workers = 0;   // worker loops alive
    std::list<std::thread> m_threads;
    std::vector<std::thread::id> m_exited;   // loops that ended, to join
    bool m_closing = false;
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
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<ExchangeResult> m_results;
    size_t m_total = 0;
};
