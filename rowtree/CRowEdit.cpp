#include "CRowEdit.h"
#include "CRowTree.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QRegularExpressionValidator>

namespace {
// As many dots for every secret, so that the cell tells nothing of its length.
constexpr int kMaskLength = 8;
}   // namespace

CRowEdit::CRowEdit(int commandId) : CRowEditorItem(commandId, CommitReport::BeforeHide)
{
    hide();
}

CRowEdit::~CRowEdit() = default;

int CRowEdit::CreateEditItem(uint32_t options, uint32_t)
{
    if (!AttachEditor()) {
        return 0;
    }
    if (options & REO_NUMBER) {
        setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    }
    m_options = options;
    RepaintRowsOn(this, &QLineEdit::textChanged);
    setCursorPosition(0);
    CloseOnCell();
    return 1;
}

void CRowEdit::SetEditInt(int value)
{
    if (HasEditor()) {
        setText(QString::number(value));
        if (GetOwner()) {
            GetOwner()->Repaint();
        }
    }
}

void CRowEdit::SetMasked(bool masked)
{
    m_masked = masked;
    setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
    if (GetOwner()) {
        GetOwner()->Repaint();
    }
}

QString CRowEdit::GetValueText() const
{
    if (m_masked && !text().isEmpty()) {
        return QString(kMaskLength, QChar(0x25CF));
    }
    return text();
}

void CRowEdit::SetValue(const RowValue& value)
{
    if (value.type == RowValue::Type::Text) {
        setText(value.text);
    }
}

void CRowEdit::PrepareToOpen()
{
    m_openText = text();
    setCursorPosition(0);
}

bool CRowEdit::event(QEvent* event)
{
    return ForwardTabKey(event) || TakeEscapeKey(event) || QLineEdit::event(event);
}

void CRowEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_hasFocus = false;
        if (IsActivated()) {
            CommitChanges();
        }
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CRowEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    EditorFocusIn();
}

void CRowEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // The edit's own context menu takes the focus only for a moment.
    if (event->reason() == Qt::PopupFocusReason) {
        return;
    }
    EndEditOnFocusLoss();
}
