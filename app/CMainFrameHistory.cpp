// The frame's configuration history: every successful read and write committed to the
// per-user history repository (and, before a write, what the encoder held), Device >
// History... and its Restore. Kept apart from the exchanges: history never changes what
// an exchange does or whether it runs.

#include <QPushButton>
#include <QSettings>

#include "AppIds.h"
#include "CHistoryDialog.h"
#include "CHistoryKeeper.h"
#include "CMainFrame.h"
#include "CPrompter.h"
#include "Presets.h"

const char* const kHistoryFolderKey = "History/folder";
const char* const kActivityLogFileKey = "ActivityLog/file";

namespace {

const char* const kReadFirst = "Please read the configuration first !";

}   // namespace

void CMainFrame::SetHistoryFolder(const QString& folder)
{
    m_history->SetFolder(folder);
    UpdateSafeEditStates();
}

QString CMainFrame::HistoryFolder() const
{
    return m_history->Folder();
}

void CMainFrame::RestoreHistorySettings()
{
    const QVariant folder = QSettings().value(QString::fromLatin1(kHistoryFolderKey));
    SetHistoryFolder(folder.isValid() ? folder.toString() : CHistoryKeeper::DefaultFolder());
}

void CMainFrame::KeepInHistory(const EncoderEntry& entry, const EncoderRecord& record, const QString& title)
{
    const QString dotted = QString::fromStdString(entry.dotted);
    if (std::optional<QString> failure = m_history->Record(entry.dotted, record, title.arg(dotted)))
        Log(dotted, CActivityLog::Severity::Warning, *failure);
}

void CMainFrame::KeepBeforeWrite(uint32_t address)
{
    // What the encoder held as last read or written: if it was never kept (the history was
    // off, or failed then), it is kept now, so that no write loses it.
    const EncoderEntry* entry = Encoders().Find(address);
    if (entry && entry->hasLastRead && entry->lastRead.loaded)
        KeepInHistory(*entry, entry->lastRead, QStringLiteral("Before the write to %1"));
}

void CMainFrame::KeepExchangeInHistory(const OperationReport& report)
{
    if (report.outcome != ExchangeOutcome::Succeeded) return;
    const EncoderEntry* entry = Encoders().Find(report.address);
    if (!entry) return;
    if (report.kind == OperationKind::Read && report.record)
        KeepInHistory(*entry, *report.record, QStringLiteral("Read of %1"));
    else if (report.kind == OperationKind::Write && report.written && report.sent)
        KeepInHistory(*entry, *report.sent, QStringLiteral("Write to %1"));
}

void CMainFrame::ShowHistory()
{
    EncoderRecord* current = SelectedRecord();
    EncoderEntry* entry = current ? Encoders().Find(current->ipAddr) : nullptr;
    if (!entry) return;
    std::vector<EncoderVersion> versions;
    QString error;
    if (!m_history->Versions(entry->dotted, versions, error)) {
        Warning(error.toStdString());
        return;
    }
    const QString dotted = QString::fromStdString(entry->dotted);
    const uint32_t address = entry->address;
    CHistoryDialog dialog(this, dotted, versions);
    if (m_prompter.RunDialog(dialog) != QDialog::Accepted) return;
    const int chosen = dialog.SelectedVersion();
    // The encoder may have gone or started an exchange while the dialog was open.
    entry = Encoders().Find(address);
    if (chosen < 0 || size_t(chosen) >= versions.size() || !entry || InFlight(entry->address)) return;
    if (!Writable(*entry)) {
        Warning(kReadFirst);
        return;
    }
    const EncoderVersion& version = versions[size_t(chosen)];
    const std::vector<BrokenRule> reasons = ApplySettings(version.document, entry->record);
    const QString name = QString::fromStdString(version.commit.shortId);
    if (!reasons.empty()) {
        QStringList lines;
        for (const BrokenRule& rule : reasons) lines << QString::fromStdString(rule.warning);
        Warning(QStringLiteral("Version %1 of %2 cannot be restored:\n%3")
                    .arg(name, dotted, lines.join(QLatin1Char('\n')))
                    .toStdString());
        return;
    }
    Log(dotted, CActivityLog::Severity::Info,
        QStringLiteral("Version %1 restored: %2 pending edits, not yet written")
            .arg(name)
            .arg(PendingEditsOf(*entry).size()));
    if (SelectedRecord() == &entry->record) RefreshSheet(entry->record);
    UpdateItem(entry->address);
    UpdateSafeEditStates();
}
