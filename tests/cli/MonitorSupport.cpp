#include "MonitorSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <regex>

#include "../EndsWithTest.h"

namespace {

using Clock = std::chrono::steady_clock;

int LeftMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}   // namespace

SimProcess::SimProcess(const std::vector<std::string>& args)
{
    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    if (pipe2(in, O_CLOEXEC) != 0) {
        return;
    }
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(KORVANE_SIM_PATH));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t test = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        EndWithTest(test);
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        execv(KORVANE_SIM_PATH, argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    m_in = in[1];
    m_out = out[0];
    if (pid < 0) {
        return;
    }
    m_pid = pid;
    static const std::regex ports("command port (\\d+), search port");
    std::smatch match;
    std::string first = ReadLine(10000);
    if (std::regex_search(first, match, ports)) {
        m_commandPort = static_cast<uint16_t>(std::atoi(match[1].str().c_str()));
    }
}

SimProcess::~SimProcess()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        // Its loop looks at the stop flag every 50 ms; a stand-in that does not end is killed.
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
        int status = 0;
        while (waitpid(m_pid, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &status, 0);
                break;
            }
            poll(nullptr, 0, 20);
        }
    }
    if (m_in >= 0) close(m_in);
    if (m_out >= 0) close(m_out);
}

std::string SimProcess::ReadLine(int limitMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return line;
        }
        pollfd fd{m_out, POLLIN, 0};
        if (m_out < 0 || poll(&fd, 1, LeftMs(deadline)) <= 0) {
            return {};
        }
        char buffer[4096];
        ssize_t count = read(m_out, buffer, sizeof buffer);
        if (count <= 0) {
            return {};
        }
        m_pending.append(buffer, static_cast<size_t>(count));
    }
}

bool SimProcess::Control(const std::string& line)
{
    const std::string text = line + "\n";
    if (m_in < 0 || write(m_in, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        return false;
    }
    for (;;) {
        std::string answer = ReadLine(10000);
        if (answer.empty()) {
            return false;
        }
        if (answer.rfind("control: ", 0) == 0) {
            return answer == "control: ok";
        }
    }
}

uint16_t MetricsPortOf(CliProcess& monitor)
{
    static const std::regex said("korvane-cli: metrics on http://127\\.0\\.0\\.1:(\\d+)/metrics\n");
    std::smatch match;
    monitor.ReadUntil([](const std::string&, const std::string& err) { return std::regex_search(err, said); });
    const std::string err = monitor.Err();
    if (!std::regex_search(err, match, said)) {
        return 0;
    }
    return static_cast<uint16_t>(std::atoi(match[1].str().c_str()));
}

HttpReply HttpGet(uint16_t port, const std::string& request, int limitMs)
{
    HttpReply reply;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return reply;
    }
    sockaddr_in address = Loopback(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return reply;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    size_t sent = 0;
    // The server may answer and close before the whole request is in: that is its right.
    while (sent < request.size()) {
        ssize_t count = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (count <= 0) {
            break;
        }
        sent += static_cast<size_t>(count);
    }
    char buffer[65536];
    for (;;) {
        pollfd in{fd, POLLIN, 0};
        if (poll(&in, 1, LeftMs(deadline)) <= 0) {
            break;
        }
        ssize_t count = recv(fd, buffer, sizeof buffer, 0);
        if (count <= 0) {
            break;
        }
        reply.raw.append(buffer, static_cast<size_t>(count));
    }
    close(fd);
    if (reply.raw.rfind("HTTP/1.", 0) == 0 && reply.raw.size() > 12) {
        reply.status = std::atoi(reply.raw.substr(9, 3).c_str());
    }
    size_t end = reply.raw.find("\r\n\r\n");
    if (end != std::string::npos) {
        reply.headers = reply.raw.substr(0, end);
        reply.body = reply.raw.substr(end + 4);
    }
    return reply;
}

LoopbackConnection::LoopbackConnection(LoopbackConnection&& other) noexcept : m_port(other.m_port), m_fd(other.m_fd)
{
    other.m_fd = -1;
}

LoopbackConnection::~LoopbackConnection()
{
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool LoopbackConnection::Open()
{
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(m_port);
    return m_fd >= 0 && connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool LoopbackConnection::Send(const std::string& bytes)
{
    return m_fd >= 0 && send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

LoopbackListener::~LoopbackListener()
{
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool LoopbackListener::Listen()
{
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(m_fd, 4) != 0 ||
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return false;
    }
    m_port = ntohs(address.sin_port);
    return true;
}
