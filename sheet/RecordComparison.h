#pragma once
// Two records of one encoder side by side: the edits not yet written (the record as last
// read against the edited one), and the fields a write did not set (the record written
// against the one read back afterwards).

#include <string>
#include <vector>

#include "EncoderRecord.h"

// An editable row whose shown value differs, with both values as the sheet shows them
// (option text, dotted address, number, text); a password shows as a mask.
struct PendingChange {
    int controlId;
    const char* heading;
    const char* label;
    std::string oldText;
    std::string newText;
};

// In sheet order.
std::vector<PendingChange> PendingChanges(const EncoderRecord& lastRead, const EncoderRecord& edited);

// Two encoders compared: every row that shows a field and shows it differently, read-only
// and display-only rows included (those have control ID 0 when they have no editor), the
// passwords left out;
// `oldText` is the first record's value, `newText` the second's.
std::vector<PendingChange> DifferingRows(const EncoderRecord& first, const EncoderRecord& second);

// A field whose value read back is not the one written, by its dotted name and, where the
// sheet shows it, its row; values as the document carries them (words, dotted addresses).
struct FieldMismatch {
    const char* name;   // "program_info1.video.pid"
    int controlId;      // 0: no row of the sheet shows the field
    const char* heading;
    const char* label;
    std::string written;
    std::string readBack;
};

// Compares what the encoder was sent with what it reports afterwards, in document order.
// The written record is taken as its document carries it (an empty name as "dvb", a code
// beyond its list as the fallback word, a flag's element as set), so only what the
// encoder did not take shows. Passwords are not compared, nor the values the encoder
// reports rather than takes (version, mux bitrate, video signal).
std::vector<FieldMismatch> ReadBackMismatches(const EncoderRecord& written, const EncoderRecord& readBack);

// How a password shows wherever records are compared: never its text, nor its length.
constexpr const char* kPasswordMask = "********";
