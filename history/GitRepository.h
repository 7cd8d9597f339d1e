#pragma once
// A folder of settings files kept as a git repository, through libgit2: what each file held
// at every commit, and one commit for a set of files. The repository is an ordinary one, so
// that git itself (log, diff, fsck, clone) reads it as well as this tool does. Knows nothing
// of encoders: files are names and bytes.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct git_repository;

struct GitFile {
    std::string name;   // a plain file name in the repository's top folder ("10.1.2.20.xml")
    std::string bytes;
};

struct GitCommitInfo {
    std::string id;          // 40 hexadecimal digits
    std::string shortId;     // the first 7 of them
    int64_t time = 0;        // the committer's time, seconds since 1970 UTC
    int offsetMinutes = 0;   // the committer's offset from UTC
    std::string message;
};

// One commit that changed a file, with the file's bytes before and after it.
struct GitFileVersion {
    GitCommitInfo commit;
    std::optional<std::string> before;   // empty: the commit added the file
    std::string after;
};

class GitRepository {
public:
    // Opens the repository in `folder`; makes the folder and an empty repository first
    // when `create` and there is none. Null with the reason in `error` otherwise.
    static std::unique_ptr<GitRepository> Open(const std::string& folder, bool create, std::string& error);
    ~GitRepository();
    GitRepository(const GitRepository&) = delete;
    GitRepository& operator=(const GitRepository&) = delete;

    // The file's bytes in the newest commit; empty when it has none (or there is no commit).
    std::optional<std::string> LastCommitted(const std::string& name) const;
    // The file's bytes in commit `id` (full or unique short id).
    std::optional<std::string> FileAt(const std::string& id, const std::string& name) const;

    // Writes every file into the working folder and commits them together. Files whose
    // bytes equal the newest commit's change nothing; when none differs there is no commit
    // and `id` is left empty. False, with the reason in `error`, when the folder or the
    // repository could not be written.
    bool Commit(const std::vector<GitFile>& files, const std::string& message, std::string& id, std::string& error);

    // The commits that changed `name`, newest first (the first parent's line of history).
    bool VersionsOf(const std::string& name, std::vector<GitFileVersion>& versions, std::string& error) const;

    const std::string& Folder() const { return m_folder; }

private:
    GitRepository(git_repository* repository, std::string folder);
    bool WriteWorkingFile(const GitFile& file, std::string& error) const;

    git_repository* m_repository = nullptr;
    std::string m_folder;
};

// A file name this repository keeps: one level, no path separators, not hidden.
bool IsPlainFileName(const std::string& name);
