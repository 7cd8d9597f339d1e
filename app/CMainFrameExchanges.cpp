// The frame's exchanges: starting them, taking their results on the window's thread,
// search, monitoring, the countdown while they run, and their lines in the activity log.

#include <QAction>
#include <QDateTime>
#include <QFileDialog>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

#include "AppIds.h"
#include "CDeviceTree.h"
#include "CMainFrame.h"
#include "CMessagePane.h"
#include "CPrompter.h"
#include "FrameText.h"
#include "OutcomeTexts.h"
#include "StatusGate.h"

namespace {

constexpr int kSearchNoteMs = 15000;   // how long the status bar keeps a search's result
constexpr int kRefusedRetryMs = 20;    // a new exchange meets the engine still letting go of a cancelled one

}   // namespace

// ---------------------------------------------------------------------------------------
// Exchanges

ExchangeEngine& CMainFrame::Engine()
{
    if (!m_engine) {
        EngineOptions options;
        options.link = m_linkOptions;
        options.outFile = m_outFile;
        // No executor: the operations hand every result on to the window's thread themselves.
        m_engine = std::make_unique<ExchangeEngine>(options);
    }
    return *m_engine;
}

Operations& CMainFrame::Ops()
{
    ExchangeEngine& engine = Engine();
    if (!m_operations) {
        // Results reach the window's thread as queued calls, which die with the frame.
        m_operations = std::make_unique<Operations>(engine, m_encoders, [this](std::function<void()> call) {
            QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
        });
        m_operations->SetWaitMode(CurrentWaitMode());
    }
    return *m_operations;
}

int CMainFrame::ExpectedMs(ExchangeKind kind) const
{
    const LinkTiming& timing = m_linkOptions.timing;
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

// The item shows the exchange at once; a monitor reading of the same encoder is cancelled
// first and the exchange starts as soon as that reading has ended.
void CMainFrame::StartExchange(ExchangeKind kind, uint32_t address, int group)
{
    Flight flight;
    flight.kind = kind;
    flight.startMs = m_clock.elapsed();
    flight.expectedMs = ExpectedMs(kind);
    flight.group = group;
    m_flights[address] = flight;
    m_outcomes.remove(address);
    UpdateItem(address);
    if (EncoderEntry* entry = m_encoders.Find(address)) entry->inFlight = true;
    if (kind == ExchangeKind::Write) KeepBeforeWrite(address);
    if (auto poll = m_polls.find(address); poll != m_polls.end()) {
        m_afterPoll[address] = [this, kind, address] { SubmitExchange(kind, address); };
        CancelEncoder(address);
        return;
    }
    SubmitExchange(kind, address);
}

void CMainFrame::SubmitExchange(ExchangeKind kind, uint32_t address)
{
    if (!m_encoders.Find(address) || m_closing) return;
    const Operations::Done done = [this](const OperationReport& report) { OnExchangeDone(report, false); };
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

void CMainFrame::OnExchangeDone(const OperationReport& report, bool monitor)
{
    const uint32_t address = report.address;
    int group = 0;
    ExchangeKind kind = ExchangeKind::Status;
    if (monitor) {
        if (auto poll = m_polls.find(address); poll != m_polls.end() && poll->second == report.id) m_polls.erase(poll);
    } else {
        auto flight = m_flights.find(address);
        if (flight == m_flights.end() || flight->second.id != report.id) return;   // not ours any more
        group = flight->second.group;
        kind = flight->second.kind;
        if (report.outcome == ExchangeOutcome::Refused) {
            // The engine had not yet let go of a monitor reading just cancelled: try again
            // once it has. The operator's command itself was never refused.
            QTimer::singleShot(kRefusedRetryMs, this, [this, kind, address, id = report.id] {
                auto again = m_flights.find(address);
                if (again != m_flights.end() && again->second.id == id) SubmitExchange(kind, address);
            });
            return;
        }
        m_flights.erase(flight);
        m_writeOptions.erase(address);
    }
    EncoderEntry* entry = m_encoders.Find(address);
    if (entry) {
        entry->inFlight = m_flights.count(address) != 0;
        if (!monitor) {
            if (report.record && report.outcome != ExchangeOutcome::Cancelled)
                m_lastRead[address] = QDateTime::currentDateTime();
            // The item shows how the operation's last exchange ended.
            for (const EncoderEvent& event : entry->events) {
                if (event.sequence >= report.eventsFrom && event.kind == EncoderEventKind::Exchange)
                    m_outcomes[address] = {QString::fromStdString(event.text), event.failed || event.cancelled};
            }
        }
        LogNewEvents(*entry, report.eventsFrom, monitor);
        UpdateItem(address);
    }

    if (monitor) {
        if (auto after = m_afterPoll.find(address); after != m_afterPoll.end()) {
            std::function<void()> submit = std::move(after->second);
            m_afterPoll.erase(after);
            submit();
        }
    } else if (entry && !m_closing) {
        const bool current = SelectedRecord() == &entry->record;
        if (report.kind == OperationKind::Status && current) {
            // The message pane lists the current encoder's alarms, as the reading found
            // them, and what the reading could not tell.
            for (const AlarmLine& line : report.alarms)
                m_messagePane->AddMessage(line.image, QString::fromStdString(line.text));
            for (const std::string& note : report.alarmNotes)
                m_messagePane->AddMessage(kAlarmImageDevice, QString::fromStdString(note));
        }
        const bool read = report.kind == OperationKind::Read || report.verifyRan;
        if (read && current && report.outcome != ExchangeOutcome::Cancelled)
            RefreshSheet(entry->record);   // a failed read shows what the record still holds
        if (group == 0) ShowResultBoxes(report);
    }
    if (!m_closing) AfterExchange(report, monitor);
    if (group != 0) EndGroupMember(group, report.outcome);
    UpdateCommandStates();
    UpdateProgress();
}

// One encoder: the boxes the exchange would have shown, in order. The status gate's
// refusals belong to the device list, the exchange's own boxes to the main window.
void CMainFrame::ShowResultBoxes(const OperationReport& report)
{
    if (report.kind == OperationKind::Status || report.outcome == ExchangeOutcome::Cancelled) return;
    for (const OperationBox& box : report.boxes) {
        QWidget* owner = box.fromGate ? static_cast<QWidget*>(m_deviceTree) : static_cast<QWidget*>(this);
        if (box.kind == MessageKind::Tip)
            m_prompter.MessageBox(owner, QString::fromStdString(box.text), QStringLiteral("Tip"),
                                  CPrompter::Icon::None);
        else
            m_prompter.MessageBox(owner, QString::fromStdString(box.text), QStringLiteral("Warning"),
                                  CPrompter::Icon::Exclamation);
    }
}

void CMainFrame::EndGroupMember(int group, ExchangeOutcome outcome)
{
    auto found = m_groups.find(group);
    if (found == m_groups.end()) return;
    CommandGroup& summary = found->second;
    ++summary.finished;
    if (outcome == ExchangeOutcome::Succeeded)
        ++summary.succeeded;
    else if (outcome == ExchangeOutcome::Cancelled)
        ++summary.cancelled;
    else if (outcome == ExchangeOutcome::LocalFailure)
        ++summary.local;   // this computer's failure, not the encoders'
    else
        ++summary.failed;
    if (summary.finished < summary.total) return;
    const CommandGroup done = summary;
    m_groups.erase(found);
    QString text = QStringLiteral("%1 on %2 encoders: %3 succeeded, %4 failed")
                       .arg(ExchangeText(done.kind))
                       .arg(done.total)
                       .arg(done.succeeded)
                       .arg(done.failed);
    if (done.cancelled > 0) text += QStringLiteral(", %1 cancelled").arg(done.cancelled);
    if (done.local > 0)
        text += QStringLiteral(", %1 not run: %2").arg(done.local).arg(TextOf(OutcomeText::LocalFailure));
    text += QLatin1Char('.');
    Log(QString(), done.failed + done.local > 0 ? CActivityLog::Severity::Warning : CActivityLog::Severity::Info, text);
    emit commandSummarised(text);
    if (m_closing) return;
    if (done.failed > 0)
        m_prompter.MessageBox(this, text, QStringLiteral("Warning"), CPrompter::Icon::Exclamation);
    else
        m_prompter.MessageBox(this, text, QStringLiteral("Tip"), CPrompter::Icon::None);
}

void CMainFrame::CancelExchanges()
{
    // Cancelled exchanges report through their callbacks; their records stay untouched.
    if (m_engine) m_engine->CancelAll();
}

void CMainFrame::CancelEncoder(uint32_t address)
{
    if (m_engine) m_engine->CancelEncoder(address);
}

bool CMainFrame::InFlight(uint32_t address) const
{
    return m_flights.count(address) != 0;
}

bool CMainFrame::InExchange() const
{
    return !m_flights.empty() || m_searchId != 0;
}

int CMainFrame::SecondsLeft(uint32_t address) const
{
    const auto flight = m_flights.find(address);
    if (flight == m_flights.end()) return -1;
    const qint64 left = flight->second.expectedMs - (m_clock.elapsed() - flight->second.startMs);
    return int(std::max<qint64>(0, (left + 999) / 1000));
}

WaitMode CMainFrame::CurrentWaitMode() const
{
    return m_replyComplete ? WaitMode::ReplyComplete : WaitMode::Fixed;
}

void CMainFrame::SetReplyCompleteMode(bool on)
{
    CommandAction(ID_WAIT_REPLY_COMPLETE)->setChecked(on);
    if (on == m_replyComplete) return;
    m_replyComplete = on;   // exchanges already running finish in the mode they started in
    if (m_operations) m_operations->SetWaitMode(CurrentWaitMode());
    if (m_persist) QSettings().setValue(QString::fromLatin1(kReplyCompleteKey), on);
}

// ---------------------------------------------------------------------------------------
// Search

void CMainFrame::StartSearch(uint32_t broadcast)
{
    m_searchAddress = broadcast;
    m_searchStartMs = m_clock.elapsed();
    m_searchAnswered = 0;
    m_searchNew = 0;
    m_searchSeen.clear();
    auto id = std::make_shared<OperationId>(0);
    m_searchId = Ops().Search(
        broadcast, [this](uint32_t address) { OnSearchFound(address); },
        [this, id](ExchangeOutcome outcome, const std::vector<uint32_t>& found) { OnSearchDone(*id, outcome, found); });
    *id = m_searchId;
    UpdateCommandStates();
    UpdateProgress();
}

// Found encoders appear as they answer; the selection stays as it is.
void CMainFrame::OnSearchFound(uint32_t address)
{
    if (m_searchId == 0 || std::find(m_searchSeen.begin(), m_searchSeen.end(), address) != m_searchSeen.end()) return;
    m_searchSeen.push_back(address);
    ++m_searchAnswered;
    const QString dotted = DottedText(address);
    if (!FindEncoderItem(m_deviceTree->topLevelItem(0), dotted)) {
        ++m_searchNew;
        AddEncoder(dotted);
    }
}

void CMainFrame::OnSearchDone(OperationId id, ExchangeOutcome outcome, const std::vector<uint32_t>& found)
{
    if (id != m_searchId) return;
    // Addresses the progress calls have not brought yet.
    for (uint32_t address : found) OnSearchFound(address);
    m_searchId = 0;
    QString text;
    if (outcome == ExchangeOutcome::Cancelled)
        text = QStringLiteral("Search Encoder %1 cancelled: %2 encoders answered, %3 new")
                   .arg(DottedText(m_searchAddress))
                   .arg(m_searchAnswered)
                   .arg(m_searchNew);
    else
        text = QStringLiteral("Search Encoder %1: %2 encoders answered, %3 new")
                   .arg(DottedText(m_searchAddress))
                   .arg(m_searchAnswered)
                   .arg(m_searchNew);
    Log(DottedText(m_searchAddress), CActivityLog::Severity::Info, text);
    UpdateCommandStates();
    UpdateProgress();
    if (!InExchange()) statusBar()->showMessage(text, kSearchNoteMs);
}

// ---------------------------------------------------------------------------------------
// Monitoring

void CMainFrame::SetMonitoring(bool on)
{
    CommandAction(ID_VIEW_MONITOR)->setChecked(on);
    if (on == m_monitorTimer->isActive()) return;
    if (on) {
        m_monitorTimer->start(m_monitorIntervalMs);
        PollEncoders();
        Log(QString(), CActivityLog::Severity::Info,
            QStringLiteral("Monitoring every %1 s").arg((m_monitorIntervalMs + 999) / 1000));
    } else {
        m_monitorTimer->stop();
        for (const auto& poll : m_polls) CancelEncoder(poll.first);
        Log(QString(), CActivityLog::Severity::Info, QStringLiteral("Monitoring stopped"));
    }
}

bool CMainFrame::Monitoring() const
{
    return m_monitorTimer->isActive();
}

void CMainFrame::SetMonitorInterval(int milliseconds)
{
    m_monitorIntervalMs = std::max(1, milliseconds);
    m_monitorTimer->setInterval(m_monitorIntervalMs);
    CommandAction(ID_VIEW_MONITOR)
        ->setStatusTip(
            QStringLiteral("Read every listed encoder's status every %1 s, keeping the list current and logging alarms")
                .arg((m_monitorIntervalMs + 999) / 1000));
}

// A status reading for every listed encoder that is not busy with another exchange.
void CMainFrame::PollEncoders()
{
    if (m_closing) return;
    for (const EncoderEntry& entry : m_encoders) {
        const uint32_t address = entry.address;
        if (m_flights.count(address) || m_polls.count(address)) continue;
        m_polls[address] = 0;
        const OperationId id = Ops().Status(address, {false, true},
                                            [this](const OperationReport& report) { OnExchangeDone(report, true); });
        if (auto poll = m_polls.find(address); poll != m_polls.end()) poll->second = id;
    }
}

// ---------------------------------------------------------------------------------------
// What the window shows while exchanges run

void CMainFrame::UpdateProgress()
{
    const bool running = InExchange();
    if (running && !m_progressTimer->isActive()) {
        m_progressTimer->start();
        setCursor(Qt::BusyCursor);   // working in the background: the window still answers
    } else if (!running && m_progressTimer->isActive()) {
        m_progressTimer->stop();
        unsetCursor();
        statusBar()->clearMessage();
    }
    int longest = 0;
    for (const auto& flight : m_flights) {
        longest = std::max(longest, SecondsLeft(flight.first));
        UpdateItem(flight.first);
    }
    if (!running) return;
    QString text;
    if (m_flights.size() == 1 && m_searchId == 0) {
        const auto& only = *m_flights.begin();
        text = QStringLiteral("%1 %2: waiting for the encoder, %3 s left")
                   .arg(ExchangeText(only.second.kind), DottedText(only.first))
                   .arg(SecondsLeft(only.first));
    } else if (m_flights.empty()) {
        const qint64 left = m_linkOptions.timing.searchWindowMs - (m_clock.elapsed() - m_searchStartMs);
        text = QStringLiteral("Search Encoder %1: listening for encoders, %2 s left")
                   .arg(DottedText(m_searchAddress))
                   .arg(std::max<qint64>(0, (left + 999) / 1000));
    } else {
        text = QStringLiteral("%1 exchanges in flight, up to %2 s left").arg(m_flights.size()).arg(longest);
        if (m_searchId != 0) text += QStringLiteral("; searching");
    }
    statusBar()->showMessage(text + QStringLiteral(" (Esc cancels)"));
}

// ---------------------------------------------------------------------------------------
// Activity log

void CMainFrame::Log(const QString& encoder, CActivityLog::Severity severity, const QString& text)
{
    m_activityLog->AddEntry(QDateTime::currentDateTime(), encoder, severity, text);
}

void CMainFrame::LogNewEvents(const EncoderEntry& entry, uint64_t from, bool monitor)
{
    const QString encoder = QString::fromStdString(entry.dotted);
    for (const EncoderEvent& event : entry.events) {
        if (event.sequence < from) continue;
        QString text = QString::fromStdString(event.text);
        CActivityLog::Severity severity = CActivityLog::Severity::Info;
        switch (event.kind) {
        case EncoderEventKind::Exchange:
            if (monitor) continue;   // a watch's readings show only in the columns and their alarms
            if (event.cancelled)
                severity = CActivityLog::Severity::Warning;
            else if (event.failed)
                severity = CActivityLog::Severity::Error;
            break;
        case EncoderEventKind::AlarmRaised:
            severity = CActivityLog::Severity::Warning;
            text = QStringLiteral("Alarm raised: ") + text;
            break;
        case EncoderEventKind::AlarmCleared:
            severity = CActivityLog::Severity::Info;
            text = QStringLiteral("Alarm cleared: ") + text;
            break;
        case EncoderEventKind::Note:
            severity = CActivityLog::Severity::Info;
            break;
        case EncoderEventKind::StateChanged:
            continue;   // the device list's image shows it
        }
        const qint64 ms = std::chrono::duration_cast<std::chrono::milliseconds>(event.time.time_since_epoch()).count();
        m_activityLog->AddEntry(QDateTime::fromMSecsSinceEpoch(ms), encoder, severity, text);
    }
}

void CMainFrame::ExportActivityLog()
{
    QFileDialog dialog(this, QStringLiteral("Export Activity Log"), QString(), QStringLiteral("CSV files (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(QStringLiteral("activity.csv"));
    if (m_prompter.RunDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().first();
    if (!m_activityLog->ExportCsv(path))
        m_prompter.MessageBox(this, QStringLiteral("Cannot write %1 !").arg(path), QStringLiteral("Warning"),
                              CPrompter::Icon::Exclamation);
}
