#include "CDeviceTree.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "AppIds.h"
#include "LinkProtocol.h"
#include "Pictures.h"
#include "RowTreeColors.h"

namespace {

int g_liveRecords = 0;
constexpr int kCountdownTickMs = 250;   // how often the seconds left of the exchanges in flight move

struct MenuCommand {
    int id;
    const char* text;
    bool needsSelection;
    bool separatorAfter;
};

constexpr MenuCommand kMenuCommands[] = {
    {ID_SEARCH_ENCODER, "Search Encoder", false, false},
    {ID_ADD_ENCODER, "Add Encoder", false, false},
    {ID_DEL_ENCODER, "Del Encoder", true, true},
    {ID_READ_CONFIGURATION, "Read Configuration", true, false},
    {ID_WRITE_CONFIGURATION, "Write Configuration", true, true},
    {ID_START_TS_IP, "Start TS -> IP", true, false},
    {ID_STOP_TS_IP, "Stop TS -> IP", true, false},
};

// The widest text each column usually shows, for its first width.
constexpr const char* kColumnSamples[] = {
    "255.255.255.255 ", "in flight ",    "Read Configuration, 20 s left",
    "P1 Output ",       "P1 Input ",     "P2 Output ",
    "P2 Input ",        "-128 \u00B0C ", "00:00:00 ",
    "Pending ",
};
// Room around a cell's text: the style's margins and the address column's picture.
constexpr int kCellPadding = 24;
static_assert(sizeof kColumnSamples / sizeof kColumnSamples[0] == kDeviceColumnCount, "one sample per column");

// Rows compare by each column's sort value, so that addresses and temperatures sort as
// numbers and the last read as a time, not as texts; equal values keep address order.
// Sorting and filtering happen when asked, not on every change of a row: encoders added
// later are appended after the last row, as the list always did.
class CEncoderSortProxy : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override
    {
        const QVariant mine = left.data(CEncoderModel::SortRole);
        const QVariant theirs = right.data(CEncoderModel::SortRole);
        if (mine.isValid() && theirs.isValid() && mine != theirs)
            return QVariant::compare(mine, theirs) == QPartialOrdering::Less;
        return left.data(CEncoderModel::AddressRole).toUInt() < right.data(CEncoderModel::AddressRole).toUInt();
    }
};

}   // namespace

void CountEncoderRecord(int delta)
{
    g_liveRecords += delta;
}

int LiveEncoderRecords()
{
    return g_liveRecords;
}

CDeviceTree::CDeviceTree(QWidget* parent) : QTreeView(parent)
{
    setObjectName(QStringLiteral("DeviceTree"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_model = new CEncoderModel(this);
    m_model->SetCountdown([](uint32_t) { return 0; });
    m_proxy = new CEncoderSortProxy(this);
    m_proxy->setDynamicSortFilter(false);
    m_proxy->setFilterKeyColumn(kColumnAddress);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setSourceModel(m_model);
    setModel(m_proxy);
    for (int column = 0; column < kDeviceColumnCount; ++column)
        setColumnWidth(column,
                       fontMetrics().horizontalAdvance(QString::fromUtf8(kColumnSamples[column])) + kCellPadding);
    setRootIsDecorated(true);     // lines at root, as a tree of encoders would show them
    setUniformRowHeights(true);   // a row's height is known without asking it: long lists scroll at once
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setIconSize(QSize(kDeviceImageSize, kDeviceImageSize));
    setExpandsOnDoubleClick(false);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);   // sorting is by request: a click on a heading sorts once
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    header()->setStretchLastSection(true);
    connect(header(), &QHeaderView::sectionClicked, this, &CDeviceTree::OnHeaderClicked);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &CDeviceTree::OnSelectionChanged);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, &CDeviceTree::OnSelectionChanged);
    FitSelectionColours();
    m_countdownTimer = new QTimer(this);
    m_countdownTimer->setInterval(kCountdownTickMs);
    connect(m_countdownTimer, &QTimer::timeout, this, &CDeviceTree::RepaintCountdowns);
}

CDeviceTree::~CDeviceTree()
{
    // The frame is half gone: no selection handling from here.
    blockSignals(true);
    selectionModel()->blockSignals(true);
}

int CDeviceTree::ItemCount() const
{
    return m_proxy->rowCount();
}

EncoderRecord* CDeviceTree::ItemAt(int shownRow) const
{
    return m_model->RecordAt(m_proxy->mapToSource(m_proxy->index(shownRow, 0)).row());
}

QModelIndex CDeviceTree::ShownIndex(const EncoderRecord* item, int column) const
{
    const int row = m_model->RowOf(item);
    return row < 0 ? QModelIndex() : m_proxy->mapFromSource(m_model->index(row, column));
}

QString CDeviceTree::ItemText(const EncoderRecord* item, int column) const
{
    const int row = m_model->RowOf(item);
    return row < 0 ? QString() : m_model->index(row, column).data().toString();
}

QRect CDeviceTree::ItemRect(const EncoderRecord* item) const
{
    return visualRect(ShownIndex(item));
}

void CDeviceTree::ScrollToItem(const EncoderRecord* item)
{
    if (const QModelIndex index = ShownIndex(item); index.isValid()) scrollTo(index);
}

EncoderRecord* CDeviceTree::SelectedItem() const
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isRowSelected(current.row(), QModelIndex()))
        return m_model->RecordAt(m_proxy->mapToSource(current).row());
    // The current row was taken out of a selection (Ctrl+click, Ctrl+Space): the selected
    // row nearest it stands for the selection, as long as one is left.
    const int from = current.isValid() ? current.row() : 0;
    int nearest = -1;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        const int row = std::clamp(from, range.top(), range.bottom());
        if (nearest < 0 || std::abs(row - from) < std::abs(nearest - from)) nearest = row;
    }
    if (nearest < 0) return nullptr;
    return m_model->RecordAt(m_proxy->mapToSource(m_proxy->index(nearest, 0)).row());
}

QList<EncoderRecord*> CDeviceTree::SelectedEncoderItems() const
{
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(m_proxy->mapToSource(m_proxy->index(row, 0)).row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<EncoderRecord*> items;
    items.reserve(qsizetype(rows.size()));
    for (int row : rows)
        if (EncoderRecord* record = m_model->RecordAt(row)) items << record;
    return items;
}

void CDeviceTree::SelectNone()
{
    selectionModel()->clear();
}

void CDeviceTree::SelectOnly(const EncoderRecord* item)
{
    const QModelIndex index = ShownIndex(item);
    if (!index.isValid()) return;
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CDeviceTree::SelectAlso(const EncoderRecord* item)
{
    const QModelIndex index = ShownIndex(item);
    if (!index.isValid()) return;
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void CDeviceTree::InsertEncoderItems(const std::vector<CEncoderModel::NewRow>& rows)
{
    m_model->Append(rows);
}

void CDeviceTree::RemoveEncoderItems(const std::vector<const EncoderRecord*>& items)
{
    for (const EncoderRecord* item : items)
        if (item == m_lastCurrent) m_lastCurrent = nullptr;
    m_model->Remove(items);
    UpdateCountdown();
}

void CDeviceTree::SetItemImage(const EncoderRecord* item, int image)
{
    m_model->SetImage(item, image);
}

int CDeviceTree::ItemImage(const EncoderRecord* item) const
{
    return m_model->Image(m_model->RowOf(item));
}

void CDeviceTree::SetItemView(const EncoderRecord* item, const DeviceItemView& view)
{
    const bool wasInFlight = ItemInFlight(item);
    m_model->SetView(item, view);
    UpdateCountdown();
    FitActivityColumn(item);
    // A current encoder that starts or ends an exchange changes what the sheet may do; its
    // record is the same, so the sheet needs no refresh for it.
    if (item && wasInFlight != view.InFlight() && item == SelectedItem()) emit currentEncoderBusyChanged();
}

// An outcome such as "Write Configuration failed: Connect Device Failed !" is longer than the
// column's first width: the column widens to show it whole, and never narrows by itself.
// Some palettes (Fusion's own light one) put white selected text on a blue that is too
// light for it: the list deepens its selection colour until the text reads on it.
void CDeviceTree::FitSelectionColours()
{
    const QPalette application = QApplication::palette(this);
    QPalette fitted = palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        const QColor text = application.color(group, QPalette::HighlightedText);
        fitted.setColor(group, QPalette::Highlight, ReadableOn(application.color(group, QPalette::Highlight), text));
    }
    m_fittingPalette = true;
    setPalette(fitted);
    m_fittingPalette = false;
}

void CDeviceTree::changeEvent(QEvent* event)
{
    QTreeView::changeEvent(event);
    if (!m_fittingPalette &&
        (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange))
        FitSelectionColours();
}

void CDeviceTree::FitActivityColumn(const EncoderRecord* item)
{
    const QString text = ItemText(item, kColumnActivity);
    if (text.isEmpty()) return;
    const int needed = fontMetrics().horizontalAdvance(text) + kCellPadding;
    if (needed > columnWidth(kColumnActivity)) setColumnWidth(kColumnActivity, needed);
}

DeviceItemView CDeviceTree::ItemView(const EncoderRecord* item) const
{
    return m_model->View(m_model->RowOf(item));
}

bool CDeviceTree::ItemInFlight(const EncoderRecord* item) const
{
    return m_model->View(m_model->RowOf(item)).InFlight();
}

bool CDeviceTree::SelectionIdle() const
{
    if (!selectionModel()->hasSelection()) return false;
    if (m_model->InFlightCount() == 0) return true;   // no walk over a large selection when nothing runs
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            if (m_model->View(m_proxy->mapToSource(m_proxy->index(row, 0)).row()).InFlight()) return false;
    }
    return true;
}

void CDeviceTree::SetFilterText(const QString& text)
{
    if (text == m_filter) return;
    m_filter = text;
    m_proxy->setFilterFixedString(text);
    m_model->SetFilterNote(text);
}

void CDeviceTree::SortByColumn(int column, Qt::SortOrder order)
{
    m_sortColumn = column;
    m_sortOrder = order;
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column, order);
    m_proxy->sort(column, order);
}

void CDeviceTree::UpdateCountdown()
{
    const bool running = m_model->InFlightCount() > 0;
    if (running && !m_countdownTimer->isActive())
        m_countdownTimer->start();
    else if (!running && m_countdownTimer->isActive())
        m_countdownTimer->stop();
}

// The seconds left are asked of the model as a cell is painted: repainting the activity
// column's strip of the viewport moves every countdown on screen and no other.
void CDeviceTree::RepaintCountdowns()
{
    UpdateCountdown();
    if (isColumnHidden(kColumnActivity)) return;
    const int x = columnViewportPosition(kColumnActivity);
    viewport()->update(QRect(x, 0, columnWidth(kColumnActivity), viewport()->height()));
}

void CDeviceTree::FillContextMenu(QMenu& menu) const
{
    const bool usable = SelectionIdle();
    for (const MenuCommand& command : kMenuCommands) {
        QAction* action = menu.addAction(QString::fromLatin1(command.text));
        action->setData(command.id);
        action->setEnabled(!command.needsSelection || usable);
        if (command.separatorAfter) menu.addSeparator();
    }
}

// The dotted lines that join the encoders at the root, as a tree with lines shows them.
void CDeviceTree::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const
{
    if (index.parent().isValid() || rect.width() <= 0) {
        QTreeView::drawBranches(painter, rect, index);
        return;
    }
    const int x = rect.right() - indentation() / 2;
    const int y = rect.center().y();
    const bool first = index.row() == 0;
    const bool last = index.row() == m_proxy->rowCount() - 1;
    painter->save();
    QPen pen(palette().color(QPalette::Mid), 1, Qt::DotLine);
    painter->setPen(pen);
    painter->drawLine(x, first ? y : rect.top(), x, last ? y : rect.bottom());
    painter->drawLine(x, y, rect.right(), y);
    painter->restore();
}

// A right click picks the item under the pointer first, so that the menu's commands act
// on what was clicked: an item outside the selection becomes the only selected one, an
// item inside it becomes current and the selection stays. A click below the items leaves
// the choice alone: the current encoder stays chosen until another item is picked or
// the encoder is deleted. The menu itself comes with the context menu event, so that the
// keyboard's menu key opens it too.
void CDeviceTree::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::RightButton) {
        setFocus(Qt::MouseFocusReason);
        if (index.isValid() && !selectionModel()->isRowSelected(index.row(), QModelIndex()))
            selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        else if (index.isValid())
            selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        event->accept();
        return;
    }
    if (!index.isValid()) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void CDeviceTree::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

void CDeviceTree::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    QPoint at = event->globalPos();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        const QRect cell = SelectedItem() ? ItemRect(SelectedItem()) : QRect(QPoint(0, 0), QSize(0, 0));
        at = viewport()->mapToGlobal(cell.bottomLeft());
    }
    QMenu menu(this);
    FillContextMenu(menu);
    QAction* chosen = m_trackMenu ? m_trackMenu(menu, at) : menu.exec(at);
    if (chosen) OnCommand(chosen->data().toInt());
}

// Typing an address's digits and dots narrows the list to the encoders whose address
// contains them (the Address heading shows what was typed); Backspace takes the last back.
void CDeviceTree::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (plain && text.size() == 1 && (text[0].isDigit() || text[0] == QLatin1Char('.'))) {
        SetFilterText(m_filter + text);
        event->accept();
        return;
    }
    if (plain && event->key() == Qt::Key_Backspace && !m_filter.isEmpty()) {
        SetFilterText(m_filter.left(m_filter.size() - 1));
        event->accept();
        return;
    }
    // Before the first choice the view's current row is the first one, unselected: the
    // first arrow key selects it rather than moving past it.
    const bool arrow = event->key() == Qt::Key_Down || event->key() == Qt::Key_Up;
    if (arrow && event->modifiers() == Qt::NoModifier && !selectionModel()->hasSelection() && m_proxy->rowCount() > 0) {
        const QModelIndex current = currentIndex();
        selectionModel()->setCurrentIndex(current.isValid() ? current : m_proxy->index(0, 0),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CDeviceTree::OnSelectionChanged()
{
    EncoderRecord* current = SelectedItem();
    if (current != m_lastCurrent) {
        m_lastCurrent = current;
        emit currentEncoderChanged(current);
    }
    emit encoderSelectionChanged();
}

void CDeviceTree::OnHeaderClicked(int column)
{
    SortByColumn(column, (column == m_sortColumn && m_sortOrder == Qt::AscendingOrder) ? Qt::DescendingOrder
                                                                                       : Qt::AscendingOrder);
}

bool CDeviceTree::OnCommand(int id)
{
    for (const MenuCommand& command : kMenuCommands) {
        if (command.id == id) {
            emit commandRequested(id);
            return true;
        }
    }
    return false;
}
