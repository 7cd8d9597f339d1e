#pragma once
// The bottom right pane: the device messages of the selected encoder, newest on top.
// Its popup ("Read Device Message") asks the encoder for its status and lists its alarms.

#include <QFrame>

class CMainFrame;
class QTreeWidget;

class CMessagePane : public QFrame {
    Q_OBJECT
public:
    explicit CMessagePane(CMainFrame& frame, QWidget* parent = nullptr);

    // Inserts a line at the top: `image` is kept with the line (1 device, 0 program),
    // `text` goes to the message column.
    void AddMessage(int image, const QString& text);
    void DeleteAllMessages();

    // The pane's own commands; true when `id` was one of them.
    bool OnCommand(int id);
    void OnReadDeviceMessage();

    QTreeWidget* List() const { return m_list; }
    int MessageCount() const;
    QString MessageText(int line) const;
    int MessageImage(int line) const;

private:
    void OnListRightClick(const QPoint& pos);

    CMainFrame& m_frame;
    QTreeWidget* m_list;
};
