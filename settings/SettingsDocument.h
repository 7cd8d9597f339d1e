#pragma once
// The settings document: the XML text that carries one encoder's settings both ways.

#include <cstddef>
#include <string>

#include "EncoderRecord.h"

// Zeros put behind a text before TinyXML parses it: it can step a few bytes past the
// terminator over a multi-byte sequence cut off at the end of the text, and stops on these.
constexpr size_t kParserSlack = 16;

class TiXmlElement;

// Appends the document for `record` to the NUL-terminated `text` and returns the length
// of the whole text now in the buffer. Stores "dvb" into an empty service or provider
// name first. The buffer must hold the text already there plus 10000 bytes; the document
// itself stays well under that.
int WriteSettingsDocument(EncoderRecord& record, char* text);

// The document as an encoder sends it in reply to a read: the same lines as
// WriteSettingsDocument's but without the two password elements, and the record unchanged.
std::string EncoderSideDocument(const EncoderRecord& record);

// `text` with ", &, ', < and > replaced by their entity references, and each control byte
// that no XML document may hold replaced by kXmlForbiddenReplacement; other bytes unchanged.
std::string EscapeXmlText(const char* text);

// The control bytes XML 1.0 allows nowhere, not even as character references: 0x01-0x08,
// 0x0B, 0x0C and 0x0E-0x1F. An encoder may still send them (a raw byte, or a reference the
// reader turns into one); a document that carried them would be refused by the encoder's
// parser, so they never go out.
bool IsXmlForbiddenByte(unsigned char byte);

// What such a byte becomes in a document: a question mark, as converters mark a character
// they cannot carry. It keeps the text's length in bytes (so every length rule still holds),
// it is ASCII and so GB2312, and unlike a blank the reader neither trims nor condenses it.
constexpr char kXmlForbiddenReplacement = '?';

// Fills `record` from a parsed document. 1 when `root` is an encoder_202 element (whatever
// it carried), 0 when there is no root or it has another name; the record is then untouched.
int ReadSettingsDocument(const TiXmlElement* root, EncoderRecord& record);

// Normalises line ends (CR LF and lone CR to LF), parses with TinyXML and reads the root.
// `length` bytes of `text` are used; they need not be NUL-terminated.
int ReadSettingsText(const char* text, int length, EncoderRecord& record);

// `length` bytes of `text` with their line ends as the parser is given them: CR LF and a
// lone CR become LF, and `slack` zero bytes follow (the parser's guard, see the reader).
std::string TextForParser(const char* text, size_t length, size_t slack);
