#pragma once
// The monitor's HTTP endpoint: GET /metrics answers the figures last published in the
// Prometheus text format; every other path is 404. It runs on a thread of its own (GNU
// libmicrohttpd's), so a slow or hostile client never holds up polling: the poll loop only
// swaps in a new snapshot. Bounds: at most kMaxConnections connections at once (more are
// refused at accept), kRequestMemoryBytes of request line and headers per connection
// (larger requests are answered 431 and closed), and kIdleTimeoutSeconds of silence
// before a connection is closed.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "EncoderMonitor.h"

struct MHD_Daemon;

class MetricsServer {
public:
    static constexpr unsigned kMaxConnections = 32;
    static constexpr size_t kRequestMemoryBytes = 16 * 1024;
    static constexpr unsigned kIdleTimeoutSeconds = 5;

    MetricsServer() = default;
    ~MetricsServer();   // stops serving; a request being answered is finished first
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // Listens on `host` (a name, a dotted address or an IPv6 address) and `port` (0: any
    // free port); false with `error` set when it cannot.
    bool Start(const std::string& host, uint16_t port, std::string& error);
    uint16_t Port() const { return m_port; }

    // What GET /metrics answers from now on. Called by the poll loop; never waits for a
    // request being answered.
    void Publish(MonitorFigures figures);

    // The body of GET /metrics now.
    std::string Body() const;

private:
    MHD_Daemon* m_daemon = nullptr;
    uint16_t m_port = 0;
    mutable std::mutex m_mutex;   // guards m_figures' pointer only
    std::shared_ptr<const MonitorFigures> m_figures = std::make_shared<MonitorFigures>();
};
