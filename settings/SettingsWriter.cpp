#include <cstring>
#include <string>

#include "SettingsDocument.h"
#include "SettingsFields.h"

namespace {

const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"GB2312\" standalone=\"no\" ?>\n";

void Tag(std::string& out, int tabs, const char* open, const char* name)
{
    out.append(tabs, '\t');
    out += open;
    out += name;
    out += ">\n";
}

// Walks the field table: a container's end tag goes out before the first line that is
// not deeper than its start tag, and at the end of the document.
void AppendDocument(const EncoderRecord& record, bool withPasswords, std::string& out)
{
    out += kDeclaration;
    const SettingsField* open[kMaxSettingsDepth + 1];   // one container open per level
    int depth = 0;
    for (const SettingsField& element : SettingsFields()) {
        while (depth > 0 && open[depth - 1]->depth >= element.depth) {
            --depth;
            Tag(out, open[depth]->depth, "</", open[depth]->element);
        }
        if (element.kind == ValueKind::Container) {
            Tag(out, element.depth, "<", element.element);
            open[depth++] = &element;
            continue;
        }
        if (!withPasswords && element.Has(FieldFlag::kWrittenOnly)) continue;
        out.append(element.depth, '\t');
        out += '<';
        out += element.element;
        out += '>';
        const std::string value = FieldValueText(element, record);
        // Every text goes out through the one escaping, the passwords included.
        out += element.kind == ValueKind::Text ? EscapeXmlText(value.c_str()) : value;
        out += "</";
        out += element.element;
        out += ">\n";
    }
    while (depth > 0) {
        --depth;
        Tag(out, open[depth]->depth, "</", open[depth]->element);
    }
}

}   // namespace

bool IsXmlForbiddenByte(unsigned char byte)
{
    return (byte >= 0x01 && byte <= 0x08) || byte == 0x0B || byte == 0x0C || (byte >= 0x0E && byte <= 0x1F);
}

std::string EscapeXmlText(const char* text)
{
    std::string out;
    for (const char* p = text; *p; ++p) {
        switch (*p) {
        case '"':
            out += "&quot;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '\'':
            out += "&apos;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += IsXmlForbiddenByte(static_cast<unsigned char>(*p)) ? kXmlForbiddenReplacement : *p;
            break;
        }
    }
    return out;
}

int WriteSettingsDocument(EncoderRecord& record, char* text)
{
    // An empty service or provider name goes out as "dvb", and the record keeps it.
    for (const SettingsField& element : SettingsFields()) {
        if (element.Has(FieldFlag::kDvbWhenEmpty) && FieldText(element.field, record).empty()) {
            SetFieldText(element.field, record, "dvb");
        }
    }
    std::string out;
    AppendDocument(record, true, out);
    const size_t already = std::strlen(text);
    std::memcpy(text + already, out.c_str(), out.size() + 1);
    return static_cast<int>(already + out.size());
}

std::string EncoderSideDocument(const EncoderRecord& record)
{
    std::string out;
    AppendDocument(record, false, out);
    return out;
}
