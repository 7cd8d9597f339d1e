#pragma once
// The settings sheet as data: the headings and rows of its two columns, in screen order.
// One table per column drives everything that walks the rows: the window layer builds
// the row trees from it, the refresh shows each row's record field through it, and a
// commit finds its row (editor kind and rule) in it by control ID. Free of any window code.

#include <cstddef>
#include <cstdint>
#include <string>

#include "EncoderRecord.h"
#include "RecordFields.h"

// COLORREF values (0x00BBGGRR), as the encoder's operators know the sheet's colours.
constexpr uint32_t kProgramHeadingColor = 0x00FFC8C8;   // a program or the system group
constexpr uint32_t kGroupHeadingColor = 0x00DCDCDC;     // a video or audio group
constexpr uint32_t kReadOnlyBackground = 0x00F0F0F0;    // values the operator cannot change
constexpr uint32_t kDefaultColor = 0xFF000000;          // the control's own colour

enum class RowKind : uint8_t {
    Heading,     // top-level row filled with its colour
    Text,        // single-line edit, any text
    Numeric,     // single-line edit, digits only
    Combo,       // drop-down list; the stored value is the option's index
    IPAddress,   // four-field address editor
    Static,      // fixed value text, no editor
};

// The nine PID fields, which must not collide across both programs.
enum class PidSlot : uint8_t { P1Pmt, P1Pcr, P1Video, P1Audio1, P1Audio2, P2Pmt, P2Pcr, P2Video, P2Audio1 };
constexpr size_t kPidSlotCount = 9;

struct PidField {
    FieldRef field;
    const char* tag;    // "Pmt_Pid"
    const char* name;   // "Program-1's Pmt_Pid"
};
const PidField& PidFieldOf(PidSlot slot);

// What a commit of a row checks and stores.
enum class CommitKind : uint8_t {
    None,            // no editor, or read-only: a commit stores nothing and says nothing
    Store,           // combo or address without a check
    Length,          // text of at most `high` bytes
    Range,           // number in low..high
    ProgramNumber,   // number in 0..65535, then unlike the other program's (`partner`)
    Pid,             // the PID rule
    Start,           // program on or off; `partner` is the program's PMT PID
    SampleRate,      // one sample rate for all audio
    AudioBitrate,    // checked against the stored mode (`partner`)
    AudioMode,       // checked against the stored bitrate (`partner`)
};

struct PidRule {
    PidSlot self = PidSlot::P1Pmt;
    bool zeroRefused = false;   // 0 is not "unused" for this row: it goes to the range check
    PidSlot order[8] = {};      // stored PIDs compared with, first match wins
    uint8_t count = 0;
};

struct CommitRule {
    CommitKind kind = CommitKind::None;
    int low = 0, high = 0;           // inclusive bounds; for Length, the most bytes
    const char* warning = nullptr;   // range or length warning; program-number conflict text
    FieldRef partner;                // see CommitKind; for PIDs, the field a non-zero value clears
    FieldRef mirror;                 // the same value is also stored here
    PidRule pid;
};

struct OptionList {
    const char* const* texts = nullptr;
    uint8_t count = 0;
};

struct SheetRow {
    RowKind kind;
    const char* label;    // nullptr: a blank row
    int controlId;        // 0: the row has no editor
    OptionList options;   // combo rows, in index order
    bool readOnly;
    uint32_t color;   // heading colour, or value background; kDefaultColor if none
    FieldRef field;   // the record field shown; type None for headings and blanks
    CommitRule commit;
};

struct SheetColumn {
    const SheetRow* rows;   // headings each followed by their rows
    size_t count;
    const SheetRow* begin() const { return rows; }
    const SheetRow* end() const { return rows + count; }
};

const SheetColumn& LeftColumn();
const SheetColumn& RightColumn();
// The row of a control ID in either column, or nullptr.
const SheetRow* FindSheetRow(int controlId);
// The row whose editor edits `field` (every field has at most one), or nullptr: the rules
// of an edit are reachable by the field as well as by the row's control ID.
const SheetRow* FindEditingRow(FieldRef field);
// The heading a row stands under ("Program1 - Audio 2"); labels alone repeat between groups.
const char* HeadingOf(const SheetRow& row);
// Calls `visit(row, heading)` for every row of both columns in sheet order, headings excluded.
template <class Visit>
void ForEachSheetRow(Visit visit)
{
    for (const SheetColumn* column : {&LeftColumn(), &RightColumn()}) {
        const char* heading = "";
        for (const SheetRow& row : *column) {
            if (row.kind == RowKind::Heading)
                heading = row.label;
            else
                visit(row, heading);
        }
    }
}

// What a row shows for a record.
std::string ShownText(const SheetRow& row, const EncoderRecord& record);   // numeric "%d", texts
int ShownIndex(const SheetRow& row, const EncoderRecord& record);          // -1: no selection
uint32_t ShownAddress(const SheetRow& row, const EncoderRecord& record);   // host order
// The value as the operator reads it in the row: a combo's option text (empty when nothing
// is selected), a dotted address, a number, a text.
std::string DisplayText(const SheetRow& row, const EncoderRecord& record);
