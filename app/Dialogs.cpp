#include "Dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "AddressArguments.h"
#include "AppIds.h"
#include "CIPAddressCtrl.h"
#include "CRowIPField.h"
#include "Pictures.h"

namespace {

constexpr int kAddressDialogFontPoints = 10;
constexpr int kAboutFontPoints = 9;
const QSize kAddressDialogSize(187, 94);   // dialog units
const QSize kAboutSize(235, 55);
const QRect kOkButton(76, 73, 50, 14);
const QRect kCancelButton(130, 73, 50, 14);

void SetPointSize(QWidget& widget, int points)
{
    QFont font = widget.font();
    font.setPointSize(points);
    widget.setFont(font);
}

void PlaceInUnits(QWidget& widget, const QRect& units)
{
    widget.setGeometry(DialogUnitsToPixels(*widget.parentWidget(), units));
}

QSize SizeInUnits(const QWidget& widget, const QSize& units)
{
    return DialogUnitsToPixels(widget, QRect(QPoint(0, 0), units)).size();
}

QPushButton* AddButton(QDialog& dialog, const QString& text, const QRect& units, bool isDefault)
{
    auto* button = new QPushButton(text, &dialog);
    button->setDefault(isDefault);
    button->setAutoDefault(isDefault);
    PlaceInUnits(*button, units);
    return button;
}

}   // namespace

QRect DialogUnitsToPixels(const QWidget& widget, const QRect& units)
{
    // The classic base units: the mean width of the 52 Latin letters, and the line height.
    const QFontMetrics metrics(widget.font());
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int baseX = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    const int baseY = metrics.height();
    auto x = [baseX](int u) { return (u * baseX + 2) / 4; };
    auto y = [baseY](int u) { return (u * baseY + 4) / 8; };
    return QRect(x(units.x()), y(units.y()), x(units.width()), y(units.height()));
}

CAddressDlg::CAddressDlg(const Layout& layout, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QString::fromLatin1(layout.title));
    SetPointSize(*this, kAddressDialogFontPoints);
    setFixedSize(SizeInUnits(*this, kAddressDialogSize + QSize(0, layout.extraHeight)));

    auto* group = new QGroupBox(QString::fromLatin1(layout.groupTitle), this);
    PlaceInUnits(*group, layout.group);

    m_addressCtrl = new CIPAddressCtrl(this);
    m_addressCtrl->setObjectName(QStringLiteral("IDC_%1").arg(layout.controlId));
    PlaceInUnits(*m_addressCtrl, layout.address);

    const QPoint below(0, layout.extraHeight);
    QPushButton* ok = AddButton(*this, QStringLiteral("OK"), kOkButton.translated(below), true);
    QPushButton* cancel = AddButton(*this, QStringLiteral("Cancel"), kCancelButton.translated(below), false);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    m_addressCtrl->SetFieldFocus(0);
}

void CAddressDlg::accept()
{
    m_address = m_addressCtrl->GetAddress();
    QDialog::accept();
}

CAddDeviceDlg::CAddDeviceDlg(QWidget* parent)
    : CAddressDlg({"Add Device Dialog", "IP Address :", IDC_ADD_DEVICE_ADDRESS, QRect(14, 17, 159, 40),
                   QRect(28, 33, 130, 14), 92},
                  parent)
{
    auto* group = new QGroupBox(QStringLiteral("Several addresses or ranges :"), this);
    PlaceInUnits(*group, QRect(14, 62, 159, 74));
    m_list = new QPlainTextEdit(this);
    m_list->setObjectName(QStringLiteral("AddressList"));
    m_list->setTabChangesFocus(true);
    m_list->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_list->setPlaceholderText(
        QStringLiteral("10.1.2.20-69, 10.1.3.5\none per line, or separated by blanks or commas"));
    PlaceInUnits(*m_list, QRect(21, 76, 145, 54));

    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("AddressError"));
    m_error->setTextFormat(Qt::PlainText);
    m_error->setWordWrap(true);
    PlaceInUnits(*m_error, QRect(14, 138, 166, 24));

    for (int i = 0; i < CIPAddressCtrl::kFieldCount; ++i) AddressCtrl()->Field(i)->installEventFilter(this);
}

QString CAddDeviceDlg::Error() const
{
    return m_error->text();
}

void CAddDeviceDlg::accept()
{
    m_addresses.clear();
    const QString text = m_list->toPlainText();
    if (text.trimmed().isEmpty()) {
        CAddressDlg::accept();
        return;
    }
    AddressArguments parsed = ParseAddressText(text.toStdString());
    if (!parsed.Ok()) {
        m_error->setText(QString::fromStdString(parsed.error));
        m_list->setFocus();
        return;
    }
    m_addresses = std::move(parsed.addresses);
    QDialog::accept();
}

// Typed into the address field, the start of a range or of a list goes on in the list
// field instead of being dropped by a field that holds one address only.
bool CAddDeviceDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Paste)) {
            MoveIntoList(QApplication::clipboard()->text());
            return true;
        }
        const QString typed = key->text();
        if (typed.size() == 1 && QStringLiteral("-, ;").contains(typed.front())) {
            MoveIntoList(typed);
            return true;
        }
    }
    return CAddressDlg::eventFilter(watched, event);
}

void CAddDeviceDlg::MoveIntoList(const QString& more)
{
    QStringList numbers;
    for (int i = 0; i < CIPAddressCtrl::kFieldCount; ++i) numbers << AddressCtrl()->Field(i)->text();
    while (!numbers.isEmpty() && numbers.last().isEmpty()) numbers.removeLast();
    QString text = m_list->toPlainText();
    if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n'))) text += QLatin1Char('\n');
    text += numbers.join(QLatin1Char('.')) + more;
    AddressCtrl()->ClearAddress();
    m_list->setPlainText(text);
    m_list->moveCursor(QTextCursor::End);
    m_list->setFocus();
}

CSearchDeviceDlg::CSearchDeviceDlg(QWidget* parent)
    : CAddressDlg({"Search Device Dialog", "Broadcast Addr:", IDC_SEARCH_DEVICE_ADDRESS, QRect(14, 17, 158, 40),
                   QRect(28, 33, 131, 14), 0},
                  parent)
{}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About"));
    SetPointSize(*this, kAboutFontPoints);
    setFixedSize(SizeInUnits(*this, kAboutSize));

    auto* icon = new QLabel(this);
    PlaceInUnits(*icon, QRect(11, 17, 21, 16));
    icon->setPixmap(ProgramIconPixmap(qMin(icon->width(), icon->height())));
    icon->setAlignment(Qt::AlignCenter);

    auto* product = new QLabel(QStringLiteral("Korvane SDI ENCODER\nwww.korvane.example"), this);
    product->setTextFormat(Qt::PlainText);
    PlaceInUnits(*product, QRect(40, 12, 119, 20));

    auto* notice = new QLabel(QStringLiteral("Configuration tool 1.0\nsupport@korvane.example"), this);
    notice->setTextFormat(Qt::PlainText);
    PlaceInUnits(*notice, QRect(61, 32, 119, 20));

    QPushButton* ok = AddButton(*this, QStringLiteral("OK"), QRect(178, 7, 50, 14), true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
