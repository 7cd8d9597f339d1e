#pragma once
// The left pane: one item per encoder, labelled with its dotted address, with columns
// that show at a glance what the encoder does (state, each program's output and input,
// temperature, last read, pending edits, the exchange in flight and the last outcome).
// Several items can be selected; the commands act on the selection, the sheet shows the
// current item. The tree announces what changes with signals; the frame, which owns the
// encoders' records and runs the exchanges, wires them to the other panes.

#include <QDateTime>
#include <QTreeWidget>
#include <functional>
#include <optional>

#include "DeviceStatusReading.h"
#include "EncoderRecord.h"

class QMenu;

// The columns of the device list, in their order.
enum DeviceColumn {
    kColumnAddress,
    kColumnState,
    kColumnActivity,   // the exchange in flight and its seconds left, or the last outcome
    kColumnProg1Output,
    kColumnProg1Input,
    kColumnProg2Output,
    kColumnProg2Input,
    kColumnTemperature,
    kColumnLastRead,
    kColumnPending,
    kDeviceColumnCount
};

// What an item shows besides its address; the frame fills it from the encoder's entry.
struct DeviceItemView {
    enum class State { Unknown, Online, Offline };
    State state = State::Unknown;
    std::optional<DeviceStatusReading> status;   // the last status reading; empty: none taken
    bool overTemperature = false;                // the reading raised the temperature alarm
    QDateTime lastRead;                          // invalid: never read
    int pendingEdits = 0;
    QString activity;      // the exchange in flight; empty when idle
    int secondsLeft = 0;   // of the exchange in flight
    QString outcome;       // the last exchange's outcome, for an idle item
    bool outcomeFailed = false;

    bool InFlight() const { return !activity.isEmpty(); }
};

class CDeviceTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit CDeviceTree(QWidget* parent = nullptr);
    ~CDeviceTree() override;

    // The device commands of the context menu: emits commandRequested; true when `id` was
    // one of the seven.
    bool OnCommand(int id);

    // The current encoder: the current item while it is selected, else null. Qt's current
    // item without a selection (after the tree merely got the focus, or after Ctrl+click
    // took it out of the selection) is no encoder choice.
    QTreeWidgetItem* SelectedItem() const;
    // Every selected item, in the list's order.
    QList<QTreeWidgetItem*> SelectedEncoderItems() const;
    void SelectNone();
    // Makes `item` the only selected item and the current one.
    void SelectOnly(QTreeWidgetItem* item);

    // The item's record: set when the item is made; the frame owns it.
    static EncoderRecord* ItemRecord(const QTreeWidgetItem* item);
    static uint32_t ItemAddress(const QTreeWidgetItem* item);
    QTreeWidgetItem* InsertEncoderItem(const QString& text, EncoderRecord* record);
    // Deletes the item; its record is the frame's to free.
    void RemoveEncoderItem(QTreeWidgetItem* item);

    // IMAGE_ONLINE or IMAGE_OFFLINE, for the normal and the selected state alike.
    void SetItemImage(QTreeWidgetItem* item, int image);
    static int ItemImage(const QTreeWidgetItem* item);

    void SetItemView(QTreeWidgetItem* item, const DeviceItemView& view);
    static DeviceItemView ItemView(const QTreeWidgetItem* item);
    static bool ItemInFlight(const QTreeWidgetItem* item);

    // True when something is selected and no selected encoder has an exchange in flight:
    // the encoder commands would not conflict with anything running.
    bool SelectionIdle() const;

    // The context menu as it is shown now: the five encoder commands are enabled only
    // while an item is selected and none of the selected is busy with an exchange.
    // Action data holds the command id.
    void FillContextMenu(QMenu& menu) const;

    // The context menu's chosen popup; the frame tracks menus through its prompter.
    using MenuTracker = std::function<QAction*(QMenu&, const QPoint&)>;
    void SetMenuTracker(MenuTracker tracker) { m_trackMenu = std::move(tracker); }

signals:
    // The current encoder changed: its record, or null when none is current.
    void currentEncoderChanged(EncoderRecord* record);
    // The selection changed in any way (the message pane is emptied on it).
    void encoderSelectionChanged();
    // A device command was chosen in the context menu (or given to OnCommand).
    void commandRequested(int id);

protected:
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void OnSelectionChanged();
    void OnHeaderClicked(int column);
    void ShowView(QTreeWidgetItem* item, const DeviceItemView& view);

    MenuTracker m_trackMenu;
    QTreeWidgetItem* m_lastCurrent = nullptr;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

// The count of records made by the frame and not yet freed, so that a check can see that
// none outlives its item.
void CountEncoderRecord(int delta);
int LiveEncoderRecords();
