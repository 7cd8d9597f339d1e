#pragma once

#include "CRowTreeItem.h"

// A row that shows a fixed text and has no editor.
class CRowStatic : public CRowTreeItem {
public:
    CRowStatic();
    void SetStaticText(const QString& text);
    const QString& GetStaticText() const { return m_text; }
    QString GetValueText() const override { return m_text; }
    RowValue::Type ValueType() const override { return RowValue::Type::Text; }
    RowValue GetValue() const override { return RowValue::Text(m_text); }
    // Lays the tree out again only when the text changes.
    void SetValue(const RowValue& value) override;

protected:
    void OnDrawValue(QPainter& painter, const QRect& cell) override;

private:
    QString m_text;
};
