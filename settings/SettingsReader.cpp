#include <tinyxml.h>

#include <cstring>
#include <string>

#include "SettingsDocument.h"
#include "SettingsFields.h"

namespace {

// The text of a leaf: the value of its first child node. A leaf without any child
// (<pid/> or <pid></pid>) carries no value, and its field keeps what it had.
const char* LeafText(const TiXmlNode* leaf)
{
    const TiXmlNode* child = leaf->FirstChild();
    return child ? child->Value() : nullptr;
}

// Visits the child nodes in document order; an element that occurs twice is applied twice,
// so the later value wins, and names the table does not list are ignored.
void ReadContainer(const TiXmlNode* container, size_t entry, EncoderRecord& record)
{
    for (const TiXmlNode* node = container->FirstChild(); node; node = node->NextSibling()) {
        const SettingsField* child = FindChildField(entry, node->Value());
        if (!child || child->Has(FieldFlag::kWrittenOnly)) continue;   // passwords are the operator's
        if (child->kind == ValueKind::Container) {
            ReadContainer(node, static_cast<size_t>(child - SettingsFields().begin()), record);
        } else if (child->kind == ValueKind::Flag) {
            StoreFieldText(*child, "", record);   // its presence is the flag
        } else if (const char* text = LeafText(node)) {
            StoreFieldText(*child, text, record);
        }
    }
}

}   // namespace

int ReadSettingsDocument(const TiXmlElement* root, EncoderRecord& record)
{
    if (!root || std::strcmp(root->Value(), SettingsFields()[0].element) != 0) return 0;
    ReadContainer(root, 0, record);
    return 1;
}

int ReadSettingsText(const char* text, int length, EncoderRecord& record)
{
    // TinyXML can step a few bytes past the terminator over a multi-byte sequence cut off at
    // the end of the text; zeros behind it stop it there, as the reply buffer's zeros did.
    const std::string normalised = TextForParser(text, length > 0 ? static_cast<size_t>(length) : 0, kParserSlack);
    TiXmlDocument document;
    // Nothing here reports where in the text a fault lies: the parser keeps no rows and
    // columns.
    document.SetTabSize(0);
    document.Parse(normalised.c_str());
    return ReadSettingsDocument(document.RootElement(), record);
}

std::string TextForParser(const char* text, size_t length, size_t slack)
{
    std::string out(length + slack, '\0');
    char* to = &out[0];
    const char* const end = text + length;
    while (text < end) {
        const auto* cr = static_cast<const char*>(std::memchr(text, '\r', static_cast<size_t>(end - text)));
        const char* stop = cr != nullptr ? cr : end;
        std::memcpy(to, text, static_cast<size_t>(stop - text));
        to += stop - text;
        text = stop;
        if (cr != nullptr) {
            *to++ = '\n';
            ++text;
            if (text < end && *text == '\n') ++text;
        }
    }
    out.resize(static_cast<size_t>(to - out.data()) + slack);   // the zeros after the text stay
    return out;
}
