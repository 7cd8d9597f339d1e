#include "CliHistory.h"

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "CliRunner.h"
#include "ConfigurationHistory.h"
#include "Presets.h"
#include "SettingsChanges.h"
#include "TextConversions.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitNotSettings = 2;

void Print(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void Complain(const std::string& text)
{
    std::fprintf(stderr, "korvane-cli: %s\n", text.c_str());
}

// At most one byte past the longest settings file: a longer one is refused unread.
std::optional<std::string> ReadSettingsFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string bytes(kMaxSettingsFileBytes + 1, '\0');
    file.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) {
        return std::nullopt;
    }
    bytes.resize(static_cast<size_t>(file.gcount()));
    return bytes;
}

}   // namespace

int RunBackup(const CliRunSetup& setup)
{
    std::string error;
    // The repository first: a run that cannot keep what it reads does not read.
    std::unique_ptr<ConfigurationHistory> history = ConfigurationHistory::Open(setup.arguments.repo, true, error);
    if (!history) {
        Complain(error);
        return kExitFailed;
    }
    std::vector<std::optional<std::string>> documents;
    const int readStatus = ReadDocuments(setup, documents);

    std::vector<EncoderDocument> read;
    for (size_t i = 0; i < documents.size() && i < setup.addresses.size(); ++i) {
        if (documents[i]) {
            read.push_back(EncoderDocument{FormatDotted(setup.addresses[i]), std::move(*documents[i])});
        }
    }
    RecordOutcome outcome = history->Record(read, BackupTitle);
    if (!outcome.ok) {
        Complain(outcome.error);
        return kExitFailed;
    }
    if (outcome.commitId.empty()) {
        Print("Backup of " + std::to_string(read.size()) + " encoders: nothing changed, no commit\n");
    } else {
        Print("Committed " + outcome.commitId.substr(0, 7) + ": " + BackupTitle(read.size(), outcome.changed) + "\n");
    }
    return readStatus;
}

int RunHistory(const CliArguments& arguments, uint32_t address)
{
    std::string error;
    std::unique_ptr<ConfigurationHistory> history = ConfigurationHistory::Open(arguments.repo, false, error);
    std::vector<EncoderVersion> versions;
    if (!history || !history->Versions(FormatDotted(address), versions, error)) {
        Complain(error);
        return kExitFailed;
    }
    std::string out;
    for (const EncoderVersion& version : versions) {
        out += version.commit.shortId + " " + IsoCommitTime(version.commit.time, version.commit.offsetMinutes) + " " +
               std::to_string(version.changedCount) + " changed\n";
    }
    Print(out);
    return 0;
}

int RunDiff(const CliArguments& arguments)
{
    std::optional<EncoderRecord> records[2];
    for (size_t i = 0; i < 2; ++i) {
        const std::string& path = arguments.targets[i];
        std::optional<std::string> bytes = ReadSettingsFile(path);
        if (!bytes) {
            Complain("cannot read " + path);
            return kExitNotSettings;
        }
        records[i] = RecordOfDocument(*bytes);
        if (!records[i]) {
            Complain(path + ": not a settings document");
            return kExitNotSettings;
        }
    }
    std::string out;
    const std::vector<SettingChange> changes = SettingChanges(*records[0], *records[1]);
    for (const SettingChange& change : changes) {
        out += ChangeLine(change) + "\n";
    }
    Print(out);
    return changes.empty() ? 0 : 1;
}
