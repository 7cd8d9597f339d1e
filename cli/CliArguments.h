#pragma once
// The command line of korvane-cli as plain data, and its parser. Parsing checks only
// what can be judged from the words themselves (names, numbers, which options go with
// which command); addresses and files are looked at when the command runs.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "LinkProtocol.h"

enum class CliCommand { None, Search, Status, Alarms, Read, Write, Start, Stop, Backup, History, Diff, Monitor };

enum class CliWaitMode { Fixed, Reply };

// Fixed waits given with --waits, in milliseconds; tests shorten them, the shipped
// program keeps the encoder's own.
struct CliWaits {
    int statusMs = 0;
    int readMs = 0;
    int writeMs = 0;
    int searchMs = 0;
    bool searchGiven = false;
};

struct CliArguments {
    CliCommand command = CliCommand::None;
    std::vector<std::string> targets;   // ADDRESS words, the one BROADCAST of search, diff's two FILEs

    // read
    std::string outDir;
    bool raw = false;
    // write
    std::string settingsFile;
    std::optional<std::string> password;
    std::string passwordFile;
    std::optional<std::string> newPassword;
    std::string newPasswordFile;   // "-": standard input, as for passwordFile
    bool verify = false;
    // backup, history
    std::string repo;

    // monitor
    int intervalMs = 10000;
    bool metrics = false;   // --metrics given
    std::string metricsHost;
    uint16_t metricsPort = 0;   // 0: any free port

    CliWaitMode wait = CliWaitMode::Fixed;
    int parallel = 0;   // 0: every encoder at once, as far as the open-file limit allows
    bool parallelGiven = false;
    uint16_t port = COMMAND_PORT;
    uint16_t searchPort = SEARCH_PORT;
    std::optional<CliWaits> waits;
    bool json = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

constexpr int kMaxParallel = 1000000;

// monitor --interval bounds, in milliseconds.
constexpr int kMinIntervalMs = 50;
constexpr int kMaxIntervalMs = 86400 * 1000;

constexpr const char* kCliVersion = "1.0.0";

// Fills `arguments` from argv[1..]; on a usage error returns false with a one-line
// reason in `error` (no password ever appears in it).
bool ParseCliArguments(int argc, const char* const* argv, CliArguments& arguments, std::string& error);

const char* CommandName(CliCommand command);

// The --help text.
std::string CliHelpText();

// What a build of korvane-cli leaves out when the library behind it does not exist for its
// platform (a Windows build has neither libgit2 nor libmicrohttpd): configuration history
// (backup, history, diff) and the metrics endpoint (monitor --metrics).
#ifndef KORVANE_HAS_HISTORY
#define KORVANE_HAS_HISTORY 1
#endif
#ifndef KORVANE_HAS_METRICS
#define KORVANE_HAS_METRICS 1
#endif

// The usage error of a command or option this build does not have; empty when it has
// everything `arguments` ask for.
std::string MissingFromThisBuild(const CliArguments& arguments);
