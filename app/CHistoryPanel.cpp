#include "CHistoryPanel.h"

#include <QAction>
#include <QSettings>

#include "AppIds.h"
#include "CActivityLog.h"
#include "CDeviceTree.h"
#include "CExchangeController.h"
#include "CFrameCommands.h"
#include "CHistoryDialog.h"
#include "CPrompter.h"
#include "CSafeEdits.h"
#include "OutcomeTexts.h"
#include "Presets.h"

const char* const kHistoryFolderKey = "History/folder";

CHistoryPanel::CHistoryPanel(const FrameParts& parts, std::function<void(EncoderEntry&)> editsChanged)
    : m_parts(parts), m_editsChanged(std::move(editsChanged))
{
    parts.commands.On(ID_DEVICE_HISTORY, [this] { Show(); });
    connect(&m_parts.exchanges, &CExchangeController::operationStarting, this,
            [this](uint32_t address, ExchangeKind kind) {
                if (kind == ExchangeKind::Write) KeepBeforeWrite(address);
            });
}

void CHistoryPanel::SetFolder(const QString& folder)
{
    m_keeper.SetFolder(folder);
    UpdateStates();
}

void CHistoryPanel::RestoreSettings()
{
    const QVariant folder = QSettings().value(QString::fromLatin1(kHistoryFolderKey));
    SetFolder(folder.isValid() ? folder.toString() : CHistoryKeeper::DefaultFolder());
}

void CHistoryPanel::UpdateStates()
{
    const EncoderRecord* current = m_parts.deviceTree.SelectedItem();
    const bool listed = current && m_parts.encoders.Find(current->ipAddr);
    m_parts.commands.Action(ID_DEVICE_HISTORY)->setEnabled(listed && !Folder().isEmpty());
}

void CHistoryPanel::Keep(const EncoderEntry& entry, const EncoderRecord& record, const QString& title)
{
    const QString dotted = QString::fromStdString(entry.dotted);
    if (std::optional<QString> failure = m_keeper.Record(entry.dotted, record, title.arg(dotted)))
        m_parts.log.Log(dotted, CActivityLog::Severity::Warning, *failure);
}

void CHistoryPanel::KeepBeforeWrite(uint32_t address)
{
    // What the encoder held as last read or written: if it was never kept (the history was
    // off, or failed then), it is kept now, so that no write loses it.
    const EncoderEntry* entry = m_parts.encoders.Find(address);
    if (entry && entry->HasLastRead() && entry->lastRead->loaded)
        Keep(*entry, *entry->lastRead, QStringLiteral("Before the write to %1"));
}

void CHistoryPanel::KeepExchange(const OperationReport& report)
{
    if (report.outcome != ExchangeOutcome::Succeeded) return;
    const EncoderEntry* entry = m_parts.encoders.Find(report.address);
    if (!entry) return;
    if (report.kind == OperationKind::Read && report.record)
        Keep(*entry, *report.record, QStringLiteral("Read of %1"));
    else if (report.kind == OperationKind::Write && report.written && report.sent)
        Keep(*entry, *report.sent, QStringLiteral("Write to %1"));
}

void CHistoryPanel::Show()
{
    const EncoderRecord* current = m_parts.deviceTree.SelectedItem();
    EncoderEntry* entry = current ? m_parts.encoders.Find(current->ipAddr) : nullptr;
    if (!entry) return;
    std::vector<EncoderVersion> versions;
    QString error;
    if (!m_keeper.Versions(entry->dotted, versions, error)) {
        m_parts.prompter.Warning(&m_parts.window, error);
        return;
    }
    const QString dotted = QString::fromStdString(entry->dotted);
    const uint32_t address = entry->address;
    CHistoryDialog dialog(&m_parts.window, dotted, versions);
    if (m_parts.prompter.RunDialog(dialog) != QDialog::Accepted) return;
    const int chosen = dialog.SelectedVersion();
    // The encoder may have gone or started an exchange while the dialog was open.
    entry = m_parts.encoders.Find(address);
    if (chosen < 0 || size_t(chosen) >= versions.size() || !entry || m_parts.exchanges.InFlight(entry->address)) return;
    if (!Writable(*entry)) {
        m_parts.prompter.Warning(&m_parts.window, QString::fromLatin1(TextOf(OutcomeText::ReadFirst)));
        return;
    }
    const EncoderVersion& version = versions[size_t(chosen)];
    const std::vector<BrokenRule> reasons = ApplySettings(version.document, entry->record);
    const QString name = QString::fromStdString(version.commit.shortId);
    if (!reasons.empty()) {
        QStringList lines;
        for (const BrokenRule& rule : reasons) lines << QString::fromStdString(rule.warning);
        m_parts.prompter.Warning(&m_parts.window, QStringLiteral("Version %1 of %2 cannot be restored:\n%3")
                                                      .arg(name, dotted, lines.join(QLatin1Char('\n'))));
        return;
    }
    m_parts.log.Log(dotted, CActivityLog::Severity::Info,
                    QStringLiteral("Version %1 restored: %2 pending edits, not yet written")
                        .arg(name)
                        .arg(CSafeEdits::PendingEditsOf(*entry).size()));
    m_editsChanged(*entry);
}
