#include "CExchangeView.h"

#include <QDateTime>
#include <QFileDialog>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>
#include <chrono>

#include "CDeviceTree.h"
#include "CEncoderRows.h"
#include "CExchangeController.h"
#include "CMessagePane.h"
#include "CPrompter.h"
#include "EncoderList.h"
#include "OutcomeTexts.h"
#include "StatusGate.h"

namespace {

constexpr int kProgressTickMs = 250;   // how often the status bar counts down
constexpr int kSearchNoteMs = 15000;   // how long the status bar keeps a search's result

}   // namespace

CExchangeView::CExchangeView(QMainWindow& window, CExchangeController& exchanges, const EncoderList& encoders,
                             CEncoderRows& rows, CDeviceTree& list, CMessagePane& messages, CActivityLog& log,
                             CPrompter& prompter)
    : QObject(&window), m_window(window), m_exchanges(exchanges), m_encoders(encoders), m_rows(rows), m_list(list),
      m_messages(messages), m_log(log), m_prompter(prompter), m_progressTimer(new QTimer(this))
{
    m_progressTimer->setInterval(kProgressTickMs);
    connect(m_progressTimer, &QTimer::timeout, this, &CExchangeView::UpdateProgress);
    connect(&m_exchanges, &CExchangeController::operationStarting, this,
            [this](uint32_t address) { m_rows.Update(address, false); });
    connect(&m_exchanges, &CExchangeController::operationDone, this, &CExchangeView::OnOperationDone);
    connect(&m_exchanges, &CExchangeController::commandSummarised, this, &CExchangeView::OnCommandSummarised);
    connect(&m_exchanges, &CExchangeController::searchEnded, this, &CExchangeView::OnSearchEnded);
    connect(&m_exchanges, &CExchangeController::logged, this, &CExchangeView::Log);
    connect(&m_exchanges, &CExchangeController::statesChanged, this, [this] {
        emit statesChanged();
        UpdateProgress();
    });
    connect(&m_log, &CActivityLog::exportRequested, this, &CExchangeView::ExportActivityLog);
}

void CExchangeView::OnOperationDone(const OperationReport& report, bool poll, bool single)
{
    const bool closing = m_exchanges.ShuttingDown();
    const EncoderEntry* entry = m_encoders.Find(report.address);
    if (entry) {
        LogNewEvents(*entry, report.eventsFrom, poll);
        m_rows.Update(report.address, !poll);
    }
    if (!poll && entry && !closing) {
        const bool current = m_list.SelectedItem() == &entry->record;
        if (report.kind == OperationKind::Status && current) {
            // The message pane lists the current encoder's alarms, as the reading found
            // them, and what the reading could not tell.
            for (const AlarmLine& line : report.alarms)
                m_messages.AddMessage(line.image, QString::fromStdString(line.text));
            for (const std::string& note : report.alarmNotes)
                m_messages.AddMessage(kAlarmImageDevice, QString::fromStdString(note));
        }
        const bool read = report.kind == OperationKind::Read || report.verifyRan;
        if (read && current && report.outcome != ExchangeOutcome::Cancelled)
            emit currentRead(entry->record);   // a failed read shows what the record still holds
        else if (report.kind == OperationKind::Write && current)
            emit currentWritten(entry->record);
        if (single) ShowResultBoxes(report);
    }
    if (!closing) emit resultShown(report, poll);
}

// One encoder: the boxes the exchange would have shown, in order. The status gate's
// refusals belong to the device list, the exchange's own boxes to the main window.
void CExchangeView::ShowResultBoxes(const OperationReport& report)
{
    if (report.kind == OperationKind::Status || report.outcome == ExchangeOutcome::Cancelled) return;
    for (const OperationBox& box : report.boxes) {
        QWidget* owner = box.fromGate ? static_cast<QWidget*>(&m_list) : static_cast<QWidget*>(&m_window);
        if (box.kind == MessageKind::Tip)
            m_prompter.Tip(owner, QString::fromStdString(box.text));
        else
            m_prompter.Warning(owner, QString::fromStdString(box.text));
    }
}

void CExchangeView::OnCommandSummarised(const QString& text, const QStringList& failures, bool cancelled)
{
    const bool failed = !failures.isEmpty();
    Log(QString(), failed ? CActivityLog::Severity::Warning : CActivityLog::Severity::Info, text);
    emit commandSummarised(text);
    // A batch the operator cancelled says so in the log only: the cancel was his own act.
    if (m_exchanges.ShuttingDown() || cancelled) return;
    if (failed)
        m_prompter.MessageBoxWithDetails(&m_window, text, failures.join(QLatin1Char('\n')), QStringLiteral("Warning"),
                                         CPrompter::Icon::Exclamation);
    else
        m_prompter.Tip(&m_window, text);
}

void CExchangeView::OnSearchEnded(const QString& broadcast, const QString& text)
{
    Log(broadcast, CActivityLog::Severity::Info, text);
    emit statesChanged();
    UpdateProgress();
    if (!m_exchanges.InExchange()) m_window.statusBar()->showMessage(text, kSearchNoteMs);
}

void CExchangeView::UpdateProgress()
{
    const bool running = m_exchanges.InExchange();
    if (running && !m_progressTimer->isActive()) {
        m_progressTimer->start();
        m_window.setCursor(Qt::BusyCursor);   // working in the background: the window still answers
    } else if (!running && m_progressTimer->isActive()) {
        m_progressTimer->stop();
        m_window.unsetCursor();
        m_window.statusBar()->clearMessage();
    }
    // The rows count down on their own timer; here only the status bar's sum.
    if (running) m_window.statusBar()->showMessage(m_exchanges.ProgressText());
}

// ---------------------------------------------------------------------------------------
// Activity log

void CExchangeView::Log(const QString& encoder, CActivityLog::Severity severity, const QString& text)
{
    m_log.Log(encoder, severity, text);
}

void CExchangeView::LogNewEvents(const EncoderEntry& entry, uint64_t from, bool monitor)
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
        m_log.AddEntry(QDateTime::fromMSecsSinceEpoch(ms), encoder, severity, text);
    }
}

void CExchangeView::ExportActivityLog()
{
    QFileDialog dialog(&m_window, QStringLiteral("Export Activity Log"), QString(),
                       QStringLiteral("CSV files (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(QStringLiteral("activity.csv"));
    if (m_prompter.RunDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().first();
    if (!m_log.ExportCsv(path)) m_prompter.Warning(&m_window, QStringLiteral("Cannot write %1 !").arg(path));
}
