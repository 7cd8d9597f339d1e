#pragma once
// The engine's inside: its jobs, batches and counters, and the loop that runs the
// exchanges' machines. Only ExchangeEngine's sources include this.

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/thread_pool.hpp>

#include <array>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ExchangeEngine.h"
#include "LinkExchange.h"

namespace engine_detail {

// Gathers what one exchange would show; the engine hands it back in the result.
class CollectingReporter : public LinkReporter {
public:
    void Warning(const std::string& text) override { messages.push_back({MessageKind::Warning, text}); }
    void Tip(const std::string& text) override { messages.push_back({MessageKind::Tip, text}); }
    std::vector<ExchangeMessage> messages;
};

inline bool KeyedByRecord(ExchangeKind kind)
{
    return kind != ExchangeKind::Search;
}

}   // namespace engine_detail

struct ExchangeEngine::Job {
    enum class State { Queued, Running, Done };

    ExchangeId id = 0;
    BatchId batch = 0;
    ExchangeRequest request;
    ExchangeCallbacks callbacks;
    std::chrono::steady_clock::time_point submitted;
    bool holdsAddress = false;   // this job keeps its encoder from a second exchange

    // Guarded by the shared mutex.
    State state = State::Queued;
    bool cancelled = false;

    // Guarded by the shared mutex: the loop the job runs on, from when it starts.
    asio::io_context* loop = nullptr;

    // Its loop's only.
    LinkOptions link;
    engine_detail::CollectingReporter reporter;
    ExchangeResult result;
    std::shared_ptr<LinkExchange> machine;

    uint32_t Address() const
    {
        return request.kind == ExchangeKind::Search ? request.searchAddress : request.record.ipAddr;
    }
};

struct ExchangeEngine::Batch {
    BatchSummary summary;
    size_t unreported = 0;   // exchanges not yet counted into the summary
    // Results not yet handed to their callback: the batch's end follows the last of them, on
    // whichever loop it ended, never a result counted earlier on another loop.
    size_t unhanded = 0;
    BatchCallback end;
};

// Everything guarded by one mutex. Results still on their way to an executor keep it
// alive, so that they can be counted off after the engine is gone.
struct ExchangeEngine::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    size_t pending = 0;    // accepted, callbacks not yet returned
    size_t unhanded = 0;   // accepted, result not yet handed to the executor

    ExchangeId nextId = 1;
    BatchId nextBatch = 1;
    bool closing = false;
    std::unordered_map<ExchangeId, std::shared_ptr<Job>> jobs;   // accepted, not yet finished
    std::array<std::deque<std::shared_ptr<Job>>, 2> queues;      // by priority; done ones skipped
    std::unordered_set<uint32_t> busyAddresses;
    std::unordered_map<BatchId, std::shared_ptr<Batch>> batches;
    size_t running = 0;
    size_t descriptorLimit = 1;   // lowered when the system runs out, restored when idle
    size_t descriptorBudget = 1;
    size_t nextLoop = 0;   // the loop woken first to start what is queued
};

class ExchangeEngine::Runner {
public:
    Runner(const EngineOptions& options, std::shared_ptr<Shared> shared);
    ~Runner();   // stops the loop and joins its thread
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    // Any thread. With the shared mutex held: asks the loop to start what may start.
    void SchedulePumpLocked();
    // Any thread: the job (accepted, already counted) is reported with `outcome` from the loop.
    void PostFinish(const std::shared_ptr<Job>& job, ExchangeOutcome outcome);
    // Any thread, the mutex held: a batch with no exchange ends from the loop (counted as one).
    void PostBatchEnd(BatchCallback end, BatchSummary summary);
    // Any thread: the jobs (marked cancelled) end on the loop.
    void PostCancel(std::vector<std::shared_ptr<Job>> jobs);
    size_t LimitLocked() const;

private:
    // One event loop on a thread of its own. Each starts exchanges from the queues on
    // itself; the first also reports what ends off the loops (a refused request, one made
    // while the engine goes, a cancel of a queued one, a batch with no exchange).
    struct Loop {
        asio::io_context io;
        asio::executor_work_guard<asio::io_context::executor_type> work{asio::make_work_guard(io)};
        std::thread thread;
        bool pumpPosted = false;   // guarded by the shared mutex
    };

    asio::io_context& First() { return m_loops.front()->io; }
    // On `loop`: starts there what may start, a few jobs per taking of the mutex.
    void Pump(Loop& loop);
    // On whichever loop: ends a cancelled job on the loop it runs on.
    void CancelOnLoop(const std::shared_ptr<Job>& job, asio::io_context& here);
    void StartJob(const std::shared_ptr<Job>& job);
    void RunMachine(const std::shared_ptr<Job>& job, LinkOperation operation, std::function<void(LinkOutcome&)> then);
    void Gate(const std::shared_ptr<Job>& job, LinkOperation next);
    void TakeStatus(Job& job, const LinkOutcome& outcome);
    void Requeue(const std::shared_ptr<Job>& job);
    void Complete(const std::shared_ptr<Job>& job, ExchangeOutcome outcome);
    void Finish(const std::shared_ptr<Job>& job, ExchangeResult result);
    // Runs `work` where callbacks run; `result`: it reports an exchange or a batch, counted
    // off as handed once the executor has it (without one: once it has run).
    void Hand(std::function<void()> work, bool result);
    void Handed();

    const EngineOptions& m_options;
    std::shared_ptr<Shared> m_shared;
    std::vector<std::unique_ptr<Loop>> m_loops;
    std::mutex m_outFileMutex;              // writes on different loops replace the out file one by one
    std::recursive_mutex m_callbackMutex;   // without an executor, one callback at a time
    // Reads' settings documents are parsed here, beside the loop: with a thousand replies
    // coming in at once, the loop takes the next reply while the last one is parsed.
    asio::thread_pool m_decoder{1};
};
