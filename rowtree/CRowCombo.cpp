#include "CRowCombo.h"
#include "CRowTree.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QWheelEvent>

CRowCombo::CRowCombo(int commandId) : CRowEditorItem(commandId, CommitReport::None)
{
    hide();
}

CRowCombo::~CRowCombo() = default;

int CRowCombo::CreateComboItem(uint32_t)
{
    if (!AttachEditor()) {
        return 0;
    }
    connect(this, &QComboBox::activated, this, &CRowCombo::UserActivated);
    RepaintRowsOn(this, &QComboBox::currentIndexChanged);
    CloseOnCell();
    return 1;
}

int CRowCombo::AddString(const QString& text)
{
    addItem(text);
    return count() - 1;
}

void CRowCombo::SetCurSel(int index)
{
    setCurrentIndex(index);
    if (GetOwner()) {
        GetOwner()->Repaint();
    }
}

void CRowCombo::SetValue(const RowValue& value)
{
    // The list's own selection setter: the value cell shows it at the list's next paint,
    // without laying the whole tree out again as SetCurSel does.
    if (value.type == RowValue::Type::Index) {
        setCurrentIndex(value.index);
    }
}

// The toolkit reports every choice, also of the entry already shown; only a change is
// an edit worth reporting.
void CRowCombo::UserActivated(int index)
{
    if (index == m_indexBeforeUser) {
        return;
    }
    m_indexBeforeUser = index;
    SendCommand();
}

void CRowCombo::showPopup()
{
    m_indexBeforeUser = currentIndex();
    QComboBox::showPopup();
}

void CRowCombo::keyPressEvent(QKeyEvent* event)
{
    m_indexBeforeUser = currentIndex();
    QComboBox::keyPressEvent(event);
}

void CRowCombo::wheelEvent(QWheelEvent* event)
{
    m_indexBeforeUser = currentIndex();
    QComboBox::wheelEvent(event);
}

bool CRowCombo::event(QEvent* event)
{
    return ForwardTabKey(event) || TakeEscapeKey(event) || QComboBox::event(event);
}

void CRowCombo::focusInEvent(QFocusEvent* event)
{
    QComboBox::focusInEvent(event);
    EditorFocusIn();
}

void CRowCombo::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    // The open drop-down list takes the focus only for a while; the edit goes on in it.
    QWidget* gaining = QApplication::focusWidget();
    if (event->reason() == Qt::PopupFocusReason || (gaining && view()->window()->isAncestorOf(gaining))) {
        return;
    }
    EndEditOnFocusLoss();
}
