#pragma once

#include <QFrame>
#include <array>
#include <cstdint>

class CRowIPField;
class QKeyEvent;

// An IPv4 address entry of four number fields separated by painted dots. Typing "." (at
// the end of a number) or a third digit moves to the next field, Backspace at the start of a field (and Left at its
// start, Right at its end) to the neighbouring one. A number above 255 becomes 255.
// Addresses are 32-bit values in host order: the first field is the highest byte.
// Empty fields read as 0; a control whose four fields are all empty is blank.
class CIPAddressCtrl : public QFrame {
    Q_OBJECT
public:
    static constexpr int kFieldCount = 4;
    static constexpr int kFieldGap = 5;   // pixels before each field; the dots lie in it
    static constexpr int kTextRoom = 6;   // pixels above and below the digits in the size hint

    explicit CIPAddressCtrl(QWidget* parent = nullptr);
    ~CIPAddressCtrl() override;

    uint32_t GetAddress() const;
    // Reads the address and answers how many fields are filled in (0 for a blank control).
    int GetAddress(uint32_t& address) const;
    void SetAddress(uint32_t hostOrder);
    void SetAddress(uint8_t field0, uint8_t field1, uint8_t field2, uint8_t field3);
    void ClearAddress();
    bool IsBlank() const;
    // Puts the keyboard focus into field index (0 is the leftmost) with its text selected.
    void SetFieldFocus(int index);

    CRowIPField* Field(int index) const;
    bool IsField(const QWidget* widget) const;
    // Field and dot geometry in this widget's coordinates; with W the width inside the
    // frame and w = (W - 25) / 4, field k starts at 5 + k * (w + 5) and is w wide, and
    // dot k (1..3) lies in the gap at k * (w + 5).
    QRect FieldRect(int index) const;
    QRect DotRect(int k) const;
    void LayoutFields();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The operator changed a field (not sent when the address is set by code).
    void addressChanged();

protected:
    friend class CRowIPField;
    // Hooks for the fields. The row editor that builds on this control overrides them.
    virtual void OnFieldFocusIn(int index);
    virtual void OnFieldFocusOut(int index, QWidget* gaining);
    // Moves to the field right of 'index'; the rightmost moves nothing. Answers whether
    // the request was handled.
    virtual bool OnFieldNext(int index);
    // Enter in a field; answers true when it was used (else it goes to the dialog).
    virtual bool OnFieldReturn(int index);
    // Tab in a field; answers true when it was used (else the focus moves on as usual).
    virtual bool OnFieldTab(int index, QKeyEvent* event);
    // Esc in a field (a key press, or the shortcut check before it); true when it was used.
    virtual bool OnFieldEscape(QEvent* event);
    virtual QColor DotColor() const;
    void FieldEdited(int index);
    void MoveToField(int index, bool selectAll, bool cursorAtEnd);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

    // Delete in a field also moves to the next one (the row editor's way).
    bool m_deleteAdvances = false;

private:
    std::array<CRowIPField*, kFieldCount> m_fields{};
};
