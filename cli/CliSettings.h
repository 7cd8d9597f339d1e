#pragma once
// The settings pieces the command line needs, over the settings layer and the sheet's
// rules: the document of a record, its JSON, taking a settings file into a record, the
// passwords, and the read-back comparison.

#include <optional>
#include <string>
#include <vector>

#include "EncoderRecord.h"

// The settings document a read produced, as a settings file keeps it (no passwords).
std::string DocumentOfRecord(const EncoderRecord& record);

// A JSON object of the record's settings by dotted field names, texts as UTF-8.
std::string SettingsJson(const EncoderRecord& record);

// Why `fileText` cannot be a settings file at all: too long, not well-formed, a control
// byte in a text, not a settings document. The window refuses the same files alike.
std::optional<std::string> SettingsFileProblem(const std::string& fileText);

// The warning the sheet gives for this password or new password (typed, UTF-8), if any:
// encoded as GB2312 like the sheet's typing, its length counted in encoded bytes.
std::optional<std::string> PasswordWarning(const std::string& password, bool isNew);
