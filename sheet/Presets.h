#pragma once
// Presets: an encoder's settings kept in a file and put on other encoders. A settings file
// is a settings document as a write sends it, with both passwords left empty.

#include <string>
#include <vector>

#include "CommitRules.h"
#include "EncoderRecord.h"
#include "SettingsFileCheck.h"

// The document a write of `record` would send (an empty service or provider name goes out
// as "dvb"), but with both password elements empty. The record itself is not changed.
std::string SaveSettingsDocument(const EncoderRecord& record);

// Reads a settings file with the encoder reply's reader and tolerances (missing elements
// keep their value, unknown ones are ignored) and takes into `record` exactly the settings
// an operator can edit in the sheet, the passwords excepted. Every other field (address,
// mask, gateway, version, mux bitrate, passwords and the fields the sheet does not show)
// stays. The file must first pass SettingsFileFault (whole, well-formed, no control bytes);
// the result is then checked as a whole: on any broken rule, or a file that is not a
// settings document, `record` is left as it was and the reasons are returned. Empty when
// the settings were taken.
std::vector<BrokenRule> ApplySettings(const std::string& fileText, EncoderRecord& record);

// The longest settings document an encoder can have sent: as long as its reply may be. A
// kept copy of one (a backup, a version in the history) that is longer is none of them.
constexpr size_t kMaxReceivedDocumentBytes = 9999;
