#include "CMessagePane.h"

#include <QHeaderView>
#include <QMenu>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "AppIds.h"

namespace {

constexpr int kImageRole = Qt::UserRole;   // the line's image index, drawn by nothing
constexpr int kImageColumnWidth = 20;
constexpr int kMessageColumnWidth = 800;

// The heading is padded so that "Message" sits roughly over the middle of the column.
const char* const kMessageHeading = "                                             Message";

}   // namespace

CMessagePane::CMessagePane(QWidget* parent) : QFrame(parent), m_list(new QTreeWidget(this))
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);

    m_list->setObjectName(QStringLiteral("IDC_MESSAGE_LIST"));
    m_list->setFrameStyle(QFrame::NoFrame);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSortingEnabled(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setColumnCount(2);
    auto* heading = new QTreeWidgetItem;
    heading->setText(0, QStringLiteral("I"));
    heading->setTextAlignment(0, Qt::AlignCenter);
    heading->setText(1, QString::fromLatin1(kMessageHeading));
    heading->setTextAlignment(1, Qt::AlignLeft | Qt::AlignVCenter);
    m_list->setHeaderItem(heading);
    m_list->header()->setSectionsClickable(false);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setMinimumSectionSize(kImageColumnWidth);
    m_list->setColumnWidth(0, kImageColumnWidth);
    m_list->setColumnWidth(1, kMessageColumnWidth);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, &CMessagePane::OnListRightClick);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
}

void CMessagePane::AddMessage(int image, const QString& text)
{
    auto* line = new QTreeWidgetItem;
    line->setData(0, kImageRole, image);
    line->setText(1, text);
    m_list->insertTopLevelItem(0, line);
}

void CMessagePane::DeleteAllMessages()
{
    m_list->clear();
}

int CMessagePane::MessageCount() const
{
    return m_list->topLevelItemCount();
}

QString CMessagePane::MessageText(int line) const
{
    const QTreeWidgetItem* item = m_list->topLevelItem(line);
    return item ? item->text(1) : QString();
}

int CMessagePane::MessageImage(int line) const
{
    const QTreeWidgetItem* item = m_list->topLevelItem(line);
    return item ? item->data(0, kImageRole).toInt() : -1;
}

void CMessagePane::SetCommandState(bool encoderSelected, bool enabled)
{
    m_encoderSelected = encoderSelected;
    m_commandEnabled = encoderSelected && enabled;
}

// The popup belongs to an encoder: with nothing selected there is nothing to ask.
void CMessagePane::OnListRightClick(const QPoint& pos)
{
    if (!m_encoderSelected) return;
    QMenu menu(this);
    QAction* read = menu.addAction(QStringLiteral("Read Device Message"));
    read->setData(ID_READ_DEVICE_MESSAGE);
    read->setEnabled(m_commandEnabled);
    const QPoint at = m_list->viewport()->mapToGlobal(pos);
    if (QAction* chosen = m_trackMenu ? m_trackMenu(menu, at) : menu.exec(at)) OnCommand(chosen->data().toInt());
}

bool CMessagePane::OnCommand(int id)
{
    if (id != ID_READ_DEVICE_MESSAGE) return false;
    emit commandRequested(id);
    return true;
}
