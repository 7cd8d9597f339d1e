// The frame's side of the window's exchanges: the controller runs them; here what a
// result shows (its row, the log, the message pane, the sheet, the boxes), the summary of a
// command on several encoders, the search's note and the status bar's progress.

#include <QAction>
#include <QDateTime>
#include <QFileDialog>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

#include "AppIds.h"
#include "CDeviceTree.h"
#include "CExchangeController.h"
#include "CMainFrame.h"
#include "CMessagePane.h"
#include "CPrompter.h"
#include "CSafeEdits.h"
#include "CHistoryPanel.h"
#include "FrameText.h"
#include "OutcomeTexts.h"
#include "StatusGate.h"

namespace {

constexpr int kSearchNoteMs = 15000;   // how long the status bar keeps a search's result

}   // namespace

void CMainFrame::WireExchanges()
{
    connect(m_exchanges, &CExchangeController::operationStarting, this,
            [this](uint32_t address, ExchangeKind) { UpdateItem(address, false); });
    connect(m_exchanges, &CExchangeController::operationDone, this, &CMainFrame::OnOperationDone);
    connect(m_exchanges, &CExchangeController::commandSummarised, this, &CMainFrame::OnCommandSummarised);
    connect(m_exchanges, &CExchangeController::searchEnded, this,
            [this](const QString& broadcast, const QString& text) {
                Log(broadcast, CActivityLog::Severity::Info, text);
                UpdateCommandStates();
                UpdateProgress();
                if (!InExchange()) statusBar()->showMessage(text, kSearchNoteMs);
            });
    connect(m_exchanges, &CExchangeController::logged, this, &CMainFrame::Log);
    connect(m_exchanges, &CExchangeController::statesChanged, this, [this] {
        UpdateCommandStates();
        UpdateProgress();
    });
}

Operations& CMainFrame::Ops()
{
    return m_exchanges->Ops();
}

void CMainFrame::OnOperationDone(const OperationReport& report, bool poll, bool single)
{
    const uint32_t address = report.address;
    EncoderEntry* entry = m_encoders.Find(address);
    if (entry) {
        LogNewEvents(*entry, report.eventsFrom, poll);
        UpdateItem(address, !poll);
    }
    if (!poll && entry && !m_closing) {
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
        else if (report.kind == OperationKind::Write && current)
            m_safeEdits->ShowPending(entry->record);   // what was written is no edit pending any more
        if (single) ShowResultBoxes(report);
    }
    if (!m_closing && !poll) {
        m_historyPanel->KeepExchange(report);
        m_safeEdits->AfterExchange(report);
    }
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

void CMainFrame::OnCommandSummarised(const QString& text, const QStringList& failures, bool cancelled)
{
    const bool failed = !failures.isEmpty();
    Log(QString(), failed ? CActivityLog::Severity::Warning : CActivityLog::Severity::Info, text);
    emit commandSummarised(text);
    // A batch the operator cancelled says so in the log only: the cancel was his own act.
    if (m_closing || cancelled) return;
    if (failed)
        m_prompter.MessageBoxWithDetails(this, text, failures.join(QLatin1Char('\n')), QStringLiteral("Warning"),
                                         CPrompter::Icon::Exclamation);
    else
        m_prompter.MessageBox(this, text, QStringLiteral("Tip"), CPrompter::Icon::None);
}

void CMainFrame::CancelExchanges()
{
    m_exchanges->CancelAll();
}

bool CMainFrame::InFlight(uint32_t address) const
{
    return m_exchanges->InFlight(address);
}

bool CMainFrame::InExchange() const
{
    return m_exchanges->InExchange();
}

int CMainFrame::SecondsLeft(uint32_t address) const
{
    return m_exchanges->SecondsLeft(address);
}

void CMainFrame::SetReplyCompleteMode(bool on)
{
    CommandAction(ID_WAIT_REPLY_COMPLETE)->setChecked(on);
    if (on == m_exchanges->ReplyComplete()) return;
    m_exchanges->SetReplyComplete(on);
    if (m_persist) QSettings().setValue(QString::fromLatin1(kReplyCompleteKey), on);
}

bool CMainFrame::ReplyCompleteMode() const
{
    return m_exchanges->ReplyComplete();
}

// Found encoders appear as they answer; the selection stays as it is.
void CMainFrame::StartSearch(uint32_t broadcast)
{
    m_exchanges->StartSearch(broadcast, [this](uint32_t address) {
        const QString dotted = DottedText(address);
        if (FindEncoderItem(dotted)) return false;
        AddEncoder(dotted);
        return true;
    });
    UpdateCommandStates();
    UpdateProgress();
}

void CMainFrame::SetMonitoring(bool on)
{
    CommandAction(ID_VIEW_MONITOR)->setChecked(on);
    m_exchanges->SetMonitoring(on);
}

bool CMainFrame::Monitoring() const
{
    return m_exchanges->Monitoring();
}

void CMainFrame::SetMonitorInterval(int milliseconds)
{
    m_exchanges->SetMonitorInterval(milliseconds);
    CommandAction(ID_VIEW_MONITOR)
        ->setStatusTip(
            QStringLiteral("Read every listed encoder's status every %1 s, keeping the list current and logging alarms")
                .arg((m_exchanges->MonitorInterval() + 999) / 1000));
}

int CMainFrame::MonitorInterval() const
{
    return m_exchanges->MonitorInterval();
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
    // The rows count down on their own timer; here only the status bar's sum.
    if (running) statusBar()->showMessage(m_exchanges->ProgressText());
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
