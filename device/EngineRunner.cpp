#include "EngineRunner.h"

#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <algorithm>

#ifdef __linux__
#include <pthread.h>
#endif

#include "DescriptorBudget.h"
#include "OutFile.h"
#include "StatusGate.h"
#include "TextConversions.h"

using Clock = std::chrono::steady_clock;

namespace {

// Named so that a look at the process's threads (top -H, a debugger, the fleet bench) tells
// the engine's loops and its parser from the caller's. Linux keeps 15 characters.
void NameThisThread(const char* name)
{
#ifdef __linux__
    pthread_setname_np(pthread_self(), name);
#else
    (void)name;
#endif
}

// A small fixed pool: the kernel's share of each exchange (connect, send, close) is most of
// its cost, and two loops let two cores carry it; more would only add threads.
size_t LoopCount(size_t asked)
{
    if (asked != 0) {
        return asked;
    }
    return std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 2);
}

}   // namespace

ExchangeEngine::Runner::Runner(const EngineOptions& options, std::shared_ptr<Shared> shared)
    : m_options(options), m_shared(std::move(shared))
{
    size_t budget = ExchangeDescriptorBudget();
    m_shared->descriptorBudget = m_shared->descriptorLimit = budget;
    for (size_t i = LoopCount(m_options.loops); i > 0; --i) {
        try {
            auto loop = std::make_unique<Loop>();
            {
                // The loop's own descriptors (its readiness set, its wake-up, its timers)
                // are taken now, not when the first exchange may find none left.
                asio::ip::tcp::socket tcp(loop->io);
                asio::ip::udp::socket udp(loop->io);
                asio::steady_timer timer(loop->io);
            }
            m_loops.push_back(std::move(loop));
        } catch (const std::exception&) {
            // Without descriptors for another loop, fewer loops run it all; without any
            // for the first, the engine cannot run (the caller hears why).
            if (m_loops.empty()) {
                throw;
            }
            break;
        }
    }
    for (const std::unique_ptr<Loop>& loop : m_loops) {
        loop->thread = std::thread([&io = loop->io] {
            NameThisThread("korvane-loop");
            io.run();
        });
    }
    asio::post(m_decoder, [] { NameThisThread("korvane-parse"); });
}

ExchangeEngine::Runner::~Runner()
{
    for (const std::unique_ptr<Loop>& loop : m_loops) {
        loop->work.reset();
        loop->io.stop();
    }
    for (const std::unique_ptr<Loop>& loop : m_loops) {
        if (loop->thread.joinable()) {
            loop->thread.join();
        }
    }
    // A parse still under way belongs to an exchange already reported; what it posts back
    // finds its loop stopped and is dropped with it.
    m_decoder.join();
}

size_t ExchangeEngine::Runner::LimitLocked() const
{
    size_t limit = m_shared->descriptorLimit;
    if (m_options.maxInFlight > 0) {
        limit = std::min(limit, m_options.maxInFlight);
    }
    return std::max<size_t>(limit, 1);
}

void ExchangeEngine::Runner::SchedulePumpLocked()
{
    // With nothing queued there is nothing to start: the end of each exchange of a batch
    // that has all started would otherwise wake a loop for nothing. One job wakes one
    // loop (in turn); more wake them all, so that a fleet's connects are made on every
    // core at once rather than handed from one loop to the others one by one.
    size_t queued = 0;
    for (const std::deque<std::shared_ptr<Job>>& queue : m_shared->queues) {
        queued += queue.size();
    }
    size_t wake = std::min(queued, m_loops.size());
    for (size_t i = 0; i < m_loops.size() && wake > 0; ++i) {
        Loop& loop = *m_loops[(m_shared->nextLoop + i) % m_loops.size()];
        if (!loop.pumpPosted) {
            loop.pumpPosted = true;
            asio::post(loop.io, [this, &loop] { Pump(loop); });
        }
        --wake;
    }
    m_shared->nextLoop = (m_shared->nextLoop + 1) % m_loops.size();
}

void ExchangeEngine::Runner::PostFinish(const std::shared_ptr<Job>& job, ExchangeOutcome outcome)
{
    asio::post(First(), [this, job, outcome] { Complete(job, outcome); });
}

void ExchangeEngine::Runner::PostBatchEnd(BatchCallback end, BatchSummary summary)
{
    asio::post(First(), [this, end = std::move(end), summary] {
        std::shared_ptr<Shared> shared = m_shared;
        Hand(
            [shared, end, summary] {
                end(summary);
                std::lock_guard<std::mutex> lock(shared->mutex);
                --shared->pending;
                shared->changed.notify_all();
            },
            true);
    });
}

void ExchangeEngine::Runner::PostCancel(std::vector<std::shared_ptr<Job>> jobs)
{
    // One hand-over per loop, however many are cancelled at once (a fleet's worth).
    std::vector<std::vector<std::shared_ptr<Job>>> byLoop(m_loops.size());
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        for (std::shared_ptr<Job>& job : jobs) {
            size_t index = 0;   // a queued job's cancel goes to the first loop
            while (job->loop != nullptr && index + 1 < m_loops.size() && job->loop != &m_loops[index]->io) {
                ++index;
            }
            byLoop[index].push_back(std::move(job));
        }
    }
    for (size_t index = 0; index < byLoop.size(); ++index) {
        if (byLoop[index].empty()) {
            continue;
        }
        asio::io_context& loop = m_loops[index]->io;
        asio::post(loop, [this, &loop, cancelled = std::move(byLoop[index])] {
            for (const std::shared_ptr<Job>& job : cancelled) {
                CancelOnLoop(job, loop);
            }
        });
    }
}

void ExchangeEngine::Runner::CancelOnLoop(const std::shared_ptr<Job>& job, asio::io_context& here)
{
    Job::State state;
    asio::io_context* loop;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        state = job->state;
        loop = job->loop;
    }
    if (state == Job::State::Queued) {
        Complete(job, ExchangeOutcome::Cancelled);   // left in its queue; the pump skips it
    } else if (state == Job::State::Running && loop != &here) {
        // It went back to its queue for a descriptor and started again elsewhere.
        asio::post(*loop, [this, job, loop] { CancelOnLoop(job, *loop); });
    } else if (state == Job::State::Running && job->machine) {
        job->machine->Cancel();   // its machine reports the cancel from the loop
    }
}

void ExchangeEngine::Runner::Pump(Loop& loop)
{
    // A few at a time: the other loops take from the same queues, and a thousand takings
    // of the mutex each would have them wait on each other.
    constexpr size_t kTake = 16;
    std::vector<std::shared_ptr<Job>> taken;
    taken.reserve(kTake);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_shared->mutex);
            loop.pumpPosted = false;
            for (auto& queue : m_shared->queues) {   // commands first, then polls
                while (!queue.empty() && taken.size() < kTake && m_shared->running < LimitLocked()) {
                    std::shared_ptr<Job> next = std::move(queue.front());
                    queue.pop_front();
                    // A job cancelled while queued never starts: its cancel completes it.
                    if (next->state == Job::State::Queued && !next->cancelled) {
                        next->state = Job::State::Running;
                        next->loop = &loop.io;
                        ++m_shared->running;
                        taken.push_back(std::move(next));
                    }
                }
            }
        }
        if (taken.empty()) {
            return;
        }
        for (const std::shared_ptr<Job>& job : taken) {
            StartJob(job);
        }
        taken.clear();
    }
}

void ExchangeEngine::Runner::StartJob(const std::shared_ptr<Job>& job)
{
    job->result = ExchangeResult{};
    job->result.started = Clock::now();
    job->reporter.messages.clear();
    job->link = m_options.link;
    job->link.sleep = nullptr;   // a sleep would hold every exchange of the loop
    job->link.cancel = nullptr;
    if (job->request.waitMode) {
        job->link.waitMode = *job->request.waitMode;
    }
    switch (job->request.kind) {
    case ExchangeKind::Status:
        RunMachine(job, LinkOperation::Status, [this, job](LinkOutcome& outcome) {
            TakeStatus(*job, outcome);
            job->result.linkResult = outcome.reading.flags;
            Complete(job, outcome.reading.flags >= 0 ? ExchangeOutcome::Succeeded : ExchangeOutcome::Failed);
        });
        break;
    case ExchangeKind::Read:
        Gate(job, LinkOperation::Read);
        break;
    case ExchangeKind::Write:
        Gate(job, LinkOperation::Write);
        break;
    case ExchangeKind::Start:
    case ExchangeKind::Stop:
        RunMachine(job, job->request.kind == ExchangeKind::Start ? LinkOperation::Start : LinkOperation::Stop,
                   [this, job](LinkOutcome& outcome) {
                       job->result.linkResult = outcome.result;
                       Complete(job, outcome.result == 1 ? ExchangeOutcome::Succeeded : ExchangeOutcome::Failed);
                   });
        break;
    case ExchangeKind::Search:
        RunMachine(job, LinkOperation::Search,
                   [this, job](LinkOutcome&) { Complete(job, ExchangeOutcome::Succeeded); });
        break;
    }
}

void ExchangeEngine::Runner::TakeStatus(Job& job, const LinkOutcome& outcome)
{
    job.result.statusTaken = true;
    job.result.statusFlags = outcome.reading.flags;
    job.result.temperature = outcome.reading.temperature;
}

// A read or a write asks for the status first; the encoder's state may refuse it.
void ExchangeEngine::Runner::Gate(const std::shared_ptr<Job>& job, LinkOperation next)
{
    RunMachine(job, LinkOperation::Status, [this, job, next](LinkOutcome& status) {
        TakeStatus(*job, status);
        if (std::optional<std::string> refusal = GateMessage(status.reading.flags)) {
            job->reporter.messages.push_back({MessageKind::Warning, *refusal});
            Complete(job, ExchangeOutcome::Failed);
            return;
        }
        RunMachine(job, next, [this, job, next](LinkOutcome& outcome) {
            job->result.linkResult = outcome.result;
            bool succeeded = next == LinkOperation::Read ? outcome.result != 0 : outcome.result == 1;
            if (succeeded && next == LinkOperation::Read) {
                job->result.record = outcome.record;
                job->result.document = std::move(outcome.document);
            } else if (succeeded) {
                job->result.written = outcome.record;
            }
            Complete(job, succeeded ? ExchangeOutcome::Succeeded : ExchangeOutcome::Failed);
        });
    });
}

void ExchangeEngine::Runner::RunMachine(const std::shared_ptr<Job>& job, LinkOperation operation,
                                        std::function<void(LinkOutcome&)> then)
{
    LinkHooks hooks;
    if (operation == LinkOperation::Write && !m_options.outFile.empty()) {
        hooks.sending = [this, job](const std::string& document) {
            std::lock_guard<std::mutex> lock(m_outFileMutex);
            job->result.localError = SaveOutFile(m_options.outFile, document);
        };
    }
    if (operation == LinkOperation::Read) {
        hooks.decode = [this](std::function<void()> parse) { asio::post(m_decoder, std::move(parse)); };
    }
    if (operation == LinkOperation::Search) {
        hooks.found = [this, job](const std::string& dotted) {
            uint32_t address = InetAddrHostOrder(dotted.c_str());
            job->result.found.push_back(address);
            if (FoundCallback found = job->callbacks.found) {
                ExchangeId id = job->id;
                Hand([found, id, address] { found(id, address); }, false);
            }
        };
    }
    try {
        job->machine = LinkExchange::Make(
            *job->loop, job->reporter, job->link, operation, job->request.record, job->request.searchAddress,
            std::move(hooks), [this, job, then = std::move(then)](LinkOutcome& outcome) {
                job->machine.reset();
                if (outcome.cancelled) {
                    Complete(job, ExchangeOutcome::Cancelled);
                } else if (!outcome.localError.empty()) {
                    bool others;
                    {
                        std::lock_guard<std::mutex> lock(m_shared->mutex);
                        others = m_shared->running > 1;
                    }
                    if (others) {
                        Requeue(job);   // a descriptor comes free when another exchange ends
                    } else {
                        job->result.localError = outcome.localError;
                        Complete(job, ExchangeOutcome::LocalFailure);
                    }
                } else {
                    then(outcome);
                }
            });
    } catch (const std::exception& error) {
        LinkOutcome outcome;
        LinkExchange::ReportNoSocket(operation, job->request.record, job->reporter, outcome);
        job->result.localError = error.what();
        Complete(job, ExchangeOutcome::LocalFailure);
        return;
    }
    job->machine->Start();
}

// This machine ran out of something another exchange holds: the job waits at the head of
// its queue, and no more run at once than run now.
void ExchangeEngine::Runner::Requeue(const std::shared_ptr<Job>& job)
{
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        if (!job->cancelled) {
            --m_shared->running;
            m_shared->descriptorLimit = std::max<size_t>(1, m_shared->running);
            job->state = Job::State::Queued;
            m_shared->queues[static_cast<size_t>(job->request.priority)].push_front(job);
            return;
        }
    }
    Complete(job, ExchangeOutcome::Cancelled);
}

void ExchangeEngine::Runner::Complete(const std::shared_ptr<Job>& job, ExchangeOutcome outcome)
{
    ExchangeResult result = std::move(job->result);
    job->result = ExchangeResult{};
    result.outcome = outcome;
    result.messages = std::move(job->reporter.messages);
    job->reporter.messages.clear();
    result.finished = Clock::now();
    Finish(job, std::move(result));
}

void ExchangeEngine::Runner::Finish(const std::shared_ptr<Job>& job, ExchangeResult result)
{
    result.id = job->id;
    result.batch = job->batch;
    result.kind = job->request.kind;
    result.address = job->Address();
    result.submitted = job->submitted;
    if (result.started == Clock::time_point{}) {
        result.started = result.finished = Clock::now();
    }
    std::shared_ptr<Batch> batch;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        if (job->state == Job::State::Done) {
            return;   // reported already
        }
        // A cancel that came while the exchange ended still counts: whoever cancelled
        // hears "cancelled", and the record stays as it was.
        if (job->cancelled && result.outcome != ExchangeOutcome::Refused) {
            result.outcome = ExchangeOutcome::Cancelled;
        }
        if (job->state == Job::State::Running) {
            --m_shared->running;
            result.ran = true;
        }
        job->state = Job::State::Done;
        m_shared->jobs.erase(job->id);
        // The address is free again before anyone hears of the result, so that a caller
        // may start the next exchange from the callback or right after it.
        if (job->holdsAddress) {
            m_shared->busyAddresses.erase(job->request.record.ipAddr);
        }
        if (job->batch != 0) {
            auto it = m_shared->batches.find(job->batch);
            if (it != m_shared->batches.end()) {
                batch = it->second;
                switch (result.outcome) {
                case ExchangeOutcome::Succeeded:
                    ++batch->summary.succeeded;
                    break;
                case ExchangeOutcome::Failed:
                    ++batch->summary.failed;
                    break;
                case ExchangeOutcome::Cancelled:
                    ++batch->summary.cancelled;
                    break;
                case ExchangeOutcome::Refused:
                    ++batch->summary.refused;
                    break;
                case ExchangeOutcome::LocalFailure:
                    ++batch->summary.localFailures;
                    break;
                }
                if (--batch->unreported == 0) {
                    m_shared->batches.erase(it);   // counted whole: nothing of it left to cancel
                }
            }
        }
        if (m_shared->running == 0 && m_shared->jobs.empty()) {
            m_shared->descriptorLimit = m_shared->descriptorBudget;   // idle: whatever ran short is back
        }
        SchedulePumpLocked();
    }
    if (result.outcome == ExchangeOutcome::Cancelled || result.outcome == ExchangeOutcome::Refused) {
        // Nothing of a cancelled or refused exchange reaches the record or the operator.
        result.messages.clear();
        result.record.reset();
        result.written.reset();
        result.document.clear();
        result.linkResult = 0;
    }
    std::shared_ptr<Shared> shared = m_shared;
    Hand(
        [shared, done = job->callbacks.done, result = std::move(result), batch]() mutable {
            if (done) {
                done(std::move(result));
            }
            // Handed one at a time (executor, or one lock across loops): the last handed is heard last.
            BatchCallback end;
            BatchSummary summary;
            if (batch) {
                std::lock_guard<std::mutex> lock(shared->mutex);
                if (--batch->unhanded == 0) {
                    end = std::move(batch->end);
                    summary = batch->summary;
                }
            }
            if (end) {
                end(summary);
            }
            std::lock_guard<std::mutex> lock(shared->mutex);
            --shared->pending;
            shared->changed.notify_all();
        },
        true);
}

void ExchangeEngine::Runner::Handed()
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    --m_shared->unhanded;
    m_shared->changed.notify_all();
}

void ExchangeEngine::Runner::Hand(std::function<void()> work, bool result)
{
    if (m_options.executor) {
        m_options.executor(std::move(work));
    } else {
        // Without an executor callbacks run on the loop that ran the exchange, one at a
        // time across the loops.
        std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
        work();
    }
    if (result) {
        Handed();
    }
}
