#include "SheetLayout.h"

#include <cstdio>
#include <iterator>

#include "TextConversions.h"
#include "WordLists.h"

namespace {

// Combo texts as the operator sees them; their positions are the record's codes. Where
// the sheet shows the document's own words, the options are the word list itself; where
// it words them for the operator, the count must still match the list.
const char* const kStart1[] = {" No ", " Yes "};
const char* const kStart2[] = {"No", "Yes"};
const char* const kAudioSource1[] = {"SDI", "analog"};
const char* const kAnalogOnly[] = {"analog"};
const char* const kAudioSdi[] = {"0", "1", "2", "3", "4", "5", "6", "7"};
const char* const kAudioMode[] = {"Joint Stereo", "Stereo", "Dual Channel", "Single Channel"};

static_assert(std::size(kAudioSource1) == WordLists::program1Audio1Source.count, "one option per word");
static_assert(std::size(kAnalogOnly) == WordLists::balance2Source.count, "one option per word");
static_assert(std::size(kAudioMode) == WordLists::audioMode.count, "one option per word");

constexpr OptionList Options(const WordList& list)
{
    return OptionList{list.words, list.count};
}

template <size_t N>
constexpr OptionList Options(const char* const (&texts)[N])
{
    return OptionList{texts, static_cast<uint8_t>(N)};
}

// ---- commit rules ----

constexpr CommitRule StoreValue(FieldRef mirror = {})
{
    CommitRule rule;
    rule.kind = CommitKind::Store;
    rule.mirror = mirror;
    return rule;
}

constexpr CommitRule Length(int most, const char* warning)
{
    CommitRule rule;
    rule.kind = CommitKind::Length;
    rule.high = most;
    rule.warning = warning;
    return rule;
}

constexpr CommitRule Range(int low, int high, const char* warning, FieldRef mirror = {})
{
    CommitRule rule;
    rule.kind = CommitKind::Range;
    rule.low = low;
    rule.high = high;
    rule.warning = warning;
    rule.mirror = mirror;
    return rule;
}

constexpr CommitRule ProgramNumber(FieldRef other, const char* conflict)
{
    CommitRule rule;
    rule.kind = CommitKind::ProgramNumber;
    rule.low = 0;
    rule.high = 65535;
    rule.warning = conflict;
    rule.partner = other;
    return rule;
}

constexpr CommitRule Start(FieldRef pmtPid)
{
    CommitRule rule;
    rule.kind = CommitKind::Start;
    rule.partner = pmtPid;
    return rule;
}

constexpr CommitRule SampleRate()
{
    CommitRule rule;
    rule.kind = CommitKind::SampleRate;
    return rule;
}

constexpr CommitRule Audio(CommitKind kind, FieldRef against, FieldRef mirror = {})
{
    CommitRule rule;
    rule.kind = kind;
    rule.partner = against;
    rule.mirror = mirror;
    return rule;
}

enum class Zero : uint8_t { Clears, Refused };

template <class... Slots>
constexpr CommitRule Pid(PidSlot self, Zero zero, FieldRef clears, Slots... order)
{
    static_assert(sizeof...(order) <= 8, "at most eight other PIDs");
    CommitRule rule;
    rule.kind = CommitKind::Pid;
    rule.partner = clears;
    rule.pid.self = self;
    rule.pid.zeroRefused = zero == Zero::Refused;
    const PidSlot list[] = {order...};
    for (size_t i = 0; i < sizeof...(order); ++i) rule.pid.order[i] = list[i];
    rule.pid.count = static_cast<uint8_t>(sizeof...(order));
    return rule;
}

// ---- rows ----

constexpr SheetRow Heading(const char* label, uint32_t color)
{
    return SheetRow{RowKind::Heading, label, 0, {}, false, color, {}, {}};
}

constexpr SheetRow Static(const char* label, FieldRef field)
{
    return SheetRow{RowKind::Static, label, 0, {}, false, kReadOnlyBackground, field, {}};
}

constexpr SheetRow Blank()
{
    return SheetRow{RowKind::Static, nullptr, 0, {}, false, kDefaultColor, {}, {}};
}

constexpr SheetRow Text(const char* label, int id, FieldRef field, CommitRule rule)
{
    return SheetRow{RowKind::Text, label, id, {}, false, kDefaultColor, field, rule};
}

constexpr SheetRow Numeric(const char* label, int id, FieldRef field, CommitRule rule)
{
    return SheetRow{RowKind::Numeric, label, id, {}, false, kDefaultColor, field, rule};
}

constexpr SheetRow Combo(const char* label, int id, OptionList options, FieldRef field, CommitRule rule)
{
    return SheetRow{RowKind::Combo, label, id, options, false, kDefaultColor, field, rule};
}

constexpr SheetRow Address(const char* label, int id, FieldRef field, CommitRule rule)
{
    return SheetRow{RowKind::IPAddress, label, id, {}, false, kDefaultColor, field, rule};
}

// Shown greyed and never opened for editing, so never committed.
constexpr SheetRow ReadOnly(SheetRow row)
{
    row.readOnly = true;
    row.color = kReadOnlyBackground;
    row.commit = CommitRule{};
    return row;
}

using P = PidSlot;

constexpr const char* kVolumeWarning = "Audio Volumn value must between 0 and 60 !";
constexpr const char* kVideoBitrateWarning = "Video bitrate must between 1500 and 15000 kb !";
constexpr const char* kNameWarning = "Service name length must less than 20 characters !";
constexpr const char* kProviderWarning = "Service provider name length must less than 20 characters !";

constexpr SheetRow kLeftRows[] = {
    Heading("System", kProgramHeadingColor),
    Static("HW version", RECORD_FIELD(version)),
    ReadOnly(Address("IP Address", 10002, RECORD_FIELD(ipAddr), {})),
    ReadOnly(Address("IP Mask", 10003, RECORD_FIELD(ipMask), {})),
    ReadOnly(Address("IP Gate", 10004, RECORD_FIELD(ipGate), {})),
    Text("Password", 10005, RECORD_FIELD(password), Length(10, "Password length must less than 10 characters !")),
    Text("New Password", 10006, RECORD_FIELD(newPassword),
         Length(10, "NewPassword length must less than 10 characters !")),
    Numeric("Device Number", 10007, RECORD_FIELD(deviceID), Range(0, 255, "DeviceID value must less than 255 !")),
    Numeric("Warn temp.", 10008, RECORD_FIELD(temperature),
            Range(0, 99, "Temperature warning value must less than 99 !")),
    ReadOnly(Numeric("Mux Bitrate(kbps)", 10010, RECORD_FIELD(tsBitrate), {})),
    Address("TS-->IP Address", 10011, RECORD_FIELD(tsipAddr), StoreValue()),
    Numeric("TS-->IP Port", 10012, RECORD_FIELD(tsipPort), Range(0, 65535, "IP port must between 0--65535!")),

    Heading("Program 1", kProgramHeadingColor),
    Combo("Start", 10013, Options(kStart1), RECORD_FIELD(program_info1.start),
          Start(RECORD_FIELD(program_info1.pmtPid))),
    Text("Service Name", 10014, RECORD_FIELD(program_info1.progName), Length(20, kNameWarning)),
    Text("Service Provider", 10015, RECORD_FIELD(program_info1.providerName), Length(20, kProviderWarning)),
    Numeric("Program Number", 10016, RECORD_FIELD(program_info1.progNO),
            ProgramNumber(RECORD_FIELD(program_info2.progNO), "Program-1 Number conflicts with program-2's !")),
    Numeric("PMT_PID", 10017, RECORD_FIELD(program_info1.pmtPid),
            Pid(P::P1Pmt, Zero::Clears, {}, P::P1Pcr, P::P1Video, P::P1Audio1, P::P1Audio2, P::P2Pmt, P::P2Pcr,
                P::P2Video, P::P2Audio1)),
    Numeric("PCR_PID", 10018, RECORD_FIELD(program_info1.pcrPid),
            Pid(P::P1Pcr, Zero::Refused, {}, P::P1Pmt, P::P1Audio1, P::P1Audio2, P::P2Pmt, P::P2Pcr, P::P2Video,
                P::P2Audio1)),

    Heading("Program1 - Video", kGroupHeadingColor),
    Numeric("VIDEO_PID", 10019, RECORD_FIELD(program_info1.video.pid),
            Pid(P::P1Video, Zero::Clears, {}, P::P1Pmt, P::P1Audio1, P::P1Audio2, P::P2Pmt, P::P2Pcr, P::P2Video,
                P::P2Audio1)),
    Combo("Video Input", 10020, Options(WordLists::program1VideoSource), RECORD_FIELD(program_info1.video.source),
          StoreValue()),
    Static("Video Signal", RECORD_FIELD(program_info1.video.standard)),
    Combo("Encode Mode", 10021, Options(WordLists::videoMode), RECORD_FIELD(program_info1.video.mode), StoreValue()),
    Numeric("Video Bitrate(kbps)", 10022, RECORD_FIELD(program_info1.video.bitrate),
            Range(1500, 15000, kVideoBitrateWarning)),
    Combo("Resolution", 10023, Options(WordLists::resolution), RECORD_FIELD(program_info1.video.resolution),
          StoreValue()),
    Combo("GOP", 10024, Options(WordLists::gop), RECORD_FIELD(program_info1.video.gop), StoreValue()),
    Combo("Spatial Filter", 10025, Options(WordLists::filter), RECORD_FIELD(program_info1.video.filter), StoreValue()),
    Numeric("Brightness", 10026, RECORD_FIELD(program_info1.video.lightness),
            Range(0, 255, "Video light value must between 0 and 255 !")),
    Numeric("Chroma Hue", 10027, RECORD_FIELD(program_info1.video.hue),
            Range(0, 255, "Video Hue value must between 0 and 255 !")),
    Numeric("Saturation", 10028, RECORD_FIELD(program_info1.video.saturation),
            Range(0, 255, "Video Saturation value must between 0 and 255 !")),
    Numeric("Contrast", 10029, RECORD_FIELD(program_info1.video.contrast),
            Range(0, 255, "Video Contrast value must between 0 and 255 !")),

    Heading("Program1 - Audio1", kGroupHeadingColor),
    Numeric("AUDIO_PID", 10030, RECORD_FIELD(program_info1.audio1.pid),
            Pid(P::P1Audio1, Zero::Clears, {}, P::P1Pmt, P::P1Pcr, P::P1Video, P::P1Audio2, P::P2Pmt, P::P2Pcr,
                P::P2Video, P::P2Audio1)),
    Combo("Audio Input", 10031, Options(kAudioSource1), RECORD_FIELD(program_info1.audio1.source), StoreValue()),
    Combo("Audio SDI No.", 10071, Options(kAudioSdi), RECORD_FIELD(program_info1.audio1.audioSDI), StoreValue()),
    Combo("Sampling Frequency(Hz)", 10032, Options(WordLists::sampleRate),
          RECORD_FIELD(program_info1.audio1.samplebitrate), SampleRate()),
    Numeric("Left Volume", 10033, RECORD_FIELD(program_info1.audio1.volumnLeft), Range(0, 60, kVolumeWarning)),
    Numeric("Right Volume", 10034, RECORD_FIELD(program_info1.audio1.volumnRight), Range(0, 60, kVolumeWarning)),
    Combo("Bitrate(kbps)", 10035, Options(WordLists::audioBitrate), RECORD_FIELD(program_info1.audio1.bitrate),
          Audio(CommitKind::AudioBitrate, RECORD_FIELD(program_info1.audio1.mode))),
    Combo("Audio Mode", 10036, Options(kAudioMode), RECORD_FIELD(program_info1.audio1.mode),
          Audio(CommitKind::AudioMode, RECORD_FIELD(program_info1.audio1.bitrate))),
    Blank(),
};

// Program 1's second audio and program 2's audio are one analogue input: every row of
// either group also writes the other group's copy.
constexpr SheetRow kRightRows[] = {
    Heading("Program1 - Audio 2", kGroupHeadingColor),
    Numeric("AUDIO_PID", 10037, RECORD_FIELD(program_info1.audio2.pid),
            Pid(P::P1Audio2, Zero::Clears, RECORD_FIELD(program_info2.audio1.pid), P::P1Pmt, P::P1Pcr, P::P1Video,
                P::P1Audio1, P::P2Pmt, P::P2Pcr, P::P2Video)),
    Combo("Audio Input", 10038, Options(kAnalogOnly), RECORD_FIELD(program_info1.audio2.source),
          StoreValue(RECORD_FIELD(program_info2.audio1.source))),
    Combo("Sampling Frequency(Hz)", 10039, Options(WordLists::sampleRate),
          RECORD_FIELD(program_info1.audio2.samplebitrate), SampleRate()),
    Numeric("Left Volume", 10040, RECORD_FIELD(program_info1.audio2.volumnLeft),
            Range(0, 60, kVolumeWarning, RECORD_FIELD(program_info2.audio1.volumnLeft))),
    Numeric("Right Volume", 10041, RECORD_FIELD(program_info1.audio2.volumnRight),
            Range(0, 60, kVolumeWarning, RECORD_FIELD(program_info2.audio1.volumnRight))),
    Combo("Bitrate(kbps)", 10042, Options(WordLists::audioBitrate), RECORD_FIELD(program_info1.audio2.bitrate),
          Audio(CommitKind::AudioBitrate, RECORD_FIELD(program_info1.audio2.mode),
                RECORD_FIELD(program_info2.audio1.bitrate))),
    Combo("Audio Mode", 10043, Options(kAudioMode), RECORD_FIELD(program_info1.audio2.mode),
          Audio(CommitKind::AudioMode, RECORD_FIELD(program_info1.audio2.bitrate),
                RECORD_FIELD(program_info2.audio1.mode))),

    Heading("Program 2", kProgramHeadingColor),
    Combo("Start", 10044, Options(kStart2), RECORD_FIELD(program_info2.start),
          Start(RECORD_FIELD(program_info2.pmtPid))),
    Text("Service Name", 10045, RECORD_FIELD(program_info2.progName), Length(20, kNameWarning)),
    Text("Service Provider", 10046, RECORD_FIELD(program_info2.providerName), Length(20, kProviderWarning)),
    Numeric("Program Number", 10047, RECORD_FIELD(program_info2.progNO),
            ProgramNumber(RECORD_FIELD(program_info1.progNO), "Program-2 Number conflicts with program-1's !")),
    Numeric("PMT_PID", 10048, RECORD_FIELD(program_info2.pmtPid),
            Pid(P::P2Pmt, Zero::Clears, {}, P::P1Pmt, P::P1Pcr, P::P1Video, P::P1Audio1, P::P1Audio2, P::P2Pcr,
                P::P2Video, P::P2Audio1)),
    Numeric("PCR_PID", 10049, RECORD_FIELD(program_info2.pcrPid),
            Pid(P::P2Pcr, Zero::Clears, {}, P::P1Pmt, P::P1Pcr, P::P1Video, P::P1Audio1, P::P1Audio2, P::P2Pmt,
                P::P2Audio1)),

    Heading("Program2 - Video", kGroupHeadingColor),
    Numeric("VIDEO_PID", 10050, RECORD_FIELD(program_info2.video.pid),
            Pid(P::P2Video, Zero::Clears, {}, P::P1Pmt, P::P1Pcr, P::P1Video, P::P1Audio1, P::P1Audio2, P::P2Pmt,
                P::P2Audio1)),
    Combo("Video Input", 10051, Options(WordLists::program2VideoSource), RECORD_FIELD(program_info2.video.source),
          StoreValue()),
    Static("Video Signal", RECORD_FIELD(program_info2.video.standard)),
    Combo("Encode Mode", 10052, Options(WordLists::videoMode), RECORD_FIELD(program_info2.video.mode), StoreValue()),
    Numeric("Video Bitrate(kbps)", 10053, RECORD_FIELD(program_info2.video.bitrate),
            Range(1500, 15000, kVideoBitrateWarning)),
    Combo("Resolution", 10054, Options(WordLists::resolution), RECORD_FIELD(program_info2.video.resolution),
          StoreValue()),
    Combo("GOP", 10055, Options(WordLists::gop), RECORD_FIELD(program_info2.video.gop), StoreValue()),
    Combo("Spatial Filter", 10056, Options(WordLists::filter), RECORD_FIELD(program_info2.video.filter), StoreValue()),
    Numeric("Brightness", 10057, RECORD_FIELD(program_info2.video.lightness),
            Range(0, 255, "Video light value must between 0 and 255 !")),
    Numeric("Chroma Hue", 10058, RECORD_FIELD(program_info2.video.hue),
            Range(0, 255, "Video Hue value must between 0 and 255 !")),
    Numeric("Saturation", 10059, RECORD_FIELD(program_info2.video.saturation),
            Range(0, 255, "Video Saturation value must between 0 and 255 !")),
    Numeric("Contrast", 10060, RECORD_FIELD(program_info2.video.contrast),
            Range(0, 255, "Video Contrast value must between 0 and 255 !")),

    Heading("Program2 - Audio", kGroupHeadingColor),
    Numeric("AUDIO_PID", 10061, RECORD_FIELD(program_info2.audio1.pid),
            Pid(P::P2Audio1, Zero::Clears, RECORD_FIELD(program_info1.audio2.pid), P::P1Pmt, P::P1Pcr, P::P1Video,
                P::P1Audio1, P::P2Pmt, P::P2Pcr, P::P2Video)),
    Combo("Audio Input", 10062, Options(kAnalogOnly), RECORD_FIELD(program_info2.audio1.source),
          StoreValue(RECORD_FIELD(program_info1.audio2.source))),
    Combo("Sampling Frequency(Hz)", 10063, Options(WordLists::sampleRate),
          RECORD_FIELD(program_info2.audio1.samplebitrate), SampleRate()),
    Numeric("Left Volume", 10064, RECORD_FIELD(program_info2.audio1.volumnLeft),
            Range(0, 60, kVolumeWarning, RECORD_FIELD(program_info1.audio2.volumnLeft))),
    Numeric("Right Volume", 10065, RECORD_FIELD(program_info2.audio1.volumnRight),
            Range(0, 60, kVolumeWarning, RECORD_FIELD(program_info1.audio2.volumnRight))),
    Combo("Bitrate(kbps)", 10066, Options(WordLists::audioBitrate), RECORD_FIELD(program_info2.audio1.bitrate),
          Audio(CommitKind::AudioBitrate, RECORD_FIELD(program_info2.audio1.mode),
                RECORD_FIELD(program_info1.audio2.bitrate))),
    Combo("Audio Mode", 10067, Options(kAudioMode), RECORD_FIELD(program_info2.audio1.mode),
          Audio(CommitKind::AudioMode, RECORD_FIELD(program_info2.audio1.bitrate),
                RECORD_FIELD(program_info1.audio2.mode))),
    Blank(),
};

constexpr PidField kPidFields[kPidSlotCount] = {
    {RECORD_FIELD(program_info1.pmtPid), "Pmt_Pid", "Program-1's Pmt_Pid"},
    {RECORD_FIELD(program_info1.pcrPid), "Pcr_Pid", "Program-1's Pcr_Pid"},
    {RECORD_FIELD(program_info1.video.pid), "Video_Pid", "Program-1's Video_Pid"},
    {RECORD_FIELD(program_info1.audio1.pid), "Audio1_Pid", "Program-1's Audio1_Pid"},
    {RECORD_FIELD(program_info1.audio2.pid), "Audio2_Pid", "Program-1's Audio2_Pid"},
    {RECORD_FIELD(program_info2.pmtPid), "Pmt_Pid", "Program-2's Pmt_Pid"},
    {RECORD_FIELD(program_info2.pcrPid), "Pcr_Pid", "Program-2's Pcr_Pid"},
    {RECORD_FIELD(program_info2.video.pid), "Video_Pid", "Program-2's Video_Pid"},
    {RECORD_FIELD(program_info2.audio1.pid), "Audio1_Pid", "Program-2's Audio1_Pid"},
};

constexpr SheetColumn kLeft{kLeftRows, sizeof kLeftRows / sizeof kLeftRows[0]};
constexpr SheetColumn kRight{kRightRows, sizeof kRightRows / sizeof kRightRows[0]};

}   // namespace

const PidField& PidFieldOf(PidSlot slot)
{
    return kPidFields[static_cast<size_t>(slot)];
}

const SheetColumn& LeftColumn()
{
    return kLeft;
}

const SheetColumn& RightColumn()
{
    return kRight;
}

const SheetRow* FindSheetRow(int controlId)
{
    if (controlId == 0) return nullptr;
    for (const SheetColumn* column : {&kLeft, &kRight}) {
        for (const SheetRow& row : *column) {
            if (row.controlId == controlId) return &row;
        }
    }
    return nullptr;
}

const SheetRow* FindEditingRow(FieldRef field)
{
    if (field.type == FieldType::None) return nullptr;
    for (const SheetColumn* column : {&kLeft, &kRight}) {
        for (const SheetRow& row : *column) {
            if (row.controlId != 0 && row.field == field) return &row;
        }
    }
    return nullptr;
}

const char* HeadingOf(const SheetRow& row)
{
    const char* found = "";
    ForEachSheetRow([&](const SheetRow& r, const char* heading) {
        if (&r == &row) found = heading;
    });
    return found;
}

std::string DisplayText(const SheetRow& row, const EncoderRecord& record)
{
    switch (row.kind) {
    case RowKind::Combo: {
        const int index = ShownIndex(row, record);
        return index < 0 ? std::string() : std::string(row.options.texts[index]);
    }
    case RowKind::IPAddress:
        return FormatDotted(ShownAddress(row, record));
    case RowKind::Heading:
        return {};
    case RowKind::Text:
    case RowKind::Numeric:
    case RowKind::Static:
        break;
    }
    return ShownText(row, record);
}

std::string ShownText(const SheetRow& row, const EncoderRecord& record)
{
    if (row.field.type == FieldType::Text) return FieldText(row.field, record);
    if (row.field.type == FieldType::None) return {};
    char text[24];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(FieldNumber(row.field, record)));
    return text;
}

int ShownIndex(const SheetRow& row, const EncoderRecord& record)
{
    // The code is taken as a signed byte, so 255 (a word the reader did not know) selects
    // nothing, and so does any code past the options.
    const int code = static_cast<int8_t>(static_cast<uint8_t>(FieldNumber(row.field, record)));
    return code >= 0 && code < row.options.count ? code : -1;
}

uint32_t ShownAddress(const SheetRow& row, const EncoderRecord& record)
{
    return row.field.type == FieldType::Address ? static_cast<uint32_t>(FieldNumber(row.field, record)) : 0;
}
