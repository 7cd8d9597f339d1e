#include "CRowStatic.h"
#include "CRowTree.h"

CRowStatic::CRowStatic() = default;

void CRowStatic::SetStaticText(const QString& text)
{
    m_text = text;
    if (GetOwner()) {
        GetOwner()->Repaint();
    }
}

void CRowStatic::OnDrawValue(QPainter& painter, const QRect& cell)
{
    DrawValueText(painter, cell, m_text, ShownValueColor());
}

void CRowStatic::SetValue(const RowValue& value)
{
    // A value shown anew repaints its own row; the rest of the list stays as it is.
    if (value.type == RowValue::Type::Text && value.text != m_text) {
        m_text = value.text;
        if (GetOwner()) {
            GetOwner()->RepaintRow(this);
        }
    }
}
