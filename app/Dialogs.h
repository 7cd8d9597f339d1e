#pragma once
// The three small modal dialogs: the address of an encoder to add, the broadcast
// address of a search, and the About box. Their layouts are kept in dialog units (a
// quarter of the font's average character width, an eighth of its height) so that they
// keep their proportions with any font.

#include <QDialog>
#include <cstdint>

class CIPAddressCtrl;

// One IPv4 address, asked for under a group box. The field starts empty each time;
// OK stores what it holds (empty fields count as 0), Cancel leaves Address() alone.
class CAddressDlg : public QDialog {
    Q_OBJECT
public:
    uint32_t Address() const { return m_address; }
    CIPAddressCtrl* AddressCtrl() const { return m_addressCtrl; }

    void accept() override;

protected:
    struct Layout {
        const char* title;
        const char* groupTitle;
        int controlId;
        QRect group;     // dialog units
        QRect address;   // dialog units
    };
    CAddressDlg(const Layout& layout, QWidget* parent);

private:
    uint32_t m_address = 0;
    CIPAddressCtrl* m_addressCtrl;
};

class CAddDeviceDlg : public CAddressDlg {
    Q_OBJECT
public:
    explicit CAddDeviceDlg(QWidget* parent = nullptr);
};

class CSearchDeviceDlg : public CAddressDlg {
    Q_OBJECT
public:
    explicit CSearchDeviceDlg(QWidget* parent = nullptr);
};

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

// Dialog units to pixels for `widget`'s font.
QRect DialogUnitsToPixels(const QWidget& widget, const QRect& units);
