#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "CommitRules.h"
#include "RecordComparison.h"
#include "RecordSamples.h"

namespace {

using Change = std::tuple<int, std::string, std::string, std::string, std::string>;   // id, heading, label, old, new

std::vector<Change> Changes(const EncoderRecord& lastRead, const EncoderRecord& edited)
{
    std::vector<Change> out;
    for (const PendingChange& c : PendingChanges(lastRead, edited))
        out.emplace_back(c.controlId, c.heading, c.label, c.oldText, c.newText);
    return out;
}

TEST(PendingChanges, NoneWithoutEdits)
{
    EXPECT_TRUE(PendingChanges(GoodRecord(), GoodRecord()).empty());
    // Bytes behind a text's end are not part of what the row shows.
    EncoderRecord edited = GoodRecord();
    edited.program_info1.progName[30] = 'x';
    EXPECT_TRUE(PendingChanges(GoodRecord(), edited).empty());
}

TEST(PendingChanges, EachEditedRowAsTheSheetShowsItInSheetOrder)
{
    const EncoderRecord read = GoodRecord();
    EncoderRecord edited = read;
    for (const auto& [id, value] : std::vector<std::pair<int, EditorValue>>{
             {10067, EditorValue::Index(1)},   // the second input's mode, both copies
             {10011, EditorValue::Address(0xEF000102)},
             {10014, EditorValue::Text("Evening News")},
             {10006, EditorValue::Text("newpass")},
             {10032, EditorValue::Index(1)},   // the sample rate of every input
             {10022, EditorValue::Text("5000")},
         }) {
        ASSERT_EQ(CommitSetting(id, value, edited), std::nullopt) << id;
    }
    const std::vector<Change> expected = {
        {10006, "System", "New Password", "", "********"},
        {10011, "System", "TS-->IP Address", "239.1.1.1", "239.0.1.2"},
        {10014, "Program 1", "Service Name", "News", "Evening News"},
        {10022, "Program1 - Video", "Video Bitrate(kbps)", "4000", "5000"},
        {10032, "Program1 - Audio1", "Sampling Frequency(Hz)", "48000", "44100"},
        {10039, "Program1 - Audio 2", "Sampling Frequency(Hz)", "48000", "44100"},
        {10043, "Program1 - Audio 2", "Audio Mode", "Joint Stereo", "Stereo"},
        {10063, "Program2 - Audio", "Sampling Frequency(Hz)", "48000", "44100"},
        {10067, "Program2 - Audio", "Audio Mode", "Joint Stereo", "Stereo"},
    };
    EXPECT_EQ(Changes(read, edited), expected);
}

TEST(PendingChanges, PasswordsAreMaskedWhateverTheirLength)
{
    EncoderRecord read = GoodRecord();
    std::strcpy(read.password, "a");
    EncoderRecord edited = read;
    std::strcpy(edited.password, "abcdefghij");
    const std::vector<Change> expected = {{10005, "System", "Password", "********", "********"}};
    EXPECT_EQ(Changes(read, edited), expected);
}

TEST(PendingChanges, ReadOnlyAndHiddenFieldsAreNotPending)
{
    EncoderRecord edited = GoodRecord();
    edited.ipAddr = 1;
    edited.tsBitrate = 1;
    edited.keyboard = 5;
    std::strcpy(edited.version, "other");
    std::strcpy(edited.program_info1.video.standard, "other");
    EXPECT_TRUE(PendingChanges(GoodRecord(), edited).empty());
}

TEST(PendingChanges, AnUnknownCodeShowsEmpty)
{
    EncoderRecord read = GoodRecord();
    read.program_info1.video.gop = 255;
    const std::vector<Change> expected = {{10024, "Program1 - Video", "GOP", "", "I"}};
    EncoderRecord edited = read;
    edited.program_info1.video.gop = 0;
    EXPECT_EQ(Changes(read, edited), expected);
}

TEST(DifferingRows, TwoEncodersShowEveryRowThatDiffersReadOnlyOnesTooButNoPassword)
{
    EncoderRecord first = GoodRecord();
    EncoderRecord second = GoodRecord();
    second.ipAddr = 0x0A010215;
    std::strcpy(second.version, "KV202-HW3.0");
    std::strcpy(second.program_info2.video.standard, "PAL");
    std::strcpy(second.newPassword, "x");
    second.program_info1.video.filter = 2;
    second.keyboard = 9;   // shown by no row
    const std::vector<Change> expected = {
        {0, "System", "HW version", "KV202-HW2.1", "KV202-HW3.0"},
        {10002, "System", "IP Address", "10.1.2.20", "10.1.2.21"},
        {10025, "Program1 - Video", "Spatial Filter", "normal", "sharp"},
        {0, "Program2 - Video", "Video Signal", "NTSC", "PAL"},
    };
    std::vector<Change> out;
    for (const PendingChange& c : DifferingRows(first, second))
        out.emplace_back(c.controlId, c.heading, c.label, c.oldText, c.newText);
    EXPECT_EQ(out, expected);
    EXPECT_TRUE(DifferingRows(first, first).empty());
}

// ---- read-back ----

using Mismatch =
    std::tuple<std::string, int, std::string, std::string, std::string>;   // name, id, label, written, read

std::vector<Mismatch> Mismatches(const EncoderRecord& written, const EncoderRecord& readBack)
{
    std::vector<Mismatch> out;
    for (const FieldMismatch& m : ReadBackMismatches(written, readBack))
        out.emplace_back(m.name, m.controlId, m.label, m.written, m.readBack);
    return out;
}

TEST(ReadBack, WhatTheDocumentItselfChangesIsNoMismatch)
{
    EncoderRecord written = GoodRecord();
    written.program_info1.progName[0] = '\0';        // goes out as "dvb"
    written.program_info1.audio1.adjustVolumn = 0;   // read back as present
    written.program_info1.video.mode = 200;          // goes out as the fallback word
    std::strcpy(written.password, "admin");
    EncoderRecord readBack = written;
    std::strcpy(readBack.program_info1.progName, "dvb");
    readBack.program_info1.audio1.adjustVolumn = 1;
    readBack.program_info2.audio1.adjustVolumn = 1;
    readBack.program_info1.video.mode = 1;
    readBack.password[0] = '\0';   // never read
    readBack.tsBitrate = 7777;     // the encoder's own report
    std::strcpy(readBack.version, "KV202-HW9");
    std::strcpy(readBack.program_info2.video.standard, "NTSC-J");
    EXPECT_TRUE(ReadBackMismatches(written, readBack).empty());
}

TEST(ReadBack, EachFieldThatDidNotTakeByNameAndRow)
{
    const EncoderRecord written = GoodRecord();
    EncoderRecord readBack = written;
    readBack.program_info2.video.bitrate = 2500;
    readBack.program_info1.audio2.mode = 3;
    readBack.tsipAddr = 0xEF000001;
    readBack.keyboard = 0;
    readBack.program_info2.progName[2] = '\0';
    const std::vector<Mismatch> expected = {
        {"keyboard", 0, "", "1", "0"},
        {"tsipAddr", 10011, "TS-->IP Address", "239.1.1.1", "239.0.0.1"},
        {"program_info1.audio2.mode", 10043, "Audio Mode", "joint stereo", "single"},
        {"program_info2.progName", 10045, "Service Name", "Sport", "Sp"},
        {"program_info2.video.bitrate", 10053, "Video Bitrate(kbps)", "3000", "2500"},
    };
    EXPECT_EQ(Mismatches(written, readBack), expected);
}

}   // namespace
