#include "CDeviceCommands.h"

#include <QAction>
#include <QMainWindow>
#include <QSettings>
#include <algorithm>

#include "AppIds.h"
#include "CActivityLog.h"
#include "CDeviceTree.h"
#include "CEncoderRoster.h"
#include "CExchangeController.h"
#include "CFrameCommands.h"
#include "CMessagePane.h"
#include "CPrompter.h"
#include "CSettingsSheet.h"
#include "Dialogs.h"
#include "FrameText.h"

const char* const kReplyCompleteKey = "Exchanges/finishOnCompleteReply";
const char* const kMonitorSecondsKey = "Monitor/intervalSeconds";

namespace {

// The device commands that act on the selected encoders, and their exchange.
struct EncoderCommand {
    int id;
    ExchangeKind kind;
};
constexpr EncoderCommand kEncoderCommands[] = {
    {ID_READ_CONFIGURATION, ExchangeKind::Read},    {ID_WRITE_CONFIGURATION, ExchangeKind::Write},
    {ID_START_TS_IP, ExchangeKind::Start},          {ID_STOP_TS_IP, ExchangeKind::Stop},
    {ID_READ_DEVICE_MESSAGE, ExchangeKind::Status},
};

}   // namespace

CDeviceCommands::CDeviceCommands(QMainWindow& window, CFrameCommands& commands, CExchangeController& exchanges,
                                 CEncoderRoster& roster, CDeviceTree& list, CSettingsSheet& sheet,
                                 CMessagePane& messages, CActivityLog& log, CPrompter& prompter, Write write)
    : QObject(&window), m_window(window), m_commands(commands), m_exchanges(exchanges), m_roster(roster), m_list(list),
      m_sheet(sheet), m_messages(messages), m_log(log), m_prompter(prompter), m_write(std::move(write))
{
    // The device commands are the device list's context menu's too: one way to run each.
    for (int id : {ID_SEARCH_ENCODER, ID_ADD_ENCODER, ID_DEL_ENCODER, ID_READ_CONFIGURATION, ID_WRITE_CONFIGURATION,
                   ID_START_TS_IP, ID_STOP_TS_IP, ID_READ_DEVICE_MESSAGE})
        commands.On(id, [this, id] { RunDeviceCommand(id); });
    commands.On(ID_CANCEL_EXCHANGES, [this] { CancelExchanges(); });
    commands.On(ID_FILE_IMPORT_ADDRESSES, [this] { m_roster.ImportAddresses(); });
    commands.On(ID_VIEW_MONITOR, [this] { SetMonitoring(m_commands.Action(ID_VIEW_MONITOR)->isChecked()); });
    commands.On(ID_WAIT_REPLY_COMPLETE,
                [this] { SetReplyCompleteMode(m_commands.Action(ID_WAIT_REPLY_COMPLETE)->isChecked()); });
    commands.Action(ID_WAIT_REPLY_COMPLETE)->setChecked(m_exchanges.ReplyComplete());
    connect(&list, &CDeviceTree::commandRequested, this, &CDeviceCommands::RunDeviceCommand);
    connect(&messages, &CMessagePane::commandRequested, this, &CDeviceCommands::RunDeviceCommand);
}

void CDeviceCommands::RunDeviceCommand(int id)
{
    if (m_exchanges.ShuttingDown()) return;
    switch (id) {
    case ID_SEARCH_ENCODER: {
        if (m_exchanges.Searching()) return;   // one search at a time
        CSearchDeviceDlg dialog(&m_list);
        if (m_prompter.RunDialog(dialog) == QDialog::Accepted) StartSearch(dialog.Address());
        return;
    }
    case ID_ADD_ENCODER:
        m_roster.AddFromDialog();
        return;
    case ID_DEL_ENCODER: {
        if (!m_list.SelectionIdle()) return;
        m_roster.DeleteEncoders(m_list.SelectedEncoderItems());
        return;
    }
    default:
        break;
    }
    const auto command = std::find_if(std::begin(kEncoderCommands), std::end(kEncoderCommands),
                                      [id](const EncoderCommand& c) { return c.id == id; });
    if (command == std::end(kEncoderCommands) || !m_list.SelectionIdle()) return;
    if (id == ID_WRITE_CONFIGURATION) m_sheet.CommitOpenEditor();
    std::vector<uint32_t> addresses;
    for (const EncoderRecord* item : m_list.SelectedEncoderItems()) addresses.push_back(CDeviceTree::ItemAddress(item));
    if (id == ID_WRITE_CONFIGURATION) {
        m_write(std::move(addresses));
        return;
    }
    if (!ConfirmFleetCommand(command->kind, addresses.size())) return;
    m_exchanges.RunCommand(command->kind, addresses);
    emit statesChanged();
}

bool CDeviceCommands::ConfirmFleetCommand(ExchangeKind kind, size_t count)
{
    // One encoder keeps its one keystroke; a selection goes off air or on only when asked.
    if (count < 2 || (kind != ExchangeKind::Stop && kind != ExchangeKind::Start)) return true;
    const QString text = QStringLiteral("%1 the TS output of %2 encoders?")
                             .arg(kind == ExchangeKind::Stop ? QStringLiteral("Stop") : QStringLiteral("Start"))
                             .arg(count);
    if (m_prompter.Question(&m_window, text, QStringLiteral("Korvane"))) return true;
    m_log.Log(QString(), CActivityLog::Severity::Info,
              QStringLiteral("%1 of %2 encoders not confirmed: nothing sent").arg(ExchangeText(kind)).arg(count));
    return false;
}

// Found encoders appear as they answer; the selection stays as it is.
void CDeviceCommands::StartSearch(uint32_t broadcast)
{
    m_exchanges.StartSearch(broadcast, [this](uint32_t address) {
        const QString dotted = DottedText(address);
        if (m_roster.FindEncoderItem(dotted)) return false;
        m_roster.AddEncoder(dotted);
        return true;
    });
    emit statesChanged();
}

void CDeviceCommands::CancelExchanges()
{
    m_exchanges.CancelAll();
}

void CDeviceCommands::UpdateStates()
{
    const bool idle = m_list.SelectionIdle();
    for (const EncoderCommand& command : kEncoderCommands) m_commands.Action(command.id)->setEnabled(idle);
    m_commands.Action(ID_DEL_ENCODER)->setEnabled(idle);
    m_commands.Action(ID_SEARCH_ENCODER)->setEnabled(!m_exchanges.Searching());
    m_commands.Action(ID_CANCEL_EXCHANGES)->setEnabled(m_exchanges.InExchange());
    const EncoderRecord* current = m_list.SelectedItem();
    m_messages.SetCommandState(current != nullptr, current && !m_exchanges.InFlight(current->ipAddr));
}

// ---------------------------------------------------------------------------------------
// The monitor and the wait mode

void CDeviceCommands::SetMonitoring(bool on)
{
    m_commands.Action(ID_VIEW_MONITOR)->setChecked(on);
    m_exchanges.SetMonitoring(on);
}

bool CDeviceCommands::Monitoring() const
{
    return m_exchanges.Monitoring();
}

void CDeviceCommands::SetMonitorInterval(int milliseconds)
{
    m_exchanges.SetMonitorInterval(milliseconds);
    m_commands.Action(ID_VIEW_MONITOR)
        ->setStatusTip(
            QStringLiteral("Read every listed encoder's status every %1 s, keeping the list current and logging alarms")
                .arg((m_exchanges.MonitorInterval() + 999) / 1000));
}

int CDeviceCommands::MonitorInterval() const
{
    return m_exchanges.MonitorInterval();
}

void CDeviceCommands::SetReplyCompleteMode(bool on)
{
    m_commands.Action(ID_WAIT_REPLY_COMPLETE)->setChecked(on);
    if (on == m_exchanges.ReplyComplete()) return;
    m_exchanges.SetReplyComplete(on);
    if (m_roster.Persisting()) QSettings().setValue(QString::fromLatin1(kReplyCompleteKey), on);
}

bool CDeviceCommands::ReplyCompleteMode() const
{
    return m_exchanges.ReplyComplete();
}

void CDeviceCommands::RestoreSettings()
{
    QSettings settings;
    SetReplyCompleteMode(settings.value(QString::fromLatin1(kReplyCompleteKey), false).toBool());
    // A site with hundreds of encoders may want a slower watch; nothing faster than a
    // status reading's own wait makes sense.
    const int seconds =
        settings.value(QString::fromLatin1(kMonitorSecondsKey), CExchangeController::kDefaultMonitorSeconds).toInt();
    SetMonitorInterval(std::clamp(seconds, 1, 3600) * 1000);
}
