#include "SettingsChanges.h"

#include "Gb2312.h"
#include "Presets.h"
#include "RecordComparison.h"
#include "SettingsDocument.h"
#include "SettingsFields.h"
#include "SheetLayout.h"

std::optional<EncoderRecord> RecordOfDocument(const std::string& bytes)
{
    if (bytes.size() > kMaxReceivedDocumentBytes) {
        return std::nullopt;
    }
    EncoderRecord record{};
    if (ReadSettingsText(bytes.data(), static_cast<int>(bytes.size()), record) != 1) {
        return std::nullopt;
    }
    return record;
}

std::vector<SettingChange> SettingChanges(const EncoderRecord& before, const EncoderRecord& after)
{
    std::vector<SettingChange> changes;
    for (const PendingChange& row : DifferingRows(before, after)) {
        // The record keeps the encoder's GB2312 bytes; words, numbers and addresses are
        // ASCII and come through unchanged.
        changes.push_back(SettingChange{row.heading ? row.heading : "", row.label ? row.label : "",
                                        Utf8FromGb2312(row.oldText), Utf8FromGb2312(row.newText)});
    }
    return changes;
}

size_t ShownFieldCount()
{
    size_t count = 0;
    ForEachSheetRow([&](const SheetRow& row, const char*) {
        if (row.field.type == FieldType::None) return;
        // A settings file never carries a password.
        const SettingsField* element = FindSettingsField(row.field);
        if (!element || !element->Has(FieldFlag::kPassword)) ++count;
    });
    return count;
}

std::string ChangeLine(const SettingChange& change)
{
    std::string row = change.heading.empty() ? change.label : change.heading + " / " + change.label;
    return row + ": " + change.oldText + " -> " + change.newText;
}
