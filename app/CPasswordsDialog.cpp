#include "CPasswordsDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CPasswordsDialog::CPasswordsDialog(QWidget* parent, int encoders)
    : QDialog(parent), m_password(new QLineEdit(this)), m_newPassword(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Passwords for the Write"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("Not every one of the %1 encoders has both passwords in its settings. "
                                            "The passwords typed here go to all of them for this write only.")
                                 .arg(encoders),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* form = new QFormLayout;
    for (QLineEdit* field : {m_password, m_newPassword}) field->setEchoMode(QLineEdit::Password);
    m_password->setObjectName(QStringLiteral("password"));
    m_newPassword->setObjectName(QStringLiteral("newPassword"));
    form->addRow(QStringLiteral("Password"), m_password);
    form->addRow(QStringLiteral("New Password"), m_newPassword);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Write"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString CPasswordsDialog::Password() const
{
    return m_password->text();
}

QString CPasswordsDialog::NewPassword() const
{
    return m_newPassword->text();
}
