#include "CMainFrame.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDockWidget>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSettings>
#include <QVariant>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QToolBar>
#include <QTreeWidget>
#include <algorithm>
#include <optional>

#include "AppIds.h"
#include "CAddressBook.h"
#include "CActivityStore.h"
#include "StatusGate.h"
#include "CFrameCommands.h"
#include "CDeviceTree.h"
#include "CEditCommands.h"
#include "CHistoryPanel.h"
#include "CMessagePane.h"
#include "CPaneSplitter.h"
#include "CPrompter.h"
#include "CRowTreeItem.h"
#include "CSafeEdits.h"
#include "CSettingsFiles.h"
#include "CWindowLayout.h"
#include "CWriteReview.h"
#include "Dialogs.h"
#include "FrameText.h"
#include "Pictures.h"
#include "SheetLayout.h"
#include "TextConversions.h"

const char* const kAddressBookKey = "AddressBook/encoders";
const char* const kReplyCompleteKey = "Exchanges/finishOnCompleteReply";
const char* const kMonitorSecondsKey = "Monitor/intervalSeconds";
const char* const kActivityLogFileKey = "ActivityLog/file";

namespace {

constexpr int kPaneMinimum = 30;       // no pane gets narrower or lower than this
constexpr int kPaneBar = 1;            // the bars between panes
constexpr int kProgressTickMs = 250;   // how often the items and the status bar count down

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

CMainFrame::CMainFrame(CPrompter& prompter, LinkOptions options, std::string outFile)
    : m_prompter(prompter), m_linkOptions(std::move(options)), m_outFile(std::move(outFile))
{
    // The frame is always a top-level window of its own and goes when it is closed,
    // taking the device list and every record with it.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Korvane"));
    setWindowIcon(ProgramIcon());
    setDockOptions(QMainWindow::AnimatedDocks);
    m_exchanges = new CExchangeController(m_encoders, m_linkOptions, m_outFile, this);
    m_addressBook = new CAddressBook(m_encoders, this);
    CreateCommands();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreatePanes();
    m_layout = std::make_unique<CWindowLayout>(*this, *m_outerSplitter, *m_innerSplitter, *m_settingsSheet,
                                               *m_deviceTree->header(), *m_activityLog->View()->header());
    CreateEditConcerns();
    m_editCommands = std::make_unique<CEditCommands>(
        *m_frameCommands, *m_deviceTree,
        [this] {
            QList<QWidget*> panes = {m_deviceTree, m_settingsSheet->LeftColumn(), m_messagePane->List()};
            if (!m_activityDock->isHidden()) panes << m_activityLog->View();
            return panes;
        },
        [this](const QStringList& texts) {
            AddEncoders(texts);
            m_addressBook->Save();
        });
    WirePanes();
    WireExchanges();
    m_deviceTree->Model().SetCountdown([this](uint32_t address) { return SecondsLeft(address); });

    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(kProgressTickMs);
    connect(m_progressTimer, &QTimer::timeout, this, &CMainFrame::UpdateProgress);
    UpdateCommandStates();
}

CMainFrame::~CMainFrame()
{
    m_closing = true;
    m_addressBook->SaveIfDue();
    // Children going away below must not call back into a frame already half gone.
    QObject::disconnect(qApp, nullptr, this, nullptr);
    for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
    m_progressTimer->stop();
    // The controller goes first: its operations cancel their exchanges, the engine hands on
    // every result still to come, and those queued calls die with it.
    delete m_exchanges;
    m_exchanges = nullptr;
    // The items point into the encoder list, which goes before the tree widget does.
    m_deviceTree->blockSignals(true);
    m_deviceTree->selectionModel()->blockSignals(true);
    m_deviceTree->Model().Clear();
    CountEncoderRecord(-int(m_encoders.Size()));
    m_encoders.Clear();
}

// ---------------------------------------------------------------------------------------
// Building the window

void CMainFrame::CreateCommands()
{
    // Menu items, toolbar buttons and accelerators do what they name; only the sheet's
    // row editors go through OnCommand.
    m_frameCommands = new CFrameCommands(*this);
    ConnectCommands();
    CommandAction(ID_WAIT_REPLY_COMPLETE)->setChecked(m_exchanges->ReplyComplete());
}

QAction* CMainFrame::CommandAction(int id) const
{
    return m_frameCommands->Action(id);
}

void CMainFrame::CreateMenus()
{
    m_frameCommands->BuildMenus(*menuBar());
}

void CMainFrame::CreateToolBar()
{
    m_toolBar = m_frameCommands->BuildToolBar(*this);
    DrawPaletteButtons();
    // The View menu's check follows the toolbar however it was hidden or shown.
    connect(m_toolBar, &QToolBar::visibilityChanged, this,
            [this] { CommandAction(ID_VIEW_TOOLBAR)->setChecked(!m_toolBar->isHidden()); });
}

void CMainFrame::DrawPaletteButtons()
{
    const std::pair<int, ToolPicture> buttons[] = {{ID_START_TS_IP, ToolPicture::StartOutput},
                                                   {ID_STOP_TS_IP, ToolPicture::StopOutput},
                                                   {ID_READ_CONFIGURATION, ToolPicture::ReadSettings},
                                                   {ID_WRITE_CONFIGURATION, ToolPicture::WriteSettings}};
    for (const auto& [id, picture] : buttons) CommandAction(id)->setIcon(PaletteButtonIcon(picture, palette()));
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
    connect(m_deviceTree, &CDeviceTree::currentEncoderBusyChanged, this, &CMainFrame::UpdateCommandStates);
    connect(m_deviceTree, &CDeviceTree::commandRequested, this, &CMainFrame::RunDeviceCommand);
    connect(m_messagePane, &CMessagePane::commandRequested, this, &CMainFrame::RunDeviceCommand);
    connect(m_activityLog, &CActivityLog::exportRequested, this, &CMainFrame::ExportActivityLog);
    connect(qApp, &QApplication::focusChanged, this, &CMainFrame::UpdateCommandStates);
}

void CMainFrame::CreateEditConcerns()
{
    auto refreshSheet = [this](const EncoderRecord& record) { RefreshSheet(record); };
    auto updateItem = [this](uint32_t address) { UpdateItem(address); };
    QStatusBar& bar = *statusBar();
    m_safeEdits = std::make_unique<CSafeEdits>(*this, m_prompter, m_encoders, *m_exchanges, *m_frameCommands,
                                               *m_deviceTree, *m_settingsSheet, *m_activityLog, bar,
                                               CSafeEdits::Hooks{refreshSheet, updateItem});
    m_writes = std::make_unique<CWriteReview>(*this, m_prompter, m_encoders, *m_exchanges, *m_activityLog,
                                              CWriteReview::Hooks{[this] {
                                                                      UpdateCommandStates();
                                                                      UpdateProgress();
                                                                  },
                                                                  [this] { return m_closing; }});
    m_settingsFiles = std::make_unique<CSettingsFiles>(
        *this, m_prompter, m_encoders, *m_exchanges, *m_frameCommands, *m_deviceTree, *m_activityLog, bar,
        CSettingsFiles::Hooks{refreshSheet, updateItem, [this] { UpdateCommandStates(); }});
    m_historyPanel = std::make_unique<CHistoryPanel>(*this, m_prompter, m_encoders, *m_exchanges, *m_frameCommands,
                                                     *m_deviceTree, *m_activityLog, [this](EncoderEntry& entry) {
                                                         if (SelectedRecord() == &entry.record)
                                                             RefreshSheet(entry.record);
                                                         UpdateItem(entry.address);
                                                         m_safeEdits->UpdateStates();
                                                     });
}

// ---------------------------------------------------------------------------------------
// The device list

EncoderRecord* CMainFrame::FindEncoderItem(const QString& text) const
{
    // Items match on their whole text: the address finds the row, the text must be its own.
    const uint32_t address = InetAddrHostOrder(text.toLatin1().constData());
    const CEncoderModel& model = m_deviceTree->Model();
    const int row = model.RowOfAddress(address);
    return row >= 0 && model.TextAt(row) == text ? model.RecordAt(row) : nullptr;
}

EncoderRecord* CMainFrame::ItemOf(uint32_t address) const
{
    const CEncoderModel& model = m_deviceTree->Model();
    return model.RecordAt(model.RowOfAddress(address));
}

EncoderRecord* CMainFrame::AddEncoder(const QString& text)
{
    EncoderRecord* item = AddEncoders({text}).value(0);
    m_addressBook->ScheduleSave();
    return item;
}

// One insertion into the list for the whole batch, each address looked up by hash.
QList<EncoderRecord*> CMainFrame::AddEncoders(const QStringList& texts)
{
    QList<EncoderRecord*> items;
    std::vector<CEncoderModel::NewRow> rows;
    std::vector<std::pair<uint32_t, bool>> added;   // with whether the encoder is new to the list
    for (const QString& text : texts) {
        if (EncoderRecord* found = FindEncoderItem(text)) {
            items << found;
            continue;
        }
        const uint32_t address = InetAddrHostOrder(text.toLatin1().constData());
        bool fresh = false;
        EncoderEntry& entry = m_encoders.Add(address, &fresh);
        // Another text for an address already listed (the list's own texts are canonical):
        // one encoder keeps one item and one record.
        if (!fresh && ItemOf(address)) {
            items << ItemOf(address);
            continue;
        }
        if (fresh) CountEncoderRecord(1);
        rows.push_back({&entry.record, text});
        added.push_back({address, fresh});
        items << &entry.record;
    }
    m_deviceTree->InsertEncoderItems(rows);
    // An encoder new to the list was never read and its record is zero but for its address:
    // its edit count is that of any other new one (whose address is as zero or not), so a
    // restored book of thousands compares two records twice, not once per encoder.
    std::optional<int> freshEdits[2];
    for (const auto& [address, fresh] : added) {
        if (!fresh) {
            UpdateItem(address);
            continue;
        }
        std::optional<int>& edits = freshEdits[address != 0];
        if (!edits) edits = m_safeEdits->PendingEdits(address);
        UpdateItemWithEdits(address, *edits);
    }
    return items;
}

bool CMainFrame::DeleteEncoder(EncoderRecord* item)
{
    if (!item || InFlight(CDeviceTree::ItemAddress(item))) return false;
    DeleteEncoders({item});
    return true;
}

// Clears the selection, then removes the encoders' rows in one go and frees their records.
// Encoders with an exchange in flight stay.
void CMainFrame::DeleteEncoders(const QList<EncoderRecord*>& items)
{
    std::vector<const EncoderRecord*> doomed;
    std::vector<uint32_t> addresses;
    for (EncoderRecord* item : items) {
        const uint32_t address = CDeviceTree::ItemAddress(item);
        if (!item || InFlight(address) || ItemOf(address) != item) continue;
        doomed.push_back(item);
        addresses.push_back(address);
    }
    m_deviceTree->SelectNone();
    m_deviceTree->RemoveEncoderItems(doomed);
    for (uint32_t address : addresses) {
        // A monitor reading may still run: its result finds no encoder and is dropped.
        m_exchanges->Forget(address);
        if (m_encoders.Remove(address)) CountEncoderRecord(-1);
    }
    m_addressBook->Save();
    UpdateCommandStates();
}

EncoderRecord* CMainFrame::SelectedRecord() const
{
    return m_deviceTree->SelectedItem();
}

void CMainFrame::UpdateItem(uint32_t address, bool recountEdits)
{
    const EncoderRecord* item = ItemOf(address);
    if (!item) return;
    // Counting the edits compares every field of two records: only when the record may
    // have changed, not for a status reading or an exchange that merely starts.
    UpdateItemWithEdits(address,
                        recountEdits ? m_safeEdits->PendingEdits(address) : m_deviceTree->ItemView(item).pendingEdits);
}

void CMainFrame::UpdateItemWithEdits(uint32_t address, int pendingEdits)
{
    const EncoderEntry* entry = m_encoders.Find(address);
    const EncoderRecord* item = ItemOf(address);
    if (!entry || !item) return;
    DeviceItemView view;
    if (entry->status)
        view.state = entry->status->Answered() ? DeviceItemView::State::Online : DeviceItemView::State::Offline;
    else if (entry->state != EncoderState::Unknown)
        view.state =
            entry->state == EncoderState::Online ? DeviceItemView::State::Online : DeviceItemView::State::Offline;
    view.status = entry->status;
    view.overTemperature = entry->status && OverTemperatureAlarm(*entry->status, entry->record);
    view.lastRead = m_exchanges->LastRead(address);
    view.pendingEdits = pendingEdits;
    if (const std::optional<ExchangeKind> activity = m_exchanges->Activity(address))
        view.activity = ExchangeText(*activity);
    const CExchangeController::Outcome outcome = m_exchanges->LastOutcome(address);
    view.outcome = outcome.text;
    view.outcomeFailed = outcome.failed;
    m_deviceTree->SetItemView(item, view);
    // The image: online after a read's answered status, offline when a read's or a write's
    // status went unanswered, and offline too while the last status reading (the monitor's
    // included) did not reach the encoder, as the State column says.
    const bool unreachable = entry->status && !entry->status->Answered();
    m_deviceTree->SetItemImage(item,
                               entry->state == EncoderState::Online && !unreachable ? IMAGE_ONLINE : IMAGE_OFFLINE);
}

// ---------------------------------------------------------------------------------------
// Commands

bool CMainFrame::OnCommand(int id)
{
    // A value still being typed (Ctrl+S straight from a password field) goes into the
    // record before the record goes to the encoder, and before the refresh below.
    if (id == ID_WRITE_CONFIGURATION) m_settingsSheet->CommitOpenEditor();
    if (EncoderRecord* record = SelectedRecord()) {
        // A sheet row's edit: stored into the record, or refused with one warning. An
        // encoder with an exchange in flight takes no edit: its record is the exchange's
        // until it ends. Either way, and after any other command, the sheet then shows
        // what the record holds.
        if (const std::optional<EditorValue> value = m_settingsSheet->ReadEditor(id);
            value && !InFlight(record->ipAddr) && !NeverRead(*record)) {
            if (const std::optional<std::string> warning = CommitSetting(id, *value, *record)) Warning(*warning);
        }
        RefreshSheet(*record);
    }
    return m_frameCommands->Run(id);
}

void CMainFrame::RefreshSheet(const EncoderRecord& record)
{
    if (NeverRead(record))
        m_settingsSheet->ShowUnread(record);
    else
        m_settingsSheet->Refresh(&record);
    m_safeEdits->ShowPending(record);
}

bool CMainFrame::NeverRead(const EncoderRecord& record) const
{
    return m_safeEdits->NeverRead(record);
}

// The frame's own handling of its menu and toolbar commands.
// The frame's own commands, each action connected to what it does.
void CMainFrame::ConnectCommands()
{
    CFrameCommands& commands = *m_frameCommands;
    commands.On(ID_APP_EXIT, [this] { close(); });
    commands.On(ID_VIEW_TOOLBAR, [this] {
        m_toolBar->setHidden(!m_toolBar->isHidden());
        CommandAction(ID_VIEW_TOOLBAR)->setChecked(!m_toolBar->isHidden());
    });
    commands.On(ID_VIEW_STATUS_BAR, [this] {
        statusBar()->setHidden(!statusBar()->isHidden());
        CommandAction(ID_VIEW_STATUS_BAR)->setChecked(!statusBar()->isHidden());
    });
    commands.On(ID_VIEW_ACTIVITY_LOG, [this] {
        m_activityDock->setHidden(!m_activityDock->isHidden());
        CommandAction(ID_VIEW_ACTIVITY_LOG)->setChecked(!m_activityDock->isHidden());
    });
    commands.On(ID_VIEW_MONITOR, [this] { SetMonitoring(CommandAction(ID_VIEW_MONITOR)->isChecked()); });
    commands.On(ID_WAIT_REPLY_COMPLETE,
                [this] { SetReplyCompleteMode(CommandAction(ID_WAIT_REPLY_COMPLETE)->isChecked()); });
    commands.On(ID_APP_ABOUT, [this] {
        CAboutDlg about(this);
        m_prompter.RunDialog(about);
    });
    // The device commands are the device list's context menu's too: one way to run each.
    for (int id : {ID_SEARCH_ENCODER, ID_ADD_ENCODER, ID_DEL_ENCODER, ID_READ_CONFIGURATION, ID_WRITE_CONFIGURATION,
                   ID_START_TS_IP, ID_STOP_TS_IP, ID_READ_DEVICE_MESSAGE})
        commands.On(id, [this, id] { RunDeviceCommand(id); });
    commands.On(ID_CANCEL_EXCHANGES, [this] { CancelExchanges(); });
    commands.On(ID_FILE_IMPORT_ADDRESSES, [this] { ImportAddresses(); });
}

void CMainFrame::RunDeviceCommand(int id)
{
    if (m_closing) return;
    switch (id) {
    case ID_SEARCH_ENCODER: {
        if (m_exchanges->Searching()) return;   // one search at a time
        CSearchDeviceDlg dialog(m_deviceTree);
        if (m_prompter.RunDialog(dialog) == QDialog::Accepted) StartSearch(dialog.Address());
        return;
    }
    case ID_ADD_ENCODER:
        AddFromDialog();
        return;
    case ID_DEL_ENCODER: {
        if (!m_deviceTree->SelectionIdle()) return;
        DeleteEncoders(m_deviceTree->SelectedEncoderItems());
        return;
    }
    default:
        break;
    }
    const auto command = std::find_if(std::begin(kEncoderCommands), std::end(kEncoderCommands),
                                      [id](const EncoderCommand& c) { return c.id == id; });
    if (command == std::end(kEncoderCommands) || !m_deviceTree->SelectionIdle()) return;
    if (id == ID_WRITE_CONFIGURATION) m_settingsSheet->CommitOpenEditor();
    std::vector<uint32_t> addresses;
    for (const EncoderRecord* item : m_deviceTree->SelectedEncoderItems())
        addresses.push_back(CDeviceTree::ItemAddress(item));
    if (id == ID_WRITE_CONFIGURATION) {
        m_writes->WriteEncoders(std::move(addresses));
        return;
    }
    if (!ConfirmFleetCommand(command->kind, addresses.size())) return;
    m_exchanges->RunCommand(command->kind, addresses);
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
    CommandAction(ID_SEARCH_ENCODER)->setEnabled(!m_exchanges->Searching());
    CommandAction(ID_CANCEL_EXCHANGES)->setEnabled(InExchange());

    const EncoderRecord* current = SelectedRecord();
    m_messagePane->SetCommandState(current != nullptr, current && !InFlight(current->ipAddr));
    // No encoder selected, or one never read: nothing to take an edit, and the sheet says so.
    m_settingsSheet->SetEditable(current && !InFlight(current->ipAddr) && !NeverRead(*current));
    m_settingsSheet->SetNotice(m_safeEdits->SheetNotice());
    m_safeEdits->UpdateStates();
    m_settingsFiles->UpdateStates();
    m_historyPanel->UpdateStates();

    m_editCommands->UpdateStates();
}

void CMainFrame::OnCurrentEncoderChanged(EncoderRecord* record)
{
    if (record) RefreshSheet(*record);
    UpdateCommandStates();
}

// ---------------------------------------------------------------------------------------
// Settings

void CMainFrame::RestoreSettings()
{
    QSettings settings;
    AddEncoders(m_addressBook->Restore());
    SetReplyCompleteMode(settings.value(QString::fromLatin1(kReplyCompleteKey), false).toBool());
    // A site with hundreds of encoders may want a slower watch; nothing faster than a
    // status reading's own wait makes sense.
    const int seconds = settings.value(QString::fromLatin1(kMonitorSecondsKey), kDefaultMonitorSeconds).toInt();
    SetMonitorInterval(std::clamp(seconds, 1, 3600) * 1000);
    m_safeEdits->RestoreSettings();
    m_historyPanel->RestoreSettings();
    const QVariant logFile = settings.value(QString::fromLatin1(kActivityLogFileKey));
    m_activityLog->OpenStore(logFile.isValid() ? logFile.toString() : CActivityStore::DefaultPath());
    m_persist = true;
}

// ---------------------------------------------------------------------------------------
// Boxes and closing

void CMainFrame::Warning(const std::string& text)
{
    m_prompter.Warning(this, QString::fromStdString(text));
}

void CMainFrame::Tip(const std::string& text)
{
    m_prompter.Tip(this, QString::fromStdString(text));
}

// Closing while exchanges run asks first; cancelled or not, nothing outlives the window:
// the destructor cancels whatever still runs and waits for the engine's workers.
void CMainFrame::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // The output's buttons are drawn for the palette: a new one draws them again.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
        DrawPaletteButtons();
    }
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (!m_writes->ClosingWithPendingEdits()) {
        event->ignore();
        return;
    }
    if (InExchange()) {
        const QString text =
            QStringLiteral("%1 exchanges are still running. Cancel them and quit?").arg(m_exchanges->Running());
        if (!m_prompter.Question(this, text, QStringLiteral("Korvane"))) {
            event->ignore();
            return;
        }
    }
    m_closing = true;
    if (m_persist) m_layout->Save();
    m_exchanges->Shutdown();
    QMainWindow::closeEvent(event);
}
