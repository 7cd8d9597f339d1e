#pragma once
// Records the sheet-rule tests start from.

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "EncoderRecord.h"
#include "SettingsFields.h"

// Sets fields by their dotted names from the texts their elements would carry.
inline void SetByName(EncoderRecord& record, std::initializer_list<std::pair<const char*, const char*>> values)
{
    for (const auto& [name, text] : values) {
        const SettingsField* element = FindSettingsField(name);
        if (element)
            StoreFieldText(*element, text, record);
        else
            ADD_FAILURE() << "no field named " << name;
    }
}

// A configuration every rule accepts: both programs on air, the second analogue input on
// program 2.
inline EncoderRecord GoodRecord()
{
    EncoderRecord record{};
    SetByName(record, {
                          {"version", "KV202-HW2.1"},
                          {"ipAddr", "10.1.2.20"},
                          {"ipMask", "255.255.255.0"},
                          {"ipGate", "10.1.2.254"},
                          {"deviceID", "1"},
                          {"temperature", "60"},
                          {"tsBitrate", "12000"},
                          {"tsipAddr", "239.1.1.1"},
                          {"tsipPort", "5000"},
                          {"keyboard", "1"},
                          {"defaultSetting", "2"},
                          {"program_info1.start", "1"},
                          {"program_info1.progName", "News"},
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
                          {"program_info1.audio1.audioSDI", "2"},
                          {"program_info1.audio1.samplebitrate", "48000"},
                          {"program_info1.audio1.volumnLeft", "40"},
                          {"program_info1.audio1.volumnRight", "41"},
                          {"program_info1.audio1.bitrate", "192"},
                          {"program_info1.audio1.mode", "stereo"},
                          {"program_info1.audio1.adjustVolumn", "1"},
                          {"program_info1.audio2.source", "BALANCE2"},
                          {"program_info1.audio2.samplebitrate", "48000"},
                          {"program_info1.audio2.volumnLeft", "30"},
                          {"program_info1.audio2.volumnRight", "31"},
                          {"program_info1.audio2.bitrate", "128"},
                          {"program_info1.audio2.mode", "joint stereo"},
                          {"program_info2.start", "1"},
                          {"program_info2.progName", "Sport"},
                          {"program_info2.providerName", "Korvane"},
                          {"program_info2.progNO", "2"},
                          {"program_info2.pmtPid", "33"},
                          {"program_info2.pcrPid", "512"},
                          {"program_info2.video.pid", "512"},
                          {"program_info2.video.source", "CVBS2"},
                          {"program_info2.video.standard", "NTSC"},
                          {"program_info2.video.mode", "VBR"},
                          {"program_info2.video.bitrate", "3000"},
                          {"program_info2.video.resolution", "HALF-D1"},
                          {"program_info2.video.gop", "IPB"},
                          {"program_info2.video.filter", "soft"},
                          {"program_info2.video.lightness", "120"},
                          {"program_info2.video.hue", "127"},
                          {"program_info2.video.saturation", "130"},
                          {"program_info2.video.contrast", "126"},
                          {"program_info2.audio1.pid", "513"},
                          {"program_info2.audio1.source", "BALANCE2"},
                          {"program_info2.audio1.samplebitrate", "48000"},
                          {"program_info2.audio1.volumnLeft", "30"},
                          {"program_info2.audio1.volumnRight", "31"},
                          {"program_info2.audio1.bitrate", "128"},
                          {"program_info2.audio1.mode", "joint stereo"},
                          {"program_info2.audio1.adjustVolumn", "1"},
                      });
    return record;
}
