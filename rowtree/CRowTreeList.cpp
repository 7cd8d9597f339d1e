#include "CRowTreeList.h"

#include "CDragBar.h"
#include "CRowTree.h"
#include "CRowTreeItem.h"
#include "CRowTreePainter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

using namespace RowTreeMetrics;

CRowTreeList::CRowTreeList(CRowTree* owner) : QWidget(owner), m_owner(owner)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    m_scrollBar = new QScrollBar(Qt::Vertical, this);
    m_scrollBar->setTracking(false);
    m_scrollBar->setFocusPolicy(Qt::NoFocus);
    m_scrollBar->setSingleStep(kLineScroll);
    m_scrollBar->setRange(0, 0);
    m_scrollBar->hide();
    connect(m_scrollBar, &QScrollBar::actionTriggered, this, [this](int action) {
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            ScrollTo(RowScroll::LineDown);
            break;
        case QAbstractSlider::SliderSingleStepSub:
            ScrollTo(RowScroll::LineUp);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            ScrollTo(RowScroll::PageDown);
            break;
        case QAbstractSlider::SliderPageStepSub:
            ScrollTo(RowScroll::PageUp);
            break;
        case QAbstractSlider::SliderToMinimum:
        case QAbstractSlider::SliderToMaximum:
            ScrollTo(RowScroll::ThumbPosition, m_scrollBar->sliderPosition());
            break;
        default:
            return;   // a thumb drag: the rows wait for the release
        }
        m_scrollBar->setSliderPosition(m_owner->m_scrollPos);
    });
    // With tracking off the value changes when the dragged thumb is let go.
    connect(m_scrollBar, &QScrollBar::valueChanged, this, [this](int value) {
        if (value != m_owner->m_scrollPos) {
            ScrollTo(RowScroll::ThumbPosition, value);
        }
    });
}

CRowTreeList::~CRowTreeList() = default;

QRect CRowTreeList::ClientRect() const
{
    const int bar = m_scrollBar->isVisibleTo(this) ? m_scrollBar->sizeHint().width() : 0;
    return QRect(0, 0, std::max(width() - bar, 0), height());
}

void CRowTreeList::LayoutScrollBar()
{
    const int bar = m_scrollBar->sizeHint().width();
    m_scrollBar->setGeometry(width() - bar, 0, bar, height());
}

void CRowTreeList::ClientResized()
{
    LayoutScrollBar();
    UpdateScrollBars();
    m_owner->UpdateResize();
    m_owner->Repaint();
}

void CRowTreeList::UpdateScrollBars()
{
    m_owner->SyncGeometry();
    const int content = m_owner->ContentHeight();
    const int page = ClientRect().height() + 1;
    if (page > content) {
        m_owner->m_scrollPos = 0;
    }
    const bool wasShown = m_scrollBar->isVisibleTo(this);
    const bool show = page <= content;
    {
        const QSignalBlocker blocker(m_scrollBar);
        m_scrollBar->setRange(0, std::max(content - page, 0));
        m_scrollBar->setPageStep(page);
        m_scrollBar->setValue(m_owner->m_scrollPos);
    }
    if (show != wasShown && !m_layingOut) {
        // The bar takes width from the rows: the list lays out again for its new client
        // area (the bar's need depends on the height only, so this settles at once).
        m_layingOut = true;
        m_scrollBar->setVisible(show);
        ClientResized();
        m_layingOut = false;
    }
    m_owner->SetDividerPos(m_owner->GetDividerPos());
}

void CRowTreeList::ScrollTo(RowScroll request, int position)
{
    setFocus(Qt::OtherFocusReason);
    const int page = ClientRect().height() + 1;
    const int maximum = m_owner->ContentHeight();
    int p = m_owner->m_scrollPos;
    switch (request) {
    case RowScroll::LineUp:
        p -= kLineScroll;
        break;
    case RowScroll::LineDown:
        p += kLineScroll;
        break;
    case RowScroll::PageUp:
        p -= page;
        break;
    case RowScroll::PageDown:
        p += page;
        break;
    case RowScroll::ThumbPosition:
        p = position;
        break;
    case RowScroll::ThumbTrack:
        break;
    }
    p = std::max(p, 0);
    if (p >= maximum - page) {
        p = maximum - page;
    }
    // Content shorter than the list would otherwise give a negative offset and draw the
    // rows below the top edge.
    p = std::max(p, 0);
    const bool moved = p != m_owner->m_scrollPos;
    m_owner->m_scrollPos = p;
    {
        const QSignalBlocker blocker(m_scrollBar);
        m_scrollBar->setValue(p);
    }
    m_owner->Repaint();
    if (moved) {
        // Editors left open (the IP editor while the focus is elsewhere) follow their rows.
        m_owner->UpdateResize();
    }
}

Qt::CursorShape CRowTreeList::CursorShapeAt(const QPoint& point) const
{
    if (!ClientRect().contains(point)) {
        return Qt::ArrowCursor;
    }
    switch (m_owner->HitTest(point)) {
    case HitDivider:
        return Qt::SplitHCursor;
    case HitExpandBox:
        return Qt::PointingHandCursor;
    default:
        return Qt::ArrowCursor;
    }
}

bool CRowTreeList::event(QEvent* event)
{
    // Tab and Shift+Tab move between rows instead of leaving the control.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QWidget::event(event);
}

void CRowTreeList::paintEvent(QPaintEvent* event)
{
    // Rows may have changed since the last layout without asking for one (Expand does not
    // repaint), so the paint lays them out before it draws what the layout says.
    m_owner->LayoutRows();
    QPainter painter(this);
    const QRect exposed = ClientRect() & event->rect();
    painter.setClipRect(exposed);
    CRowTreePainter(*m_owner, ClientRect())
        .Paint(painter, m_owner->Layout(), m_owner->LaidOutRows(), exposed, m_dragging, m_dragPos);
}

QColor CRowTreeList::LabelTextColor(const CRowTreeItem* item, bool heading, QColor* back) const
{
    return CRowTreePainter(*m_owner, ClientRect()).LabelTextColor(item, heading, back);
}

void CRowTreeList::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    ClientResized();
}

void CRowTreeList::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void CRowTreeList::wheelEvent(QWheelEvent* event)
{
    event->accept();
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        return;   // a sideways wheel
    }
    // The scroll range runs from 0 to the content height.
    if (m_owner->ContentHeight() < ClientRect().height()) {
        return;
    }
    ScrollTo(delta < 0 ? RowScroll::LineDown : RowScroll::LineUp);
}

void CRowTreeList::ToggleExpanded(CRowTreeItem* item)
{
    if (!item->HasChildren()) {
        return;
    }
    item->Expand(!item->IsExpanded());
    UpdateScrollBars();
    m_owner->Repaint();
    m_owner->HideFocusIfHidden();
}

void CRowTreeList::AutoSizeDivider()
{
    int x = RightEdge(m_owner->WidestLabel()) + kAutoSizeMargin;
    const int limit = RightEdge(ClientRect()) - kDragRightReserve;
    if (x > limit) {
        x = limit;
    }
    m_owner->SetDividerPos(x);
    m_owner->UpdateResize();
    m_owner->Repaint();
}

void CRowTreeList::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const QPoint point = event->position().toPoint();
    CRowTreeItem* item = m_owner->ItemAt(point);
    const HitArea hit = m_owner->HitTest(point);
    if (hit == HitDivider) {
        m_dragging = true;
        m_dragPos = m_owner->GetDividerPos();
        m_owner->Repaint();
        return;
    }
    if (hit == HitExpandBox) {
        ToggleExpanded(item);
        return;
    }
    m_owner->SelectAll(false);
    if (!item) {
        m_owner->SetFocusedItem(nullptr);
        m_owner->Repaint();
        return;
    }
    item->Select(true);
    if (hit == HitValue && !item->IsHeading() && !item->IsReadOnly()) {
        item->Activate();
    }
    m_owner->SetFocusedItem(item);
    m_owner->Repaint();
}

void CRowTreeList::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (m_dragging) {
        m_dragPos = point.x();
        m_owner->Repaint();
        return;
    }
    setCursor(CursorShapeAt(point));
}

void CRowTreeList::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    int x = event->position().toPoint().x();
    const int limit = RightEdge(ClientRect()) - kDragRightReserve;
    if (x < kDragMinimum) {
        x = kDragMinimum;
    } else if (x > limit) {
        x = limit;
    }
    m_owner->SetDividerPos(x);
    m_owner->UpdateResize();
    m_owner->Repaint();
}

void CRowTreeList::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    CRowTreeItem* item = m_owner->ItemAt(point);
    const HitArea hit = m_owner->HitTest(point);
    if (item && item->HasChildren()) {
        switch (hit) {
        case HitDivider:
            AutoSizeDivider();
            break;
        case HitExpandBox:
            ToggleExpanded(item);
            break;
        case HitValue:
            if (!item->IsHeading()) {
                break;
            }
            [[fallthrough]];
        default:
            m_owner->SelectAll(false);
            m_owner->SetFocusedItem(item);
            item->Select(true);
            ToggleExpanded(item);
            break;
        }
        return;
    }
    if (hit == HitDivider) {
        AutoSizeDivider();
    }
}

void CRowTreeList::keyPressEvent(QKeyEvent* event)
{
    // Keys an open editor did not use come up through here; they are not the list's.
    if (QApplication::focusWidget() != this) {
        event->ignore();
        return;
    }
    CRowTreeItem* focused = m_owner->GetFocusedItem();
    const auto activatable = [](CRowTreeItem* row) { return row && !row->IsHeading() && !row->IsReadOnly(); };
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (focused && !focused->IsHeading()) {
            const bool back = event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
            if (back) {
                m_owner->FocusPrev();
            } else {
                m_owner->FocusNext();
            }
            if (activatable(m_owner->GetFocusedItem())) {
                m_owner->GetFocusedItem()->Activate();
            }
        }
        m_owner->Repaint();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (activatable(focused)) {
            focused->Activate();
        }
        break;
    case Qt::Key_Home:
        m_owner->FocusFirst();
        break;
    case Qt::Key_End:
        m_owner->FocusLast();
        break;
    case Qt::Key_Up:
        m_owner->FocusPrev();
        break;
    case Qt::Key_Down:
        m_owner->FocusNext();
        break;
    case Qt::Key_Left:
        if (focused) {
            if (focused->HasChildren() && focused->IsExpanded()) {
                ToggleExpanded(focused);
            } else {
                m_owner->FocusPrev();
            }
        }
        break;
    case Qt::Key_Right:
        if (focused) {
            if (focused->HasChildren() && !focused->IsExpanded()) {
                ToggleExpanded(focused);
            } else {
                m_owner->FocusNext();
            }
        }
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    m_owner->Repaint();
}
