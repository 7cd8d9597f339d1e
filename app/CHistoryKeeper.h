#pragma once
// The window's configuration history: the per-user repository that every successful read
// and write is committed to, and what the encoder held before each write. A repository
// that cannot be opened or written never stops an exchange: the first failure is told
// once, the rest pass silently until one succeeds again.

#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "ConfigurationHistory.h"
#include "EncoderRecord.h"

class CHistoryKeeper {
public:
    // Where the history is kept when the settings name no folder: the per-user data folder.
    static QString DefaultFolder();

    // Empty: keep no history.
    void SetFolder(const QString& folder);
    QString Folder() const { return m_folder; }
    bool Enabled() const { return !m_folder.isEmpty(); }

    // Commits `record`'s settings file (passwords blanked) as the encoder at `dotted` when
    // it differs from the last one kept. A text for the activity log when the repository
    // failed for the first time since it last worked; otherwise nothing.
    std::optional<QString> Record(const std::string& dotted, const EncoderRecord& record, const QString& title);

    // The encoder's versions, newest first; false with `error` when the history cannot be read.
    bool Versions(const std::string& dotted, std::vector<EncoderVersion>& versions, QString& error);

private:
    ConfigurationHistory* Open(QString& error);

    QString m_folder;
    std::unique_ptr<ConfigurationHistory> m_history;
    bool m_failureTold = false;
};
