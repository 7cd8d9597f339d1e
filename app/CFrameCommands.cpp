#include "CFrameCommands.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>

#include "AppIds.h"
#include "LazyStandardIcon.h"
#include "Pictures.h"

namespace {

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
    {ID_ADD_ENCODER, "Add Encoder", "Add an encoder by its address, or several by their addresses and ranges", "Ctrl+N",
     QStyle::SP_FileDialogNewFolder, false},
    {ID_DEL_ENCODER, "Del Encoder", "Remove the selected encoders from the list", "Del", QStyle::SP_TrashIcon, false},
    {ID_READ_CONFIGURATION, "Read Configuration", "Read the selected encoders' settings", "F5", QStyle::SP_ArrowDown,
     false},
    {ID_WRITE_CONFIGURATION, "Write Configuration", "Write the settings to the selected encoders", "Ctrl+S",
     QStyle::SP_ArrowUp, false},
    // The output's two buttons are drawn for the window's palette (OutputButtonIcon).
    {ID_START_TS_IP, "Start TS -> IP", "Start the TS-over-IP output of the selected encoders", "Ctrl+T", kNoIcon,
     false},
    {ID_STOP_TS_IP, "Stop TS -> IP", "Stop the TS-over-IP output of the selected encoders", "Ctrl+Shift+T", kNoIcon,
     false},
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
    {ID_FILE_IMPORT_ADDRESSES, "Import Addresses...",
     "Add the encoders of an address list file: one address or range per line, # starts a comment", nullptr, kNoIcon,
     false},
    {ID_PREV_PANE, "Prev Panel", "Prev Panel", "Shift+F6", kNoIcon, false},
    {ID_DEVICE_HISTORY, "History...",
     "Show the kept versions of the current encoder's settings; Restore takes one as edits", nullptr, kNoIcon, false},
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

}   // namespace

CFrameCommands::CFrameCommands(QMainWindow& window) : QObject(&window)
{
    for (const FrameCommand& command : kFrameCommands) {
        auto* action = new QAction(QString::fromLatin1(command.text), &window);
        action->setData(command.id);
        action->setStatusTip(QString::fromLatin1(command.statusTip));
        const QString plain =
            QString::fromLatin1(command.text).section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
        action->setToolTip(plain.section(QLatin1String(" ("), 0, 0));
        if (command.icon != kNoIcon) action->setIcon(LazyStandardIcon(command.icon, &window));
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
        m_actions << action;
    }
    // Del belongs to the device list: in a settings field it deletes text.
    Action(ID_DEL_ENCODER)->setShortcutContext(Qt::WidgetShortcut);
    for (QAction* action : m_actions)
        if (action->data().toInt() != ID_DEL_ENCODER)
            window.addAction(action);   // accelerators work wherever the focus is in the window
}

void CFrameCommands::On(int id, std::function<void()> handler)
{
    m_handlers[id] = handler;
    if (QAction* action = Action(id)) connect(action, &QAction::triggered, this, [handler] { handler(); });
}

bool CFrameCommands::Run(int id) const
{
    const auto handler = m_handlers.find(id);
    if (handler == m_handlers.end()) return false;
    handler->second();
    return true;
}

QAction* CFrameCommands::Action(int id) const
{
    for (QAction* action : m_actions)
        if (action->data().toInt() == id) return action;
    return nullptr;
}

void CFrameCommands::BuildMenus(QMenuBar& bar) const
{
    QMenu* file = bar.addMenu(QStringLiteral("File (&F)"));
    file->addAction(Action(ID_FILE_SAVE_SETTINGS));
    file->addAction(Action(ID_FILE_APPLY_SETTINGS));
    file->addSeparator();
    file->addAction(Action(ID_FILE_IMPORT_ADDRESSES));
    file->addSeparator();
    file->addAction(Action(ID_APP_EXIT));

    QMenu* edit = bar.addMenu(QStringLiteral("Edit (&E)"));
    edit->addAction(Action(ID_EDIT_UNDO));
    edit->addSeparator();
    edit->addAction(Action(ID_EDIT_CUT));
    edit->addAction(Action(ID_EDIT_COPY));
    edit->addAction(Action(ID_EDIT_PASTE));
    edit->addSeparator();
    edit->addAction(Action(ID_EDIT_REVERT_ROW));
    edit->addAction(Action(ID_EDIT_REVERT_ALL));

    QMenu* device = bar.addMenu(QStringLiteral("Device (&D)"));
    for (int id : {ID_SEARCH_ENCODER, ID_ADD_ENCODER, ID_DEL_ENCODER, 0, ID_READ_CONFIGURATION, ID_WRITE_CONFIGURATION,
                   0, ID_START_TS_IP, ID_STOP_TS_IP, 0, ID_READ_DEVICE_MESSAGE, 0, ID_COMPARE_ENCODERS,
                   ID_DEVICE_HISTORY, 0, ID_CANCEL_EXCHANGES, 0, ID_WAIT_REPLY_COMPLETE, ID_READ_BACK_AFTER_WRITE}) {
        if (id == 0)
            device->addSeparator();
        else
            device->addAction(Action(id));
    }

    QMenu* view = bar.addMenu(QStringLiteral("View (&V)"));
    view->addAction(Action(ID_VIEW_TOOLBAR));
    view->addAction(Action(ID_VIEW_STATUS_BAR));
    view->addAction(Action(ID_VIEW_ACTIVITY_LOG));
    view->addAction(Action(ID_VIEW_SHOW_PASSWORDS));
    view->addSeparator();
    view->addAction(Action(ID_VIEW_MONITOR));
    view->addSeparator();
    view->addAction(Action(ID_NEXT_PANE));
    view->addAction(Action(ID_PREV_PANE));

    QMenu* help = bar.addMenu(QStringLiteral("Help(&H)"));
    help->addAction(Action(ID_APP_ABOUT));
}

QToolBar* CFrameCommands::BuildToolBar(QMainWindow& window) const
{
    auto* toolBar = new QToolBar(QStringLiteral("Standard"), &window);
    toolBar->setObjectName(QStringLiteral("ToolBar"));
    toolBar->setIconSize(QSize(kToolButtonWidth, kToolButtonHeight));
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar->setMovable(true);
    toolBar->setFloatable(true);
    toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    Action(ID_APP_ABOUT)->setIcon(ToolButtonIcon(ToolPicture::About));
    for (int id : kToolButtons) {
        if (id == 0)
            toolBar->addSeparator();
        else
            toolBar->addAction(Action(id));
    }
    window.addToolBar(Qt::TopToolBarArea, toolBar);
    return toolBar;
}
