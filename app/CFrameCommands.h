#pragma once
// The main window's commands: one action per command id, shared by its menu item, its
// toolbar button and its accelerators, each connected straight to what it does. The
// table of texts, status tips, shortcuts and icons, the menus and the toolbar are built
// from here; the window decides what each id does.

#include <QList>
#include <QObject>
#include <functional>

class QAction;
class QMainWindow;
class QMenuBar;
class QToolBar;

class CFrameCommands : public QObject {
public:
    // The actions belong to `window` (their accelerators work wherever its focus is; Del
    // only in the widget it is given to); triggering one calls `run` with its id.
    CFrameCommands(QMainWindow& window, std::function<void(int id)> run);

    QAction* Action(int id) const;
    const QList<QAction*>& Actions() const { return m_actions; }
    void BuildMenus(QMenuBar& bar) const;
    // The standard toolbar, added to the window's top.
    QToolBar* BuildToolBar(QMainWindow& window) const;

private:
    QList<QAction*> m_actions;
};
