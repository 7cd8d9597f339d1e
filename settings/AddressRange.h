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

// The addresses a stand-in fleet serves: one or several ranges separated by commas
// ("127.0.0.2-101,127.0.1.2-51"), where a range ended by a whole address may run over the
// third number too ("127.0.10.1-127.0.13.250"). At most `maxCount` addresses in all, none
// named twice, listed in the order given. Only the stand-in reads this: an operator's
// range for the command line keeps to the last number so that a typo in the third cannot
// reach another subnet's encoders.
AddressRange ParseAddressSpan(const std::string& text, size_t maxCount);
