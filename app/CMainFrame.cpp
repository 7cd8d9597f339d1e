#include "CMainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "AppIds.h"
#include "CDeviceTree.h"
#include "CMessagePane.h"
#include "CPaneSplitter.h"
#include "CPrompter.h"
#include "Dialogs.h"
#include "Pictures.h"
#include "Socket.h"

namespace {

constexpr int kPaneMinimum = 30;    // no pane gets narrower or lower than this
constexpr int kPaneBar = 1;         // the bars between panes
constexpr int kWaitTickMs = 100;    // how often the status bar counts a wait down

// The frame's commands: menu items, toolbar buttons and accelerators share one action per
// id. Commands the frame does not handle stay disabled, as the operator expects of
// commands that would do nothing.
struct FrameCommand {
    int id;
    const char* text;        // menu text, "\t" before the accelerator shown
    const char* statusTip;   // the fly-by text in the status bar
    const char* toolTip;
    const char* shortcuts;   // QKeySequence texts separated by "|"
    bool handled;
};

constexpr FrameCommand kFrameCommands[] = {
    {ID_APP_EXIT, "Exit (&X)", nullptr, nullptr, nullptr, true},
    {ID_EDIT_UNDO, "Undo (&U)\tCtrl+Z", nullptr, nullptr, "Ctrl+Z|Alt+Backspace", false},
    {ID_EDIT_CUT, "Cut (&T)\tCtrl+X", "Cut", "Cut", "Ctrl+X|Shift+Del", false},
    {ID_EDIT_COPY, "Copy (&C)\tCtrl+C", "Copy", "Copy", "Ctrl+C|Ctrl+Ins", false},
    {ID_EDIT_PASTE, "Paste (&P)\tCtrl+V", "Paste", "Paste", "Ctrl+V|Shift+Ins", false},
    {ID_FILE_PRINT, "Print", "Print", "Print", nullptr, false},
    {ID_VIEW_TOOLBAR, "ToolBar (&T)", nullptr, nullptr, nullptr, true},
    {ID_VIEW_STATUS_BAR, "StatusBar(&S)", nullptr, nullptr, nullptr, true},
    {ID_APP_ABOUT, "About Encoder(&A)...", "About", "About", nullptr, true},
    {ID_NEXT_PANE, "Next Panel", "Next Panel", "Next Panel", "F6", false},
    {ID_PREV_PANE, "Prev Panel", "Prev Panel", "Prev Panel", "Shift+F6", false},
};

struct ToolButton {
    int id;   // 0: separator
    ToolPicture picture;
};

constexpr ToolButton kToolButtons[] = {
    {ID_EDIT_CUT, ToolPicture::Cut},   {ID_EDIT_COPY, ToolPicture::Copy}, {ID_EDIT_PASTE, ToolPicture::Paste},
    {0, ToolPicture::Cut},             {ID_FILE_PRINT, ToolPicture::Print}, {0, ToolPicture::Cut},
    {ID_APP_ABOUT, ToolPicture::About},
};

LinkOptions WithSleep(LinkOptions options, std::function<void(int)> sleep)
{
    options.sleep = std::move(sleep);
    return options;
}

QString AddressOf(const EncoderRecord& record)
{
    return QString::fromStdString(DottedFromAddress(record.ipAddr));
}

}  // namespace

// Marks one exchange for its whole length: the status bar names it while it waits, and
// the window refuses to close under it.
class CMainFrame::ExchangeScope {
public:
    ExchangeScope(CMainFrame& frame, const QString& name) : m_frame(frame), m_previous(frame.m_exchangeName)
    {
        ++m_frame.m_exchangeDepth;
        m_frame.m_exchangeName = name;
    }
    ~ExchangeScope()
    {
        m_frame.m_exchangeName = m_previous;
        if (--m_frame.m_exchangeDepth == 0)
            m_frame.statusBar()->clearMessage();
    }
    ExchangeScope(const ExchangeScope&) = delete;
    ExchangeScope& operator=(const ExchangeScope&) = delete;

private:
    CMainFrame& m_frame;
    QString m_previous;
};

CMainFrame::CMainFrame(CPrompter& prompter, LinkOptions options)
    : m_prompter(prompter), m_link(*this, WithSleep(std::move(options), [this](int ms) { WaitWithoutInput(ms); }))
{
    // The frame is always a top-level window of its own and goes when it is closed,
    // taking the device tree and every record with it.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Korvane"));
    setWindowIcon(ProgramIcon());
    setDockOptions(QMainWindow::AnimatedDocks);
    CreateCommands();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreatePanes();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::CreateCommands()
{
    for (const FrameCommand& command : kFrameCommands) {
        auto* action = new QAction(QString::fromLatin1(command.text), this);
        action->setData(command.id);
        if (command.statusTip)
            action->setStatusTip(QString::fromLatin1(command.statusTip));
        if (command.toolTip)
            action->setToolTip(QString::fromLatin1(command.toolTip));
        if (command.shortcuts) {
            QList<QKeySequence> keys;
            for (const QString& key : QString::fromLatin1(command.shortcuts).split(QLatin1Char('|')))
                keys << QKeySequence(key);
            action->setShortcuts(keys);
            action->setShortcutContext(Qt::WindowShortcut);
        }
        action->setEnabled(command.handled);
        if (command.id == ID_VIEW_TOOLBAR || command.id == ID_VIEW_STATUS_BAR) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        const int id = command.id;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        addAction(action);   // accelerators work wherever the focus is in the window
        m_commands << action;
    }
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
    file->addAction(CommandAction(ID_APP_EXIT));

    QMenu* edit = menuBar()->addMenu(QStringLiteral("Edit (&E)"));
    edit->addAction(CommandAction(ID_EDIT_UNDO));
    edit->addSeparator();
    edit->addAction(CommandAction(ID_EDIT_CUT));
    edit->addAction(CommandAction(ID_EDIT_COPY));
    edit->addAction(CommandAction(ID_EDIT_PASTE));

    QMenu* view = menuBar()->addMenu(QStringLiteral("View (&V)"));
    view->addAction(CommandAction(ID_VIEW_TOOLBAR));
    view->addAction(CommandAction(ID_VIEW_STATUS_BAR));

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
    for (const ToolButton& button : kToolButtons) {
        if (button.id == 0) {
            m_toolBar->addSeparator();
            continue;
        }
        QAction* action = CommandAction(button.id);
        action->setIcon(ToolButtonIcon(button.picture));
        m_toolBar->addAction(action);
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

    m_deviceTree = new CDeviceTree(*this);
    m_outerSplitter->CreatePane(0, m_deviceTree);
    m_outerSplitter->SetPane(1, m_innerSplitter);

    // The sheet's editors report finished edits here, as any other command.
    m_settingsSheet = new CSettingsSheet(nullptr, [this](int id) { OnCommand(id); });
    m_innerSplitter->CreatePane(0, m_settingsSheet);

    m_messagePane = new CMessagePane(*this);
    m_innerSplitter->CreatePane(1, m_messagePane);
}

QTreeWidgetItem* CMainFrame::FindEncoderItem(QTreeWidgetItem* item, const QString& text) const
{
    for (; item; ) {
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

QTreeWidgetItem* CMainFrame::AddEncoder(const QString& text)
{
    if (QTreeWidgetItem* found = FindEncoderItem(m_deviceTree->topLevelItem(0), text))
        return found;
    EncoderRecord* record = NewEncoderRecord();
    record->ipAddr = AddressFromDotted(text.toLatin1().constData());
    return m_deviceTree->InsertEncoderItem(text, record);
}

void CMainFrame::DeleteEncoder(QTreeWidgetItem* item)
{
    m_deviceTree->SelectNone();
    m_deviceTree->RemoveEncoderItem(item);
}

EncoderRecord* CMainFrame::SelectedRecord() const
{
    return CDeviceTree::ItemRecord(m_deviceTree->SelectedItem());
}

int CMainFrame::ReadConfiguration(EncoderRecord& record)
{
    ExchangeScope scope(*this, QStringLiteral("Read Configuration %1").arg(AddressOf(record)));
    return m_link.ReadConfiguration(record);
}

int CMainFrame::WriteConfiguration(EncoderRecord& record)
{
    ExchangeScope scope(*this, QStringLiteral("Write Configuration %1").arg(AddressOf(record)));
    return m_link.WriteConfiguration(record);
}

int CMainFrame::StartTsToIp(const EncoderRecord& record)
{
    ExchangeScope scope(*this, QStringLiteral("Start TS -> IP %1").arg(AddressOf(record)));
    return m_link.StartTsToIp(record);
}

int CMainFrame::StopTsToIp(const EncoderRecord& record)
{
    ExchangeScope scope(*this, QStringLiteral("Stop TS -> IP %1").arg(AddressOf(record)));
    return m_link.StopTsToIp(record);
}

int CMainFrame::QueryStatus(const EncoderRecord& record)
{
    ExchangeScope scope(*this, QStringLiteral("Device status %1").arg(AddressOf(record)));
    return m_link.QueryStatus(record);
}

void CMainFrame::SearchEncoder(uint32_t address)
{
    ExchangeScope scope(*this, QStringLiteral("Search Encoder %1").arg(QString::fromStdString(DottedFromAddress(address))));
    // The listening window has no fixed wait to count down: say so once and paint it now.
    statusBar()->showMessage(QStringLiteral("%1: listening for encoders").arg(m_exchangeName));
    statusBar()->repaint();
    m_link.SearchEncoder(address, [this](const std::string& dotted) { AddEncoder(QString::fromStdString(dotted)); });
}

bool CMainFrame::OnCommand(int id)
{
    if (EncoderRecord* record = SelectedRecord()) {
        // A sheet row's edit: stored into the record, or refused with one warning. Either
        // way, and after any other command, the sheet then shows what the record holds.
        if (const std::optional<EditorValue> value = m_settingsSheet->ReadEditor(id)) {
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
    case ID_APP_ABOUT: {
        CAboutDlg about(this);
        m_prompter.RunDialog(about);
        return true;
    }
    default:
        return false;
    }
}

void CMainFrame::Warning(const std::string& text)
{
    m_prompter.MessageBox(this, QString::fromStdString(text), QStringLiteral("Warning"), CPrompter::Icon::Exclamation);
}

void CMainFrame::Tip(const std::string& text)
{
    m_prompter.MessageBox(this, QString::fromStdString(text), QStringLiteral("Tip"), CPrompter::Icon::None);
}

void CMainFrame::BeginWait()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CMainFrame::EndWait()
{
    QApplication::restoreOverrideCursor();
}

// The encoder needs the whole fixed wait before its reply is complete. Waiting in a local
// event loop that skips user input keeps the window painted and the countdown visible,
// while clicks and keys wait until the exchange is over, as they would for a blocked
// thread.
void CMainFrame::WaitWithoutInput(int ms)
{
    if (ms <= 0)
        return;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer end;
    end.setSingleShot(true);
    end.setTimerType(Qt::PreciseTimer);
    connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer tick;
    tick.setInterval(kWaitTickMs);
    connect(&tick, &QTimer::timeout, this, [&] {
        const int left = ms - int(clock.elapsed());
        if (left <= 0)
            loop.quit();
        else
            ShowWaitProgress(left);
    });
    ShowWaitProgress(ms);
    end.start(ms);
    tick.start();
    while (clock.elapsed() < ms)   // the tick ends a loop that the end timer left early
        loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void CMainFrame::ShowWaitProgress(int remainingMs)
{
    const int seconds = (qMax(remainingMs, 0) + 999) / 1000;
    const QString name = m_exchangeName.isEmpty() ? QStringLiteral("Encoder") : m_exchangeName;
    statusBar()->showMessage(QStringLiteral("%1: waiting for the encoder, %2 s left").arg(name).arg(seconds));
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // An exchange is on the stack below the wait's event loop: the window and its records
    // must outlive it.
    if (InExchange()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}
