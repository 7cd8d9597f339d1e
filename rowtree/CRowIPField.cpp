#include "CRowIPField.h"
#include "CIPAddressCtrl.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <algorithm>

CRowIPField::CRowIPField(CIPAddressCtrl* target, int index, QWidget* parent)
    : QLineEdit(parent), m_target(target), m_index(index)
{
    setFrame(false);
    setAlignment(Qt::AlignCenter);
    setMaxLength(CRowIPField::kMaxDigits);
    setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this));
    setContextMenuPolicy(Qt::NoContextMenu);
    // The control is one stop of the Tab order; its fields are reached by typing or a click.
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_MacShowFocusRect, false);
}

int CRowIPField::Value() const
{
    return text().isEmpty() ? 0 : std::min(text().toInt(), CRowIPField::kMaxValue);
}

bool CRowIPField::event(QEvent* event)
{
    if (m_target && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
        m_target->OnFieldEscape(event)) {
        return true;
    }
    if (event->type() == QEvent::KeyPress && m_target) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && m_target->OnFieldTab(m_index, key)) {
            return true;
        }
    }
    return QLineEdit::event(event);
}

void CRowIPField::keyPressEvent(QKeyEvent* event)
{
    if (!m_target) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    switch (event->key()) {
    case Qt::Key_Period:
        if (plain) {
            // Only at the end of a number: after a third digit has moved on, the "." the
            // operator types next belongs to the field left behind and is ignored.
            if (!text().isEmpty() && !hasSelectedText() && cursorPosition() == text().size()) {
                m_target->OnFieldNext(m_index);
            }
            event->accept();
            return;
        }
        break;
    case Qt::Key_Backspace:
        if (cursorPosition() == 0 && !hasSelectedText()) {
            m_target->MoveToField(m_index - 1, false, true);
            event->accept();
            return;
        }
        break;
    case Qt::Key_Left:
        if (plain && cursorPosition() == 0 && !hasSelectedText()) {
            m_target->MoveToField(m_index - 1, false, true);
            event->accept();
            return;
        }
        break;
    case Qt::Key_Right:
        if (plain && cursorPosition() == text().size() && !hasSelectedText()) {
            m_target->MoveToField(m_index + 1, false, false);
            event->accept();
            return;
        }
        break;
    case Qt::Key_Delete:
        if (m_target->m_deleteAdvances) {
            // The key still acts in this field; the next field then takes the focus.
            QLineEdit::keyPressEvent(event);
            m_target->OnFieldNext(m_index);
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_target->OnFieldReturn(m_index)) {
            event->accept();
            return;
        }
        break;
    default:
        break;
    }

    const QString before = text();
    QLineEdit::keyPressEvent(event);
    if (text() != before) {
        m_target->FieldEdited(m_index);
        const QString typed = event->text();
        const bool digitTyped = typed.size() == 1 && typed.at(0).isDigit();
        if (digitTyped && text().size() == CRowIPField::kMaxDigits && cursorPosition() == CRowIPField::kMaxDigits) {
            m_target->OnFieldNext(m_index);
        }
    }
}

void CRowIPField::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (m_target) {
        m_target->OnFieldFocusIn(m_index);
    }
}

void CRowIPField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // A context menu or a drop-down of the platform takes the focus only for a moment.
    if (m_target && event->reason() != Qt::PopupFocusReason) {
        m_target->OnFieldFocusOut(m_index, QApplication::focusWidget());
    }
}
