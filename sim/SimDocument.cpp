#include "CEncoderSim.h"

#include "SettingsDocument.h"
#include "SettingsFields.h"

namespace {

// A two-program encoder as it leaves the factory: SDI on program 1, the analogue inputs
// on program 2, both programs on air. Each value is the text its element carries; the
// fields not named here are 0.
struct FactoryValue {
    const char* field;
    const char* text;
};

const FactoryValue kFactory[] = {
    {"version", "KV202-HW2.1"},
    {"ipMask", "255.255.255.0"},
    {"deviceID", "1"},
    {"temperature", "60"},
    {"tsBitrate", "12000"},
    {"tsipAddr", "239.1.1.1"},
    {"tsipPort", "5000"},

    {"program_info1.start", "1"},
    {"program_info1.progName", "Korvane One"},
    {"program_info1.providerName", "Korvane"},
    {"program_info1.progNO", "1"},
    {"program_info1.pmtPid", "32"},
    {"program_info1.pcrPid", "256"},
    {"program_info1.video.pid", "256"},
    {"program_info1.video.source", "SDI"},
    {"program_info1.video.standard", "PAL"},
    {"program_info1.video.mode", "CBR"},
    {"program_info1.video.bitrate", "4000"},
    {"program_info1.video.resolution", "D1"},
    {"program_info1.video.gop", "IPBB"},
    {"program_info1.video.filter", "normal"},
    {"program_info1.video.lightness", "128"},
    {"program_info1.video.hue", "128"},
    {"program_info1.video.saturation", "128"},
    {"program_info1.video.contrast", "128"},
    {"program_info1.audio1.pid", "257"},
    {"program_info1.audio1.source", "SDI"},
    {"program_info1.audio1.samplebitrate", "48000"},
    {"program_info1.audio1.volumnLeft", "40"},
    {"program_info1.audio1.volumnRight", "40"},
    {"program_info1.audio1.bitrate", "192"},
    {"program_info1.audio1.mode", "stereo"},
    {"program_info1.audio1.adjustVolumn", "1"},
    {"program_info1.audio2.source", "BALANCE2"},
    {"program_info1.audio2.samplebitrate", "48000"},
    {"program_info1.audio2.volumnLeft", "40"},
    {"program_info1.audio2.volumnRight", "40"},
    {"program_info1.audio2.bitrate", "128"},
    {"program_info1.audio2.mode", "joint stereo"},

    {"program_info2.start", "1"},
    {"program_info2.progName", "Korvane Two"},
    {"program_info2.providerName", "Korvane"},
    {"program_info2.progNO", "2"},
    {"program_info2.pmtPid", "33"},
    {"program_info2.pcrPid", "512"},
    {"program_info2.video.pid", "512"},
    {"program_info2.video.source", "CVBS2"},
    {"program_info2.video.standard", "PAL"},
    {"program_info2.video.mode", "VBR"},
    {"program_info2.video.bitrate", "3000"},
    {"program_info2.video.resolution", "HALF-D1"},
    {"program_info2.video.gop", "IPB"},
    {"program_info2.video.filter", "soft"},
    {"program_info2.video.lightness", "120"},
    {"program_info2.video.hue", "128"},
    {"program_info2.video.saturation", "130"},
    {"program_info2.video.contrast", "126"},
    {"program_info2.audio1.pid", "513"},
    {"program_info2.audio1.source", "BALANCE2"},
    {"program_info2.audio1.samplebitrate", "48000"},
    {"program_info2.audio1.volumnLeft", "40"},
    {"program_info2.audio1.volumnRight", "40"},
    {"program_info2.audio1.bitrate", "128"},
    {"program_info2.audio1.mode", "joint stereo"},
    {"program_info2.audio1.adjustVolumn", "1"},
};

}  // namespace

std::string CEncoderSim::DefaultDocument(uint32_t hostOrderAddr) {
    EncoderRecord record{};
    for (const FactoryValue& value : kFactory) {
        if (const SettingsField* element = FindSettingsField(value.field)) {
            StoreFieldText(*element, value.text, record);
        }
    }
    // The encoder reports the address it is reached at, so that a read never sends the
    // tool elsewhere.
    record.ipAddr = hostOrderAddr;
    record.ipGate = (hostOrderAddr & 0xFFFFFF00u) | 0xFEu;
    return EncoderSideDocument(record);
}
