#include "RowTreeGeometry.h"

#include <QFontMetrics>
#include <algorithm>

int ClampDivider(int x, int clientWidth, bool clientAreaEmpty)
{
    using namespace RowTreeMetrics;
    const int atLeastEdge = std::max(x, kDividerEdge);
    if (clientAreaEmpty) {
        return atLeastEdge;
    }
    return atLeastEdge >= clientWidth - kDividerEdge ? clientWidth - kDividerEdge : atLeastEdge;
}

QString TruncateLabel(const QString& label, const QFontMetrics& metrics, int availableWidth)
{
    constexpr int kReserve = 1;
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
