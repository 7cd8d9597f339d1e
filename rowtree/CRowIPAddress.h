#pragma once

#include "CIPAddressCtrl.h"
#include "CRowEditorItem.h"

// A row edited in a four-field IP-address control. The edit is reported when the focus
// leaves the control for another part of the same row tree (or Enter is pressed); focus
// going outside the tree (another pane, a message box) leaves the editor open.
class CRowIPAddress : public CIPAddressCtrl, public CRowEditorItem {
    Q_OBJECT
public:
    explicit CRowIPAddress(int commandId);
    ~CRowIPAddress() override;

    // Creates the editor on an inserted row; 0 when the row is not inserted or the editor
    // exists already.
    int CreateIPAddressItem(uint32_t extraStyle = 0);

    // The address as the value cell shows it, "%d.%d.%d.%d".
    QString GetValueText() const override;
    RowValue::Type ValueType() const override { return RowValue::Type::Address; }
    RowValue GetValue() const override { return RowValue::Address(GetAddress()); }
    // An address shows it; no value (RowValue::Type::None) leaves the row blank.
    void SetValue(const RowValue& value) override;

protected:
    QWidget* Editor() override { return this; }
    // On the cell, with the four fields laid out across it.
    void PlaceEditor() override;
    void FocusEditor() override { SetFieldFocus(0); }
    QColor ClosedValueColor() const override;
    void OnDeselect() override;

    void OnFieldFocusIn(int index) override;
    void OnFieldFocusOut(int index, QWidget* gaining) override;
    bool OnFieldNext(int index) override;
    bool OnFieldReturn(int index) override;
    bool OnFieldTab(int index, QKeyEvent* event) override;
    bool OnFieldEscape(QEvent* event) override { return TakeEscapeKey(event); }
    void PrepareToOpen() override { m_openAddress = GetAddress(); }
    void RevertEdit() override { SetAddress(m_openAddress); }
    QColor DotColor() const override;

private:
    uint32_t m_openAddress = 0;   // the address when the editor opened
};
