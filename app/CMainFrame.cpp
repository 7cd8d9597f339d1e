#include "CMainFrame.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <algorithm>

#include "AppIds.h"
#include "CDeviceTree.h"
#include "CMessagePane.h"
#include "CPaneSplitter.h"
#include "CPrompter.h"
#include "CRowTreeItem.h"
#include "Dialogs.h"
#include "Pictures.h"
#include "SheetLayout.h"
#include "Socket.h"
#include "StatusGate.h"

const char* const kAddressBookKey = "AddressBook/encoders";
const char* const kReplyCompleteKey = "Exchanges/finishOnCompleteReply";
const char* const kMonitorSecondsKey = "Monitor/intervalSeconds";

namespace {

constexpr int kPaneMinimum = 30;       // no pane gets narrower or lower than this
constexpr int kPaneBar = 1;            // the bars between panes
constexpr int kProgressTickMs = 250;   // how often the items and the status bar count down
constexpr int kSearchNoteMs = 15000;   // how long the status bar keeps a search's result
constexpr int kRefusedRetryMs = 20;

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
    {ID_EDIT_PASTE, "Paste (&P)\tCtrl+V", "Paste into the field being edited, or add the addresses pasted to the device list",
     "Ctrl+V|Shift+Ins", kNoIcon, false},
    {ID_SEARCH_ENCODER, "Search Encoder", "Find the encoders that answer a broadcast address", "Ctrl+F",
     QStyle::SP_FileDialogContentsView, false},
    {ID_ADD_ENCODER, "Add Encoder", "Add an encoder by its address", "Ctrl+N", QStyle::SP_FileDialogNewFolder, false},
    {ID_DEL_ENCODER, "Del Encoder", "Remove the selected encoders from the list", "Del", QStyle::SP_TrashIcon,
     false},
    {ID_READ_CONFIGURATION, "Read Configuration", "Read the selected encoders' settings", "F5",
     QStyle::SP_ArrowDown, false},
    {ID_WRITE_CONFIGURATION, "Write Configuration", "Write the settings to the selected encoders", "Ctrl+S",
     QStyle::SP_ArrowUp, false},
    {ID_START_TS_IP, "Start TS -> IP", "Start the TS-over-IP output of the selected encoders", "Ctrl+T",
     QStyle::SP_MediaPlay, false},
    {ID_STOP_TS_IP, "Stop TS -> IP", "Stop the TS-over-IP output of the selected encoders", "Ctrl+Shift+T",
     QStyle::SP_MediaStop, false},
    {ID_READ_DEVICE_MESSAGE, "Read Device Message", "Read the selected encoders' alarms", "Ctrl+M",
     QStyle::SP_MessageBoxInformation, false},
    {ID_CANCEL_EXCHANGES, "Cancel", "Cancel every exchange in flight; the encoders' settings stay as they were",
     "Esc", QStyle::SP_BrowserStop, false},
    {ID_WAIT_REPLY_COMPLETE, "Finish on Complete Reply",
     "End each exchange as soon as the encoder's reply is complete instead of waiting the full fixed time", nullptr,
     kNoIcon, true},
    {ID_VIEW_TOOLBAR, "ToolBar (&T)", "Show or hide the toolbar", nullptr, kNoIcon, true},
    {ID_VIEW_STATUS_BAR, "StatusBar(&S)", "Show or hide the status bar", nullptr, kNoIcon, true},
    {ID_VIEW_ACTIVITY_LOG, "Activity Log", "Show or hide the log of every exchange's outcome and every alarm",
     nullptr, kNoIcon, true},
    {ID_VIEW_MONITOR, "Monitor", "Read every listed encoder's status every 10 s, keeping the list current and logging alarms",
     nullptr, kNoIcon, true},
    {ID_APP_ABOUT, "About Encoder(&A)...", "About", nullptr, kNoIcon, false},
    {ID_NEXT_PANE, "Next Panel", "Next Panel", "F6", kNoIcon, false},
    {ID_FILE_SAVE_SETTINGS, "Save Settings As...", "Save the current encoder's settings to a file (without passwords)",
     nullptr, kNoIcon, false},
    {ID_FILE_APPLY_SETTINGS, "Apply Settings...",
     "Take the settings of a file into the selected encoders as edits; nothing is sent until you write", nullptr,
     kNoIcon, false},
    {ID_EDIT_REVERT_ROW, "Revert Row", "Bring back the selected row's value as last read from the encoder", nullptr,
     kNoIcon, false},
    {ID_EDIT_REVERT_ALL, "Revert All", "Bring back every value as last read from the encoder", nullptr, kNoIcon,
     false},
    {ID_VIEW_SHOW_PASSWORDS, "Show Passwords", "Show the passwords typed into the settings instead of a mask", nullptr,
     kNoIcon, true},
    {ID_READ_BACK_AFTER_WRITE, "Read Back After Write",
     "After a successful write, read the encoder again and show any setting that did not take; costs one more read's "
     "time (20 s with fixed waits)",
     nullptr, kNoIcon, true},
    {ID_COMPARE_ENCODERS, "Compare Encoders", "Show the settings in which the two selected encoders differ", nullptr,
     kNoIcon, false},
    {ID_PREV_PANE, "Prev Panel", "Prev Panel", "Shift+F6", kNoIcon, false},
};

// The device commands that act on the selected encoders, and their exchange.
struct EncoderCommand {
    int id;
    ExchangeKind kind;
};
constexpr EncoderCommand kEncoderCommands[] = {
    {ID_READ_CONFIGURATION, ExchangeKind::Read}, {ID_WRITE_CONFIGURATION, ExchangeKind::Write},
    {ID_START_TS_IP, ExchangeKind::Start},       {ID_STOP_TS_IP, ExchangeKind::Stop},
    {ID_READ_DEVICE_MESSAGE, ExchangeKind::Status},
};

constexpr int kToolButtons[] = {
    ID_SEARCH_ENCODER, ID_ADD_ENCODER, ID_DEL_ENCODER, 0, ID_READ_CONFIGURATION, ID_WRITE_CONFIGURATION, 0,
    ID_START_TS_IP, ID_STOP_TS_IP, 0, ID_READ_DEVICE_MESSAGE, ID_CANCEL_EXCHANGES, 0, ID_APP_ABOUT,
};

QString Dotted(uint32_t address)
{
    return QString::fromStdString(DottedFromAddress(address));
}

QString KindName(ExchangeKind kind)
{
    return QString::fromLatin1(ExchangeKindName(kind));
}

// Accepts only four dotted numbers of 0 to 255: what the device list shows.
bool ParseDotted(const QString& text, uint32_t& address)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    address = 0;
    for (const QString& part : parts) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (!ok || part.isEmpty() || part.size() > 3 || value < 0 || value > 255)
            return false;
        address = (address << 8) | uint32_t(value);
    }
    return true;
}

}  // namespace

CMainFrame::CMainFrame(CPrompter& prompter, LinkOptions options)
    : m_prompter(prompter), m_linkOptions(std::move(options))
{
    // The frame is always a top-level window of its own and goes when it is closed,
    // taking the device list and every record with it.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Korvane"));
    setWindowIcon(ProgramIcon());
    setDockOptions(QMainWindow::AnimatedDocks);
    m_clock.start();
    // A given sleep could not be cut short by a cancel: the engine waits itself.
    m_linkOptions.sleep = nullptr;
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
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
    m_progressTimer->stop();
    m_monitorTimer->stop();
    // Every callback still to come runs before the engines are gone; the queued calls it
    // posts die with this object.
    for (auto& engine : m_retiredEngines)
        engine->CancelAll();
    if (m_engine)
        m_engine->CancelAll();
    m_engine.reset();
    m_retiredEngines.clear();
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
        const QString plain = QString::fromLatin1(command.text).section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
        action->setToolTip(plain.section(QLatin1String(" ("), 0, 0));
        if (command.icon != kNoIcon)
            action->setIcon(style()->standardIcon(command.icon));
        if (command.shortcuts) {
            QList<QKeySequence> keys;
            for (const QString& key : QString::fromLatin1(command.shortcuts).split(QLatin1Char('|')))
                keys << QKeySequence(key);
            action->setShortcuts(keys);
            action->setShortcutContext(Qt::WindowShortcut);
        }
        if (command.checkable) {
            action->setCheckable(true);
            action->setChecked(command.id == ID_VIEW_TOOLBAR || command.id == ID_VIEW_STATUS_BAR
                               || command.id == ID_VIEW_ACTIVITY_LOG);
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
        if (action->data().toInt() == id)
            return action;
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
    for (int id : {ID_SEARCH_ENCODER, ID_ADD_ENCODER, ID_DEL_ENCODER, 0, ID_READ_CONFIGURATION,
                   ID_WRITE_CONFIGURATION, 0, ID_START_TS_IP, ID_STOP_TS_IP, 0, ID_READ_DEVICE_MESSAGE, 0,
                   ID_COMPARE_ENCODERS, 0, ID_CANCEL_EXCHANGES, 0, ID_WAIT_REPLY_COMPLETE, ID_READ_BACK_AFTER_WRITE}) {
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
    m_activityDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable
                                | QDockWidget::DockWidgetFloatable);
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
        if (item->text(0) == text)
            return item;
        if (QTreeWidgetItem* found = FindEncoderItem(item->child(0), text))
            return found;
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
    if (QTreeWidgetItem* found = FindEncoderItem(m_deviceTree->topLevelItem(0), text))
        return found;
    const uint32_t address = AddressFromDotted(text.toLatin1().constData());
    bool added = false;
    EncoderEntry& entry = m_encoders.Add(address, &added);
    if (!added) {
        // Another text for an address already listed (the list's own texts are canonical):
        // one encoder keeps one item and one record.
        if (QTreeWidgetItem* item = ItemOf(address))
            return item;
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
    if (!item || (record && InFlight(record->ipAddr)))
        return false;
    const uint32_t address = record ? record->ipAddr : 0;
    m_deviceTree->SelectNone();
    m_deviceTree->RemoveEncoderItem(item);
    if (record) {
        m_items.remove(address);
        // A monitor reading may still run: its result finds no encoder and is dropped.
        if (m_polls.count(address))
            CancelEncoder(address);
        m_afterPoll.erase(address);
        if (m_encoders.Remove(address))
            CountEncoderRecord(-1);
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
    if (!entry || !item)
        return;
    DeviceItemView view;
    if (entry->hasStatus)
        view.state = entry->statusFlags >= 0 ? DeviceItemView::State::Online : DeviceItemView::State::Offline;
    else if (entry->state != EncoderState::Unknown)
        view.state = entry->state == EncoderState::Online ? DeviceItemView::State::Online
                                                           : DeviceItemView::State::Offline;
    view.hasStatus = entry->hasStatus;
    view.statusFlags = entry->statusFlags;
    view.temperature = entry->temperature;
    view.lastRead = m_lastRead.value(address);
    view.pendingEdits = PendingEdits(address);
    if (auto flight = m_flights.find(address); flight != m_flights.end()) {
        view.activity = KindName(flight->second.kind);
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
    if (id == ID_WRITE_CONFIGURATION)
        CommitOpenEditor();
    if (EncoderRecord* record = SelectedRecord()) {
        // A sheet row's edit: stored into the record, or refused with one warning. An
        // encoder with an exchange in flight takes no edit: its record is the exchange's
        // until it ends. Either way, and after any other command, the sheet then shows
        // what the record holds.
        if (const std::optional<EditorValue> value = m_settingsSheet->ReadEditor(id); value && !InFlight(record->ipAddr)) {
            if (const std::optional<std::string> warning = CommitSetting(id, *value, *record))
                Warning(*warning);
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
    default:
        return OnSafeEditCommand(id);
    }
}

void CMainFrame::RunDeviceCommand(int id)
{
    if (m_closing)
        return;
    switch (id) {
    case ID_SEARCH_ENCODER: {
        if (m_searchId != 0)
            return;   // one search at a time
        CSearchDeviceDlg dialog(m_deviceTree);
        if (m_prompter.RunDialog(dialog) == QDialog::Accepted)
            StartSearch(dialog.Address());
        return;
    }
    case ID_ADD_ENCODER: {
        CAddDeviceDlg dialog(m_deviceTree);
        if (m_prompter.RunDialog(dialog) == QDialog::Accepted) {
            // The new encoder becomes the current one, so that its commands are at hand.
            QTreeWidgetItem* item = AddEncoder(Dotted(dialog.Address()));
            m_deviceTree->SelectOnly(item);
            m_deviceTree->scrollToItem(item);
        }
        return;
    }
    case ID_DEL_ENCODER: {
        if (!m_deviceTree->SelectionIdle())
            return;
        for (QTreeWidgetItem* item : m_deviceTree->SelectedEncoderItems())
            DeleteEncoder(item);
        return;
    }
    default:
        break;
    }
    const auto command = std::find_if(std::begin(kEncoderCommands), std::end(kEncoderCommands),
                                      [id](const EncoderCommand& c) { return c.id == id; });
    if (command == std::end(kEncoderCommands) || !m_deviceTree->SelectionIdle())
        return;
    if (id == ID_WRITE_CONFIGURATION)
        CommitOpenEditor();
    std::vector<uint32_t> addresses;
    for (QTreeWidgetItem* item : m_deviceTree->SelectedEncoderItems())
        addresses.push_back(CDeviceTree::ItemAddress(item));
    if (id == ID_WRITE_CONFIGURATION && !PrepareWrite(addresses))
        return;
    int group = 0;
    if (addresses.size() > 1) {
        group = m_nextGroup++;
        m_groups[group].kind = command->kind;
        m_groups[group].total = int(addresses.size());
    }
    for (uint32_t address : addresses)
        StartExchange(command->kind, address, group);
    UpdateCommandStates();
    UpdateProgress();
}

// ---------------------------------------------------------------------------------------
// Exchanges

ExchangeEngine& CMainFrame::Engine()
{
    if (!m_engine) {
        EngineOptions options;
        options.link = m_linkOptions;
        options.link.waitMode = m_replyComplete ? WaitMode::ReplyComplete : WaitMode::Fixed;
        m_engine = std::make_unique<ExchangeEngine>(options);
    }
    return *m_engine;
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
        return timing.statusWaitMs + timing.writeWaitMs;
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
    if (EncoderEntry* entry = m_encoders.Find(address))
        entry->inFlight = true;
    if (auto poll = m_polls.find(address); poll != m_polls.end()) {
        m_afterPoll[address] = [this, kind, address] { SubmitExchange(kind, address); };
        CancelEncoder(address);
        return;
    }
    SubmitExchange(kind, address);
}

void CMainFrame::SubmitExchange(ExchangeKind kind, uint32_t address)
{
    const EncoderEntry* entry = m_encoders.Find(address);
    if (!entry || m_closing)
        return;
    ExchangeRequest request;
    request.kind = kind;
    request.record = entry->record;
    // The worker hands the result to the window's thread; the queued call dies with the
    // frame if the frame goes first.
    const ExchangeId id = Engine().Submit(request, {[this](const ExchangeResult& result) {
        QMetaObject::invokeMethod(this, [this, result] { OnExchangeDone(result, false); }, Qt::QueuedConnection);
    }, {}});
    if (auto flight = m_flights.find(address); flight != m_flights.end())
        flight->second.id = id;
}

void CMainFrame::OnExchangeDone(const ExchangeResult& result, bool monitor)
{
    const uint32_t address = result.address;
    EncoderEntry* entry = m_encoders.Find(address);
    const size_t eventsBefore = entry ? entry->events.size() : 0;
    int group = 0;
    if (monitor) {
        if (auto poll = m_polls.find(address); poll != m_polls.end() && poll->second == result.id)
            m_polls.erase(poll);
    } else {
        auto flight = m_flights.find(address);
        if (flight == m_flights.end() || flight->second.id != result.id)
            return;   // not ours any more
        group = flight->second.group;
        if (result.outcome == ExchangeOutcome::Refused) {
            // The engine had not yet let go of a monitor reading just cancelled: try again
            // once it has. The operator's command itself was never refused.
            const ExchangeKind kind = result.kind;
            QTimer::singleShot(kRefusedRetryMs, this, [this, kind, address, id = result.id] {
                auto again = m_flights.find(address);
                if (again != m_flights.end() && again->second.id == id)
                    SubmitExchange(kind, address);
            });
            return;
        }
        m_flights.erase(flight);
    }
    entry = ApplyResult(m_encoders, result);
    if (entry) {
        entry->inFlight = m_flights.count(address) != 0;
        if (!monitor) {
            if (result.kind == ExchangeKind::Read && result.outcome == ExchangeOutcome::Succeeded)
                m_lastRead[address] = QDateTime::currentDateTime();
            QString text = QString::fromStdString(DescribeResult(result));
            m_outcomes[address] = {text, result.outcome != ExchangeOutcome::Succeeded};
        }
        LogNewEvents(*entry, eventsBefore, result, monitor);
        UpdateItem(address);
    }
    emit exchangeFinished(result);

    if (monitor) {
        if (auto after = m_afterPoll.find(address); after != m_afterPoll.end()) {
            std::function<void()> submit = std::move(after->second);
            m_afterPoll.erase(after);
            submit();
        }
    } else if (entry && !m_closing) {
        const bool current = SelectedRecord() == &entry->record;
        if (result.kind == ExchangeKind::Status && current) {
            // The message pane lists the current encoder's alarms, as the reading found them.
            for (const AlarmLine& line : AlarmLines(result.statusFlags, entry->record))
                m_messagePane->AddMessage(line.image, QString::fromStdString(line.text));
        }
        if (result.kind == ExchangeKind::Read && current && result.outcome != ExchangeOutcome::Cancelled)
            RefreshSheet(entry->record);   // a failed read shows what the record still holds
        if (group == 0)
            ShowResultBoxes(result);
    }
    if (!m_closing)
        AfterExchange(result, monitor);
    if (group != 0)
        EndGroupMember(group, result.outcome);
    RetireIdleEngines();
    UpdateCommandStates();
    UpdateProgress();
}

// One encoder: the boxes the exchange would have shown, in order. The status gate's
// refusals belong to the device list, the exchange's own boxes to the main window.
void CMainFrame::ShowResultBoxes(const ExchangeResult& result)
{
    if (result.kind == ExchangeKind::Status || result.outcome == ExchangeOutcome::Cancelled)
        return;
    const std::optional<std::string> gate = result.statusTaken ? GateMessage(result.statusFlags) : std::nullopt;
    for (size_t i = 0; i < result.messages.size(); ++i) {
        const ExchangeMessage& message = result.messages[i];
        const bool fromGate = i == 0 && gate && *gate == message.text;
        QWidget* owner = fromGate ? static_cast<QWidget*>(m_deviceTree) : static_cast<QWidget*>(this);
        if (message.kind == MessageKind::Tip)
            m_prompter.MessageBox(owner, QString::fromStdString(message.text), QStringLiteral("Tip"), CPrompter::Icon::None);
        else
            m_prompter.MessageBox(owner, QString::fromStdString(message.text), QStringLiteral("Warning"),
                                  CPrompter::Icon::Exclamation);
    }
}

void CMainFrame::EndGroupMember(int group, ExchangeOutcome outcome)
{
    auto found = m_groups.find(group);
    if (found == m_groups.end())
        return;
    CommandGroup& summary = found->second;
    ++summary.finished;
    if (outcome == ExchangeOutcome::Succeeded)
        ++summary.succeeded;
    else if (outcome == ExchangeOutcome::Cancelled)
        ++summary.cancelled;
    else
        ++summary.failed;
    if (summary.finished < summary.total)
        return;
    const CommandGroup done = summary;
    m_groups.erase(found);
    QString text = QStringLiteral("%1 on %2 encoders: %3 succeeded, %4 failed")
                       .arg(KindName(done.kind))
                       .arg(done.total)
                       .arg(done.succeeded)
                       .arg(done.failed);
    if (done.cancelled > 0)
        text += QStringLiteral(", %1 cancelled").arg(done.cancelled);
    text += QLatin1Char('.');
    Log(QString(), done.failed > 0 ? CActivityLog::Severity::Warning : CActivityLog::Severity::Info, text);
    emit commandSummarised(text);
    if (m_closing)
        return;
    if (done.failed > 0)
        m_prompter.MessageBox(this, text, QStringLiteral("Warning"), CPrompter::Icon::Exclamation);
    else
        m_prompter.MessageBox(this, text, QStringLiteral("Tip"), CPrompter::Icon::None);
}

void CMainFrame::CancelExchanges()
{
    // Cancelled exchanges report through their callbacks; their records stay untouched.
    for (auto& engine : m_retiredEngines)
        engine->CancelAll();
    if (m_engine)
        m_engine->CancelAll();
}

// An encoder has at most one exchange at a time, in whichever engine it was started.
void CMainFrame::CancelEncoder(uint32_t address)
{
    for (auto& engine : m_retiredEngines)
        engine->CancelEncoder(address);
    if (m_engine)
        m_engine->CancelEncoder(address);
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
    if (flight == m_flights.end())
        return -1;
    const qint64 left = flight->second.expectedMs - (m_clock.elapsed() - flight->second.startMs);
    return int(std::max<qint64>(0, (left + 999) / 1000));
}

void CMainFrame::RetireIdleEngines()
{
    m_retiredEngines.erase(std::remove_if(m_retiredEngines.begin(), m_retiredEngines.end(),
                                          [](const std::unique_ptr<ExchangeEngine>& engine) { return engine->Pending() == 0; }),
                           m_retiredEngines.end());
}

void CMainFrame::SetReplyCompleteMode(bool on)
{
    CommandAction(ID_WAIT_REPLY_COMPLETE)->setChecked(on);
    if (on == m_replyComplete)
        return;
    m_replyComplete = on;
    // Exchanges already running finish in the mode they started in.
    if (m_engine) {
        if (m_engine->Pending() > 0)
            m_retiredEngines.push_back(std::move(m_engine));
        m_engine.reset();
    }
    if (m_persist)
        QSettings().setValue(QString::fromLatin1(kReplyCompleteKey), on);
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
    m_searchId = Engine().Search(
        broadcast,
        [this](const ExchangeResult& result) {
            QMetaObject::invokeMethod(this, [this, result] { OnSearchDone(result); }, Qt::QueuedConnection);
        },
        [this](ExchangeId, uint32_t address) {
            QMetaObject::invokeMethod(this, [this, address] { OnSearchFound(address); }, Qt::QueuedConnection);
        });
    UpdateCommandStates();
    UpdateProgress();
}

// Found encoders appear as they answer; the selection stays as it is.
void CMainFrame::OnSearchFound(uint32_t address)
{
    if (m_searchId == 0 || std::find(m_searchSeen.begin(), m_searchSeen.end(), address) != m_searchSeen.end())
        return;
    m_searchSeen.push_back(address);
    ++m_searchAnswered;
    const QString dotted = Dotted(address);
    if (!FindEncoderItem(m_deviceTree->topLevelItem(0), dotted)) {
        ++m_searchNew;
        AddEncoder(dotted);
    }
}

void CMainFrame::OnSearchDone(const ExchangeResult& result)
{
    if (result.id != m_searchId)
        return;
    // Addresses the progress calls have not brought yet.
    for (uint32_t address : result.found)
        OnSearchFound(address);
    m_searchId = 0;
    QString text;
    if (result.outcome == ExchangeOutcome::Cancelled)
        text = QStringLiteral("Search Encoder %1 cancelled: %2 encoders answered, %3 new")
                   .arg(Dotted(m_searchAddress)).arg(m_searchAnswered).arg(m_searchNew);
    else
        text = QStringLiteral("Search Encoder %1: %2 encoders answered, %3 new")
                   .arg(Dotted(m_searchAddress)).arg(m_searchAnswered).arg(m_searchNew);
    Log(Dotted(m_searchAddress), CActivityLog::Severity::Info, text);
    RetireIdleEngines();
    UpdateCommandStates();
    UpdateProgress();
    if (!InExchange())
        statusBar()->showMessage(text, kSearchNoteMs);
}

// ---------------------------------------------------------------------------------------
// Monitoring

void CMainFrame::SetMonitoring(bool on)
{
    CommandAction(ID_VIEW_MONITOR)->setChecked(on);
    if (on == m_monitorTimer->isActive())
        return;
    if (on) {
        m_monitorTimer->start(m_monitorIntervalMs);
        PollEncoders();
        Log(QString(), CActivityLog::Severity::Info,
            QStringLiteral("Monitoring every %1 s").arg((m_monitorIntervalMs + 999) / 1000));
    } else {
        m_monitorTimer->stop();
        for (const auto& poll : m_polls)
            CancelEncoder(poll.first);
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
    CommandAction(ID_VIEW_MONITOR)->setStatusTip(
        QStringLiteral("Read every listed encoder's status every %1 s, keeping the list current and logging alarms")
            .arg((m_monitorIntervalMs + 999) / 1000));
}

// A status reading for every listed encoder that is not busy with another exchange.
void CMainFrame::PollEncoders()
{
    if (m_closing)
        return;
    for (const EncoderEntry& entry : m_encoders) {
        const uint32_t address = entry.address;
        if (m_flights.count(address) || m_polls.count(address))
            continue;
        ExchangeRequest request;
        request.kind = ExchangeKind::Status;
        request.record = entry.record;
        m_polls[address] = 0;
        const ExchangeId id = Engine().Submit(request, {[this](const ExchangeResult& result) {
            QMetaObject::invokeMethod(this, [this, result] { OnExchangeDone(result, true); }, Qt::QueuedConnection);
        }, {}});
        if (auto poll = m_polls.find(address); poll != m_polls.end())
            poll->second = id;
    }
}

// ---------------------------------------------------------------------------------------
// What the window shows while exchanges run

void CMainFrame::UpdateCommandStates()
{
    const bool idle = m_deviceTree->SelectionIdle();
    for (const EncoderCommand& command : kEncoderCommands)
        CommandAction(command.id)->setEnabled(idle);
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
    if (!running)
        return;
    QString text;
    if (m_flights.size() == 1 && m_searchId == 0) {
        const auto& only = *m_flights.begin();
        text = QStringLiteral("%1 %2: waiting for the encoder, %3 s left")
                   .arg(KindName(only.second.kind), Dotted(only.first))
                   .arg(SecondsLeft(only.first));
    } else if (m_flights.empty()) {
        const qint64 left = m_linkOptions.timing.searchWindowMs - (m_clock.elapsed() - m_searchStartMs);
        text = QStringLiteral("Search Encoder %1: listening for encoders, %2 s left")
                   .arg(Dotted(m_searchAddress))
                   .arg(std::max<qint64>(0, (left + 999) / 1000));
    } else {
        text = QStringLiteral("%1 exchanges in flight, up to %2 s left").arg(m_flights.size()).arg(longest);
        if (m_searchId != 0)
            text += QStringLiteral("; searching");
    }
    statusBar()->showMessage(text + QStringLiteral(" (Esc cancels)"));
}

void CMainFrame::OnCurrentEncoderChanged(EncoderRecord* record)
{
    if (record)
        RefreshSheet(*record);
    UpdateCommandStates();
}

void CMainFrame::CommitOpenEditor()
{
    for (const SheetColumn* column : {&LeftColumn(), &RightColumn()}) {
        for (const SheetRow& row : *column) {
            CRowTreeItem* built = row.controlId ? m_settingsSheet->RowFor(row.controlId) : nullptr;
            if (built && built->IsActivated() && built->EditorHasFocus())
                built->CommitChanges();
        }
    }
}

// The sheet of an encoder with an exchange in flight shows the record but takes no edit.
void CMainFrame::SetSheetReadOnly(bool readOnly)
{
    if (readOnly == m_sheetReadOnly)
        return;
    m_sheetReadOnly = readOnly;
    for (const SheetColumn* column : {&LeftColumn(), &RightColumn()}) {
        for (const SheetRow& row : *column) {
            if (row.controlId == 0 || row.readOnly)
                continue;
            if (CRowTreeItem* built = m_settingsSheet->RowFor(row.controlId))
                built->SetReadOnly(readOnly);
        }
    }
    m_settingsSheet->update();
    for (QWidget* child : m_settingsSheet->findChildren<QWidget*>())
        child->update();
}

// ---------------------------------------------------------------------------------------
// Activity log

void CMainFrame::Log(const QString& encoder, CActivityLog::Severity severity, const QString& text)
{
    m_activityLog->AddEntry(QDateTime::currentDateTime(), encoder, severity, text);
}

void CMainFrame::LogNewEvents(const EncoderEntry& entry, size_t from, const ExchangeResult& result, bool monitor)
{
    const QString encoder = QString::fromStdString(entry.dotted);
    for (size_t i = from; i < entry.events.size(); ++i) {
        const EncoderEvent& event = entry.events[i];
        QString text = QString::fromStdString(event.text);
        CActivityLog::Severity severity = CActivityLog::Severity::Info;
        switch (event.kind) {
        case EncoderEventKind::Exchange:
            if (monitor)
                continue;   // a watch's readings show only in the columns and their alarms
            if (result.outcome == ExchangeOutcome::Cancelled)
                severity = CActivityLog::Severity::Warning;
            else if (result.outcome != ExchangeOutcome::Succeeded)
                severity = CActivityLog::Severity::Error;
            // Failures the boxes leave silent get their reason here.
            if (result.outcome == ExchangeOutcome::Failed && result.messages.empty()) {
                if (result.kind == ExchangeKind::Read)
                    text += QStringLiteral(" (the encoder's reply was incomplete or not a settings document it could read)");
                else if (result.kind == ExchangeKind::Status)
                    text += QStringLiteral(" (no valid status reply)");
            }
            if (result.outcome == ExchangeOutcome::Succeeded
                && (result.kind == ExchangeKind::Start || result.kind == ExchangeKind::Stop))
                text += QStringLiteral(" (request sent; the encoder does not confirm it)");
            break;
        case EncoderEventKind::AlarmRaised:
            severity = CActivityLog::Severity::Warning;
            text = QStringLiteral("Alarm raised: ") + text;
            break;
        case EncoderEventKind::AlarmCleared:
            severity = CActivityLog::Severity::Info;
            text = QStringLiteral("Alarm cleared: ") + text;
            break;
        }
        const qint64 ms = std::chrono::duration_cast<std::chrono::milliseconds>(event.time.time_since_epoch()).count();
        m_activityLog->AddEntry(QDateTime::fromMSecsSinceEpoch(ms),
                                encoder, severity, text);
    }
}

void CMainFrame::ExportActivityLog()
{
    QFileDialog dialog(this, QStringLiteral("Export Activity Log"), QString(), QStringLiteral("CSV files (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(QStringLiteral("activity.csv"));
    if (m_prompter.RunDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    if (!m_activityLog->ExportCsv(path))
        m_prompter.MessageBox(this, QStringLiteral("Cannot write %1 !").arg(path), QStringLiteral("Warning"),
                              CPrompter::Icon::Exclamation);
}

// ---------------------------------------------------------------------------------------
// Settings

void CMainFrame::RestoreSettings()
{
    QSettings settings;
    const QStringList book = settings.value(QString::fromLatin1(kAddressBookKey)).toStringList();
    for (const QString& text : book) {
        uint32_t address = 0;
        if (ParseDotted(text.trimmed(), address))
            AddEncoder(Dotted(address));
    }
    SetReplyCompleteMode(settings.value(QString::fromLatin1(kReplyCompleteKey), false).toBool());
    // A site with hundreds of encoders may want a slower watch; nothing faster than a
    // status reading's own wait makes sense.
    const int seconds = settings.value(QString::fromLatin1(kMonitorSecondsKey), kDefaultMonitorSeconds).toInt();
    SetMonitorInterval(std::clamp(seconds, 1, 3600) * 1000);
    RestoreSafeEditSettings();
    m_persist = true;
}

void CMainFrame::SaveAddressBook() const
{
    if (!m_persist)
        return;
    QStringList book;
    for (const EncoderEntry& entry : m_encoders)
        book << QString::fromStdString(entry.dotted);
    QSettings().setValue(QString::fromLatin1(kAddressBookKey), book);
}

// ---------------------------------------------------------------------------------------
// Edit and pane commands

void CMainFrame::OnEditCommand(int id)
{
    QWidget* focus = QApplication::focusWidget();
    if (auto* field = qobject_cast<QLineEdit*>(focus)) {
        switch (id) {
        case ID_EDIT_UNDO: field->undo(); break;
        case ID_EDIT_CUT: field->cut(); break;
        case ID_EDIT_COPY: field->copy(); break;
        case ID_EDIT_PASTE: field->paste(); break;
        default: break;
        }
        return;
    }
    if (focus != m_deviceTree)
        return;
    if (id == ID_EDIT_COPY) {
        QStringList addresses;
        for (QTreeWidgetItem* item : m_deviceTree->SelectedEncoderItems())
            addresses << item->text(kColumnAddress);
        if (!addresses.isEmpty())
            QApplication::clipboard()->setText(addresses.join(QLatin1Char('\n')));
    } else if (id == ID_EDIT_PASTE) {
        const QStringList words =
            QApplication::clipboard()->text().split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts);
        for (const QString& word : words) {
            uint32_t address = 0;
            if (ParseDotted(word, address))
                AddEncoder(Dotted(address));
        }
    }
}

void CMainFrame::CycleFocus(int step)
{
    QList<QWidget*> panes = {m_deviceTree, m_settingsSheet->LeftColumn(), m_messagePane->List()};
    if (!m_activityDock->isHidden())
        panes << m_activityLog->List();
    int at = -1;
    for (int i = 0; i < panes.size(); ++i)
        if (panes[i] && (panes[i] == QApplication::focusWidget() || panes[i]->isAncestorOf(QApplication::focusWidget())))
            at = i;
    const int next = ((at < 0 ? 0 : at + step) % panes.size() + panes.size()) % panes.size();
    if (panes[next])
        panes[next]->setFocus(Qt::ShortcutFocusReason);
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
    m_monitorTimer->stop();
    CancelExchanges();
    QMainWindow::closeEvent(event);
}
