#pragma once
// The left pane: one item per encoder, labelled with its dotted address. Each item owns
// its encoder's EncoderRecord; the selected item is the current encoder for every device
// command, the sheet and the message pane. Its context menu carries the device commands.

#include <QTreeWidget>

#include "EncoderRecord.h"

class CMainFrame;
class QMenu;

class CDeviceTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit CDeviceTree(CMainFrame& frame, QWidget* parent = nullptr);
    ~CDeviceTree() override;   // frees every record still listed

    // The device commands; true when `id` was one of the seven.
    bool OnCommand(int id);

    // The selected item, or null. Only a selected item counts: Qt's current item without
    // a selection (after the tree merely got the focus) is no encoder choice.
    QTreeWidgetItem* SelectedItem() const;
    void SelectNone();

    // The item's record: created with the item, freed with it.
    static EncoderRecord* ItemRecord(const QTreeWidgetItem* item);
    QTreeWidgetItem* InsertEncoderItem(const QString& text, EncoderRecord* record);
    void RemoveEncoderItem(QTreeWidgetItem* item);

    // IMAGE_ONLINE or IMAGE_OFFLINE, for the normal and the selected state alike.
    void SetItemImage(QTreeWidgetItem* item, int image);
    static int ItemImage(const QTreeWidgetItem* item);

    // The context menu as it is shown now: the five encoder commands are enabled only
    // while an item is selected. Action data holds the command id.
    void FillContextMenu(QMenu& menu) const;

protected:
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void OnSelectionChanged();
    void OnSearchEncoder();
    void OnAddEncoder();
    void OnReadConfiguration();
    void OnWriteConfiguration();
    bool PassStatusGate(QTreeWidgetItem* item, const EncoderRecord& record, bool markOnline);
    void ShowWarning(const char* text);

    CMainFrame& m_frame;
};

// An encoder's record, zero-filled, and its release; LiveEncoderRecords counts those not
// yet released, so that a check can see that none outlives its item.
EncoderRecord* NewEncoderRecord();
void FreeEncoderRecord(EncoderRecord* record);
int LiveEncoderRecords();
