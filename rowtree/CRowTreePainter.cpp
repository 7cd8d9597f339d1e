#include "CRowTreePainter.h"

#include "CDragBar.h"
#include "CRowTree.h"
#include "CRowTreeItem.h"
#include "RowTreeColors.h"

#include <QPainter>

using namespace RowTreeMetrics;

void CRowTreePainter::Paint(QPainter& painter, const RowLayout& layout, const std::vector<CRowTreeItem*>& rows,
                            const QRect& exposed, bool dragging, int dragPos) const
{
    const bool enabled = m_tree.isEnabled();
    const QRect client = m_client;
    const QColor face = SystemColor(QPalette::Button);
    const QColor window = SystemColor(QPalette::Base);
    // Only what was exposed is filled and drawn: a refresh that changed one row's value
    // costs that row's band, not the whole list.
    painter.fillRect(client & exposed, face);
    painter.fillRect(client.adjusted(kEdgeInset, kEdgeInset, -kEdgeInset, -kEdgeInset) & exposed,
                     enabled ? window : face);
    const QColor marginColor = (!(m_tree.GetOptions() & RTS_SHADEMARGIN) && enabled) ? window : face;
    painter.fillRect(RectFromEdges(0, 0, kMargin, client.height()) & exposed, marginColor);
    // The margin's brush also fills the expand boxes.
    painter.setBrush(marginColor);

    for (size_t i = 0; i < layout.rows.size(); ++i) {
        const RowBoxes& boxes = layout.rows[i];
        QRect extent(0, boxes.top, client.width(), boxes.height);
        for (const QRect& box : {boxes.fill, boxes.label, boxes.text, boxes.highlight, boxes.value, boxes.expandBox,
                                 boxes.bottomLine, boxes.topLine, boxes.dividerLine})
            if (!box.isEmpty()) extent |= box;
        if (!extent.adjusted(0, -1, 0, 1).intersects(exposed)) continue;
        PaintRow(painter, boxes, rows[i]);
    }

    const QColor shadow = SystemColor(QPalette::Dark);
    painter.fillRect(layout.marginLine, shadow);
    // A sunken outer edge: shadow on the top and left, highlight on the bottom and right.
    const QColor light = SystemColor(QPalette::Light);
    painter.fillRect(0, 0, client.width(), kLineWidth, shadow);
    painter.fillRect(0, 0, kLineWidth, client.height(), shadow);
    painter.fillRect(0, client.height() - kLineWidth, client.width(), kLineWidth, light);
    painter.fillRect(client.width() - kLineWidth, 0, kLineWidth, client.height(), light);

    if (dragging) {
        PaintDragBar(painter, QRect(dragPos - kDragBarWidth / 2, 0, kDragBarWidth, client.height()),
                     DragBarStyle::Inverting);
    }
}

QColor CRowTreePainter::LabelTextColor(const CRowTreeItem* item, bool heading, QColor* back) const
{
    QColor under = item->m_labelBackColor;
    if (heading) {
        const bool ownColour = (m_tree.GetOptions() & RTS_HEADINGCOLORS) != 0;
        under = ownColour ? item->m_headingColor : SystemColor(QPalette::Midlight);
    }
    if (back) *back = under;
    QColor color = item->m_labelTextColor;
    if (item->m_selected) {
        color = SystemColor(QPalette::Light);
        under = SystemColor(QPalette::Highlight);
    }
    if (!m_tree.isEnabled()) {
        color = SystemColor(QPalette::Text, false);
    }
    return ReadableOn(color, under);
}

void CRowTreePainter::PaintRow(QPainter& painter, const RowBoxes& boxes, CRowTreeItem* item) const
{
    const bool enabled = m_tree.isEnabled();
    const QColor shadow = SystemColor(QPalette::Dark);

    QColor labelBack;
    const QColor labelText = LabelTextColor(item, boxes.heading, &labelBack);
    if (boxes.heading) {
        painter.fillRect(boxes.fill, labelBack);
    } else {
        painter.fillRect(boxes.fill, item->m_valueBackColor);
    }

    if (!boxes.expandBox.isEmpty()) {
        painter.save();
        painter.setPen(SystemColor(QPalette::WindowText, enabled));
        painter.fillRect(boxes.expandBox, painter.brush());
        // A one-pixel pen outlines one pixel beyond the rectangle's right and bottom.
        painter.drawRect(boxes.expandBox.adjusted(0, 0, -kLineWidth, -kLineWidth));
        painter.drawLine(boxes.minus);
        if (!boxes.plus.isNull()) {
            painter.drawLine(boxes.plus);
        }
        painter.restore();
    }

    // A heading's selection spans its whole width; a lower row's stays inside its label cell.
    painter.save();
    if (!boxes.heading) {
        painter.setClipRect(boxes.label);
        painter.fillRect(boxes.label, item->m_labelBackColor);
        if (item->m_stripeColor.isValid()) {
            painter.fillRect(QRect(boxes.label.left(), boxes.label.top(), kStripeWidth, boxes.label.height()),
                             item->m_stripeColor);
        }
    }
    if (item->HasShownLabel()) {
        if (item->m_selected) {
            painter.fillRect(boxes.highlight, SystemColor(QPalette::Highlight));
        }
        const QColor color = labelText;
        painter.setFont(boxes.heading || item->m_labelBold ? CRowTree::BoldFont() : CRowTree::NormalFont());
        painter.setPen(color);
        painter.drawText(boxes.text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, item->m_fittedText);
    }
    painter.restore();

    painter.fillRect(boxes.bottomLine, shadow);
    if (boxes.heading) {
        painter.fillRect(boxes.topLine, shadow);
    } else {
        painter.fillRect(boxes.dividerLine, shadow);
        painter.save();
        painter.setClipRect(boxes.value);
        item->OnDrawValue(painter, boxes.value);
        painter.restore();
    }
}
