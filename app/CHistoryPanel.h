#pragma once
// The window's side of the configuration history: every successful read and write of the
// operator's committed to the history repository (and, before a write, what the encoder
// held), Device > History... and its Restore, which makes a version's settings pending
// edits. Kept apart from the exchanges: history never changes what an exchange does or
// whether it runs.

#include <QObject>
#include <QString>
#include <functional>

#include "CHistoryKeeper.h"
#include "EncoderList.h"
#include "FrameParts.h"
#include "Operations.h"

// The setting under which the history repository's folder is kept; empty: none.
extern const char* const kHistoryFolderKey;

class CHistoryPanel : public QObject {
public:
    // `editsChanged` shows an encoder whose record a Restore changed (sheet, row, commands).
    CHistoryPanel(const FrameParts& parts, std::function<void(EncoderEntry&)> editsChanged);

    // The repository's folder; empty keeps none. RestoreSettings takes it from the per-user
    // settings, by default the per-user data folder's "history".
    void SetFolder(const QString& folder);
    QString Folder() const { return m_keeper.Folder(); }
    void RestoreSettings();

    // A finished exchange of the operator's: a successful read or write is kept.
    void KeepExchange(const OperationReport& report);
    // Device > History...: the current encoder's versions; Restore makes the chosen one's
    // settings pending edits.
    void Show();
    // Device > History... enabled for a current encoder while a history is kept.
    void UpdateStates();

private:
    void Keep(const EncoderEntry& entry, const EncoderRecord& record, const QString& title);
    void KeepBeforeWrite(uint32_t address);

    const FrameParts m_parts;
    std::function<void(EncoderEntry&)> m_editsChanged;
    CHistoryKeeper m_keeper;
};
