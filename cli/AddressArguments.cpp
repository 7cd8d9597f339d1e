#include "AddressArguments.h"

#include <fstream>
#include <unordered_set>

#include "AddressRange.h"

namespace {

class Collector {
public:
    explicit Collector(AddressArguments& result) : m_result(result) {}

    // False (and the error set) when `text` is no address or range.
    bool Add(const std::string& text, const std::string& where)
    {
        AddressRange range = ParseAddressRange(text);
        if (!range.Ok()) {
            m_result.error = where + range.error;
            return false;
        }
        for (uint32_t address : range.addresses) {
            if (m_seen.insert(address).second) {
                m_result.addresses.push_back(address);
            }
        }
        return true;
    }

private:
    AddressArguments& m_result;
    std::unordered_set<uint32_t> m_seen;
};

bool AddFile(const std::string& path, Collector& collector, AddressArguments& result)
{
    std::ifstream file(path);
    if (!file) {
        result.error = "cannot read address file " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        size_t comment = line.find('#');
        if (comment != std::string::npos) {
            line.erase(comment);
        }
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        if (!collector.Add(line, path + ":" + std::to_string(number) + ": ")) {
            return false;
        }
    }
    if (file.bad()) {
        result.error = "cannot read address file " + path;
        return false;
    }
    return true;
}

}   // namespace

AddressArguments ExpandAddressArguments(const std::vector<std::string>& words)
{
    AddressArguments result;
    Collector collector(result);
    for (const std::string& word : words) {
        bool ok =
            word.size() > 1 && word[0] == '@' ? AddFile(word.substr(1), collector, result) : collector.Add(word, "");
        if (!ok) {
            result.addresses.clear();
            return result;
        }
    }
    return result;
}

bool ParseBroadcastAddress(const std::string& word, uint32_t& address, std::string& error)
{
    AddressRange range = ParseAddressRange(word);
    if (!range.Ok()) {
        error = range.error;
        return false;
    }
    if (range.addresses.size() != 1) {
        error = "search broadcasts to one address, not a range";
        return false;
    }
    address = range.addresses.front();
    return true;
}
