#pragma once
// What the monitor's process tests need around korvane-cli: the stand-in as a process
// changed through its control input, the metrics port the monitor names, and plain
// loopback HTTP clients (well-behaved and not).

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "CliProcess.h"

// korvane-sim with `args`, its standard input kept for control commands.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args);
    ~SimProcess();   // SIGTERM, then reaped
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool Started() const { return m_commandPort != 0; }
    uint16_t CommandPort() const { return m_commandPort; }
    // Sends one control command; true when the stand-in answered "control: ok".
    bool Control(const std::string& line);

private:
    std::string ReadLine(int limitMs);

    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_pending;
    uint16_t m_commandPort = 0;
};

// The port of "korvane-cli: metrics on http://HOST:PORT/metrics"; 0 when it did not say.
uint16_t MetricsPortOf(CliProcess& monitor);

struct HttpReply {
    int status = 0;   // 0: the connection ended without a status line
    std::string headers;
    std::string body;
    std::string raw;
};

// Sends `request` as it stands to 127.0.0.1:`port` and reads the reply to the connection's end.
HttpReply HttpGet(uint16_t port, const std::string& request, int limitMs = 5000);

// A client connection that does only what the test says.
class LoopbackConnection {
public:
    explicit LoopbackConnection(uint16_t port) : m_port(port) {}
    LoopbackConnection(LoopbackConnection&& other) noexcept;
    LoopbackConnection& operator=(LoopbackConnection&&) = delete;
    ~LoopbackConnection();
    bool Open();
    bool Send(const std::string& bytes);

private:
    uint16_t m_port;
    int m_fd = -1;
};

// A port someone else already listens on.
class LoopbackListener {
public:
    LoopbackListener() = default;
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
    bool Listen();
    uint16_t Port() const { return m_port; }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};
