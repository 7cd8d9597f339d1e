#include "CRowTreeLayout.h"

#include "CRowTree.h"
#include "CRowTreeItem.h"

#include <QFontMetrics>
#include <algorithm>
#include <utility>

void CRowTreeLayout::Clear()
{
    m_layout = RowLayout();
    m_rows.clear();
    m_first = nullptr;
    m_last = nullptr;
}

bool CRowTreeLayout::Shows(const CRowTreeItem* item) const
{
    for (const CRowTreeItem* row = m_first; row; row = row->m_nextPainted) {
        if (row == item) {
            return true;
        }
    }
    return false;
}

QRect CRowTreeLayout::Band(const CRowTreeItem* item, int width) const
{
    for (size_t i = 0; i < m_rows.size() && i < m_layout.rows.size(); ++i) {
        if (m_rows[i] != item) continue;
        const RowBoxes& boxes = m_layout.rows[i];
        QRect band(0, boxes.top, width, boxes.height);
        for (const QRect& box : {boxes.fill, boxes.label, boxes.text, boxes.highlight, boxes.value, boxes.expandBox,
                                 boxes.bottomLine, boxes.topLine, boxes.dividerLine})
            if (!box.isEmpty()) band |= QRect(0, box.top(), width, box.height());
        return band.adjusted(0, -1, 0, 1);   // the expand box's outline reaches a pixel beyond it
    }
    return QRect();
}

CRowTreeItem* CRowTreeLayout::RowAt(const QPoint& point) const
{
    const RowHit hit = HitTestLayout(m_layout, point);
    return hit.row < 0 ? nullptr : m_rows[static_cast<size_t>(hit.row)];
}

HitArea CRowTreeLayout::HitAt(const QPoint& point) const
{
    return HitTestLayout(m_layout, point).area;
}

void CRowTreeLayout::Lay(CRowTreeItem& root, const RowLayoutFrame& frame)
{
    // The rows in pre-order with their levels; the root is not a row of the layout.
    std::vector<RowShape> shapes;
    std::vector<CRowTreeItem*> rows;
    std::vector<std::pair<CRowTreeItem*, int>> pending;
    for (CRowTreeItem* heading = root.m_firstChild; heading; heading = heading->m_nextSibling) {
        pending.emplace_back(heading, 0);
    }
    std::reverse(pending.begin(), pending.end());
    while (!pending.empty()) {
        const auto [row, level] = pending.back();
        pending.pop_back();
        shapes.push_back(RowShape{level, row->m_height, row->m_firstChild != nullptr, row->m_expanded});
        rows.push_back(row);
        // Label boxes of rows the layout no longer shows stay empty.
        row->m_labelTextBox = QRect();
        row->m_nextPainted = nullptr;
        const size_t firstChild = pending.size();
        for (CRowTreeItem* child = row->m_firstChild; child; child = child->m_nextSibling) {
            pending.emplace_back(child, level + 1);
        }
        std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(firstChild), pending.end());
    }

    m_layout = LayOutRows(shapes, frame);
    m_rows.clear();
    m_first = nullptr;
    m_last = nullptr;
    for (const RowBoxes& boxes : m_layout.rows) {
        CRowTreeItem* item = rows[static_cast<size_t>(boxes.shape)];
        m_rows.push_back(item);
        if (m_last) {
            m_last->m_nextPainted = item;
        } else {
            m_first = item;
        }
        m_last = item;
        item->m_x = boxes.x;
        item->m_y = boxes.y;
        item->m_valueRect = boxes.value;
        item->m_expandBox = boxes.expandHit;
        FitLabel(item, boxes.text);
    }
}

void CRowTreeLayout::FitLabel(CRowTreeItem* item, const QRect& text)
{
    if (!item->HasShownLabel()) {
        return;
    }
    const QFont font = item->IsHeading() || item->m_labelBold ? CRowTree::BoldFont() : CRowTree::NormalFont();
    if (item->m_fittedWidth != text.width() || item->m_fittedLabel != item->m_label || item->m_fittedFont != font) {
        const QFontMetrics metrics(font);
        item->m_fittedText = TruncateLabel(item->m_label, metrics, text.width());
        // The box as drawn: from the text's left, as wide and high as the shown text.
        item->m_fittedExtent = metrics.size(Qt::TextSingleLine, item->m_fittedText);
        item->m_fittedLabel = item->m_label;
        item->m_fittedWidth = text.width();
        item->m_fittedFont = font;
    }
    item->m_labelTextBox = QRect(text.topLeft(), item->m_fittedExtent);
}
