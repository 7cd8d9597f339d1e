#pragma once

#include <QLineEdit>

class CIPAddressCtrl;

// One of the four number fields of an IP-address control. It reports its focus changes
// and the keys that move between fields to its target, the control that owns it.
class CRowIPField : public QLineEdit {
    Q_OBJECT
public:
    static constexpr int kMaxDigits = 3;
    static constexpr int kMaxValue = 255;

    CRowIPField(CIPAddressCtrl* target, int index, QWidget* parent);

    CIPAddressCtrl* Target() const { return m_target; }
    int Index() const { return m_index; }
    // The field's number; an empty field reads as 0.
    int Value() const;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    CIPAddressCtrl* m_target;
    int m_index;
};
