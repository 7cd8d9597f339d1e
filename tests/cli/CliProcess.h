#pragma once
// Runs korvane-cli as its own process, the way a script does, and collects what it
// printed and how it ended. The process runs in a folder of its own (the write
// exchange leaves its out.xml there), and is killed if it outlives its time limit.

#ifndef _WIN32
#include <sys/types.h>
#endif

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct CliRun {
    int status = -1;   // exit status; -1 when it did not exit normally
    std::string out;   // standard output
    std::string err;   // standard error
    bool timedOut = false;
};

// How the child starts, beyond its arguments and folder.
struct CliStart {
    enum class Input { Null, Text, Terminal };
    Input input = Input::Null;      // standard input: /dev/null, a pipe holding `inputText`, a pseudo-terminal
    std::string inputText;          // Input::Text: written, then the pipe is closed
    bool errorIsTerminal = false;   // standard error a pseudo-terminal the test reads
    long fileLimit = 0;             // > 0: the child's soft and hard open-file limit
    bool unprivileged = false;      // run as nobody when the test runs as root (folder rights count)
};

class CliProcess {
public:
    CliProcess(const std::vector<std::string>& args, const std::string& workDir, const CliStart& start);
    // Starts korvane-cli with `args` in `workDir`; its standard error is a terminal (a
    // pseudo-terminal the test reads) when `errorIsTerminal`, else a pipe like its output.
    CliProcess(const std::vector<std::string>& args, const std::string& workDir, bool errorIsTerminal = false);
    ~CliProcess();   // kills and reaps a process still running
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    bool Started() const;
    // Why the process did not start (a failed pipe, fork or CreateProcess and its error), for
    // the test's failure message; empty when it started.
    const std::string& StartError() const { return m_startError; }
    // Reads both outputs to their end and reaps the process; kills it after `limitMs`.
    // What was read before (Out, Err) is part of the result.
    CliRun Wait(int limitMs = 60000);

    // Reads what the process prints until `done(out, err)` holds; false when `limitMs`
    // passed first or both outputs ended.
    bool ReadUntil(const std::function<bool(const std::string& out, const std::string& err)>& done,
                   int limitMs = 20000);
    const std::string& Out() const { return m_outText; }
    const std::string& Err() const { return m_errText; }

#ifndef _WIN32
    pid_t Pid() const
    {
        return m_pid;
    }
    void Signal(int signal);
    // Reads standard error (kept for Wait) until it holds `text`; false after `limitMs`.
    bool WaitForError(const std::string& text, int limitMs = 10000);
    // Input::Terminal: types `text`, and what the terminal showed the user so far.
    void Type(const std::string& text);
    std::string TerminalShown();
#endif

private:
    // Reads what is there within `waitMs`; false once both outputs have ended.
    bool ReadSome(int waitMs);

#ifdef _WIN32
    // The process, the reading ends of its output pipes (Windows HANDLEs) and the threads
    // that drain them into a queue ReadSome takes from.
    struct Pipes;
    void* m_process = nullptr;
    std::unique_ptr<Pipes> m_pipes;
#else
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
#endif
    std::string m_outText;
    std::string m_errText;
    std::string m_startError;
    int m_terminal = -1;   // the test's end of the child's input terminal
};

// Whether standard error can be made a terminal for korvane-cli (a pseudo-terminal; not on
// Windows), and if not why.
const char* TerminalUnavailableReason();

// Starts, waits, collects.
CliRun RunCli(const std::vector<std::string>& args, const std::string& workDir, int limitMs = 60000,
              bool errorIsTerminal = false);

// A fresh empty folder under the test temporary folder, named after the running test.
std::string FreshFolder(const std::string& suffix = "");

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
