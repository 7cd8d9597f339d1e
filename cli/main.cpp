// korvane-cli: every exchange with Korvane encoders from the command line, for scripts
// and fleets. The exchanges, their waits and their texts are the window's own: both stand
// on the same engine, rules and settings layers.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "AddressArguments.h"
#include "CliArguments.h"
#if KORVANE_HAS_HISTORY
#include "CliHistory.h"
#endif
#include "CliRunner.h"
#include "CliSettings.h"
#include "Socket.h"

namespace {

constexpr int kExitUsage = 2;

int Usage(const std::string& reason)
{
    std::fprintf(stderr, "korvane-cli: %s\nTry 'korvane-cli --help'.\n", reason.c_str());
    return kExitUsage;
}

bool ReadWholeFile(const std::string& path, std::string& text)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    text = bytes.str();
    return !file.bad();
}

// The first line of the file, without its line end.
bool ReadFirstLine(const std::string& path, std::string& line)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    line.clear();
    std::getline(file, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return !file.bad();
}

// Each exchange in flight holds two sockets (its connection and its cancel wake-up); a
// large --parallel would otherwise meet the common default of 1024 open files.
void AllowOpenFiles(int parallel)
{
#ifndef _WIN32
    rlimit limit{};
    const rlim_t wanted = static_cast<rlim_t>(parallel) * 2 + 64;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max > wanted ? wanted : limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
#else
    (void)parallel;
#endif
}

}   // namespace

int main(int argc, char** argv)
{
#ifdef _WIN32
    // Lines and documents go out with the LF line ends the encoder's documents have, not
    // the C runtime's CR LF: a read's file and its printed document stay the same bytes,
    // and scripts see the same output on every platform.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    CliArguments arguments;
    std::string error;
    if (!ParseCliArguments(argc, argv, arguments, error)) {
        return Usage(error);
    }
    if (arguments.help) {
        std::fputs(CliHelpText().c_str(), stdout);
        return 0;
    }
    if (arguments.version) {
        std::printf("korvane-cli %s\n", kCliVersion);
        return 0;
    }

    if (std::string missing = MissingFromThisBuild(arguments); !missing.empty()) {
        return Usage(missing);
    }
#if KORVANE_HAS_HISTORY
    if (arguments.command == CliCommand::Diff) {
        return RunDiff(arguments);
    }
#endif

    CliRunSetup setup;
    setup.arguments = arguments;
    if (arguments.command == CliCommand::Search) {
        if (!ParseBroadcastAddress(arguments.targets.front(), setup.broadcast, error)) {
            return Usage(error);
        }
    } else {
        AddressArguments addresses = ExpandAddressArguments(arguments.targets);
        if (!addresses.Ok()) {
            return Usage(addresses.error);
        }
        if (addresses.addresses.empty()) {
            return Usage("no encoder address given");
        }
        setup.addresses = std::move(addresses.addresses);
    }
#if KORVANE_HAS_HISTORY
    if (arguments.command == CliCommand::History) {
        if (setup.addresses.size() != 1) {
            return Usage("history needs exactly one encoder");
        }
        return RunHistory(arguments, setup.addresses.front());
    }
#endif

    if (arguments.command == CliCommand::Read) {
        if (setup.addresses.size() > 1 && arguments.outDir.empty() && !arguments.json) {
            return Usage("reading several encoders needs --out DIR (or --json)");
        }
        if (!arguments.outDir.empty()) {
            std::error_code failed;
            std::filesystem::create_directories(arguments.outDir, failed);
            if (!std::filesystem::is_directory(arguments.outDir, failed)) {
                return Usage("cannot make the folder " + arguments.outDir);
            }
        }
    }

    if (arguments.command == CliCommand::Write) {
        if (!ReadWholeFile(arguments.settingsFile, setup.settingsText)) {
            return Usage("cannot read the settings file " + arguments.settingsFile);
        }
        if (std::optional<std::string> problem = SettingsFileProblem(setup.settingsText)) {
            return Usage(arguments.settingsFile + ": " + *problem);
        }
        if (arguments.password) {
            setup.password = *arguments.password;
        } else if (!ReadFirstLine(arguments.passwordFile, setup.password)) {
            return Usage("cannot read the password file " + arguments.passwordFile);
        }
        setup.newPassword = arguments.newPassword ? *arguments.newPassword : setup.password;
        // The sheet's own rules for the two password rows; the texts name no password.
        if (setup.password.empty()) {
            return Usage("the password is empty");
        }
        if (setup.newPassword.empty()) {
            return Usage("the new password is empty");
        }
        if (std::optional<std::string> warning = PasswordWarning(setup.password, false)) {
            return Usage(*warning);
        }
        if (std::optional<std::string> warning = PasswordWarning(setup.newPassword, true)) {
            return Usage(*warning);
        }
    }

    setup.progress = isatty(fileno(stderr)) != 0;
    AllowOpenFiles(ParallelOf(arguments));
    if (!StartSocketLibrary()) {
        std::fprintf(stderr, "korvane-cli: the socket library did not start\n");
        return 1;
    }
    int status = RunCliCommand(setup);
    StopSocketLibrary();
    return status;
}
