#include "CRowEdit.h"
#include "CRowTree.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QRegularExpressionValidator>

CRowEdit::CRowEdit(int commandId)
{
    m_commandId = commandId;
    hide();
}

CRowEdit::~CRowEdit() = default;

int CRowEdit::CreateEditItem(uint32_t options, uint32_t)
{
    CRowTreeList* list = OwnerList();
    if (!list || m_created) {
        return 0;
    }
    setParent(list);
    if (options & REO_NUMBER) {
        setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    }
    m_options = options;
    // The closed editor's text is painted by the list: any change, by code too, shows.
    connect(this, &QLineEdit::textChanged, list, [list] { list->update(list->ClientRect()); });
    setFont(CRowTree::NormalFont());
    setCursorPosition(0);
    m_created = true;
    MoveOntoCell();
    hide();
    return 1;
}

void CRowEdit::SetEditInt(int value)
{
    if (m_created) {
        setText(QString::number(value));
        if (GetOwner()) {
            GetOwner()->Repaint();
        }
    }
}

void CRowEdit::MoveOntoCell()
{
    PlaceOnValueCell(this);
}

void CRowEdit::OnDrawValue(QPainter& painter, const QRect& cell)
{
    if (m_hasFocus || !GetOwner() || !m_created) {
        return;
    }
    DrawValueText(painter, cell, text(), EffectiveValueColor(GetValueTextColor()));
}

void CRowEdit::OnActivate()
{
    if (!m_created) {
        return;
    }
    show();
    setCursorPosition(0);
    MoveOntoCell();
    raise();
    setFocus(Qt::OtherFocusReason);
}

void CRowEdit::OnResize()
{
    if (!m_created) {
        return;
    }
    MoveOntoCell();
    if (!m_hasFocus) {
        hide();
    }
}

void CRowEdit::OnMove()
{
    if (m_created) {
        MoveOntoCell();
    }
}

void CRowEdit::OnCommit()
{
    if (!m_created) {
        return;
    }
    SendCommand();
    HideEditor(this);
}

void CRowEdit::OnDestroyEditor()
{
    if (m_created) {
        HideEditor(this);
    }
}

void CRowEdit::OnDeselect()
{
    if (m_created) {
        HideEditor(this);
    }
}

bool CRowEdit::event(QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && ForwardTabToList(key)) {
            return true;
        }
    }
    return QLineEdit::event(event);
}

void CRowEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_hasFocus = false;
        if (IsActivated()) {
            CommitChanges();
        }
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CRowEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    m_hasFocus = true;
}

void CRowEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // The edit's own context menu takes the focus only for a moment.
    if (event->reason() == Qt::PopupFocusReason) {
        return;
    }
    if (IsActivated()) {
        m_hasFocus = false;
        CommitChanges();
    }
}
