#include "CPaneSplitter.h"

#include "CDragBar.h"

#include <QFrame>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cstdint>

CPaneSplitter::CPaneSplitter(int paneCount, int orientation, int minimumSize, int barWidth)
    : m_paneCount(std::max(paneCount, 2)), m_orientation(orientation), m_minimum(std::max(minimumSize, 0)),
      m_barWidth(std::max(barWidth, 0)), m_panes(m_paneCount), m_proportions(m_paneCount),
      m_positions(m_paneCount + 1, 0)
{
    const int n = m_paneCount;
    int sum = 0;
    for (int i = 0; i < n - 1; ++i) {
        m_proportions[i] = (n / 2 + kShareUnit) / n;
        sum += m_proportions[i];
    }
    m_proportions[n - 1] = kShareUnit - sum;
    setCursor(IsSideBySide() ? Qt::SplitHCursor : Qt::SplitVCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    // The bar lies above the panes, so it is a window of its own rather than part of the
    // splitter's paint under them.
    m_dragBar = new CDragBar(this);
    resize(0, 0);
}

CPaneSplitter::~CPaneSplitter() = default;

int CPaneSplitter::Create(QWidget* parent, int childId)
{
    if (!parent) {
        return 0;
    }
    m_childId = childId;
    setParent(parent);
    // The splitter draws the panes' borders itself; a sunken frame on the parent would
    // double them.
    if (auto* frame = qobject_cast<QFrame*>(parent)) {
        frame->setFrameShape(QFrame::NoFrame);
    }
    setGeometry(parent->contentsRect());
    show();
    return 1;
}

int CPaneSplitter::Extent() const
{
    return IsSideBySide() ? width() : height();
}

int CPaneSplitter::AvailableLength() const
{
    return Extent() - (m_paneCount - 1) * m_barWidth;
}

int CPaneSplitter::AxisCoordinate(const QPoint& p) const
{
    return IsSideBySide() ? p.x() : p.y();
}

// Shares and lengths multiply past 32 bits on wide screens, so the products are 64-bit.
int CPaneSplitter::ShareSize(int share, int available) const
{
    return static_cast<int>((static_cast<int64_t>(share) * available + kShareUnit / 2) / kShareUnit);
}

static int ShareOf(int64_t length, int available)
{
    return static_cast<int>((length * CPaneSplitter::kShareUnit + available / 2) / available);
}

void CPaneSplitter::SetProportions(const std::vector<int>& weights)
{
    if (static_cast<int>(weights.size()) < m_paneCount) {
        return;
    }
    int64_t sum = 0;
    for (int i = 0; i < m_paneCount; ++i) {
        sum += std::max(weights[i], 0);
    }
    if (sum <= 0) {
        return;
    }
    int used = 0;
    for (int i = 0; i < m_paneCount - 1; ++i) {
        m_proportions[i] =
            static_cast<int>((sum / 2 + static_cast<int64_t>(std::max(weights[i], 0)) * kShareUnit) / sum);
        used += m_proportions[i];
    }
    m_proportions[m_paneCount - 1] = kShareUnit - used;
    RecalcLayout();
    MovePanes();
}

void CPaneSplitter::SyncExtent() const
{
    if (size() != m_laidOutSize) {
        auto* self = const_cast<CPaneSplitter*>(this);
        self->RecalcLayout();
        self->MovePanes();
    }
}

void CPaneSplitter::SetProportions(const int* weights)
{
    if (weights) {
        SetProportions(std::vector<int>(weights, weights + m_paneCount));
    }
}

void CPaneSplitter::RecalcLayout()
{
    m_laidOutSize = size();
    const int n = m_paneCount;
    const int m = m_minimum;
    const int a = AvailableLength();
    std::vector<int>& p = m_proportions;

    // With nothing to share (a window shrunk to its bars) every pane is empty, but the
    // shares stay as they are so that the panes come back in their ratio.
    if (a <= 0) {
        for (int i = 0; i <= n; ++i) {
            m_positions[i] = std::max(i * m_barWidth + std::min(a, 0), 0);
        }
        return;
    }

    // Each round lifts the panes that fell under the minimum and lets the others share
    // what is left in their previous ratio; that can push another pane under the minimum,
    // hence the rounds. The cap only guards against rounding ping-pong on huge extents.
    for (int round = 0; round < 64; ++round) {
        int f = kShareUnit;
        int g = kShareUnit;
        bool changed = false;
        for (int i = 0; i < n; ++i) {
            const int size = ShareSize(p[i], a);
            if (size <= m) {
                g -= p[i];
                if (size < m) {
                    p[i] = m > a ? kShareUnit : ShareOf(m, a);
                    changed = true;
                }
                f -= p[i];
            }
        }
        if (f <= 0) {
            // The minimum sizes do not fit: each pane gets the minimum while shares last.
            int remaining = kShareUnit;
            for (int i = 0; i < n; ++i) {
                p[i] = a == 0 ? 0 : std::min(ShareOf(m, a), remaining);
                remaining -= p[i];
            }
            break;
        }
        if (f != kShareUnit && g > 0) {
            for (int i = 0; i < n; ++i) {
                if (ShareSize(p[i], a) != m) {
                    p[i] = static_cast<int>((static_cast<int64_t>(p[i]) * f + g / 2) / g);
                }
            }
        }
        if (!changed) {
            break;
        }
    }

    m_positions[0] = 0;
    for (int i = 0; i < n - 1; ++i) {
        m_positions[i + 1] = m_positions[i] + ShareSize(p[i], a) + m_barWidth;
    }
    m_positions[n] = a + n * m_barWidth;
}

QWidget* CPaneSplitter::Pane(int index) const
{
    return index >= 0 && index < m_paneCount ? m_panes[index].data() : nullptr;
}

int CPaneSplitter::Proportion(int index) const
{
    SyncExtent();
    return index >= 0 && index < m_paneCount ? m_proportions[index] : 0;
}

const std::vector<int>& CPaneSplitter::Proportions() const
{
    SyncExtent();
    return m_proportions;
}

int CPaneSplitter::Position(int index) const
{
    SyncExtent();
    return index >= 0 && index <= m_paneCount ? m_positions[index] : 0;
}

QRect CPaneSplitter::PaneRect(int index) const
{
    SyncExtent();
    if (index < 0 || index >= m_paneCount) {
        return QRect();
    }
    const int start = m_positions[index];
    const int length = std::max(m_positions[index + 1] - m_barWidth - start, 0);
    return IsSideBySide() ? QRect(start, 0, length, height()) : QRect(0, start, width(), length);
}

QRect CPaneSplitter::BarRect(int boundary) const
{
    SyncExtent();
    if (boundary < 1 || boundary >= m_paneCount) {
        return QRect();
    }
    const int start = m_positions[boundary] - m_barWidth;
    return IsSideBySide() ? QRect(start, 0, m_barWidth, height()) : QRect(0, start, width(), m_barWidth);
}

void CPaneSplitter::MovePanes()
{
    if (size() != m_laidOutSize) {
        RecalcLayout();
    }
    for (int i = 0; i < m_paneCount; ++i) {
        if (QWidget* pane = m_panes[i]) {
            pane->setGeometry(PaneRect(i));
        }
    }
    update();
}

int CPaneSplitter::CreatePane(int index, QWidget* pane)
{
    if (index < 0 || index >= m_paneCount || !pane) {
        return 0;
    }
    m_panes[index] = pane;
    if (pane->parentWidget() != this) {
        pane->setParent(this);
    }
    pane->setGeometry(PaneRect(index));
    pane->show();
    m_dragBar->raise();
    return 1;
}

int CPaneSplitter::SetPane(int index, QWidget* pane)
{
    if (index < 0 || index >= m_paneCount || !pane || pane->parentWidget() != this) {
        return 0;
    }
    m_panes[index] = pane;
    pane->setGeometry(PaneRect(index));
    m_dragBar->raise();
    return 1;
}

void CPaneSplitter::SetPaneFocus(int index)
{
    if (QWidget* pane = Pane(index)) {
        pane->setFocus(Qt::OtherFocusReason);
    }
}

void CPaneSplitter::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    RecalcLayout();
    MovePanes();
}

void CPaneSplitter::paintEvent(QPaintEvent* event)
{
    // The bars, and whatever a pane leaves unpainted (or no pane covers yet), show the
    // button face.
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Button));
}

void CPaneSplitter::ShowDragBar()
{
    const int b = std::max(m_barWidth, 1);
    if (IsSideBySide()) {
        m_dragBar->ShowAt(QRect(m_dragPos - m_barWidth, 0, b, m_dragLength));
    } else {
        m_dragBar->ShowAt(QRect(0, m_dragPos - m_barWidth, m_dragLength, b));
    }
}

void CPaneSplitter::HideDragBar()
{
    m_dragBar->hide();
}

void CPaneSplitter::mousePressEvent(QMouseEvent* event)
{
    SyncExtent();
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // With no length to share, a drag would have nothing to divide: it is ignored.
    if (AvailableLength() <= 0) {
        return;
    }
    const int c = AxisCoordinate(event->position().toPoint());
    int k = 1;
    while (k < m_paneCount - 1 && m_positions[k] < c) {
        ++k;
    }
    m_dragIndex = k;
    m_dragPos = m_positions[k];
    m_dragOffset = c - m_positions[k];
    m_dragLength = IsSideBySide() ? height() : width();
    m_dragging = true;
    ShowDragBar();
}

void CPaneSplitter::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const int k = m_dragIndex;
    int pos = AxisCoordinate(event->position().toPoint()) - m_dragOffset;
    const int upper = m_positions[k + 1] - m_minimum - m_barWidth;
    const int lower = m_positions[k - 1] + m_minimum + m_barWidth;
    if (pos > upper) {
        pos = upper;
    } else if (pos < lower) {
        pos = lower;
    }
    m_dragPos = pos;
    ShowDragBar();
}

void CPaneSplitter::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    HideDragBar();
    const int a = AvailableLength();
    if (a <= 0) {
        return;
    }
    const int k = m_dragIndex;
    m_positions[k] = m_dragPos;
    m_proportions[k - 1] = ShareOf(m_positions[k] - m_positions[k - 1] - m_barWidth, a);
    m_proportions[k] = ShareOf(m_positions[k + 1] - m_positions[k] - m_barWidth, a);
    MovePanes();
}
