#pragma once
// A prompter that records every box and menu and answers dialogs from a script, so that
// no test ever waits in a modal loop.

#include <QAction>
#include <QDialog>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <deque>
#include <functional>

#include "CPrompter.h"

struct RecordedBox {
    QPointer<QWidget> owner;
    QString text;
    QString caption;
    CPrompter::Icon icon;
};

struct RecordedMenuItem {
    QString text;
    int id;
    bool enabled;
    bool operator==(const RecordedMenuItem& other) const
    {
        return text == other.text && id == other.id && enabled == other.enabled;
    }
};

class RecordingPrompter : public CPrompter {
public:
    using DialogScript = std::function<int(QDialog&)>;

    void MessageBox(QWidget* owner, const QString& text, const QString& caption, Icon icon) override
    {
        boxes.push_back({owner, text, caption, icon});
    }

    int RunDialog(QDialog& dialog) override
    {
        dialogTitles << dialog.windowTitle();
        if (dialogScripts.empty()) return QDialog::Rejected;
        DialogScript script = std::move(dialogScripts.front());
        dialogScripts.pop_front();
        return script(dialog);
    }

    QAction* TrackPopupMenu(QMenu& menu, const QPoint&) override
    {
        QList<RecordedMenuItem> items;
        QAction* chosen = nullptr;
        for (QAction* action : menu.actions()) {
            if (action->isSeparator()) {
                items.push_back({QStringLiteral("-"), 0, false});
                continue;
            }
            items.push_back({action->text(), action->data().toInt(), action->isEnabled()});
            if (menuChoice != 0 && action->data().toInt() == menuChoice && action->isEnabled()) chosen = action;
        }
        menus.push_back(items);
        menuChoice = 0;
        return chosen;
    }

    bool Question(QWidget*, const QString& text, const QString&) override
    {
        questions << text;
        return questionAnswer;
    }

    int Choose(QWidget*, const QString& text, const QString&, const QStringList& buttons, int defaultButton,
               int escapeButton) override
    {
        choices << text;
        choiceButtons = buttons;
        choiceDefault = defaultButton;
        return choiceAnswer >= 0 ? choiceAnswer : escapeButton;
    }

    QStringList BoxTexts() const
    {
        QStringList texts;
        for (const RecordedBox& box : boxes) texts << box.text;
        return texts;
    }

    std::vector<RecordedBox> boxes;
    QStringList dialogTitles;
    std::deque<DialogScript> dialogScripts;
    QList<QList<RecordedMenuItem>> menus;
    int menuChoice = 0;   // the command id the next tracked menu answers with, 0: dismissed
    QStringList questions;
    bool questionAnswer = false;   // Yes or No to every question
    QStringList choices;           // the texts of the questions with buttons of their own
    QStringList choiceButtons;     // the last one's buttons
    int choiceDefault = -1;
    int choiceAnswer = -1;   // the button every such question answers with; -1: Esc
};
