#pragma once
// What korvane-cli prints. Each encoder's outcome is collected as a value and printed in
// the order the encoders were given, as soon as every encoder before it is done, so that
// the output of a batch does not depend on which encoder answered first.
//
// Standard output carries the command's data (plain lines, one document, or one JSON
// object per encoder); standard error carries every message about an encoder, prefixed
// with its address, and the progress line while a batch runs on a terminal.

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

struct CliMessage {
    std::string text;
    bool failure = true;   // false: a success note, left out by --quiet
};

// One encoder's outcome, ready to print.
struct EncoderReport {
    std::string address;   // dotted
    bool ok = false;
    std::vector<CliMessage> messages;   // standard error, each "<address>: <text>"
    std::string out;                    // plain mode: the bytes for standard output
    bool outIsNote = false;             // `out` only confirms success; --quiet leaves it out
    // JSON mode: members after address, ok and messages, each made by JsonMember.
    std::vector<std::string> jsonMembers;
};

struct OutputOptions {
    bool json = false;
    bool quiet = false;
    bool progress = false;       // a progress line on standard error
    std::string progressLabel;   // "read"
};

class CliOutput {
public:
    CliOutput(OutputOptions options, size_t encoderCount, std::FILE* out = stdout, std::FILE* err = stderr);

    // Records encoder `index`'s outcome and prints every outcome now due.
    void Finish(size_t index, EncoderReport report);
    // A line on standard error that belongs to no encoder.
    void Note(const std::string& text);
    // Clears the progress line; call once every encoder has finished.
    void End();

    size_t Failed() const { return m_failed; }

private:
    void Print(const EncoderReport& report);
    void ClearProgress();
    void ShowProgress();

    OutputOptions m_options;
    std::FILE* m_out;
    std::FILE* m_err;
    std::vector<std::optional<EncoderReport>> m_reports;
    size_t m_nextToPrint = 0;
    size_t m_done = 0;
    size_t m_failed = 0;
    bool m_progressShown = false;
};

// One member of a JSON object, `"name": value`, in the spacing of a record's JSON.
std::string JsonMember(const std::string& name, const std::string& value);
// A JSON array of strings.
std::string JsonArray(const std::vector<std::string>& texts);
