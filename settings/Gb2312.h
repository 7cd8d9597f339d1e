#pragma once
// The encoder's character set. Its document declares GB2312, and the record keeps every
// text as the encoder's GB2312 bytes (EUC-CN: ASCII, and pairs of bytes 0xA1..0xFE). What
// an operator sees or types is Unicode, held as UTF-8; these two conversions are the only
// way between the two, for the window and for anything that prints a record alike.
// Strict on purpose: the GBK and GB18030 extensions are refused both ways, since an
// encoder that declares GB2312 is not known to read them.

#include <cstddef>
#include <cstdint>
#include <string>

// The text of `bytes` as UTF-8. A byte or pair that is not GB2312 becomes U+FFFD (the
// replacement mark, shown as such), so a damaged name stays visibly damaged.
std::string Utf8FromGb2312(const std::string& bytes);

struct Gb2312Text {
    bool ok = false;
    std::string bytes;        // the GB2312 bytes, when ok
    std::string character;    // otherwise: the first character GB2312 lacks, as UTF-8
    uint32_t codePoint = 0;   // and its code point; U+FFFD for bytes that are not UTF-8
};

// `utf8` as GB2312 bytes, or the first character that GB2312 cannot hold.
Gb2312Text Gb2312FromUtf8(const std::string& utf8);

// How many of the first `length` bytes of `text` fit in `most` bytes without cutting a
// pair in two: `length` if it fits, else `most` or one less.
size_t Gb2312FittingLength(const char* text, size_t length, size_t most);
