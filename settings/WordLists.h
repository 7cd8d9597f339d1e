#pragma once
// The fixed word lists of the settings document's code fields. A code is the word's
// position in its list; the writer and the reader share these lists, and the sheet's
// combo boxes use the same positions.

#include <cstdint>

struct WordList {
    const char* const* words;
    uint8_t count;
    const char* fallback;   // written for any code beyond the list, 255 included
};

namespace WordLists {
extern const WordList program1VideoSource;   // SDI, CVBS1
extern const WordList program2VideoSource;   // YPbPr, CVBS2
extern const WordList videoMode;             // VBR, CBR
extern const WordList resolution;            // D1, HALF-D1, SIF, Q-SIF
extern const WordList gop;                   // I, IP, IPB, IPBB
extern const WordList filter;                // soft, normal, sharp
extern const WordList program1Audio1Source;  // SDI, BALANCE1
extern const WordList balance2Source;        // BALANCE2
extern const WordList sampleRate;            // 32000, 44100, 48000
extern const WordList audioBitrate;          // 32 .. 384
extern const WordList audioMode;             // joint stereo, stereo, double, single
}

// The word the writer sends for a code.
const char* WordForCode(const WordList& list, uint8_t code);
// The code the reader stores for a text: its exact, case-sensitive match, else 255.
uint8_t CodeForWord(const WordList& list, const char* text);

constexpr uint8_t kUnknownCode = 255;
