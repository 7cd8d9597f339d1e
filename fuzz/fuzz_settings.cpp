// Arbitrary bytes as an encoder's reply: the reader must never write past a field, the
// document written from whatever it stored must be well-formed (to TinyXML, and to expat,
// a strict parser, once its GB2312 is decoded), and reading that document back must give
// the same record, apart from what the format itself does not keep (the adjustVolumn
// flags, words outside their list, white space in texts, control bytes XML forbids).

#include <expat.h>
#include <tinyxml.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Gb2312.h"
#include "SettingsDocument.h"
#include "SettingsFields.h"

namespace {

bool IsXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The writer sends each forbidden control byte as a question mark; TinyXML trims a text
// and condenses each run of white space into one space. The bytes after the text's zero
// are cleared, since the reader leaves them as they were.
void CondenseSpace(FieldRef field, EncoderRecord& record)
{
    std::string text = FieldText(field, record);
    for (char& c : text) {
        if (IsXmlForbiddenByte(static_cast<unsigned char>(c))) c = kXmlForbiddenReplacement;
    }
    std::string out;
    bool pendingSpace = false;
    for (char c : text) {
        if (IsXmlSpace(c)) {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace) out += ' ';
        pendingSpace = false;
        out += c;
    }
    std::memset(reinterpret_cast<char*>(&record) + field.offset, 0, field.size);
    SetFieldText(field, record, out);
}

// What a record looks like after one more trip through the document.
void Canonicalise(EncoderRecord& record)
{
    for (const SettingsField& element : SettingsFields()) {
        const FieldRef field = element.field;
        switch (element.kind) {
        case ValueKind::Text:
            CondenseSpace(field, record);
            break;
        case ValueKind::Word: {
            const uint8_t code = static_cast<uint8_t>(FieldNumber(field, record));
            SetFieldNumber(field, record, CodeForWord(*element.words, WordForCode(*element.words, code)));
            break;
        }
        // The writer always sends every flag's element, and an element's presence reads as 1.
        case ValueKind::Flag:
            SetFieldNumber(field, record, 1);
            break;
        case ValueKind::Container:
        case ValueKind::Number:
        case ValueKind::Address:
            break;
        }
    }
}

// The document as the encoder reads it: GB2312, decoded (bytes that are not GB2312 become
// U+FFFD, as any decoder marks them), then parsed by a parser that accepts XML only.
bool StrictlyWellFormed(const std::string& gb2312)
{
    const std::string text = Utf8FromGb2312(gb2312);
    XML_Parser parser = XML_ParserCreate("UTF-8");   // overrides the declared GB2312
    const bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok;
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 9999) return 0;   // the command channel never parses a longer reply

    EncoderRecord record;
    std::memset(&record, 0, sizeof record);
    ReadSettingsText(reinterpret_cast<const char*>(data), static_cast<int>(size), record);
    // Every text the reader stored ends inside its field.
    for (const SettingsField& element : SettingsFields()) {
        if (element.kind != ValueKind::Text) continue;
        const char* bytes = reinterpret_cast<const char*>(&record) + element.field.offset;
        if (!std::memchr(bytes, 0, element.field.size)) std::abort();
    }

    std::vector<char> buffer(10000, '\0');
    const int length = WriteSettingsDocument(record, buffer.data());
    if (length <= 0 || length >= 10000 || buffer[length] != '\0') std::abort();

    TiXmlDocument written;
    written.Parse(buffer.data());
    if (written.Error() || !written.RootElement()) std::abort();
    for (int i = 0; i < length; ++i) {
        if (IsXmlForbiddenByte(static_cast<unsigned char>(buffer[i]))) std::abort();
    }
    if (!StrictlyWellFormed(std::string(buffer.data(), length))) std::abort();

    EncoderRecord back;
    std::memset(&back, 0, sizeof back);
    if (ReadSettingsText(buffer.data(), length, back) != 1) std::abort();

    Canonicalise(record);
    Canonicalise(back);
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): both start zero-filled, filled alike
    if (std::memcmp(&record, &back, sizeof record) != 0) std::abort();
    return 0;
}
