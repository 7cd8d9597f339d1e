#include "CliSettings.h"

#include <cstddef>
#include <vector>

#include "CommitRules.h"
#include "Presets.h"
#include "RecordComparison.h"
#include "RecordJson.h"
#include "SheetLayout.h"

namespace {

// The sheet row that edits a password field: its rule is the one the operator meets.
int PasswordControlId(bool isNew)
{
    const size_t offset = isNew ? offsetof(EncoderRecord, newPassword) : offsetof(EncoderRecord, password);
    for (const SheetRow& row : LeftColumn()) {
        if (row.controlId != 0 && row.field.type == FieldType::Text && row.field.offset == offset) {
            return row.controlId;
        }
    }
    return 0;
}

}   // namespace

std::string DocumentOfRecord(const EncoderRecord& record)
{
    return SaveSettingsDocument(record);
}

std::string SettingsJson(const EncoderRecord& record)
{
    return RecordJsonObject(record);
}

std::optional<std::string> SettingsFileProblem(const std::string& fileText)
{
    // Rules a blank record breaks are no fault of the file; only the file as a whole counts.
    EncoderRecord scratch{};
    for (const BrokenRule& broken : ApplySettings(fileText, scratch)) {
        if (broken.controlId == 0) {
            return broken.warning;
        }
    }
    return std::nullopt;
}

bool TakeSettings(const std::string& fileText, EncoderRecord& record, std::vector<std::string>& reasons)
{
    std::vector<BrokenRule> broken = ApplySettings(fileText, record);
    for (const BrokenRule& rule : broken) {
        std::string where = std::string(rule.heading) + (rule.heading[0] && rule.label[0] ? " " : "") + rule.label;
        reasons.push_back(where.empty() ? rule.warning : where + ": " + rule.warning);
    }
    return broken.empty();
}

std::optional<std::string> PasswordWarning(const std::string& password, bool isNew)
{
    EncoderRecord scratch{};
    return CommitSetting(PasswordControlId(isNew), EditorValue::Text(password), scratch);
}

void SetPasswords(EncoderRecord& record, const std::string& password, const std::string& newPassword)
{
    CommitSetting(PasswordControlId(false), EditorValue::Text(password), record);
    CommitSetting(PasswordControlId(true), EditorValue::Text(newPassword), record);
}

std::vector<std::string> SettingsNotTaken(const EncoderRecord& written, const EncoderRecord& readBack)
{
    std::vector<std::string> lines;
    for (const FieldMismatch& mismatch : ReadBackMismatches(written, readBack)) {
        lines.push_back(std::string(mismatch.name) + " did not take: written " + mismatch.written + ", read back " +
                        mismatch.readBack);
    }
    return lines;
}
