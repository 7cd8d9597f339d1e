#include "CliSettings.h"

#include "CommitRules.h"
#include "Presets.h"
#include "RecordJson.h"

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

std::optional<std::string> PasswordWarning(const std::string& password, bool isNew)
{
    EncoderRecord scratch{};
    return CommitField(isNew ? RECORD_FIELD(newPassword) : RECORD_FIELD(password), EditorValue::FromTyped(password),
                       scratch);
}
