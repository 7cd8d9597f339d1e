// Arbitrary bytes as an encoder's reply: the reader must never write past a field, the
// document written from whatever it stored must be well-formed (to TinyXML, and to expat,
// a strict parser, once its GB2312 is decoded), and reading that document back must give
// the same record, apart from what the format itself does not keep (the adjustVolumn
// flags, words outside their list, white space in texts, control bytes XML forbids).

#include <expat.h>
#include <tinyxml.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Gb2312.h"
#include "SettingsDocument.h"
#include "WordLists.h"

namespace {

bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The writer sends each forbidden control byte as a question mark; TinyXML trims a text
// and condenses each run of white space into one space.
template <size_t N>
void CondenseSpace(char (&field)[N]) {
    for (size_t i = 0; i < N && field[i]; ++i) {
        if (IsXmlForbiddenByte(static_cast<unsigned char>(field[i]))) field[i] = kXmlForbiddenReplacement;
    }
    char out[N] = {};
    size_t n = 0;
    bool pendingSpace = false;
    for (size_t i = 0; i < N && field[i]; ++i) {
        if (IsXmlSpace(field[i])) {
            pendingSpace = n > 0;
            continue;
        }
        if (pendingSpace) out[n++] = ' ';
        pendingSpace = false;
        out[n++] = field[i];
    }
    std::memcpy(field, out, N);
}

void Canonical(const WordList& list, uint8_t& code) { code = CodeForWord(list, WordForCode(list, code)); }

template <class Audio>
void CanonicalAudio(Audio& a) {
    Canonical(WordLists::sampleRate, a.samplebitrate);
    Canonical(WordLists::audioBitrate, a.bitrate);
    Canonical(WordLists::audioMode, a.mode);
}

void CanonicalVideo(VideoSettings& v, const WordList& sourceList) {
    Canonical(sourceList, v.source);
    Canonical(WordLists::videoMode, v.mode);
    Canonical(WordLists::resolution, v.resolution);
    Canonical(WordLists::gop, v.gop);
    Canonical(WordLists::filter, v.filter);
    CondenseSpace(v.standard);
}

// What a record looks like after one more trip through the document.
void Canonicalise(EncoderRecord& r) {
    CondenseSpace(r.version);
    CondenseSpace(r.password);
    CondenseSpace(r.newPassword);
    for (char* name : {r.program_info1.progName, r.program_info1.providerName,
                       r.program_info2.progName, r.program_info2.providerName}) {
        CondenseSpace(*reinterpret_cast<char(*)[40]>(name));
    }
    CanonicalVideo(r.program_info1.video, WordLists::program1VideoSource);
    CanonicalVideo(r.program_info2.video, WordLists::program2VideoSource);
    Canonical(WordLists::program1Audio1Source, r.program_info1.audio1.source);
    Canonical(WordLists::balance2Source, r.program_info1.audio2.source);
    Canonical(WordLists::balance2Source, r.program_info2.audio1.source);
    CanonicalAudio(r.program_info1.audio1);
    CanonicalAudio(r.program_info1.audio2);
    CanonicalAudio(r.program_info2.audio1);
    // The writer always sends both flags' elements, and an element's presence reads as 1.
    r.program_info1.audio1.adjustVolumn = 1;
    r.program_info2.audio1.adjustVolumn = 1;
}

// The document as the encoder reads it: GB2312, decoded (bytes that are not GB2312 become
// U+FFFD, as any decoder marks them), then parsed by a parser that accepts XML only.
bool StrictlyWellFormed(const std::string& gb2312) {
    const std::string text = Utf8FromGb2312(gb2312);
    XML_Parser parser = XML_ParserCreate("UTF-8");   // overrides the declared GB2312
    const bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 9999) return 0;  // the command channel never parses a longer reply

    EncoderRecord record;
    std::memset(&record, 0, sizeof record);
    ReadSettingsText(reinterpret_cast<const char*>(data), static_cast<int>(size), record);
    // Every text the reader stored ends inside its field.
    const auto terminated = [](const char* field, size_t size) { return std::memchr(field, 0, size); };
    auto& p1 = record.program_info1;
    auto& p2 = record.program_info2;
    if (!terminated(record.version, sizeof record.version) ||
        !terminated(p1.progName, sizeof p1.progName) || !terminated(p1.providerName, sizeof p1.providerName) ||
        !terminated(p2.progName, sizeof p2.progName) || !terminated(p2.providerName, sizeof p2.providerName) ||
        !terminated(p1.video.standard, sizeof p1.video.standard) ||
        !terminated(p2.video.standard, sizeof p2.video.standard)) {
        std::abort();
    }

    std::vector<char> buffer(10000, '\0');
    const int length = WriteSettingsDocument(record, buffer.data());
    if (length <= 0 || length >= 10000 || buffer[length] != '\0') std::abort();

    TiXmlDocument written;
    written.Parse(buffer.data());
    if (written.Error() || !written.RootElement()) std::abort();
    for (int i = 0; i < length; ++i) {
        if (IsXmlForbiddenByte(static_cast<unsigned char>(buffer[i]))) std::abort();
    }
    if (!StrictlyWellFormed(std::string(buffer.data(), length))) std::abort();

    EncoderRecord back;
    std::memset(&back, 0, sizeof back);
    if (ReadSettingsText(buffer.data(), length, back) != 1) std::abort();

    Canonicalise(record);
    Canonicalise(back);
    if (std::memcmp(&record, &back, sizeof record) != 0) std::abort();
    return 0;
}
