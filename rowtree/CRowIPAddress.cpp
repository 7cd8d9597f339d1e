#include "CRowIPAddress.h"
#include "CRowIPField.h"
#include "CRowTree.h"

#include <QApplication>
#include <QLineEdit>

CRowIPAddress::CRowIPAddress(int commandId) : CRowEditorItem(commandId, CommitReport::AfterHide)
{
    setFrameStyle(QFrame::NoFrame);
    m_deleteAdvances = true;
    hide();
}

CRowIPAddress::~CRowIPAddress() = default;

int CRowIPAddress::CreateIPAddressItem(uint32_t)
{
    if (!AttachEditor()) {
        return 0;
    }
    for (int i = 0; i < kFieldCount; ++i) {
        RepaintRowsOn(Field(i), &QLineEdit::textChanged);
    }
    CloseOnCell();
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

void CRowIPAddress::PlaceEditor()
{
    PlaceOnValueCell(this);
    LayoutFields();
}

void CRowIPAddress::SetValue(const RowValue& value)
{
    if (value.type == RowValue::Type::Address) {
        SetAddress(value.address);
    } else if (value.type == RowValue::Type::None) {
        ClearAddress();
    }
}

QColor CRowIPAddress::ClosedValueColor() const
{
    return QApplication::palette().color(QPalette::Active, QPalette::WindowText);
}

void CRowIPAddress::OnDeselect()
{
    if (!HasEditor()) {
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
    CRowEditorItem::OnDeselect();
}

void CRowIPAddress::OnFieldFocusIn(int index)
{
    CIPAddressCtrl::OnFieldFocusIn(index);
    EditorFocusIn();
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
