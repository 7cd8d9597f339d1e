#include "CRowTree.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

using namespace RowTreeMetrics;

namespace {

// The fonts every row tree shares, made by the first live control and dropped by the last.
int g_liveControls = 0;
QFont* g_normalFont = nullptr;
QFont* g_boldFont = nullptr;

void CreateFonts()
{
    QFont font = QApplication::font("QMenu");
    // Tahoma is the face the rows were laid out for; where it is missing the menu's own
    // face serves (the bitmap face of old desktops does not exist elsewhere).
    const QStringList families = QFontDatabase::families();
    for (const QString& family : families) {
        if (family.compare(QLatin1String("Tahoma"), Qt::CaseInsensitive) == 0) {
            font.setFamily(family);
            break;
        }
    }
    font.setBold(false);
    g_normalFont = new QFont(font);
    font.setWeight(QFont::Bold);
    g_boldFont = new QFont(font);
}

void DeleteFonts()
{
    delete g_normalFont;
    delete g_boldFont;
    g_normalFont = nullptr;
    g_boldFont = nullptr;
}

QColor SystemColor(QPalette::ColorRole role, bool enabled = true)
{
    return QApplication::palette().color(enabled ? QPalette::Active : QPalette::Disabled, role);
}

bool IsBlank(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c == QLatin1Char(' '); });
}

}  // namespace

// ---------------------------------------------------------------------------------------
// CRowTree

CRowTree::CRowTree()
{
    if (g_liveControls++ == 0) {
        CreateFonts();
    }
    resize(0, 0);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_info = new CRowTreeInfo(this);
    m_list = new CRowTreeList(this);
    m_info->setGeometry(0, 0, 0, 0);
    m_list->setGeometry(0, 0, 0, 0);
    m_info->hide();
    setFocusProxy(m_list);
}

CRowTree::~CRowTree()
{
    // The rows' editors are children of the list: they go before the list does.
    DeleteAllItems();
    if (--g_liveControls == 0) {
        DeleteFonts();
    }
}

QFont CRowTree::NormalFont()
{
    return g_normalFont ? *g_normalFont : QApplication::font("QMenu");
}

QFont CRowTree::BoldFont()
{
    if (g_boldFont) {
        return *g_boldFont;
    }
    QFont font = QApplication::font("QMenu");
    font.setWeight(QFont::Bold);
    return font;
}

int CRowTree::LiveControls()
{
    return g_liveControls;
}

int CRowTree::Create(const QRect& rect, QWidget* parent, uint32_t options, int controlId)
{
    if (m_created || !parent) {
        return 0;
    }
    m_options = options;
    m_controlId = controlId;
    setParent(parent);
    setGeometry(rect);
    m_created = true;
    m_info->setVisible((m_options & RTS_INFOPANE) != 0);
    LayoutChildren();
    show();
    Repaint();
    return 1;
}

int CRowTree::Create(uint32_t style, const QRect& rect, QWidget* parent, uint32_t options, int controlId)
{
    const int created = Create(rect, parent, options, controlId);
    if (created && !(style & kStyleVisible)) {
        hide();
    }
    return created;
}

void CRowTree::LayoutChildren()
{
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0) {
        return;
    }
    m_laidOutSize = size();
    if (m_options & RTS_INFOPANE) {
        m_info->setGeometry(0, h - kInfoPaneHeight, w, kInfoPaneHeight);
        m_list->setGeometry(0, 0, w, h - kInfoPaneHeight);
    } else {
        m_list->setGeometry(0, 0, w, h);
    }
    // The list reacts to its new size at once, also while the control is hidden (when the
    // toolkit holds the resize event back until it is shown).
    m_list->ClientResized();
    Repaint();
}

void CRowTree::SyncGeometry()
{
    if (m_created && size() != m_laidOutSize) {
        LayoutChildren();
    }
}

void CRowTree::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_created) {
        LayoutChildren();
    }
}

void CRowTree::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
        Repaint();
        break;
    case QEvent::ApplicationFontChange:
    case QEvent::ApplicationPaletteChange:
        DeleteFonts();
        CreateFonts();
        Repaint();
        break;
    default:
        break;
    }
}

void CRowTree::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    Repaint();
}

CRowTreeItem* CRowTree::InsertItem(CRowTreeItem* item, CRowTreeItem* parent)
{
    if (!item) {
        return nullptr;
    }
    if (item->m_owner || item == &m_root) {
        return item;
    }
    if (!parent) {
        parent = &m_root;
    } else if (parent != &m_root && parent->m_owner != this) {
        return nullptr;
    }
    CRowTreeItem** link = &parent->m_firstChild;
    while (*link) {
        link = &(*link)->m_nextSibling;
    }
    *link = item;
    item->m_nextSibling = nullptr;
    item->m_sequence = ++m_sequence;
    item->m_parent = parent;
    item->m_owner = this;
    m_list->UpdateScrollBars();
    Repaint();
    return item;
}

void CRowTree::DeleteSubtree(CRowTreeItem* item)
{
    while (CRowTreeItem* child = item->m_firstChild) {
        item->m_firstChild = child->m_nextSibling;
        DeleteSubtree(child);
    }
    if (m_focused == item) {
        m_focused = nullptr;
    }
    // A row being deleted must not report an edit when its editor loses the focus.
    item->m_activated = false;
    item->OnDestroyEditor();
    delete item;
}

void CRowTree::DeleteAllItems()
{
    m_deleting = true;
    while (CRowTreeItem* heading = m_root.m_firstChild) {
        m_root.m_firstChild = heading->m_nextSibling;
        DeleteSubtree(heading);
    }
    m_firstPainted = nullptr;
    m_lastPainted = nullptr;
    m_focused = nullptr;
    m_deleting = false;
    if (m_created) {
        m_list->UpdateScrollBars();
        Repaint();
    }
}

void CRowTree::SetDividerPos(int x)
{
    const QRect client = rect();
    m_dividerPos = ClampDivider(x, client.width(), client.isEmpty());
    Repaint();
}

void CRowTree::SetFocusedItem(CRowTreeItem* item)
{
    m_focused = item;
    if (item) {
        EnsureVisible(item);
    }
    Repaint();
}

CRowTreeItem* CRowTree::FocusFirst()
{
    CRowTreeItem* found = m_firstPainted;
    if (found) {
        SetFocusedItem(found);
    }
    if (m_focused) {
        SelectAll(false);
        m_focused->Select(true);
    }
    return found;
}

CRowTreeItem* CRowTree::FocusLast()
{
    CRowTreeItem* found = m_lastPainted;
    if (found) {
        SetFocusedItem(found);
    }
    if (m_focused) {
        SelectAll(false);
        m_focused->Select(true);
    }
    return found;
}

CRowTreeItem* CRowTree::FocusPrev()
{
    CRowTreeItem* found = nullptr;
    if (m_focused) {
        for (CRowTreeItem* row = m_firstPainted; row; row = row->m_nextPainted) {
            if (row->m_nextPainted == m_focused) {
                found = row;
                break;
            }
        }
    } else {
        found = m_lastPainted;
    }
    if (found) {
        SetFocusedItem(found);
    }
    if (m_focused) {
        SelectAll(false);
        m_focused->Select(true);
    }
    return found;
}

CRowTreeItem* CRowTree::FocusNext()
{
    CRowTreeItem* found = m_focused ? m_focused->m_nextPainted : m_firstPainted;
    if (found) {
        SetFocusedItem(found);
    }
    if (m_focused) {
        SelectAll(false);
        m_focused->Select(true);
    }
    return found;
}

void CRowTree::SelectAll(bool select)
{
    WalkTree([select](CRowTreeItem* row) { row->Select(select); });
}

void CRowTree::WalkTree(const std::function<void(CRowTreeItem*)>& visit, CRowTreeItem* start)
{
    if (!start) {
        start = &m_root;
    }
    // Iterative pre-order, so that a deep tree cannot exhaust the stack.
    CRowTreeItem* row = start;
    while (row) {
        if (row != &m_root) {
            visit(row);
        }
        if (row->m_firstChild) {
            row = row->m_firstChild;
            continue;
        }
        while (row && row != start && !row->m_nextSibling) {
            row = row->m_parent;
        }
        if (!row || row == start) {
            break;
        }
        row = row->m_nextSibling;
    }
}

bool CRowTree::IsPainted(const CRowTreeItem* item) const
{
    for (const CRowTreeItem* row = m_firstPainted; row; row = row->m_nextPainted) {
        if (row == item) {
            return true;
        }
    }
    return false;
}

CRowTreeItem* CRowTree::ItemAt(const QPoint& point) const
{
    const int y = point.y() + m_scrollPos;
    for (CRowTreeItem* row = m_firstPainted; row; row = row->m_nextPainted) {
        if (row->m_y <= y && y < row->m_y + row->m_height) {
            return row;
        }
    }
    return nullptr;
}

HitArea CRowTree::HitTest(const QPoint& point) const
{
    const CRowTreeItem* row = ItemAt(point);
    if (!row) {
        return HitNowhere;
    }
    const int d = m_dividerPos;
    if (!row->IsHeading() && d - kGrabZone <= point.x() && point.x() <= d + kGrabZone) {
        return HitDivider;
    }
    if (point.x() > d + kGrabZone) {
        return HitValue;
    }
    if (row->m_expandBox.contains(QPoint(point.x(), point.y() + m_scrollPos))) {
        return HitExpandBox;
    }
    return HitLabel;
}

void CRowTree::EnsureVisible(CRowTreeItem* item)
{
    if (!item || item->m_owner != this) {
        return;
    }
    SyncGeometry();
    if (!IsPainted(item)) {
        for (CRowTreeItem* up = item->m_parent; up && up != &m_root; up = up->m_parent) {
            up->Expand(true);
        }
        m_list->UpdateScrollBars();
        Repaint();
        if (!IsPainted(item)) {
            return;
        }
    }
    const QRect client = m_list->ClientRect();
    const QRect visible = RectFromEdges(client.left(), client.top() + m_scrollPos, RightEdge(client),
                                        client.top() + client.height() + m_scrollPos - item->m_height);
    if (visible.contains(QPoint(item->m_x, item->m_y))) {
        return;
    }
    const int pos = item->m_y < visible.top() ? item->m_y : item->m_y + 2 * item->m_height - client.height();
    m_list->ScrollTo(RowScroll::ThumbPosition, pos);
}

void CRowTree::HideFocusIfHidden()
{
    if (m_focused && !IsPainted(m_focused)) {
        m_focused->Select(false);
        SetFocusedItem(nullptr);
        m_list->update();
    }
}

QRect CRowTree::WidestLabel() const
{
    QRect widest;
    int right = 0;
    const_cast<CRowTree*>(this)->WalkTree([&](CRowTreeItem* row) {
        if (!row->IsHeading() && row->m_parent && row->m_parent->m_expanded && RightEdge(row->m_labelTextBox) > right) {
            right = RightEdge(row->m_labelTextBox);
            widest = row->m_labelTextBox;
        }
    });
    return widest;
}

void CRowTree::UpdateResize()
{
    WalkTree([](CRowTreeItem* row) { row->OnResize(); });
}

void CRowTree::Refresh()
{
    m_list->UpdateScrollBars();
    Repaint();
}

void CRowTree::Repaint()
{
    SyncGeometry();
    LayoutRows();
    update();
    m_list->update();
    m_info->update();
}

int CRowTree::SubtreeHeight(const CRowTreeItem* item) const
{
    int height = item->m_height;
    if (item->m_expanded) {
        for (const CRowTreeItem* child = item->m_firstChild; child; child = child->m_nextSibling) {
            height += SubtreeHeight(child);
        }
    }
    return height;
}

int CRowTree::ContentHeight() const
{
    int height = 0;
    for (const CRowTreeItem* heading = m_root.m_firstChild; heading; heading = heading->m_nextSibling) {
        height += SubtreeHeight(heading);
    }
    return height;
}

void CRowTree::LayoutRows()
{
    if (m_deleting) {
        return;
    }
    PaintRows(nullptr);
}

void CRowTree::PaintRows(QPainter* painter)
{
    // The chain is rebuilt by the walk; label boxes of rows it no longer meets stay empty.
    m_firstPainted = nullptr;
    m_lastPainted = nullptr;
    WalkTree([](CRowTreeItem* row) {
        row->m_labelTextBox = QRect();
        row->m_nextPainted = nullptr;
    });
    const QRect client = m_list->ClientRect();
    int y = 0;
    for (CRowTreeItem* heading = m_root.m_firstChild; heading; heading = heading->m_nextSibling) {
        y += PaintRow(painter, client.size(), heading, 0, y);
    }
}

void CRowTree::Paint(QPainter& painter)
{
    const bool enabled = isEnabled();
    const QRect client = m_list->ClientRect();
    const QColor face = SystemColor(QPalette::Button);
    const QColor window = SystemColor(QPalette::Base);
    painter.fillRect(client, face);
    painter.fillRect(client.adjusted(kEdgeInset, kEdgeInset, -kEdgeInset, -kEdgeInset), enabled ? window : face);
    const QColor marginColor = (!(m_options & RTS_SHADEMARGIN) && enabled) ? window : face;
    painter.fillRect(RectFromEdges(0, 0, kMargin, client.height()), marginColor);
    painter.setBrush(marginColor);

    PaintRows(&painter);

    const QColor shadow = SystemColor(QPalette::Dark);
    painter.fillRect(kMargin, 0, 1, client.height(), shadow);
    // A sunken outer edge: shadow on the top and left, highlight on the bottom and right.
    const QColor light = SystemColor(QPalette::Light);
    painter.fillRect(0, 0, client.width(), 1, shadow);
    painter.fillRect(0, 0, 1, client.height(), shadow);
    painter.fillRect(0, client.height() - 1, client.width(), 1, light);
    painter.fillRect(client.width() - 1, 0, 1, client.height(), light);

    if (m_list->m_dragging) {
        const int left = m_list->m_dragPos - kDragBarWidth / 2;
        painter.save();
        painter.setCompositionMode(QPainter::CompositionMode_Difference);
        painter.setBrushOrigin(left, 0);
        painter.fillRect(QRect(left, 0, kDragBarWidth, client.height()), QBrush(Qt::white, Qt::Dense4Pattern));
        painter.restore();
    }
}

int CRowTree::PaintRow(QPainter* painter, const QSize& client, CRowTreeItem* item, int x, int y)
{
    const int d = m_dividerPos;
    const int w = client.width();
    const int clientHeight = client.height();
    const int h = item->m_height;
    const int t = y - m_scrollPos;
    const bool heading = item->IsHeading();
    const bool enabled = isEnabled();

    if (m_lastPainted) {
        m_lastPainted->m_nextPainted = item;
    } else {
        m_firstPainted = item;
    }
    m_lastPainted = item;
    item->m_nextPainted = nullptr;
    item->m_x = x;
    item->m_y = y;
    item->m_valueRect = RectFromEdges(d + kValueGap, t, w, t + h - 1);

    const QRect label = heading ? RectFromEdges(x + kMargin, t, w, t + h) : RectFromEdges(x + kMargin, t, d, t + h);
    const QRect text = label.adjusted(kLabelInset, 0, 0, 0);
    const QColor shadow = SystemColor(QPalette::Dark);

    if (painter) {
        if (heading) {
            const QColor fill = (m_options & RTS_HEADINGCOLORS) ? item->m_headingColor : SystemColor(QPalette::Midlight);
            painter->fillRect(RectFromEdges(kMargin, t, w + 17, t + h), fill);
        } else {
            painter->fillRect(RectFromEdges(d, t, w - kEdgeInset, t + h - 1), item->m_valueBackColor);
        }
    }

    if (item->m_firstChild) {
        item->m_expandBox = QRect(kExpandBoxLeft, y + kExpandBoxTop, kExpandBoxHit, kExpandBoxHit);
        if (painter) {
            painter->save();
            painter->setPen(SystemColor(QPalette::WindowText, enabled));
            const int top = t + kExpandBoxTop;
            painter->fillRect(QRect(kExpandBoxLeft, top, kExpandBoxDrawn, kExpandBoxDrawn), painter->brush());
            painter->drawRect(QRect(kExpandBoxLeft, top, kExpandBoxDrawn - 1, kExpandBoxDrawn - 1));
            painter->drawLine(6, t + 9, 10, t + 9);
            if (!item->m_expanded) {
                painter->drawLine(8, t + 7, 8, t + 11);
            }
            painter->restore();
        }
    } else {
        item->m_expandBox = QRect();
    }

    if (painter) {
        painter->save();
        if (!heading) {
            painter->setClipRect(label);
            painter->fillRect(label, item->m_labelBackColor);
        }
    }

    if (!item->m_label.isEmpty() && !IsBlank(item->m_label)) {
        const QFont font = heading ? BoldFont() : NormalFont();
        if (item->m_fittedWidth != text.width() || item->m_fittedLabel != item->m_label
            || item->m_fittedFont != font) {
            const QFontMetrics metrics(font);
            item->m_fittedText = TruncateLabel(item->m_label, metrics, text.width());
            // The box as drawn: from the text's left, as wide and high as the shown text.
            item->m_fittedExtent = metrics.size(Qt::TextSingleLine, item->m_fittedText);
            item->m_fittedLabel = item->m_label;
            item->m_fittedWidth = text.width();
            item->m_fittedFont = font;
        }
        const QString& shown = item->m_fittedText;
        const QSize extent = item->m_fittedExtent;
        item->m_labelTextBox = QRect(text.left(), text.top(), extent.width(), extent.height());
        if (painter) {
            QColor color = item->m_labelTextColor;
            if (item->m_selected) {
                painter->fillRect(RectFromEdges(kMargin, t, RightEdge(label) + kLabelInset, t + h),
                                  SystemColor(QPalette::Highlight));
                color = SystemColor(QPalette::Light);
            }
            if (!enabled) {
                color = SystemColor(QPalette::Text, false);
            }
            painter->setFont(font);
            painter->setPen(color);
            painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
        }
    }

    if (painter) {
        painter->restore();
        painter->fillRect(kMargin, t + h - 1, w, 1, shadow);
        if (heading) {
            painter->fillRect(kMargin, t - 1, w, 1, shadow);
        }
        painter->fillRect(kMargin, 0, 1, clientHeight, shadow);
        if (!heading) {
            painter->fillRect(d, t, 1, h, shadow);
            painter->save();
            painter->setClipRect(item->m_valueRect);
            item->OnDrawValue(*painter, item->m_valueRect);
            painter->restore();
        }
    }

    int used = h;
    if (item->m_firstChild && item->m_expanded) {
        for (CRowTreeItem* child = item->m_firstChild; child; child = child->m_nextSibling) {
            used += PaintRow(painter, client, child, heading ? x : x + kIndent, y + used);
        }
    }
    return used;
}

void CRowTree::SendCommand(int commandId) const
{
    if (!m_deleting && m_commandTarget) {
        m_commandTarget(commandId);
    }
}

// ---------------------------------------------------------------------------------------
// CRowTreeList

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

void CRowTreeList::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setClipRect(ClientRect());
    m_owner->Paint(painter);
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

// ---------------------------------------------------------------------------------------
// CRowTreeInfo

CRowTreeInfo::CRowTreeInfo(CRowTree* owner) : QFrame(owner), m_owner(owner)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CRowTreeInfo::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.fillRect(rect(), SystemColor(QPalette::Text, false));
        QString text;
        if (const CRowTreeItem* focused = m_owner->GetFocusedItem()) {
            text = focused->GetDescription();
        } else if (m_owner->GetOptions() & RTS_DEFAULTINFOTEXT) {
            text = QStringLiteral("Select an item to see its description.");
        }
        painter.setFont(CRowTree::NormalFont());
        painter.setPen(m_owner->isEnabled() ? SystemColor(QPalette::Light) : SystemColor(QPalette::Text, false));
        painter.drawText(contentsRect().adjusted(4, 4, -4, -4), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    }
    QFrame::paintEvent(event);
}
