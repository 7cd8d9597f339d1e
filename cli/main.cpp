// korvane-cli: every exchange with Korvane encoders from the command line, for scripts
// and fleets. The exchanges, their waits and their texts are the window's own: both stand
// on the same engine, rules and settings layers.

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "AddressArguments.h"
#include "CliArguments.h"
#if KORVANE_HAS_HISTORY
#include "CliHistory.h"
#endif
#include "CliInterrupt.h"
#include "CliRunner.h"
#include "CliSecrets.h"
#include "CliSettings.h"
#include "OutcomeTexts.h"
#include "SettingsFileCheck.h"
#include "Socket.h"

namespace {

constexpr int kExitUsage = 2;

int Usage(const std::string& reason)
{
    std::fprintf(stderr, "korvane-cli: %s\nTry 'korvane-cli --help'.\n", reason.c_str());
    return kExitUsage;
}

// The write's password and new password: an option, a file, standard input, or the terminal.
bool TakePasswords(const CliArguments& arguments, CliRunSetup& setup, std::string& error)
{
    if (arguments.password) {
        setup.password = *arguments.password;
    } else if (!arguments.passwordFile.empty()) {
        if (!ReadSecretLine(arguments.passwordFile, "Password: ", setup.password, error)) return false;
    } else if (!PromptSecret("Password: ", setup.password)) {
        error = "write needs one of --password P or --password-file F";
        return false;
    }
    if (arguments.newPassword) {
        setup.newPassword = *arguments.newPassword;
    } else if (!arguments.newPasswordFile.empty()) {
        if (!ReadSecretLine(arguments.newPasswordFile, "New password: ", setup.newPassword, error)) return false;
    } else {
        setup.newPassword = setup.password;
    }
    return true;
}

// The commands that run a batch of encoders to its end: a signal winds them down. The
// monitor has its own stop, a search its one window.
bool WindsDownOnSignal(CliCommand command)
{
    switch (command) {
    case CliCommand::Status:
    case CliCommand::Alarms:
    case CliCommand::Read:
    case CliCommand::Backup:
    case CliCommand::Write:
    case CliCommand::Start:
    case CliCommand::Stop:
        return true;
    default:
        return false;
    }
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
            std::error_code ignored;
            std::filesystem::create_directories(arguments.outDir, failed);
            if (!std::filesystem::is_directory(arguments.outDir, ignored)) {
                return Usage("cannot make the folder " + arguments.outDir + (failed ? ": " + failed.message() : ""));
            }
        }
    }

    if (arguments.command == CliCommand::Write) {
        if (!ReadSettingsFileBounded(arguments.settingsFile, setup.settingsText, error)) {
            return Usage(error);
        }
        if (std::optional<std::string> problem = SettingsFileProblem(setup.settingsText)) {
            return Usage(arguments.settingsFile + ": " + *problem);
        }
        if (!TakePasswords(arguments, setup, error)) {
            return Usage(error);
        }
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
    // The engine fits the exchanges in flight to the open-file limit (raising the soft one
    // as far as the hard one allows): a short table slows a batch, it fails no encoder.
    if (!StartSocketLibrary()) {
        std::fprintf(stderr, "korvane-cli: the socket library did not start\n");
        return 1;
    }
    // After the prompt (which restores the terminal on its own) and before the engine's
    // threads, which inherit the blocked signals.
    if (WindsDownOnSignal(arguments.command)) {
        CliInterrupt::Install();
    }
    int status = 1;
    try {
        status = RunCliCommand(setup);
    } catch (const std::exception& failure) {
        // The engine's loop could not even be set up (no descriptor for it): this
        // computer's failure, with the system's reason; no encoder was contacted.
        std::fprintf(stderr, "korvane-cli: %s: %s\n", TextOf(OutcomeText::LocalFailure), failure.what());
    }
    StopSocketLibrary();
    return status;
}
