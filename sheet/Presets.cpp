#include "Presets.h"

#include "SettingsDocument.h"
#include "SettingsFields.h"
#include "SheetLayout.h"

namespace {

const char* const kNotASettingsFile = "The file is not an encoder settings document !";

bool IsPassword(const SheetRow& row)
{
    const SettingsField* element = FindSettingsField(row.field);
    return element && element->Has(FieldFlag::kPassword);
}

}   // namespace

std::string SaveSettingsDocument(const EncoderRecord& record)
{
    EncoderRecord copy = record;
    copy.password[0] = '\0';
    copy.newPassword[0] = '\0';
    std::vector<char> buffer(10000, '\0');
    const int length = WriteSettingsDocument(copy, buffer.data());
    return std::string(buffer.data(), static_cast<size_t>(length));
}

std::vector<BrokenRule> ApplySettings(const std::string& fileText, EncoderRecord& record)
{
    if (std::optional<std::string> fault = SettingsFileFault(fileText)) return {BrokenRule{0, "", "", *fault}};
    // Read over the encoder's own values, so an element the file lacks changes nothing.
    EncoderRecord fromFile = record;
    if (!ReadSettingsText(fileText.data(), static_cast<int>(fileText.size()), fromFile)) {
        return {BrokenRule{0, "", "", kNotASettingsFile}};
    }
    EncoderRecord result = record;
    ForEachSheetRow([&](const SheetRow& row, const char*) {
        if (row.commit.kind != CommitKind::None && !IsPassword(row)) CopyFieldValue(row.field, fromFile, result);
    });
    std::vector<BrokenRule> broken = CheckWholeRecord(result);
    if (broken.empty()) record = result;
    return broken;
}
