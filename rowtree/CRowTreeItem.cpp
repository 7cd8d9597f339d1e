#include "CRowTreeItem.h"
#include "RowTreeColors.h"
#include "CRowTree.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <algorithm>

CRowTreeItem::CRowTreeItem()
{
    // Colours are taken from the palette once: a later palette change leaves them.
    const QPalette palette = QApplication::palette();
    m_valueBackColor = palette.color(QPalette::Active, QPalette::Base);
    m_valueTextColor = palette.color(QPalette::Active, QPalette::ButtonText);
    m_headingColor = palette.color(QPalette::Active, QPalette::Button);
    m_labelTextColor = palette.color(QPalette::Active, QPalette::ButtonText);
    m_labelBackColor = palette.color(QPalette::Active, QPalette::Base);
}

CRowTreeItem::~CRowTreeItem() = default;

void CRowTreeItem::SetLabelText(const QString& text)
{
    m_label = text;
    if (m_owner) {
        m_owner->Repaint();
    }
}

bool CRowTreeItem::HasShownLabel() const
{
    return std::any_of(m_label.begin(), m_label.end(), [](QChar c) { return c != QLatin1Char(' '); });
}

bool CRowTreeItem::IsHeading() const
{
    return m_owner && m_parent == m_owner->GetRootItem();
}

void CRowTreeItem::Expand(bool expand)
{
    if (!m_owner) {
        return;
    }
    m_expanded = expand;
    m_owner->WalkTree([expand](CRowTreeItem* row) { row->OnExpand(expand); }, this);
}

void CRowTreeItem::SetReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    if (m_owner) {
        m_owner->Repaint();
    }
}

void CRowTreeItem::SetBackColor(const QColor& color)
{
    m_valueBackColor = color;
    if (m_owner) {
        m_owner->Repaint();
    }
}

void CRowTreeItem::SetEmphasis(bool bold, const QColor& stripe)
{
    m_labelBold = bold;
    m_stripeColor = stripe;
}

void CRowTreeItem::SetHeadingColor(const QColor& color)
{
    m_headingColor = color;
    if (m_owner) {
        m_owner->Repaint();
    }
}

void CRowTreeItem::Select(bool select)
{
    m_selected = select;
    if (select) {
        OnSelect();
    } else {
        OnDeselect();
    }
}

void CRowTreeItem::Activate()
{
    m_activated = true;
    m_committed = false;
    OnActivate();
}

void CRowTreeItem::CommitChanges()
{
    m_activated = false;
    // Enter and the loss of focus that follows it both end here: one report per edit.
    if (m_committed) {
        return;
    }
    m_committed = true;
    if (!m_owner) {
        return;
    }
    OnCommit();
    m_owner->WalkTree([](CRowTreeItem* row) { row->OnMove(); }, this);
    m_owner->Refresh();
}

CRowTreeList* CRowTreeItem::OwnerList() const
{
    return m_owner ? m_owner->GetList() : nullptr;
}

void CRowTreeItem::SendCommand() const
{
    if (m_owner && m_commandId != 0) {
        m_owner->SendCommand(m_commandId);
    }
}

QColor CRowTreeItem::EffectiveValueColor(const QColor& normal) const
{
    const bool enabled = m_owner && m_owner->isEnabled();
    if (!m_readOnly && enabled) {
        return normal;
    }
    return QApplication::palette().color(QPalette::Disabled, QPalette::Text);
}

QColor CRowTreeItem::ShownValueColor() const
{
    return ReadableOn(EffectiveValueColor(ValueColor()), m_valueBackColor);
}

void CRowTreeItem::DrawValueText(QPainter& painter, const QRect& cell, const QString& text, const QColor& color) const
{
    painter.save();
    painter.setFont(CRowTree::NormalFont());
    painter.setPen(color);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    painter.restore();
}

void CRowTreeItem::HideEditor(QWidget* editor) const
{
    CRowTreeList* list = OwnerList();
    QWidget* focused = editor->window()->focusWidget();
    if (list && (focused == editor || editor->isAncestorOf(focused))) {
        list->setFocus(Qt::OtherFocusReason);
    }
    editor->hide();
}

bool CRowTreeItem::ForwardTabToList(QKeyEvent* event) const
{
    CRowTreeList* list = OwnerList();
    if (!list || !m_activated) {
        return false;
    }
    list->setFocus(Qt::TabFocusReason);
    QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text());
    QCoreApplication::sendEvent(list, &copy);
    return true;
}

void CRowTreeItem::PlaceOnValueCell(QWidget* editor) const
{
    editor->setGeometry(m_valueRect);
}

void CRowTreeItem::SetValue(const RowValue&)
{}
void CRowTreeItem::OnDrawValue(QPainter&, const QRect&)
{}
void CRowTreeItem::OnActivate()
{}
void CRowTreeItem::OnResize()
{}
void CRowTreeItem::OnMove()
{}
void CRowTreeItem::OnCommit()
{}
void CRowTreeItem::OnDestroyEditor()
{}
void CRowTreeItem::OnDeselect()
{}
void CRowTreeItem::OnSelect()
{}
void CRowTreeItem::OnExpand(bool)
{}
