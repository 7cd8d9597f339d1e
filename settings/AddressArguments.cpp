#include "AddressArguments.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unordered_set>

#include "AddressRange.h"

namespace {

// No address or range is longer; a longer line is not echoed back whole.
constexpr size_t kLongestLine = 64;

class Collector {
public:
    explicit Collector(AddressArguments& result) : m_result(result) {}

    // False (and the error set) when `text` is no address or range, or one too many.
    bool Add(const std::string& text, const std::string& where)
    {
        AddressRange range = ParseAddressRange(text);
        if (!range.Ok()) {
            m_result.error = where + range.error;
            return false;
        }
        for (uint32_t address : range.addresses) {
            if (m_seen.insert(address).second) {
                if (m_result.addresses.size() >= kMaxAddresses) {
                    m_result.error = where + "more than " + std::to_string(kMaxAddresses) + " encoders";
                    return false;
                }
                m_result.addresses.push_back(address);
            }
        }
        return true;
    }

    // The lines of a list's text; false (and the error set) at the first bad one.
    bool AddList(const std::string& text, const std::string& name)
    {
        size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        for (size_t number = 1; start < text.size(); ++number) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            size_t stop = std::min(text.find('#', start), end);
            if (stop > start && text[stop - 1] == '\r') --stop;
            const std::string line = text.substr(start, std::min(stop - start, kLongestLine + 1));
            start = end + 1;
            if (line.find_first_not_of(" \t") == std::string::npos) continue;
            const std::string where = name + ":" + std::to_string(number) + ": ";
            if (line.size() > kLongestLine) {
                m_result.error = where + "the line is too long for an address or range";
                return false;
            }
            if (!Add(line, where)) return false;
        }
        return true;
    }

private:
    AddressArguments& m_result;
    std::unordered_set<uint32_t> m_seen;
};

// The file's bytes, never more than the largest list and one byte: a pipe or a device
// that never ends is refused as too large.
bool ReadListFile(const std::string& path, std::string& text, std::string& error)
{
    const std::string tooLarge = "address file " + path + " is larger than 16 MiB";
    std::error_code sizeUnknown;
    if (std::filesystem::is_regular_file(path, sizeUnknown) &&
        std::filesystem::file_size(path, sizeUnknown) > kMaxAddressFileBytes && !sizeUnknown) {
        error = tooLarge;
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot read address file " + path + ": " + std::strerror(errno);
        return false;
    }
    text.clear();
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (text.size() + got > kMaxAddressFileBytes) {
            std::fclose(file);
            text.clear();
            text.shrink_to_fit();
            error = tooLarge;
            return false;
        }
        text.append(chunk, got);
    }
    const bool failed = std::ferror(file) != 0;
    const int reason = errno;
    std::fclose(file);
    if (failed) {
        error = "cannot read address file " + path + ": " + std::strerror(reason);
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
        bool ok = true;
        if (word.size() > 1 && word[0] == '@') {
            const std::string path = word.substr(1);
            std::string text;
            ok = ReadListFile(path, text, result.error) && collector.AddList(text, path);
        } else {
            ok = collector.Add(word, "");
        }
        if (!ok) {
            result.addresses.clear();
            return result;
        }
    }
    return result;
}

AddressArguments ParseAddressText(const std::string& text)
{
    AddressArguments result;
    if (text.size() > kMaxAddressFileBytes) {
        result.error = "the addresses given are more than 16 MiB of text";
        return result;
    }
    Collector collector(result);
    const char* const separators = " \t\r\n,;";
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while ((start = text.find_first_not_of(separators, start)) != std::string::npos) {
        size_t end = text.find_first_of(separators, start);
        if (end == std::string::npos) end = text.size();
        // A word longer than any address or range is not echoed back whole.
        std::string word = text.substr(start, std::min(end - start, kLongestLine + 1));
        if (word.size() > kLongestLine) word = word.substr(0, kLongestLine) + "...";
        start = end;
        if (!collector.Add(word, "")) {
            result.addresses.clear();
            break;
        }
    }
    return result;
}

AddressArguments ReadAddressFile(const std::string& path)
{
    AddressArguments result;
    Collector collector(result);
    std::string text;
    if (!ReadListFile(path, text, result.error) || !collector.AddList(text, path)) result.addresses.clear();
    return result;
}

AddressArguments ParseAddressList(const std::string& text, const std::string& name)
{
    AddressArguments result;
    Collector collector(result);
    if (!collector.AddList(text, name)) result.addresses.clear();
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
