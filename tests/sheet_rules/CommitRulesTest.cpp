#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "CommitRules.h"
#include "Gb2312.h"
#include "SheetLayout.h"

namespace {

using Warning = std::optional<std::string>;

// A record with every byte set, so that a commit that stores too much or too little shows.
EncoderRecord NoisyRecord(unsigned seed)
{
    EncoderRecord record;
    std::mt19937 random(seed);
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    for (size_t i = 0; i < sizeof record; ++i) bytes[i] = static_cast<unsigned char>(random());
    return record;
}

bool SameBytes(const EncoderRecord& a, const EncoderRecord& b)
{
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): a record and its copy, byte for byte
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void ExpectRefused(int id, const EditorValue& value, EncoderRecord record, const std::string& warning)
{
    const EncoderRecord before = record;
    EXPECT_EQ(CommitSetting(id, value, record), Warning(warning));
    EXPECT_TRUE(SameBytes(record, before)) << "a refused value wrote into the record";
}

// ---- ranges and texts ----

struct RangeRow {
    int id;
    int low, high;
    const char* warning;
    int64_t (*stored)(const EncoderRecord&);
};

const RangeRow kRangeRows[] = {
    {10007, 0, 255, "DeviceID value must less than 255 !",
     [](const EncoderRecord& r) -> int64_t { return r.deviceID; }},
    {10008, 0, 99, "Temperature warning value must less than 99 !",
     [](const EncoderRecord& r) -> int64_t { return r.temperature; }},
    {10012, 0, 65535, "IP port must between 0--65535!", [](const EncoderRecord& r) -> int64_t { return r.tsipPort; }},
    {10016, 0, 65535, "Program Number must less than 65535 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info1.progNO; }},
    {10047, 0, 65535, "Program Number must less than 65535 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info2.progNO; }},
    {10022, 1500, 15000, "Video bitrate must between 1500 and 15000 kb !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info1.video.bitrate; }},
    {10053, 1500, 15000, "Video bitrate must between 1500 and 15000 kb !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info2.video.bitrate; }},
    {10026, 0, 255, "Video light value must between 0 and 255 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info1.video.lightness; }},
    {10027, 0, 255, "Video Hue value must between 0 and 255 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info1.video.hue; }},
    {10028, 0, 255, "Video Saturation value must between 0 and 255 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info1.video.saturation; }},
    {10029, 0, 255, "Video Contrast value must between 0 and 255 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info1.video.contrast; }},
    {10057, 0, 255, "Video light value must between 0 and 255 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info2.video.lightness; }},
    {10058, 0, 255, "Video Hue value must between 0 and 255 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info2.video.hue; }},
    {10059, 0, 255, "Video Saturation value must between 0 and 255 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info2.video.saturation; }},
    {10060, 0, 255, "Video Contrast value must between 0 and 255 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info2.video.contrast; }},
    {10033, 0, 60, "Audio Volumn value must between 0 and 60 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info1.audio1.volumnLeft; }},
    {10034, 0, 60, "Audio Volumn value must between 0 and 60 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info1.audio1.volumnRight; }},
    {10040, 0, 60, "Audio Volumn value must between 0 and 60 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info1.audio2.volumnLeft; }},
    {10041, 0, 60, "Audio Volumn value must between 0 and 60 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info1.audio2.volumnRight; }},
    {10064, 0, 60, "Audio Volumn value must between 0 and 60 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info2.audio1.volumnLeft; }},
    {10065, 0, 60, "Audio Volumn value must between 0 and 60 !",
     [](const EncoderRecord& r) -> int64_t { return r.program_info2.audio1.volumnRight; }},
};

void PrintTo(const RangeRow& row, std::ostream* out)
{
    *out << row.id;
}

class RangeRows : public testing::TestWithParam<RangeRow> {};

TEST_P(RangeRows, BoundsAreInclusiveAndOutsideIsRefused)
{
    const RangeRow& row = GetParam();
    for (int v : {row.low, row.high, (row.low + row.high) / 2}) {
        EncoderRecord record = NoisyRecord(v);
        // Program numbers must also differ from the other program's; keep that one apart.
        record.program_info1.progNO = record.program_info2.progNO = 1;
        if (v == 1) continue;
        EXPECT_EQ(CommitSetting(row.id, EditorValue::Text(std::to_string(v)), record), std::nullopt) << v;
        EXPECT_EQ(row.stored(record), v);
    }
    for (const std::string& text : {std::to_string(row.low - 1), std::to_string(row.high + 1),
                                    std::string("99999999999"), std::string("-99999999999"),
                                    std::string("4294967296"),   // would wrap to 0
                                    std::string("-1")}) {
        SCOPED_TRACE(text);
        ExpectRefused(row.id, EditorValue::Text(text), NoisyRecord(7), row.warning);
    }
}

TEST_P(RangeRows, TextIsReadAsLeadingDigits)
{
    const RangeRow& row = GetParam();
    EncoderRecord record{};
    record.program_info1.progNO = record.program_info2.progNO = 9999;
    const std::string text = " " + std::to_string(row.low + 1) + "x9";
    EXPECT_EQ(CommitSetting(row.id, EditorValue::Text(text), record), std::nullopt);
    EXPECT_EQ(row.stored(record), row.low + 1);
    if (row.low == 0) {
        EXPECT_EQ(CommitSetting(row.id, EditorValue::Text(""), record), std::nullopt);
        EXPECT_EQ(row.stored(record), 0);
    } else {
        ExpectRefused(row.id, EditorValue::Text(""), record, row.warning);
    }
}

INSTANTIATE_TEST_SUITE_P(Commit, RangeRows, testing::ValuesIn(kRangeRows),
                         [](const auto& info) { return std::to_string(info.param.id); });

struct TextRow {
    int id;
    size_t most;
    const char* warning;
    char* (*field)(EncoderRecord&);
};

const TextRow kTextRows[] = {
    {10005, 10, "Password length must less than 10 characters !", [](EncoderRecord& r) { return r.password; }},
    {10006, 10, "NewPassword length must less than 10 characters !", [](EncoderRecord& r) { return r.newPassword; }},
    {10014, 20, "Service name length must less than 20 characters !",
     [](EncoderRecord& r) { return r.program_info1.progName; }},
    {10015, 20, "Service provider name length must less than 20 characters !",
     [](EncoderRecord& r) { return r.program_info1.providerName; }},
    {10045, 20, "Service name length must less than 20 characters !",
     [](EncoderRecord& r) { return r.program_info2.progName; }},
    {10046, 20, "Service provider name length must less than 20 characters !",
     [](EncoderRecord& r) { return r.program_info2.providerName; }},
};

void PrintTo(const TextRow& row, std::ostream* out)
{
    *out << row.id;
}

class TextRows : public testing::TestWithParam<TextRow> {};

TEST_P(TextRows, LengthInBytesUpToTheLimit)
{
    const TextRow& row = GetParam();
    EncoderRecord record = NoisyRecord(3);
    const EncoderRecord before = record;
    const std::string longest(row.most, 'a');
    EXPECT_EQ(CommitSetting(row.id, EditorValue::Text(longest), record), std::nullopt);
    EXPECT_STREQ(row.field(record), longest.c_str());
    // The text and its terminating zero are stored; the bytes after it stay as they were.
    EXPECT_EQ(
        std::memcmp(row.field(record) + row.most + 1, row.field(const_cast<EncoderRecord&>(before)) + row.most + 1, 9),
        0);

    ExpectRefused(row.id, EditorValue::Text(longest + "a"), record, row.warning);
    // A double-byte character counts twice.
    std::string wide;
    while (wide.size() < row.most) wide += "\xC4\xE3";
    EXPECT_EQ(CommitSetting(row.id, EditorValue::Text(wide), record), std::nullopt);
    EXPECT_STREQ(row.field(record), wide.c_str());
    ExpectRefused(row.id, EditorValue::Text(wide + "\xC4\xE3"), record, row.warning);

    EXPECT_EQ(CommitSetting(row.id, EditorValue::Text(""), record), std::nullopt);
    EXPECT_STREQ(row.field(record), "");
}

// Every control byte no document may carry is refused wherever it stands in a typed text;
// tab, line feed and carriage return are ordinary XML and are kept.
TEST_P(TextRows, TypedControlBytesAreRefused)
{
    const TextRow& row = GetParam();
    EncoderRecord record = NoisyRecord(5);
    std::strcpy(row.field(record), "old");
    for (int byte = 1; byte < 0x20; ++byte) {
        const char c = static_cast<char>(byte);
        const bool allowed = byte == 0x09 || byte == 0x0A || byte == 0x0D;
        for (const std::string& text : {std::string(1, c), "ab" + std::string(1, c), std::string(1, c) + "\xD6\xD0"}) {
            if (allowed) {
                EncoderRecord copy = record;
                EXPECT_EQ(CommitSetting(row.id, EditorValue::Text(text), copy), std::nullopt) << byte;
                EXPECT_EQ(std::string(row.field(copy)), text);
            } else {
                ExpectRefused(row.id, EditorValue::Text(text), record, "Text must not contain control characters !");
            }
        }
    }
    // A text past the limit keeps its length warning, control bytes or not.
    ExpectRefused(row.id, EditorValue::Text(std::string(row.most, 'a') + "\x01"), record, row.warning);
}

// A row the operator left as it was hands back the encoder's bytes, control bytes included:
// they are not typed, and the writer replaces them.
TEST_P(TextRows, TheEncodersOwnBytesAreNotRefused)
{
    const TextRow& row = GetParam();
    EncoderRecord record = NoisyRecord(6);
    std::strcpy(row.field(record), "a\x07\xFF");
    EXPECT_EQ(CommitSetting(row.id, EditorValue::Text("a\x07\xFF"), record), std::nullopt);
    EXPECT_STREQ(row.field(record), "a\x07\xFF");
    ExpectRefused(row.id, EditorValue::Text("b\x07\xFF"), record, "Text must not contain control characters !");
}

TEST_P(TextRows, AnUnencodableCharacterIsRefusedByName)
{
    const TextRow& row = GetParam();
    ExpectRefused(row.id, EditorValue::Unencodable("\xE2\x82\xAC", 0x20AC), NoisyRecord(8),
                  "Character \"\xE2\x82\xAC\" (U+20AC) cannot be sent to the encoder !");
    ExpectRefused(row.id, EditorValue::Unencodable("\xF0\x9F\x98\x80", 0x1F600), NoisyRecord(8),
                  "Character \"\xF0\x9F\x98\x80\" (U+1F600) cannot be sent to the encoder !");
}

INSTANTIATE_TEST_SUITE_P(Commit, TextRows, testing::ValuesIn(kTextRows),
                         [](const auto& info) { return std::to_string(info.param.id); });

// Limits count the GB2312 bytes the encoder keeps: ten Chinese characters fill a service
// name, an eleventh is one too many.
TEST(TextRowsInGb2312, AServiceNameHoldsTenChineseCharacters)
{
    std::string ten;
    for (int i = 0; i < 5; ++i) ten += "\xE4\xB8\xAD\xE6\x96\x87";   // "中文" in UTF-8
    const Gb2312Text fits = Gb2312FromUtf8(ten);
    const Gb2312Text over = Gb2312FromUtf8(ten + "\xE4\xB8\xAD");
    ASSERT_TRUE(fits.ok && over.ok);
    ASSERT_EQ(fits.bytes.size(), 20u);
    for (int id : {10014, 10045}) {
        EncoderRecord record = NoisyRecord(9);
        EXPECT_EQ(CommitSetting(id, EditorValue::Text(fits.bytes), record), std::nullopt);
        EXPECT_EQ(FieldText(FindSheetRow(id)->field, record), fits.bytes);
        ExpectRefused(id, EditorValue::Text(over.bytes), record, "Service name length must less than 20 characters !");
    }
}

// ---- the PID rule ----

enum Slot { P1Pmt, P1Pcr, P1Video, P1Audio1, P1Audio2, P2Pmt, P2Pcr, P2Video, P2Audio1 };
const char* const kSlotNames[] = {"Program-1's Pmt_Pid",    "Program-1's Pcr_Pid",    "Program-1's Video_Pid",
                                  "Program-1's Audio1_Pid", "Program-1's Audio2_Pid", "Program-2's Pmt_Pid",
                                  "Program-2's Pcr_Pid",    "Program-2's Video_Pid",  "Program-2's Audio1_Pid"};

uint16_t& PidOf(EncoderRecord& r, int slot)
{
    switch (slot) {
    case P1Pmt:
        return r.program_info1.pmtPid;
    case P1Pcr:
        return r.program_info1.pcrPid;
    case P1Video:
        return r.program_info1.video.pid;
    case P1Audio1:
        return r.program_info1.audio1.pid;
    case P1Audio2:
        return r.program_info1.audio2.pid;
    case P2Pmt:
        return r.program_info2.pmtPid;
    case P2Pcr:
        return r.program_info2.pcrPid;
    case P2Video:
        return r.program_info2.video.pid;
    default:
        return r.program_info2.audio1.pid;
    }
}

struct PidRow {
    int id;
    Slot self;
    const char* tag;
    std::vector<int> order;
};

const PidRow kPidRows[] = {
    {10017, P1Pmt, "Pmt_Pid", {P1Pcr, P1Video, P1Audio1, P1Audio2, P2Pmt, P2Pcr, P2Video, P2Audio1}},
    {10018, P1Pcr, "Pcr_Pid", {P1Pmt, P1Audio1, P1Audio2, P2Pmt, P2Pcr, P2Video, P2Audio1}},
    {10019, P1Video, "Video_Pid", {P1Pmt, P1Audio1, P1Audio2, P2Pmt, P2Pcr, P2Video, P2Audio1}},
    {10030, P1Audio1, "Audio1_Pid", {P1Pmt, P1Pcr, P1Video, P1Audio2, P2Pmt, P2Pcr, P2Video, P2Audio1}},
    {10037, P1Audio2, "Audio2_Pid", {P1Pmt, P1Pcr, P1Video, P1Audio1, P2Pmt, P2Pcr, P2Video}},
    {10048, P2Pmt, "Pmt_Pid", {P1Pmt, P1Pcr, P1Video, P1Audio1, P1Audio2, P2Pcr, P2Video, P2Audio1}},
    {10049, P2Pcr, "Pcr_Pid", {P1Pmt, P1Pcr, P1Video, P1Audio1, P1Audio2, P2Pmt, P2Audio1}},
    {10050, P2Video, "Video_Pid", {P1Pmt, P1Pcr, P1Video, P1Audio1, P1Audio2, P2Pmt, P2Audio1}},
    {10061, P2Audio1, "Audio1_Pid", {P1Pmt, P1Pcr, P1Video, P1Audio1, P2Pmt, P2Pcr, P2Video}},
};

void PrintTo(const PidRow& row, std::ostream* out)
{
    *out << row.id;
}

class PidRows : public testing::TestWithParam<PidRow> {};

TEST_P(PidRows, RangeComesBeforeConflicts)
{
    const PidRow& row = GetParam();
    const std::string range = std::string(row.tag) + " value must between 20 and 8190 !";
    EncoderRecord record{};
    for (int slot = 0; slot < 9; ++slot) PidOf(record, slot) = 19;   // even equal ones
    for (const char* text : {"19", "8191", "-20", "99999999999", "4294967316", "1"})
        ExpectRefused(row.id, EditorValue::Text(text), record, range);
    for (int v : {20, 8190}) {
        EncoderRecord empty{};
        EXPECT_EQ(CommitSetting(row.id, EditorValue::Text(std::to_string(v)), empty), std::nullopt);
        EXPECT_EQ(PidOf(empty, row.self), v);
    }
}

TEST_P(PidRows, ZeroClearsExceptProgramOnePcr)
{
    const PidRow& row = GetParam();
    EncoderRecord record = NoisyRecord(11);
    PidOf(record, row.self) = 300;
    if (row.id == 10018) {
        for (const char* text : {"0", "", "abc"})
            ExpectRefused(row.id, EditorValue::Text(text), record, "Pcr_Pid value must between 20 and 8190 !");
        return;
    }
    EncoderRecord expected = record;
    PidOf(expected, row.self) = 0;   // and nothing else, the other analogue PID included
    EXPECT_EQ(CommitSetting(row.id, EditorValue::Text(""), record), std::nullopt);
    EXPECT_TRUE(SameBytes(record, expected));
}

// With v stored in every other PID field, the refusal names the first field of the row's
// order; drop that one and the next takes its place, until only fields the row is never
// compared with hold v and it is accepted.
TEST_P(PidRows, ConflictsFollowTheRowsOrder)
{
    const PidRow& row = GetParam();
    EncoderRecord record{};
    for (int slot = 0; slot < 9; ++slot)
        if (slot != row.self) PidOf(record, slot) = 777;
    for (int other : row.order) {
        ExpectRefused(row.id, EditorValue::Text("777"), record,
                      std::string(row.tag) + " conflict with " + kSlotNames[other] + " !");
        PidOf(record, other) = 0;
    }
    EXPECT_EQ(CommitSetting(row.id, EditorValue::Text("777"), record), std::nullopt);
    EXPECT_EQ(PidOf(record, row.self), 777);
}

INSTANTIATE_TEST_SUITE_P(Commit, PidRows, testing::ValuesIn(kPidRows),
                         [](const auto& info) { return std::to_string(info.param.id); });

TEST(PidRule, PcrMayEqualItsOwnProgramsVideo)
{
    EncoderRecord record{};
    record.program_info1.pcrPid = 256;
    EXPECT_EQ(CommitSetting(10019, EditorValue::Text("256"), record), std::nullopt);
    record.program_info2.pcrPid = 300;
    ExpectRefused(10019, EditorValue::Text("300"), record, "Video_Pid conflict with Program-2's Pcr_Pid !");
}

TEST(PidRule, SecondAnalogueInputKeepsOnePid)
{
    EncoderRecord record{};
    record.program_info2.audio1.pid = 400;
    EXPECT_EQ(CommitSetting(10037, EditorValue::Text("401"), record), std::nullopt);
    EXPECT_EQ(record.program_info1.audio2.pid, 401);
    EXPECT_EQ(record.program_info2.audio1.pid, 0);
    EXPECT_EQ(CommitSetting(10061, EditorValue::Text("400"), record), std::nullopt);
    EXPECT_EQ(record.program_info2.audio1.pid, 400);
    EXPECT_EQ(record.program_info1.audio2.pid, 0);
    // Equal values are not a conflict between the two, and a refusal clears nothing.
    record.program_info1.audio2.pid = 500;
    record.program_info2.video.pid = 600;
    ExpectRefused(10061, EditorValue::Text("600"), record, "Audio1_Pid conflict with Program-2's Video_Pid !");
    EXPECT_EQ(CommitSetting(10061, EditorValue::Text("500"), record), std::nullopt);
    EXPECT_EQ(record.program_info1.audio2.pid, 0);
}

// ---- Start and FindFreePid ----

TEST(FindFreePid, LowestUnusedFrom32)
{
    EncoderRecord record{};
    EXPECT_EQ(FindFreePid(record), 32);
    record.program_info2.video.pid = 32;
    record.program_info1.audio2.pid = 33;
    EXPECT_EQ(FindFreePid(record), 34);
    for (int slot = 0; slot < 9; ++slot) PidOf(record, slot) = static_cast<uint16_t>(32 + slot);
    EXPECT_EQ(FindFreePid(record), 41);
    record.program_info1.pmtPid = 99;   // values past the candidates take nothing away
    EXPECT_EQ(FindFreePid(record), 32);
}

TEST(StartRule, YesPicksAPmtPidAndNoClearsIt)
{
    for (int id : {10013, 10044}) {
        SCOPED_TRACE(id);
        EncoderRecord record{};
        record.program_info1.pcrPid = 32;
        record.program_info2.audio1.pid = 33;
        int8_t& start = id == 10013 ? record.program_info1.start : record.program_info2.start;
        uint16_t& pmt = id == 10013 ? record.program_info1.pmtPid : record.program_info2.pmtPid;
        EXPECT_EQ(CommitSetting(id, EditorValue::Index(1), record), std::nullopt);
        EXPECT_EQ(start, 1);
        EXPECT_EQ(pmt, 34);
        // Choosing Yes again moves past the program's own current PMT PID.
        EXPECT_EQ(CommitSetting(id, EditorValue::Index(1), record), std::nullopt);
        EXPECT_EQ(pmt, 35);
        EXPECT_EQ(CommitSetting(id, EditorValue::Index(0), record), std::nullopt);
        EXPECT_EQ(start, 0);
        EXPECT_EQ(pmt, 0);
        // No selection reads as 255: not the No option, so it starts the program.
        EXPECT_EQ(CommitSetting(id, EditorValue::Index(255), record), std::nullopt);
        EXPECT_EQ(start, -1);
        EXPECT_EQ(pmt, 34);
    }
}

TEST(StartRule, EmptyingPmtOfAStartedProgramKeepsItStarted)
{
    EncoderRecord record{};
    CommitSetting(10044, EditorValue::Index(1), record);
    EXPECT_EQ(CommitSetting(10048, EditorValue::Text(""), record), std::nullopt);
    EXPECT_EQ(record.program_info2.pmtPid, 0);
    EXPECT_EQ(record.program_info2.start, 1);
}

// ---- the audio rule ----

struct AudioCase {
    const char* name;
    int id;
    uint8_t storedMode, storedBitrate, chosen;
    const char* warning;   // nullptr: accepted
};

const char* const kSingle = "Audio bitrate in single mode must less than 192Kb !";
const char* const kOther = "Audio bitrate not  single mode must large than 64Kb !";

const AudioCase kAudioCases[] = {
    {"single 192 ok", 10035, 3, 0, 8, nullptr},
    {"single 224 refused", 10035, 3, 0, 9, kSingle},
    {"single 224 on audio 2", 10042, 3, 0, 9, kSingle},
    {"single 224 on program 2", 10066, 3, 0, 9, kSingle},
    {"stereo 56 refused", 10042, 1, 5, 2, kOther},
    {"stereo 64 ok", 10042, 1, 5, 3, nullptr},
    {"no selection in single", 10035, 3, 0, 255, kSingle},
    {"no selection in stereo", 10035, 1, 0, 255, nullptr},
    {"unknown mode is not single", 10035, 255, 0, 12, nullptr},
    {"single while 256", 10036, 0, 10, 3, kSingle},
    {"single while 192", 10043, 0, 8, 3, nullptr},
    {"stereo while 48", 10067, 3, 1, 1, kOther},
    {"stereo while 64", 10067, 3, 3, 1, nullptr},
    {"unknown bitrate passes single", 10036, 0, 255, 3, nullptr},
    {"unknown bitrate fails stereo", 10036, 3, 255, 1, kOther},
    {"bitrate 200 is negative", 10043, 3, 200, 0, kOther},
    {"no mode selected", 10036, 0, 5, 255, nullptr},
};

void PrintTo(const AudioCase& c, std::ostream* out)
{
    *out << c.id;
}

class AudioRule : public testing::TestWithParam<AudioCase> {};

TEST_P(AudioRule, BitrateAgainstMode)
{
    const AudioCase& c = GetParam();
    EncoderRecord record = NoisyRecord(c.id);
    // The mode and bitrate of the channel the row belongs to.
    auto& p1a1 = record.program_info1.audio1;
    auto& p1a2 = record.program_info1.audio2;
    auto& p2a1 = record.program_info2.audio1;
    uint8_t& mode = c.id <= 10036 ? p1a1.mode : c.id <= 10043 ? p1a2.mode : p2a1.mode;
    uint8_t& bitrate = c.id <= 10036 ? p1a1.bitrate : c.id <= 10043 ? p1a2.bitrate : p2a1.bitrate;
    mode = c.storedMode;
    bitrate = c.storedBitrate;
    const bool isBitrateRow = c.id == 10035 || c.id == 10042 || c.id == 10066;
    if (c.warning) {
        ExpectRefused(c.id, EditorValue::Index(c.chosen), record, c.warning);
        return;
    }
    EXPECT_EQ(CommitSetting(c.id, EditorValue::Index(c.chosen), record), std::nullopt);
    EXPECT_EQ(isBitrateRow ? bitrate : mode, c.chosen);
}

INSTANTIATE_TEST_SUITE_P(Commit, AudioRule, testing::ValuesIn(kAudioCases), [](const auto& info) {
    std::string name = info.param.name;
    for (char& ch : name)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

// ---- the second analogue input and the common sample rate ----

struct MirrorCase {
    int id;
    EditorValue value;
    uint8_t expected;
    const uint8_t* (*first)(const EncoderRecord&);
    const uint8_t* (*second)(const EncoderRecord&);
};

TEST(SecondAnalogueInput, EveryCommitWritesBothCopies)
{
    using R = const EncoderRecord&;
    const MirrorCase cases[] = {
        {10038, EditorValue::Index(0), 0, [](R r) { return &r.program_info1.audio2.source; },
         [](R r) { return &r.program_info2.audio1.source; }},
        {10062, EditorValue::Index(0), 0, [](R r) { return &r.program_info2.audio1.source; },
         [](R r) { return &r.program_info1.audio2.source; }},
        {10040, EditorValue::Text("33"), 33, [](R r) { return &r.program_info1.audio2.volumnLeft; },
         [](R r) { return &r.program_info2.audio1.volumnLeft; }},
        {10041, EditorValue::Text("34"), 34, [](R r) { return &r.program_info1.audio2.volumnRight; },
         [](R r) { return &r.program_info2.audio1.volumnRight; }},
        {10064, EditorValue::Text("35"), 35, [](R r) { return &r.program_info2.audio1.volumnLeft; },
         [](R r) { return &r.program_info1.audio2.volumnLeft; }},
        {10065, EditorValue::Text("36"), 36, [](R r) { return &r.program_info2.audio1.volumnRight; },
         [](R r) { return &r.program_info1.audio2.volumnRight; }},
        {10042, EditorValue::Index(7), 7, [](R r) { return &r.program_info1.audio2.bitrate; },
         [](R r) { return &r.program_info2.audio1.bitrate; }},
        {10066, EditorValue::Index(6), 6, [](R r) { return &r.program_info2.audio1.bitrate; },
         [](R r) { return &r.program_info1.audio2.bitrate; }},
        {10043, EditorValue::Index(2), 2, [](R r) { return &r.program_info1.audio2.mode; },
         [](R r) { return &r.program_info2.audio1.mode; }},
        {10067, EditorValue::Index(1), 1, [](R r) { return &r.program_info2.audio1.mode; },
         [](R r) { return &r.program_info1.audio2.mode; }},
    };
    for (const MirrorCase& c : cases) {
        SCOPED_TRACE(c.id);
        EncoderRecord record{};
        record.program_info1.audio2.bitrate = record.program_info2.audio1.bitrate = 5;   // valid in every mode
        record.program_info1.audio2.mode = record.program_info2.audio1.mode = 3;
        if (c.id == 10042 || c.id == 10066 || c.id == 10043 || c.id == 10067)
            record.program_info1.audio2.mode = record.program_info2.audio1.mode = 1;
        EXPECT_EQ(CommitSetting(c.id, c.value, record), std::nullopt);
        EXPECT_EQ(*c.first(record), c.expected);
        EXPECT_EQ(*c.second(record), c.expected);
    }
    // Program 1's first audio has no twin.
    EncoderRecord record{};
    EXPECT_EQ(CommitSetting(10033, EditorValue::Text("20"), record), std::nullopt);
    EXPECT_EQ(record.program_info1.audio1.volumnLeft, 20);
    EXPECT_EQ(record.program_info1.audio2.volumnLeft, 0);
    EXPECT_EQ(record.program_info2.audio1.volumnLeft, 0);
}

TEST(SampleRate, AnyRowSetsAllThree)
{
    for (int id : {10032, 10039, 10063}) {
        EncoderRecord record{};
        record.program_info1.audio2.samplebitrate = 1;
        EXPECT_EQ(CommitSetting(id, EditorValue::Index(2), record), std::nullopt);
        EXPECT_EQ(record.program_info1.audio1.samplebitrate, 2) << id;
        EXPECT_EQ(record.program_info1.audio2.samplebitrate, 2) << id;
        EXPECT_EQ(record.program_info2.audio1.samplebitrate, 2) << id;
    }
}

// ---- program numbers ----

TEST(ProgramNumber, MustDifferFromTheOtherProgram)
{
    EncoderRecord record{};   // an unstarted program 2 with number 0 holds 0
    ExpectRefused(10016, EditorValue::Text("0"), record, "Program-1 Number conflicts with program-2's !");
    EXPECT_EQ(CommitSetting(10016, EditorValue::Text("65535"), record), std::nullopt);
    EXPECT_EQ(record.program_info1.progNO, 65535);
    ExpectRefused(10047, EditorValue::Text("65535"), record, "Program-2 Number conflicts with program-1's !");
    ExpectRefused(10047, EditorValue::Text("65536"), record, "Program Number must less than 65535 !");
    EXPECT_EQ(CommitSetting(10047, EditorValue::Text("1"), record), std::nullopt);
    EXPECT_EQ(record.program_info2.progNO, 1);
}

// ---- rows that store without a check, and those that never store ----

TEST(PlainStores, CombosAndTheTsAddress)
{
    EncoderRecord record{};
    EXPECT_EQ(CommitSetting(10011, EditorValue::Address(0xEF010203), record), std::nullopt);
    EXPECT_EQ(record.tsipAddr, 0xEF010203u);
    EXPECT_EQ(CommitSetting(10071, EditorValue::Index(7), record), std::nullopt);
    EXPECT_EQ(record.program_info1.audio1.audioSDI, 7);
    EXPECT_EQ(CommitSetting(10051, EditorValue::Index(1), record), std::nullopt);
    EXPECT_EQ(record.program_info2.video.source, 1);
    EXPECT_EQ(CommitSetting(10023, EditorValue::Index(255), record), std::nullopt);
    EXPECT_EQ(record.program_info1.video.resolution, 255);
}

// Each combo without a rule stores the index into its own field and nowhere else.
TEST(PlainStores, EachComboWritesOnlyItsField)
{
    using F = uint8_t* (*)(EncoderRecord&);
    const std::pair<int, F> cases[] = {
        {10020, [](EncoderRecord& r) { return &r.program_info1.video.source; }},
        {10021, [](EncoderRecord& r) { return &r.program_info1.video.mode; }},
        {10023, [](EncoderRecord& r) { return &r.program_info1.video.resolution; }},
        {10024, [](EncoderRecord& r) { return &r.program_info1.video.gop; }},
        {10025, [](EncoderRecord& r) { return &r.program_info1.video.filter; }},
        {10031, [](EncoderRecord& r) { return &r.program_info1.audio1.source; }},
        {10071, [](EncoderRecord& r) { return reinterpret_cast<uint8_t*>(&r.program_info1.audio1.audioSDI); }},
        {10051, [](EncoderRecord& r) { return &r.program_info2.video.source; }},
        {10052, [](EncoderRecord& r) { return &r.program_info2.video.mode; }},
        {10054, [](EncoderRecord& r) { return &r.program_info2.video.resolution; }},
        {10055, [](EncoderRecord& r) { return &r.program_info2.video.gop; }},
        {10056, [](EncoderRecord& r) { return &r.program_info2.video.filter; }},
    };
    for (const auto& [id, field] : cases) {
        for (uint8_t index : {0, 3, 255}) {
            EncoderRecord record = NoisyRecord(id);
            EncoderRecord expected = record;
            *field(expected) = index;
            EXPECT_EQ(CommitSetting(id, EditorValue::Index(index), record), std::nullopt);
            EXPECT_TRUE(SameBytes(record, expected)) << id << " " << int(index);
        }
    }
}

TEST(PlainStores, NothingForUnknownReadOnlyOrMismatchedCommits)
{
    const EncoderRecord noisy = NoisyRecord(5);
    const std::pair<int, EditorValue> cases[] = {
        {10001, EditorValue::Text("5")},
        {10009, EditorValue::Text("5")},
        {10068, EditorValue::Index(1)},
        {10070, EditorValue::Index(1)},
        {0, EditorValue::Text("")},
        {10072, EditorValue::Index(0)},
        {10002, EditorValue::Address(1)},
        {10003, EditorValue::Address(1)},
        {10004, EditorValue::Address(1)},
        {10010, EditorValue::Text("5")},
        {10007 + 0x10000, EditorValue::Text("5")},
        {10007, EditorValue::Index(5)},
        {10020, EditorValue::Text("1")},
        {10011, EditorValue::Text("1.2.3.4")},
        {10020, EditorValue::Unencodable("\xE2\x82\xAC", 0x20AC)},
        {10011, EditorValue::Unencodable("\xE2\x82\xAC", 0x20AC)},
        {10010, EditorValue::Unencodable("\xE2\x82\xAC", 0x20AC)},
        {10001, EditorValue::Unencodable("\xE2\x82\xAC", 0x20AC)},
    };
    for (const auto& [id, value] : cases) {
        EncoderRecord record = noisy;
        EXPECT_EQ(CommitSetting(id, value, record), std::nullopt) << id;
        EXPECT_TRUE(SameBytes(record, noisy)) << id;
    }
}

}   // namespace

// The rules keyed by field are the rules keyed by control ID: every editable row's field
// leads back to that row, and a commit through either key stores and warns alike.
TEST(CommitField, EveryEditableRowIsReachableByItsField)
{
    const EditorValue values[] = {EditorValue::Text("100"), EditorValue::Text("7"), EditorValue::Index(1),
                                  EditorValue::Address(0x0A000001u), EditorValue::Text("")};
    ForEachSheetRow([&](const SheetRow& row, const char*) {
        if (row.controlId == 0 || row.commit.kind == CommitKind::None) return;
        ASSERT_EQ(FindEditingRow(row.field), &row) << row.label;
        for (const EditorValue& value : values) {
            EncoderRecord byId{};
            byId.program_info1.start = 1;
            EncoderRecord byField = byId;
            const std::optional<std::string> idWarning = CommitSetting(row.controlId, value, byId);
            EXPECT_EQ(CommitField(row.field, value, byField), idWarning) << row.label;
            // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): two records, byte for byte
            EXPECT_EQ(std::memcmp(&byId, &byField, sizeof byId), 0) << row.label;
        }
    });
    EncoderRecord record{};
    EXPECT_EQ(CommitField(RECORD_FIELD(version), EditorValue::Text("1"), record), std::nullopt)
        << "a field no row edits stores nothing";
    EXPECT_EQ(CommitField(RECORD_FIELD(password), EditorValue::Text("admin"), record), std::nullopt);
    EXPECT_STREQ(record.password, "admin");
}
