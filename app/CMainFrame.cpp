#include "CMainFrame.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSettings>
#include <QVariant>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <algorithm>

#include "AppIds.h"
#include "CActivityStore.h"
#include "StatusGate.h"
#include "CDeviceTree.h"
#include "CHistoryKeeper.h"
#include "CMessagePane.h"
#include "CPaneSplitter.h"
#include "CPrompter.h"
#include "CRowTreeItem.h"
#include "Dialogs.h"
#include "FrameText.h"
#include "Pictures.h"
#include "SheetLayout.h"
#include "TextConversions.h"

const char* const kAddressBookKey = "AddressBook/encoders";
const char* const kReplyCompleteKey = "Exchanges/finishOnCompleteReply";
const char* const kMonitorSecondsKey = "Monitor/intervalSeconds";

namespace {

constexpr int kPaneMinimum = 30;       // no pane gets narrower or lower than this
constexpr int kPaneBar = 1;            // the bars between panes
constexpr int kProgressTickMs = 250;   // how often the items and the status bar count down

// The frame's commands: menu items, toolbar buttons and accelerators share one action per
// id. The device commands keep the context menu's texts.
struct FrameCommand {
    int id;
    const char* text;        // menu text, "\t" before the accelerator shown
    const char* statusTip;   // the fly-by text in the status bar
    const char* shortcuts;   // QKeySequence texts separated by "|"
    QStyle::StandardPixmap icon;
    bool checkable;
};

constexpr QStyle::StandardPixmap kNoIcon = QStyle::SP_CustomBase;

constexpr FrameCommand kFrameCommands[] = {
    {ID_APP_EXIT, "Exit (&X)", "Quit the application", nullptr, kNoIcon, false},
    {ID_EDIT_UNDO, "Undo (&U)\tCtrl+Z", "Undo the last change in the field being edited", "Ctrl+Z|Alt+Backspace",
     kNoIcon, false},
    {ID_EDIT_CUT, "Cut (&T)\tCtrl+X", "Cut the selected text of the field being edited", "Ctrl+X|Shift+Del", kNoIcon,
     false},
    {ID_EDIT_COPY, "Copy (&C)\tCtrl+C", "Copy the selected text, or the selected encoders' addresses",
     "Ctrl+C|Ctrl+Ins", kNoIcon, false},
    {ID_EDIT_PASTE, "Paste (&P)\tCtrl+V",
     "Paste into the field being edited, or add the addresses pasted to the device list", "Ctrl+V|Shift+Ins", kNoIcon,
     false},
    {ID_SEARCH_ENCODER, "Search Encoder", "Find the encoders that answer a broadcast address", "Ctrl+F",
     QStyle::SP_FileDialogContentsView, false},
    {ID_ADD_ENCODER, "Add Encoder", "Add an encoder by its address", "Ctrl+N", QStyle::SP_FileDialogNewFolder, false},
    {ID_DEL_ENCODER, "Del Encoder", "Remove the selected encoders from the list", "Del", QStyle::SP_TrashIcon, false},
    {ID_READ_CONFIGURATION, "Read Configuration", "Read the selected encoders' settings", "F5", QStyle::SP_ArrowDown,
     false},
    {ID_WRITE_CONFIGURATION, "Write Configuration", "Write the settings to the selected encoders", "Ctrl+S",
     QStyle::SP_ArrowUp, false},
    {ID_START_TS_IP, "Start TS -> IP", "Start the TS-over-IP output of the selected encoders", "Ctrl+T",
     QStyle::SP_MediaPlay, false},
    {ID_STOP_TS_IP, "Stop TS -> IP", "Stop the TS-over-IP output of the selected encoders", "Ctrl+Shift+T",
     QStyle::SP_MediaStop, false},
    {ID_READ_DEVICE_MESSAGE, "Read Device Message", "Read the selected encoders' alarms", "Ctrl+M",
     QStyle::SP_MessageBoxInformation, false},
    {ID_CANCEL_EXCHANGES, "Cancel", "Cancel every exchange in flight; the encoders' settings stay as they were", "Esc",
     QStyle::SP_BrowserStop, false},
    {ID_WAIT_REPLY_COMPLETE, "Finish on Complete Reply",
     "End each exchange as soon as the encoder's reply is complete instead of waiting the full fixed time", nullptr,
     kNoIcon, true},
    {ID_VIEW_TOOLBAR, "ToolBar (&T)", "Show or hide the toolbar", nullptr, kNoIcon, true},
    {ID_VIEW_STATUS_BAR, "StatusBar(&S)", "Show or hide the status bar", nullptr, kNoIcon, true},
    {ID_VIEW_ACTIVITY_LOG, "Activity Log", "Show or hide the log of every exchange's outcome and every alarm", nullptr,
     kNoIcon, true},
    {ID_VIEW_MONITOR, "Monitor",
     "Read every listed encoder's status every 10 s, keeping the list current and logging alarms", nullptr, kNoIcon,
     true},
    {ID_APP_ABOUT, "About Encoder(&A)...", "About", nullptr, kNoIcon, false},
    {ID_NEXT_PANE, "Next Panel", "Next Panel", "F6", kNoIcon, false},
    {ID_FILE_SAVE_SETTINGS, "Save Settings As...", "Save the current encoder's settings to a file (without passwords)",
     nullptr, kNoIcon, false},
    {ID_FILE_APPLY_SETTINGS, "Apply Settings...",
     "Take the settings of a file into the selected encoders as edits; nothing is sent until you write", nullptr,
     kNoIcon, false},
    {ID_EDIT_REVERT_ROW, "Revert Row", "Bring back the selected row's value as last read from the encoder", nullptr,
     kNoIcon, false},
    {ID_EDIT_REVERT_ALL, "Revert All", "Bring back every value as last read from the encoder", nullptr, kNoIcon, false},
    {ID_VIEW_SHOW_PASSWORDS, "Show Passwords", "Show the passwords typed into the settings instead of a mask", nullptr,
     kNoIcon, true},
    {ID_READ_BACK_AFTER_WRITE, "Read Back After Write",
     "After a successful write, read the encoder again and show any setting that did not take; costs one more read's "
     "time (20 s with fixed waits)",
     nullptr, kNoIcon, true},
    {ID_COMPARE_ENCODERS, "Compare Encoders", "Show the settings in which the two selected encoders differ", nullptr,
     kNoIcon, false},
    {ID_DEVICE_HISTORY, "History...",
     "Show the kept versions of the current encoder's settings; Restore takes one as edits", nullptr, kNoIcon, false},
    {ID_PREV_PANE, "Prev Panel", "Prev Panel", "Shift+F6", kNoIcon, false},
};

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

constexpr int kToolButtons[] = {
    ID_SEARCH_ENCODER,
    ID_ADD_ENCODER,
    ID_DEL_ENCODER,
    0,
    ID_READ_CONFIGURATION,
    ID_WRITE_CONFIGURATION,
    0,
    ID_START_TS_IP,
    ID_STOP_TS_IP,
    0,
    ID_READ_DEVICE_MESSAGE,
    ID_CANCEL_EXCHANGES,
    0,
    ID_APP_ABOUT,
};

// Accepts only four dotted numbers of 0 to 255: what the device list shows.
bool ParseDotted(const QString& text, uint32_t& address)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4) return false;
    address = 0;
    for (const QString& part : parts) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (!ok || part.isEmpty() || part.size() > 3 || value < 0 || value > 255) return false;
        address = (address << 8) | uint32_t(value);
    }
    return true;
}

}   // namespace

CMainFrame::CMainFrame(CPrompter& prompter, LinkOptions options, std::string outFile)
    : m_prompter(prompter), m_linkOptions(std::move(options)), m_outFile(std::move(outFile)),
      m_history(std::make_unique<CHistoryKeeper>())
{
    // The frame is always a top-level window of its own and goes when it is closed,
    // taking the device list and every record with it.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Korvane"));
    setWindowIcon(ProgramIcon());
    setDockOptions(QMainWindow::AnimatedDocks);
    m_clock.start();
    m_replyComplete = m_linkOptions.waitMode == WaitMode::ReplyComplete;
    CreateCommands();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreatePanes();
    CreateSafeEditWidgets();
    WirePanes();

    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(kProgressTickMs);
    connect(m_progressTimer, &QTimer::timeout, this, &CMainFrame::UpdateProgress);
    m_monitorTimer = new QTimer(this);
    m_monitorTimer->setInterval(m_monitorIntervalMs);
    connect(m_monitorTimer, &QTimer::timeout, this, &CMainFrame::PollEncoders);
    UpdateCommandStates();
}

CMainFrame::~CMainFrame()
{
    m_closing = true;
    // Children going away below must not call back into a frame already half gone.
    QObject::disconnect(qApp, nullptr, this, nullptr);
    for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
    m_progressTimer->stop();
    m_monitorTimer->stop();
    // The operations go first (they cancel their exchanges on the engine); every result still
    // to come is handed on before the engine is gone, and those queued calls die with this object.
    m_operations.reset();
    m_engine.reset();
    // The items point into the encoder list, which goes before the tree widget does.
    m_deviceTree->blockSignals(true);
    m_deviceTree->clear();
    CountEncoderRecord(-int(m_encoders.Size()));
    m_encoders.Clear();
}

// ---------------------------------------------------------------------------------------
// Building the window

void CMainFrame::CreateCommands()
{
    for (const FrameCommand& command : kFrameCommands) {
        auto* action = new QAction(QString::fromLatin1(command.text), this);
        action->setData(command.id);
        action->setStatusTip(QString::fromLatin1(command.statusTip));
        const QString plain =
            QString::fromLatin1(command.text).section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
        action->setToolTip(plain.section(QLatin1String(" ("), 0, 0));
        if (command.icon != kNoIcon) action->setIcon(style()->standardIcon(command.icon));
        if (command.shortcuts) {
            QList<QKeySequence> keys;
            for (const QString& key : QString::fromLatin1(command.shortcuts).split(QLatin1Char('|')))
                keys << QKeySequence(key);
            action->setShortcuts(keys);
            action->setShortcutContext(Qt::WindowShortcut);
        }
        if (command.checkable) {
            action->setCheckable(true);
            action->setChecked(command.id == ID_VIEW_TOOLBAR || command.id == ID_VIEW_STATUS_BAR ||
                               command.id == ID_VIEW_ACTIVITY_LOG);
        }
        const int id = command.id;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        m_commands << action;
    }
    // Del belongs to the device list: in a settings field it deletes text.
    CommandAction(ID_DEL_ENCODER)->setShortcutContext(Qt::WidgetShortcut);
    CommandAction(ID_WAIT_REPLY_COMPLETE)->setChecked(m_replyComplete);
    for (QAction* action : m_commands)
        if (action->data().toInt() != ID_DEL_ENCODER)
            addAction(action);   // accelerators work wherever the focus is in the window
}

QAction* CMainFrame::CommandAction(int id) const
{
    for (QAction* action : m_commands)
        if (action->data().toInt() == id) return action;
    return nullptr;
}

void CMainFrame::CreateMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("File (&F)"));
    file->addAction(CommandAction(ID_FILE_SAVE_SETTINGS));
    file->addAction(CommandAction(ID_FILE_APPLY_SETTINGS));
    file->addSeparator();
    file->addAction(CommandAction(ID_APP_EXIT));

    QMenu* edit = menuBar()->addMenu(QStringLiteral("Edit (&E)"));
    edit->addAction(CommandAction(ID_EDIT_UNDO));
    edit->addSeparator();
    edit->addAction(CommandAction(ID_EDIT_CUT));
    edit->addAction(CommandAction(ID_EDIT_COPY));
    edit->addAction(CommandAction(ID_EDIT_PASTE));
    edit->addSeparator();
    edit->addAction(CommandAction(ID_EDIT_REVERT_ROW));
    edit->addAction(CommandAction(ID_EDIT_REVERT_ALL));

    QMenu* device = menuBar()->addMenu(QStringLiteral("Device (&D)"));
    for (int id : {ID_SEARCH_ENCODER, ID_ADD_ENCODER, ID_DEL_ENCODER, 0, ID_READ_CONFIGURATION, ID_WRITE_CONFIGURATION,
                   0, ID_START_TS_IP, ID_STOP_TS_IP, 0, ID_READ_DEVICE_MESSAGE, 0, ID_COMPARE_ENCODERS,
                   ID_DEVICE_HISTORY, 0, ID_CANCEL_EXCHANGES, 0, ID_WAIT_REPLY_COMPLETE, ID_READ_BACK_AFTER_WRITE}) {
        if (id == 0)
            device->addSeparator();
        else
            device->addAction(CommandAction(id));
    }

    QMenu* view = menuBar()->addMenu(QStringLiteral("View (&V)"));
    view->addAction(CommandAction(ID_VIEW_TOOLBAR));
    view->addAction(CommandAction(ID_VIEW_STATUS_BAR));
    view->addAction(CommandAction(ID_VIEW_ACTIVITY_LOG));
    view->addAction(CommandAction(ID_VIEW_SHOW_PASSWORDS));
    view->addSeparator();
    view->addAction(CommandAction(ID_VIEW_MONITOR));
    view->addSeparator();
    view->addAction(CommandAction(ID_NEXT_PANE));
    view->addAction(CommandAction(ID_PREV_PANE));

    QMenu* help = menuBar()->addMenu(QStringLiteral("Help(&H)"));
    help->addAction(CommandAction(ID_APP_ABOUT));
}

void CMainFrame::CreateToolBar()
{
    m_toolBar = new QToolBar(QStringLiteral("Standard"), this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar"));
    m_toolBar->setIconSize(QSize(kToolButtonWidth, kToolButtonHeight));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->setMovable(true);
    m_toolBar->setFloatable(true);
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    CommandAction(ID_APP_ABOUT)->setIcon(ToolButtonIcon(ToolPicture::About));
    CommandAction(ID_START_TS_IP)->setIcon(OutputButtonIcon(ToolPicture::StartOutput, palette()));
    CommandAction(ID_STOP_TS_IP)->setIcon(OutputButtonIcon(ToolPicture::StopOutput, palette()));
    for (int id : kToolButtons) {
        if (id == 0)
            m_toolBar->addSeparator();
        else
            m_toolBar->addAction(CommandAction(id));
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    // The View menu's check follows the toolbar however it was hidden or shown.
    connect(m_toolBar, &QToolBar::visibilityChanged, this,
            [this] { CommandAction(ID_VIEW_TOOLBAR)->setChecked(!m_toolBar->isHidden()); });
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    m_messageField = new QLabel(QStringLiteral("Ready"), bar);
    bar->addWidget(m_messageField, 1);
    for (const char* indicator : {"Caps", "Num", "Scroll"}) {
        auto* label = new QLabel(QString::fromLatin1(indicator), bar);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("Scroll")) + 12);
        // The lock keys' states are not portably readable: the indicators stay dimmed.
        label->setEnabled(false);
        bar->addPermanentWidget(label);
    }
}

void CMainFrame::CreatePanes()
{
    m_outerSplitter = new CPaneSplitter(2, CPaneSplitter::SideBySide, kPaneMinimum, kPaneBar);
    m_outerSplitter->Create(this, CPaneSplitter::kFirstPaneId);
    m_outerSplitter->SetProportions({25, 75});
    setCentralWidget(m_outerSplitter);

    m_innerSplitter = new CPaneSplitter(2, CPaneSplitter::Stacked, kPaneMinimum, kPaneBar);
    m_innerSplitter->Create(m_outerSplitter, CPaneSplitter::kFirstPaneId);
    m_innerSplitter->SetProportions({80, 20});

    m_deviceTree = new CDeviceTree;
    m_outerSplitter->CreatePane(0, m_deviceTree);
    m_outerSplitter->SetPane(1, m_innerSplitter);
    m_deviceTree->addAction(CommandAction(ID_DEL_ENCODER));

    // The sheet's editors report finished edits here, as any other command.
    m_settingsSheet = new CSettingsSheet(nullptr, [this](int id) { OnCommand(id); });
    m_innerSplitter->CreatePane(0, m_settingsSheet);

    m_messagePane = new CMessagePane;
    m_innerSplitter->CreatePane(1, m_messagePane);

    // The activity log sits below the three panes, which keep their places and shares.
    m_activityLog = new CActivityLog;
    m_activityDock = new QDockWidget(QStringLiteral("Activity Log"), this);
    m_activityDock->setObjectName(QStringLiteral("ActivityDock"));
    m_activityDock->setWidget(m_activityLog);
    m_activityDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                                QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::BottomDockWidgetArea, m_activityDock);
    resizeDocks({m_activityDock}, {m_activityLog->sizeHint().height()}, Qt::Vertical);
    connect(m_activityDock, &QDockWidget::visibilityChanged, this,
            [this] { CommandAction(ID_VIEW_ACTIVITY_LOG)->setChecked(!m_activityDock->isHidden()); });
}

// The panes announce; the frame decides who hears it.
void CMainFrame::WirePanes()
{
    auto track = [this](QMenu& menu, const QPoint& at) { return m_prompter.TrackPopupMenu(menu, at); };
    m_deviceTree->SetMenuTracker(track);
    m_messagePane->SetMenuTracker(track);
    connect(m_deviceTree, &CDeviceTree::currentEncoderChanged, this, &CMainFrame::OnCurrentEncoderChanged);
    connect(m_deviceTree, &CDeviceTree::encoderSelectionChanged, m_messagePane, &CMessagePane::DeleteAllMessages);
    connect(m_deviceTree, &CDeviceTree::encoderSelectionChanged, this, &CMainFrame::UpdateCommandStates);
    connect(m_deviceTree, &CDeviceTree::commandRequested, this, &CMainFrame::RunDeviceCommand);
    connect(m_messagePane, &CMessagePane::commandRequested, this, &CMainFrame::RunDeviceCommand);
    connect(m_activityLog, &CActivityLog::exportRequested, this, &CMainFrame::ExportActivityLog);
    connect(qApp, &QApplication::focusChanged, this, &CMainFrame::UpdateCommandStates);
}

// ---------------------------------------------------------------------------------------
// The device list

QTreeWidgetItem* CMainFrame::FindEncoderItem(QTreeWidgetItem* item, const QString& text) const
{
    for (; item;) {
        if (item->text(0) == text) return item;
        if (QTreeWidgetItem* found = FindEncoderItem(item->child(0), text)) return found;
        QTreeWidgetItem* parent = item->parent();
        const int next = (parent ? parent->indexOfChild(item) : m_deviceTree->indexOfTopLevelItem(item)) + 1;
        item = parent ? parent->child(next) : m_deviceTree->topLevelItem(next);
    }
    return nullptr;
}

QTreeWidgetItem* CMainFrame::ItemOf(uint32_t address) const
{
    return m_items.value(address);
}

QTreeWidgetItem* CMainFrame::AddEncoder(const QString& text)
{
    if (QTreeWidgetItem* found = FindEncoderItem(m_deviceTree->topLevelItem(0), text)) return found;
    const uint32_t address = InetAddrHostOrder(text.toLatin1().constData());
    bool added = false;
    EncoderEntry& entry = m_encoders.Add(address, &added);
    if (!added) {
        // Another text for an address already listed (the list's own texts are canonical):
        // one encoder keeps one item and one record.
        if (QTreeWidgetItem* item = ItemOf(address)) return item;
    } else {
        CountEncoderRecord(1);
    }
    QTreeWidgetItem* item = m_deviceTree->InsertEncoderItem(text, &entry.record);
    m_items.insert(address, item);
    UpdateItem(address);
    SaveAddressBook();
    return item;
}

bool CMainFrame::DeleteEncoder(QTreeWidgetItem* item)
{
    const EncoderRecord* record = CDeviceTree::ItemRecord(item);
    if (!item || (record && InFlight(record->ipAddr))) return false;
    const uint32_t address = record ? record->ipAddr : 0;
    m_deviceTree->SelectNone();
    m_deviceTree->RemoveEncoderItem(item);
    if (record) {
        m_items.remove(address);
        // A monitor reading may still run: its result finds no encoder and is dropped.
        if (m_polls.count(address)) CancelEncoder(address);
        m_afterPoll.erase(address);
        if (m_encoders.Remove(address)) CountEncoderRecord(-1);
        m_outcomes.remove(address);
        m_lastRead.remove(address);
        ForgetEncoderEdits(address);
    }
    SaveAddressBook();
    UpdateCommandStates();
    return true;
}

EncoderRecord* CMainFrame::SelectedRecord() const
{
    return CDeviceTree::ItemRecord(m_deviceTree->SelectedItem());
}

void CMainFrame::UpdateItem(uint32_t address)
{
    const EncoderEntry* entry = m_encoders.Find(address);
    QTreeWidgetItem* item = ItemOf(address);
    if (!entry || !item) return;
    DeviceItemView view;
    if (entry->status)
        view.state = entry->status->Answered() ? DeviceItemView::State::Online : DeviceItemView::State::Offline;
    else if (entry->state != EncoderState::Unknown)
        view.state =
            entry->state == EncoderState::Online ? DeviceItemView::State::Online : DeviceItemView::State::Offline;
    view.status = entry->status;
    view.overTemperature = entry->status && OverTemperatureAlarm(*entry->status, entry->record);
    view.lastRead = m_lastRead.value(address);
    view.pendingEdits = PendingEdits(address);
    if (auto flight = m_flights.find(address); flight != m_flights.end()) {
        view.activity = ExchangeText(flight->second.kind);
        view.secondsLeft = SecondsLeft(address);
    }
    const Outcome outcome = m_outcomes.value(address);
    view.outcome = outcome.text;
    view.outcomeFailed = outcome.failed;
    m_deviceTree->SetItemView(item, view);
    // The image keeps its own rule: online after a read's answered status, offline when
    // a read's or a write's status went unanswered.
    m_deviceTree->SetItemImage(item, entry->state == EncoderState::Online ? IMAGE_ONLINE : IMAGE_OFFLINE);
}

// ---------------------------------------------------------------------------------------
// Commands

bool CMainFrame::OnCommand(int id)
{
    // A value still being typed (Ctrl+S straight from a password field) goes into the
    // record before the record goes to the encoder, and before the refresh below.
    if (id == ID_WRITE_CONFIGURATION) CommitOpenEditor();
    if (EncoderRecord* record = SelectedRecord()) {
        // A sheet row's edit: stored into the record, or refused with one warning. An
        // encoder with an exchange in flight takes no edit: its record is the exchange's
        // until it ends. Either way, and after any other command, the sheet then shows
        // what the record holds.
        if (const std::optional<EditorValue> value = m_settingsSheet->ReadEditor(id);
            value && !InFlight(record->ipAddr)) {
            if (const std::optional<std::string> warning = CommitSetting(id, *value, *record)) Warning(*warning);
        }
        RefreshSheet(*record);
    }
    return OnFrameCommand(id);
}

void CMainFrame::RefreshSheet(const EncoderRecord& record)
{
    m_settingsSheet->Refresh(&record);
    ShowPending(record);
}

// The frame's own handling of its menu and toolbar commands.
bool CMainFrame::OnFrameCommand(int id)
{
    switch (id) {
    case ID_APP_EXIT:
        close();
        return true;
    case ID_VIEW_TOOLBAR:
        m_toolBar->setHidden(!m_toolBar->isHidden());
        CommandAction(ID_VIEW_TOOLBAR)->setChecked(!m_toolBar->isHidden());
        return true;
    case ID_VIEW_STATUS_BAR:
        statusBar()->setHidden(!statusBar()->isHidden());
        CommandAction(ID_VIEW_STATUS_BAR)->setChecked(!statusBar()->isHidden());
        return true;
    case ID_VIEW_ACTIVITY_LOG:
        m_activityDock->setHidden(!m_activityDock->isHidden());
        CommandAction(ID_VIEW_ACTIVITY_LOG)->setChecked(!m_activityDock->isHidden());
        return true;
    case ID_VIEW_MONITOR:
        SetMonitoring(CommandAction(ID_VIEW_MONITOR)->isChecked());
        return true;
    case ID_WAIT_REPLY_COMPLETE:
        SetReplyCompleteMode(CommandAction(ID_WAIT_REPLY_COMPLETE)->isChecked());
        return true;
    case ID_APP_ABOUT: {
        CAboutDlg about(this);
        m_prompter.RunDialog(about);
        return true;
    }
    case ID_SEARCH_ENCODER:
    case ID_ADD_ENCODER:
    case ID_DEL_ENCODER:
    case ID_READ_CONFIGURATION:
    case ID_WRITE_CONFIGURATION:
    case ID_START_TS_IP:
    case ID_STOP_TS_IP:
    case ID_READ_DEVICE_MESSAGE:
        RunDeviceCommand(id);
        return true;
    case ID_CANCEL_EXCHANGES:
        CancelExchanges();
        return true;
    case ID_EDIT_UNDO:
    case ID_EDIT_CUT:
    case ID_EDIT_COPY:
    case ID_EDIT_PASTE:
        OnEditCommand(id);
        return true;
    case ID_NEXT_PANE:
        CycleFocus(1);
        return true;
    case ID_PREV_PANE:
        CycleFocus(-1);
        return true;
    case ID_DEVICE_HISTORY:
        ShowHistory();
        return true;
    default:
        return OnSafeEditCommand(id);
    }
}

void CMainFrame::RunDeviceCommand(int id)
{
    if (m_closing) return;
    switch (id) {
    case ID_SEARCH_ENCODER: {
        if (m_searchId != 0) return;   // one search at a time
        CSearchDeviceDlg dialog(m_deviceTree);
        if (m_prompter.RunDialog(dialog) == QDialog::Accepted) StartSearch(dialog.Address());
        return;
    }
    case ID_ADD_ENCODER: {
        CAddDeviceDlg dialog(m_deviceTree);
        if (m_prompter.RunDialog(dialog) == QDialog::Accepted) {
            // The new encoder becomes the current one, so that its commands are at hand.
            QTreeWidgetItem* item = AddEncoder(DottedText(dialog.Address()));
            m_deviceTree->SelectOnly(item);
            m_deviceTree->scrollToItem(item);
        }
        return;
    }
    case ID_DEL_ENCODER: {
        if (!m_deviceTree->SelectionIdle()) return;
        for (QTreeWidgetItem* item : m_deviceTree->SelectedEncoderItems()) DeleteEncoder(item);
        return;
    }
    default:
        break;
    }
    const auto command = std::find_if(std::begin(kEncoderCommands), std::end(kEncoderCommands),
                                      [id](const EncoderCommand& c) { return c.id == id; });
    if (command == std::end(kEncoderCommands) || !m_deviceTree->SelectionIdle()) return;
    if (id == ID_WRITE_CONFIGURATION) CommitOpenEditor();
    std::vector<uint32_t> addresses;
    for (QTreeWidgetItem* item : m_deviceTree->SelectedEncoderItems())
        addresses.push_back(CDeviceTree::ItemAddress(item));
    if (id == ID_WRITE_CONFIGURATION && !PrepareWrite(addresses)) return;
    int group = 0;
    if (addresses.size() > 1) {
        group = m_nextGroup++;
        m_groups[group].kind = command->kind;
        m_groups[group].total = int(addresses.size());
    }
    for (uint32_t address : addresses) StartExchange(command->kind, address, group);
    UpdateCommandStates();
    UpdateProgress();
}

// ---------------------------------------------------------------------------------------
// Enabling and the sheet

void CMainFrame::UpdateCommandStates()
{
    const bool idle = m_deviceTree->SelectionIdle();
    for (const EncoderCommand& command : kEncoderCommands) CommandAction(command.id)->setEnabled(idle);
    CommandAction(ID_DEL_ENCODER)->setEnabled(idle);
    CommandAction(ID_SEARCH_ENCODER)->setEnabled(m_searchId == 0);
    CommandAction(ID_CANCEL_EXCHANGES)->setEnabled(InExchange());

    const EncoderRecord* current = SelectedRecord();
    m_messagePane->SetCommandState(current != nullptr, current && !InFlight(current->ipAddr));
    // No encoder selected: nothing to take an edit, and the sheet says so.
    SetSheetReadOnly(!current || InFlight(current->ipAddr));
    m_settingsSheet->SetNotice(SheetNotice());
    UpdateSafeEditStates();

    // The edit commands act on the field being edited; Copy and Paste also on the list.
    QWidget* focus = QApplication::focusWidget();
    const auto* field = qobject_cast<QLineEdit*>(focus);
    const bool inList = focus == m_deviceTree;
    CommandAction(ID_EDIT_UNDO)->setEnabled(field && !field->isReadOnly());
    CommandAction(ID_EDIT_CUT)->setEnabled(field && !field->isReadOnly());
    CommandAction(ID_EDIT_COPY)->setEnabled(field || (inList && !m_deviceTree->SelectedEncoderItems().isEmpty()));
    CommandAction(ID_EDIT_PASTE)->setEnabled((field && !field->isReadOnly()) || inList);
}

void CMainFrame::OnCurrentEncoderChanged(EncoderRecord* record)
{
    if (record) RefreshSheet(*record);
    UpdateCommandStates();
}

void CMainFrame::CommitOpenEditor()
{
    for (const SheetColumn* column : {&LeftColumn(), &RightColumn()}) {
        for (const SheetRow& row : *column) {
            CRowTreeItem* built = row.controlId ? m_settingsSheet->RowFor(row.controlId) : nullptr;
            if (built && built->IsActivated() && built->EditorHasFocus()) built->CommitChanges();
        }
    }
}

// The sheet of an encoder with an exchange in flight shows the record but takes no edit.
void CMainFrame::SetSheetReadOnly(bool readOnly)
{
    if (readOnly == m_sheetReadOnly) return;
    m_sheetReadOnly = readOnly;
    for (const SheetColumn* column : {&LeftColumn(), &RightColumn()}) {
        for (const SheetRow& row : *column) {
            if (row.controlId == 0 || row.readOnly) continue;
            if (CRowTreeItem* built = m_settingsSheet->RowFor(row.controlId)) built->SetReadOnly(readOnly);
        }
    }
    m_settingsSheet->update();
    for (QWidget* child : m_settingsSheet->findChildren<QWidget*>()) child->update();
}

// ---------------------------------------------------------------------------------------
// Settings

void CMainFrame::RestoreSettings()
{
    QSettings settings;
    const QStringList book = settings.value(QString::fromLatin1(kAddressBookKey)).toStringList();
    for (const QString& text : book) {
        uint32_t address = 0;
        if (ParseDotted(text.trimmed(), address)) AddEncoder(DottedText(address));
    }
    SetReplyCompleteMode(settings.value(QString::fromLatin1(kReplyCompleteKey), false).toBool());
    // A site with hundreds of encoders may want a slower watch; nothing faster than a
    // status reading's own wait makes sense.
    const int seconds = settings.value(QString::fromLatin1(kMonitorSecondsKey), kDefaultMonitorSeconds).toInt();
    SetMonitorInterval(std::clamp(seconds, 1, 3600) * 1000);
    RestoreSafeEditSettings();
    RestoreHistorySettings();
    const QVariant logFile = settings.value(QString::fromLatin1(kActivityLogFileKey));
    m_activityLog->OpenStore(logFile.isValid() ? logFile.toString() : CActivityStore::DefaultPath());
    m_persist = true;
}

void CMainFrame::SaveAddressBook() const
{
    if (!m_persist) return;
    QStringList book;
    for (const EncoderEntry& entry : m_encoders) book << QString::fromStdString(entry.dotted);
    QSettings().setValue(QString::fromLatin1(kAddressBookKey), book);
}

// ---------------------------------------------------------------------------------------
// Edit and pane commands

void CMainFrame::OnEditCommand(int id)
{
    QWidget* focus = QApplication::focusWidget();
    if (auto* field = qobject_cast<QLineEdit*>(focus)) {
        switch (id) {
        case ID_EDIT_UNDO:
            field->undo();
            break;
        case ID_EDIT_CUT:
            field->cut();
            break;
        case ID_EDIT_COPY:
            field->copy();
            break;
        case ID_EDIT_PASTE:
            field->paste();
            break;
        default:
            break;
        }
        return;
    }
    if (focus != m_deviceTree) return;
    if (id == ID_EDIT_COPY) {
        QStringList addresses;
        for (QTreeWidgetItem* item : m_deviceTree->SelectedEncoderItems()) addresses << item->text(kColumnAddress);
        if (!addresses.isEmpty()) QApplication::clipboard()->setText(addresses.join(QLatin1Char('\n')));
    } else if (id == ID_EDIT_PASTE) {
        const QStringList words =
            QApplication::clipboard()->text().split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts);
        for (const QString& word : words) {
            uint32_t address = 0;
            if (ParseDotted(word, address)) AddEncoder(DottedText(address));
        }
    }
}

void CMainFrame::CycleFocus(int step)
{
    QList<QWidget*> panes = {m_deviceTree, m_settingsSheet->LeftColumn(), m_messagePane->List()};
    if (!m_activityDock->isHidden()) panes << m_activityLog->View();
    int at = -1;
    for (int i = 0; i < panes.size(); ++i)
        if (panes[i] &&
            (panes[i] == QApplication::focusWidget() || panes[i]->isAncestorOf(QApplication::focusWidget())))
            at = i;
    const int next = ((at < 0 ? 0 : at + step) % panes.size() + panes.size()) % panes.size();
    if (panes[next]) panes[next]->setFocus(Qt::ShortcutFocusReason);
}

// ---------------------------------------------------------------------------------------
// Boxes and closing

void CMainFrame::Warning(const std::string& text)
{
    m_prompter.MessageBox(this, QString::fromStdString(text), QStringLiteral("Warning"), CPrompter::Icon::Exclamation);
}

void CMainFrame::Tip(const std::string& text)
{
    m_prompter.MessageBox(this, QString::fromStdString(text), QStringLiteral("Tip"), CPrompter::Icon::None);
}

// Closing while exchanges run asks first; cancelled or not, nothing outlives the window:
// the destructor cancels whatever still runs and waits for the engine's workers.
void CMainFrame::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // The output's buttons are drawn for the palette: a new one draws them again.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
        CommandAction(ID_START_TS_IP)->setIcon(OutputButtonIcon(ToolPicture::StartOutput, palette()));
        CommandAction(ID_STOP_TS_IP)->setIcon(OutputButtonIcon(ToolPicture::StopOutput, palette()));
    }
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (InExchange()) {
        const QString text = QStringLiteral("%1 exchanges are still running. Cancel them and quit?")
                                 .arg(m_flights.size() + (m_searchId != 0 ? 1 : 0));
        if (!m_prompter.Question(this, text, QStringLiteral("Korvane"))) {
            event->ignore();
            return;
        }
    }
    m_closing = true;
    if (m_persist) SaveLayout();
    m_monitorTimer->stop();
    CancelExchanges();
    QMainWindow::closeEvent(event);
}
