#pragma once
// Device > History...: one encoder's kept versions, newest first, each with the fields it
// changed; Restore takes the chosen version's settings as pending edits.

#include <QDialog>
#include <QStringList>
#include <vector>

#include "ConfigurationHistory.h"

class QPushButton;
class QTreeWidget;

class CHistoryDialog : public QDialog {
    Q_OBJECT
public:
    CHistoryDialog(QWidget* parent, const QString& encoder, const std::vector<EncoderVersion>& versions);

    // Each version's line ("<short id>  <time>  <count> changed  <title>") and, per
    // version, its change lines as shown.
    QStringList VersionLines() const;
    QStringList ChangeLines(int version) const;

    // The version chosen, -1 when none; selecting one enables Restore.
    int SelectedVersion() const;
    void SelectVersion(int version);
    QPushButton* RestoreButton() const { return m_restore; }
    QTreeWidget* Tree() const { return m_tree; }

private:
    QTreeWidget* m_tree;
    QPushButton* m_restore;
};
