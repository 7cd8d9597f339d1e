#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "SettingsFields.h"
#include "SheetLayout.h"

namespace {

struct ColumnCount {
    int headings = 0;
    int rows = 0;
};

ColumnCount Count(const SheetColumn& column)
{
    ColumnCount count;
    for (const SheetRow& row : column) (row.kind == RowKind::Heading ? count.headings : count.rows)++;
    return count;
}

std::vector<const SheetRow*> AllRows()
{
    std::vector<const SheetRow*> rows;
    for (const SheetColumn* column : {&LeftColumn(), &RightColumn()})
        for (const SheetRow& row : *column) rows.push_back(&row);
    return rows;
}

TEST(SheetLayout, ColumnsHaveTheirHeadingsAndRows)
{
    EXPECT_EQ(Count(LeftColumn()).headings, 4);
    EXPECT_EQ(Count(LeftColumn()).rows, 38);
    EXPECT_EQ(Count(RightColumn()).headings, 4);
    EXPECT_EQ(Count(RightColumn()).rows, 33);
    // Each column opens with a heading, so every row has one above it.
    EXPECT_EQ(LeftColumn().rows[0].kind, RowKind::Heading);
    EXPECT_EQ(RightColumn().rows[0].kind, RowKind::Heading);
}

TEST(SheetLayout, HeadingsInOrderWithTheirColours)
{
    std::vector<std::pair<std::string, uint32_t>> headings;
    for (const SheetRow* row : AllRows())
        if (row->kind == RowKind::Heading) headings.emplace_back(row->label, row->color);
    const std::vector<std::pair<std::string, uint32_t>> expected = {
        {"System", 0x00FFC8C8},
        {"Program 1", 0x00FFC8C8},
        {"Program1 - Video", 0x00DCDCDC},
        {"Program1 - Audio1", 0x00DCDCDC},
        {"Program1 - Audio 2", 0x00DCDCDC},
        {"Program 2", 0x00FFC8C8},
        {"Program2 - Video", 0x00DCDCDC},
        {"Program2 - Audio", 0x00DCDCDC},
    };
    EXPECT_EQ(headings, expected);
}

TEST(SheetLayout, ControlIdsAreUniqueAndLeaveTheUnusedOnesFree)
{
    std::set<int> ids;
    int withId = 0;
    for (const SheetRow* row : AllRows()) {
        if (row->controlId == 0) continue;
        ++withId;
        EXPECT_TRUE(ids.insert(row->controlId).second) << row->controlId;
        EXPECT_EQ(FindSheetRow(row->controlId), row);
    }
    EXPECT_EQ(withId, 66);
    std::set<int> expected;
    for (int id = 10002; id <= 10067; ++id) expected.insert(id);
    expected.erase(10009);
    expected.insert(10071);
    EXPECT_EQ(ids, expected);
    for (int unused : {0, 10000, 10001, 10009, 10068, 10069, 10070, 10072, -1})
        EXPECT_EQ(FindSheetRow(unused), nullptr) << unused;
}

TEST(SheetLayout, ProgramTwoRowsAreProgramOneRowsPlus31)
{
    for (int id = 10013; id <= 10036; ++id) {
        const SheetRow* first = FindSheetRow(id);
        const SheetRow* second = FindSheetRow(id + 31);
        ASSERT_TRUE(first && second) << id;
        EXPECT_STREQ(first->label, second->label) << id;
        EXPECT_EQ(first->kind, second->kind) << id;
    }
}

TEST(SheetLayout, ComboOptionCounts)
{
    const std::map<int, int> counts = {
        {10013, 2},  {10020, 2}, {10021, 2}, {10023, 4}, {10024, 4},  {10025, 3},  {10031, 2}, {10071, 8}, {10032, 3},
        {10035, 13}, {10036, 4}, {10038, 1}, {10039, 3}, {10042, 13}, {10043, 4},  {10044, 2}, {10051, 2}, {10052, 2},
        {10054, 4},  {10055, 4}, {10056, 3}, {10062, 1}, {10063, 3},  {10066, 13}, {10067, 4},
    };
    int combos = 0;
    for (const SheetRow* row : AllRows()) {
        if (row->kind != RowKind::Combo) {
            EXPECT_EQ(row->options.count, 0) << row->controlId;
            continue;
        }
        ++combos;
        ASSERT_TRUE(counts.count(row->controlId)) << row->controlId;
        EXPECT_EQ(row->options.count, counts.at(row->controlId)) << row->controlId;
    }
    EXPECT_EQ(combos, static_cast<int>(counts.size()));
}

TEST(SheetLayout, OptionTextsThatDifferBetweenPrograms)
{
    const SheetRow* start1 = FindSheetRow(10013);
    const SheetRow* start2 = FindSheetRow(10044);
    EXPECT_STREQ(start1->options.texts[0], " No ");
    EXPECT_STREQ(start1->options.texts[1], " Yes ");
    EXPECT_STREQ(start2->options.texts[0], "No");
    EXPECT_STREQ(start2->options.texts[1], "Yes");
    EXPECT_STREQ(FindSheetRow(10051)->options.texts[0], "YPbPr");
    EXPECT_STREQ(FindSheetRow(10062)->options.texts[0], "analog");
    EXPECT_STREQ(FindSheetRow(10035)->options.texts[12], "384");
    EXPECT_STREQ(FindSheetRow(10067)->options.texts[3], "Single Channel");
}

TEST(SheetLayout, ReadOnlyAndGreyRows)
{
    std::set<std::string> readOnly, grey;
    for (const SheetRow* row : AllRows()) {
        const std::string label = row->label ? row->label : "(blank)";
        if (row->kind == RowKind::Heading) continue;
        if (row->readOnly) readOnly.insert(label);
        if (row->color == kReadOnlyBackground)
            grey.insert(label);
        else
            EXPECT_EQ(row->color, kDefaultColor) << label;
        if (row->readOnly) {
            EXPECT_EQ(row->commit.kind, CommitKind::None) << label;
        }
    }
    EXPECT_EQ(readOnly, (std::set<std::string>{"IP Address", "IP Mask", "IP Gate", "Mux Bitrate(kbps)"}));
    EXPECT_EQ(grey, (std::set<std::string>{"IP Address", "IP Mask", "IP Gate", "Mux Bitrate(kbps)", "HW version",
                                           "Video Signal"}));
    EXPECT_FALSE(FindSheetRow(10011)->readOnly);
    EXPECT_FALSE(FindSheetRow(10012)->readOnly);
}

TEST(SheetLayout, EveryRowShowsAFieldOfItsKind)
{
    for (const SheetRow* row : AllRows()) {
        const FieldType type = row->field.type;
        switch (row->kind) {
        case RowKind::Heading:
            EXPECT_EQ(type, FieldType::None);
            break;
        case RowKind::Text:
            EXPECT_EQ(type, FieldType::Text) << row->controlId;
            break;
        case RowKind::Static:
            EXPECT_EQ(type, row->label ? FieldType::Text : FieldType::None);
            break;
        case RowKind::IPAddress:
            EXPECT_EQ(type, FieldType::Address) << row->controlId;
            break;
        case RowKind::Combo:
            EXPECT_TRUE(type == FieldType::UInt8 || type == FieldType::Int8) << row->controlId;
            break;
        case RowKind::Numeric:
            EXPECT_TRUE(type == FieldType::UInt8 || type == FieldType::UInt16 || type == FieldType::Int32)
                << row->controlId;
            break;
        }
        if (row->kind != RowKind::Heading && row->kind != RowKind::Static) {
            EXPECT_NE(row->controlId, 0) << row->label;
        }
    }
}

// Refresh conversions, one row per case.
struct ShownCase {
    const char* name;
    int controlId;
    void (*set)(EncoderRecord&);
    std::string text;   // for edit rows
    int index;          // for combo rows
};

TEST(SheetLayout, ShownValues)
{
    const ShownCase cases[] = {
        {"fresh number", 10007, [](EncoderRecord&) {}, "0", 0},
        {"fresh combo", 10020, [](EncoderRecord&) {}, "", 0},
        {"port 65535", 10012, [](EncoderRecord& r) { r.tsipPort = 65535; }, "65535", 0},
        {"negative port signed", 10012, [](EncoderRecord& r) { r.tsipPort = -7; }, "-7", 0},
        {"mux bitrate signed", 10010, [](EncoderRecord& r) { r.tsBitrate = -1; }, "-1", 0},
        {"device 255 unsigned", 10007, [](EncoderRecord& r) { r.deviceID = 255; }, "255", 0},
        {"pid unsigned", 10050, [](EncoderRecord& r) { r.program_info2.video.pid = 65535; }, "65535", 0},
        {"name as stored", 10045, [](EncoderRecord& r) { std::strcpy(r.program_info2.progName, "News"); }, "News", 0},
        {"unknown code", 10020, [](EncoderRecord& r) { r.program_info1.video.source = 255; }, "", -1},
        {"code past list", 10038, [](EncoderRecord& r) { r.program_info1.audio2.source = 1; }, "", -1},
        {"last bitrate", 10035, [](EncoderRecord& r) { r.program_info1.audio1.bitrate = 12; }, "", 12},
        {"sdi number", 10071, [](EncoderRecord& r) { r.program_info1.audio1.audioSDI = 7; }, "", 7},
    };
    for (const ShownCase& c : cases) {
        SCOPED_TRACE(c.name);
        EncoderRecord record{};
        c.set(record);
        const SheetRow& row = *FindSheetRow(c.controlId);
        if (row.kind == RowKind::Combo)
            EXPECT_EQ(ShownIndex(row, record), c.index);
        else
            EXPECT_EQ(ShownText(row, record), c.text);
    }
}

TEST(SheetLayout, ShownStaticTextStopsAtTheArrayEnd)
{
    EncoderRecord record{};
    std::memset(record.version, 'v', sizeof record.version);   // no terminating zero
    const SheetRow& version = LeftColumn().rows[1];
    ASSERT_STREQ(version.label, "HW version");
    EXPECT_EQ(ShownText(version, record), std::string(sizeof record.version, 'v'));
}

TEST(SheetLayout, ShownAddress)
{
    EncoderRecord record{};
    record.ipAddr = 0xC0A80102;
    EXPECT_EQ(ShownAddress(*FindSheetRow(10002), record), 0xC0A80102u);
    EXPECT_EQ(ShownAddress(*FindSheetRow(10003), record), 0u);
}

// A combo's option index is the code its field carries in the document: every combo over a
// word-list field offers one option per word, and shows the words themselves except where
// the sheet words them for the operator (the analogue inputs, the audio modes).
TEST(SheetLayout, ComboOptionsAreTheDocumentsWordLists)
{
    int withList = 0;
    for (const SheetRow* row : AllRows()) {
        if (row->kind != RowKind::Combo) continue;
        const SettingsField* element = FindSettingsField(row->field);
        ASSERT_NE(element, nullptr) << row->controlId;
        if (element->kind != ValueKind::Word) {
            EXPECT_EQ(element->kind, ValueKind::Number) << row->controlId;   // Start, Audio SDI No.
            continue;
        }
        ++withList;
        EXPECT_EQ(row->options.count, element->words->count) << row->controlId;
        const std::string label = row->label;
        if (row->options.texts != element->words->words) {
            EXPECT_TRUE(label == "Audio Input" || label == "Audio Mode") << row->controlId;
        }
    }
    EXPECT_EQ(withList, 22);
}

TEST(SheetLayout, DisplayTextIsWhatTheRowShows)
{
    EncoderRecord record{};
    record.ipAddr = 0xC0A80102;
    record.program_info1.audio1.mode = 2;
    record.program_info2.video.source = 1;
    record.program_info1.video.gop = 4;
    record.tsipPort = -3;
    std::strcpy(record.program_info1.progName, "News");
    EXPECT_EQ(DisplayText(*FindSheetRow(10002), record), "192.168.1.2");
    EXPECT_EQ(DisplayText(*FindSheetRow(10036), record), "Dual Channel");
    EXPECT_EQ(DisplayText(*FindSheetRow(10051), record), "CVBS2");
    EXPECT_EQ(DisplayText(*FindSheetRow(10024), record), "");
    EXPECT_EQ(DisplayText(*FindSheetRow(10012), record), "-3");
    EXPECT_EQ(DisplayText(*FindSheetRow(10014), record), "News");
    EXPECT_EQ(DisplayText(*FindSheetRow(10013), record), " No ");
    EXPECT_STREQ(HeadingOf(*FindSheetRow(10037)), "Program1 - Audio 2");
    EXPECT_STREQ(HeadingOf(*FindSheetRow(10007)), "System");
}

}   // namespace
