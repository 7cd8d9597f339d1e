#pragma once
// Encoder addresses as an operator types them for a fleet: one dotted address
// ("10.1.2.20"), or a run of the last number given by its end ("10.1.2.20-69") or by the
// whole last address ("10.1.2.20-10.1.2.69"). Shared by the command line and the
// stand-in encoder so that both read a range alike.

#include <cstdint>
#include <string>
#include <vector>

struct AddressRange {
    std::vector<uint32_t> addresses;   // host order, ascending; empty when `error` is set
    std::string error;                 // why the text is no address or range; empty on success

    bool Ok() const { return error.empty(); }
};

// Each number is plain decimal, 0 to 255. Spaces and tabs around the text are ignored.
AddressRange ParseAddressRange(const std::string& text);
