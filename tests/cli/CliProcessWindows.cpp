// korvane-cli.exe as a child process on Windows: its outputs through two pipes, each
// drained by a thread of its own into a shared queue, so that neither pipe fills while the
// test waits for a line on the other.

#ifdef _WIN32
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "CliProcess.h"

namespace {

// One argument as the C runtime splits a command line again: quoted when it holds a
// space, tab or quote; backslashes doubled only where a quote follows them.
std::string Quote(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
        return arg;
    }
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

void CloseIfOpen(void*& handle)
{
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

}   // namespace

// What the drain threads have read and not yet been taken, and whether each pipe ended.
struct CliProcess::Pipes {
    std::mutex mutex;
    std::condition_variable arrived;
    std::string text[2];
    bool ended[2] = {false, false};
    void* handle[2] = {nullptr, nullptr};
    std::thread reader[2];

    void Drain(int which)
    {
        char buffer[65536];
        DWORD count = 0;
        while (ReadFile(handle[which], buffer, sizeof buffer, &count, nullptr) && count > 0) {
            std::lock_guard<std::mutex> lock(mutex);
            text[which].append(buffer, count);
            arrived.notify_all();
        }
        std::lock_guard<std::mutex> lock(mutex);
        ended[which] = true;
        arrived.notify_all();
    }

    // The pipes end when the child (and any child of its that inherited them) is gone.
    void Join()
    {
        for (int i = 0; i < 2; ++i) {
            if (reader[i].joinable()) {
                reader[i].join();
            }
            CloseIfOpen(handle[i]);
        }
    }
};

const char* TerminalUnavailableReason()
{
    return "standard error as a terminal needs a pseudo-terminal, which only the Linux build makes";
}

CliProcess::CliProcess(const std::vector<std::string>& args, const std::string& workDir, bool errorIsTerminal)
{
    if (errorIsTerminal) {
        m_startError = TerminalUnavailableReason();
        return;
    }
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) {
        m_startError = "CreatePipe: error " + std::to_string(GetLastError());
        return;
    }
    if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        m_startError = "CreatePipe: error " + std::to_string(GetLastError());
        CloseHandle(outRead);
        CloseHandle(outWrite);
        return;
    }
    // Only the writing ends go to the child.
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul =
        CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);

    std::string commandLine = Quote(KORVANE_CLI_PATH);
    for (const std::string& arg : args) {
        commandLine += " " + Quote(arg);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    BOOL made = CreateProcessA(KORVANE_CLI_PATH, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                               workDir.c_str(), &startup, &process);
    if (!made) {
        m_startError = "CreateProcess: error " + std::to_string(GetLastError());
    }
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (nul != INVALID_HANDLE_VALUE) {
        CloseHandle(nul);
    }
    if (!made) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        return;
    }
    CloseHandle(process.hThread);
    m_process = process.hProcess;
    m_pipes = std::make_unique<Pipes>();
    m_pipes->handle[0] = outRead;
    m_pipes->handle[1] = errRead;
    for (int i = 0; i < 2; ++i) {
        m_pipes->reader[i] = std::thread([pipes = m_pipes.get(), i] { pipes->Drain(i); });
    }
}

bool CliProcess::Started() const
{
    return m_process != nullptr;
}

CliProcess::~CliProcess()
{
    if (m_process != nullptr) {
        TerminateProcess(m_process, 1);
        WaitForSingleObject(m_process, INFINITE);
    }
    if (m_pipes) {
        m_pipes->Join();
    }
    CloseIfOpen(m_process);
}

bool CliProcess::ReadSome(int waitMs)
{
    if (!m_pipes) {
        return false;
    }
    std::unique_lock<std::mutex> lock(m_pipes->mutex);
    auto something = [this] {
        return !m_pipes->text[0].empty() || !m_pipes->text[1].empty() || (m_pipes->ended[0] && m_pipes->ended[1]);
    };
    m_pipes->arrived.wait_for(lock, std::chrono::milliseconds(waitMs), something);
    m_outText += m_pipes->text[0];
    m_errText += m_pipes->text[1];
    m_pipes->text[0].clear();
    m_pipes->text[1].clear();
    return !(m_pipes->ended[0] && m_pipes->ended[1]);
}

CliRun CliProcess::Wait(int limitMs)
{
    CliRun run;
    if (m_process == nullptr) {
        run.err = "korvane-cli did not start: " + m_startError;
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            run.timedOut = true;
            break;
        }
        if (!ReadSome(static_cast<int>(left.count()))) {
            break;
        }
    }
    if (run.timedOut || WaitForSingleObject(m_process, static_cast<DWORD>(limitMs)) != WAIT_OBJECT_0) {
        run.timedOut = true;
        TerminateProcess(m_process, 1);
        WaitForSingleObject(m_process, INFINITE);
    }
    m_pipes->Join();
    ReadSome(0);
    DWORD code = 0;
    run.status = (!run.timedOut && GetExitCodeProcess(m_process, &code)) ? static_cast<int>(code) : -1;
    CloseIfOpen(m_process);
    run.out = m_outText;
    run.err = m_errText;
    return run;
}
#endif
