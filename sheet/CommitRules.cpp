#include "CommitRules.h"

#include <cstdio>
#include <cstring>

#include "Gb2312.h"
#include "SettingsDocument.h"
#include "SheetLayout.h"
#include "TextConversions.h"

EditorValue EditorValue::Index(uint8_t comboIndex)
{
    EditorValue value;
    value.kind = Kind::Index;
    value.index = comboIndex;
    return value;
}

EditorValue EditorValue::Address(uint32_t hostOrder)
{
    EditorValue value;
    value.kind = Kind::Address;
    value.address = hostOrder;
    return value;
}

EditorValue EditorValue::Text(std::string windowText)
{
    EditorValue value;
    value.kind = Kind::Text;
    value.text = std::move(windowText);
    return value;
}

EditorValue EditorValue::Unencodable(std::string character, uint32_t codePoint)
{
    EditorValue value;
    value.kind = Kind::Unencodable;
    value.text = std::move(character);
    value.codePoint = codePoint;
    return value;
}

EditorValue EditorValue::FromTyped(const std::string& utf8)
{
    Gb2312Text encoded = Gb2312FromUtf8(utf8);
    if (!encoded.ok) return Unencodable(encoded.character, encoded.codePoint);
    return Text(std::move(encoded.bytes));
}

uint16_t FindFreePid(const EncoderRecord& record)
{
    for (uint16_t candidate = 32; candidate <= 99; ++candidate) {
        bool taken = false;
        for (size_t slot = 0; slot < kPidSlotCount && !taken; ++slot) {
            taken = FieldNumber(PidFieldOf(static_cast<PidSlot>(slot)).field, record) == candidate;
        }
        if (!taken) return candidate;
    }
    return 100;
}

namespace {

constexpr int kSingleMode = 3;
constexpr int kHighestSingleBitrate = 8;   // "192"
constexpr int kLowestOtherBitrate = 3;     // "64"
const char* const kSingleModeWarning = "Audio bitrate in single mode must less than 192Kb !";
const char* const kOtherModeWarning = "Audio bitrate not  single mode must large than 64Kb !";
const char* const kProgramNumberWarning = "Program Number must less than 65535 !";
const char* const kControlCharacterWarning = "Text must not contain control characters !";

// The code point goes beside the character, since one the operator's font lacks shows as a box.
std::string UnencodableWarning(const EditorValue& value)
{
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(value.codePoint));
    return "Character \"" + value.text + "\" (" + code + ") cannot be sent to the encoder !";
}

bool HasForbiddenByte(const std::string& text)
{
    for (char c : text) {
        if (IsXmlForbiddenByte(static_cast<unsigned char>(c))) return true;
    }
    return false;
}

// A stored bitrate is a signed byte to this rule: 255, the unknown bitrate, counts as -1.
std::optional<std::string> CheckAudio(int mode, int bitrate)
{
    if (mode == kSingleMode) {
        if (bitrate > kHighestSingleBitrate) return kSingleModeWarning;
    } else if (bitrate < kLowestOtherBitrate) {
        return kOtherModeWarning;
    }
    return std::nullopt;
}

int StoredBitrate(FieldRef field, const EncoderRecord& record)
{
    return static_cast<int8_t>(static_cast<uint8_t>(FieldNumber(field, record)));
}

std::optional<std::string> CommitPid(const SheetRow& row, int32_t v, EncoderRecord& record)
{
    const PidRule& rule = row.commit.pid;
    if (v == 0 && !rule.zeroRefused) {
        SetFieldNumber(row.field, record, 0);   // unused stream; the other PID stays as it is
        return std::nullopt;
    }
    const char* tag = PidFieldOf(rule.self).tag;
    if (v < 20 || v > 8190) return std::string(tag) + " value must between 20 and 8190 !";
    for (uint8_t i = 0; i < rule.count; ++i) {
        const PidField& other = PidFieldOf(rule.order[i]);
        if (FieldNumber(other.field, record) == v) {
            return std::string(tag) + " conflict with " + other.name + " !";
        }
    }
    SetFieldNumber(row.field, record, v);
    if (row.commit.partner.type != FieldType::None) SetFieldNumber(row.commit.partner, record, 0);
    return std::nullopt;
}

bool ValueFitsRow(RowKind kind, EditorValue::Kind value)
{
    switch (kind) {
    case RowKind::Text:
    case RowKind::Numeric:
        return value == EditorValue::Kind::Text || value == EditorValue::Kind::Unencodable;
    case RowKind::Combo:
        return value == EditorValue::Kind::Index;
    case RowKind::IPAddress:
        return value == EditorValue::Kind::Address;
    case RowKind::Heading:
    case RowKind::Static:
        break;
    }
    return false;
}

void StoreWithMirror(const CommitRule& rule, FieldRef field, EncoderRecord& record, int64_t value)
{
    SetFieldNumber(field, record, value);
    if (rule.mirror.type != FieldType::None) SetFieldNumber(rule.mirror, record, value);
}

}   // namespace

std::optional<std::string> CommitSetting(int controlId, const EditorValue& value, EncoderRecord& record)
{
    const SheetRow* row = FindSheetRow(controlId);
    if (row == nullptr) return std::nullopt;
    return CommitField(row->field, value, record);
}

std::optional<std::string> CommitField(FieldRef field, const EditorValue& value, EncoderRecord& record)
{
    const SheetRow* row = FindEditingRow(field);
    if (row == nullptr || row->commit.kind == CommitKind::None) return std::nullopt;
    if (!ValueFitsRow(row->kind, value.kind)) return std::nullopt;
    const CommitRule& rule = row->commit;
    if (value.kind == EditorValue::Kind::Unencodable) return UnencodableWarning(value);

    switch (rule.kind) {
    case CommitKind::None:
        break;
    case CommitKind::Store:
        StoreWithMirror(rule, row->field, record,
                        row->kind == RowKind::IPAddress ? int64_t{value.address} : int64_t{value.index});
        break;
    case CommitKind::Length: {
        // Bytes of the text as typed: a double-byte character counts 2.
        const size_t length = std::strlen(value.text.c_str());
        if (length > static_cast<size_t>(rule.high)) return rule.warning;
        // The encoder's own bytes come back unchanged from a row the operator did not
        // edit; the writer replaces their control bytes, so they need not be refused.
        if (HasForbiddenByte(value.text) && value.text != FieldText(row->field, record)) {
            return kControlCharacterWarning;
        }
        SetFieldText(row->field, record, value.text);
        break;
    }
    case CommitKind::Range: {
        const int32_t v = AtoiSaturated(value.text.c_str());
        if (v < rule.low || v > rule.high) return rule.warning;
        StoreWithMirror(rule, row->field, record, v);
        break;
    }
    case CommitKind::ProgramNumber: {
        const int32_t v = AtoiSaturated(value.text.c_str());
        if (v < rule.low || v > rule.high) return kProgramNumberWarning;
        if (FieldNumber(rule.partner, record) == v) return rule.warning;
        SetFieldNumber(row->field, record, v);
        break;
    }
    case CommitKind::Pid:
        return CommitPid(*row, AtoiSaturated(value.text.c_str()), record);
    case CommitKind::Start:
        SetFieldNumber(row->field, record, value.index);
        // Every Yes picks anew; the program's current PMT PID is among those excluded.
        SetFieldNumber(rule.partner, record, value.index != 0 ? FindFreePid(record) : 0);
        break;
    case CommitKind::SampleRate:
        // One sample rate serves every audio input of the encoder.
        SetFieldNumber(RECORD_FIELD(program_info1.audio1.samplebitrate), record, value.index);
        SetFieldNumber(RECORD_FIELD(program_info1.audio2.samplebitrate), record, value.index);
        SetFieldNumber(RECORD_FIELD(program_info2.audio1.samplebitrate), record, value.index);
        break;
    case CommitKind::AudioBitrate: {
        const int mode = static_cast<int>(FieldNumber(rule.partner, record));
        if (auto warning = CheckAudio(mode, value.index)) return warning;
        StoreWithMirror(rule, row->field, record, value.index);
        break;
    }
    case CommitKind::AudioMode: {
        if (auto warning = CheckAudio(value.index, StoredBitrate(rule.partner, record))) return warning;
        StoreWithMirror(rule, row->field, record, value.index);
        break;
    }
    }
    return std::nullopt;
}

EditorValue ShownEditorValue(const SheetRow& row, const EncoderRecord& record)
{
    switch (row.kind) {
    case RowKind::Combo:
        return EditorValue::Index(static_cast<uint8_t>(ShownIndex(row, record)));
    case RowKind::IPAddress:
        return EditorValue::Address(ShownAddress(row, record));
    case RowKind::Text:
    case RowKind::Numeric:
    case RowKind::Static:
    case RowKind::Heading:
        break;
    }
    return EditorValue::Text(ShownText(row, record));
}

namespace {

const char* const kSecondInputWarning = " of the second analog input differs between Program 1 and Program 2 !";
const char* const kSampleRateWarning = "Sampling Frequency must be the same for every audio input !";

const PidField* PidFieldAt(FieldRef field)
{
    for (size_t slot = 0; slot < kPidSlotCount; ++slot) {
        const PidField& pid = PidFieldOf(static_cast<PidSlot>(slot));
        if (pid.field == field) return &pid;
    }
    return nullptr;
}

}   // namespace

std::vector<BrokenRule> CheckWholeRecord(const EncoderRecord& record)
{
    std::vector<BrokenRule> broken;
    const SheetRow* firstSampleRate = nullptr;
    ForEachSheetRow([&](const SheetRow& row, const char* heading) {
        const CommitRule& rule = row.commit;
        if (rule.kind == CommitKind::None) return;
        const auto add = [&](std::string warning) {
            broken.push_back(BrokenRule{row.controlId, heading, row.label, std::move(warning)});
        };

        // The row's own rule, met exactly as an edit that puts its shown value back meets it.
        EncoderRecord scratch = record;
        if (auto warning = CommitField(row.field, ShownEditorValue(row, record), scratch)) {
            add(std::move(*warning));
        }

        // What the edits keep true between rows; each pair is named once, on program 1's row.
        if (rule.mirror.type != FieldType::None && FieldBefore(row.field, rule.mirror) &&
            FieldNumber(row.field, record) != FieldNumber(rule.mirror, record)) {
            add(std::string(row.label) + kSecondInputWarning);
        }
        if (rule.kind == CommitKind::Pid && rule.partner.type != FieldType::None &&
            FieldBefore(row.field, rule.partner) && FieldNumber(row.field, record) != 0 &&
            FieldNumber(rule.partner, record) != 0) {
            const PidField* self = PidFieldAt(row.field);
            const PidField* other = PidFieldAt(rule.partner);
            if (self && other) add(std::string(self->tag) + " conflict with " + other->name + " !");
        }
        if (rule.kind == CommitKind::SampleRate) {
            if (!firstSampleRate) {
                firstSampleRate = &row;
            } else if (FieldNumber(row.field, record) != FieldNumber(firstSampleRate->field, record)) {
                add(kSampleRateWarning);
            }
        }
    });
    return broken;
}
