#include "ExchangeEngine.h"

#include <algorithm>

#include "Socket.h"
#include "StatusGate.h"
#include "TextConversions.h"

namespace {

using Clock = std::chrono::steady_clock;

// Gathers what one exchange would show; the engine hands it back in the result.
class CollectingReporter : public LinkReporter {
public:
    void Warning(const std::string& text) override { messages.push_back({MessageKind::Warning, text}); }
    void Tip(const std::string& text) override { messages.push_back({MessageKind::Tip, text}); }
    void BeginWait() override {}
    void EndWait() override {}

    std::vector<ExchangeMessage> messages;
};

bool KeyedByRecord(ExchangeKind kind)
{
    return kind != ExchangeKind::Search;
}

}   // namespace

const char* ExchangeKindName(ExchangeKind kind)
{
    switch (kind) {
    case ExchangeKind::Status:
        return "Read Device Message";
    case ExchangeKind::Read:
        return "Read Configuration";
    case ExchangeKind::Write:
        return "Write Configuration";
    case ExchangeKind::Start:
        return "Start TS -> IP";
    case ExchangeKind::Stop:
        return "Stop TS -> IP";
    case ExchangeKind::Search:
        return "Search Encoder";
    }
    return "";
}

const char* ExchangeOutcomeName(ExchangeOutcome outcome)
{
    switch (outcome) {
    case ExchangeOutcome::Succeeded:
        return "succeeded";
    case ExchangeOutcome::Failed:
        return "failed";
    case ExchangeOutcome::Cancelled:
        return "cancelled";
    case ExchangeOutcome::Refused:
        return "refused";
    }
    return "";
}

struct ExchangeEngine::Job {
    ExchangeId id = 0;
    BatchId batch = 0;
    ExchangeRequest request;
    ExchangeCallbacks callbacks;
    Clock::time_point submitted;
    std::unique_ptr<CWakeup> wake;   // made when the job starts to run
    bool cancelled = false;          // guarded by the engine's mutex

    uint32_t Address() const
    {
        return request.kind == ExchangeKind::Search ? request.searchAddress : request.record.ipAddr;
    }
};

struct ExchangeEngine::Batch {
    BatchSummary summary;
    size_t unreported = 0;
    BatchCallback end;
};

ExchangeEngine::ExchangeEngine(EngineOptions options) : m_options(std::move(options))
{
    if (m_options.maxInFlight == 0) {
        m_options.maxInFlight = 1;
    }
}

ExchangeEngine::~ExchangeEngine()
{
    CancelAll();
    std::list<std::thread> threads;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_closing = true;
        m_changed.wait(lock, [this] { return m_workers == 0; });
        threads.swap(m_threads);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

ExchangeId ExchangeEngine::Submit(const ExchangeRequest& request, ExchangeCallbacks callbacks)
{
    std::vector<std::shared_ptr<Job>> refused;
    ExchangeId id = Accept(request, std::move(callbacks), 0, refused);
    for (const std::shared_ptr<Job>& job : refused) {
        ExchangeResult result;
        result.outcome = ExchangeOutcome::Refused;
        Report(*job, std::move(result));
    }
    return id;
}

ExchangeId ExchangeEngine::Status(const EncoderRecord& record, CompletionCallback done)
{
    return Submit({ExchangeKind::Status, record, 0}, {std::move(done), {}});
}

ExchangeId ExchangeEngine::Read(const EncoderRecord& record, CompletionCallback done)
{
    return Submit({ExchangeKind::Read, record, 0}, {std::move(done), {}});
}

ExchangeId ExchangeEngine::Write(const EncoderRecord& record, CompletionCallback done)
{
    return Submit({ExchangeKind::Write, record, 0}, {std::move(done), {}});
}

ExchangeId ExchangeEngine::Start(const EncoderRecord& record, CompletionCallback done)
{
    return Submit({ExchangeKind::Start, record, 0}, {std::move(done), {}});
}

ExchangeId ExchangeEngine::Stop(const EncoderRecord& record, CompletionCallback done)
{
    return Submit({ExchangeKind::Stop, record, 0}, {std::move(done), {}});
}

ExchangeId ExchangeEngine::Search(uint32_t broadcastAddress, CompletionCallback done, FoundCallback found)
{
    ExchangeRequest request;
    request.kind = ExchangeKind::Search;
    request.searchAddress = broadcastAddress;
    return Submit(request, {std::move(done), std::move(found)});
}

ExchangeEngine::BatchTicket ExchangeEngine::SubmitBatch(ExchangeKind kind, const std::vector<EncoderRecord>& records,
                                                        const ExchangeCallbacks& callbacks, BatchCallback end)
{
    BatchTicket ticket;
    auto batch = std::make_shared<Batch>();
    batch->end = std::move(end);
    batch->summary.total = records.size();
    batch->unreported = records.size();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ticket.id = m_nextBatch++;
        batch->summary.id = ticket.id;
        m_batches[ticket.id] = batch;
    }
    std::vector<std::shared_ptr<Job>> refused;
    for (const EncoderRecord& record : records) {
        ExchangeRequest request;
        request.kind = kind;
        request.record = record;
        request.searchAddress = record.ipAddr;
        ticket.exchanges.push_back(Accept(request, callbacks, ticket.id, refused));
    }
    for (const std::shared_ptr<Job>& job : refused) {
        ExchangeResult result;
        result.outcome = ExchangeOutcome::Refused;
        Report(*job, std::move(result));
    }
    if (records.empty()) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_batches.erase(ticket.id);
        lock.unlock();
        if (batch->end) {
            batch->end(batch->summary);
        }
    }
    return ticket;
}

ExchangeId ExchangeEngine::Accept(const ExchangeRequest& request, ExchangeCallbacks callbacks, BatchId batch,
                                  std::vector<std::shared_ptr<Job>>& refused)
{
    auto job = std::make_shared<Job>();
    job->request = request;
    job->callbacks = std::move(callbacks);
    job->batch = batch;
    job->submitted = Clock::now();
    std::lock_guard<std::mutex> lock(m_mutex);
    job->id = m_nextId++;
    ++m_pending;
    if (KeyedByRecord(request.kind) && !m_busyAddresses.insert(request.record.ipAddr).second) {
        refused.push_back(job);   // reported by the caller, outside the lock
        return job->id;
    }
    m_queue.push_back(job);
    SpawnWorkersLocked();
    return job->id;
}

void ExchangeEngine::SpawnWorkersLocked()
{
    // Loops that have ended are joined here; they are past their last use of the engine.
    for (std::thread::id exited : m_exited) {
        for (auto it = m_threads.begin(); it != m_threads.end(); ++it) {
            if (it->get_id() == exited) {
                it->join();
                m_threads.erase(it);
                break;
            }
        }
    }
    m_exited.clear();
    size_t idle = m_workers - std::min(m_workers, m_running.size());
    while (!m_closing && m_workers < m_options.maxInFlight && m_queue.size() > idle) {
        try {
            m_threads.emplace_back([this] { WorkerLoop(); });
        } catch (const std::system_error&) {
            break;   // the running loops take the queue on
        }
        ++m_workers;
        ++idle;
    }
}

void ExchangeEngine::WorkerLoop()
{
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_queue.empty()) {
                --m_workers;
                m_exited.push_back(std::this_thread::get_id());
                m_changed.notify_all();
                return;
            }
            job = m_queue.front();
            m_queue.pop_front();
            job->wake = std::make_unique<CWakeup>();
            if (job->cancelled) {
                job->wake->Signal();
            }
            m_running[job->id] = job;
        }
        ExchangeResult result = Run(*job);
        Report(*job, std::move(result));
    }
}

ExchangeResult ExchangeEngine::Run(Job& job)
{
    ExchangeResult result;
    result.started = Clock::now();
    const ExchangeRequest& request = job.request;
    EncoderRecord record = request.record;   // the exchange works on its own copy
    LinkOptions options = m_options.link;
    options.cancel = job.wake.get();
    CollectingReporter reporter;
    CEncoderLink link(reporter, options);

    auto gate = [&]() {
        StatusReading reading;
        link.QueryStatus(record, reading);
        result.statusTaken = true;
        result.statusFlags = reading.flags;
        result.temperature = reading.temperature;
        if (std::optional<std::string> refusal = GateMessage(reading.flags)) {
            reporter.messages.push_back({MessageKind::Warning, *refusal});
            return false;
        }
        return true;
    };

    bool succeeded = false;
    switch (request.kind) {
    case ExchangeKind::Status: {
        StatusReading reading;
        result.linkResult = link.QueryStatus(record, reading);
        result.statusTaken = true;
        result.statusFlags = reading.flags;
        result.temperature = reading.temperature;
        succeeded = reading.flags >= 0;
        break;
    }
    case ExchangeKind::Read:
        if (gate()) {
            result.linkResult = link.ReadConfiguration(record, &result.document);
            succeeded = result.linkResult != 0;
            if (succeeded) {
                result.record = record;
            } else {
                result.document.clear();
            }
        }
        break;
    case ExchangeKind::Write:
        if (gate()) {
            result.linkResult = link.WriteConfiguration(record);
            succeeded = result.linkResult == 1;
            if (succeeded) {
                result.written = record;
            }
        }
        break;
    case ExchangeKind::Start:
        result.linkResult = link.StartTsToIp(record);
        succeeded = result.linkResult == 1;
        break;
    case ExchangeKind::Stop:
        result.linkResult = link.StopTsToIp(record);
        succeeded = result.linkResult == 1;
        break;
    case ExchangeKind::Search:
        link.SearchEncoder(request.searchAddress, [&](const std::string& dotted) {
            uint32_t address = InetAddrHostOrder(dotted.c_str());
            result.found.push_back(address);
            if (job.callbacks.found) {
                job.callbacks.found(job.id, address);
            }
        });
        succeeded = true;
        break;
    }
    result.messages = std::move(reporter.messages);
    result.outcome = succeeded ? ExchangeOutcome::Succeeded : ExchangeOutcome::Failed;
    if (link.Cancelled()) {
        result.outcome = ExchangeOutcome::Cancelled;
    }
    result.finished = Clock::now();
    return result;
}

void ExchangeEngine::Report(Job& job, ExchangeResult result)
{
    result.id = job.id;
    result.batch = job.batch;
    result.kind = job.request.kind;
    result.address = job.Address();
    result.submitted = job.submitted;
    if (result.outcome == ExchangeOutcome::Refused || result.started == Clock::time_point{}) {
        result.started = result.finished = Clock::now();
    }
    std::shared_ptr<Batch> batch;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // A cancel that came while the exchange ended still counts: whoever cancelled
        // hears "cancelled", and the record stays as it was.
        if (job.cancelled && result.outcome != ExchangeOutcome::Refused) {
            result.outcome = ExchangeOutcome::Cancelled;
        }
        m_running.erase(job.id);
        // The address is free again before anyone hears of the result, so that a caller
        // may start the next exchange from the callback or right after it.
        if (KeyedByRecord(job.request.kind) && result.outcome != ExchangeOutcome::Refused) {
            m_busyAddresses.erase(job.request.record.ipAddr);
        }
        if (job.batch != 0) {
            auto it = m_batches.find(job.batch);
            if (it != m_batches.end()) {
                batch = it->second;
            }
        }
    }
    job.wake.reset();   // the socket of the wake-up goes with the exchange
    if (result.outcome == ExchangeOutcome::Cancelled || result.outcome == ExchangeOutcome::Refused) {
        // Nothing of a cancelled or refused exchange reaches the record or the operator.
        result.messages.clear();
        result.record.reset();
        result.written.reset();
        result.linkResult = 0;
    }

    if (job.callbacks.done) {
        job.callbacks.done(result);
    }

    BatchSummary summary;
    BatchCallback end;
    if (batch) {
        std::lock_guard<std::mutex> lock(m_mutex);
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
        }
        if (--batch->unreported == 0) {
            summary = batch->summary;
            end = std::move(batch->end);
            m_batches.erase(job.batch);
        }
    }
    if (end) {
        end(summary);
    }

    std::lock_guard<std::mutex> lock(m_mutex);
    --m_pending;
    m_changed.notify_all();
}

size_t ExchangeEngine::CancelWhere(const std::function<bool(const Job&)>& match)
{
    std::vector<std::shared_ptr<Job>> unstarted;
    size_t count = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_queue.begin(); it != m_queue.end();) {
            if (match(**it)) {
                unstarted.push_back(*it);
                it = m_queue.erase(it);
            } else {
                ++it;
            }
        }
        for (auto& [id, job] : m_running) {
            if (!job->cancelled && match(*job)) {
                job->cancelled = true;
                if (job->wake) {
                    job->wake->Signal();
                }
                ++count;
            }
        }
    }
    for (const std::shared_ptr<Job>& job : unstarted) {
        ExchangeResult result;
        result.outcome = ExchangeOutcome::Cancelled;
        Report(*job, std::move(result));
    }
    return count + unstarted.size();
}

size_t ExchangeEngine::Cancel(ExchangeId id)
{
    return CancelWhere([id](const Job& job) { return job.id == id; });
}

size_t ExchangeEngine::CancelEncoder(uint32_t hostOrderAddress)
{
    return CancelWhere([hostOrderAddress](const Job& job) {
        return KeyedByRecord(job.request.kind) && job.request.record.ipAddr == hostOrderAddress;
    });
}

size_t ExchangeEngine::CancelBatch(BatchId batch)
{
    return CancelWhere([batch](const Job& job) { return batch != 0 && job.batch == batch; });
}

size_t ExchangeEngine::CancelAll()
{
    return CancelWhere([](const Job&) { return true; });
}

bool ExchangeEngine::InFlight(uint32_t hostOrderAddress) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_busyAddresses.count(hostOrderAddress) != 0;
}

size_t ExchangeEngine::Pending() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pending;
}

size_t ExchangeEngine::Running() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_running.size();
}

bool ExchangeEngine::WaitIdle(int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto idle = [this] { return m_pending == 0; };
    if (timeoutMs < 0) {
        m_changed.wait(lock, idle);
        return true;
    }
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), idle);
}

// ---- ExchangeCollector ----

CompletionCallback ExchangeCollector::Sink()
{
    return [this](const ExchangeResult& result) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_results.push_back(result);
        ++m_total;
        m_arrived.notify_all();
    };
}

std::optional<ExchangeResult> ExchangeCollector::Next(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto any = [this] { return !m_results.empty(); };
    if (timeoutMs < 0) {
        m_arrived.wait(lock, any);
    } else if (!m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), any)) {
        return std::nullopt;
    }
    ExchangeResult result = std::move(m_results.front());
    m_results.pop_front();
    return result;
}

bool ExchangeCollector::WaitFor(size_t count, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto enough = [this, count] { return m_total >= count; };
    if (timeoutMs < 0) {
        m_arrived.wait(lock, enough);
        return true;
    }
    return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), enough);
}

std::vector<ExchangeResult> ExchangeCollector::TakeAll()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<ExchangeResult> results(std::make_move_iterator(m_results.begin()),
                                        std::make_move_iterator(m_results.end()));
    m_results.clear();
    return results;
}
