#pragma once
// A modal list of rows side by side: the changes a write would make (row, value on the
// encoder, new value), the rows in which two encoders differ, the settings a write did not
// set. With a confirm text it asks: that button is the default one (Return) and Cancel
// takes Escape; without one it only shows, with a Close button.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

class QLabel;
class QTableWidget;

class CChangesDialog : public QDialog {
    Q_OBJECT
public:
    using Row = std::array<QString, 3>;

    CChangesDialog(QWidget* parent, const QString& title, const QString& intro, const Row& headers,
                   const std::vector<Row>& rows, const QString& confirmText = QString());

    // Shows `row` as a heading over the rows below it: its first cell across the table.
    void SetHeadingRow(int row);

    QString Intro() const;
    // The rows as shown, cell by cell.
    std::vector<Row> Rows() const;
    QTableWidget* Table() const { return m_table; }

private:
    QLabel* m_intro;
    QTableWidget* m_table;
};
