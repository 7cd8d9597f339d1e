#pragma once

#include "CRowTreeItem.h"
#include "RowTreeGeometry.h"

#include <QFrame>
#include <QWidget>
#include <functional>

class CRowTree;
class QScrollBar;

// Told of every finished edit: the argument is the row's command ID.
using RowCommandTarget = std::function<void(int commandId)>;

// The part of a CRowTree that shows the rows, owns the vertical scroll bar and takes the
// mouse and keyboard; the editors of the rows are its children.
class CRowTreeList : public QWidget {
    Q_OBJECT
public:
    static constexpr int kChildId = 30000;

    explicit CRowTreeList(CRowTree* owner);
    ~CRowTreeList() override;

    CRowTree* Owner() const { return m_owner; }
    // The area the rows are drawn in: the widget less the scroll bar when it shows.
    QRect ClientRect() const;
    // Sets the scroll range from the content height (resetting the position to 0 when
    // everything fits) and re-clamps the divider.
    void UpdateScrollBars();
    // Takes the keyboard focus (an open editor commits), then moves the content.
    void ScrollTo(RowScroll request, int position = 0);
    QScrollBar* VerticalScrollBar() const { return m_scrollBar; }
    bool IsDragging() const { return m_dragging; }
    int DragPosition() const { return m_dragPos; }
    // The cursor the list shows over point (the divider, hand or arrow cursor).
    Qt::CursorShape CursorShapeAt(const QPoint& point) const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    friend class CRowTree;
    // What a new size of the list brings about: scroll range, editors, repaint.
    void ClientResized();
    void LayoutScrollBar();
    void ToggleExpanded(CRowTreeItem* item);
    void AutoSizeDivider();

    CRowTree* m_owner;
    bool m_dragging = false;
    int m_dragPos = 0;
    QScrollBar* m_scrollBar = nullptr;
    bool m_layingOut = false;
};

// The optional description pane below the rows.
class CRowTreeInfo : public QFrame {
    Q_OBJECT
public:
    static constexpr int kChildId = 0xFFFF;
    explicit CRowTreeInfo(CRowTree* owner);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CRowTree* m_owner;
};

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
    int Create(const QRect& rect, QWidget* parent, uint32_t options, int controlId = 0xFFFF);
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
    CRowTreeItem* GetFirstPainted() const { return m_firstPainted; }
    bool IsPainted(const CRowTreeItem* item) const;
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

    // Lays out rows (chain, geometry, label boxes) without painting, as every paint does.
    void LayoutRows();

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
    // Lays out (and, given a painter, draws) every row reachable through expanded rows.
    void PaintRows(QPainter* painter);
    // One row and its expanded children at indent x and content top y; answers the height.
    int PaintRow(QPainter* painter, const QSize& client, CRowTreeItem* item, int x, int y);
    void Paint(QPainter& painter);
    void SetScrollPos(int pos) { m_scrollPos = pos; }

    uint32_t m_options = 0;
    CRowTreeItem m_root;
    CRowTreeItem* m_firstPainted = nullptr;
    CRowTreeItem* m_lastPainted = nullptr;
    CRowTreeItem* m_focused = nullptr;
    int m_dividerPos = RowTreeMetrics::kDividerDefault;
    int m_scrollPos = 0;
    int m_sequence = 0;
    CRowTreeList* m_list = nullptr;
    CRowTreeInfo* m_info = nullptr;
    bool m_created = false;
    int m_controlId = 0xFFFF;
    RowCommandTarget m_commandTarget;
    QSize m_laidOutSize{-1, -1};
    bool m_deleting = false;
};
