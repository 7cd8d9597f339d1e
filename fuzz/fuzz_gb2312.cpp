// Arbitrary bytes as an encoder's text: what the window shows is UTF-8 whatever the bytes,
// a text made only of GB2312 comes back as the same bytes when it is sent again, and a cut
// to fit a field never splits a pair nor goes past the field.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "Gb2312.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096) return 0;   // the longest field is 40 bytes; longer inputs find nothing new
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string shown = Utf8FromGb2312(bytes);

    // Shown text is valid UTF-8: encoding it fails, if at all, only on the replacement mark.
    const Gb2312Text back = Gb2312FromUtf8(shown);
    if (!back.ok && back.codePoint != 0xFFFD) std::abort();
    if (back.ok && back.bytes != bytes) std::abort();
    if (shown.find("\xEF\xBF\xBD") == std::string::npos && !back.ok) std::abort();

    // Arbitrary bytes as typed text: either refused, or encoded to bytes that show the same.
    const Gb2312Text typed = Gb2312FromUtf8(bytes);
    if (typed.ok && Utf8FromGb2312(typed.bytes) != bytes) std::abort();

    for (size_t most : {size_t{9}, size_t{19}, size_t{21}, size_t{39}}) {
        const size_t fits = Gb2312FittingLength(bytes.data(), bytes.size(), most);
        if (fits > most || fits > bytes.size()) std::abort();
        if (bytes.size() <= most && fits != bytes.size()) std::abort();
        if (bytes.size() > most && fits + 1 < most) std::abort();
        // The kept part shows as the start of the whole: no character was cut in two.
        const std::string kept = Utf8FromGb2312(bytes.substr(0, fits));
        if (shown.compare(0, kept.size(), kept) != 0) std::abort();
    }
    return 0;
}
