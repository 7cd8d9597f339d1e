#include "CSafeEdits.h"

#include <QAction>
#include <QLabel>
#include <QSettings>
#include <QStatusBar>
#include <algorithm>

#include "AppIds.h"
#include "CActivityLog.h"
#include "CChangesDialog.h"
#include "CDeviceTree.h"
#include "CExchangeController.h"
#include "CFrameCommands.h"
#include "CPrompter.h"
#include "CRowTreeItem.h"
#include "CSettingsSheet.h"
#include "CommitRules.h"
#include "FrameText.h"
#include "OutcomeTexts.h"
#include "SheetLayout.h"

const char* const kReadBackKey = "Exchanges/readBackAfterWrite";

namespace {

bool IsSecretControl(int controlId)
{
    const SheetRow* row = FindSheetRow(controlId);
    return row && CSettingsSheet::IsSecretRow(*row);
}

// A row's field, and the field its edits keep equal to it, as `from` holds them.
void RevertRowFields(int controlId, const EncoderRecord& from, EncoderRecord& to)
{
    if (const SheetRow* row = FindSheetRow(controlId)) {
        CopyFieldValue(row->field, from, to);
        CopyFieldValue(row->commit.mirror, from, to);
    }
}

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

}   // namespace

QString SettingRowName(const char* heading, const char* label)
{
    QString line = QString::fromStdString(BrokenRuleLine(heading, label, std::string()));
    if (line.endsWith(QStringLiteral(": "))) line.chop(2);
    return line;
}

CSafeEdits::CSafeEdits(const FrameParts& parts, CSettingsSheet& sheet, QStatusBar& statusBar, Hooks hooks)
    : m_parts(parts), m_sheet(sheet), m_hooks(std::move(hooks))
{
    m_pendingField = new QLabel(&statusBar);
    m_pendingField->setObjectName(QStringLiteral("PendingField"));
    m_pendingField->setToolTip(QStringLiteral("Settings of the current encoder changed and not yet written"));
    // Right of the message field (the one widget that is not permanent), left of the
    // lock-key indicators.
    statusBar.insertPermanentWidget(1, m_pendingField);

    parts.commands.On(ID_EDIT_REVERT_ROW, [this] { RevertRow(); });
    parts.commands.On(ID_EDIT_REVERT_ALL, [this] { RevertAll(); });
    parts.commands.On(ID_VIEW_SHOW_PASSWORDS,
                      [this] { SetPasswordsShown(m_parts.commands.Action(ID_VIEW_SHOW_PASSWORDS)->isChecked()); });
    parts.commands.On(ID_READ_BACK_AFTER_WRITE,
                      [this] { SetReadBack(m_parts.commands.Action(ID_READ_BACK_AFTER_WRITE)->isChecked()); });
}

// ---------------------------------------------------------------------------------------
// Pending edits

std::vector<PendingChange> CSafeEdits::PendingEditsOf(const EncoderEntry& entry)
{
    std::vector<PendingChange> changes = PendingChanges(entry.LastRead(), entry.record);
    changes.erase(std::remove_if(changes.begin(), changes.end(),
                                 [](const PendingChange& change) { return IsSecretControl(change.controlId); }),
                  changes.end());
    return changes;
}

int CSafeEdits::PendingEdits(uint32_t address) const
{
    const EncoderEntry* entry = m_parts.encoders.Find(address);
    return entry ? int(PendingEditsOf(*entry).size()) : 0;
}

bool CSafeEdits::NeverRead(const EncoderRecord& record) const
{
    const EncoderEntry* entry = m_parts.encoders.Find(record.ipAddr);
    return entry && &entry->record == &record && !EverRead(*entry);
}

EncoderEntry* CSafeEdits::CurrentEntry() const
{
    const EncoderRecord* current = m_parts.deviceTree.SelectedItem();
    return current ? m_parts.encoders.Find(current->ipAddr) : nullptr;
}

void CSafeEdits::RestoreSettings()
{
    SetReadBack(QSettings().value(QString::fromLatin1(kReadBackKey), false).toBool());
    m_persist = true;
}

void CSafeEdits::SetReadBack(bool on)
{
    m_parts.exchanges.SetReadBack(on);
    m_parts.commands.Action(ID_READ_BACK_AFTER_WRITE)->setChecked(on);
    if (m_persist) QSettings().setValue(QString::fromLatin1(kReadBackKey), on);
}

bool CSafeEdits::ReadBack() const
{
    return m_parts.exchanges.ReadBack();
}

void CSafeEdits::SetPasswordsShown(bool shown)
{
    m_parts.commands.Action(ID_VIEW_SHOW_PASSWORDS)->setChecked(shown);
    m_sheet.SetSecretsShown(shown);
}

void CSafeEdits::ShowPending(const EncoderRecord& record)
{
    const EncoderEntry* entry = m_parts.encoders.Find(record.ipAddr);
    if (!entry || &entry->record != &record) {
        m_sheet.MarkRows({});
        return;
    }
    std::vector<int> rows;
    for (const PendingChange& change : PendingEditsOf(*entry)) rows.push_back(change.controlId);
    m_sheet.MarkRows(rows);
    if (m_parts.deviceTree.SelectedItem() == &record)
        m_pendingField->setText(QStringLiteral("Pending edits: %1").arg(rows.size()));
    m_hooks.updateItem(entry->address);
    UpdateStates();
}

QString CSafeEdits::SheetNotice() const
{
    const EncoderRecord* current = m_parts.deviceTree.SelectedItem();
    if (!current) return QStringLiteral("No encoder is selected: select one in the device list to edit its settings.");
    if (const std::optional<ExchangeKind> activity = m_parts.exchanges.Activity(current->ipAddr))
        return QStringLiteral("%1 is running %2: its settings take no edit until it ends.")
            .arg(DottedText(current->ipAddr), QString::fromLatin1(ExchangeKindName(*activity)));
    if (NeverRead(*current)) return QStringLiteral("Not read yet: press F5 to read this encoder's configuration.");
    return QString();
}

void CSafeEdits::UpdateStates()
{
    const EncoderEntry* entry = CurrentEntry();
    const bool editable = entry && !m_parts.exchanges.InFlight(entry->address);
    const bool pending = editable && PendingEdits(entry->address) > 0;
    m_parts.commands.Action(ID_EDIT_REVERT_ROW)->setEnabled(pending);
    m_parts.commands.Action(ID_EDIT_REVERT_ALL)->setEnabled(pending);
    if (!entry) {
        m_sheet.MarkRows({});
        m_pendingField->clear();
    }
}

void CSafeEdits::RevertRow()
{
    EncoderEntry* entry = CurrentEntry();
    if (!entry || m_parts.exchanges.InFlight(entry->address)) return;
    int selected = 0;
    ForEachSheetRow([&](const SheetRow& row, const char*) {
        const CRowTreeItem* built = row.controlId ? m_sheet.RowFor(row.controlId) : nullptr;
        if (built && built->IsSelected()) selected = row.controlId;
    });
    if (selected == 0 || IsSecretControl(selected)) return;
    RevertRowFields(selected, entry->LastRead(), entry->record);
    m_hooks.refreshSheet(entry->record);
}

void CSafeEdits::RevertAll()
{
    EncoderEntry* entry = CurrentEntry();
    if (!entry || m_parts.exchanges.InFlight(entry->address)) return;
    for (const PendingChange& change : PendingEditsOf(*entry))
        RevertRowFields(change.controlId, entry->LastRead(), entry->record);
    m_hooks.refreshSheet(entry->record);
}

// ---------------------------------------------------------------------------------------
// After an exchange

void CSafeEdits::AfterExchange(const OperationReport& report)
{
    const uint32_t address = report.address;
    const EncoderEntry* entry = m_parts.encoders.Find(address);
    if (!entry) {
        m_parts.exchanges.Forget(address);   // the encoder went while its exchange ran
        return;
    }
    if (!report.verifyRan || report.outcome == ExchangeOutcome::Cancelled) return;
    const QString dotted = QString::fromStdString(entry->dotted);
    if (!report.verifyRead) {
        m_parts.log.Log(dotted, CActivityLog::Severity::Warning,
                        QString::fromLatin1(TextOf(OutcomeText::ReadBackFailed)));
        return;
    }
    if (report.notTaken.empty()) {
        m_parts.log.Log(dotted, CActivityLog::Severity::Info,
                        QString::fromLatin1(TextOf(OutcomeText::ReadBackAllTook)));
        return;
    }
    std::vector<CChangesDialog::Row> rows;
    for (size_t i = 0; i < report.notTaken.size(); ++i) {
        const FieldMismatch& mismatch = report.notTaken[i];
        const QString name = mismatch.controlId != 0 ? SettingRowName(mismatch.heading, mismatch.label)
                                                     : QString::fromLatin1(mismatch.name);
        rows.push_back({name, Text(mismatch.written), Text(mismatch.readBack)});
        m_parts.log.Log(dotted, CActivityLog::Severity::Warning, Text(report.notTakenLines[i]));
    }
    m_parts.exchanges.SetOutcome(address,
                                 {QStringLiteral("Read back: %1 settings did not take").arg(rows.size()), true});
    m_hooks.updateItem(address);
    CChangesDialog dialog(&m_parts.window, QStringLiteral("Read Back"),
                          QStringLiteral("%1 did not take %2 of the settings written:").arg(dotted).arg(rows.size()),
                          {QStringLiteral("Setting"), QStringLiteral("Written"), QStringLiteral("Read back")}, rows);
    m_parts.prompter.RunDialog(dialog);
}
