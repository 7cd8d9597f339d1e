#pragma once
// What the window shows of its exchanges, which CExchangeController runs: a result's row,
// its lines in the activity log, the current encoder's alarms in the message pane, its
// sheet after a read, the boxes of a command on one encoder, the summary of a command on
// several, the search's note, and the status bar's progress and busy cursor while anything
// runs. A result touches its own encoder's row only.

#include <QObject>
#include <QString>
#include <QStringList>

#include "CActivityLog.h"
#include "Operations.h"

class CDeviceTree;
class CEncoderRows;
class CExchangeController;
class CMessagePane;
class CPrompter;
class QMainWindow;
class QTimer;
struct EncoderEntry;
class EncoderList;

class CExchangeView : public QObject {
    Q_OBJECT
public:
    // `window` owns the exchanges' boxes and shows the progress in its status bar.
    CExchangeView(QMainWindow& window, CExchangeController& exchanges, const EncoderList& encoders, CEncoderRows& rows,
                  CDeviceTree& list, CMessagePane& messages, CActivityLog& log, CPrompter& prompter);

    // The status bar's sum of what runs, the busy cursor, and the countdown's timer, as the
    // exchanges in flight stand.
    void UpdateProgress();
    void Log(const QString& encoder, CActivityLog::Severity severity, const QString& text);
    // The activity log's Export...: a CSV file the operator names.
    void ExportActivityLog();

signals:
    // A command on several encoders ended: its kind and counts.
    void commandSummarised(const QString& text);
    // What may be enabled changed (a search ended, exchanges started or ended).
    void statesChanged();
    // The current encoder's record was read (or a read of it failed): the sheet shows it again.
    void currentRead(const EncoderRecord& record);
    // The current encoder's record was written: what was written is no edit pending any more.
    void currentWritten(const EncoderRecord& record);
    // A result was shown (a monitor's reading too): what follows it (read-back, history) may run.
    void resultShown(const OperationReport& report, bool monitor);

private:
    void OnOperationDone(const OperationReport& report, bool poll, bool single);
    void ShowResultBoxes(const OperationReport& report);
    void OnCommandSummarised(const QString& text, const QStringList& failures, bool cancelled);
    void OnSearchEnded(const QString& broadcast, const QString& text);
    void LogNewEvents(const EncoderEntry& entry, uint64_t from, bool monitor);

    QMainWindow& m_window;
    CExchangeController& m_exchanges;
    const EncoderList& m_encoders;
    CEncoderRows& m_rows;
    CDeviceTree& m_list;
    CMessagePane& m_messages;
    CActivityLog& m_log;
    CPrompter& m_prompter;
    QTimer* m_progressTimer = nullptr;
};
