#pragma once
// The fixed word lists of the settings document's code fields. A code is the word's
// position in its list; the writer and the reader share these lists, and the sheet's
// combo boxes take their options (or, where the sheet words them differently, their
// option count) from the same lists, checked at compile time.

#include <cstddef>
#include <cstdint>

struct WordList {
    const char* const* words;
    uint8_t count;
    const char* fallback;   // written for any code beyond the list, 255 included
};

namespace WordLists {

template <size_t N>
constexpr WordList Make(const char* const (&words)[N], const char* fallback)
{
    return WordList{words, static_cast<uint8_t>(N), fallback};
}

inline constexpr const char* kProgram1VideoSource[] = {"SDI", "CVBS1"};
inline constexpr const char* kProgram2VideoSource[] = {"YPbPr", "CVBS2"};
inline constexpr const char* kVideoMode[] = {"VBR", "CBR"};
inline constexpr const char* kResolution[] = {"D1", "HALF-D1", "SIF", "Q-SIF"};
inline constexpr const char* kGop[] = {"I", "IP", "IPB", "IPBB"};
inline constexpr const char* kFilter[] = {"soft", "normal", "sharp"};
inline constexpr const char* kProgram1Audio1Source[] = {"SDI", "BALANCE1"};
inline constexpr const char* kBalance2Source[] = {"BALANCE2"};
inline constexpr const char* kSampleRate[] = {"32000", "44100", "48000"};
inline constexpr const char* kAudioBitrate[] = {"32",  "48",  "56",  "64",  "96",  "112", "128",
                                                "160", "192", "224", "256", "320", "384"};
inline constexpr const char* kAudioMode[] = {"joint stereo", "stereo", "double", "single"};

inline constexpr WordList program1VideoSource = Make(kProgram1VideoSource, "none");
inline constexpr WordList program2VideoSource = Make(kProgram2VideoSource, "CVBS2");
inline constexpr WordList videoMode = Make(kVideoMode, "CBR");
inline constexpr WordList resolution = Make(kResolution, "Q-SIF");
inline constexpr WordList gop = Make(kGop, "IPBB");
inline constexpr WordList filter = Make(kFilter, "sharp");
inline constexpr WordList program1Audio1Source = Make(kProgram1Audio1Source, "none");
inline constexpr WordList balance2Source = Make(kBalance2Source, "none");
inline constexpr WordList sampleRate = Make(kSampleRate, "48000");
inline constexpr WordList audioBitrate = Make(kAudioBitrate, "384");
inline constexpr WordList audioMode = Make(kAudioMode, "single");

}   // namespace WordLists

// The word the writer sends for a code.
const char* WordForCode(const WordList& list, uint8_t code);
// The code the reader stores for a text: its exact, case-sensitive match, else 255.
uint8_t CodeForWord(const WordList& list, const char* text);

constexpr uint8_t kUnknownCode = 255;
