#pragma once
// What changed between two versions of an encoder's settings, field by field, as the
// operator reads them: the sheet's heading and row label, and each value as the row shows
// it, in UTF-8. The rows compared are the window's own comparison of two encoders
// (DifferingRows), so a version and a comparison never disagree about what differs.

#include <optional>
#include <string>
#include <vector>

#include "EncoderRecord.h"

struct SettingChange {
    std::string heading;   // "Program 1"
    std::string label;     // "Service Name"
    std::string oldText;   // UTF-8; a password only ever as its mask
    std::string newText;
};

// The record a settings document (or settings file) describes, starting from a zero-filled
// record; empty when the bytes are not a settings document or longer than one may be.
std::optional<EncoderRecord> RecordOfDocument(const std::string& bytes);

// Every row of the sheet that shows the two records differently, in sheet order.
std::vector<SettingChange> SettingChanges(const EncoderRecord& before, const EncoderRecord& after);

// How many rows of the sheet show a field a settings file carries: what a first version
// brings.
size_t ShownFieldCount();

// "<Heading> / <Label>: <old> -> <new>"
std::string ChangeLine(const SettingChange& change);
