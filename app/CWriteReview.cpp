#include "CWriteReview.h"

#include <QApplication>
#include <QTimer>
#include <algorithm>

#include "CActivityLog.h"
#include "CChangesDialog.h"
#include "CExchangeController.h"
#include "CPasswordsDialog.h"
#include "CPrompter.h"
#include "CSafeEdits.h"
#include "CSettingsSheet.h"
#include "FrameText.h"
#include "OutcomeTexts.h"
#include "SheetLayout.h"

namespace {

constexpr int kModalRetryMs = 200;   // a box still open when the writes end: close after it

QString ReadFirst()
{
    return QString::fromLatin1(TextOf(OutcomeText::ReadFirst));
}

bool SameChanges(const std::vector<PendingChange>& a, const std::vector<PendingChange>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const PendingChange& x, const PendingChange& y) {
        return x.controlId == y.controlId && x.oldText == y.oldText && x.newText == y.newText;
    });
}

}   // namespace

CWriteReview::CWriteReview(QWidget& window, CPrompter& prompter, EncoderList& encoders, CExchangeController& exchanges,
                           CActivityLog& log, Hooks hooks)
    : m_window(window), m_prompter(prompter), m_encoders(encoders), m_exchanges(exchanges), m_log(log),
      m_hooks(std::move(hooks))
{
    // A close that waits for its writes looks again each time exchanges end.
    connect(&m_exchanges, &CExchangeController::statesChanged, this, [this] {
        if (!m_closeWrites.empty()) QTimer::singleShot(0, this, &CWriteReview::CloseWhenWritten);
    });
}

void CWriteReview::Log(const QString& encoder, const QString& text, bool error)
{
    m_log.Log(encoder, error ? CActivityLog::Severity::Error : CActivityLog::Severity::Info, text);
}

std::vector<uint32_t> CWriteReview::WriteEncoders(std::vector<uint32_t> addresses)
{
    if (addresses.empty() || !PrepareWrite(addresses)) return {};
    m_exchanges.RunCommand(ExchangeKind::Write, addresses);
    m_hooks.exchangesStarted();
    return addresses;
}

// ---------------------------------------------------------------------------------------
// Before a write

bool CWriteReview::PrepareWrite(std::vector<uint32_t>& addresses)
{
    // The operations' own checks, asked for every encoder before anything is sent: a
    // record is sent whole, so it must have been read, and it must keep every rule.
    QStringList unread;
    QStringList broken;
    for (uint32_t address : addresses) {
        const std::optional<OperationReport> refusal = m_exchanges.Ops().CheckWrite(address);
        if (!refusal) continue;
        const QString dotted = DottedText(address);
        if (refusal->notRead) {
            unread << dotted;
            Log(dotted, QStringLiteral("Write Configuration refused: ") + ReadFirst(), true);
            continue;
        }
        QStringList lines;
        for (const std::string& text : refusal->brokenRules) lines << QString::fromStdString(text);
        for (const QString& line : lines) Log(dotted, QStringLiteral("Write Configuration refused: ") + line, true);
        if (addresses.size() > 1) broken << dotted + QLatin1Char(':');
        broken << lines;
    }
    if (!unread.isEmpty()) {
        if (addresses.size() == 1)
            m_prompter.Warning(&m_window, ReadFirst());
        else
            m_prompter.Warning(
                &m_window,
                QStringLiteral("Please read the configuration of %1 first !").arg(unread.join(QStringLiteral(", "))));
        return false;
    }
    if (!broken.isEmpty()) {
        m_prompter.Warning(&m_window, QString::fromLatin1(TextOf(OutcomeText::BrokenRulesNotWritten)) +
                                          QLatin1Char('\n') + broken.join(QLatin1Char('\n')));
        return false;
    }

    if (!ReviewWrite(addresses)) return false;
    addresses.erase(
        std::remove_if(addresses.begin(), addresses.end(),
                       [&](uint32_t address) { return !m_encoders.Find(address) || m_exchanges.InFlight(address); }),
        addresses.end());
    return !addresses.empty() && AskBatchPasswords(addresses);
}

bool CWriteReview::AskBatchPasswords(const std::vector<uint32_t>& addresses)
{
    // One encoder keeps its own path: the write itself asks for the sheet's passwords.
    if (addresses.size() < 2) return true;
    if (std::all_of(addresses.begin(), addresses.end(),
                    [this](uint32_t address) { return m_exchanges.Ops().HasPasswords(address); }))
        return true;
    CPasswordsDialog dialog(&m_window, int(addresses.size()));
    if (m_prompter.RunDialog(dialog) != QDialog::Accepted) {
        for (uint32_t address : addresses)
            Log(DottedText(address), QStringLiteral("Write Configuration cancelled at the passwords"));
        return false;
    }
    WriteOptions options;
    options.passwords = WritePasswords{dialog.Password().toStdString(), dialog.NewPassword().toStdString()};
    for (uint32_t address : addresses) m_exchanges.SetWriteOptions(address, options);
    return true;
}

// Encoders with the same changes share one part of the review; encoders without a change
// are written as they are. However many encoders, the operator answers once.
bool CWriteReview::ReviewWrite(const std::vector<uint32_t>& addresses)
{
    struct Part {
        std::vector<PendingChange> changes;
        QStringList names;
    };
    std::vector<Part> parts;
    for (uint32_t address : addresses) {
        std::vector<PendingChange> changes = CSafeEdits::PendingEditsOf(*m_encoders.Find(address));
        if (changes.empty()) continue;
        auto same = std::find_if(parts.begin(), parts.end(),
                                 [&changes](const Part& part) { return SameChanges(part.changes, changes); });
        if (same != parts.end())
            same->names << DottedText(address);
        else
            parts.push_back({std::move(changes), {DottedText(address)}});
    }
    if (parts.empty()) return true;

    auto target = [](const QStringList& names) {
        return names.size() == 1
                   ? names.first()
                   : QStringLiteral("%1 encoders (%2)").arg(names.size()).arg(names.join(QStringLiteral(", ")));
    };
    std::vector<CChangesDialog::Row> rows;
    std::vector<int> headings;
    QString intro;
    for (const Part& part : parts) {
        const QString settings = Counted(part.changes.size(), "changed setting", "changed settings");
        if (parts.size() > 1) {
            headings.push_back(int(rows.size()));
            rows.push_back({QStringLiteral("%1: %2").arg(target(part.names), settings), QString(), QString()});
        } else {
            intro = QStringLiteral("Write %1 to %2?").arg(settings, target(part.names));
        }
        for (const PendingChange& change : part.changes)
            rows.push_back({SettingRowName(change.heading, change.label), SheetTextFromBytes(change.oldText),
                            SheetTextFromBytes(change.newText)});
    }
    if (parts.size() > 1) {
        size_t changed = 0;
        for (const Part& part : parts) changed += size_t(part.names.size());
        intro = QStringLiteral("Write the changed settings of %1 encoders, each as listed?").arg(changed);
    }
    if (addresses.size() > 1) {
        size_t unchanged = addresses.size();
        for (const Part& part : parts) unchanged -= size_t(part.names.size());
        if (unchanged > 0)
            intro += QStringLiteral(" %1 without a change %2 written as read.")
                         .arg(Counted(unchanged, "encoder", "encoders"))
                         .arg(unchanged == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    }
    CChangesDialog dialog(&m_window, QStringLiteral("Review Changes"), intro,
                          {QStringLiteral("Setting"), QStringLiteral("On the encoder"), QStringLiteral("New value")},
                          rows, QStringLiteral("Write"));
    for (int row : headings) dialog.SetHeadingRow(row);
    if (m_prompter.RunDialog(dialog) == QDialog::Accepted) return true;
    for (uint32_t address : addresses)
        Log(DottedText(address), QStringLiteral("Write Configuration cancelled at the review"));
    return false;
}

// ---------------------------------------------------------------------------------------
// Closing

std::vector<uint32_t> CWriteReview::EncodersWithPendingEdits() const
{
    std::vector<uint32_t> addresses;
    for (const EncoderEntry& entry : m_encoders)
        if (!CSafeEdits::PendingEditsOf(entry).empty()) addresses.push_back(entry.address);
    return addresses;
}

bool CWriteReview::ClosingWithPendingEdits()
{
    if (!m_closeWrites.empty()) return false;   // still writing them: the window closes after
    std::vector<uint32_t> pending = EncodersWithPendingEdits();
    if (pending.empty()) return true;
    enum { kWrite, kDiscard, kCancel };
    const QString text = QStringLiteral("%1 edits not written yet. Write them before closing?")
                             .arg(pending.size() == 1 ? QStringLiteral("1 encoder has")
                                                      : QStringLiteral("%1 encoders have").arg(pending.size()));
    const int choice = m_prompter.Choose(&m_window, text, QStringLiteral("Korvane"),
                                         {QStringLiteral("Write"), QStringLiteral("Discard"), QStringLiteral("Cancel")},
                                         kWrite, kCancel);
    if (choice == kDiscard) {
        Log(QString(),
            QStringLiteral("Edits of %1 discarded at closing").arg(Counted(pending.size(), "encoder", "encoders")));
        return true;
    }
    if (choice == kWrite) m_closeWrites = WriteEncoders(std::move(pending));
    return false;
}

// The writes begun at closing ended: the window goes when every one of them took, and
// stays, with their failures shown, when one did not.
void CWriteReview::CloseWhenWritten()
{
    if (m_closeWrites.empty() || m_hooks.closing()) return;
    for (uint32_t address : m_closeWrites)
        if (m_exchanges.InFlight(address)) return;
    if (QApplication::activeModalWidget()) {
        QTimer::singleShot(kModalRetryMs, this, &CWriteReview::CloseWhenWritten);
        return;
    }
    const bool written = std::none_of(m_closeWrites.begin(), m_closeWrites.end(), [this](uint32_t address) {
        const EncoderEntry* entry = m_encoders.Find(address);
        return entry && !CSafeEdits::PendingEditsOf(*entry).empty();
    });
    m_closeWrites.clear();
    if (written) m_window.close();
}
