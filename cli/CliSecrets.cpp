#include "CliSecrets.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace {

// A password is ten bytes at most; anything past this is refused by its length rule anyway.
constexpr size_t kMostSecretBytes = 4096;

void CutLine(std::string& line)
{
    const size_t end = line.find_first_of("\r\n");
    if (end != std::string::npos) line.erase(end);
}

// One line from `file`, at most kMostSecretBytes of it.
bool ReadLine(std::FILE* file, std::string& line)
{
    line.clear();
    int c = 0;
    while (line.size() < kMostSecretBytes && (c = std::fgetc(file)) != EOF && c != '\n') {
        line += static_cast<char>(c);
    }
    CutLine(line);
    return !std::ferror(file);
}

#ifndef _WIN32
termios g_saved{};
volatile std::sig_atomic_t g_echoOff = 0;

// An interrupt while the echo is off must not leave the terminal without it.
extern "C" void RestoreEchoAndDie(int signal)
{
    if (g_echoOff) tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
#endif

}   // namespace

bool StandardInputIsTerminal()
{
#ifdef _WIN32
    // _isatty holds for any character device, the NUL device a script redirects from
    // included: only a console takes a typed password.
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    return input != nullptr && input != INVALID_HANDLE_VALUE && GetConsoleMode(input, &mode) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

bool PromptSecret(const std::string& prompt, std::string& secret)
{
    if (!StandardInputIsTerminal()) return false;
#ifdef _WIN32
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool console = GetConsoleMode(input, &mode) != 0;
    if (console) SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    const bool ok = ReadLine(stdin, secret);
    if (console) SetConsoleMode(input, mode);
    std::fputc('\n', stderr);   // the Enter typed was not shown either
#else
    bool restore = tcgetattr(STDIN_FILENO, &g_saved) == 0;
    void (*previousInt)(int) = std::signal(SIGINT, RestoreEchoAndDie);
    void (*previousTerm)(int) = std::signal(SIGTERM, RestoreEchoAndDie);
    if (restore) {
        termios quiet = g_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        g_echoOff = 1;
        restore = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    // Asked only once nothing typed can show any more.
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    const bool ok = ReadLine(stdin, secret);
    if (restore) tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved);
    g_echoOff = 0;
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
#endif
    return ok;
}

bool ReadSecretLine(const std::string& path, const std::string& prompt, std::string& secret, std::string& error)
{
    if (path == "-") {
        if (StandardInputIsTerminal()) {
            if (PromptSecret(prompt, secret)) return true;
        } else if (ReadLine(stdin, secret)) {
            return true;
        }
        error = "cannot read the password from standard input";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot read the password file " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool ok = ReadLine(file, secret);
    const int reason = errno;
    std::fclose(file);
    if (!ok) {
        error = "cannot read the password file " + path + ": " + std::strerror(reason);
        return false;
    }
    return true;
}
