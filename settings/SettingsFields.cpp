#include "SettingsFields.h"

#include <cstring>

#include "Gb2312.h"
#include "TextConversions.h"

namespace {

namespace F = FieldFlag;
using K = ValueKind;

constexpr SettingsField Open(const char* element, uint8_t depth)
{
    return SettingsField{element, depth, K::Container, {}, nullptr, nullptr, 0};
}

#define LEAF(depth, element, kind, path, flags)                                                                        \
    SettingsField                                                                                                      \
    {                                                                                                                  \
        element, depth, K::kind, RECORD_FIELD(path), nullptr, #path, flags                                             \
    }
#define WORD(depth, element, list, path)                                                                               \
    SettingsField                                                                                                      \
    {                                                                                                                  \
        element, depth, K::Word, RECORD_FIELD(path), &WordLists::list, #path, 0                                        \
    }

// `p` and `a` below begin a path into the record (`program_info1` of `program_info1.video.pid`):
// LEAF turns the whole path into an offset and the field's name, which brackets would spoil.
// NOLINTBEGIN(bugprone-macro-parentheses)

// Program 1 and program 2 share the head and video lines; only their paths differ.
#define PROGRAM_HEAD(p)                                                                                                \
    LEAF(2, "start", Number, p.start, 0), LEAF(2, "progName", Text, p.progName, F::kDvbWhenEmpty),                     \
        LEAF(2, "providerName", Text, p.providerName, F::kDvbWhenEmpty), LEAF(2, "progNO", Number, p.progNO, 0),       \
        LEAF(2, "pmtPid", Number, p.pmtPid, 0), LEAF(2, "pcrPid", Number, p.pcrPid, 0)

#define VIDEO(p, sourceList)                                                                                           \
    Open("video", 2), LEAF(3, "pid", Number, p.video.pid, 0), WORD(3, "source", sourceList, p.video.source),           \
        LEAF(3, "standard", Text, p.video.standard, F::kReported), WORD(3, "mode", videoMode, p.video.mode),           \
        LEAF(3, "bitrate", Number, p.video.bitrate, 0), WORD(3, "resolution", resolution, p.video.resolution),         \
        WORD(3, "gop", gop, p.video.gop), WORD(3, "filter", filter, p.video.filter),                                   \
        LEAF(3, "lightness", Number, p.video.lightness, 0), LEAF(3, "hue", Number, p.video.hue, 0),                    \
        LEAF(3, "saturation", Number, p.video.saturation, 0), LEAF(3, "contrast", Number, p.video.contrast, 0)

// The audio lines after source (and audioSDI) are the same for all three audio blocks.
#define AUDIO_TAIL(a)                                                                                                  \
    WORD(3, "samplebitrate", sampleRate, a.samplebitrate), LEAF(3, "volumnLeft", Number, a.volumnLeft, 0),             \
        LEAF(3, "volumnRight", Number, a.volumnRight, 0), WORD(3, "bitrate", audioBitrate, a.bitrate),                 \
        WORD(3, "mode", audioMode, a.mode)

// NOLINTEND(bugprone-macro-parentheses)

constexpr SettingsField kFields[] = {
    Open("encoder_202", 0),
    Open("system_info", 1),
    LEAF(2, "keyboard", Number, keyboard, 0),
    LEAF(2, "version", Text, version, F::kReported),
    LEAF(2, "ipAddr", Address, ipAddr, 0),
    LEAF(2, "ipMask", Address, ipMask, 0),
    LEAF(2, "ipGate", Address, ipGate, 0),
    // The passwords are the operator's: the encoder never sends them back.
    LEAF(2, "password", Text, password, F::kWrittenOnly | F::kPassword),
    LEAF(2, "newPassword", Text, newPassword, F::kWrittenOnly | F::kPassword),
    LEAF(2, "deviceID", Number, deviceID, 0),
    LEAF(2, "temperature", Number, temperature, 0),
    LEAF(2, "defaultSetting", Number, defaultSetting, 0),
    LEAF(2, "tsBitrate", Number, tsBitrate, F::kReported),
    LEAF(2, "tsipAddr", Address, tsipAddr, 0),
    LEAF(2, "tsipPort", Number, tsipPort, 0),

    Open("program_info1", 1),
    PROGRAM_HEAD(program_info1),
    VIDEO(program_info1, program1VideoSource),
    Open("audio1", 2),
    LEAF(3, "pid", Number, program_info1.audio1.pid, 0),
    WORD(3, "source", program1Audio1Source, program_info1.audio1.source),
    LEAF(3, "audioSDI", Number, program_info1.audio1.audioSDI, 0),
    AUDIO_TAIL(program_info1.audio1),
    LEAF(3, "adjustVolumn", Flag, program_info1.audio1.adjustVolumn, 0),
    Open("audio2", 2),
    LEAF(3, "pid", Number, program_info1.audio2.pid, 0),
    WORD(3, "source", balance2Source, program_info1.audio2.source),
    AUDIO_TAIL(program_info1.audio2),
    // The second analogue input's volume flag is one field, carried by both its elements.
    LEAF(3, "adjustVolumn", Flag, program_info2.audio1.adjustVolumn, F::kSecondCarrier),

    Open("program_info2", 1),
    PROGRAM_HEAD(program_info2),
    VIDEO(program_info2, program2VideoSource),
    Open("audio1", 2),
    LEAF(3, "pid", Number, program_info2.audio1.pid, 0),
    WORD(3, "source", balance2Source, program_info2.audio1.source),
    AUDIO_TAIL(program_info2.audio1),
    LEAF(3, "adjustVolumn", Flag, program_info2.audio1.adjustVolumn, 0),
};

#undef LEAF
#undef WORD
#undef PROGRAM_HEAD
#undef VIDEO
#undef AUDIO_TAIL

constexpr bool DepthsWithin(const SettingsField* fields, size_t count, uint8_t most)
{
    for (size_t i = 0; i < count; ++i) {
        if (fields[i].depth > most) return false;
    }
    return true;
}
static_assert(DepthsWithin(kFields, sizeof kFields / sizeof kFields[0], kMaxSettingsDepth),
              "walkers keep one open container per level");

constexpr SettingsFieldTable kTable{kFields, sizeof kFields / sizeof kFields[0]};

// The document has 92 lines: 74 leaves and the start and end tags of 9 containers.
static_assert(sizeof kFields / sizeof kFields[0] == 74 + 9, "one entry per leaf and container");

// A text longer than its field is cut to fit, between characters: half a GB2312 pair
// would show as a damaged character and go back to the encoder so. The field always
// keeps its NUL.
void StoreText(FieldRef field, const char* text, EncoderRecord& record)
{
    char* bytes = reinterpret_cast<char*>(&record) + field.offset;
    const size_t length = Gb2312FittingLength(text, strnlen(text, field.size), field.size - 1u);
    std::memcpy(bytes, text, length);
    bytes[length] = '\0';
}

}   // namespace

const SettingsFieldTable& SettingsFields()
{
    return kTable;
}

const SettingsField* FindSettingsField(FieldRef field)
{
    for (const SettingsField& element : kTable) {
        if (element.kind != ValueKind::Container && !element.Has(FieldFlag::kSecondCarrier) && element.field == field) {
            return &element;
        }
    }
    return nullptr;
}

const SettingsField* FindSettingsField(const char* dottedName)
{
    for (const SettingsField& element : kTable) {
        if (element.name && !element.Has(FieldFlag::kSecondCarrier) && std::strcmp(element.name, dottedName) == 0) {
            return &element;
        }
    }
    return nullptr;
}

void StoreFieldText(const SettingsField& element, const char* text, EncoderRecord& record)
{
    switch (element.kind) {
    case ValueKind::Container:
        break;
    case ValueKind::Number:
        SetFieldNumber(element.field, record, AtoiSaturated(text));
        break;
    case ValueKind::Address:
        SetFieldNumber(element.field, record, InetAddrHostOrder(text));
        break;
    case ValueKind::Text:
        StoreText(element.field, text, record);
        break;
    case ValueKind::Word:
        SetFieldNumber(element.field, record, CodeForWord(*element.words, text));
        break;
    case ValueKind::Flag:
        SetFieldNumber(element.field, record, 1);
        break;
    }
}

std::string FieldValueText(const SettingsField& element, const EncoderRecord& record)
{
    switch (element.kind) {
    case ValueKind::Number:
    case ValueKind::Flag:
        return std::to_string(FieldNumber(element.field, record));
    case ValueKind::Address:
        return FormatDotted(static_cast<uint32_t>(FieldNumber(element.field, record)));
    case ValueKind::Text:
        return FieldText(element.field, record);
    case ValueKind::Word:
        return WordForCode(*element.words, static_cast<uint8_t>(FieldNumber(element.field, record)));
    case ValueKind::Container:
        break;
    }
    return {};
}

const SettingsField* FindChildField(size_t parent, const char* name)
{
    const SettingsFieldTable& table = SettingsFields();
    const uint8_t depth = table[parent].depth;
    for (size_t i = parent + 1; i < table.count && table[i].depth > depth; ++i) {
        if (table[i].depth == depth + 1 && std::strcmp(table[i].element, name) == 0) return &table[i];
    }
    return nullptr;
}
