#include "ConfigurationHistory.h"

#include <cstdio>
#include <optional>

namespace {

std::vector<SettingChange> ChangesBetween(const std::string& before, const std::string& after)
{
    std::optional<EncoderRecord> old = RecordOfDocument(before);
    std::optional<EncoderRecord> now = RecordOfDocument(after);
    if (!old || !now) {
        return {};
    }
    return SettingChanges(*old, *now);
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian), without the C library's
// time zone state: the offset is the commit's own.
void CivilDate(int64_t days, int64_t& year, int& month, int& day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

}   // namespace

std::string EncoderFileName(const std::string& dotted)
{
    return dotted + ".xml";
}

std::string BackupTitle(size_t encoders, size_t changed)
{
    return "Backup of " + std::to_string(encoders) + " encoders: " + std::to_string(changed) + " changed";
}

std::string IsoCommitTime(int64_t time, int offsetMinutes)
{
    const int64_t local = time + static_cast<int64_t>(offsetMinutes) * 60;
    int64_t days = local / 86400;
    int64_t seconds = local % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    int64_t year = 0;
    int month = 0, day = 0;
    CivilDate(days, year, month, day);
    const int offset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", static_cast<long long>(year), month,
                  day, static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60), offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return text;
}

std::unique_ptr<ConfigurationHistory> ConfigurationHistory::Open(const std::string& folder, bool create,
                                                                 std::string& error)
{
    std::unique_ptr<GitRepository> repository = GitRepository::Open(folder, create, error);
    if (!repository) {
        return nullptr;
    }
    return std::unique_ptr<ConfigurationHistory>(new ConfigurationHistory(std::move(repository)));
}

RecordOutcome ConfigurationHistory::Record(const std::vector<EncoderDocument>& documents, const CommitTitle& title)
{
    RecordOutcome outcome;
    std::vector<GitFile> files;
    std::string lines;
    for (const EncoderDocument& encoder : documents) {
        GitFile file{EncoderFileName(encoder.address), encoder.document};
        if (!IsPlainFileName(file.name)) {
            outcome.error = "not an encoder address: " + encoder.address;
            return outcome;
        }
        const std::optional<std::string> before = m_repository->LastCommitted(file.name);
        if (before && *before == file.bytes) {
            continue;
        }
        ++outcome.changed;
        if (!before) {
            lines += encoder.address + ": first version\n";
        } else {
            for (const SettingChange& change : ChangesBetween(*before, file.bytes)) {
                lines += encoder.address + ": " + ChangeLine(change) + "\n";
            }
        }
        files.push_back(std::move(file));
    }
    if (files.empty()) {
        outcome.ok = true;
        return outcome;
    }
    std::string message = title(documents.size(), outcome.changed) + "\n";
    if (!lines.empty()) {
        message += "\n" + lines;
    }
    outcome.ok = m_repository->Commit(files, message, outcome.commitId, outcome.error);
    if (outcome.ok && !outcome.commitId.empty()) {
        outcome.message = message;
    }
    return outcome;
}

bool ConfigurationHistory::Versions(const std::string& address, std::vector<EncoderVersion>& versions,
                                    std::string& error) const
{
    versions.clear();
    std::vector<GitFileVersion> found;
    if (!m_repository->VersionsOf(EncoderFileName(address), found, error)) {
        return false;
    }
    for (GitFileVersion& file : found) {
        EncoderVersion version;
        version.commit = std::move(file.commit);
        version.first = !file.before.has_value();
        if (version.first) {
            version.changedCount = RecordOfDocument(file.after) ? ShownFieldCount() : 0;
        } else {
            version.changes = ChangesBetween(*file.before, file.after);
            version.changedCount = version.changes.size();
        }
        version.document = std::move(file.after);
        versions.push_back(std::move(version));
    }
    return true;
}
