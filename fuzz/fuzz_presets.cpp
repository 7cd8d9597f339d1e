// Arbitrary bytes as a settings file applied to an encoder's record: never a crash, and
// either the record stays exactly as it was, or it takes only the operator's settings and
// passes the whole-record check; the address, the passwords and every field the sheet
// does not edit stay in both cases.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CommitRules.h"
#include "Presets.h"
#include "SheetLayout.h"

namespace {

EncoderRecord Encoder()
{
    EncoderRecord record{};
    record.ipAddr = 0x0A010214;
    record.ipMask = 0xFFFFFF00;
    std::strcpy(record.password, "admin");
    std::strcpy(record.newPassword, "next");
    std::strcpy(record.version, "KV202");
    record.tsBitrate = 12000;
    record.keyboard = 3;
    return record;
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const EncoderRecord before = Encoder();
    EncoderRecord record = before;
    const std::vector<BrokenRule> reasons =
        ApplySettings(std::string(reinterpret_cast<const char*>(data), size), record);
    if (!reasons.empty()) {
        // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): a record and its copy, byte for byte
        if (std::memcmp(&record, &before, sizeof record) != 0) std::abort();
        return 0;
    }
    if (!CheckWholeRecord(record).empty()) std::abort();
    if (record.ipAddr != before.ipAddr || record.ipMask != before.ipMask ||
        std::strcmp(record.password, before.password) != 0 ||
        std::strcmp(record.newPassword, before.newPassword) != 0 || std::strcmp(record.version, before.version) != 0 ||
        record.tsBitrate != before.tsBitrate || record.keyboard != before.keyboard) {
        std::abort();
    }
    return 0;
}
