#pragma once
// Every modal thing the window layer puts in front of the operator (message boxes,
// dialogs, popup menus) goes through one CPrompter, so that widget tests can record and
// answer them instead of blocking in a nested modal loop.

#include <QString>
#include <QStringList>

class QAction;
class QDialog;
class QMenu;
class QPoint;
class QWidget;

class CPrompter {
public:
    enum class Icon { None, Exclamation };

    virtual ~CPrompter() = default;
    // A modal box with one OK button, owned by `owner` (null: the application's own box).
    virtual void MessageBox(QWidget* owner, const QString& text, const QString& caption, Icon icon) = 0;
    // Runs `dialog` modally; QDialog::Accepted (OK) or QDialog::Rejected (Cancel).
    virtual int RunDialog(QDialog& dialog) = 0;
    // Tracks `menu` at a screen point; the chosen action, or null when dismissed.
    virtual QAction* TrackPopupMenu(QMenu& menu, const QPoint& globalPos) = 0;
    // A modal question with Yes and No buttons, owned by `owner`; true for Yes. A
    // prompter that asks nothing answers Yes.
    virtual bool Question(QWidget* owner, const QString& text, const QString& caption);
    // A modal question with the `buttons` given, owned by `owner`: the index of the one
    // pressed. `defaultButton` takes Return, `escapeButton` Esc and the title bar's close;
    // a prompter that asks nothing answers `escapeButton`.
    virtual int Choose(QWidget* owner, const QString& text, const QString& caption, const QStringList& buttons,
                       int defaultButton, int escapeButton);
    // A box as MessageBox with a long list behind it (the shipped box scrolls it under
    // "Show Details..."); a prompter that records boxes takes the text and the list as one.
    virtual void MessageBoxWithDetails(QWidget* owner, const QString& text, const QString& details,
                                       const QString& caption, Icon icon);

    // The window's two kinds of box: caption "Warning" with the exclamation icon, or
    // caption "Tip" without one.
    void Warning(QWidget* owner, const QString& text);
    void Tip(QWidget* owner, const QString& text);
};

// The prompter of the shipped program: real QMessageBox, QDialog::exec and QMenu::exec.
class CModalPrompter : public CPrompter {
public:
    void MessageBox(QWidget* owner, const QString& text, const QString& caption, Icon icon) override;
    int RunDialog(QDialog& dialog) override;
    QAction* TrackPopupMenu(QMenu& menu, const QPoint& globalPos) override;
    bool Question(QWidget* owner, const QString& text, const QString& caption) override;
    int Choose(QWidget* owner, const QString& text, const QString& caption, const QStringList& buttons,
               int defaultButton, int escapeButton) override;
    void MessageBoxWithDetails(QWidget* owner, const QString& text, const QString& details, const QString& caption,
                               Icon icon) override;
};
