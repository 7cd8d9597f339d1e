#include "CSettingsFiles.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStatusBar>

#include "AppIds.h"
#include "CActivityLog.h"
#include "CChangesDialog.h"
#include "CDeviceTree.h"
#include "CExchangeController.h"
#include "CFrameCommands.h"
#include "CPrompter.h"
#include "CSafeEdits.h"
#include "CSettingsSheet.h"
#include "FrameText.h"
#include "OutcomeTexts.h"
#include "Presets.h"
#include "SheetLayout.h"

namespace {

constexpr int kNoteMs = 15000;   // how long the status bar keeps a note

QString ReadFirst()
{
    return QString::fromLatin1(TextOf(OutcomeText::ReadFirst));
}

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

QStringList RuleLines(const std::vector<BrokenRule>& broken)
{
    QStringList lines;
    for (const BrokenRule& rule : broken) lines << Text(BrokenRuleLine(rule.heading, rule.label, rule.warning));
    return lines;
}

}   // namespace

CSettingsFiles::CSettingsFiles(const FrameParts& parts, QStatusBar& statusBar, Hooks hooks)
    : m_parts(parts), m_statusBar(statusBar), m_hooks(std::move(hooks))
{
    parts.commands.On(ID_FILE_SAVE_SETTINGS, [this] { SaveSettingsAs(); });
    parts.commands.On(ID_FILE_APPLY_SETTINGS, [this] { ApplySettingsFile(); });
    parts.commands.On(ID_COMPARE_ENCODERS, [this] { CompareSelected(); });
}

void CSettingsFiles::UpdateStates()
{
    const EncoderRecord* current = m_parts.deviceTree.SelectedItem();
    m_parts.commands.Action(ID_FILE_SAVE_SETTINGS)->setEnabled(current && m_parts.encoders.Find(current->ipAddr));
    m_parts.commands.Action(ID_FILE_APPLY_SETTINGS)->setEnabled(m_parts.deviceTree.SelectionIdle());
    m_parts.commands.Action(ID_COMPARE_ENCODERS)->setEnabled(m_parts.deviceTree.SelectedEncoderItems().size() == 2);
}

bool CSettingsFiles::RunFileDialog(bool save, const QString& title, QString& path)
{
    QFileDialog dialog(&m_parts.window, title, QString(), QStringLiteral("Settings files (*.xml);;All files (*)"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save) dialog.setDefaultSuffix(QStringLiteral("xml"));
    if (m_parts.prompter.RunDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().first();
    return !path.isEmpty();
}

void CSettingsFiles::SaveSettingsAs()
{
    const EncoderRecord* record = m_parts.deviceTree.SelectedItem();
    const EncoderEntry* entry = record ? m_parts.encoders.Find(record->ipAddr) : nullptr;
    if (!entry) return;
    if (!Writable(*entry)) {
        m_parts.prompter.Warning(&m_parts.window, ReadFirst());
        return;
    }
    const QStringList broken = RuleLines(CheckWholeRecord(entry->record));
    if (!broken.isEmpty()) {
        m_parts.prompter.Warning(&m_parts.window,
                                 QStringLiteral("The settings break these rules and were not saved:\n") +
                                     broken.join(QLatin1Char('\n')));
        return;
    }
    QString path;
    if (!RunFileDialog(true, QStringLiteral("Save Settings As"), path)) return;
    const std::string document = SaveSettingsDocument(entry->record);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(document.data(), qint64(document.size())) != qint64(document.size()) || !file.flush()) {
        m_parts.prompter.Warning(&m_parts.window, QStringLiteral("Cannot write %1 !").arg(path));
        return;
    }
    m_parts.log.Log(Text(entry->dotted), CActivityLog::Severity::Info,
                    QStringLiteral("Settings saved to %1 (without passwords)").arg(path));
    m_statusBar.showMessage(QStringLiteral("Settings of %1 saved to %2").arg(Text(entry->dotted), path), kNoteMs);
}

void CSettingsFiles::ApplySettingsFile()
{
    const QList<EncoderRecord*> items = m_parts.deviceTree.SelectedEncoderItems();
    if (items.isEmpty() || !m_parts.deviceTree.SelectionIdle()) return;
    QString path;
    if (!RunFileDialog(false, QStringLiteral("Apply Settings"), path)) return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_parts.prompter.Warning(&m_parts.window, QStringLiteral("Cannot read %1 !").arg(path));
        return;
    }
    // One byte past the longest settings file: a longer file is refused as such without
    // being read whole.
    const QByteArray bytes = file.read(qint64(kMaxSettingsFileBytes) + 1);
    const std::string text(bytes.constData(), size_t(bytes.size()));
    const QString name = QFileInfo(path).fileName();

    QStringList refused;
    int applied = 0;
    const EncoderRecord* current = m_parts.deviceTree.SelectedItem();
    for (const EncoderRecord* item : items) {
        EncoderEntry* entry = m_parts.encoders.Find(CDeviceTree::ItemAddress(item));
        if (!entry || m_parts.exchanges.InFlight(entry->address)) continue;
        const QString dotted = Text(entry->dotted);
        if (!Writable(*entry)) {
            refused << dotted + QStringLiteral(": ") + ReadFirst();
            continue;
        }
        const std::vector<BrokenRule> reasons = ApplySettings(text, entry->record);
        if (!reasons.empty()) {
            refused << dotted + QLatin1Char(':');
            for (const QString& line : RuleLines(reasons)) {
                refused << QStringLiteral("  ") + line;
                m_parts.log.Log(dotted, CActivityLog::Severity::Warning,
                                QStringLiteral("Settings of %1 not applied: %2").arg(name, line));
            }
            continue;
        }
        ++applied;
        m_parts.log.Log(dotted, CActivityLog::Severity::Info,
                        QStringLiteral("Settings of %1 applied: %2 pending edits, not yet written")
                            .arg(name)
                            .arg(CSafeEdits::PendingEditsOf(*entry).size()));
        m_hooks.updateItem(entry->address);
    }
    if (current) m_hooks.refreshSheet(*current);
    m_hooks.updateCommandStates();
    m_statusBar.showMessage(
        QStringLiteral("Settings of %1 applied to %2 of %3 encoders as pending edits; nothing is sent until you write")
            .arg(name)
            .arg(applied)
            .arg(items.size()),
        kNoteMs);
    if (!refused.isEmpty())
        m_parts.prompter.Warning(&m_parts.window,
                                 QStringLiteral("The settings of %1 were not applied to:\n").arg(name) +
                                     refused.join(QLatin1Char('\n')));
}

void CSettingsFiles::CompareSelected()
{
    const QList<EncoderRecord*> items = m_parts.deviceTree.SelectedEncoderItems();
    if (items.size() != 2) return;
    const EncoderEntry* first = m_parts.encoders.Find(CDeviceTree::ItemAddress(items[0]));
    const EncoderEntry* second = m_parts.encoders.Find(CDeviceTree::ItemAddress(items[1]));
    if (!first || !second) return;
    const std::vector<PendingChange> differing = DifferingRows(first->record, second->record);
    if (differing.empty()) {
        m_parts.prompter.Tip(
            &m_parts.window,
            QStringLiteral("%1 and %2 show the same settings.").arg(Text(first->dotted), Text(second->dotted)));
        return;
    }
    std::vector<CChangesDialog::Row> rows;
    for (const PendingChange& change : differing)
        rows.push_back({SettingRowName(change.heading, change.label), SheetTextFromBytes(change.oldText),
                        SheetTextFromBytes(change.newText)});
    CChangesDialog dialog(&m_parts.window, QStringLiteral("Compare Encoders"),
                          QStringLiteral("%1 settings differ between %2 and %3:")
                              .arg(rows.size())
                              .arg(Text(first->dotted), Text(second->dotted)),
                          {QStringLiteral("Setting"), Text(first->dotted), Text(second->dotted)}, rows);
    m_parts.prompter.RunDialog(dialog);
}
