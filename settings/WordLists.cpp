#include "WordLists.h"

#include <cstring>

namespace {
const char* const kProgram1VideoSource[] = {"SDI", "CVBS1"};
const char* const kProgram2VideoSource[] = {"YPbPr", "CVBS2"};
const char* const kVideoMode[] = {"VBR", "CBR"};
const char* const kResolution[] = {"D1", "HALF-D1", "SIF", "Q-SIF"};
const char* const kGop[] = {"I", "IP", "IPB", "IPBB"};
const char* const kFilter[] = {"soft", "normal", "sharp"};
const char* const kProgram1Audio1Source[] = {"SDI", "BALANCE1"};
const char* const kBalance2Source[] = {"BALANCE2"};
const char* const kSampleRate[] = {"32000", "44100", "48000"};
const char* const kAudioBitrate[] = {"32", "48", "56", "64", "96", "112", "128",
                                     "160", "192", "224", "256", "320", "384"};
const char* const kAudioMode[] = {"joint stereo", "stereo", "double", "single"};

template <size_t N>
constexpr WordList Make(const char* const (&words)[N], const char* fallback) {
    return WordList{words, static_cast<uint8_t>(N), fallback};
}
}  // namespace

namespace WordLists {
const WordList program1VideoSource = Make(kProgram1VideoSource, "none");
const WordList program2VideoSource = Make(kProgram2VideoSource, "CVBS2");
const WordList videoMode = Make(kVideoMode, "CBR");
const WordList resolution = Make(kResolution, "Q-SIF");
const WordList gop = Make(kGop, "IPBB");
const WordList filter = Make(kFilter, "sharp");
const WordList program1Audio1Source = Make(kProgram1Audio1Source, "none");
const WordList balance2Source = Make(kBalance2Source, "none");
const WordList sampleRate = Make(kSampleRate, "48000");
const WordList audioBitrate = Make(kAudioBitrate, "384");
const WordList audioMode = Make(kAudioMode, "single");
}  // namespace WordLists

const char* WordForCode(const WordList& list, uint8_t code) {
    return code < list.count ? list.words[code] : list.fallback;
}

uint8_t CodeForWord(const WordList& list, const char* text) {
    for (uint8_t code = 0; code < list.count; ++code) {
        if (std::strcmp(list.words[code], text) == 0) return code;
    }
    return kUnknownCode;
}
