#include "CDeviceTree.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include "AppIds.h"
#include "CMainFrame.h"
#include "CMessagePane.h"
#include "CPrompter.h"
#include "Dialogs.h"
#include "EncoderLink.h"
#include "Pictures.h"
#include "Socket.h"

namespace {

constexpr int kRecordRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;

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

}  // namespace

EncoderRecord* NewEncoderRecord()
{
    ++g_liveRecords;
    return new EncoderRecord{};
}

void FreeEncoderRecord(EncoderRecord* record)
{
    if (!record)
        return;
    --g_liveRecords;
    delete record;
}

int LiveEncoderRecords()
{
    return g_liveRecords;
}

CDeviceTree::CDeviceTree(CMainFrame& frame, QWidget* parent) : QTreeWidget(parent), m_frame(frame)
{
    setObjectName(QStringLiteral("DeviceTree"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);   // lines at root, as a tree of encoders would show them
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setIconSize(QSize(kDeviceImageSize, kDeviceImageSize));
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CDeviceTree::OnSelectionChanged);
}

CDeviceTree::~CDeviceTree()
{
    // The frame is already half gone: no selection handling, no frame calls from here.
    blockSignals(true);
    while (QTreeWidgetItem* item = topLevelItem(0))
        RemoveEncoderItem(item);
}

QTreeWidgetItem* CDeviceTree::SelectedItem() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void CDeviceTree::SelectNone()
{
    clearSelection();
    setCurrentItem(nullptr);
}

EncoderRecord* CDeviceTree::ItemRecord(const QTreeWidgetItem* item)
{
    if (!item)
        return nullptr;
    return reinterpret_cast<EncoderRecord*>(item->data(0, kRecordRole).value<quintptr>());
}

QTreeWidgetItem* CDeviceTree::InsertEncoderItem(const QString& text, EncoderRecord* record)
{
    auto* item = new QTreeWidgetItem(QStringList(text));
    item->setData(0, kRecordRole, QVariant::fromValue(reinterpret_cast<quintptr>(record)));
    addTopLevelItem(item);
    SetItemImage(item, IMAGE_OFFLINE);
    return item;
}

void CDeviceTree::RemoveEncoderItem(QTreeWidgetItem* item)
{
    if (!item)
        return;
    FreeEncoderRecord(ItemRecord(item));
    item->setData(0, kRecordRole, QVariant());
    delete item;
}

void CDeviceTree::SetItemImage(QTreeWidgetItem* item, int image)
{
    if (!item)
        return;
    item->setData(0, kImageRole, image);
    item->setIcon(0, DeviceImages().value(image));
}

int CDeviceTree::ItemImage(const QTreeWidgetItem* item)
{
    return item ? item->data(0, kImageRole).toInt() : -1;
}

void CDeviceTree::FillContextMenu(QMenu& menu) const
{
    const bool selected = SelectedItem() != nullptr;
    for (const MenuCommand& command : kMenuCommands) {
        QAction* action = menu.addAction(QString::fromLatin1(command.text));
        action->setData(command.id);
        action->setEnabled(!command.needsSelection || selected);
        if (command.separatorAfter)
            menu.addSeparator();
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

// Picking an item always selects it; Ctrl+click or Ctrl+Space do not take the choice away.
QItemSelectionModel::SelectionFlags CDeviceTree::selectionCommand(const QModelIndex& index, const QEvent* event) const
{
    const QItemSelectionModel::SelectionFlags flags = QTreeWidget::selectionCommand(index, event);
    if (!(flags & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle)))
        return flags;
    return index.isValid() ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                           : QItemSelectionModel::NoUpdate;
}

// A right click leaves the selection alone: the commands act on the selected encoder,
// which need not be the item under the mouse. The menu itself comes with the context
// menu event, so that the keyboard's menu key opens it too.
void CDeviceTree::mousePressEvent(QMouseEvent* event)
{
    // Nor does a click below the items: the current encoder stays chosen until another
    // item is picked or the encoder is deleted.
    if (event->button() == Qt::RightButton || !itemAt(event->position().toPoint())) {
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
    if (QAction* chosen = m_frame.Prompter().TrackPopupMenu(menu, at))
        OnCommand(chosen->data().toInt());
}

void CDeviceTree::OnSelectionChanged()
{
    if (const EncoderRecord* record = ItemRecord(SelectedItem()))
        m_frame.RefreshSheet(*record);
    m_frame.MessagePane()->DeleteAllMessages();
}

bool CDeviceTree::OnCommand(int id)
{
    switch (id) {
    case ID_SEARCH_ENCODER:
        OnSearchEncoder();
        return true;
    case ID_ADD_ENCODER:
        OnAddEncoder();
        return true;
    case ID_DEL_ENCODER:
        if (QTreeWidgetItem* item = SelectedItem())
            m_frame.DeleteEncoder(item);
        return true;
    case ID_READ_CONFIGURATION:
        OnReadConfiguration();
        return true;
    case ID_WRITE_CONFIGURATION:
        OnWriteConfiguration();
        return true;
    case ID_START_TS_IP:
        if (const EncoderRecord* record = ItemRecord(SelectedItem()))
            m_frame.StartTsToIp(*record);
        return true;
    case ID_STOP_TS_IP:
        if (const EncoderRecord* record = ItemRecord(SelectedItem()))
            m_frame.StopTsToIp(*record);
        return true;
    default:
        return false;
    }
}

void CDeviceTree::OnSearchEncoder()
{
    CSearchDeviceDlg dialog(this);
    if (m_frame.Prompter().RunDialog(dialog) == QDialog::Accepted)
        m_frame.SearchEncoder(dialog.Address());
}

void CDeviceTree::OnAddEncoder()
{
    CAddDeviceDlg dialog(this);
    if (m_frame.Prompter().RunDialog(dialog) == QDialog::Accepted)
        m_frame.AddEncoder(QString::fromStdString(DottedFromAddress(dialog.Address())));
}

// The status query that comes before a read or a write: an encoder that does not answer
// is marked offline, and a busy or keyboard-locked one is left alone.
bool CDeviceTree::PassStatusGate(QTreeWidgetItem* item, const EncoderRecord& record, bool markOnline)
{
    const int flags = m_frame.QueryStatus(record);
    if (flags < 0) {
        SetItemImage(item, IMAGE_OFFLINE);
        ShowWarning("Connect Device Failed !");
        return false;
    }
    if (markOnline)
        SetItemImage(item, IMAGE_ONLINE);
    if (flags & STATUS_BUSY) {
        ShowWarning("Device is busying !");
        return false;
    }
    if (flags & STATUS_KEYBOARD) {
        ShowWarning("Device is controled by keyboard !");
        return false;
    }
    return true;
}

void CDeviceTree::OnReadConfiguration()
{
    QTreeWidgetItem* item = SelectedItem();
    EncoderRecord* record = ItemRecord(item);
    if (!record || !PassStatusGate(item, *record, true))
        return;
    m_frame.ReadConfiguration(*record);
    m_frame.RefreshSheet(*record);   // a failed read shows what the record still holds
}

// An answered query before a write says nothing new about the item's image.
void CDeviceTree::OnWriteConfiguration()
{
    QTreeWidgetItem* item = SelectedItem();
    EncoderRecord* record = ItemRecord(item);
    if (!record || !PassStatusGate(item, *record, false))
        return;
    m_frame.WriteConfiguration(*record);
}

void CDeviceTree::ShowWarning(const char* text)
{
    m_frame.Prompter().MessageBox(this, QString::fromLatin1(text), QStringLiteral("Warning"),
                                  CPrompter::Icon::Exclamation);
}
