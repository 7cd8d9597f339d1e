#pragma once

#include "CRowEditorItem.h"

#include <QComboBox>

// A row edited in a drop-down list. Every selection change by the operator is reported at
// once; selections set by code are not.
class CRowCombo : public QComboBox, public CRowEditorItem {
    Q_OBJECT
public:
    explicit CRowCombo(int commandId);
    ~CRowCombo() override;

    // Creates the editor on an inserted row; 0 when the row is not inserted or the editor
    // exists already. Entries are added afterwards with AddString.
    int CreateComboItem(uint32_t extraStyle = 0);
    int AddString(const QString& text);   // index of the new entry
    void SetCurSel(int index);            // -1: no selection
    int GetCurSel() const { return currentIndex(); }

    QString GetValueText() const override { return currentText(); }
    RowValue::Type ValueType() const override { return RowValue::Type::Index; }
    RowValue GetValue() const override { return RowValue::Index(currentIndex()); }
    void SetValue(const RowValue& value) override;
    int DropDownHeight() const { return m_dropHeight; }
    void showPopup() override;

protected:
    QWidget* Editor() override { return this; }

    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void UserActivated(int index);

    int m_dropHeight = RowTreeMetrics::kComboDropHeight;
    int m_indexBeforeUser = -1;
};
