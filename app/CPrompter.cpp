#include "CPrompter.h"

#include <QDialog>
#include <QMenu>
#include <QMessageBox>

void CModalPrompter::MessageBox(QWidget* owner, const QString& text, const QString& caption, Icon icon)
{
    QMessageBox box(icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon, caption, text,
                    QMessageBox::Ok, owner);
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
