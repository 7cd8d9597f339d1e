#pragma once
// Every edit of the settings sheet passes through CommitSetting: it checks the value
// against the encoder's limits and the other settings it depends on, and either stores it
// into the record or returns the one warning the operator sees. A refused value writes
// nothing. Free of any window code: the window layer reads the editor and shows the text.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "EncoderRecord.h"
#include "RecordFields.h"

struct SheetRow;

// What a row's editor holds when it commits.
struct EditorValue {
    enum class Kind : uint8_t { Index, Address, Text, Unencodable };

    static EditorValue Index(uint8_t comboIndex);     // a combo's selection; 255 for none
    static EditorValue Address(uint32_t hostOrder);   // an address editor, blank fields 0
    // An edit's text, numeric rows too, as the encoder's GB2312 bytes.
    static EditorValue Text(std::string windowText);
    // An edit's text holds a character the encoder's GB2312 cannot carry: `character` is
    // that character as UTF-8 (kept in `text`). Such a text is refused, naming it.
    static EditorValue Unencodable(std::string character, uint32_t codePoint);
    // What the operator typed (UTF-8) as the encoder's GB2312 bytes: Text, or Unencodable
    // naming the first character GB2312 lacks. Every front end encodes typed text so.
    static EditorValue FromTyped(const std::string& utf8);

    Kind kind = Kind::Text;
    uint8_t index = 0;
    uint32_t address = 0;
    std::string text;
    uint32_t codePoint = 0;
};

// Stores the value of the row `controlId` into `record`, or returns the warning and leaves
// the record untouched. IDs of no row, of rows that never commit (read-only, static) and
// values of another kind than the row's editor store nothing and return nothing. Typed text
// must not hold the control bytes no settings document may carry; a text the field already
// holds (the encoder's own bytes, handed back by a row left as it was) is not typed.
// The sheet's entry: the row's field, then CommitField.
std::optional<std::string> CommitSetting(int controlId, const EditorValue& value, EncoderRecord& record);
// The same rules keyed by the record field the edit stores (an entry of the settings
// document's field table, e.g. RECORD_FIELD(password)): what presets, the command line
// and the operations use. A field no row edits stores nothing and returns nothing.
std::optional<std::string> CommitField(FieldRef field, const EditorValue& value, EncoderRecord& record);

// The lowest of 32..99 that no PID field of either program uses (a program's own PMT PID
// included); 100 if all were taken, which nine fields cannot do.
uint16_t FindFreePid(const EncoderRecord& record);

// The value a row's editor holds while it shows `record`: what an edit that changes nothing
// would commit.
EditorValue ShownEditorValue(const SheetRow& row, const EncoderRecord& record);

// A rule the record breaks: the row whose value would be refused, and the warning.
struct BrokenRule {
    int controlId;         // 0: the whole document, not one row
    const char* heading;   // the row's heading; labels repeat between groups
    const char* label;
    std::string warning;

    bool operator==(const BrokenRule& other) const { return controlId == other.controlId && warning == other.warning; }
};

// Checks the whole record before it is sent: every editable row's value against the rule
// its own edit meets (the very same CommitSetting, run on a copy), and what the edits keep
// true between rows: the second analogue input described alike by both programs with at
// most one of its two PIDs in use, and one sample rate for every audio input. Returns every
// broken rule in sheet order; empty when the record may be written. A record reached
// from a good one by accepted edits always passes.
std::vector<BrokenRule> CheckWholeRecord(const EncoderRecord& record);
