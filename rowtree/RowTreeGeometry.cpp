#include "RowTreeGeometry.h"

#include <QFontMetrics>
#include <algorithm>
#include <climits>

int ClampDivider(int x, int clientWidth, bool clientAreaEmpty)
{
    using namespace RowTreeMetrics;
    const int atLeastEdge = std::max(x, kDividerEdge);
    if (clientAreaEmpty) {
        return atLeastEdge;
    }
    return atLeastEdge >= clientWidth - kDividerEdge ? clientWidth - kDividerEdge : atLeastEdge;
}

namespace {

RowBoxes LayOutRow(const RowShape& shape, const RowLayoutFrame& frame, int y)
{
    using namespace RowTreeMetrics;
    const int d = frame.divider;
    const int w = frame.clientWidth;
    const int h = shape.height;
    const int t = y - frame.scroll;

    RowBoxes row;
    // Headings and their children share the first indent; each deeper level moves right.
    row.x = std::max(shape.level - 1, 0) * kIndent;
    row.y = y;
    row.top = t;
    row.height = h;
    row.heading = shape.level == 0;
    row.value = RectFromEdges(d + kValueGap, t, w, t + h - kLineWidth);
    row.label = row.heading ? RectFromEdges(row.x + kMargin, t, w, t + h) : RectFromEdges(row.x + kMargin, t, d, t + h);
    row.text = row.label.adjusted(kLabelInset, 0, 0, 0);
    row.highlight = RectFromEdges(kMargin, t, RightEdge(row.label) + kLabelInset, t + h);
    row.fill = row.heading ? RectFromEdges(kMargin, t, kMargin + w + kHeadingOverhang, t + h)
                           : RectFromEdges(d, t, w - kEdgeInset, t + h - kLineWidth);
    if (shape.hasChildren) {
        row.expandHit = QRect(kExpandBoxLeft, y + kExpandBoxTop, kExpandBoxHit, kExpandBoxHit);
        row.expandBox = QRect(kExpandBoxLeft, t + kExpandBoxTop, kExpandBoxDrawn, kExpandBoxDrawn);
        const int left = row.expandBox.left();
        const int top = row.expandBox.top();
        const int last = kExpandBoxDrawn - 1;
        const int middle = kExpandBoxDrawn / 2;
        row.minus = QLine(left + kExpandSignInset, top + middle, left + last - kExpandSignInset, top + middle);
        if (!shape.expanded) {
            row.plus = QLine(left + middle, top + kExpandSignInset, left + middle, top + last - kExpandSignInset);
        }
    }
    row.bottomLine = QRect(kMargin, t + h - kLineWidth, w, kLineWidth);
    if (row.heading) {
        row.topLine = QRect(kMargin, t - kLineWidth, w, kLineWidth);
    } else {
        row.dividerLine = QRect(d, t, kLineWidth, h);
    }
    return row;
}

}   // namespace

RowLayout LayOutRows(const std::vector<RowShape>& shapes, const RowLayoutFrame& frame)
{
    RowLayout layout;
    layout.frame = frame;
    layout.marginLine = QRect(RowTreeMetrics::kMargin, 0, RowTreeMetrics::kLineWidth, frame.clientHeight);
    // Rows deeper than a collapsed row are not shown, until the walk comes back up to its level.
    int collapsedLevel = INT_MAX;
    int y = 0;
    for (size_t i = 0; i < shapes.size(); ++i) {
        const RowShape& shape = shapes[i];
        if (shape.level > collapsedLevel) {
            continue;
        }
        collapsedLevel = shape.expanded ? INT_MAX : shape.level;
        RowBoxes row = LayOutRow(shape, frame, y);
        row.shape = static_cast<int>(i);
        y += shape.height;
        layout.rows.push_back(row);
    }
    layout.contentHeight = y;
    return layout;
}

RowHit HitTestLayout(const RowLayout& layout, const QPoint& point)
{
    using namespace RowTreeMetrics;
    RowHit hit;
    const int y = point.y() + layout.frame.scroll;
    for (size_t i = 0; i < layout.rows.size(); ++i) {
        const RowBoxes& row = layout.rows[i];
        if (row.y <= y && y < row.y + row.height) {
            hit.row = static_cast<int>(i);
            break;
        }
    }
    if (hit.row < 0) {
        return hit;
    }
    const RowBoxes& row = layout.rows[static_cast<size_t>(hit.row)];
    const int d = layout.frame.divider;
    if (!row.heading && d - kGrabZone <= point.x() && point.x() <= d + kGrabZone) {
        hit.area = HitDivider;
    } else if (point.x() > d + kGrabZone) {
        hit.area = HitValue;
    } else if (row.expandHit.contains(QPoint(point.x(), y))) {
        hit.area = HitExpandBox;
    } else {
        hit.area = HitLabel;
    }
    return hit;
}

QString TruncateLabel(const QString& label, const QFontMetrics& metrics, int availableWidth)
{
    constexpr int kReserve = RowTreeMetrics::kLabelReserve;
    if (metrics.horizontalAdvance(label) + kReserve <= availableWidth) {
        return label;
    }
    const QString ellipsis = QStringLiteral("...");
    const int ellipsisWidth = metrics.horizontalAdvance(ellipsis);
    int n = static_cast<int>(label.size()) - 1;
    for (; n > 1; --n) {
        if (metrics.horizontalAdvance(label.left(n)) + ellipsisWidth + kReserve <= availableWidth) {
            break;
        }
    }
    // However narrow the cell, the first character stays so that rows remain told apart.
    n = std::max(n, 1);
    return label.left(n) + ellipsis;
}
