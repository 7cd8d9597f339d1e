#include "CRowTree.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFocusEvent>
#include <QFontMetrics>
#include <algorithm>
#include <utility>

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

}   // namespace

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
    if (m_layoutHeld) {
        m_layoutPending = true;
        return item;
    }
    m_list->UpdateScrollBars();
    Repaint();
    return item;
}

void CRowTree::HoldLayout(bool hold)
{
    m_layoutHeld = hold;
    if (!hold && m_layoutPending) {
        m_layoutPending = false;
        m_list->UpdateScrollBars();
        Repaint();
    }
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
    m_rows.Clear();
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
    CRowTreeItem* found = m_rows.First();
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
    CRowTreeItem* found = m_rows.Last();
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
        for (CRowTreeItem* row = m_rows.First(); row; row = row->m_nextPainted) {
            if (row->m_nextPainted == m_focused) {
                found = row;
                break;
            }
        }
    } else {
        found = m_rows.Last();
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
    CRowTreeItem* found = m_focused ? m_focused->m_nextPainted : m_rows.First();
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
    return m_rows.Shows(item);
}

QRect CRowTree::RowBand(const CRowTreeItem* item) const
{
    return m_rows.Band(item, m_list->width());
}

void CRowTree::RepaintRow(const CRowTreeItem* item)
{
    const QRect band = RowBand(item);
    m_list->update(band.isEmpty() ? m_list->ClientRect() : band & m_list->ClientRect());
}

CRowTreeItem* CRowTree::ItemAt(const QPoint& point) const
{
    return m_rows.RowAt(point);
}

HitArea CRowTree::HitTest(const QPoint& point) const
{
    return m_rows.HitAt(point);
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
    if (m_layoutHeld) {
        m_layoutPending = true;
        return;
    }
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
    const QRect client = m_list->ClientRect();
    m_rows.Lay(m_root, RowLayoutFrame{client.width(), client.height(), m_dividerPos, m_scrollPos});
}

void CRowTree::SendCommand(int commandId) const
{
    if (!m_deleting && m_commandTarget) {
        m_commandTarget(commandId);
    }
}
