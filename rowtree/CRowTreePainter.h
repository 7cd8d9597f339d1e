#pragma once

#include "RowTreeGeometry.h"

#include <QColor>
#include <QRect>

class CRowTree;
class CRowTreeItem;
class QPainter;

// Draws a row tree's list as its row layout says: the frame, the margin, each row's fill,
// expand box, label and value cell. It reads the rows and the tree's options and state and
// changes neither; the list decides when and what part is painted.
class CRowTreePainter {
public:
    // `client` is the list's area the rows are drawn in (less its scroll bar).
    CRowTreePainter(const CRowTree& tree, const QRect& client) : m_tree(tree), m_client(client) {}

    // Draws the frame, every laid-out row that meets `exposed` and, while the divider is
    // dragged, the drag bar at `dragPos`.
    void Paint(QPainter& painter, const RowLayout& layout, const std::vector<CRowTreeItem*>& rows, const QRect& exposed,
               bool dragging, int dragPos) const;
    // A row's label colours as painted: the text's, made readable on `back` (a heading's
    // fill, the selection, or the label cell).
    QColor LabelTextColor(const CRowTreeItem* item, bool heading, QColor* back = nullptr) const;

private:
    void PaintRow(QPainter& painter, const RowBoxes& boxes, CRowTreeItem* item) const;

    const CRowTree& m_tree;
    QRect m_client;
};
