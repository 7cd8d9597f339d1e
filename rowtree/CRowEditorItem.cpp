#include "CRowEditorItem.h"

#include "CRowTree.h"

#include <QKeyEvent>

CRowEditorItem::CRowEditorItem(int commandId, CommitReport report) : m_report(report)
{
    m_commandId = commandId;
}

CRowEditorItem::~CRowEditorItem() = default;

void CRowEditorItem::PlaceEditor()
{
    PlaceOnValueCell(Editor());
}

void CRowEditorItem::FocusEditor()
{
    Editor()->setFocus(Qt::OtherFocusReason);
}

CRowTreeList* CRowEditorItem::AttachEditor()
{
    CRowTreeList* list = OwnerList();
    if (!list || m_created) {
        return nullptr;
    }
    Editor()->setParent(list);
    // Most often the editor takes the rows' font from its parents already; setting it again
    // would make a combo box measure its whole list anew, for every row of the sheet.
    if (Editor()->font() != CRowTree::NormalFont()) Editor()->setFont(CRowTree::NormalFont());
    m_created = true;
    return list;
}

void CRowEditorItem::CloseOnCell()
{
    PlaceEditor();
    Editor()->hide();
}

void CRowEditorItem::EndEditOnFocusLoss()
{
    if (IsActivated()) {
        m_hasFocus = false;
        CommitChanges();
    }
}

bool CRowEditorItem::TakeEscapeKey(QEvent* event)
{
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress) {
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier || !IsActivated() || !OwnerList()) {
        return false;
    }
    event->accept();
    if (event->type() == QEvent::KeyPress) {
        RevertEdit();
        // The editor closes as it does when it loses the focus, now with its first value.
        OwnerList()->setFocus(Qt::OtherFocusReason);
    }
    return true;
}

bool CRowEditorItem::ForwardTabKey(QEvent* event)
{
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    return (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && ForwardTabToList(key);
}

void CRowEditorItem::OnDrawValue(QPainter& painter, const QRect& cell)
{
    // While the editor has the focus the live editor shows instead.
    if (m_hasFocus || !GetOwner() || !m_created) {
        return;
    }
    DrawValueText(painter, cell, GetValueText(), ShownValueColor());
}

void CRowEditorItem::OnActivate()
{
    if (!m_created) {
        return;
    }
    Editor()->show();
    PrepareToOpen();
    PlaceEditor();
    Editor()->raise();
    FocusEditor();
}

void CRowEditorItem::OnResize()
{
    if (!m_created) {
        return;
    }
    PlaceEditor();
    if (!m_hasFocus) {
        Editor()->hide();
    }
}

void CRowEditorItem::OnMove()
{
    if (m_created) {
        PlaceEditor();
    }
}

void CRowEditorItem::OnCommit()
{
    if (!m_created) {
        return;
    }
    if (m_report == CommitReport::BeforeHide) {
        SendCommand();
    }
    HideEditor(Editor());
    if (m_report == CommitReport::AfterHide) {
        SendCommand();
    }
}

void CRowEditorItem::OnDestroyEditor()
{
    if (m_created) {
        HideEditor(Editor());
    }
}

void CRowEditorItem::OnDeselect()
{
    if (m_created) {
        HideEditor(Editor());
    }
}

void CRowEditorItem::RepaintOwnRow()
{
    if (CRowTree* owner = GetOwner()) {
        owner->RepaintRow(this);
    }
}
