#pragma once
// Encoder addresses as an operator gives a fleet, turned into the encoders to work on:
// dotted addresses, ranges of the last number and @FILE lists, each encoder once, in the
// order first given. The command line's ADDRESS words and the window's Add Encoder and
// Import Addresses read them here alike, with the same limits and the same errors.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A list file larger than this, or more encoders than this in all, is refused before
// either is held: no fleet is that large, and /dev/zero is no list.
constexpr size_t kMaxAddressFileBytes = 16u * 1024 * 1024;
constexpr size_t kMaxAddresses = 1000000;

struct AddressArguments {
    std::vector<uint32_t> addresses;   // host order, duplicates removed, first mention kept
    std::string error;                 // the first word or file line that is no address
    bool Ok() const { return error.empty(); }
};

AddressArguments ExpandAddressArguments(const std::vector<std::string>& words);

// The encoders of an address list's text as an @FILE gives it: one address or range per
// line, "#" starts a comment, blank lines skipped; LF or CR LF line ends, and a UTF-8
// byte-order mark at the start is no part of the first line. `name` prefixes the errors
// ("rack-3.txt:2: ...").
AddressArguments ParseAddressList(const std::string& text, const std::string& name);

// The addresses typed or pasted into one field: addresses and ranges separated by blanks,
// tabs, commas, semicolons or line ends (a spreadsheet's column pasted, CR LF or not). No @FILE here:
// a field's text names no files.
AddressArguments ParseAddressText(const std::string& text);

// The encoders of an address list file, as the command line's @FILE reads it; errors
// name the file as given.
AddressArguments ReadAddressFile(const std::string& path);

// The one dotted address a search broadcasts to; false with `error` set otherwise.
bool ParseBroadcastAddress(const std::string& word, uint32_t& address, std::string& error);
