#include "CHistoryDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kVersionRole = Qt::UserRole + 1;

QString FirstLine(const std::string& message)
{
    const QString text = QString::fromStdString(message);
    return text.left(text.indexOf(QLatin1Char('\n')));
}

}   // namespace

CHistoryDialog::CHistoryDialog(QWidget* parent, const QString& encoder, const std::vector<EncoderVersion>& versions)
    : QDialog(parent), m_tree(new QTreeWidget(this)), m_restore(nullptr)
{
    setWindowTitle(QStringLiteral("History of %1").arg(encoder));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        versions.empty() ? QStringLiteral("No version of %1 is kept yet.").arg(encoder)
                         : QStringLiteral("%1 versions of %2 kept, newest first:").arg(versions.size()).arg(encoder),
        this));

    m_tree->setColumnCount(1);
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    for (size_t i = 0; i < versions.size(); ++i) {
        const EncoderVersion& version = versions[i];
        auto* item = new QTreeWidgetItem(m_tree);
        item->setText(0,
                      QStringLiteral("%1  %2  %3 changed  %4")
                          .arg(QString::fromStdString(version.commit.shortId),
                               QString::fromStdString(IsoCommitTime(version.commit.time, version.commit.offsetMinutes)))
                          .arg(version.changedCount)
                          .arg(FirstLine(version.commit.message)));
        item->setData(0, kVersionRole, int(i));
        if (version.first) {
            auto* child = new QTreeWidgetItem(item);
            child->setText(0, QStringLiteral("First version kept"));
            child->setData(0, kVersionRole, int(i));
        }
        for (const SettingChange& change : version.changes) {
            auto* child = new QTreeWidgetItem(item);
            child->setText(0, QString::fromStdString(ChangeLine(change)));
            child->setData(0, kVersionRole, int(i));
        }
    }
    m_tree->expandAll();
    layout->addWidget(m_tree);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_restore = buttons->addButton(QStringLiteral("Restore"), QDialogButtonBox::AcceptRole);
    m_restore->setToolTip(QStringLiteral("Take this version's settings as edits; nothing is sent until you write"));
    m_restore->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_tree, &QTreeWidget::itemSelectionChanged, this,
            [this] { m_restore->setEnabled(SelectedVersion() >= 0); });
    layout->addWidget(buttons);
    resize(640, 420);
}

QStringList CHistoryDialog::VersionLines() const
{
    QStringList lines;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) lines << m_tree->topLevelItem(i)->text(0);
    return lines;
}

QStringList CHistoryDialog::ChangeLines(int version) const
{
    QStringList lines;
    const QTreeWidgetItem* item = m_tree->topLevelItem(version);
    for (int i = 0; item && i < item->childCount(); ++i) lines << item->child(i)->text(0);
    return lines;
}

int CHistoryDialog::SelectedVersion() const
{
    const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
    return selected.isEmpty() ? -1 : selected.front()->data(0, kVersionRole).toInt();
}

void CHistoryDialog::SelectVersion(int version)
{
    if (QTreeWidgetItem* item = m_tree->topLevelItem(version)) m_tree->setCurrentItem(item);
}
