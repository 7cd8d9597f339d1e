#include "CExchangeController.h"

#include <QTimer>
#include <algorithm>

#include "CPacedQueue.h"
#include "FrameText.h"

namespace {

constexpr int kRefusedRetryMs = 20;   // a new exchange meets the engine still letting go of a cancelled one

}   // namespace

CExchangeController::CExchangeController(EncoderList& encoders, LinkOptions link, std::string outFile, QObject* parent)
    : QObject(parent), m_encoders(encoders), m_link(std::move(link)), m_outFile(std::move(outFile))
{
    m_clock.start();
    m_results = new CPacedQueue(kResultSliceMs, this);
    m_replyComplete = m_link.waitMode == WaitMode::ReplyComplete;
    m_monitorTimer = new QTimer(this);
    m_monitorTimer->setInterval(m_monitorIntervalMs);
    connect(m_monitorTimer, &QTimer::timeout, this, &CExchangeController::Poll);
}

CExchangeController::~CExchangeController()
{
    m_closing = true;
    m_monitorTimer->stop();
    m_operations.reset();
    m_engine.reset();
}

ExchangeEngine& CExchangeController::Engine()
{
    if (!m_engine) {
        EngineOptions options;
        options.link = m_link;
        options.outFile = m_outFile;
        // No executor: the operations hand every result on to the window's thread themselves.
        m_engine = std::make_unique<ExchangeEngine>(options);
    }
    return *m_engine;
}

Operations& CExchangeController::Ops()
{
    ExchangeEngine& engine = Engine();
    if (!m_operations) {
        // Results reach the window's thread as queued calls, paced so that a thousand
        // arriving together leave it answering; what is still queued dies with this object.
        m_operations = std::make_unique<Operations>(
            engine, m_encoders, [this](std::function<void()> call) { m_results->Post(std::move(call)); });
        m_operations->SetWaitMode(m_replyComplete ? WaitMode::ReplyComplete : WaitMode::Fixed);
    }
    return *m_operations;
}

int CExchangeController::ExpectedMs(ExchangeKind kind) const
{
    const LinkTiming& timing = m_link.timing;
    switch (kind) {
    case ExchangeKind::Status:
        return timing.statusWaitMs;
    case ExchangeKind::Read:
        return timing.statusWaitMs + timing.readWaitMs;
    case ExchangeKind::Write:
        // With the read-back, the read that follows the write.
        return timing.statusWaitMs + timing.writeWaitMs + (m_readBack ? timing.statusWaitMs + timing.readWaitMs : 0);
    case ExchangeKind::Search:
        return timing.searchWindowMs;
    case ExchangeKind::Start:
    case ExchangeKind::Stop:
        return 0;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Commands

void CExchangeController::RunCommand(ExchangeKind kind, const std::vector<uint32_t>& addresses)
{
    if (m_closing || addresses.empty()) return;
    const bool batch = addresses.size() > 1;
    // The rows show the command at once; monitor readings of these encoders are cancelled
    // first and the command starts as soon as they have ended.
    std::vector<uint32_t> polled;
    for (uint32_t address : addresses) {
        MarkFlight(kind, address, batch);
        if (m_polls.count(address)) polled.push_back(address);
    }
    if (!batch) {
        const uint32_t address = addresses.front();
        if (polled.empty()) {
            Submit(kind, address);
        } else {
            m_afterPoll[address] = [this, kind, address] { Submit(kind, address); };
            if (m_engine) m_engine->CancelEncoder(address);
        }
    } else if (polled.empty()) {
        SubmitBatch(kind, addresses);
    } else {
        const int key = m_nextWaiting++;
        m_waiting[key] = {kind, addresses, polled.size()};
        for (uint32_t address : polled) {
            m_afterPoll[address] = [this, key] {
                auto waiting = m_waiting.find(key);
                if (waiting == m_waiting.end() || --waiting->second.polls > 0) return;
                const Waiting ready = std::move(waiting->second);
                m_waiting.erase(waiting);
                SubmitBatch(ready.kind, ready.addresses);
            };
            if (m_engine) m_engine->CancelEncoder(address);
        }
    }
    ScheduleStates();
}

void CExchangeController::MarkFlight(ExchangeKind kind, uint32_t address, bool batch)
{
    Flight flight;
    flight.kind = kind;
    flight.startMs = m_clock.elapsed();
    flight.expectedMs = ExpectedMs(kind);
    flight.batch = batch;
    m_flights[address] = flight;
    m_outcomes.remove(address);
    if (EncoderEntry* entry = m_encoders.Find(address)) entry->inFlight = true;
    emit operationStarting(address, kind);
}

namespace {

OperationKind OperationOf(ExchangeKind kind)
{
    switch (kind) {
    case ExchangeKind::Read:
        return OperationKind::Read;
    case ExchangeKind::Write:
        return OperationKind::Write;
    case ExchangeKind::Start:
        return OperationKind::Start;
    case ExchangeKind::Stop:
        return OperationKind::Stop;
    case ExchangeKind::Status:
    case ExchangeKind::Search:
        break;
    }
    return OperationKind::Status;
}

}   // namespace

// The device layer runs the batch and counts it; one summary comes at its end.
void CExchangeController::SubmitBatch(ExchangeKind kind, const std::vector<uint32_t>& addresses)
{
    if (m_closing) return;
    std::vector<uint32_t> listed;
    for (uint32_t address : addresses)
        if (m_flights.count(address)) listed.push_back(address);
    if (listed.empty()) return;
    // A batch's writes share their options (the passwords asked once for all of them).
    WriteOptions write;
    if (auto given = m_writeOptions.find(listed.front()); given != m_writeOptions.end()) write = given->second;
    write.verify = m_readBack;
    const std::vector<OperationId> ids = Ops().RunBatch(
        OperationOf(kind), listed, write, [this](const OperationReport& report) { OnDone(report, false); },
        [this](const OperationSummary& summary) {
            QStringList failures;
            for (const std::string& line : SummaryFailureLines(summary)) failures << QString::fromStdString(line);
            emit commandSummarised(QString::fromStdString(SummaryText(summary)), failures,
                                   summary.cancelled > 0 && summary.failed == 0 && summary.local == 0);
        });
    for (size_t i = 0; i < listed.size(); ++i) {
        auto flight = m_flights.find(listed[i]);
        if (flight == m_flights.end()) continue;
        if (ids[i] != 0)
            flight->second.id = ids[i];
        else
            m_flights.erase(flight);   // no longer listed: nothing runs for it
    }
}

void CExchangeController::Submit(ExchangeKind kind, uint32_t address)
{
    if (!m_encoders.Find(address) || m_closing) return;
    const Operations::Done done = [this](const OperationReport& report) { OnDone(report, false); };
    OperationId id = 0;
    switch (kind) {
    case ExchangeKind::Status:
        id = Ops().Status(address, {}, done);
        break;
    case ExchangeKind::Read:
        id = Ops().Read(address, done);
        break;
    case ExchangeKind::Write: {
        WriteOptions options;
        if (auto given = m_writeOptions.find(address); given != m_writeOptions.end()) options = given->second;
        options.verify = m_readBack;
        id = Ops().Write(address, options, done);
        break;
    }
    case ExchangeKind::Start:
        id = Ops().Start(address, done);
        break;
    case ExchangeKind::Stop:
        id = Ops().Stop(address, done);
        break;
    case ExchangeKind::Search:
        break;
    }
    if (auto flight = m_flights.find(address); flight != m_flights.end()) flight->second.id = id;
}

void CExchangeController::OnDone(const OperationReport& report, bool poll)
{
    const uint32_t address = report.address;
    bool single = false;
    if (poll) {
        if (auto found = m_polls.find(address); found != m_polls.end() && found->second == report.id)
            m_polls.erase(found);
    } else {
        auto flight = m_flights.find(address);
        if (flight == m_flights.end() || flight->second.id != report.id) return;   // not ours any more
        single = !flight->second.batch;
        if (single && report.outcome == ExchangeOutcome::Refused) {
            // The engine had not yet let go of a monitor reading just cancelled: try again
            // once it has. The operator's command itself was never refused.
            const ExchangeKind kind = flight->second.kind;
            QTimer::singleShot(kRefusedRetryMs, this, [this, kind, address, id = report.id] {
                auto again = m_flights.find(address);
                if (again != m_flights.end() && again->second.id == id) Submit(kind, address);
            });
            return;
        }
        m_flights.erase(flight);
        m_writeOptions.erase(address);
    }
    EncoderEntry* entry = m_encoders.Find(address);
    if (entry) {
        entry->inFlight = m_flights.count(address) != 0;
        if (!poll) {
            if (report.record && report.outcome != ExchangeOutcome::Cancelled)
                m_lastRead[address] = QDateTime::currentDateTime();
            // The row shows how the operation's last exchange ended.
            for (const EncoderEvent& event : entry->events) {
                if (event.sequence >= report.eventsFrom && event.kind == EncoderEventKind::Exchange)
                    m_outcomes[address] = {QString::fromStdString(event.text), event.failed || event.cancelled};
            }
        }
    }
    emit operationDone(report, poll, single);
    if (poll) {
        if (auto after = m_afterPoll.find(address); after != m_afterPoll.end()) {
            std::function<void()> submit = std::move(after->second);
            m_afterPoll.erase(after);
            submit();
        }
    }
    // The last result leaves the window idle at once; results in between are summed up
    // once the window's thread is free again.
    if (poll || InExchange()) {
        ScheduleStates();
    } else {
        emit statesChanged();
    }
}

void CExchangeController::CancelAll()
{
    // Cancelled exchanges report through their callbacks; their records stay untouched.
    if (m_engine) m_engine->CancelAll();
}

void CExchangeController::Forget(uint32_t address)
{
    // A monitor reading may still run: its result finds no encoder and is dropped.
    if (m_polls.count(address) && m_engine) m_engine->CancelEncoder(address);
    m_afterPoll.erase(address);
    m_writeOptions.erase(address);
    m_outcomes.remove(address);
    m_lastRead.remove(address);
}

void CExchangeController::Shutdown()
{
    m_closing = true;
    m_monitorTimer->stop();
    CancelAll();
}

std::optional<ExchangeKind> CExchangeController::Activity(uint32_t address) const
{
    const auto flight = m_flights.find(address);
    if (flight == m_flights.end()) return std::nullopt;
    return flight->second.kind;
}

int CExchangeController::SecondsLeft(uint32_t address) const
{
    const auto flight = m_flights.find(address);
    if (flight == m_flights.end()) return -1;
    const qint64 left = flight->second.expectedMs - (m_clock.elapsed() - flight->second.startMs);
    return int(std::max<qint64>(0, (left + 999) / 1000));
}

void CExchangeController::ScheduleStates()
{
    if (m_statesScheduled) return;
    m_statesScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_statesScheduled = false;
        if (!m_closing) emit statesChanged();
    });
}

QString CExchangeController::ProgressText() const
{
    if (!InExchange()) return QString();
    QString text;
    if (m_flights.size() == 1 && m_searchId == 0) {
        const auto& only = *m_flights.begin();
        text = QStringLiteral("%1 %2: waiting for the encoder, %3 s left")
                   .arg(ExchangeText(only.second.kind), DottedText(only.first))
                   .arg(SecondsLeft(only.first));
    } else if (m_flights.empty()) {
        const qint64 left = m_link.timing.searchWindowMs - (m_clock.elapsed() - m_searchStartMs);
        text = QStringLiteral("Search Encoder %1: listening for encoders, %2 s left")
                   .arg(DottedText(m_searchAddress))
                   .arg(std::max<qint64>(0, (left + 999) / 1000));
    } else {
        int longest = 0;
        for (const auto& flight : m_flights) longest = std::max(longest, SecondsLeft(flight.first));
        text = QStringLiteral("%1 exchanges in flight, up to %2 s left").arg(m_flights.size()).arg(longest);
        if (m_searchId != 0) text += QStringLiteral("; searching");
    }
    return text + QStringLiteral(" (Esc cancels)");
}

void CExchangeController::SetReplyComplete(bool on)
{
    m_replyComplete = on;   // exchanges already running finish in the mode they started in
    if (m_operations) m_operations->SetWaitMode(on ? WaitMode::ReplyComplete : WaitMode::Fixed);
}

// ---------------------------------------------------------------------------------------
// Search

bool CExchangeController::StartSearch(uint32_t broadcast, std::function<bool(uint32_t)> add)
{
    if (m_searchId != 0 || m_closing) return false;
    m_searchAddress = broadcast;
    m_searchStartMs = m_clock.elapsed();
    m_searchAnswered = 0;
    m_searchNew = 0;
    m_searchSeen.clear();
    m_searchAdd = std::move(add);
    auto id = std::make_shared<OperationId>(0);
    m_searchId = Ops().Search(
        broadcast, [this](uint32_t address) { OnSearchFound(address); },
        [this, id](ExchangeOutcome outcome, const std::vector<uint32_t>& found) { OnSearchDone(*id, outcome, found); });
    *id = m_searchId;
    ScheduleStates();
    return true;
}

// Found encoders appear as they answer; the selection stays as it is.
void CExchangeController::OnSearchFound(uint32_t address)
{
    if (m_searchId == 0 || !m_searchSeen.insert(address).second) return;
    ++m_searchAnswered;
    if (m_searchAdd && m_searchAdd(address)) ++m_searchNew;
}

void CExchangeController::OnSearchDone(OperationId id, ExchangeOutcome outcome, const std::vector<uint32_t>& found)
{
    if (id != m_searchId) return;
    // Addresses the progress calls have not brought yet.
    for (uint32_t address : found) OnSearchFound(address);
    m_searchId = 0;
    m_searchAdd = nullptr;
    const QString broadcast = DottedText(m_searchAddress);
    QString text;
    if (outcome == ExchangeOutcome::Cancelled)
        text = QStringLiteral("Search Encoder %1 cancelled: %2 encoders answered, %3 new")
                   .arg(broadcast)
                   .arg(m_searchAnswered)
                   .arg(m_searchNew);
    else
        text = QStringLiteral("Search Encoder %1: %2 encoders answered, %3 new")
                   .arg(broadcast)
                   .arg(m_searchAnswered)
                   .arg(m_searchNew);
    emit searchEnded(broadcast, text);
    emit statesChanged();
}

// ---------------------------------------------------------------------------------------
// Monitoring

void CExchangeController::SetMonitoring(bool on)
{
    if (on == m_monitorTimer->isActive()) return;
    if (on) {
        m_monitorTimer->start(m_monitorIntervalMs);
        Poll();
        emit logged(QString(), CActivityLog::Severity::Info,
                    QStringLiteral("Monitoring every %1 s").arg((m_monitorIntervalMs + 999) / 1000));
    } else {
        m_monitorTimer->stop();
        if (m_engine)
            for (const auto& poll : m_polls) m_engine->CancelEncoder(poll.first);
        emit logged(QString(), CActivityLog::Severity::Info, QStringLiteral("Monitoring stopped"));
    }
}

bool CExchangeController::Monitoring() const
{
    return m_monitorTimer->isActive();
}

void CExchangeController::SetMonitorInterval(int milliseconds)
{
    m_monitorIntervalMs = std::max(1, milliseconds);
    m_monitorTimer->setInterval(m_monitorIntervalMs);
}

// A status reading for every listed encoder that is not busy with another exchange.
void CExchangeController::Poll()
{
    if (m_closing) return;
    for (const EncoderEntry& entry : m_encoders) {
        const uint32_t address = entry.address;
        if (m_flights.count(address) || m_polls.count(address)) continue;
        m_polls[address] = 0;
        const OperationId id =
            Ops().Status(address, {false, true}, [this](const OperationReport& report) { OnDone(report, true); });
        if (auto poll = m_polls.find(address); poll != m_polls.end()) poll->second = id;
    }
}
