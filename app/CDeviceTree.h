#pragma once
// The left pane: one item per encoder, labelled with its dotted address, with columns
// that show at a glance what the encoder does (state, each program's output and input,
// temperature, last read, pending edits, the exchange in flight and the last outcome).
// Several items can be selected; the commands act on the selection, the sheet shows the
// current item. The tree announces what changes with signals; the frame, which owns the
// encoders' records and runs the exchanges, wires them to the other panes.

#include <QList>
#include <QTreeView>
#include <functional>
#include <vector>

#include "CEncoderModel.h"
#include "EncoderRecord.h"

class QMenu;
class QSortFilterProxyModel;
class QTimer;

// An encoder of the list is named by its record, which the encoder list owns and which
// lives exactly as long as the encoder is listed.
class CDeviceTree : public QTreeView {
    Q_OBJECT
public:
    explicit CDeviceTree(QWidget* parent = nullptr);
    ~CDeviceTree() override;

    // The device commands of the context menu: emits commandRequested; true when `id` was
    // one of the seven.
    bool OnCommand(int id);

    CEncoderModel& Model() const { return *m_model; }
    // The rows as the list shows them now: sorted as last asked, filtered by what was typed.
    int ItemCount() const;
    EncoderRecord* ItemAt(int shownRow) const;
    QString ItemText(const EncoderRecord* item, int column) const;
    QRect ItemRect(const EncoderRecord* item) const;
    void ScrollToItem(const EncoderRecord* item);

    // The current encoder: the current item while it is selected, else null. Qt's current
    // item without a selection (after the list merely got the focus, or after Ctrl+click
    // took it out of the selection) is no encoder choice.
    EncoderRecord* SelectedItem() const;
    // Every selected encoder, in the list's order.
    QList<EncoderRecord*> SelectedEncoderItems() const;
    void SelectNone();
    // Makes `item` the only selected item and the current one.
    void SelectOnly(const EncoderRecord* item);
    // Makes `item` current, adding it to the selection (a Ctrl+click).
    void SelectAlso(const EncoderRecord* item);

    static uint32_t ItemAddress(const EncoderRecord* item) { return item ? item->ipAddr : 0; }
    void InsertEncoderItems(const std::vector<CEncoderModel::NewRow>& rows);
    // Deletes the items; their records are the frame's to free.
    void RemoveEncoderItems(const std::vector<const EncoderRecord*>& items);

    // IMAGE_ONLINE or IMAGE_OFFLINE, for the normal and the selected state alike.
    void SetItemImage(const EncoderRecord* item, int image);
    int ItemImage(const EncoderRecord* item) const;

    void SetItemView(const EncoderRecord* item, const DeviceItemView& view);
    DeviceItemView ItemView(const EncoderRecord* item) const;
    bool ItemInFlight(const EncoderRecord* item) const;

    // True when something is selected and no selected encoder has an exchange in flight:
    // the encoder commands would not conflict with anything running.
    bool SelectionIdle() const;

    // Only the encoders whose address contains `text` are shown; empty shows all.
    void SetFilterText(const QString& text);
    QString FilterText() const { return m_filter; }
    void SortByColumn(int column, Qt::SortOrder order);

    // The context menu as it is shown now: the five encoder commands are enabled only
    // while an item is selected and none of the selected is busy with an exchange.
    // Action data holds the command id.
    void FillContextMenu(QMenu& menu) const;

    // The context menu's chosen popup; the frame tracks menus through its prompter.
    using MenuTracker = std::function<QAction*(QMenu&, const QPoint&)>;
    void SetMenuTracker(MenuTracker tracker) { m_trackMenu = std::move(tracker); }

    // Starts or stops the one countdown timer as exchanges begin and end.
    void UpdateCountdown();

signals:
    // The current encoder changed: its record, or null when none is current.
    void currentEncoderChanged(EncoderRecord* record);
    // The current encoder started or ended an exchange.
    void currentEncoderBusyChanged();
    // The selection changed in any way (the message pane is emptied on it).
    void encoderSelectionChanged();
    // A device command was chosen in the context menu (or given to OnCommand).
    void commandRequested(int id);

protected:
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void OnSelectionChanged();
    void OnHeaderClicked(int column);
    void RepaintCountdowns();
    void FitActivityColumn(const EncoderRecord* item);
    void FitSelectionColours();
    QModelIndex ShownIndex(const EncoderRecord* item, int column = 0) const;

    CEncoderModel* m_model = nullptr;
    QSortFilterProxyModel* m_proxy = nullptr;
    QTimer* m_countdownTimer = nullptr;
    MenuTracker m_trackMenu;
    EncoderRecord* m_lastCurrent = nullptr;
    QString m_filter;
    bool m_fittingPalette = false;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

// The count of records made by the frame and not yet freed, so that a check can see that
// none outlives its item.
void CountEncoderRecord(int delta);
int LiveEncoderRecords();
