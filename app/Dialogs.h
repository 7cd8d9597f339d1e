#pragma once
// The three small modal dialogs: the addresses of encoders to add, the broadcast
// address of a search, and the About box. Their layouts are kept in dialog units (a
// quarter of the font's average character width, an eighth of its height) so that they
// keep their proportions with any font.

#include <QDialog>
#include <QString>
#include <cstdint>
#include <vector>

class CIPAddressCtrl;
class QLabel;
class QPlainTextEdit;

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
        QRect group;       // dialog units
        QRect address;     // dialog units
        int extraHeight;   // dialog units between the group and the buttons, for more fields
    };
    CAddressDlg(const Layout& layout, QWidget* parent);

private:
    uint32_t m_address = 0;
    CIPAddressCtrl* m_addressCtrl;
};

// One address in the address field, as always; or a fleet in the list field below it:
// addresses and ranges ("10.1.2.20-69") separated by blanks, commas or line ends, a
// spreadsheet's column pasted. A range or list begun in the address field ("-", ",", a
// blank or a paste there) moves on into the list field with what was typed. OK on a list
// that is no list shows why in the dialog, in the command line's words, and keeps it open.
class CAddDeviceDlg : public CAddressDlg {
    Q_OBJECT
public:
    explicit CAddDeviceDlg(QWidget* parent = nullptr);

    // The encoders of the list field, each once in the order given; empty when the
    // address field is to be used.
    const std::vector<uint32_t>& Addresses() const { return m_addresses; }
    bool ListGiven() const { return !m_addresses.empty(); }
    QPlainTextEdit* ListField() const { return m_list; }
    QString Error() const;

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void MoveIntoList(const QString& more);

    QPlainTextEdit* m_list;
    QLabel* m_error;
    std::vector<uint32_t> m_addresses;
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
