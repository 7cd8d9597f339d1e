#pragma once
// Every encoder's settings versioned: one settings file per encoder (<address>.xml, the
// bytes `read --out` writes) in a git repository, one commit per run that saw a change,
// its message naming each changed field as the sheet shows it. The command line's backup
// and the window's reads and writes both record through here.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "GitRepository.h"
#include "SettingsChanges.h"

// An encoder's settings document as a settings file keeps it (passwords blanked).
struct EncoderDocument {
    std::string address;   // dotted
    std::string document;
};

struct RecordOutcome {
    bool ok = false;
    std::string error;      // when not ok: why nothing was recorded
    std::string commitId;   // empty: nothing changed, no commit
    size_t changed = 0;     // encoders whose file changed
    std::string message;    // the commit's message, when there was one
};

// One version of an encoder's file: the commit that made it and what it changed.
struct EncoderVersion {
    GitCommitInfo commit;
    bool first = false;                   // the encoder's first version: every field is new
    size_t changedCount = 0;              // fields changed (every field shown, for a first version)
    std::vector<SettingChange> changes;   // empty for a first version
    std::string document;                 // the file as it was then
};

// The commit's first line from the number of encoders recorded and of those changed.
using CommitTitle = std::function<std::string(size_t encoders, size_t changed)>;

class ConfigurationHistory {
public:
    // The repository in `folder`, made when `create` and missing; null with `error` else.
    static std::unique_ptr<ConfigurationHistory> Open(const std::string& folder, bool create, std::string& error);

    // Writes each encoder's file and commits those that changed, as one commit whose first
    // line is `title` and then one line per changed field, "A.B.C.D: <Heading> / <Label>:
    // <old> -> <new>" ("A.B.C.D: first version" for an encoder new to the repository).
    RecordOutcome Record(const std::vector<EncoderDocument>& documents, const CommitTitle& title);

    // The versions of an encoder's file, newest first.
    bool Versions(const std::string& address, std::vector<EncoderVersion>& versions, std::string& error) const;

    const std::string& Folder() const { return m_repository->Folder(); }

private:
    explicit ConfigurationHistory(std::unique_ptr<GitRepository> repository) : m_repository(std::move(repository)) {}
    std::unique_ptr<GitRepository> m_repository;
};

// The file an encoder's settings are kept in: "10.1.2.20.xml".
std::string EncoderFileName(const std::string& dotted);

// "Backup of N encoders: K changed", the command line's backup run.
std::string BackupTitle(size_t encoders, size_t changed);

// A commit's time in ISO 8601 with its offset: "2026-12-08T16:30:05+01:00".
std::string IsoCommitTime(int64_t time, int offsetMinutes);
