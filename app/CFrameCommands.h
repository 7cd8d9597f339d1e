#pragma once
// The main window's commands: one action per command id, shared by its menu item, its
// toolbar button and its accelerators, each connected straight to what it does (`On`). The
// table of texts, status tips, shortcuts and icons, the menus and the toolbar are built
// from here; the window and its parts say what each command does.

#include <QList>
#include <QObject>
#include <functional>
#include <unordered_map>

class QAction;
class QMainWindow;
class QMenuBar;
class QToolBar;

class CFrameCommands : public QObject {
public:
    // The actions belong to `window` (their accelerators work wherever its focus is; Del
    // only in the widget it is given to).
    explicit CFrameCommands(QMainWindow& window);

    // Connects the command's action (menu item, toolbar button, accelerators) straight to
    // what it does.
    void On(int id, std::function<void()> handler);
    // Does what the command does, as its action would; false for a command nothing does.
    bool Run(int id) const;

    QAction* Action(int id) const;
    const QList<QAction*>& Actions() const { return m_actions; }
    void BuildMenus(QMenuBar& bar) const;
    // The standard toolbar, added to the window's top.
    QToolBar* BuildToolBar(QMainWindow& window) const;

private:
    QList<QAction*> m_actions;
    std::unordered_map<int, std::function<void()>> m_handlers;
};
