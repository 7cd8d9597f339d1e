#pragma once
// Settings files come from disks and mail, not from an encoder: before anything of one is
// taken, it must be a whole, well-formed settings document whose texts carry no control
// bytes. (Documents received from encoders keep the reader's tolerance instead.) Both the
// command line and the window refuse a file through these, with the same words.

#include <cstddef>
#include <optional>
#include <string>

// The largest settings file looked at; a larger one is refused without being read whole.
constexpr size_t kMaxSettingsFileBytes = 64 * 1024;

// Why `fileText` is no settings file to take, or nothing: longer than the largest, not
// well-formed XML (the parser's reason and where), not rooted in the settings document's
// element, or a text holding a control byte (naming the field).
std::optional<std::string> SettingsFileFault(const std::string& fileText);

// Reads the file at `path` for the check above, at most one byte past the largest file, so
// that /dev/zero or a huge file costs no memory. False with `error` set when it cannot be
// read ("cannot read the settings file <path>: <reason>") or is longer than the largest.
bool ReadSettingsFileBounded(const std::string& path, std::string& text, std::string& error);
