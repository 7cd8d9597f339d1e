#include "Gb2312.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// A GB2312 pair: its first byte picks the row, its second the cell, each 0xA1..0xFE; rows
// past 0xF7 hold nothing. Anything else with the top bit set is not GB2312 at all, whatever
// a wider converter would make of it.
bool IsLead(unsigned char byte)
{
    return byte >= 0xA1 && byte <= 0xF7;
}
bool IsTrail(unsigned char byte)
{
    return byte >= 0xA1 && byte <= 0xFE;
}

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The code point that starts at `text[i]` and the number of bytes it takes; false for
// bytes that are not well-formed UTF-8 (overlong forms and surrogates included).
bool NextUtf8(const std::string& text, size_t i, uint32_t& cp, size_t& length)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char first = byte(i);
    uint32_t lowest;
    if (first < 0x80) {
        cp = first;
        length = 1;
        return true;
    } else if (first >= 0xC2 && first <= 0xDF) {
        cp = first & 0x1F, length = 2, lowest = 0x80;
    } else if (first >= 0xE0 && first <= 0xEF) {
        cp = first & 0x0F, length = 3, lowest = 0x800;
    } else if (first >= 0xF0 && first <= 0xF4) {
        cp = first & 0x07, length = 4, lowest = 0x10000;
    } else {
        return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return false;
        cp = cp << 6 | (byte(i + k) & 0x3F);
    }
    return cp >= lowest && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
}

// One character each way through the platform's own GB2312 tables.
#ifdef _WIN32
constexpr UINT kGb2312CodePage = 20936;
constexpr UINT kGbkCodePage = 936;

// Whether GB2312 has a character at this pair. GBK fills some of the cells GB2312 leaves
// empty, so a converter that knows only GBK is held to GB2312's cells with this.
bool IsGb2312Cell(unsigned char lead, unsigned char trail)
{
    // Rows and cells counted from 1, as the standard counts them.
    struct CellRun {
        int row, first, last;
    };
    static constexpr CellRun kSymbolRuns[] = {
        {1, 1, 94}, {2, 17, 66}, {2, 69, 78}, {2, 81, 92}, {3, 1, 94}, {4, 1, 83},  {5, 1, 86},
        {6, 1, 24}, {6, 33, 56}, {7, 1, 33},  {7, 49, 81}, {8, 1, 26}, {8, 37, 73}, {9, 4, 79},
    };
    const int row = lead - 0xA0;
    const int cell = trail - 0xA0;
    if (row >= 16 && row <= 87) {
        return row != 55 || cell <= 89;   // the hanzi; the first level ends at 55-89
    }
    for (const CellRun& run : kSymbolRuns) {
        if (run.row == row && cell >= run.first && cell <= run.last) return true;
    }
    return false;
}

class Converter {
public:
    bool Decode(unsigned char lead, unsigned char trail, uint32_t& cp)
    {
        if (!IsGb2312Cell(lead, trail)) return false;
        const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        wchar_t out[2];
        const int n = MultiByteToWideChar(CodePage(), MB_ERR_INVALID_CHARS, in, 2, out, 2);
        if (n != 1) return false;
        cp = static_cast<uint16_t>(out[0]);
        // A cell the table leaves empty may come back as its default character or a
        // private-use stand-in; neither is a character the encoder sent.
        return cp != kReplacement && cp != '?' && !(cp >= 0xE000 && cp <= 0xF8FF);
    }
    bool Encode(uint32_t cp, std::string& out)
    {
        wchar_t in[2];
        int inLength = 1;
        if (cp >= 0x10000) {
            in[0] = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            in[1] = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            inLength = 2;
        } else {
            in[0] = static_cast<wchar_t>(cp);
        }
        char bytes[8];
        BOOL usedDefault = FALSE;
        const int n = WideCharToMultiByte(CodePage(), WC_NO_BEST_FIT_CHARS, in, inLength, bytes,
                                          static_cast<int>(sizeof bytes), nullptr, &usedDefault);
        if (n != 2 || usedDefault) return false;
        const auto lead = static_cast<unsigned char>(bytes[0]);
        const auto trail = static_cast<unsigned char>(bytes[1]);
        if (!IsLead(lead) || !IsTrail(trail) || !IsGb2312Cell(lead, trail)) return false;
        out.append(bytes, 2);
        return true;
    }

private:
    // GB2312's own table where the system has it installed; GBK's, which holds every
    // GB2312 character at the same bytes, where it has not (Wine, trimmed installations:
    // without this every Chinese name would show as replacement marks).
    static UINT CodePage()
    {
        static const UINT page = IsValidCodePage(kGb2312CodePage) ? kGb2312CodePage : kGbkCodePage;
        return page;
    }
};
#else
class Converter {
public:
    Converter() = default;
    ~Converter()
    {
        if (m_decoder != kNone) iconv_close(m_decoder);
        if (m_encoder != kNone) iconv_close(m_encoder);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Decode(unsigned char lead, unsigned char trail, uint32_t& cp)
    {
        if (m_decoder == kNone) m_decoder = iconv_open("UTF-32LE", "GB2312");
        char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        unsigned char out[8];
        if (Convert(m_decoder, in, 2, out, sizeof out) != 4) return false;
        cp = out[0] | out[1] << 8 | out[2] << 16 | uint32_t{out[3]} << 24;
        return true;
    }
    bool Encode(uint32_t cp, std::string& out)
    {
        if (m_encoder == kNone) m_encoder = iconv_open("GB2312", "UTF-32LE");
        char in[4] = {static_cast<char>(cp & 0xFF), static_cast<char>(cp >> 8 & 0xFF),
                      static_cast<char>(cp >> 16 & 0xFF), static_cast<char>(cp >> 24)};
        unsigned char bytes[8];
        if (Convert(m_encoder, in, 4, bytes, sizeof bytes) != 2) return false;
        out.append(reinterpret_cast<const char*>(bytes), 2);
        return true;
    }

private:
    // iconv_open's failure value; each direction is opened on its first character, so a
    // text of ASCII alone costs no converter at all.
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

    // The bytes written for the whole input, or -1 when the converter refused any of it.
    static int Convert(iconv_t cd, char* in, size_t inLength, unsigned char* out, size_t outSize)
    {
        if (cd == kNone) return -1;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* outPointer = reinterpret_cast<char*>(out);
        size_t outLeft = outSize;
        if (iconv(cd, &in, &inLength, &outPointer, &outLeft) == static_cast<size_t>(-1) || inLength != 0) {
            return -1;
        }
        return static_cast<int>(outSize - outLeft);
    }

    iconv_t m_decoder = kNone;
    iconv_t m_encoder = kNone;
};
#endif

}   // namespace

std::string Utf8FromGb2312(const std::string& bytes)
{
    Converter converter;
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    for (size_t i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++i;
            continue;
        }
        uint32_t cp = kReplacement;
        // A well-formed pair is one character, shown or replaced as a whole; a stray byte
        // is replaced alone, so an ASCII byte after it still shows.
        if (IsLead(byte) && i + 1 < bytes.size() && IsTrail(static_cast<unsigned char>(bytes[i + 1]))) {
            if (!converter.Decode(byte, static_cast<unsigned char>(bytes[i + 1]), cp)) cp = kReplacement;
            i += 2;
        } else {
            ++i;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

Gb2312Text Gb2312FromUtf8(const std::string& utf8)
{
    Converter converter;
    Gb2312Text result;
    for (size_t i = 0; i < utf8.size();) {
        uint32_t cp = 0;
        size_t length = 0;
        if (!NextUtf8(utf8, i, cp, length)) {
            result.codePoint = kReplacement;
            AppendUtf8(result.character, kReplacement);
            result.bytes.clear();
            return result;
        }
        if (cp < 0x80) {
            result.bytes += static_cast<char>(cp);
        } else {
            const size_t before = result.bytes.size();
            if (!converter.Encode(cp, result.bytes) || !IsLead(static_cast<unsigned char>(result.bytes[before])) ||
                !IsTrail(static_cast<unsigned char>(result.bytes[before + 1]))) {
                result.codePoint = cp;
                result.character = utf8.substr(i, length);
                result.bytes.clear();
                return result;
            }
        }
        i += length;
    }
    result.ok = true;
    return result;
}

size_t Gb2312FittingLength(const char* text, size_t length, size_t most)
{
    if (length <= most) return length;
    size_t i = 0;
    while (i < most) {
        const bool pair = IsLead(static_cast<unsigned char>(text[i])) && i + 1 < length &&
                          IsTrail(static_cast<unsigned char>(text[i + 1]));
        const size_t step = pair ? 2 : 1;
        if (i + step > most) break;
        i += step;
    }
    return i;
}
