#include "SimControl.h"

#include <cstdlib>
#include <optional>
#include <sstream>

#include "AddressRange.h"
#include "LinkProtocol.h"
#include "TextConversions.h"

bool ParseSimStatus(const std::string& text, std::vector<uint8_t>& status)
{
    status.clear();
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        char* end = nullptr;
        long value = std::strtol(item.c_str(), &end, 0);
        if (item.empty() || *end != 0 || value < 0 || value > 255) {
            return false;
        }
        status.push_back(static_cast<uint8_t>(value));
    }
    return !text.empty() && text.back() != ',' && status.size() <= static_cast<size_t>(kStatusReplyBufferSize);
}

std::string ApplySimControl(CEncoderSim& sim, const std::string& line)
{
    std::istringstream words(line);
    std::vector<std::string> word;
    for (std::string w; words >> w;) {
        word.push_back(w);
    }
    if (word.empty() || word[0][0] == '#') {
        return {};
    }
    const std::string& command = word[0];
    if (command != "status" && command != "fault" && command != "delay") {
        return "unknown command \"" + command + "\" (status, fault or delay)";
    }
    // An optional encoder address before the value.
    std::optional<SimEncoder> one;
    size_t valueAt = 1;
    if (word.size() == 3) {
        uint32_t address = InetAddrHostOrder(word[1].c_str());
        one = sim.EncoderFor(address);
        if (address == kInvalidAddress || !one->Valid()) {
            return "no encoder at " + word[1];
        }
        valueAt = 2;
    } else if (word.size() != 2) {
        return command + " needs [ADDR] VALUE";
    }
    const std::string& value = word[valueAt];
    if (command == "status") {
        std::vector<uint8_t> status;
        if (!ParseSimStatus(value, status)) {
            return "status needs bytes like 0,0,38,1,1,1,1";
        }
        one ? one->SetStatus(status) : sim.SetStatus(status);
    } else if (command == "fault") {
        SimFault fault = SimFault::None;
        if (!SimFaultFromName(value, fault)) {
            return "unknown fault \"" + value + "\"";
        }
        one ? one->SetFault(fault) : sim.SetFault(fault);
    } else {
        char* end = nullptr;
        long ms = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != 0 || ms < 0 || ms > 3600000) {
            return "delay needs 0..3600000 ms";
        }
        one ? one->SetDelay(static_cast<int>(ms)) : sim.SetDelay(static_cast<int>(ms));
    }
    return {};
}
