#include "CIPAddressCtrl.h"
#include "CRowIPField.h"

#include <QEvent>
#include <QPainter>
#include <algorithm>

CIPAddressCtrl::CIPAddressCtrl(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    for (int i = 0; i < kFieldCount; ++i) {
        m_fields[i] = new CRowIPField(this, i, this);
        connect(m_fields[i], &QLineEdit::textEdited, this, [this]() { emit addressChanged(); });
    }
    setFocusProxy(m_fields[0]);
    LayoutFields();
}

CIPAddressCtrl::~CIPAddressCtrl() = default;

CRowIPField* CIPAddressCtrl::Field(int index) const
{
    return index >= 0 && index < kFieldCount ? m_fields[index] : nullptr;
}

bool CIPAddressCtrl::IsField(const QWidget* widget) const
{
    return widget && std::find(m_fields.begin(), m_fields.end(), widget) != m_fields.end();
}

uint32_t CIPAddressCtrl::GetAddress() const
{
    uint32_t address = 0;
    GetAddress(address);
    return address;
}

int CIPAddressCtrl::GetAddress(uint32_t& address) const
{
    address = 0;
    int filled = 0;
    for (int i = 0; i < kFieldCount; ++i) {
        address = (address << 8) | static_cast<uint32_t>(m_fields[i]->Value());
        if (!m_fields[i]->text().isEmpty()) {
            ++filled;
        }
    }
    return filled;
}

void CIPAddressCtrl::SetAddress(uint32_t hostOrder)
{
    SetAddress(static_cast<uint8_t>(hostOrder >> 24), static_cast<uint8_t>(hostOrder >> 16),
               static_cast<uint8_t>(hostOrder >> 8), static_cast<uint8_t>(hostOrder));
}

void CIPAddressCtrl::SetAddress(uint8_t field0, uint8_t field1, uint8_t field2, uint8_t field3)
{
    const uint8_t values[kFieldCount] = {field0, field1, field2, field3};
    for (int i = 0; i < kFieldCount; ++i) {
        m_fields[i]->setText(QString::number(values[i]));
    }
    update();
}

void CIPAddressCtrl::ClearAddress()
{
    for (CRowIPField* field : m_fields) {
        field->clear();
    }
    update();
}

bool CIPAddressCtrl::IsBlank() const
{
    return std::all_of(m_fields.begin(), m_fields.end(), [](const CRowIPField* f) { return f->text().isEmpty(); });
}

void CIPAddressCtrl::SetFieldFocus(int index)
{
    MoveToField(index, true, false);
}

void CIPAddressCtrl::MoveToField(int index, bool selectAll, bool cursorAtEnd)
{
    CRowIPField* field = Field(index);
    if (!field) {
        return;
    }
    field->setFocus(Qt::OtherFocusReason);
    if (selectAll) {
        field->selectAll();
    } else {
        field->deselect();
        field->setCursorPosition(cursorAtEnd ? field->text().size() : 0);
    }
}

void CIPAddressCtrl::FieldEdited(int index)
{
    CRowIPField* field = Field(index);
    if (field && !field->text().isEmpty() && field->text().toInt() > CRowIPField::kMaxValue) {
        field->setText(QString::number(CRowIPField::kMaxValue));
    }
    update();
}

void CIPAddressCtrl::OnFieldFocusIn(int)
{}

void CIPAddressCtrl::OnFieldFocusOut(int index, QWidget*)
{
    FieldEdited(index);
}

bool CIPAddressCtrl::OnFieldNext(int index)
{
    if (index + 1 < kFieldCount) {
        MoveToField(index + 1, true, false);
    }
    return true;
}

bool CIPAddressCtrl::OnFieldReturn(int)
{
    return false;
}

bool CIPAddressCtrl::OnFieldTab(int, QKeyEvent*)
{
    return false;
}

bool CIPAddressCtrl::OnFieldEscape(QEvent*)
{
    return false;
}

QColor CIPAddressCtrl::DotColor() const
{
    return palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text);
}

QRect CIPAddressCtrl::FieldRect(int index) const
{
    const QRect area = contentsRect();
    const int w = std::max((area.width() - (kFieldCount + 1) * kFieldGap) / kFieldCount, 0);
    return QRect(area.left() + kFieldGap + index * (w + kFieldGap), area.top(), w, area.height());
}

QRect CIPAddressCtrl::DotRect(int k) const
{
    const QRect area = contentsRect();
    const int w = std::max((area.width() - (kFieldCount + 1) * kFieldGap) / kFieldCount, 0);
    QFont bold = font();
    bold.setBold(true);
    const QSize dot = QFontMetrics(bold).size(Qt::TextSingleLine, QStringLiteral("."));
    // Centred on the fields' text line so that the dots sit on the digits' baseline.
    const int top = area.top() + (area.height() - dot.height()) / 2;
    return QRect(area.left() + k * (w + kFieldGap), top, dot.width(), dot.height());
}

void CIPAddressCtrl::LayoutFields()
{
    for (int i = 0; i < kFieldCount; ++i) {
        m_fields[i]->setGeometry(FieldRect(i));
    }
}

QSize CIPAddressCtrl::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int field = metrics.horizontalAdvance(QStringLiteral("0000"));
    const int frame = 2 * frameWidth();
    return QSize(kFieldCount * field + (kFieldCount + 1) * kFieldGap + frame, metrics.height() + kTextRoom + frame);
}

QSize CIPAddressCtrl::minimumSizeHint() const
{
    return sizeHint();
}

void CIPAddressCtrl::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        const QColor base = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Base);
        painter.fillRect(contentsRect(), base);
        QFont bold = font();
        bold.setBold(true);
        painter.setFont(bold);
        painter.setPen(DotColor());
        for (int k = 1; k < kFieldCount; ++k) {
            painter.drawText(DotRect(k), Qt::AlignHCenter | Qt::TextSingleLine, QStringLiteral("."));
        }
    }
    QFrame::paintEvent(event);
}

void CIPAddressCtrl::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    LayoutFields();
}

void CIPAddressCtrl::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        LayoutFields();
        update();
    }
}
