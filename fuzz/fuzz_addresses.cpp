// Arbitrary bytes as an @FILE address list and as the text typed or pasted into Add Encoder:
// never a crash, never more encoders than the bound, each encoder once; a refused list gives
// its reason and no encoder at all.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unordered_set>

#include "AddressArguments.h"

namespace {

void CheckAccepted(const AddressArguments& result)
{
    if (result.addresses.size() > kMaxAddresses) std::abort();
    std::unordered_set<uint32_t> seen;
    for (uint32_t address : result.addresses) {
        if (!seen.insert(address).second) std::abort();
    }
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const AddressArguments result = ParseAddressList(text, "list.txt");
    if (!result.Ok()) {
        if (!result.addresses.empty() || result.error.rfind("list.txt:", 0) != 0) std::abort();
    } else {
        CheckAccepted(result);
    }
    const AddressArguments typed = ParseAddressText(text);
    if (!typed.Ok()) {
        if (!typed.addresses.empty() || typed.error.empty()) std::abort();
    } else {
        CheckAccepted(typed);
    }
    return 0;
}
