// The main window's safe edits: the edits not yet written marked and counted, reverted on
// demand, checked as a whole and reviewed before a write; read-back after a write;
// settings files (presets); two encoders compared. The window's other work is in
// CMainFrame.cpp.

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QSettings>
#include <QStatusBar>

#include "AppIds.h"
#include "CFrameCommands.h"
#include "CChangesDialog.h"
#include "CDeviceTree.h"
#include "CExchangeController.h"
#include "CMainFrame.h"
#include "CPrompter.h"
#include "CRowTreeItem.h"
#include "CPasswordsDialog.h"
#include "CommitRules.h"
#include "FrameText.h"
#include "OutcomeTexts.h"
#include "Presets.h"
#include "SheetLayout.h"

const char* const kReadBackKey = "Exchanges/readBackAfterWrite";

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

QStringList RuleLines(const std::vector<BrokenRule>& broken)
{
    QStringList lines;
    for (const BrokenRule& rule : broken) lines << Text(BrokenRuleLine(rule.heading, rule.label, rule.warning));
    return lines;
}

QStringList Lines(const std::vector<std::string>& texts)
{
    QStringList lines;
    for (const std::string& text : texts) lines << Text(text);
    return lines;
}

QString AddressList(const QStringList& addresses)
{
    return addresses.join(QStringLiteral(", "));
}

}   // namespace

QString SettingRowName(const char* heading, const char* label)
{
    QString line = QString::fromStdString(BrokenRuleLine(heading, label, std::string()));
    if (line.endsWith(QStringLiteral(": "))) line.chop(2);
    return line;
}

// ---------------------------------------------------------------------------------------
// Pending edits

std::vector<PendingChange> CMainFrame::PendingEditsOf(const EncoderEntry& entry) const
{
    // The passwords are typed for each write and never read: they are no edit of the
    // encoder's settings.
    std::vector<PendingChange> changes = PendingChanges(entry.lastRead, entry.record);
    changes.erase(std::remove_if(changes.begin(), changes.end(),
                                 [](const PendingChange& change) { return IsSecretControl(change.controlId); }),
                  changes.end());
    return changes;
}

int CMainFrame::PendingEdits(uint32_t address) const
{
    const EncoderEntry* entry = Encoders().Find(address);
    return entry ? int(PendingEditsOf(*entry).size()) : 0;
}

bool CMainFrame::Writable(const EncoderEntry& entry) const
{
    return ::Writable(entry);
}

void CMainFrame::CreateSafeEditWidgets()
{
    m_pendingField = new QLabel(statusBar());
    m_pendingField->setObjectName(QStringLiteral("PendingField"));
    m_pendingField->setToolTip(QStringLiteral("Settings of the current encoder changed and not yet written"));
    // Right of the message field (the one widget that is not permanent), left of the
    // lock-key indicators.
    statusBar()->insertPermanentWidget(1, m_pendingField);

    CFrameCommands& commands = *m_frameCommands;
    commands.On(ID_FILE_SAVE_SETTINGS, [this] { SaveSettingsAs(); });
    commands.On(ID_FILE_APPLY_SETTINGS, [this] { ApplySettingsFile(); });
    commands.On(ID_EDIT_REVERT_ROW, [this] { RevertRow(); });
    commands.On(ID_EDIT_REVERT_ALL, [this] { RevertAll(); });
    commands.On(ID_VIEW_SHOW_PASSWORDS,
                [this] { SetPasswordsShown(CommandAction(ID_VIEW_SHOW_PASSWORDS)->isChecked()); });
    commands.On(ID_READ_BACK_AFTER_WRITE,
                [this] { SetReadBack(CommandAction(ID_READ_BACK_AFTER_WRITE)->isChecked()); });
    commands.On(ID_COMPARE_ENCODERS, [this] { CompareSelected(); });
}

void CMainFrame::RestoreSafeEditSettings()
{
    SetReadBack(QSettings().value(QString::fromLatin1(kReadBackKey), false).toBool());
}

void CMainFrame::SetReadBack(bool on)
{
    m_exchanges->SetReadBack(on);
    CommandAction(ID_READ_BACK_AFTER_WRITE)->setChecked(on);
    if (m_roster->Persisting()) QSettings().setValue(QString::fromLatin1(kReadBackKey), on);
}

void CMainFrame::SetPasswordsShown(bool shown)
{
    CommandAction(ID_VIEW_SHOW_PASSWORDS)->setChecked(shown);
    m_settingsSheet->SetSecretsShown(shown);
}

void CMainFrame::ShowPending(const EncoderRecord& record)
{
    const EncoderEntry* entry = Encoders().Find(record.ipAddr);
    if (!entry || &entry->record != &record) {
        m_settingsSheet->MarkRows({});
        return;
    }
    std::vector<int> rows;
    for (const PendingChange& change : PendingEditsOf(*entry)) rows.push_back(change.controlId);
    m_settingsSheet->MarkRows(rows);
    if (SelectedRecord() == &record && m_pendingField)
        m_pendingField->setText(QStringLiteral("Pending edits: %1").arg(rows.size()));
    UpdateItem(entry->address);
    UpdateSafeEditStates();
}

QString CMainFrame::SheetNotice() const
{
    const EncoderRecord* current = SelectedRecord();
    if (!current) return QStringLiteral("No encoder is selected: select one in the device list to edit its settings.");
    if (const std::optional<ExchangeKind> activity = m_exchanges->Activity(current->ipAddr))
        return QStringLiteral("%1 is running %2: its settings take no edit until it ends.")
            .arg(DottedText(current->ipAddr), QString::fromLatin1(ExchangeKindName(*activity)));
    if (NeverRead(*current)) return QStringLiteral("Not read yet: press F5 to read this encoder's configuration.");
    return QString();
}

void CMainFrame::UpdateSafeEditStates()
{
    if (!m_pendingField) return;
    const EncoderRecord* current = SelectedRecord();
    const EncoderEntry* entry = current ? Encoders().Find(current->ipAddr) : nullptr;
    const bool editable = entry && !InFlight(entry->address);
    const bool pending = editable && PendingEdits(entry->address) > 0;
    CommandAction(ID_EDIT_REVERT_ROW)->setEnabled(pending);
    CommandAction(ID_EDIT_REVERT_ALL)->setEnabled(pending);
    CommandAction(ID_FILE_SAVE_SETTINGS)->setEnabled(entry != nullptr);
    CommandAction(ID_FILE_APPLY_SETTINGS)->setEnabled(m_deviceTree->SelectionIdle());
    CommandAction(ID_COMPARE_ENCODERS)->setEnabled(m_deviceTree->SelectedEncoderItems().size() == 2);
    CommandAction(ID_DEVICE_HISTORY)->setEnabled(entry != nullptr && !HistoryFolder().isEmpty());
    if (!entry) {
        m_settingsSheet->MarkRows({});
        m_pendingField->clear();
    }
}

void CMainFrame::RevertRow()
{
    EncoderRecord* record = SelectedRecord();
    EncoderEntry* entry = record ? Encoders().Find(record->ipAddr) : nullptr;
    if (!entry || InFlight(entry->address)) return;
    int selected = 0;
    ForEachSheetRow([&](const SheetRow& row, const char*) {
        const CRowTreeItem* built = row.controlId ? m_settingsSheet->RowFor(row.controlId) : nullptr;
        if (built && built->IsSelected()) selected = row.controlId;
    });
    if (selected == 0 || IsSecretControl(selected)) return;
    RevertRowFields(selected, entry->lastRead, entry->record);
    RefreshSheet(entry->record);
}

void CMainFrame::RevertAll()
{
    EncoderRecord* record = SelectedRecord();
    EncoderEntry* entry = record ? Encoders().Find(record->ipAddr) : nullptr;
    if (!entry || InFlight(entry->address)) return;
    for (const PendingChange& change : PendingEditsOf(*entry))
        RevertRowFields(change.controlId, entry->lastRead, entry->record);
    RefreshSheet(entry->record);
}

// ---------------------------------------------------------------------------------------
// Before a write

bool CMainFrame::PrepareWrite(std::vector<uint32_t>& addresses)
{
    // The operations' own checks, asked for every encoder before anything is sent: a
    // record is sent whole, so it must have been read, and it must keep every rule.
    QStringList unread;
    QStringList broken;
    for (uint32_t address : addresses) {
        const std::optional<OperationReport> refusal = Ops().CheckWrite(address);
        if (!refusal) continue;
        const QString dotted = DottedText(address);
        if (refusal->notRead) {
            unread << dotted;
            Log(dotted, CActivityLog::Severity::Error, QStringLiteral("Write Configuration refused: ") + ReadFirst());
            continue;
        }
        const QStringList lines = Lines(refusal->brokenRules);
        for (const QString& line : lines)
            Log(dotted, CActivityLog::Severity::Error, QStringLiteral("Write Configuration refused: ") + line);
        if (addresses.size() > 1) broken << dotted + QLatin1Char(':');
        broken << lines;
    }
    if (!unread.isEmpty()) {
        if (addresses.size() == 1)
            Warning(ReadFirst().toStdString());
        else
            Warning(
                QStringLiteral("Please read the configuration of %1 first !").arg(AddressList(unread)).toStdString());
        return false;
    }
    if (!broken.isEmpty()) {
        Warning((QString::fromLatin1(TextOf(OutcomeText::BrokenRulesNotWritten)) + QLatin1Char('\n') +
                 broken.join(QLatin1Char('\n')))
                    .toStdString());
        return false;
    }

    if (!ReviewWrite(addresses)) return false;
    addresses.erase(std::remove_if(addresses.begin(), addresses.end(),
                                   [&](uint32_t address) { return !Encoders().Find(address) || InFlight(address); }),
                    addresses.end());
    return !addresses.empty() && AskBatchPasswords(addresses);
}

bool CMainFrame::AskBatchPasswords(const std::vector<uint32_t>& addresses)
{
    // One encoder keeps its own path: the write itself asks for the sheet's passwords.
    if (addresses.size() < 2) return true;
    if (std::all_of(addresses.begin(), addresses.end(),
                    [this](uint32_t address) { return Ops().HasPasswords(address); }))
        return true;
    CPasswordsDialog dialog(this, int(addresses.size()));
    if (m_prompter.RunDialog(dialog) != QDialog::Accepted) {
        for (uint32_t address : addresses)
            Log(DottedText(address), CActivityLog::Severity::Info,
                QStringLiteral("Write Configuration cancelled at the passwords"));
        return false;
    }
    WriteOptions options;
    options.passwords = WritePasswords{dialog.Password().toStdString(), dialog.NewPassword().toStdString()};
    for (uint32_t address : addresses) m_exchanges->SetWriteOptions(address, options);
    return true;
}

// ---------------------------------------------------------------------------------------
// After an exchange

void CMainFrame::AfterExchange(const OperationReport& report, bool monitor)
{
    if (monitor) return;
    KeepExchangeInHistory(report);
    const uint32_t address = report.address;
    const EncoderEntry* entry = Encoders().Find(address);
    if (!entry) {
        ForgetEncoderEdits(address);
        return;
    }
    if (!report.verifyRan || report.outcome == ExchangeOutcome::Cancelled) return;
    const QString dotted = QString::fromStdString(entry->dotted);
    if (!report.verifyRead) {
        Log(dotted, CActivityLog::Severity::Warning, QString::fromLatin1(TextOf(OutcomeText::ReadBackFailed)));
        return;
    }
    if (report.notTaken.empty()) {
        Log(dotted, CActivityLog::Severity::Info, QString::fromLatin1(TextOf(OutcomeText::ReadBackAllTook)));
        return;
    }
    std::vector<CChangesDialog::Row> rows;
    for (size_t i = 0; i < report.notTaken.size(); ++i) {
        const FieldMismatch& mismatch = report.notTaken[i];
        const QString name = mismatch.controlId != 0 ? SettingRowName(mismatch.heading, mismatch.label)
                                                     : QString::fromLatin1(mismatch.name);
        rows.push_back({name, Text(mismatch.written), Text(mismatch.readBack)});
        Log(dotted, CActivityLog::Severity::Warning, Text(report.notTakenLines[i]));
    }
    m_exchanges->SetOutcome(address, {QStringLiteral("Read back: %1 settings did not take").arg(rows.size()), true});
    UpdateItem(address);
    CChangesDialog dialog(this, QStringLiteral("Read Back"),
                          QStringLiteral("%1 did not take %2 of the settings written:").arg(dotted).arg(rows.size()),
                          {QStringLiteral("Setting"), QStringLiteral("Written"), QStringLiteral("Read back")}, rows);
    m_prompter.RunDialog(dialog);
}

void CMainFrame::ForgetEncoderEdits(uint32_t address)
{
    m_exchanges->Forget(address);
}

bool CMainFrame::ReadBack() const
{
    return m_exchanges->ReadBack();
}

// ---------------------------------------------------------------------------------------
// Settings files and comparison

bool CMainFrame::RunFileDialog(bool save, const QString& title, QString& path)
{
    QFileDialog dialog(this, title, QString(), QStringLiteral("Settings files (*.xml);;All files (*)"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save) dialog.setDefaultSuffix(QStringLiteral("xml"));
    if (m_prompter.RunDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().first();
    return !path.isEmpty();
}

void CMainFrame::SaveSettingsAs()
{
    const EncoderRecord* record = SelectedRecord();
    const EncoderEntry* entry = record ? Encoders().Find(record->ipAddr) : nullptr;
    if (!entry) return;
    if (!Writable(*entry)) {
        Warning(ReadFirst().toStdString());
        return;
    }
    const QStringList broken = RuleLines(CheckWholeRecord(entry->record));
    if (!broken.isEmpty()) {
        Warning(
            (QStringLiteral("The settings break these rules and were not saved:\n") + broken.join(QLatin1Char('\n')))
                .toStdString());
        return;
    }
    QString path;
    if (!RunFileDialog(true, QStringLiteral("Save Settings As"), path)) return;
    const std::string document = SaveSettingsDocument(entry->record);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(document.data(), qint64(document.size())) != qint64(document.size()) || !file.flush()) {
        Warning(QStringLiteral("Cannot write %1 !").arg(path).toStdString());
        return;
    }
    Log(QString::fromStdString(entry->dotted), CActivityLog::Severity::Info,
        QStringLiteral("Settings saved to %1 (without passwords)").arg(path));
    statusBar()->showMessage(QStringLiteral("Settings of %1 saved to %2").arg(Text(entry->dotted), path), kNoteMs);
}

void CMainFrame::ApplySettingsFile()
{
    const QList<EncoderRecord*> items = m_deviceTree->SelectedEncoderItems();
    if (items.isEmpty() || !m_deviceTree->SelectionIdle()) return;
    QString path;
    if (!RunFileDialog(false, QStringLiteral("Apply Settings"), path)) return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Warning(QStringLiteral("Cannot read %1 !").arg(path).toStdString());
        return;
    }
    // One byte past the longest settings file: a longer file is refused as such without
    // being read whole.
    const QByteArray bytes = file.read(qint64(kMaxSettingsFileBytes) + 1);
    const std::string text(bytes.constData(), size_t(bytes.size()));
    const QString name = QFileInfo(path).fileName();

    QStringList refused;
    int applied = 0;
    const EncoderRecord* current = SelectedRecord();
    for (const EncoderRecord* item : items) {
        EncoderEntry* entry = Encoders().Find(CDeviceTree::ItemAddress(item));
        if (!entry || InFlight(entry->address)) continue;
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
                Log(dotted, CActivityLog::Severity::Warning,
                    QStringLiteral("Settings of %1 not applied: %2").arg(name, line));
            }
            continue;
        }
        ++applied;
        Log(dotted, CActivityLog::Severity::Info,
            QStringLiteral("Settings of %1 applied: %2 pending edits, not yet written")
                .arg(name)
                .arg(PendingEdits(entry->address)));
        UpdateItem(entry->address);
    }
    if (current) RefreshSheet(*current);
    UpdateCommandStates();
    statusBar()->showMessage(
        QStringLiteral("Settings of %1 applied to %2 of %3 encoders as pending edits; nothing is sent until you write")
            .arg(name)
            .arg(applied)
            .arg(items.size()),
        kNoteMs);
    if (!refused.isEmpty())
        Warning(
            (QStringLiteral("The settings of %1 were not applied to:\n").arg(name) + refused.join(QLatin1Char('\n')))
                .toStdString());
}

void CMainFrame::CompareSelected()
{
    const QList<EncoderRecord*> items = m_deviceTree->SelectedEncoderItems();
    if (items.size() != 2) return;
    const EncoderEntry* first = Encoders().Find(CDeviceTree::ItemAddress(items[0]));
    const EncoderEntry* second = Encoders().Find(CDeviceTree::ItemAddress(items[1]));
    if (!first || !second) return;
    const std::vector<PendingChange> differing = DifferingRows(first->record, second->record);
    if (differing.empty()) {
        Tip(QStringLiteral("%1 and %2 show the same settings.")
                .arg(Text(first->dotted), Text(second->dotted))
                .toStdString());
        return;
    }
    std::vector<CChangesDialog::Row> rows;
    for (const PendingChange& change : differing)
        rows.push_back({SettingRowName(change.heading, change.label), SheetTextFromBytes(change.oldText),
                        SheetTextFromBytes(change.newText)});
    CChangesDialog dialog(this, QStringLiteral("Compare Encoders"),
                          QStringLiteral("%1 settings differ between %2 and %3:")
                              .arg(rows.size())
                              .arg(Text(first->dotted), Text(second->dotted)),
                          {QStringLiteral("Setting"), Text(first->dotted), Text(second->dotted)}, rows);
    m_prompter.RunDialog(dialog);
}
