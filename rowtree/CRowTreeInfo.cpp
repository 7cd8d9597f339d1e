#include "CRowTreeInfo.h"

#include "CRowTree.h"
#include "RowTreeColors.h"

#include <QPainter>

using namespace RowTreeMetrics;

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
        painter.drawText(contentsRect().adjusted(kInfoTextInset, kInfoTextInset, -kInfoTextInset, -kInfoTextInset),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    }
    QFrame::paintEvent(event);
}
