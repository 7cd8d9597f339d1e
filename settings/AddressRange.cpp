#include "AddressRange.h"

#include <cstddef>
#include <unordered_set>

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

// The first and last address of one range; `acrossSubnets` lets a whole last address
// differ in the first three numbers. Empty on success, else why the text is no range.
std::string ParseBounds(const std::string& given, bool acrossSubnets, uint32_t& first, uint32_t& last)
{
    const std::string text = Trimmed(given);
    if (text.empty()) {
        return "no address given";
    }
    const std::string quoted = "\"" + text + "\"";
    size_t dash = text.find('-');
    if (!ParseDotted(text.substr(0, dash), first)) {
        return quoted + " is not an address: four numbers 0 to 255 with dots, like 10.1.2.20";
    }
    last = first;
    if (dash != std::string::npos) {
        const std::string end = text.substr(dash + 1);
        uint32_t lastByte = 0;
        if (ParseByte(end, lastByte)) {
            last = (first & 0xFFFFFF00u) | lastByte;
        } else if (!ParseDotted(end, last)) {
            return quoted + ": a range ends in a number 0 to 255 or a whole address, like 10.1.2.20-69";
        } else if (!acrossSubnets && (last & 0xFFFFFF00u) != (first & 0xFFFFFF00u)) {
            return quoted + ": a range runs over the last number only; the first three must be the same";
        }
        if (last < first) {
            return quoted + ": the range ends before it begins";
        }
    }
    return std::string();
}

}   // namespace

AddressRange ParseAddressRange(const std::string& given)
{
    uint32_t first = 0;
    uint32_t last = 0;
    std::string error = ParseBounds(given, false, first, last);
    if (!error.empty()) {
        return Failure(error);
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

AddressRange ParseAddressSpan(const std::string& text, size_t maxCount)
{
    AddressRange span;
    std::unordered_set<uint32_t> seen;
    size_t begin = 0;
    for (;;) {
        const size_t comma = text.find(',', begin);
        const std::string part = text.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
        uint32_t first = 0;
        uint32_t last = 0;
        std::string error = ParseBounds(part, true, first, last);
        if (!error.empty()) {
            return Failure(error);
        }
        // Counted before listing: a careless 0.0.0.0-255.255.255.255 must not fill memory.
        if (static_cast<uint64_t>(last) - first + 1 > maxCount - span.addresses.size()) {
            return Failure("\"" + Trimmed(text) + "\": more than " + std::to_string(maxCount) + " addresses");
        }
        for (uint32_t address = first;; ++address) {
            if (!seen.insert(address).second) {
                return Failure("\"" + Trimmed(part) + "\": names an address of an earlier range again");
            }
            span.addresses.push_back(address);
            if (address == last) {
                break;
            }
        }
        if (comma == std::string::npos) {
            return span;
        }
        begin = comma + 1;
    }
}
