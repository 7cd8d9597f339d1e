#pragma once

#include "CRowEditorItem.h"

#include <QLineEdit>

// A row edited in a single-line edit box. The edit is reported once per activation, when
// Enter is pressed or the box loses the focus.
class CRowEdit : public QLineEdit, public CRowEditorItem {
    Q_OBJECT
public:
    explicit CRowEdit(int commandId);
    ~CRowEdit() override;

    // Creates the editor on an inserted row (REO_NUMBER: digits only); 0 when the row is
    // not inserted or the editor exists already.
    int CreateEditItem(uint32_t options, uint32_t extraStyle = 0);
    // Shows the number as decimal text; reports nothing.
    void SetEditInt(int value);
    uint32_t GetEditOptions() const { return m_options; }

    // A secret (a password): the cell shows a fixed mask whatever the text's length, the
    // open editor shows one dot per character; the value stays the text.
    void SetMasked(bool masked);
    bool IsMasked() const { return m_masked; }

    QString GetValueText() const override;
    RowValue::Type ValueType() const override { return RowValue::Type::Text; }
    RowValue GetValue() const override { return RowValue::Text(text()); }
    void SetValue(const RowValue& value) override;

protected:
    QWidget* Editor() override { return this; }
    void PrepareToOpen() override;
    void RevertEdit() override { setText(m_openText); }

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString m_openText;   // the text when the editor opened
    uint32_t m_options = 0;
    bool m_masked = false;
};
