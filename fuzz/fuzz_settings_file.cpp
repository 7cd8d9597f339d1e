// Arbitrary bytes as a settings file through the checks every front end makes before
// taking one: never a crash; a file the checks pass is well-formed and carries no control
// byte into the record; a file they refuse changes nothing, and says why.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Presets.h"
#include "SettingsDocument.h"
#include "SettingsFields.h"
#include "SettingsFileCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> fault = SettingsFileFault(text);
    if (fault && fault->empty()) std::abort();
    EncoderRecord before{};
    std::strcpy(before.password, "admin");
    EncoderRecord record = before;
    const std::vector<BrokenRule> broken = ApplySettings(text, record);
    if (fault) {
        // The file's own fault is the one reason given, and nothing is taken.
        if (broken.size() != 1 || broken[0].controlId != 0 || broken[0].warning != *fault) std::abort();
        // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): a record and its copy, byte for byte
        if (std::memcmp(&record, &before, sizeof record) != 0) std::abort();
        return 0;
    }
    if (!broken.empty()) return 0;
    for (const SettingsField& field : SettingsFields()) {
        if (field.kind != ValueKind::Text) continue;
        for (char c : FieldValueText(field, record)) {
            if (IsXmlForbiddenByte(static_cast<unsigned char>(c))) std::abort();
        }
    }
    return 0;
}
