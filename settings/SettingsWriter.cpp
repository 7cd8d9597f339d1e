#include <cstring>
#include <string>

#include "SettingsDocument.h"
#include "TextConversions.h"
#include "WordLists.h"

namespace {

// A field's text up to its NUL, never past the field even when the NUL is missing.
template <size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// An empty service or provider name goes out as "dvb", and the record keeps it.
template <size_t N>
void StoreDvbIfEmpty(char (&field)[N]) {
    if (field[0] == '\0') std::memcpy(field, "dvb", 4);
}

class DocumentLines {
public:
    explicit DocumentLines(std::string& out) : m_out(out) {}

    void Open(int tabs, const char* name) { Tag(tabs, "<", name); }
    void Close(int tabs, const char* name) { Tag(tabs, "</", name); }

    void Leaf(int tabs, const char* name, const std::string& value) {
        m_out.append(tabs, '\t');
        m_out += '<';
        m_out += name;
        m_out += '>';
        m_out += value;
        m_out += "</";
        m_out += name;
        m_out += ">\n";
    }
    void Signed(int tabs, const char* name, long value) { Leaf(tabs, name, std::to_string(value)); }
    void Unsigned(int tabs, const char* name, unsigned long value) {
        Leaf(tabs, name, std::to_string(value));
    }
    void Address(int tabs, const char* name, uint32_t hostOrder) {
        Leaf(tabs, name, FormatDotted(hostOrder));
    }
    void Word(int tabs, const char* name, const WordList& list, uint8_t code) {
        Leaf(tabs, name, WordForCode(list, code));
    }
    template <size_t N>
    void Text(int tabs, const char* name, const char (&field)[N]) {
        Leaf(tabs, name, EscapeXmlText(FieldText(field).c_str()));
    }

private:
    void Tag(int tabs, const char* open, const char* name) {
        m_out.append(tabs, '\t');
        m_out += open;
        m_out += name;
        m_out += ">\n";
    }
    std::string& m_out;
};

template <class Program>
void WriteProgramHead(DocumentLines& doc, Program& program) {
    StoreDvbIfEmpty(program.progName);
    StoreDvbIfEmpty(program.providerName);
    doc.Signed(2, "start", program.start);
    doc.Text(2, "progName", program.progName);
    doc.Text(2, "providerName", program.providerName);
    doc.Unsigned(2, "progNO", program.progNO);
    doc.Unsigned(2, "pmtPid", program.pmtPid);
    doc.Unsigned(2, "pcrPid", program.pcrPid);
}

void WriteVideo(DocumentLines& doc, const VideoSettings& video, const WordList& sourceList) {
    doc.Open(2, "video");
    doc.Unsigned(3, "pid", video.pid);
    doc.Word(3, "source", sourceList, video.source);
    doc.Text(3, "standard", video.standard);
    doc.Word(3, "mode", WordLists::videoMode, video.mode);
    doc.Unsigned(3, "bitrate", video.bitrate);
    doc.Word(3, "resolution", WordLists::resolution, video.resolution);
    doc.Word(3, "gop", WordLists::gop, video.gop);
    doc.Word(3, "filter", WordLists::filter, video.filter);
    doc.Unsigned(3, "lightness", video.lightness);
    doc.Unsigned(3, "hue", video.hue);
    doc.Unsigned(3, "saturation", video.saturation);
    doc.Unsigned(3, "contrast", video.contrast);
    doc.Close(2, "video");
}

// The audio lines after source (and audioSDI) are the same for all three audio blocks.
template <class Audio>
void WriteAudioTail(DocumentLines& doc, const Audio& audio, int8_t adjustVolumn) {
    doc.Word(3, "samplebitrate", WordLists::sampleRate, audio.samplebitrate);
    doc.Unsigned(3, "volumnLeft", audio.volumnLeft);
    doc.Unsigned(3, "volumnRight", audio.volumnRight);
    doc.Word(3, "bitrate", WordLists::audioBitrate, audio.bitrate);
    doc.Word(3, "mode", WordLists::audioMode, audio.mode);
    doc.Signed(3, "adjustVolumn", adjustVolumn);
}

}  // namespace

bool IsXmlForbiddenByte(unsigned char byte) {
    return (byte >= 0x01 && byte <= 0x08) || byte == 0x0B || byte == 0x0C || (byte >= 0x0E && byte <= 0x1F);
}

std::string EscapeXmlText(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        switch (*p) {
        case '"': out += "&quot;"; break;
        case '&': out += "&amp;"; break;
        case '\'': out += "&apos;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += IsXmlForbiddenByte(static_cast<unsigned char>(*p)) ? kXmlForbiddenReplacement : *p; break;
        }
    }
    return out;
}

int WriteSettingsDocument(EncoderRecord& record, char* text) {
    std::string out = "<?xml version=\"1.0\" encoding=\"GB2312\" standalone=\"no\" ?>\n";
    DocumentLines doc(out);

    doc.Open(0, "encoder_202");
    doc.Open(1, "system_info");
    doc.Signed(2, "keyboard", record.keyboard);
    doc.Text(2, "version", record.version);
    doc.Address(2, "ipAddr", record.ipAddr);
    doc.Address(2, "ipMask", record.ipMask);
    doc.Address(2, "ipGate", record.ipGate);
    doc.Text(2, "password", record.password);
    doc.Text(2, "newPassword", record.newPassword);
    doc.Unsigned(2, "deviceID", record.deviceID);
    doc.Unsigned(2, "temperature", record.temperature);
    doc.Signed(2, "defaultSetting", record.defaultSetting);
    doc.Signed(2, "tsBitrate", record.tsBitrate);
    doc.Address(2, "tsipAddr", record.tsipAddr);
    doc.Signed(2, "tsipPort", record.tsipPort);
    doc.Close(1, "system_info");

    Program1Info& p1 = record.program_info1;
    // The second analogue input's volume flag is one field, carried by both its elements.
    const int8_t balance2Adjust = record.program_info2.audio1.adjustVolumn;
    doc.Open(1, "program_info1");
    WriteProgramHead(doc, p1);
    WriteVideo(doc, p1.video, WordLists::program1VideoSource);
    doc.Open(2, "audio1");
    doc.Unsigned(3, "pid", p1.audio1.pid);
    doc.Word(3, "source", WordLists::program1Audio1Source, p1.audio1.source);
    doc.Signed(3, "audioSDI", p1.audio1.audioSDI);
    WriteAudioTail(doc, p1.audio1, p1.audio1.adjustVolumn);
    doc.Close(2, "audio1");
    doc.Open(2, "audio2");
    doc.Unsigned(3, "pid", p1.audio2.pid);
    doc.Word(3, "source", WordLists::balance2Source, p1.audio2.source);
    WriteAudioTail(doc, p1.audio2, balance2Adjust);
    doc.Close(2, "audio2");
    doc.Close(1, "program_info1");

    Program2Info& p2 = record.program_info2;
    doc.Open(1, "program_info2");
    WriteProgramHead(doc, p2);
    WriteVideo(doc, p2.video, WordLists::program2VideoSource);
    doc.Open(2, "audio1");
    doc.Unsigned(3, "pid", p2.audio1.pid);
    doc.Word(3, "source", WordLists::balance2Source, p2.audio1.source);
    WriteAudioTail(doc, p2.audio1, balance2Adjust);
    doc.Close(2, "audio1");
    doc.Close(1, "program_info2");
    doc.Close(0, "encoder_202");

    const size_t already = std::strlen(text);
    std::memcpy(text + already, out.c_str(), out.size() + 1);
    return static_cast<int>(already + out.size());
}
