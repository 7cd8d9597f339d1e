#include "CliArguments.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace {

struct CommandWord {
    CliCommand command;
    const char* name;
};

constexpr CommandWord kCommands[] = {
    {CliCommand::Search, "search"}, {CliCommand::Status, "status"},   {CliCommand::Alarms, "alarms"},
    {CliCommand::Read, "read"},     {CliCommand::Write, "write"},     {CliCommand::Start, "start"},
    {CliCommand::Stop, "stop"},     {CliCommand::Backup, "backup"},   {CliCommand::History, "history"},
    {CliCommand::Diff, "diff"},     {CliCommand::Monitor, "monitor"},
};

bool ParseInteger(const std::string& text, long low, long high, long& value)
{
    if (text.empty() || text.size() > 12) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != 0 || text[0] == ' ' || text[0] == '+' || parsed < low || parsed > high) {
        return false;
    }
    value = parsed;
    return true;
}

// "STATUS,READ,WRITE[,SEARCH]" in milliseconds.
bool ParseWaits(const std::string& text, CliWaits& waits)
{
    std::vector<long> values;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        long value = 0;
        if (!ParseInteger(item, 0, 600000, value)) {
            return false;
        }
        values.push_back(value);
    }
    if (!text.empty() && text.back() == ',') {
        return false;
    }
    if (values.size() != 3 && values.size() != 4) {
        return false;
    }
    waits.statusMs = static_cast<int>(values[0]);
    waits.readMs = static_cast<int>(values[1]);
    waits.writeMs = static_cast<int>(values[2]);
    waits.searchGiven = values.size() == 4;
    waits.searchMs = waits.searchGiven ? static_cast<int>(values[3]) : 0;
    return true;
}

// Which command an option belongs to; None: every command takes it.
CliCommand OwnerOf(const std::string& option)
{
    if (option == "--out" || option == "--raw") {
        return CliCommand::Read;
    }
    if (option == "--settings" || option == "--password" || option == "--password-file" || option == "--new-password" ||
        option == "--new-password-file" || option == "--verify") {
        return CliCommand::Write;
    }
    if (option == "--interval" || option == "--metrics") {
        return CliCommand::Monitor;
    }
    return CliCommand::None;
}

// Seconds, whole or with a fraction ("10", "0.5"), to milliseconds.
bool ParseSeconds(const std::string& text, int& ms)
{
    if (text.empty() || text.size() > 12 || !(std::isdigit(static_cast<unsigned char>(text[0])) != 0)) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    double seconds = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != 0 || !(seconds >= kMinIntervalMs / 1000.0) || seconds > kMaxIntervalMs / 1000.0) {
        return false;
    }
    ms = static_cast<int>(seconds * 1000.0 + 0.5);
    return true;
}

// HOST:PORT; the host may be a name, a dotted address or a bracketed IPv6 address.
bool ParseHostPort(const std::string& text, std::string& host, uint16_t& port)
{
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    long number = 0;
    if (host.empty() || !ParseInteger(text.substr(colon + 1), 0, 65535, number)) {
        return false;
    }
    port = static_cast<uint16_t>(number);
    return true;
}

}   // namespace

const char* CommandName(CliCommand command)
{
    for (const CommandWord& word : kCommands) {
        if (word.command == command) {
            return word.name;
        }
    }
    return "";
}

bool ParseCliArguments(int argc, const char* const* argv, CliArguments& arguments, std::string& error)
{
    arguments = CliArguments{};
    std::vector<std::string> optionsSeen;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            if (arguments.command == CliCommand::None) {
                for (const CommandWord& command : kCommands) {
                    if (word == command.name) {
                        arguments.command = command.command;
                    }
                }
                if (arguments.command == CliCommand::None) {
                    error = "unknown command \"" + word + "\"";
                    return false;
                }
            } else {
                arguments.targets.push_back(word);
            }
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        // --name=value and --name value are the same.
        std::string name = word;
        std::optional<std::string> inlineValue;
        size_t equals = word.find('=');
        if (word.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = word.substr(0, equals);
            inlineValue = word.substr(equals + 1);
        }
        auto takeValue = [&](std::string& value) {
            if (inlineValue) {
                value = *inlineValue;
                return true;
            }
            if (i + 1 >= argc) {
                error = name + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto noValue = [&]() {
            if (inlineValue) {
                error = name + " takes no value";
                return false;
            }
            return true;
        };
        std::string value;
        long number = 0;
        if (name == "--help" || name == "-h") {
            if (!noValue()) return false;
            arguments.help = true;
        } else if (name == "--version") {
            if (!noValue()) return false;
            arguments.version = true;
        } else if (name == "--json") {
            if (!noValue()) return false;
            arguments.json = true;
        } else if (name == "--quiet" || name == "-q") {
            if (!noValue()) return false;
            arguments.quiet = true;
        } else if (name == "--raw") {
            if (!noValue()) return false;
            arguments.raw = true;
        } else if (name == "--verify") {
            if (!noValue()) return false;
            arguments.verify = true;
        } else if (name == "--wait") {
            if (!takeValue(value)) return false;
            if (value == "fixed") {
                arguments.wait = CliWaitMode::Fixed;
            } else if (value == "reply") {
                arguments.wait = CliWaitMode::Reply;
            } else {
                error = "--wait is fixed or reply";
                return false;
            }
        } else if (name == "--parallel") {
            if (!takeValue(value)) return false;
            if (!ParseInteger(value, 1, kMaxParallel, number)) {
                error = "--parallel needs a number from 1 to " + std::to_string(kMaxParallel);
                return false;
            }
            arguments.parallel = static_cast<int>(number);
            arguments.parallelGiven = true;
        } else if (name == "--port" || name == "--search-port") {
            if (!takeValue(value)) return false;
            if (!ParseInteger(value, 1, 65535, number)) {
                error = name + " needs a port from 1 to 65535";
                return false;
            }
            (name == "--port" ? arguments.port : arguments.searchPort) = static_cast<uint16_t>(number);
        } else if (name == "--waits") {
            if (!takeValue(value)) return false;
            CliWaits waits;
            if (!ParseWaits(value, waits)) {
                error = "--waits needs STATUS,READ,WRITE[,SEARCH] in milliseconds";
                return false;
            }
            arguments.waits = waits;
        } else if (name == "--interval") {
            if (!takeValue(value)) return false;
            if (!ParseSeconds(value, arguments.intervalMs)) {
                error = "--interval needs seconds from 0.05 to 86400";
                return false;
            }
        } else if (name == "--metrics") {
            if (!takeValue(value)) return false;
            if (!ParseHostPort(value, arguments.metricsHost, arguments.metricsPort)) {
                error = "--metrics needs HOST:PORT";
                return false;
            }
            arguments.metrics = true;
        } else if (name == "--out") {
            if (!takeValue(arguments.outDir)) return false;
            if (arguments.outDir.empty()) {
                error = "--out needs a folder";
                return false;
            }
        } else if (name == "--settings") {
            if (!takeValue(arguments.settingsFile)) return false;
            if (arguments.settingsFile.empty()) {
                error = "--settings needs a file";
                return false;
            }
        } else if (name == "--password") {
            if (!takeValue(value)) return false;
            arguments.password = value;
        } else if (name == "--password-file") {
            if (!takeValue(arguments.passwordFile)) return false;
            if (arguments.passwordFile.empty()) {
                error = "--password-file needs a file";
                return false;
            }
        } else if (name == "--repo") {
            if (!takeValue(arguments.repo)) return false;
            if (arguments.repo.empty()) {
                error = "--repo needs a folder";
                return false;
            }
        } else if (name == "--new-password") {
            if (!takeValue(value)) return false;
            arguments.newPassword = value;
        } else if (name == "--new-password-file") {
            if (!takeValue(arguments.newPasswordFile)) return false;
            if (arguments.newPasswordFile.empty()) {
                error = "--new-password-file needs a file";
                return false;
            }
        } else {
            error = "unknown option " + name;
            return false;
        }
        optionsSeen.push_back(name);
    }

    if (arguments.help || arguments.version) {
        return true;
    }
    if (arguments.command == CliCommand::None) {
        error = "no command given";
        return false;
    }
    for (const std::string& option : optionsSeen) {
        if (option == "--repo" && arguments.command != CliCommand::Backup && arguments.command != CliCommand::History) {
            error = "--repo belongs to backup and history, not to " + std::string(CommandName(arguments.command));
            return false;
        }
        CliCommand owner = OwnerOf(option);
        if (owner != CliCommand::None && owner != arguments.command) {
            error = option + " belongs to " + CommandName(owner) + ", not to " + CommandName(arguments.command);
            return false;
        }
    }
    const char* name = CommandName(arguments.command);
    if (arguments.command == CliCommand::Search) {
        if (arguments.targets.size() != 1) {
            error = "search needs exactly one BROADCAST address";
            return false;
        }
        return true;
    }
    if (arguments.command == CliCommand::Diff) {
        if (arguments.targets.size() != 2) {
            error = "diff needs exactly two FILEs";
            return false;
        }
        return true;
    }
    if ((arguments.command == CliCommand::Backup || arguments.command == CliCommand::History) &&
        arguments.repo.empty()) {
        error = std::string(name) + " needs --repo DIR";
        return false;
    }
    if (arguments.command == CliCommand::History && arguments.targets.size() != 1) {
        error = "history needs exactly one ADDRESS";
        return false;
    }
    if (arguments.targets.empty()) {
        error = std::string(name) + " needs at least one ADDRESS";
        return false;
    }
    if (arguments.command == CliCommand::Read && arguments.raw && arguments.json) {
        error = "--raw gives the encoder's bytes and cannot be combined with --json";
        return false;
    }
    if (arguments.command == CliCommand::Write) {
        if (arguments.settingsFile.empty()) {
            error = "write needs --settings FILE";
            return false;
        }
        // Neither: the password is asked for on the terminal, when there is one.
        if (arguments.password.has_value() && !arguments.passwordFile.empty()) {
            error = "write needs one of --password P or --password-file F";
            return false;
        }
        if (arguments.newPassword.has_value() && !arguments.newPasswordFile.empty()) {
            error = "write takes one of --new-password N or --new-password-file F";
            return false;
        }
        if (arguments.passwordFile == "-" && arguments.newPasswordFile == "-") {
            error = "only one of --password-file and --new-password-file can be - (standard input)";
            return false;
        }
    }
    return true;
}

std::string CliHelpText()
{
    return "Usage: korvane-cli [options] COMMAND ...\n"
           "Runs the Korvane encoder's exchanges for one encoder or a whole fleet at once.\n"
           "\n"
           "Commands:\n"
           "  search BROADCAST      broadcast the search request; print each answering encoder's\n"
           "                        address, one per line, sorted\n"
           "  status ADDRESS...     one line per encoder: its status flags and temperature reading\n"
           "                        (over-temperature needs the encoder's threshold: see alarms)\n"
           "  alarms ADDRESS...     read the configuration, then the status; print the alarm lines\n"
           "  read ADDRESS...       check the status, then read the configuration; one encoder's\n"
           "                        settings document goes to standard output\n"
           "      --out DIR         write DIR/<address>.xml for each encoder instead\n"
           "      --raw             the bytes the encoder sent, not the document made of them\n"
           "  write ADDRESS... --settings FILE [--password P | --password-file F]\n"
           "                        read each encoder, take the settings an operator can edit from\n"
           "                        FILE (never passwords, address, mask or gateway), check the whole\n"
           "                        record against every edit rule, then write it\n"
           "      --password-file F the password is the first line of F, - for standard input (kept\n"
           "                        out of the process list, unlike --password); with neither\n"
           "                        option the password is asked for on the terminal, unechoed\n"
           "      --new-password N  the password to set (default: keep the password)\n"
           "      --new-password-file F  the same from the first line of F (- standard input)\n"
           "      --verify          read each written encoder again and report what did not take\n"
           "                        (a write also leaves the last document sent in ./out.xml)\n"
           "  backup ADDRESS... --repo DIR\n"
           "                        read every encoder as read --out does, write DIR/<address>.xml\n"
           "                        and commit the changed files to the git repository DIR (made\n"
           "                        when missing), one commit per run naming every changed field\n"
           "  history ADDRESS --repo DIR\n"
           "                        one line per commit that changed the encoder's file, newest\n"
           "                        first: <short id> <time> <count> changed\n"
           "  diff FILE1 FILE2      one line per differing field of two settings files; exit 0\n"
           "                        when equal, 1 when different, 2 when one is not a settings file\n"
           "  start ADDRESS...      start the TS-over-IP output (the encoder does not acknowledge it)\n"
           "  stop ADDRESS...       stop the TS-over-IP output (the encoder does not acknowledge it)\n"
           "  monitor ADDRESS...    poll every encoder's status until SIGINT or SIGTERM; print one line\n"
           "                        per change: TIME ADDRESS online|offline|raised|cleared [ALARM]\n"
           "      --interval S      seconds between polls of an encoder (default 10)\n"
           "      --metrics HOST:PORT  serve Prometheus metrics at http://HOST:PORT/metrics\n"
           "                        (port 0: any free port, named on standard error)\n"
           "\n"
           "ADDRESS is a dotted IPv4 address, a range of the last number (10.1.2.20-69 or\n"
           "10.1.2.20-10.1.2.69), or @FILE (one address or range per line, # starts a comment;\n"
           "at most 16 MiB and 1000000 addresses).\n"
           "Each encoder is handled once, in the order first given.\n"
           "\n"
           "Options:\n"
           "  --wait fixed|reply    fixed (default): the encoder's full waits (status 4 s, read 20 s,\n"
           "                        write 15 s); reply: finish as soon as each reply is complete\n"
           "  --parallel N          at most N exchanges in flight at once (default: every encoder at\n"
           "                        once, as far as the open-file limit allows; N up to " +
           std::to_string(kMaxParallel) +
           ")\n"
           "  --port N              command port (default " +
           std::to_string(COMMAND_PORT) +
           ")\n"
           "  --search-port N       discovery port (default " +
           std::to_string(SEARCH_PORT) +
           ")\n"
           "  --json                one JSON object per encoder per line on standard output\n"
           "  --quiet               print only failures on standard error, no progress\n"
           "  --waits S,R,W[,F]     for testing: the status, read, write [and search] waits in ms\n"
           "  --help                show this text\n"
           "  --version             show the version\n"
           "\n"
           "Messages about an encoder go to standard error, prefixed with its address; progress\n"
           "goes there too while a batch runs, when it is a terminal. Passwords are never printed.\n"
           "Exit status: 0 every encoder succeeded, 1 any failed, 2 usage error, 130 or 143\n"
           "interrupted (SIGINT or SIGTERM: no new exchange starts, those sending finish, every\n"
           "encoder still gets its outcome; a second signal ends at once); monitor: 0 when\n"
           "stopped by SIGINT or SIGTERM, 1 when the metrics address cannot be served.\n";
}

std::string MissingFromThisBuild(const CliArguments& arguments)
{
    const bool history = arguments.command == CliCommand::Backup || arguments.command == CliCommand::History ||
                         arguments.command == CliCommand::Diff;
    if (history && !KORVANE_HAS_HISTORY) {
        return "this build of korvane-cli has no configuration history: " +
               std::string(CommandName(arguments.command)) +
               " is not available (backup, history and diff need the Linux build)";
    }
    if (arguments.metrics && !KORVANE_HAS_METRICS) {
        return "this build of korvane-cli has no metrics endpoint: monitor --metrics is not available (it needs the "
               "Linux build)";
    }
    return {};
}
