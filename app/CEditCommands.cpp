#include "CEditCommands.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStringTokenizer>

#include "AppIds.h"
#include "CDeviceTree.h"
#include "CFrameCommands.h"
#include "FrameText.h"

bool ParseDotted(const QString& text, uint32_t& address)
{
    // Read in place: an address book of thousands is parsed at every start.
    int parts = 0;
    uint32_t parsed = 0;
    for (QStringView part : qTokenize(text, QLatin1Char('.'))) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (++parts > 4 || !ok || part.isEmpty() || part.size() > 3 || value < 0 || value > 255) return false;
        parsed = (parsed << 8) | uint32_t(value);
    }
    if (parts != 4) return false;
    address = parsed;
    return true;
}

CEditCommands::CEditCommands(CFrameCommands& commands, CDeviceTree& list, Panes panes, AddAddresses add)
    : m_commands(commands), m_list(list), m_panes(std::move(panes)), m_add(std::move(add))
{
    for (int id : {ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE}) commands.On(id, [this, id] { Edit(id); });
    commands.On(ID_NEXT_PANE, [this] { CycleFocus(1); });
    commands.On(ID_PREV_PANE, [this] { CycleFocus(-1); });
}

void CEditCommands::UpdateStates() const
{
    QWidget* focus = QApplication::focusWidget();
    const auto* field = qobject_cast<QLineEdit*>(focus);
    const bool inList = focus == &m_list;
    m_commands.Action(ID_EDIT_UNDO)->setEnabled(field && !field->isReadOnly());
    m_commands.Action(ID_EDIT_CUT)->setEnabled(field && !field->isReadOnly());
    m_commands.Action(ID_EDIT_COPY)->setEnabled(field || (inList && m_list.selectionModel()->hasSelection()));
    m_commands.Action(ID_EDIT_PASTE)->setEnabled((field && !field->isReadOnly()) || inList);
}

void CEditCommands::Edit(int id)
{
    QWidget* focus = QApplication::focusWidget();
    if (auto* field = qobject_cast<QLineEdit*>(focus)) {
        switch (id) {
        case ID_EDIT_UNDO:
            field->undo();
            break;
        case ID_EDIT_CUT:
            field->cut();
            break;
        case ID_EDIT_COPY:
            field->copy();
            break;
        case ID_EDIT_PASTE:
            field->paste();
            break;
        default:
            break;
        }
        return;
    }
    if (focus != &m_list) return;
    if (id == ID_EDIT_COPY) {
        QStringList addresses;
        for (const EncoderRecord* item : m_list.SelectedEncoderItems())
            addresses << m_list.ItemText(item, kColumnAddress);
        if (!addresses.isEmpty()) QApplication::clipboard()->setText(addresses.join(QLatin1Char('\n')));
    } else if (id == ID_EDIT_PASTE) {
        const QStringList words =
            QApplication::clipboard()->text().split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts);
        QStringList texts;
        for (const QString& word : words) {
            uint32_t address = 0;
            if (ParseDotted(word, address)) texts << DottedText(address);
        }
        m_add(texts);
    }
}

void CEditCommands::CycleFocus(int step)
{
    const QList<QWidget*> panes = m_panes();
    if (panes.isEmpty()) return;
    int at = -1;
    for (int i = 0; i < panes.size(); ++i)
        if (panes[i] &&
            (panes[i] == QApplication::focusWidget() || panes[i]->isAncestorOf(QApplication::focusWidget())))
            at = i;
    const int next = ((at < 0 ? 0 : at + step) % panes.size() + panes.size()) % panes.size();
    if (panes[next]) panes[next]->setFocus(Qt::ShortcutFocusReason);
}
