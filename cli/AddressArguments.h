#pragma once
// The ADDRESS words of the command line turned into the encoders to work on: dotted
// addresses, ranges of the last number and @FILE lists, each encoder once, in the order
// first given.

#include <cstdint>
#include <string>
#include <vector>

struct AddressArguments {
    std::vector<uint32_t> addresses;   // host order, duplicates removed, first mention kept
    std::string error;                 // the first word or file line that is no address
    bool Ok() const { return error.empty(); }
};

AddressArguments ExpandAddressArguments(const std::vector<std::string>& words);

// The one dotted address a search broadcasts to; false with `error` set otherwise.
bool ParseBroadcastAddress(const std::string& word, uint32_t& address, std::string& error);
