#include "EncoderMonitor.h"

#include "DeviceStatusReading.h"

#include <algorithm>
#include <utility>

#include "StatusGate.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

bool Answered(const ExchangeResult& result)
{
    return result.statusTaken && result.statusFlags >= 0;
}

// The exchange ran and the encoder did not answer its status: the one failure that says
// the encoder is unreachable. Cancelled, refused or local failures say nothing about it.
bool Unreachable(const ExchangeResult& result)
{
    return result.outcome == ExchangeOutcome::Failed && result.statusTaken && result.statusFlags < 0;
}

}   // namespace

const char* MonitorEventName(MonitorEventKind kind)
{
    switch (kind) {
    case MonitorEventKind::Online:
        return "online";
    case MonitorEventKind::Offline:
        return "offline";
    case MonitorEventKind::Raised:
        return "raised";
    case MonitorEventKind::Cleared:
        return "cleared";
    }
    return "";
}

const std::vector<double>& PollDurationBounds()
{
    // A status poll answered at once takes milliseconds; a fixed-wait status 4 s, a first
    // poll with its read 24 s or more.
    static const std::vector<double> bounds = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 25, 30, 60};
    return bounds;
}

EncoderMonitor::EncoderMonitor(const EngineOptions& options, const std::vector<uint32_t>& addresses)
    : m_buckets(PollDurationBounds().size(), 0), m_engine(options)
{
    m_watched.reserve(addresses.size());
    for (uint32_t address : addresses) {
        Watched watched;
        watched.address = address;
        watched.record.ipAddr = address;
        watched.figures.address = address;
        m_watched.push_back(std::move(watched));
    }
}

EncoderMonitor::~EncoderMonitor()
{
    m_engine.CancelAll();
    m_engine.WaitIdle();
}

size_t EncoderMonitor::PollDue()
{
    size_t started = 0;
    const SteadyClock::time_point now = SteadyClock::now();
    for (Watched& watched : m_watched) {
        if (watched.stage != Stage::Idle) {
            continue;
        }
        watched.pollStarted = now;
        ++m_inFlight;
        if (watched.configRead) {
            Submit(watched, Stage::Status, ExchangeKind::Status);
        } else {
            Submit(watched, Stage::Reading, ExchangeKind::Read);
        }
        ++started;
    }
    return started;
}

void EncoderMonitor::Submit(Watched& watched, Stage stage, ExchangeKind kind)
{
    watched.stage = stage;
    ExchangeRequest request;
    request.kind = kind;
    request.record = watched.record;
    ExchangeCallbacks callbacks;
    callbacks.done = m_collector.Sink();
    const size_t index = static_cast<size_t>(&watched - m_watched.data());
    m_byExchange[m_engine.Submit(request, callbacks)] = index;
}

bool EncoderMonitor::Process(int timeoutMs, std::vector<MonitorEvent>& events)
{
    std::optional<ExchangeResult> result = m_collector.Next(timeoutMs);
    if (!result) {
        return false;
    }
    auto found = m_byExchange.find(result->id);
    if (found == m_byExchange.end()) {
        return true;
    }
    Watched& watched = m_watched[found->second];
    m_byExchange.erase(found);
    if (watched.stage == Stage::Reading) {
        HandleRead(watched, *result, events);
    } else if (watched.stage == Stage::Status) {
        HandleStatus(watched, *result, events);
    }
    return true;
}

void EncoderMonitor::HandleRead(Watched& watched, const ExchangeResult& result, std::vector<MonitorEvent>& events)
{
    if (result.outcome == ExchangeOutcome::Succeeded && result.record) {
        watched.record = *result.record;
        watched.configRead = true;
        // The gate's reading was taken without the threshold and the programs' flags;
        // the alarms come from a reading with the record just read.
        Submit(watched, Stage::Status, ExchangeKind::Status);
        return;
    }
    if (Unreachable(result)) {
        EndPoll(watched, false, events);
    } else if (Answered(result)) {
        // Online, but what its alarms mean is not known until the read succeeds.
        watched.figures.temperatureKnown = true;
        watched.figures.temperature = result.temperature;
        EndPoll(watched, true, events);
    } else {
        EndPoll(watched, std::nullopt, events);
    }
}

void EncoderMonitor::HandleStatus(Watched& watched, const ExchangeResult& result, std::vector<MonitorEvent>& events)
{
    if (result.outcome == ExchangeOutcome::Succeeded && Answered(result)) {
        watched.figures.temperatureKnown = true;
        watched.figures.temperature = result.temperature;
        EndPoll(watched, true, events);
        std::vector<std::string> alarms;
        for (const AlarmLine& line : AlarmLines(DeviceStatusReading::FromResult(result), watched.record)) {
            alarms.push_back(line.text);
        }
        SetAlarms(watched, std::move(alarms), events);
    } else if (Unreachable(result)) {
        EndPoll(watched, false, events);
    } else {
        EndPoll(watched, std::nullopt, events);
    }
}

void EncoderMonitor::EndPoll(Watched& watched, std::optional<bool> answered, std::vector<MonitorEvent>& events)
{
    watched.stage = Stage::Idle;
    --m_inFlight;
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - watched.pollStarted).count();
    const std::vector<double>& bounds = PollDurationBounds();
    for (size_t i = 0; i < bounds.size(); ++i) {
        if (seconds <= bounds[i]) {
            ++m_buckets[i];
        }
    }
    ++m_durationCount;
    m_durationSum += seconds;

    EncoderFigures& figures = watched.figures;
    if (answered.value_or(false)) {
        ++figures.pollsOk;
    } else {
        ++figures.pollsFailed;
    }
    if (!answered) {
        return;
    }
    const bool wasKnown = figures.known;
    const bool wasUp = figures.up;
    figures.known = true;
    figures.up = *answered;
    if (!wasKnown || wasUp != *answered) {
        events.push_back({std::chrono::system_clock::now(),
                          watched.address,
                          *answered ? MonitorEventKind::Online : MonitorEventKind::Offline,
                          {}});
    }
    if (!*answered) {
        // Read the configuration again when it is back: it may have been changed or
        // replaced meanwhile.
        watched.configRead = false;
        watched.record = EncoderRecord{};
        watched.record.ipAddr = watched.address;
        figures.temperatureKnown = false;
        SetAlarms(watched, {}, events);
    }
}

void EncoderMonitor::SetAlarms(Watched& watched, std::vector<std::string> alarms, std::vector<MonitorEvent>& events)
{
    const auto now = std::chrono::system_clock::now();
    std::vector<std::string>& active = watched.figures.alarms;
    for (const std::string& alarm : active) {
        if (std::find(alarms.begin(), alarms.end(), alarm) == alarms.end()) {
            events.push_back({now, watched.address, MonitorEventKind::Cleared, alarm});
        }
    }
    for (const std::string& alarm : alarms) {
        if (std::find(active.begin(), active.end(), alarm) == active.end()) {
            events.push_back({now, watched.address, MonitorEventKind::Raised, alarm});
        }
    }
    active = std::move(alarms);
}

MonitorFigures EncoderMonitor::Figures() const
{
    MonitorFigures figures;
    figures.encoders.reserve(m_watched.size());
    for (const Watched& watched : m_watched) {
        figures.encoders.push_back(watched.figures);
    }
    figures.durationBuckets = m_buckets;
    figures.durationCount = m_durationCount;
    figures.durationSum = m_durationSum;
    return figures;
}
