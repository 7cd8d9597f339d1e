#pragma once
// The settings document's schema as one table: every element in document order, with its
// nesting depth, how its value is carried, and the record field it carries. The writer
// emits the table's lines, the reader dispatches on it, and presets, record comparison and
// JSON output walk it, so the schema is written down once.

#include <cstddef>
#include <cstdint>
#include <string>

#include "RecordFields.h"
#include "WordLists.h"

enum class ValueKind : uint8_t {
    Container,   // start tag, children, end tag
    Number,      // decimal of the field's width and signedness
    Address,     // dotted IPv4, host order in the record
    Text,        // bytes as stored, entity-escaped on writing
    Word,        // a code written as the word at that position of `words`
    Flag,        // written as a number; on reading, the element's presence stores 1
};

namespace FieldFlag {
constexpr uint8_t kWrittenOnly = 0x01;     // sent to the encoder, never taken from a document
constexpr uint8_t kDvbWhenEmpty = 0x02;    // an empty name is sent, and kept, as "dvb"
constexpr uint8_t kSecondCarrier = 0x04;   // also carries a field another element owns
constexpr uint8_t kReported = 0x08;        // the encoder reports it; a write does not set it
constexpr uint8_t kPassword = 0x10;        // never stored in a file, shown or logged
}   // namespace FieldFlag

struct SettingsField {
    const char* element;   // the element's name
    uint8_t depth;         // nesting below the root, which is 0; also the line's tab count
    ValueKind kind;
    FieldRef field;          // type None for containers
    const WordList* words;   // Word fields only
    const char* name;        // the record field's dotted name ("program_info1.video.pid")
    uint8_t flags;

    bool Has(uint8_t flag) const { return (flags & flag) != 0; }
};

// The deepest element: a leaf of a program's video or audio block.
constexpr uint8_t kMaxSettingsDepth = 3;

struct SettingsFieldTable {
    const SettingsField* fields;
    size_t count;
    const SettingsField* begin() const { return fields; }
    const SettingsField* end() const { return fields + count; }
    const SettingsField& operator[](size_t i) const { return fields[i]; }
};

// The root element first, then every element of the document in order.
const SettingsFieldTable& SettingsFields();

// The element that owns a record field (never a second carrier), or nullptr.
const SettingsField* FindSettingsField(FieldRef field);
// The element carrying the field of that dotted name, or nullptr.
const SettingsField* FindSettingsField(const char* dottedName);

// The entry for a child element named `name` (whole, case-sensitive) of the container at
// table index `parent`, or nullptr when the container has no such child.
const SettingsField* FindChildField(size_t parent, const char* name);

// The value as the document carries it, before escaping: the decimal number, the dotted
// address, the text's bytes, the word (the list's fallback for a code beyond it).
std::string FieldValueText(const SettingsField& element, const EncoderRecord& record);

// Stores an element's text into its field with the reader's conversions: a number as atoi
// reads it, truncated to the field; an address as inet_addr reads it; a text cut to fit;
// a word as its code or 255. A flag stores 1. Containers store nothing.
void StoreFieldText(const SettingsField& element, const char* text, EncoderRecord& record);
