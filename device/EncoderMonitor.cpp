#include "EncoderMonitor.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

using SteadyClock = std::chrono::steady_clock;

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
    : m_buckets(PollDurationBounds().size(), 0), m_engine(options),
      m_operations(m_engine, m_encoders, m_calls.Executor())
{
    m_watched.reserve(addresses.size());
    for (uint32_t address : addresses) {
        m_encoders.Add(address);
        Watched watched;
        watched.address = address;
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
    for (size_t index = 0; index < m_watched.size(); ++index) {
        Watched& watched = m_watched[index];
        if (watched.polling) {
            continue;
        }
        StatusOptions options;
        options.readFirst = !watched.configRead;
        options.poll = true;
        const OperationId id =
            m_operations.Status(watched.address, options, [this, index](const OperationReport& report) {
                HandleReport(m_watched[index], report);
            });
        if (id == 0) {
            continue;
        }
        watched.polling = true;
        watched.pollStarted = now;
        ++m_inFlight;
        ++started;
    }
    return started;
}

bool EncoderMonitor::Process(int timeoutMs, std::vector<MonitorEvent>& events)
{
    if (!m_calls.RunOne(timeoutMs)) {
        return false;
    }
    events.insert(events.end(), std::make_move_iterator(m_events.begin()), std::make_move_iterator(m_events.end()));
    m_events.clear();
    return true;
}

void EncoderMonitor::HandleReport(Watched& watched, const OperationReport& report)
{
    if (report.record) {
        // Read in this poll: the alarms of this and later readings know its threshold and
        // which programs are started.
        watched.configRead = true;
    }
    const bool answered = report.status && report.status->Answered();
    if (report.outcome == ExchangeOutcome::Succeeded && answered) {
        watched.figures.temperatureKnown = true;
        watched.figures.temperature = report.status->Temperature();
        EndPoll(watched, true);
        std::vector<std::string> alarms;
        for (const AlarmLine& line : report.alarms) {
            alarms.push_back(line.text);
        }
        SetAlarms(watched, std::move(alarms));
    } else if (report.outcome == ExchangeOutcome::Failed && report.status && !answered) {
        // The one failure that says the encoder is unreachable; cancelled, refused or local
        // failures say nothing about it.
        EndPoll(watched, false);
    } else if (report.outcome == ExchangeOutcome::Failed && answered) {
        // Online, but what its alarms mean is not known until its configuration is read.
        watched.figures.temperatureKnown = true;
        watched.figures.temperature = report.status->Temperature();
        EndPoll(watched, true);
    } else {
        EndPoll(watched, std::nullopt);
    }
}

void EncoderMonitor::EndPoll(Watched& watched, std::optional<bool> answered)
{
    watched.polling = false;
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
        m_events.push_back({std::chrono::system_clock::now(),
                            watched.address,
                            *answered ? MonitorEventKind::Online : MonitorEventKind::Offline,
                            {}});
    }
    if (!*answered) {
        // Read the configuration again when it is back: it may have been changed or
        // replaced meanwhile.
        watched.configRead = false;
        figures.temperatureKnown = false;
        SetAlarms(watched, {});
    }
}

void EncoderMonitor::SetAlarms(Watched& watched, std::vector<std::string> alarms)
{
    const auto now = std::chrono::system_clock::now();
    std::vector<std::string>& active = watched.figures.alarms;
    for (const std::string& alarm : active) {
        if (std::find(alarms.begin(), alarms.end(), alarm) == alarms.end()) {
            m_events.push_back({now, watched.address, MonitorEventKind::Cleared, alarm});
        }
    }
    for (const std::string& alarm : alarms) {
        if (std::find(active.begin(), active.end(), alarm) == active.end()) {
            m_events.push_back({now, watched.address, MonitorEventKind::Raised, alarm});
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
