#include <tinyxml.h>

#include <cstring>
#include <string>

#include "Gb2312.h"
#include "SettingsDocument.h"
#include "TextConversions.h"
#include "WordLists.h"

namespace {

// The text of a leaf: the value of its first child node. A leaf without any child
// (<pid/> or <pid></pid>) carries no value, and its field keeps what it had.
const char* LeafText(const TiXmlNode* leaf) {
    const TiXmlNode* child = leaf->FirstChild();
    return child ? child->Value() : nullptr;
}

template <class Field>
void Number(const TiXmlNode* leaf, Field& field) {
    if (const char* text = LeafText(leaf)) field = static_cast<Field>(AtoiSaturated(text));
}

void Address(const TiXmlNode* leaf, uint32_t& field) {
    if (const char* text = LeafText(leaf)) field = InetAddrHostOrder(text);
}

// A text longer than its field is cut to fit, between characters: half a GB2312 pair
// would show as a damaged character and go back to the encoder so. The field always
// keeps its NUL.
template <size_t N>
void Text(const TiXmlNode* leaf, char (&field)[N]) {
    const char* text = LeafText(leaf);
    if (!text) return;
    const size_t length = Gb2312FittingLength(text, strnlen(text, N), N - 1);
    std::memcpy(field, text, length);
    field[length] = '\0';
}

void Word(const TiXmlNode* leaf, const WordList& list, uint8_t& field) {
    if (const char* text = LeafText(leaf)) field = CodeForWord(list, text);
}

bool Is(const TiXmlNode* node, const char* name) { return std::strcmp(node->Value(), name) == 0; }

// Calls `visit` for each child node of `parent`, in document order.
template <class Visit>
void EachChild(const TiXmlNode* parent, Visit visit) {
    for (const TiXmlNode* node = parent->FirstChild(); node; node = node->NextSibling()) visit(node);
}

void ReadSystem(const TiXmlNode* system, EncoderRecord& r) {
    EachChild(system, [&r](const TiXmlNode* n) {
        if (Is(n, "keyboard")) Number(n, r.keyboard);
        else if (Is(n, "version")) Text(n, r.version);
        else if (Is(n, "ipAddr")) Address(n, r.ipAddr);
        else if (Is(n, "ipMask")) Address(n, r.ipMask);
        else if (Is(n, "ipGate")) Address(n, r.ipGate);
        else if (Is(n, "deviceID")) Number(n, r.deviceID);
        else if (Is(n, "temperature")) Number(n, r.temperature);
        else if (Is(n, "defaultSetting")) Number(n, r.defaultSetting);
        else if (Is(n, "tsBitrate")) Number(n, r.tsBitrate);
        else if (Is(n, "tsipAddr")) Address(n, r.tsipAddr);
        else if (Is(n, "tsipPort")) Number(n, r.tsipPort);
        // password and newPassword are the operator's, never the encoder's.
    });
}

void ReadVideo(const TiXmlNode* video, VideoSettings& v, const WordList& sourceList) {
    EachChild(video, [&](const TiXmlNode* n) {
        if (Is(n, "pid")) Number(n, v.pid);
        else if (Is(n, "source")) Word(n, sourceList, v.source);
        else if (Is(n, "standard")) Text(n, v.standard);
        else if (Is(n, "mode")) Word(n, WordLists::videoMode, v.mode);
        else if (Is(n, "bitrate")) Number(n, v.bitrate);
        else if (Is(n, "resolution")) Word(n, WordLists::resolution, v.resolution);
        else if (Is(n, "gop")) Word(n, WordLists::gop, v.gop);
        else if (Is(n, "filter")) Word(n, WordLists::filter, v.filter);
        else if (Is(n, "lightness")) Number(n, v.lightness);
        else if (Is(n, "hue")) Number(n, v.hue);
        else if (Is(n, "saturation")) Number(n, v.saturation);
        else if (Is(n, "contrast")) Number(n, v.contrast);
    });
}

// The three audio blocks share their elements; they differ in the source list, in
// whether audioSDI is theirs, and in which field their adjustVolumn flag sets.
template <class Audio>
void ReadAudio(const TiXmlNode* audio, Audio& a, const WordList& sourceList, int8_t* audioSDI,
               int8_t& adjustVolumn) {
    EachChild(audio, [&](const TiXmlNode* n) {
        if (Is(n, "pid")) Number(n, a.pid);
        else if (Is(n, "source")) Word(n, sourceList, a.source);
        else if (Is(n, "audioSDI")) { if (audioSDI) Number(n, *audioSDI); }
        else if (Is(n, "samplebitrate")) Word(n, WordLists::sampleRate, a.samplebitrate);
        else if (Is(n, "volumnLeft")) Number(n, a.volumnLeft);
        else if (Is(n, "volumnRight")) Number(n, a.volumnRight);
        else if (Is(n, "bitrate")) Word(n, WordLists::audioBitrate, a.bitrate);
        else if (Is(n, "mode")) Word(n, WordLists::audioMode, a.mode);
        else if (Is(n, "adjustVolumn")) adjustVolumn = 1;  // its presence is the flag
    });
}

// The elements every program has; false for a child that is the caller's to handle.
template <class Program>
bool ReadProgramCommon(const TiXmlNode* n, Program& p, const WordList& videoSourceList) {
    if (Is(n, "start")) Number(n, p.start);
    else if (Is(n, "progName")) Text(n, p.progName);
    else if (Is(n, "providerName")) Text(n, p.providerName);
    else if (Is(n, "progNO")) Number(n, p.progNO);
    else if (Is(n, "pmtPid")) Number(n, p.pmtPid);
    else if (Is(n, "pcrPid")) Number(n, p.pcrPid);
    else if (Is(n, "video")) ReadVideo(n, p.video, videoSourceList);
    else return false;
    return true;
}

void ReadProgram1(const TiXmlNode* program, EncoderRecord& r) {
    Program1Info& p = r.program_info1;
    EachChild(program, [&](const TiXmlNode* n) {
        if (ReadProgramCommon(n, p, WordLists::program1VideoSource)) return;
        if (Is(n, "audio1")) {
            ReadAudio(n, p.audio1, WordLists::program1Audio1Source, &p.audio1.audioSDI,
                      p.audio1.adjustVolumn);
        } else if (Is(n, "audio2")) {
            ReadAudio(n, p.audio2, WordLists::balance2Source, nullptr,
                      r.program_info2.audio1.adjustVolumn);
        }
    });
}

void ReadProgram2(const TiXmlNode* program, EncoderRecord& r) {
    Program2Info& p = r.program_info2;
    EachChild(program, [&](const TiXmlNode* n) {
        if (ReadProgramCommon(n, p, WordLists::program2VideoSource)) return;
        if (Is(n, "audio1")) {
            ReadAudio(n, p.audio1, WordLists::balance2Source, nullptr, p.audio1.adjustVolumn);
        }
    });
}

constexpr size_t kParserSlack = 16;

}  // namespace

int ReadSettingsDocument(const TiXmlElement* root, EncoderRecord& record) {
    if (!root || !Is(root, "encoder_202")) return 0;
    EachChild(root, [&record](const TiXmlNode* n) {
        if (Is(n, "system_info")) ReadSystem(n, record);
        else if (Is(n, "program_info1")) ReadProgram1(n, record);
        else if (Is(n, "program_info2")) ReadProgram2(n, record);
    });
    return 1;
}

int ReadSettingsText(const char* text, int length, EncoderRecord& record) {
    // Line ends become LF before parsing: CR LF and a lone CR alike.
    std::string normalised;
    normalised.reserve(length > 0 ? static_cast<size_t>(length) : 0);
    for (int i = 0; i < length; ++i) {
        if (text[i] == '\r') {
            normalised += '\n';
            if (i + 1 < length && text[i + 1] == '\n') ++i;
        } else {
            normalised += text[i];
        }
    }
    // TinyXML can step a few bytes past the terminator over a multi-byte sequence cut off at
    // the end of the text; zeros behind it stop it there, as the reply buffer's zeros did.
    normalised.append(kParserSlack, '\0');
    TiXmlDocument document;
    document.Parse(normalised.c_str());
    return ReadSettingsDocument(document.RootElement(), record);
}
