#include "RecordComparison.h"

#include "SettingsDocument.h"
#include "SettingsFields.h"
#include "SheetLayout.h"

namespace {

bool IsPassword(FieldRef field)
{
    const SettingsField* element = FindSettingsField(field);
    return element && element->Has(FieldFlag::kPassword);
}

std::string Masked(const std::string& text)
{
    return text.empty() ? text : kPasswordMask;
}

// The sheet row that shows and edits a field, or nullptr.
const SheetRow* RowShowing(FieldRef field, const char** heading)
{
    const SheetRow* found = nullptr;
    ForEachSheetRow([&](const SheetRow& row, const char* rowHeading) {
        if (!found && row.field == field) {
            found = &row;
            *heading = rowHeading;
        }
    });
    return found;
}

enum class Rows { Editable, Shown };

std::vector<PendingChange> CompareRows(const EncoderRecord& lastRead, const EncoderRecord& edited, Rows rows)
{
    std::vector<PendingChange> changes;
    ForEachSheetRow([&](const SheetRow& row, const char* heading) {
        if (row.field.type == FieldType::None) return;
        if (rows == Rows::Editable && row.commit.kind == CommitKind::None) return;
        std::string before = DisplayText(row, lastRead);
        std::string after = DisplayText(row, edited);
        if (before == after) return;
        // Two encoders' passwords are typed for each write, never read: no difference of
        // their settings.
        if (rows == Rows::Shown && IsPassword(row.field)) return;
        if (IsPassword(row.field)) {
            before = Masked(before);
            after = Masked(after);
        }
        changes.push_back(PendingChange{row.controlId, heading, row.label, std::move(before), std::move(after)});
    });
    return changes;
}

}   // namespace

std::vector<PendingChange> PendingChanges(const EncoderRecord& lastRead, const EncoderRecord& edited)
{
    return CompareRows(lastRead, edited, Rows::Editable);
}

std::vector<PendingChange> DifferingRows(const EncoderRecord& first, const EncoderRecord& second)
{
    return CompareRows(first, second, Rows::Shown);
}

std::vector<FieldMismatch> ReadBackMismatches(const EncoderRecord& written, const EncoderRecord& readBack)
{
    // The written record as the encoder received it: its document read back in.
    EncoderRecord sent = written;
    std::vector<char> buffer(10000, '\0');
    const int length = WriteSettingsDocument(sent, buffer.data());
    EncoderRecord expected = sent;
    ReadSettingsText(buffer.data(), length, expected);

    std::vector<FieldMismatch> mismatches;
    for (const SettingsField& element : SettingsFields()) {
        if (element.kind == ValueKind::Container) continue;
        if (element.Has(FieldFlag::kPassword) || element.Has(FieldFlag::kReported) ||
            element.Has(FieldFlag::kSecondCarrier)) {
            continue;
        }
        if (SameFieldValue(element.field, expected, readBack)) continue;
        const char* heading = "";
        const SheetRow* row = RowShowing(element.field, &heading);
        mismatches.push_back(FieldMismatch{element.name, row ? row->controlId : 0, heading,
                                           row && row->label ? row->label : "", FieldValueText(element, expected),
                                           FieldValueText(element, readBack)});
    }
    return mismatches;
}
