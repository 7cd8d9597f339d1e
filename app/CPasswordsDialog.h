#pragma once
// The passwords of one write to several encoders, asked once: the password and the new
// password, both masked. What is typed lives only as long as the write that asked for it.

#include <QDialog>
#include <QString>

class QLineEdit;

class CPasswordsDialog : public QDialog {
    Q_OBJECT
public:
    // `encoders`: how many encoders the write goes to.
    CPasswordsDialog(QWidget* parent, int encoders);

    QString Password() const;
    QString NewPassword() const;
    QLineEdit* PasswordField() const { return m_password; }
    QLineEdit* NewPasswordField() const { return m_newPassword; }

private:
    QLineEdit* m_password;
    QLineEdit* m_newPassword;
};
