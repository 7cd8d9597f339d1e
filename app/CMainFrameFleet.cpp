// The window for a fleet: one review for a write to many, and no edits lost by closing
// the window.

#include <QAction>
#include <QApplication>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

#include "AppIds.h"
#include "CChangesDialog.h"
#include "CDeviceTree.h"
#include "CExchangeController.h"
#include "CMainFrame.h"
#include "CPrompter.h"
#include "Dialogs.h"
#include "FrameText.h"

namespace {

constexpr int kModalRetryMs = 200;   // a box still open when the writes end: close after it

QString Counted(size_t count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QString::fromLatin1(count == 1 ? one : many));
}

bool SameChanges(const std::vector<PendingChange>& a, const std::vector<PendingChange>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const PendingChange& x, const PendingChange& y) {
        return x.controlId == y.controlId && x.oldText == y.oldText && x.newText == y.newText;
    });
}

}   // namespace

void CMainFrame::WireFleet()
{
    // A close that waits for its writes looks again each time exchanges end.
    connect(m_exchanges, &CExchangeController::statesChanged, this, [this] {
        if (!m_closeWrites.empty()) QTimer::singleShot(0, this, &CMainFrame::CloseWhenWritten);
    });
}

// ---------------------------------------------------------------------------------------
// Writes to many encoders

std::vector<uint32_t> CMainFrame::WriteEncoders(std::vector<uint32_t> addresses)
{
    if (addresses.empty() || !PrepareWrite(addresses)) return {};
    m_exchanges->RunCommand(ExchangeKind::Write, addresses);
    UpdateCommandStates();
    UpdateProgress();
    return addresses;
}

// Encoders with the same changes share one part of the review; encoders without a change
// are written as they are. However many encoders, the operator answers once.
bool CMainFrame::ReviewWrite(const std::vector<uint32_t>& addresses)
{
    struct Part {
        std::vector<PendingChange> changes;
        QStringList names;
    };
    std::vector<Part> parts;
    for (uint32_t address : addresses) {
        std::vector<PendingChange> changes = PendingEditsOf(*Encoders().Find(address));
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
    CChangesDialog dialog(this, QStringLiteral("Review Changes"), intro,
                          {QStringLiteral("Setting"), QStringLiteral("On the encoder"), QStringLiteral("New value")},
                          rows, QStringLiteral("Write"));
    for (int row : headings) dialog.SetHeadingRow(row);
    if (m_prompter.RunDialog(dialog) == QDialog::Accepted) return true;
    for (uint32_t address : addresses)
        Log(DottedText(address), CActivityLog::Severity::Info,
            QStringLiteral("Write Configuration cancelled at the review"));
    return false;
}

// ---------------------------------------------------------------------------------------
// Closing

std::vector<uint32_t> CMainFrame::EncodersWithPendingEdits() const
{
    std::vector<uint32_t> addresses;
    for (const EncoderEntry& entry : Encoders())
        if (!PendingEditsOf(entry).empty()) addresses.push_back(entry.address);
    return addresses;
}

bool CMainFrame::ClosingWithPendingEdits()
{
    if (!m_closeWrites.empty()) return false;   // still writing them: the window closes after
    std::vector<uint32_t> pending = EncodersWithPendingEdits();
    if (pending.empty()) return true;
    enum { kWrite, kDiscard, kCancel };
    const QString text = QStringLiteral("%1 edits not written yet. Write them before closing?")
                             .arg(pending.size() == 1 ? QStringLiteral("1 encoder has")
                                                      : QStringLiteral("%1 encoders have").arg(pending.size()));
    const int choice = m_prompter.Choose(this, text, QStringLiteral("Korvane"),
                                         {QStringLiteral("Write"), QStringLiteral("Discard"), QStringLiteral("Cancel")},
                                         kWrite, kCancel);
    if (choice == kDiscard) {
        Log(QString(), CActivityLog::Severity::Info,
            QStringLiteral("Edits of %1 discarded at closing").arg(Counted(pending.size(), "encoder", "encoders")));
        return true;
    }
    if (choice == kWrite) m_closeWrites = WriteEncoders(std::move(pending));
    return false;
}

// The writes begun at closing ended: the window goes when every one of them took, and
// stays, with their failures shown, when one did not.
void CMainFrame::CloseWhenWritten()
{
    if (m_closeWrites.empty() || m_closing) return;
    for (uint32_t address : m_closeWrites)
        if (InFlight(address)) return;
    if (QApplication::activeModalWidget()) {
        QTimer::singleShot(kModalRetryMs, this, &CMainFrame::CloseWhenWritten);
        return;
    }
    const bool written = std::none_of(m_closeWrites.begin(), m_closeWrites.end(),
                                      [this](uint32_t address) { return PendingEdits(address) > 0; });
    m_closeWrites.clear();
    if (written) close();
}
