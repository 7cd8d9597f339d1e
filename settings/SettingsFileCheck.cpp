#include "SettingsFileCheck.h"

#include <tinyxml.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "SettingsDocument.h"
#include "SettingsFields.h"

namespace {

const char* const kNotASettingsFile = "The file is not an encoder settings document !";
const char* const kFileTooLong = "The settings file is too long !";

std::string NotWellFormed(const std::string& why)
{
    return "The settings file is not well-formed XML (" + why + ") !";
}

bool HasControlByte(const char* text)
{
    for (; *text; ++text) {
        if (IsXmlForbiddenByte(static_cast<unsigned char>(*text))) return true;
    }
    return false;
}

// The field a text belongs to: the record field's dotted name when the element is one the
// document carries, otherwise the elements' path from the root.
std::string FieldName(const SettingsField* entry, const std::string& path)
{
    return entry && entry->kind != ValueKind::Container ? entry->name : path;
}

// The first text below `element` that holds a control byte, named; `entry` is the
// element's table entry (nullptr once outside the table).
std::optional<std::string> FindControlByte(const TiXmlElement& element, const SettingsField* entry,
                                           const std::string& path)
{
    for (const TiXmlNode* node = element.FirstChild(); node; node = node->NextSibling()) {
        if (const TiXmlText* text = node->ToText()) {
            if (HasControlByte(text->Value())) {
                return FieldName(entry, path) + " must not contain control characters !";
            }
        } else if (const TiXmlElement* child = node->ToElement()) {
            const SettingsField* childEntry =
                entry ? FindChildField(static_cast<size_t>(entry - SettingsFields().begin()), child->Value()) : nullptr;
            const std::string childPath = path.empty() ? child->ValueStr() : path + "." + child->ValueStr();
            if (std::optional<std::string> found = FindControlByte(*child, childEntry, childPath)) return found;
        }
    }
    return std::nullopt;
}

}   // namespace

std::optional<std::string> SettingsFileFault(const std::string& fileText)
{
    if (fileText.size() > kMaxSettingsFileBytes) return kFileTooLong;
    // The parser would stop at a NUL and judge only what came before it.
    const size_t nul = fileText.find('\0');
    if (nul != std::string::npos) return NotWellFormed("a NUL byte at offset " + std::to_string(nul));
    // Line ends as the reader has them, so that the line numbers are the file's.
    const std::string normalised = TextForParser(fileText.data(), fileText.size(), kParserSlack);
    TiXmlDocument document;
    document.Parse(normalised.c_str());
    if (document.Error() && document.ErrorId() == TiXmlBase::TIXML_ERROR_DOCUMENT_EMPTY) return kNotASettingsFile;
    if (document.Error()) {
        return NotWellFormed("line " + std::to_string(document.ErrorRow()) + ", column " +
                             std::to_string(document.ErrorCol()) + ": " + document.ErrorDesc());
    }
    // One root element, and nothing but markup around it.
    const TiXmlElement* root = nullptr;
    for (const TiXmlNode* node = document.FirstChild(); node; node = node->NextSibling()) {
        if (node->ToText() || node->ToUnknown()) return NotWellFormed("text outside the root element");
        if (const TiXmlElement* element = node->ToElement()) {
            if (root) return NotWellFormed("a second root element <" + element->ValueStr() + ">");
            root = element;
        }
    }
    if (!root || root->ValueStr() != SettingsFields()[0].element) return kNotASettingsFile;
    if (std::optional<std::string> found = FindControlByte(*root, &SettingsFields()[0], "")) return found;
    // What the parser took for blanks (form feed, vertical tab) or kept out of the texts
    // (inside a tag or a comment) is refused all the same, by its line.
    for (size_t i = 0, line = 1; i < normalised.size(); ++i) {
        if (normalised[i] == '\n') ++line;
        if (IsXmlForbiddenByte(static_cast<unsigned char>(normalised[i]))) {
            return "The settings file holds a control character on line " + std::to_string(line) + " !";
        }
    }
    return std::nullopt;
}

bool ReadSettingsFileBounded(const std::string& path, std::string& text, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot read the settings file " + path + ": " + std::strerror(errno);
        return false;
    }
    text.assign(kMaxSettingsFileBytes + 1, '\0');
    const size_t got = std::fread(&text[0], 1, text.size(), file);
    const bool failed = std::ferror(file) != 0;
    const int reason = errno;
    std::fclose(file);
    if (failed) {
        error = "cannot read the settings file " + path + ": " + std::strerror(reason);
        return false;
    }
    text.resize(got);
    if (got > kMaxSettingsFileBytes) {
        error = path + ": " + kFileTooLong;
        return false;
    }
    return true;
}
