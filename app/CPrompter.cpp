#include "CPrompter.h"

#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

void CModalPrompter::MessageBox(QWidget* owner, const QString& text, const QString& caption, Icon icon)
{
    QMessageBox box(icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon, caption, text,
                    QMessageBox::Ok, owner);
    box.exec();
}

void CPrompter::MessageBoxWithDetails(QWidget* owner, const QString& text, const QString& details,
                                      const QString& caption, Icon icon)
{
    MessageBox(owner, details.isEmpty() ? text : text + QStringLiteral("\n\n") + details, caption, icon);
}

void CModalPrompter::MessageBoxWithDetails(QWidget* owner, const QString& text, const QString& details,
                                           const QString& caption, Icon icon)
{
    QMessageBox box(icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon, caption, text,
                    QMessageBox::Ok, owner);
    box.setDetailedText(details);
    box.exec();
}

int CModalPrompter::RunDialog(QDialog& dialog)
{
    return dialog.exec();
}

QAction* CModalPrompter::TrackPopupMenu(QMenu& menu, const QPoint& globalPos)
{
    return menu.exec(globalPos);
}

bool CPrompter::Question(QWidget*, const QString&, const QString&)
{
    return true;
}

bool CModalPrompter::Question(QWidget* owner, const QString& text, const QString& caption)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

int CPrompter::Choose(QWidget*, const QString&, const QString&, const QStringList&, int, int escapeButton)
{
    return escapeButton;
}

int CModalPrompter::Choose(QWidget* owner, const QString& text, const QString& caption, const QStringList& buttons,
                           int defaultButton, int escapeButton)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, owner);
    QList<QPushButton*> pushButtons;
    for (int i = 0; i < buttons.size(); ++i)
        pushButtons << box.addButton(buttons[i], i == escapeButton ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    if (defaultButton >= 0 && defaultButton < pushButtons.size()) box.setDefaultButton(pushButtons[defaultButton]);
    if (escapeButton >= 0 && escapeButton < pushButtons.size()) box.setEscapeButton(pushButtons[escapeButton]);
    box.exec();
    const int chosen = int(pushButtons.indexOf(static_cast<QPushButton*>(box.clickedButton())));
    return chosen >= 0 ? chosen : escapeButton;
}

void CPrompter::Warning(QWidget* owner, const QString& text)
{
    MessageBox(owner, text, QStringLiteral("Warning"), Icon::Exclamation);
}

void CPrompter::Tip(QWidget* owner, const QString& text)
{
    MessageBox(owner, text, QStringLiteral("Tip"), Icon::None);
}
