#include "WordLists.h"

#include <cstring>

const char* WordForCode(const WordList& list, uint8_t code)
{
    return code < list.count ? list.words[code] : list.fallback;
}

uint8_t CodeForWord(const WordList& list, const char* text)
{
    for (uint8_t code = 0; code < list.count; ++code) {
        if (std::strcmp(list.words[code], text) == 0) return code;
    }
    return kUnknownCode;
}
