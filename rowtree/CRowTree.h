#pragma once

#include "CRowTreeInfo.h"
#include "CRowTreeItem.h"
#include "CRowTreeLayout.h"
#include "CRowTreeList.h"
#include "RowTreeGeometry.h"

#include <QWidget>
#include <functional>
#include <vector>

// Told of every finished edit: the argument is the row's command ID.
using RowCommandTarget = std::function<void(int commandId)>;

// A tree of labelled rows under headings, each setting row with an in-place editor.
// The root is invisible; its children are the headings. The control tells its parent
// nothing: editors report finished edits to the command target.
class CRowTree : public QWidget {
    Q_OBJECT
public:
    CRowTree();
    ~CRowTree() override;

    // Makes the control a child of parent over rect and shows it. Returns 1, or 0 when it
    // has no parent or was created already.
    int Create(const QRect& rect, QWidget* parent, uint32_t options, int controlId = kUnaddressedId);
    // The same with window style bits as the settings sheet passes them (0x16000000): only
    // the visible bit (0x10000000) means anything here; without it the control stays hidden.
    int Create(uint32_t style, const QRect& rect, QWidget* parent, uint32_t options, int controlId);
    static constexpr uint32_t kStyleVisible = 0x10000000;
    bool IsCreated() const { return m_created; }
    uint32_t GetOptions() const { return m_options; }
    int GetControlId() const { return m_controlId; }

    // Appends item as the last child of parent (none: a heading under the root), numbers
    // it and takes ownership. Returns item (none for none; an item inserted already is
    // returned unchanged).
    CRowTreeItem* InsertItem(CRowTreeItem* item, CRowTreeItem* parent = nullptr);
    void DeleteAllItems();
    // While held, a change to the rows lays out and repaints nothing; the release does
    // both once. Building a column of rows then costs one layout, not one per row.
    void HoldLayout(bool hold);

    void SetDividerPos(int x);
    int GetDividerPos() const { return m_dividerPos; }
    int GetScrollPos() const { return m_scrollPos; }

    CRowTreeItem* GetFocusedItem() const { return m_focused; }
    void SetFocusedItem(CRowTreeItem* item);
    CRowTreeItem* FocusFirst();
    CRowTreeItem* FocusLast();
    CRowTreeItem* FocusPrev();
    CRowTreeItem* FocusNext();
    void SelectAll(bool select);

    // Points are in row-list client coordinates.
    CRowTreeItem* ItemAt(const QPoint& point) const;
    HitArea HitTest(const QPoint& point) const;
    void EnsureVisible(CRowTreeItem* item);
    // Over the rows under expanded parents (headings excluded), the label text box that
    // reaches furthest right; empty when there is none.
    QRect WidestLabel() const;
    // Puts every editor back on its cell after a resize or a divider move.
    void UpdateResize();
    // Scroll range update, then repaint.
    void Refresh();
    // Lays the rows out again and schedules a repaint.
    void Repaint();

    // Sum of the subtree heights of the headings.
    int ContentHeight() const;
    CRowTreeItem* GetRootItem() { return &m_root; }
    const CRowTreeItem* GetRootItem() const { return &m_root; }
    // The rows in display order as the last layout met them.
    CRowTreeItem* GetFirstPainted() const { return m_rows.First(); }
    bool IsPainted(const CRowTreeItem* item) const;
    // The band of the list the row's paint covers, its grid lines included; empty when
    // the row is not laid out in this tree.
    QRect RowBand(const CRowTreeItem* item) const;
    // Repaints the row's band of the list only (the whole list when it is not laid out):
    // a value that changed touches nothing else.
    void RepaintRow(const CRowTreeItem* item);
    // Pre-order walk of start and its descendants (every row when none), collapsed rows
    // included.
    void WalkTree(const std::function<void(CRowTreeItem*)>& visit, CRowTreeItem* start = nullptr);

    CRowTreeList* GetList() const { return m_list; }
    CRowTreeInfo* GetInfo() const { return m_info; }

    // One target per tree, told synchronously. An editor still open when its window goes
    // reports its edit while the window is taken down: a target that dies first clears
    // itself here (SetCommandTarget(nullptr)).
    void SetCommandTarget(RowCommandTarget target) { m_commandTarget = std::move(target); }
    void SendCommand(int commandId) const;

    // The fonts every row tree of the program shares.
    static QFont NormalFont();
    static QFont BoldFont();
    static int LiveControls();

    // Lays the rows out (CRowTreeLayout over the tree's rows, expansion, widths, divider and
    // scroll) and stores the result: the shown-row chain, each row's geometry and the label
    // as it fits its cell. Painting, hit testing and focus movement read what it stored.
    void LayoutRows();
    const RowLayout& Layout() const { return m_rows.Layout(); }
    // The row of each laid-out row, in the layout's order.
    const std::vector<CRowTreeItem*>& LaidOutRows() const { return m_rows.Rows(); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    friend class CRowTreeList;
    friend class CRowTreeItem;

    void LayoutChildren();
    // A hidden control is resized without a resize event; the operations that depend on
    // the list's size catch up with such a resize first.
    void SyncGeometry();
    void HideFocusIfHidden();
    int SubtreeHeight(const CRowTreeItem* item) const;
    void DeleteSubtree(CRowTreeItem* item);

    uint32_t m_options = 0;
    CRowTreeItem m_root;
    CRowTreeItem* m_focused = nullptr;
    int m_dividerPos = RowTreeMetrics::kDividerDefault;
    int m_scrollPos = 0;
    int m_sequence = 0;
    CRowTreeList* m_list = nullptr;
    CRowTreeInfo* m_info = nullptr;
    bool m_created = false;
    int m_controlId = kUnaddressedId;
    RowCommandTarget m_commandTarget;
    QSize m_laidOutSize{-1, -1};
    bool m_deleting = false;
    bool m_layoutHeld = false;
    bool m_layoutPending = false;
    CRowTreeLayout m_rows;
};
