#include "CRowCombo.h"
#include "CRowTree.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QWheelEvent>

CRowCombo::CRowCombo(int commandId)
{
    m_commandId = commandId;
    hide();
}

CRowCombo::~CRowCombo() = default;

int CRowCombo::CreateComboItem(uint32_t)
{
    CRowTreeList* list = OwnerList();
    if (!list || m_created) {
        return 0;
    }
    setParent(list);
    setFont(CRowTree::NormalFont());
    connect(this, &QComboBox::activated, this, &CRowCombo::UserActivated);
    // The closed editor's entry is painted by the list: any change, by code too, shows.
    connect(this, &QComboBox::currentIndexChanged, list, [list] { list->update(list->ClientRect()); });
    m_created = true;
    MoveOntoCell();
    hide();
    return 1;
}

int CRowCombo::AddString(const QString& text)
{
    addItem(text);
    return count() - 1;
}

void CRowCombo::SetCurSel(int index)
{
    setCurrentIndex(index);
    if (GetOwner()) {
        GetOwner()->Repaint();
    }
}

void CRowCombo::MoveOntoCell()
{
    PlaceOnValueCell(this);
}

// The toolkit reports every choice, also of the entry already shown; only a change is
// an edit worth reporting.
void CRowCombo::UserActivated(int index)
{
    if (index == m_indexBeforeUser) {
        return;
    }
    m_indexBeforeUser = index;
    SendCommand();
}

void CRowCombo::showPopup()
{
    m_indexBeforeUser = currentIndex();
    QComboBox::showPopup();
}

void CRowCombo::keyPressEvent(QKeyEvent* event)
{
    m_indexBeforeUser = currentIndex();
    QComboBox::keyPressEvent(event);
}

void CRowCombo::wheelEvent(QWheelEvent* event)
{
    m_indexBeforeUser = currentIndex();
    QComboBox::wheelEvent(event);
}

void CRowCombo::OnDrawValue(QPainter& painter, const QRect& cell)
{
    if (m_hasFocus || !GetOwner() || !m_created) {
        return;
    }
    DrawValueText(painter, cell, currentText(), EffectiveValueColor(GetValueTextColor()));
}

void CRowCombo::OnActivate()
{
    if (!m_created) {
        return;
    }
    show();
    MoveOntoCell();
    raise();
    setFocus(Qt::OtherFocusReason);
}

void CRowCombo::OnResize()
{
    if (!m_created) {
        return;
    }
    MoveOntoCell();
    if (!m_hasFocus) {
        hide();
    }
}

void CRowCombo::OnMove()
{
    if (m_created) {
        MoveOntoCell();
    }
}

void CRowCombo::OnCommit()
{
    if (m_created) {
        HideEditor(this);
    }
}

void CRowCombo::OnDestroyEditor()
{
    if (m_created) {
        HideEditor(this);
    }
}

void CRowCombo::OnDeselect()
{
    if (m_created) {
        HideEditor(this);
    }
}

bool CRowCombo::event(QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && ForwardTabToList(key)) {
            return true;
        }
    }
    return QComboBox::event(event);
}

void CRowCombo::focusInEvent(QFocusEvent* event)
{
    QComboBox::focusInEvent(event);
    m_hasFocus = true;
}

void CRowCombo::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    // The open drop-down list takes the focus only for a while; the edit goes on in it.
    QWidget* gaining = QApplication::focusWidget();
    if (event->reason() == Qt::PopupFocusReason || (gaining && view()->window()->isAncestorOf(gaining))) {
        return;
    }
    if (IsActivated()) {
        m_hasFocus = false;
        CommitChanges();
    }
}
