#include "RecordJson.h"

#include <cstdio>

#include "Gb2312.h"
#include "SettingsFields.h"

namespace {

// The length of the well-formed UTF-8 sequence starting at `at`, or 0 when it is not one
// (overlong forms, surrogates and values past U+10FFFF included).
size_t Utf8SequenceLength(const std::string& text, size_t at)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;   // the allowed range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    }
    return length;
}

}   // namespace

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        const size_t length = Utf8SequenceLength(text, at);
        if (length == 0) {
            out += "\\ufffd";
            ++at;
            continue;
        }
        if (length > 1) {
            out.append(text, at, length);
            at += length;
            continue;
        }
        ++at;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
    return out;
}

std::string RecordJsonObject(const EncoderRecord& record, const TextDecoder& decode)
{
    std::string out = "{";
    for (const SettingsField& element : SettingsFields()) {
        if (element.kind == ValueKind::Container || element.Has(FieldFlag::kPassword) ||
            element.Has(FieldFlag::kSecondCarrier)) {
            continue;
        }
        if (out.size() > 1) out += ", ";
        out += JsonString(element.name);
        out += ": ";
        switch (element.kind) {
        case ValueKind::Number:
        case ValueKind::Flag:
            out += std::to_string(FieldNumber(element.field, record));
            break;
        case ValueKind::Address:
            out += JsonString(FieldValueText(element, record));
            break;
        case ValueKind::Text: {
            const std::string raw = FieldText(element.field, record);
            out += JsonString(decode ? decode(raw) : Utf8FromGb2312(raw));
            break;
        }
        case ValueKind::Word: {
            const uint8_t code = static_cast<uint8_t>(FieldNumber(element.field, record));
            out += code < element.words->count ? JsonString(element.words->words[code]) : "null";
            break;
        }
        case ValueKind::Container:
            break;
        }
    }
    out += "}";
    return out;
}
