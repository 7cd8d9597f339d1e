// korvane-sim: a stand-in Korvane encoder for trying the tool without hardware.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <poll.h>
#include <unistd.h>
#include <sys/resource.h>
#endif

#include "AddressRange.h"
#include "CEncoderSim.h"
#include "SimControl.h"
#include "LinkProtocol.h"
#include "Socket.h"
#include "TextConversions.h"

namespace {

std::atomic<bool> g_quit{false};

extern "C" void OnSignal(int)
{
    g_quit = true;
}

void PrintHelp(const SimOptions& defaults)
{
    std::printf("Usage: korvane-sim [options]\n"
                "A stand-in Korvane encoder: serves the command channel (TCP) and discovery (UDP).\n\n"
                "  --bind ADDR          address to bind (default %s; keep to 127.0.0.0/8 for tests), or a\n"
                "                       range, 127.0.0.2-101 or 127.0.0.2-127.0.0.101 or across the third\n"
                "                       number 127.0.10.1-127.0.13.250, or several ranges separated by\n"
                "                       commas, 127.0.0.2-101,127.0.1.2-51 (at most %zu addresses):\n"
                "                       one encoder per address, all on the same two ports, each with its\n"
                "                       own settings, password, status and faults\n"
                "  --port N             command port (default %u; 0 picks a free port)\n"
                "  --search-port N      discovery port (default %u; 0 picks a free port)\n"
                "  --password TEXT      the encoder's current password (default \"%s\")\n"
                "  --status B,B,...     status reply bytes: busy, keyboard, temperature, program 1\n"
                "                       output, program 1 input, program 2 output, program 2 input\n"
                "                       (default 0,0,38,1,1,1,1)\n"
                "  --report-addr ADDR   address reported in discovery replies (default: each encoder's own)\n"
                "  --document FILE      serve this settings document instead of the built-in one\n"
                "  --delay-ms N         answer every request N ms after it arrived (default 0)\n"
                "  --trickle-ms N       the trickle fault's pace, one byte per N ms (default %d)\n"
                "  --fault NAME         every encoder misbehaves as named; --fault ADDR=NAME only the\n"
                "                       encoder at ADDR (may be given once per address):\n",
                defaults.bindAddress.c_str(), kMaxSimEncoders, unsigned{COMMAND_PORT}, unsigned{SEARCH_PORT},
                defaults.password.c_str(), defaults.trickleMs);
    for (const SimFaultName& entry : SimFaultNames()) {
        std::printf("                         %-20s %s\n", entry.name, entry.description);
    }
    std::printf("  --control            read commands from standard input while running, one per line:\n"
                "                       status [ADDR] B,B,...   fault [ADDR] NAME   delay [ADDR] MS\n"
                "                       (without ADDR: every encoder); each is answered on standard\n"
                "                       output with \"control: ok\" or \"control: error: ...\"\n"
                "  --quiet              do not log requests\n"
                "  --help               show this text\n\n"
                "The first line printed names the addresses and the ports in use. SIGINT or SIGTERM ends it.\n");
}

bool ParsePort(const char* text, uint16_t& port)
{
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != 0 || value < 0 || value > 65535) {
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

bool ParseMs(const char* text, int& ms)
{
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != 0 || value < 0 || value > 3600000) {
        return false;
    }
    ms = static_cast<int>(value);
    return true;
}

// "NAME" for every encoder, or "ADDR=NAME" for one.
bool ParseFault(const std::string& text, SimOptions& options, std::vector<std::pair<uint32_t, SimFault>>& perAddress)
{
    size_t equals = text.find('=');
    if (equals == std::string::npos) {
        return SimFaultFromName(text, options.fault);
    }
    AddressRange address = ParseAddressRange(text.substr(0, equals));
    SimFault fault = SimFault::None;
    if (!address.Ok() || address.addresses.size() != 1 || !SimFaultFromName(text.substr(equals + 1), fault)) {
        return false;
    }
    perAddress.emplace_back(address.addresses.front(), fault);
    return true;
}

// Control commands from standard input, waited for in the main loop's own pause; with
// --control off (or standard input at its end) the loop only waits.
class ControlInput {
public:
    explicit ControlInput(bool on) : m_on(on) {}

    std::vector<std::string> Lines(int waitMs)
    {
        std::vector<std::string> lines;
#ifndef _WIN32
        if (m_on) {
            pollfd in{STDIN_FILENO, POLLIN, 0};
            if (poll(&in, 1, waitMs) > 0) {
                char buffer[4096];
                ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
                if (count <= 0) {
                    m_on = false;
                } else {
                    m_pending.append(buffer, static_cast<size_t>(count));
                }
                for (size_t end; (end = m_pending.find('\n')) != std::string::npos;) {
                    lines.push_back(m_pending.substr(0, end));
                    m_pending.erase(0, end + 1);
                }
                if (m_pending.size() > kMaxLine) {
                    m_pending.clear();   // no command is that long
                }
            }
            return lines;
        }
#endif
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return lines;
    }

private:
    static constexpr size_t kMaxLine = 4096;
    bool m_on = false;
    std::string m_pending;
};
// "first-last" for one run of consecutive addresses, else every run separated by commas.
std::string ServedText(const std::vector<uint32_t>& addresses)
{
    std::string text;
    for (size_t i = 0; i < addresses.size();) {
        size_t end = i;
        while (end + 1 < addresses.size() && addresses[end + 1] == addresses[end] + 1) {
            ++end;
        }
        text += (text.empty() ? "" : ",") + FormatDotted(addresses[i]);
        if (end > i) {
            text += "-" + FormatDotted(addresses[end]);
        }
        i = end + 1;
    }
    return text;
}

// A fleet holds two sockets per encoder; a thousand encoders pass the usual soft limit of
// 1024 open files, so the soft limit is raised as far as the hard one allows.
void RaiseOpenFileLimit()
{
#ifndef _WIN32
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
#endif
}

int Usage(const char* message)
{
    std::fprintf(stderr, "korvane-sim: %s (try --help)\n", message);
    return 2;
}

}   // namespace

int main(int argc, char** argv)
{
    SimOptions options;
    options.commandPort = COMMAND_PORT;
    options.searchPort = SEARCH_PORT;
    std::string documentFile;
    std::vector<std::pair<uint32_t, SimFault>> faults;
    bool quiet = false;
    bool control = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto needsValue = [&](bool ok) {
            if (value != nullptr) {
                ++i;
            }
            return value != nullptr && ok;
        };
        if (arg == "--help" || arg == "-h") {
            PrintHelp(SimOptions{});
            return 0;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--control") {
#ifdef _WIN32
            return Usage("--control is not available on Windows");
#else
            control = true;
#endif
        } else if (arg == "--bind") {
            if (!needsValue(true)) return Usage("--bind needs an address or a range like 127.0.0.2-101");
            AddressRange range = ParseAddressSpan(value, kMaxSimEncoders);
            if (!range.Ok()) return Usage(("--bind " + range.error).c_str());
            options.bindAddress = value;
        } else if (arg == "--port") {
            if (!needsValue(value && ParsePort(value, options.commandPort))) return Usage("--port needs 0..65535");
        } else if (arg == "--search-port") {
            if (!needsValue(value && ParsePort(value, options.searchPort)))
                return Usage("--search-port needs 0..65535");
        } else if (arg == "--password") {
            if (!needsValue(true)) return Usage("--password needs a text");
            options.password = value;
        } else if (arg == "--status") {
            if (!needsValue(value && ParseSimStatus(value, options.status)))
                return Usage("--status needs bytes like 0,0,38,1,1,1,1");
        } else if (arg == "--report-addr") {
            if (!needsValue(value && InetAddrHostOrder(value) != kInvalidAddress))
                return Usage("--report-addr needs an address");
            options.reportAddress = value;
        } else if (arg == "--document") {
            if (!needsValue(true)) return Usage("--document needs a file");
            documentFile = value;
        } else if (arg == "--fault") {
            if (!needsValue(value && ParseFault(value, options, faults)))
                return Usage("unknown --fault name or address");
        } else if (arg == "--delay-ms") {
            if (!needsValue(value && ParseMs(value, options.delayMs))) return Usage("--delay-ms needs 0..3600000");
        } else if (arg == "--trickle-ms") {
            if (!needsValue(value && ParseMs(value, options.trickleMs))) return Usage("--trickle-ms needs 0..3600000");
        } else {
            return Usage(("unknown option " + arg).c_str());
        }
    }
    RaiseOpenFileLimit();
    if (!StartSocketLibrary()) {
        std::fprintf(stderr, "korvane-sim: the socket library did not start\n");
        return 1;
    }
    // Request lines wait for the ports line: it is always the first line printed.
    std::mutex output;
    std::unique_lock<std::mutex> firstLine(output);
    if (!quiet) {
        options.log = [&output](const std::string& line) {
            std::lock_guard<std::mutex> lock(output);
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        };
    }
    CEncoderSim sim(options);
    for (const auto& [address, fault] : faults) {
        SimEncoder encoder = sim.EncoderFor(address);
        if (!encoder.Valid()) {
            return Usage(("--fault names " + FormatDotted(address) + ", which --bind does not serve").c_str());
        }
        encoder.SetFault(fault);
    }
    if (!documentFile.empty()) {
        std::ifstream file(documentFile, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "korvane-sim: cannot read %s\n", documentFile.c_str());
            return 1;
        }
        std::stringstream text;
        text << file.rdbuf();
        sim.SetDocument(text.str());
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    if (!sim.Start()) {
        std::fprintf(stderr, "korvane-sim: %s\n", sim.Error().c_str());
        return 1;
    }
    std::string served = ServedText(sim.Addresses());
    std::printf("korvane-sim on %s: command port %u, search port %u\n", served.c_str(),
                static_cast<unsigned>(sim.CommandPort()), static_cast<unsigned>(sim.SearchPort()));
    std::fflush(stdout);
    firstLine.unlock();
    ControlInput input(control);
    while (!g_quit) {
        for (const std::string& line : input.Lines(50)) {
            std::string problem = ApplySimControl(sim, line);
            std::lock_guard<std::mutex> lock(output);
            std::printf("control: %s\n", problem.empty() ? "ok" : ("error: " + problem).c_str());
            std::fflush(stdout);
        }
    }
    sim.Stop();
    StopSocketLibrary();
    std::printf("korvane-sim stopped\n");
    return 0;
}
