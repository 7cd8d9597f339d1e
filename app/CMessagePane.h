#pragma once
// The bottom right pane: the device messages of the selected encoder, newest on top.
// Its popup ("Read Device Message") asks for the encoder's alarms; the frame runs the
// status reading and adds the lines. The pane knows no other pane: the frame tells it
// whether an encoder is selected and whether the command may run now.

#include <QFrame>
#include <functional>

class QMenu;
class QTreeWidget;

class CMessagePane : public QFrame {
    Q_OBJECT
public:
    explicit CMessagePane(QWidget* parent = nullptr);

    // Inserts a line at the top: `image` is kept with the line (1 device, 0 program),
    // `text` goes to the message column.
    void AddMessage(int image, const QString& text);
    void DeleteAllMessages();

    // The pane's own commands; true when `id` was one of them (it emits commandRequested).
    bool OnCommand(int id);

    // Whether an encoder is selected (without one the popup does not open) and whether
    // the command is enabled in it (not while the encoder has an exchange in flight).
    void SetCommandState(bool encoderSelected, bool enabled);

    // The popup's chosen item; the frame tracks menus through its prompter.
    using MenuTracker = std::function<QAction*(QMenu&, const QPoint&)>;
    void SetMenuTracker(MenuTracker tracker) { m_trackMenu = std::move(tracker); }

    QTreeWidget* List() const { return m_list; }
    int MessageCount() const;
    QString MessageText(int line) const;
    int MessageImage(int line) const;

signals:
    void commandRequested(int id);

private:
    void OnListRightClick(const QPoint& pos);

    QTreeWidget* m_list;
    MenuTracker m_trackMenu;
    bool m_encoderSelected = false;
    bool m_commandEnabled = false;
};
