#include "CliProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

// The Windows process is CliProcessWindows.cpp's.
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "../EndsWithTest.h"

CliProcess::CliProcess(const std::vector<std::string>& args, const std::string& workDir, bool errorIsTerminal)
    : CliProcess(args, workDir, [errorIsTerminal] {
          CliStart start;
          start.errorIsTerminal = errorIsTerminal;
          return start;
      }())
{}

CliProcess::CliProcess(const std::vector<std::string>& args, const std::string& workDir, const CliStart& start)
{
    const bool errorIsTerminal = start.errorIsTerminal;
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    int in[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0) {
        m_startError = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    bool made =
        errorIsTerminal ? openpty(&err[0], &err[1], nullptr, nullptr, nullptr) == 0 : pipe2(err, O_CLOEXEC) == 0;
    if (start.input == CliStart::Input::Text) {
        made = made && pipe2(in, O_CLOEXEC) == 0;
    } else if (start.input == CliStart::Input::Terminal) {
        made = made && openpty(&in[1], &in[0], nullptr, nullptr, nullptr) == 0;   // in[0]: the child's end
        if (made) {
            fcntl(in[0], F_SETFD, FD_CLOEXEC);
            fcntl(in[1], F_SETFD, FD_CLOEXEC);
        }
    }
    if (!made) {
        m_startError = std::string("pipe or pseudo-terminal: ") + std::strerror(errno);
        for (int fd : {out[0], out[1], err[0], err[1], in[0], in[1]}) {
            if (fd >= 0) close(fd);
        }
        return;
    }
    if (errorIsTerminal) {
        fcntl(err[0], F_SETFD, FD_CLOEXEC);
        fcntl(err[1], F_SETFD, FD_CLOEXEC);
    }
    const bool dropRights = start.unprivileged && geteuid() == 0;
    const rlimit limit{static_cast<rlim_t>(start.fileLimit), static_cast<rlim_t>(start.fileLimit)};
    // Everything the child needs is made before the fork: the test process has threads
    // (the stand-in's), so the child may only make async-signal-safe calls.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(KORVANE_CLI_PATH));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t test = getpid();
    pid_t pid = fork();
    const int forkError = errno;
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        if (in[0] >= 0) {
            dup2(in[0], STDIN_FILENO);
            if (start.input == CliStart::Input::Terminal) {
                setsid();   // the terminal becomes the child's own, as a login's is
                ioctl(STDIN_FILENO, TIOCSCTTY, 0);
            }
        } else {
            int devNull = open("/dev/null", O_RDONLY);
            dup2(devNull, STDIN_FILENO);
        }
        if (chdir(workDir.c_str()) != 0) {
            _exit(126);
        }
        // The test's own sockets (its stand-ins') stay with the test: a shell that starts
        // the tool under `ulimit -n` leaves it only its three streams too.
        for (int fd = 3; fd < 4096; ++fd) {
            close(fd);
        }
        if (start.fileLimit > 0 && setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            _exit(125);
        }
        if (dropRights && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(124);
        }
        EndWithTest(test);   // after the change of rights, which clears the request
        execv(KORVANE_CLI_PATH, argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (in[0] >= 0) close(in[0]);
    if (pid < 0) {
        m_startError = std::string("fork: ") + std::strerror(forkError);
        close(out[0]);
        close(err[0]);
        if (in[1] >= 0) close(in[1]);
        return;
    }
    m_pid = pid;
    m_out = out[0];
    m_err = err[0];
    if (start.input == CliStart::Input::Text) {
        // A secret is a line; the pipe's buffer holds it without a reader.
        (void)!write(in[1], start.inputText.data(), start.inputText.size());
        close(in[1]);
    } else if (in[1] >= 0) {
        m_terminal = in[1];
    }
}

bool CliProcess::WaitForError(const std::string& text, int limitMs)
{
    return ReadUntil(
        [&text](const std::string&, const std::string& err) { return err.find(text) != std::string::npos; }, limitMs);
}

void CliProcess::Signal(int signal)
{
    if (m_pid > 0) kill(m_pid, signal);
}

void CliProcess::Type(const std::string& text)
{
    if (m_terminal >= 0) (void)!write(m_terminal, text.data(), text.size());
}

std::string CliProcess::TerminalShown()
{
    std::string shown;
    char buffer[4096];
    pollfd fd = {m_terminal, POLLIN, 0};
    while (m_terminal >= 0 && poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN) != 0) {
        ssize_t count = read(m_terminal, buffer, sizeof buffer);
        if (count <= 0) break;
        shown.append(buffer, static_cast<size_t>(count));
    }
    return shown;
}

bool CliProcess::Started() const
{
    return m_pid > 0;
}

CliProcess::~CliProcess()
{
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) close(m_out);
    if (m_err >= 0) close(m_err);
    if (m_terminal >= 0) close(m_terminal);
}

bool CliProcess::ReadSome(int waitMs)
{
    if (m_out < 0 && m_err < 0) {
        return false;
    }
    char buffer[65536];
    pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
    if (poll(fds, 2, waitMs) <= 0) {
        return true;
    }
    for (int i = 0; i < 2; ++i) {
        int& fd = i == 0 ? m_out : m_err;
        if (fd < 0 || fds[i].revents == 0) {
            continue;
        }
        // A terminal's reading end reports the writer's end as an error (EIO), a pipe as 0.
        ssize_t count = read(fd, buffer, sizeof buffer);
        if (count > 0) {
            (i == 0 ? m_outText : m_errText).append(buffer, static_cast<size_t>(count));
        } else {
            close(fd);
            fd = -1;
        }
    }
    return true;
}

CliRun CliProcess::Wait(int limitMs)
{
    CliRun run;
    if (m_pid <= 0) {
        run.err = "korvane-cli did not start: " + m_startError;
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (m_out >= 0 || m_err >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            run.timedOut = true;
            break;
        }
        ReadSome(static_cast<int>(left.count()));
    }
    if (run.timedOut) {
        kill(m_pid, SIGKILL);
    }
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = m_outText;
    run.err = m_errText;
    return run;
}

const char* TerminalUnavailableReason()
{
    return nullptr;
}
#endif

bool CliProcess::ReadUntil(const std::function<bool(const std::string&, const std::string&)>& done, int limitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done(m_outText, m_errText)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) {
            return done(m_outText, m_errText);
        }
    }
    return true;
}

CliRun RunCli(const std::vector<std::string>& args, const std::string& workDir, int limitMs, bool errorIsTerminal)
{
    CliProcess process(args, workDir, errorIsTerminal);
    return process.Wait(limitMs);
}

std::string FreshFolder(const std::string& suffix)
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("korvane-cli-") + info->test_suite_name() + "." + info->name() + suffix;
    for (char& c : name) {
        c = (c == '/') ? '_' : c;
    }
    std::filesystem::path path = std::filesystem::path(::testing::TempDir()) / name;
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path.string();
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}
