#include "CDeviceTree.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include "AppIds.h"
#include "Pictures.h"

Q_DECLARE_METATYPE(DeviceItemView)

namespace {

constexpr int kRecordRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kViewRole = Qt::UserRole + 2;
constexpr int kAddressRole = Qt::UserRole + 3;
constexpr int kSortRole = Qt::UserRole + 4;   // per column: what the column sorts by

int g_liveRecords = 0;

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

struct ColumnHeading {
    DeviceColumn column;
    const char* text;
    const char* sample;   // the widest text the column usually shows, for its first width
};

constexpr ColumnHeading kColumns[] = {
    {kColumnAddress, "Address", "255.255.255.255 "},
    {kColumnState, "State", "in flight "},
    {kColumnActivity, "Activity", "Read Configuration, 20 s left"},
    {kColumnProg1Output, "P1 Output", "P1 Output "},
    {kColumnProg1Input, "P1 Input", "P1 Input "},
    {kColumnProg2Output, "P2 Output", "P2 Output "},
    {kColumnProg2Input, "P2 Input", "P2 Input "},
    {kColumnTemperature, "Temp.", "-128 \u00B0C "},
    {kColumnLastRead, "Last Read", "00:00:00 "},
    {kColumnPending, "Pending", "Pending "},
};
static_assert(sizeof kColumns / sizeof kColumns[0] == kDeviceColumnCount, "one heading per column");

// Items compare by each column's sort value, so that addresses and temperatures sort as
// numbers and the last read as a time, not as texts.
class CDeviceItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override
    {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        const QVariant mine = data(column, kSortRole);
        const QVariant theirs = other.data(column, kSortRole);
        if (mine.isValid() && theirs.isValid() && mine != theirs)
            return QVariant::compare(mine, theirs) == QPartialOrdering::Less;
        return data(0, kAddressRole).toUInt() < other.data(0, kAddressRole).toUInt();
    }
};

QString ProgramText(const DeviceItemView& view, bool (DeviceStatusReading::*has)(int) const, int program,
                    const char* present, const char* missing)
{
    if (!view.status || !view.status->Answered()) return QString();
    return QString::fromLatin1(((*view.status).*has)(program) ? present : missing);
}

}   // namespace

void CountEncoderRecord(int delta)
{
    g_liveRecords += delta;
}

int LiveEncoderRecords()
{
    return g_liveRecords;
}

CDeviceTree::CDeviceTree(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("DeviceTree"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setColumnCount(kDeviceColumnCount);
    QStringList headings;
    for (const ColumnHeading& heading : kColumns) headings << QString::fromUtf8(heading.text);
    setHeaderLabels(headings);
    for (const ColumnHeading& heading : kColumns)
        setColumnWidth(heading.column, fontMetrics().horizontalAdvance(QString::fromUtf8(heading.sample)) + 24);
    setRootIsDecorated(true);   // lines at root, as a tree of encoders would show them
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setIconSize(QSize(kDeviceImageSize, kDeviceImageSize));
    setExpandsOnDoubleClick(false);
    setAllColumnsShowFocus(true);
    // Sorting is by request: a click on a heading sorts once, and encoders added later
    // are appended after the last item, as the list always did.
    setSortingEnabled(false);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    connect(header(), &QHeaderView::sectionClicked, this, &CDeviceTree::OnHeaderClicked);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CDeviceTree::OnSelectionChanged);
    connect(this, &QTreeWidget::currentItemChanged, this, &CDeviceTree::OnSelectionChanged);
}

CDeviceTree::~CDeviceTree()
{
    // The frame is half gone: no selection handling from here.
    blockSignals(true);
}

QTreeWidgetItem* CDeviceTree::SelectedItem() const
{
    QTreeWidgetItem* current = currentItem();
    return current && current->isSelected() ? current : nullptr;
}

QList<QTreeWidgetItem*> CDeviceTree::SelectedEncoderItems() const
{
    QList<QTreeWidgetItem*> items;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected()) items << topLevelItem(i);
    return items;
}

void CDeviceTree::SelectNone()
{
    clearSelection();
    setCurrentItem(nullptr);
}

void CDeviceTree::SelectOnly(QTreeWidgetItem* item)
{
    if (!item) return;
    setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

EncoderRecord* CDeviceTree::ItemRecord(const QTreeWidgetItem* item)
{
    if (!item) return nullptr;
    return reinterpret_cast<EncoderRecord*>(item->data(0, kRecordRole).value<quintptr>());
}

uint32_t CDeviceTree::ItemAddress(const QTreeWidgetItem* item)
{
    return item ? item->data(0, kAddressRole).toUInt() : 0;
}

QTreeWidgetItem* CDeviceTree::InsertEncoderItem(const QString& text, EncoderRecord* record)
{
    auto* item = new CDeviceItem(QStringList(text));
    item->setData(0, kRecordRole, QVariant::fromValue(reinterpret_cast<quintptr>(record)));
    item->setData(0, kAddressRole, record ? uint(record->ipAddr) : 0u);
    item->setData(kColumnAddress, kSortRole, record ? uint(record->ipAddr) : 0u);
    addTopLevelItem(item);
    SetItemImage(item, IMAGE_OFFLINE);
    ShowView(item, DeviceItemView{});
    return item;
}

void CDeviceTree::RemoveEncoderItem(QTreeWidgetItem* item)
{
    if (!item) return;
    if (item == m_lastCurrent) m_lastCurrent = nullptr;
    delete item;
}

void CDeviceTree::SetItemImage(QTreeWidgetItem* item, int image)
{
    if (!item) return;
    item->setData(0, kImageRole, image);
    item->setIcon(0, DeviceImages().value(image));
}

int CDeviceTree::ItemImage(const QTreeWidgetItem* item)
{
    return item ? item->data(0, kImageRole).toInt() : -1;
}

void CDeviceTree::SetItemView(QTreeWidgetItem* item, const DeviceItemView& view)
{
    if (!item) return;
    const bool wasInFlight = ItemInFlight(item);
    ShowView(item, view);
    // A current encoder that starts or ends an exchange changes what the sheet may do.
    if (item == SelectedItem() && wasInFlight != view.InFlight()) emit currentEncoderChanged(ItemRecord(item));
}

DeviceItemView CDeviceTree::ItemView(const QTreeWidgetItem* item)
{
    return item ? item->data(0, kViewRole).value<DeviceItemView>() : DeviceItemView{};
}

bool CDeviceTree::ItemInFlight(const QTreeWidgetItem* item)
{
    return ItemView(item).InFlight();
}

void CDeviceTree::ShowView(QTreeWidgetItem* item, const DeviceItemView& view)
{
    item->setData(0, kViewRole, QVariant::fromValue(view));
    QString state;
    if (view.InFlight())
        state = QStringLiteral("in flight");
    else if (view.state == DeviceItemView::State::Online && view.status && view.status->Busy())
        state = QStringLiteral("busy");
    else if (view.state == DeviceItemView::State::Online && view.status && view.status->KeyboardLocked())
        state = QStringLiteral("keyboard");
    else if (view.state == DeviceItemView::State::Online)
        state = QStringLiteral("online");
    else if (view.state == DeviceItemView::State::Offline)
        state = QStringLiteral("offline");
    item->setText(kColumnState, state);

    if (view.InFlight()) {
        item->setText(kColumnActivity, QStringLiteral("%1, %2 s left").arg(view.activity).arg(view.secondsLeft));
        item->setForeground(kColumnActivity, palette().brush(QPalette::Text));
    } else {
        item->setText(kColumnActivity, view.outcome);
        item->setForeground(kColumnActivity,
                            view.outcomeFailed ? QBrush(QColor(192, 0, 0)) : palette().brush(QPalette::Text));
    }
    item->setToolTip(kColumnActivity, item->text(kColumnActivity));

    item->setText(kColumnProg1Output, ProgramText(view, &DeviceStatusReading::HasOutput, 1, "running", "none"));
    item->setText(kColumnProg1Input, ProgramText(view, &DeviceStatusReading::HasInput, 1, "present", "none"));
    item->setText(kColumnProg2Output, ProgramText(view, &DeviceStatusReading::HasOutput, 2, "running", "none"));
    item->setText(kColumnProg2Input, ProgramText(view, &DeviceStatusReading::HasInput, 2, "present", "none"));
    const bool hot = view.overTemperature;
    const int temperature = view.status && view.status->HasTemperature() ? view.status->Temperature() : 0;
    item->setText(kColumnTemperature, temperature != 0 ? QStringLiteral("%1 \u00B0C").arg(temperature) : QString());
    item->setForeground(kColumnTemperature, hot ? QBrush(QColor(192, 0, 0)) : palette().brush(QPalette::Text));
    item->setText(kColumnLastRead,
                  view.lastRead.isValid() ? view.lastRead.toString(QStringLiteral("HH:mm:ss")) : QString());
    item->setToolTip(kColumnLastRead, view.lastRead.isValid() ? view.lastRead.toString(Qt::ISODate) : QString());
    item->setText(kColumnPending, QString::number(view.pendingEdits));

    item->setData(kColumnState, kSortRole, state);
    item->setData(kColumnActivity, kSortRole, item->text(kColumnActivity));
    for (int column : {kColumnProg1Output, kColumnProg1Input, kColumnProg2Output, kColumnProg2Input})
        item->setData(column, kSortRole, item->text(column));
    item->setData(kColumnTemperature, kSortRole, temperature);
    item->setData(kColumnLastRead, kSortRole, view.lastRead.isValid() ? view.lastRead.toMSecsSinceEpoch() : qint64(0));
    item->setData(kColumnPending, kSortRole, view.pendingEdits);
}

bool CDeviceTree::SelectionIdle() const
{
    const QList<QTreeWidgetItem*> items = SelectedEncoderItems();
    if (items.isEmpty()) return false;
    for (const QTreeWidgetItem* item : items)
        if (ItemInFlight(item)) return false;
    return true;
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
        QTreeWidget::drawBranches(painter, rect, index);
        return;
    }
    const int x = rect.right() - indentation() / 2;
    const int y = rect.center().y();
    const bool first = index.row() == 0;
    const bool last = index.row() == topLevelItemCount() - 1;
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
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (event->button() == Qt::RightButton) {
        setFocus(Qt::MouseFocusReason);
        if (item && !item->isSelected())
            SelectOnly(item);
        else if (item)
            setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
        event->accept();
        return;
    }
    if (!item) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CDeviceTree::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

void CDeviceTree::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    QPoint at = event->globalPos();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        const QTreeWidgetItem* item = SelectedItem();
        const QRect cell = item ? visualItemRect(item) : QRect(QPoint(0, 0), QSize(0, 0));
        at = viewport()->mapToGlobal(cell.bottomLeft());
    }
    QMenu menu(this);
    FillContextMenu(menu);
    QAction* chosen = m_trackMenu ? m_trackMenu(menu, at) : menu.exec(at);
    if (chosen) OnCommand(chosen->data().toInt());
}

void CDeviceTree::OnSelectionChanged()
{
    QTreeWidgetItem* current = SelectedItem();
    if (current != m_lastCurrent) {
        m_lastCurrent = current;
        emit currentEncoderChanged(ItemRecord(current));
    }
    emit encoderSelectionChanged();
}

void CDeviceTree::OnHeaderClicked(int column)
{
    m_sortOrder =
        (column == m_sortColumn && m_sortOrder == Qt::AscendingOrder) ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_sortColumn = column;
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column, m_sortOrder);
    sortItems(column, m_sortOrder);
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
