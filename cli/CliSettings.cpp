#include "CliSettings.h"

#include <cstddef>
#include <vector>

#include "CommitRules.h"
#include "LinkProtocol.h"
#include "SettingsDocument.h"
#include "SheetLayout.h"

namespace {

// The sheet row that edits a password field: its rule is the one the operator meets.
int PasswordControlId(bool isNew) {
    const size_t offset = isNew ? offsetof(EncoderRecord, newPassword) : offsetof(EncoderRecord, password);
    for (const SheetRow& row : LeftColumn()) {
        if (row.controlId != 0 && row.field.type == FieldType::Text && row.field.offset == offset) {
            return row.controlId;
        }
    }
    return 0;
}

}  // namespace

std::string DocumentOfRecord(const EncoderRecord& record) {
    EncoderRecord copy = record;
    copy.password[0] = 0;
    copy.newPassword[0] = 0;
    std::vector<char> text(kWriteBufferSize, 0);
    int length = WriteSettingsDocument(copy, text.data());
    return std::string(text.data(), length > 0 ? static_cast<size_t>(length) : 0);
}

std::string SettingsJson(const EncoderRecord&) { return "{}"; }

bool IsSettingsDocument(const std::string& fileText) {
    EncoderRecord scratch{};
    return ReadSettingsText(fileText.data(), static_cast<int>(fileText.size()), scratch) != 0;
}

bool TakeSettings(const std::string&, EncoderRecord&, std::vector<std::string>& reasons) {
    reasons.push_back("settings files are not taken yet");
    return false;
}

std::optional<std::string> PasswordWarning(const std::string& password, bool isNew) {
    EncoderRecord scratch{};
    return CommitSetting(PasswordControlId(isNew), EditorValue::Text(password), scratch);
}

void SetPasswords(EncoderRecord& record, const std::string& password, const std::string& newPassword) {
    CommitSetting(PasswordControlId(false), EditorValue::Text(password), record);
    CommitSetting(PasswordControlId(true), EditorValue::Text(newPassword), record);
}

std::vector<std::string> ReadBackMismatches(const EncoderRecord&, const EncoderRecord&) { return {}; }
