#pragma once

#include "RowTreeGeometry.h"

#include <QWidget>

class CRowTree;
class CRowTreeItem;
class QScrollBar;

// The part of a CRowTree that shows the rows, owns the vertical scroll bar and takes the
// mouse and keyboard; the editors of the rows are its children. It has what the tree's row
// layout says painted (CRowTreePainter) and asks the tree's hit test what lies under the
// mouse.
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
    // A row's label colours as painted: the text's, made readable on `back` (a heading's
    // fill, the selection, or the label cell).
    QColor LabelTextColor(const CRowTreeItem* item, bool heading, QColor* back = nullptr) const;

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
