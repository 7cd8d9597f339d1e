#pragma once
// One encoder as the tool knows it: its address, the settings last read from it, the
// operator's edits not yet written, and the two passwords a write needs. Plain and
// trivially copyable; `EncoderRecord record{};` is the zero-filled record of a newly
// added encoder. Field names are the settings document's element names.

#include <cstdint>
#include <type_traits>

struct VideoSettings {
    uint16_t pid;         // 0: no video stream
    uint8_t source;       // program 1: SDI, CVBS1; program 2: YPbPr, CVBS2
    char standard[10];    // as the encoder reports it; display only
    uint8_t mode;         // VBR, CBR
    uint16_t bitrate;     // kbit/s
    uint8_t resolution;   // D1, HALF-D1, SIF, Q-SIF
    uint8_t gop;          // I, IP, IPB, IPBB
    uint8_t filter;       // soft, normal, sharp
    uint8_t lightness;
    uint8_t hue;
    uint8_t saturation;
    uint8_t contrast;
};

// Program 1's first audio input: SDI-embedded or the first analogue input.
struct Program1Audio1 {
    uint16_t pid;
    uint8_t source;          // SDI, BALANCE1
    int8_t audioSDI;         // which embedded SDI audio, 0..7
    uint8_t samplebitrate;   // 32000, 44100, 48000 Hz
    uint8_t volumnLeft;
    uint8_t volumnRight;
    uint8_t bitrate;   // code 0..12: 32 .. 384 kbit/s
    uint8_t mode;      // joint stereo, stereo, double, single
    int8_t adjustVolumn;
};

// The second analogue input (BALANCE2) as program 1 describes it. Its adjustVolumn is
// the one of program_info2.audio1: both describe the same physical input.
struct Program1Audio2 {
    uint16_t pid;
    uint8_t source;   // BALANCE2
    uint8_t samplebitrate;
    uint8_t volumnLeft;
    uint8_t volumnRight;
    uint8_t bitrate;
    uint8_t mode;
};

// The second analogue input as program 2 describes it.
struct Program2Audio1 {
    uint16_t pid;
    uint8_t source;   // BALANCE2
    uint8_t samplebitrate;
    uint8_t volumnLeft;
    uint8_t volumnRight;
    uint8_t bitrate;
    uint8_t mode;
    int8_t adjustVolumn;   // carried by both program_info1/audio2 and program_info2/audio1
};

struct Program1Info {
    int8_t start;   // 0 off, 1 on
    char progName[40];
    char providerName[40];
    uint16_t progNO;
    uint16_t pmtPid;   // 0 while the program is off
    uint16_t pcrPid;
    VideoSettings video;
    Program1Audio1 audio1;
    Program1Audio2 audio2;
};

struct Program2Info {
    int8_t start;
    char progName[40];
    char providerName[40];
    uint16_t progNO;
    uint16_t pmtPid;
    uint16_t pcrPid;
    VideoSettings video;
    Program2Audio1 audio1;
};

struct EncoderRecord {
    uint8_t loaded;    // set once a settings document has been read in
    int8_t keyboard;   // carried through, never shown
    char version[22];
    uint32_t ipAddr;   // IPv4 in host order; every exchange connects here
    uint32_t ipMask;
    uint32_t ipGate;
    char password[20];   // typed by the operator, never read from a document
    char newPassword[20];
    uint8_t deviceID;
    uint16_t temperature;    // warning threshold; 0 switches the warning off
    int8_t defaultSetting;   // carried through, never shown
    int32_t tsBitrate;       // kbit/s
    uint32_t tsipAddr;       // TS-over-IP destination, host order
    int32_t tsipPort;
    Program1Info program_info1;
    Program2Info program_info2;
};

static_assert(std::is_trivially_copyable_v<EncoderRecord>, "records are copied as plain bytes");
static_assert(std::is_standard_layout_v<EncoderRecord>, "records are plain data");
