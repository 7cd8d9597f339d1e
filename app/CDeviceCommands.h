#pragma once
// The Device menu's commands on the encoders (search, add, delete, read, write, start, stop,
// read device message, cancel), the monitor and the wait mode: what the operator asks of
// the exchanges, from the menus, the toolbar, the device list's and the message pane's
// context menus alike, each started here on CExchangeController and enabled only while it
// cannot conflict with an exchange in flight.

#include <QObject>
#include <functional>
#include <vector>

#include "ExchangeEngine.h"

class CActivityLog;
class CDeviceTree;
class CEncoderRoster;
class CExchangeController;
class CFrameCommands;
class CMessagePane;
class CPrompter;
class CSettingsSheet;
class QMainWindow;

class CDeviceCommands : public QObject {
    Q_OBJECT
public:
    // Write Configuration's checks and review, on the encoders given.
    using Write = std::function<void(std::vector<uint32_t> addresses)>;

    // Connects the commands' actions to what they do here.
    CDeviceCommands(QMainWindow& window, CFrameCommands& commands, CExchangeController& exchanges,
                    CEncoderRoster& roster, CDeviceTree& list, CSettingsSheet& sheet, CMessagePane& messages,
                    CActivityLog& log, CPrompter& prompter, Write write);

    // A device command on the selection (or the search, Add Encoder); the exchanges start
    // in the background.
    void RunDeviceCommand(int id);
    // Cancels every exchange; their records stay as they were.
    void CancelExchanges();
    // Enables the device commands and the message pane's as the selection's exchanges allow.
    void UpdateStates();

    // Monitoring: status readings of every listed encoder every interval, off at start.
    void SetMonitoring(bool on);
    bool Monitoring() const;
    void SetMonitorInterval(int milliseconds);
    int MonitorInterval() const;
    // Wait mode: false waits each exchange's full fixed time (the protocol's own way), true
    // ends it as soon as the reply is complete. Applies to exchanges started after; kept in
    // the settings once they are restored.
    void SetReplyCompleteMode(bool on);
    bool ReplyCompleteMode() const;
    // The wait mode and the monitor's interval as the settings keep them.
    void RestoreSettings();

signals:
    // Exchanges started: what may be enabled and the progress changed.
    void statesChanged();

private:
    void StartSearch(uint32_t broadcast);
    // Stop or Start on several encoders asks first; true to go on.
    bool ConfirmFleetCommand(ExchangeKind kind, size_t count);

    QMainWindow& m_window;
    CFrameCommands& m_commands;
    CExchangeController& m_exchanges;
    CEncoderRoster& m_roster;
    CDeviceTree& m_list;
    CSettingsSheet& m_sheet;
    CMessagePane& m_messages;
    CActivityLog& m_log;
    CPrompter& m_prompter;
    Write m_write;
};

// The settings under which the wait mode and the monitor's interval are kept.
extern const char* const kReplyCompleteKey;
extern const char* const kMonitorSecondsKey;   // read at start only; 10 when not set
