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
#include "CEncoderRows.h"
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

const char* const kActivityLogFileKey = "ActivityLog/file";

namespace {

constexpr int kPaneMinimum = 30;   // no pane gets narrower or lower than this
constexpr int kPaneBar = 1;        // the bars between panes

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
    CreateCommands();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreatePanes();
    m_layout = std::make_unique<CWindowLayout>(*this, *m_outerSplitter, *m_innerSplitter, *m_settingsSheet,
                                               *m_deviceTree->header(), *m_activityLog->View()->header());
    CreateConcerns();
    CreateEditConcerns();
    m_editCommands = std::make_unique<CEditCommands>(
        *m_frameCommands, *m_deviceTree,
        [this] {
            QList<QWidget*> panes = {m_deviceTree, m_settingsSheet->LeftColumn(), m_messagePane->List()};
            if (!m_activityDock->isHidden()) panes << m_activityLog->View();
            return panes;
        },
        [this](const QStringList& texts) { m_roster->AddAndKeep(texts); });
    WirePanes();
    WireExchanges();
    m_deviceTree->Model().SetCountdown([this](uint32_t address) { return m_exchanges->SecondsLeft(address); });
    UpdateCommandStates();
}

CMainFrame::~CMainFrame()
{
    m_closing = true;
    // Children going away below must not call back into a frame already half gone, nor
    // into what shows the exchanges or starts them.
    QObject::disconnect(qApp, nullptr, this, nullptr);
    for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
    delete m_deviceCommands;
    delete m_exchangeView;
    // The controller goes next: its operations cancel their exchanges, the engine hands on
    // every result still to come, and those queued calls die with it.
    delete m_exchanges;
    m_exchanges = nullptr;
    m_rows.reset();
    m_roster->TakeDown();
}

// ---------------------------------------------------------------------------------------
// Building the window

void CMainFrame::CreateCommands()
{
    // Menu items, toolbar buttons and accelerators do what they name; only the sheet's
    // row editors go through OnCommand.
    m_frameCommands = new CFrameCommands(*this);
    ConnectCommands();
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
    connect(qApp, &QApplication::focusChanged, this, &CMainFrame::UpdateCommandStates);
}

// ---------------------------------------------------------------------------------------
// The concerns

void CMainFrame::CreateConcerns()
{
    m_roster = new CEncoderRoster(*this, *m_deviceTree, *m_activityLog, m_prompter,
                                  [this](uint32_t address) { return m_exchanges->InFlight(address); });
    m_exchanges = new CExchangeController(m_roster->Encoders(), m_linkOptions, m_outFile, this);
    m_rows = std::make_unique<CEncoderRows>(*m_roster, *m_exchanges, *m_deviceTree,
                                            [this](uint32_t address) { return m_safeEdits->PendingEdits(address); });
    m_exchangeView = new CExchangeView(*this, *m_exchanges, m_roster->Encoders(), *m_rows, *m_deviceTree,
                                       *m_messagePane, *m_activityLog, m_prompter);
    m_deviceCommands = new CDeviceCommands(
        *this, *m_frameCommands, *m_exchanges, *m_roster, *m_deviceTree, *m_settingsSheet, *m_messagePane,
        *m_activityLog, m_prompter, [this](std::vector<uint32_t> addresses) { m_writes->WriteEncoders(addresses); });
}

void CMainFrame::CreateEditConcerns()
{
    auto refreshSheet = [this](const EncoderRecord& record) { RefreshSheet(record); };
    auto updateItem = [this](uint32_t address) { UpdateItem(address); };
    QStatusBar& bar = *statusBar();
    EncoderList& encoders = Encoders();
    const FrameParts parts{*this, m_prompter, encoders, *m_exchanges, *m_frameCommands, *m_deviceTree, *m_activityLog};
    m_safeEdits =
        std::make_unique<CSafeEdits>(parts, *m_settingsSheet, bar, CSafeEdits::Hooks{refreshSheet, updateItem});
    m_writes = std::make_unique<CWriteReview>(*this, m_prompter, encoders, *m_exchanges, *m_activityLog,
                                              CWriteReview::Hooks{[this] {
                                                                      UpdateCommandStates();
                                                                      UpdateProgress();
                                                                  },
                                                                  [this] { return m_closing; }});
    m_settingsFiles = std::make_unique<CSettingsFiles>(
        parts, bar, CSettingsFiles::Hooks{refreshSheet, updateItem, [this] { UpdateCommandStates(); }});
    m_historyPanel = std::make_unique<CHistoryPanel>(parts, [this](EncoderEntry& entry) {
        if (SelectedRecord() == &entry.record) RefreshSheet(entry.record);
        UpdateItem(entry.address);
        m_safeEdits->UpdateStates();
    });
}

// What one concern does, the others hear of.
void CMainFrame::WireExchanges()
{
    connect(m_roster, &CEncoderRoster::encodersListed, this,
            [this](const std::vector<CEncoderRoster::Listed>& listed) { m_rows->ShowListed(listed); });
    connect(m_roster, &CEncoderRoster::encoderLeaving, this, [this](uint32_t address) {
        // A monitor reading may still run: its result finds no encoder and is dropped.
        m_exchanges->Forget(address);
    });
    connect(m_roster, &CEncoderRoster::listChanged, this, &CMainFrame::UpdateCommandStates);
    connect(m_exchangeView, &CExchangeView::statesChanged, this, &CMainFrame::UpdateCommandStates);
    connect(m_exchangeView, &CExchangeView::currentRead, this, &CMainFrame::RefreshSheet);
    connect(m_exchangeView, &CExchangeView::currentWritten, this,
            [this](const EncoderRecord& record) { m_safeEdits->ShowPending(record); });
    // What the operator's exchanges leave behind: the history, then the read-back's findings.
    connect(m_exchangeView, &CExchangeView::resultShown, this, [this](const OperationReport& report, bool monitor) {
        if (monitor) return;
        m_historyPanel->KeepExchange(report);
        m_safeEdits->AfterExchange(report);
    });
    connect(m_deviceCommands, &CDeviceCommands::statesChanged, this, [this] {
        UpdateCommandStates();
        UpdateProgress();
    });
}

EncoderRecord* CMainFrame::SelectedRecord() const
{
    return m_deviceTree->SelectedItem();
}

void CMainFrame::UpdateItem(uint32_t address, bool recountEdits)
{
    m_rows->Update(address, recountEdits);
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
    commands.On(ID_APP_ABOUT, [this] {
        CAboutDlg about(this);
        m_prompter.RunDialog(about);
    });
}

// ---------------------------------------------------------------------------------------
// Enabling and the sheet

void CMainFrame::UpdateCommandStates()
{
    m_deviceCommands->UpdateStates();
    const EncoderRecord* current = SelectedRecord();
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
    m_roster->RestoreAddressBook();
    m_deviceCommands->RestoreSettings();
    m_safeEdits->RestoreSettings();
    m_historyPanel->RestoreSettings();
    const QVariant logFile = QSettings().value(QString::fromLatin1(kActivityLogFileKey));
    m_activityLog->OpenStoreAfterFirstPaint(logFile.isValid() ? logFile.toString() : CActivityStore::DefaultPath());
    m_roster->KeepChanges();
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
    if (m_roster->Persisting()) m_layout->Save();
    m_exchanges->Shutdown();
    QMainWindow::closeEvent(event);
}
