#include "CChangesDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr int kColumns = 3;
constexpr int kMostRowsShown = 18;   // taller lists scroll
}   // namespace

CChangesDialog::CChangesDialog(QWidget* parent, const QString& title, const QString& intro, const Row& headers,
                               const std::vector<Row>& rows, const QString& confirmText)
    : QDialog(parent)
{
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    m_intro = new QLabel(intro, this);
    m_intro->setWordWrap(true);
    layout->addWidget(m_intro);

    m_table = new QTableWidget(int(rows.size()), kColumns, this);
    m_table->setHorizontalHeaderLabels({headers[0], headers[1], headers[2]});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    for (int r = 0; r < int(rows.size()); ++r)
        for (int c = 0; c < kColumns; ++c) m_table->setItem(r, c, new QTableWidgetItem(rows[size_t(r)][size_t(c)]));
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(true);
    const int shown = std::min<int>(int(rows.size()), kMostRowsShown);
    m_table->setMinimumHeight(m_table->horizontalHeader()->sizeHint().height() +
                              shown * m_table->verticalHeader()->defaultSectionSize() + 2 * m_table->frameWidth());
    int width = 2 * m_table->frameWidth();
    for (int c = 0; c < kColumns; ++c) width += m_table->columnWidth(c);
    m_table->setMinimumWidth(std::min(width + 24, 900));
    layout->addWidget(m_table);

    auto* buttons = new QDialogButtonBox(this);
    if (confirmText.isEmpty()) {
        QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
        close->setDefault(true);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    } else {
        QPushButton* confirm = buttons->addButton(confirmText, QDialogButtonBox::AcceptRole);
        buttons->addButton(QDialogButtonBox::Cancel);
        confirm->setDefault(true);
        confirm->setAutoDefault(true);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        // Return confirms wherever the focus is; the list never takes it for itself.
        m_table->setFocusPolicy(Qt::NoFocus);
        confirm->setFocus();
    }
    layout->addWidget(buttons);
}

void CChangesDialog::SetHeadingRow(int row)
{
    QTableWidgetItem* item = m_table->item(row, 0);
    if (!item) return;
    QFont font = item->font();
    font.setBold(true);
    item->setFont(font);
    m_table->setSpan(row, 0, 1, kColumns);
}

QString CChangesDialog::Intro() const
{
    return m_intro->text();
}

std::vector<CChangesDialog::Row> CChangesDialog::Rows() const
{
    std::vector<Row> rows;
    for (int r = 0; r < m_table->rowCount(); ++r) {
        Row row;
        for (int c = 0; c < kColumns; ++c)
            row[size_t(c)] = m_table->item(r, c) ? m_table->item(r, c)->text() : QString();
        rows.push_back(row);
    }
    return rows;
}
