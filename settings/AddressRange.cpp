#include "AddressRange.h"

#include <cstddef>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// One number of a dotted address. Leading zeros are refused: the tool reads "010" in a
// typed address as octal 8, and a range must never name other encoders than the
// operator meant.
bool ParseByte(const std::string& text, uint32_t& value)
{
    if (text.empty() || text.size() > 3 || (text.size() > 1 && text[0] == '0')) {
        return false;
    }
    value = 0;
    for (char c : text) {
        if (!IsDigit(c)) {
            return false;
        }
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value <= 255;
}

bool ParseDotted(const std::string& text, uint32_t& address)
{
    address = 0;
    size_t begin = 0;
    for (int part = 0; part < 4; ++part) {
        size_t end = part < 3 ? text.find('.', begin) : text.size();
        if (end == std::string::npos) {
            return false;
        }
        uint32_t value = 0;
        if (!ParseByte(text.substr(begin, end - begin), value)) {
            return false;
        }
        address = address << 8 | value;
        begin = end + 1;
    }
    return true;
}

std::string Trimmed(const std::string& text)
{
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return std::string();
    }
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

AddressRange Failure(const std::string& error)
{
    AddressRange range;
    range.error = error;
    return range;
}

}   // namespace

AddressRange ParseAddressRange(const std::string& given)
{
    const std::string text = Trimmed(given);
    if (text.empty()) {
        return Failure("no address given");
    }
    const std::string quoted = "\"" + text + "\"";
    size_t dash = text.find('-');
    uint32_t first = 0;
    if (!ParseDotted(text.substr(0, dash), first)) {
        return Failure(quoted + " is not an address: four numbers 0 to 255 with dots, like 10.1.2.20");
    }
    uint32_t last = first;
    if (dash != std::string::npos) {
        const std::string end = text.substr(dash + 1);
        uint32_t lastByte = 0;
        if (ParseByte(end, lastByte)) {
            last = (first & 0xFFFFFF00u) | lastByte;
        } else if (!ParseDotted(end, last)) {
            return Failure(quoted + ": a range ends in a number 0 to 255 or a whole address, like 10.1.2.20-69");
        } else if ((last & 0xFFFFFF00u) != (first & 0xFFFFFF00u)) {
            return Failure(quoted + ": a range runs over the last number only; the first three must be the same");
        }
        if (last < first) {
            return Failure(quoted + ": the range ends before it begins");
        }
    }
    AddressRange range;
    range.addresses.reserve(last - first + 1);
    for (uint32_t address = first;; ++address) {
        range.addresses.push_back(address);
        if (address == last) {
            break;   // not `<= last`: 255.255.255.255 would wrap
        }
    }
    return range;
}
