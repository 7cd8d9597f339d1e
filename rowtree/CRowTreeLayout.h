#pragma once

#include "RowTreeGeometry.h"

#include <QPoint>
#include <QRect>
#include <vector>

class CRowTreeItem;

// Where a row tree's rows are: the rows under expanded headings in display order, each
// row's boxes for the list's client area, divider and scroll position, and each label as it
// fits its cell. Painting, hit testing and focus movement read what the last Lay stored.
class CRowTreeLayout {
public:
    // Lays out the rows under `root` (which is no row itself) and stores the result: the
    // shown-row chain (CRowTreeItem::GetNextPainted), each row's geometry and fitted label.
    void Lay(CRowTreeItem& root, const RowLayoutFrame& frame);
    // Forgets every row (they are being deleted): nothing is shown until the next Lay.
    void Clear();

    const RowLayout& Layout() const { return m_layout; }
    // The row of each laid-out row, in the layout's order.
    const std::vector<CRowTreeItem*>& Rows() const { return m_rows; }
    CRowTreeItem* First() const { return m_first; }
    CRowTreeItem* Last() const { return m_last; }
    bool Shows(const CRowTreeItem* item) const;
    // The band of a list `width` wide the row's paint covers, its grid lines included;
    // empty when the row is not laid out.
    QRect Band(const CRowTreeItem* item, int width) const;
    CRowTreeItem* RowAt(const QPoint& point) const;
    HitArea HitAt(const QPoint& point) const;

private:
    // Fits the row's label into its text cell (measured again only when the label, the
    // width or the font changed) and stores the box the drawn text will take.
    static void FitLabel(CRowTreeItem* item, const QRect& text);

    RowLayout m_layout;
    std::vector<CRowTreeItem*> m_rows;
    CRowTreeItem* m_first = nullptr;
    CRowTreeItem* m_last = nullptr;
};
