#include "ExchangeEngine.h"

#include "EngineRunner.h"

#include <algorithm>
#include <cstdint>

using engine_detail::KeyedByRecord;

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
    case ExchangeOutcome::LocalFailure:
        return "failed here";
    }
    return "";
}

ExchangeEngine::ExchangeEngine(EngineOptions options)
    : m_options(std::move(options)), m_shared(std::make_shared<Shared>())
{
    m_runner = std::make_unique<Runner>(m_options, m_shared);
}

ExchangeEngine::~ExchangeEngine()
{
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->closing = true;
    }
    CancelAll();
    {
        // Requests that arrive now (from a callback) are reported as cancelled, so this ends.
        std::unique_lock<std::mutex> lock(m_shared->mutex);
        m_shared->changed.wait(lock, [this] { return m_shared->unhanded == 0; });
    }
    m_runner.reset();
}

ExchangeId ExchangeEngine::Submit(const ExchangeRequest& request, ExchangeCallbacks callbacks)
{
    return Accept(request, std::move(callbacks), 0);
}

ExchangeId ExchangeEngine::Status(const EncoderRecord& record, CompletionCallback done)
{
    return Submit({ExchangeKind::Status, record, 0, {}, ExchangePriority::Command}, {std::move(done), {}});
}

ExchangeId ExchangeEngine::Read(const EncoderRecord& record, CompletionCallback done)
{
    return Submit({ExchangeKind::Read, record, 0, {}, ExchangePriority::Command}, {std::move(done), {}});
}

ExchangeId ExchangeEngine::Write(const EncoderRecord& record, CompletionCallback done)
{
    return Submit({ExchangeKind::Write, record, 0, {}, ExchangePriority::Command}, {std::move(done), {}});
}

ExchangeId ExchangeEngine::Start(const EncoderRecord& record, CompletionCallback done)
{
    return Submit({ExchangeKind::Start, record, 0, {}, ExchangePriority::Command}, {std::move(done), {}});
}

ExchangeId ExchangeEngine::Stop(const EncoderRecord& record, CompletionCallback done)
{
    return Submit({ExchangeKind::Stop, record, 0, {}, ExchangePriority::Command}, {std::move(done), {}});
}

ExchangeId ExchangeEngine::Search(uint32_t broadcastAddress, CompletionCallback done, FoundCallback found)
{
    ExchangeRequest request;
    request.kind = ExchangeKind::Search;
    request.searchAddress = broadcastAddress;
    return Submit(request, {std::move(done), std::move(found)});
}

ExchangeEngine::BatchTicket ExchangeEngine::SubmitBatch(const std::vector<ExchangeRequest>& requests,
                                                        const ExchangeCallbacks& callbacks, BatchCallback end)
{
    BatchTicket ticket;
    auto batch = std::make_shared<Batch>();
    batch->end = std::move(end);
    batch->summary.total = requests.size();
    batch->unreported = batch->unhanded = requests.size();
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        ticket.id = m_shared->nextBatch++;
        batch->summary.id = ticket.id;
        if (!requests.empty()) {
            m_shared->batches[ticket.id] = batch;
        }
    }
    ticket.exchanges.reserve(requests.size());
    for (const ExchangeRequest& request : requests) {
        ticket.exchanges.push_back(Accept(request, callbacks, ticket.id));
    }
    if (requests.empty() && batch->end) {
        // Reported like any batch end: through the executor, never inside this call.
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        ++m_shared->pending;
        ++m_shared->unhanded;
        m_runner->PostBatchEnd(std::move(batch->end), batch->summary);
    }
    return ticket;
}

ExchangeEngine::BatchTicket ExchangeEngine::SubmitBatch(ExchangeKind kind, const std::vector<EncoderRecord>& records,
                                                        const ExchangeCallbacks& callbacks, BatchCallback end)
{
    std::vector<ExchangeRequest> requests;
    requests.reserve(records.size());
    for (const EncoderRecord& record : records) {
        ExchangeRequest request;
        request.kind = kind;
        request.record = record;
        request.searchAddress = record.ipAddr;
        requests.push_back(request);
    }
    return SubmitBatch(requests, callbacks, std::move(end));
}

ExchangeId ExchangeEngine::Accept(const ExchangeRequest& request, ExchangeCallbacks callbacks, BatchId batch)
{
    auto job = std::make_shared<Job>();
    job->request = request;
    job->callbacks = std::move(callbacks);
    job->batch = batch;
    job->submitted = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    job->id = m_shared->nextId++;
    ++m_shared->pending;
    ++m_shared->unhanded;
    // Neither a request made while the engine goes nor a refused one can be cancelled:
    // each is reported as it stands.
    if (m_shared->closing) {
        job->cancelled = true;
        m_runner->PostFinish(job, ExchangeOutcome::Cancelled);
        return job->id;
    }
    if (KeyedByRecord(request.kind)) {
        if (!m_shared->busyAddresses.insert(request.record.ipAddr).second) {
            m_runner->PostFinish(job, ExchangeOutcome::Refused);
            return job->id;
        }
        job->holdsAddress = true;
    }
    m_shared->jobs[job->id] = job;
    m_shared->queues[static_cast<size_t>(request.priority)].push_back(job);
    m_runner->SchedulePumpLocked();
    return job->id;
}

size_t ExchangeEngine::CancelWhere(const std::function<bool(const Job&)>& match)
{
    std::vector<std::shared_ptr<Job>> cancelled;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        for (auto& entry : m_shared->jobs) {
            Job& job = *entry.second;
            if (!job.cancelled && job.state != Job::State::Done && match(job)) {
                job.cancelled = true;
                cancelled.push_back(entry.second);
            }
        }
    }
    size_t count = cancelled.size();
    if (count != 0) {
        m_runner->PostCancel(std::move(cancelled));
    }
    return count;
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

size_t ExchangeEngine::CancelQueued()
{
    return CancelWhere([](const Job& job) { return job.state == Job::State::Queued; });
}

std::vector<uint32_t> ExchangeEngine::RunningEncoders() const
{
    std::vector<uint32_t> running;
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    for (const auto& entry : m_shared->jobs) {
        if (entry.second->state == Job::State::Running) running.push_back(entry.second->Address());
    }
    return running;
}

bool ExchangeEngine::InFlight(uint32_t hostOrderAddress) const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->busyAddresses.count(hostOrderAddress) != 0;
}

size_t ExchangeEngine::Pending() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->pending;
}

size_t ExchangeEngine::Running() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->running;
}

size_t ExchangeEngine::Limit() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_runner->LimitLocked();
}

bool ExchangeEngine::WaitIdle(int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    auto idle = [this] { return m_shared->pending == 0; };
    if (timeoutMs < 0) {
        m_shared->changed.wait(lock, idle);
        return true;
    }
    return m_shared->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), idle);
}

// ---- ExchangeCollector ----

CompletionCallback ExchangeCollector::Sink()
{
    return [this](ExchangeResult result) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_results.push_back(std::move(result));
        ++m_total;
        // A thousand results in a burst wake a waiter once, when what it waits for is
        // there, not a thousand times to look and sleep again.
        if (m_total >= m_wakeAt) {
            m_wakeAt = SIZE_MAX;
            m_arrived.notify_all();
        }
    };
}

bool ExchangeCollector::WaitUntilLocked(std::unique_lock<std::mutex>& lock, size_t total, int timeoutMs)
{
    std::optional<std::chrono::steady_clock::time_point> until;
    if (timeoutMs >= 0) {
        until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    }
    while (m_total < total) {
        m_wakeAt = std::min(m_wakeAt, total);
        if (!until) {
            m_arrived.wait(lock);
        } else if (m_arrived.wait_until(lock, *until) == std::cv_status::timeout) {
            return m_total >= total;
        }
    }
    return true;
}

std::optional<ExchangeResult> ExchangeCollector::Next(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    // Results not yet taken are the last ones to arrive: one more than those taken is one.
    if (m_results.empty() && !WaitUntilLocked(lock, m_total + 1, timeoutMs)) {
        return std::nullopt;
    }
    ExchangeResult result = std::move(m_results.front());
    m_results.pop_front();
    return result;
}

bool ExchangeCollector::WaitFor(size_t count, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return WaitUntilLocked(lock, count, timeoutMs);
}

std::vector<ExchangeResult> ExchangeCollector::TakeAll()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<ExchangeResult> results(std::make_move_iterator(m_results.begin()),
                                        std::make_move_iterator(m_results.end()));
    m_results.clear();
    return results;
}
