#include "CRowIPAddress.h"
#include "CRowIPField.h"
#include "CRowTree.h"

#include <QApplication>
#include <QLineEdit>

CRowIPAddress::CRowIPAddress(int commandId)
{
    m_commandId = commandId;
    setFrameStyle(QFrame::NoFrame);
    m_deleteAdvances = true;
    hide();
}

CRowIPAddress::~CRowIPAddress() = default;

int CRowIPAddress::CreateIPAddressItem(uint32_t)
{
    CRowTreeList* list = OwnerList();
    if (!list || m_created) {
        return 0;
    }
    setParent(list);
    setFont(CRowTree::NormalFont());
    // The closed editor's address is painted by the list: any change, by code too, shows.
    for (int i = 0; i < kFieldCount; ++i) {
        connect(Field(i), &QLineEdit::textChanged, list, [list] { list->update(list->ClientRect()); });
    }
    m_created = true;
    PlaceOnCell();
    hide();
    return 1;
}

QString CRowIPAddress::GetValueText() const
{
    // A row never given an address shows nothing rather than an address no one set.
    if (IsBlank()) {
        return QString();
    }
    const uint32_t a = GetAddress();
    return QStringLiteral("%1.%2.%3.%4").arg(a >> 24).arg((a >> 16) & 0xFF).arg((a >> 8) & 0xFF).arg(a & 0xFF);
}

void CRowIPAddress::PlaceOnCell()
{
    PlaceOnValueCell(this);
    LayoutFields();
}

void CRowIPAddress::OnDrawValue(QPainter& painter, const QRect& cell)
{
    if (m_hasFocus || !GetOwner() || !m_created) {
        return;
    }
    const QColor normal = QApplication::palette().color(QPalette::Active, QPalette::WindowText);
    DrawValueText(painter, cell, GetValueText(), EffectiveValueColor(normal));
}

void CRowIPAddress::OnActivate()
{
    if (!m_created) {
        return;
    }
    show();
    PlaceOnCell();
    raise();
    SetFieldFocus(0);
}

void CRowIPAddress::OnResize()
{
    if (!m_created) {
        return;
    }
    PlaceOnCell();
    if (!m_hasFocus) {
        hide();
    }
}

void CRowIPAddress::OnMove()
{
    if (m_created) {
        PlaceOnCell();
    }
}

void CRowIPAddress::OnCommit()
{
    if (!m_created) {
        return;
    }
    HideEditor(this);
    SendCommand();
}

void CRowIPAddress::OnDestroyEditor()
{
    if (m_created) {
        HideEditor(this);
    }
}

void CRowIPAddress::OnDeselect()
{
    if (!m_created) {
        return;
    }
    // An edit left open while the focus was in another pane ends when the operator comes
    // back and picks another row: hiding it silently would show an address that was
    // never reported.
    if (IsActivated()) {
        m_hasFocus = false;
        CommitChanges();
        return;
    }
    HideEditor(this);
}

void CRowIPAddress::OnFieldFocusIn(int index)
{
    CIPAddressCtrl::OnFieldFocusIn(index);
    m_hasFocus = true;
}

void CRowIPAddress::OnFieldFocusOut(int index, QWidget* gaining)
{
    CIPAddressCtrl::OnFieldFocusOut(index, gaining);
    if (!IsActivated() || !GetOwner() || !gaining || gaining == this || IsField(gaining)) {
        return;
    }
    // Only a move to another part of this tree ends the edit; the focus going to another
    // pane or to a message box leaves the editor open for the operator to come back to.
    if (GetOwner()->isAncestorOf(gaining)) {
        m_hasFocus = false;
        CommitChanges();
    }
}

bool CRowIPAddress::OnFieldNext(int index)
{
    if (!IsActivated()) {
        return false;
    }
    return CIPAddressCtrl::OnFieldNext(index);
}

bool CRowIPAddress::OnFieldReturn(int)
{
    if (!IsActivated() || !OwnerList()) {
        return false;
    }
    OwnerList()->setFocus(Qt::OtherFocusReason);
    return true;
}

bool CRowIPAddress::OnFieldTab(int, QKeyEvent* event)
{
    return ForwardTabToList(event);
}

QColor CRowIPAddress::DotColor() const
{
    return GetValueTextColor();
}
