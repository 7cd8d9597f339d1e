#pragma once
// The window's safe edits: a listed encoder's settings changed in the sheet and not yet
// written are its pending edits, counted against the record as last read or written,
// marked in the sheet, counted in the status bar and in its row, and reverted on demand
// (Revert Row, Revert All). After a write, the read-back shows what did not take.

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "EncoderList.h"
#include "FrameParts.h"
#include "Operations.h"
#include "RecordComparison.h"

// The setting under which the read-back is kept: read back after every write; false when not set.
extern const char* const kReadBackKey;

class CSettingsSheet;
class QLabel;
class QStatusBar;

class CSafeEdits : public QObject {
public:
    // What the edits ask of the rest of the window; the frame wires them.
    struct Hooks {
        std::function<void(const EncoderRecord&)> refreshSheet;   // the sheet rewritten from a record
        std::function<void(uint32_t)> updateItem;                 // the encoder's row shown again
    };

    // Adds the pending-edits field to `statusBar` and connects Revert Row, Revert All, Show
    // Passwords and Read Back After Write.
    CSafeEdits(const FrameParts& parts, CSettingsSheet& sheet, QStatusBar& statusBar, Hooks hooks);

    // The edits of an encoder not yet written: the rows whose value differs from the record
    // as last read or written, passwords aside (they are typed for each write, never read).
    static std::vector<PendingChange> PendingEditsOf(const EncoderEntry& entry);
    int PendingEdits(uint32_t address) const;
    // The listed encoder of `record` was never read: its sheet shows no settings and takes
    // no edit.
    bool NeverRead(const EncoderRecord& record) const;

    // Revert Row (the sheet's selected row) and Revert All, on the current encoder.
    void RevertRow();
    void RevertAll();

    // After "Set Configuration Success !", read the encoder again and show what did not
    // take. Kept in the per-user settings once RestoreSettings has run; off by default.
    void SetReadBack(bool on);
    bool ReadBack() const;
    void RestoreSettings();
    void SetPasswordsShown(bool shown);

    // Marks `record`'s pending edits in the sheet, counts them in the status bar (for the
    // current encoder) and in its row.
    void ShowPending(const EncoderRecord& record);
    // Why the sheet takes no edit now; empty when it does.
    QString SheetNotice() const;
    // Revert Row and Revert All enabled while the current encoder has pending edits and no
    // exchange in flight.
    void UpdateStates();
    // A finished exchange of the operator's: the read-back's findings after a write.
    void AfterExchange(const OperationReport& report);

    QLabel* PendingField() const { return m_pendingField; }

private:
    EncoderEntry* CurrentEntry() const;

    const FrameParts m_parts;
    CSettingsSheet& m_sheet;
    Hooks m_hooks;
    QLabel* m_pendingField = nullptr;
    bool m_persist = false;   // settings restored: save changes
};
