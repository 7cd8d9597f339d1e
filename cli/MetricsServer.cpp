#include "MetricsServer.h"

#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <microhttpd.h>

#include "MetricsText.h"

namespace {

constexpr const char* kMetricsPath = "/metrics";

MHD_Result Answer(MHD_Connection* connection, unsigned status, const std::string& body, const char* contentType)
{
    MHD_Response* response =
        MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) {
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, contentType);
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    }
    MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                     const char* /*version*/, const char* /*uploadData*/, size_t* /*uploadSize*/, void** /*state*/)
{
    const MetricsServer& server = *static_cast<const MetricsServer*>(cls);
    if (std::strcmp(url, kMetricsPath) != 0) {
        return Answer(connection, MHD_HTTP_NOT_FOUND, "Not found: the metrics are at /metrics\n",
                      "text/plain; charset=utf-8");
    }
    // A request with a body is answered at once; the body is never read, and the library
    // closes the connection instead of reading it.
    if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 && std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0) {
        return Answer(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET\n", "text/plain; charset=utf-8");
    }
    return Answer(connection, MHD_HTTP_OK, server.Body(), kMetricsContentType);
}

}   // namespace

MetricsServer::~MetricsServer()
{
    if (m_daemon != nullptr) {
        MHD_stop_daemon(m_daemon);
    }
}

bool MetricsServer::Start(const std::string& host, uint16_t port, std::string& error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        error = "cannot resolve " + host;
        return false;
    }
    sockaddr_storage address{};
    std::memcpy(&address, found->ai_addr, found->ai_addrlen < sizeof address ? found->ai_addrlen : sizeof address);
    const bool v6 = found->ai_family == AF_INET6;
    freeaddrinfo(found);

    unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD | (v6 ? MHD_USE_IPv6 : 0);
    m_daemon = MHD_start_daemon(flags, port, nullptr, nullptr, &OnRequest, this, MHD_OPTION_SOCK_ADDR,
                                reinterpret_cast<sockaddr*>(&address), MHD_OPTION_CONNECTION_LIMIT, kMaxConnections,
                                MHD_OPTION_CONNECTION_MEMORY_LIMIT, kRequestMemoryBytes, MHD_OPTION_CONNECTION_TIMEOUT,
                                kIdleTimeoutSeconds, MHD_OPTION_END);
    if (m_daemon == nullptr) {
        error = "cannot listen on " + host + ":" + service;
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info != nullptr ? info->port : port;
    return true;
}

void MetricsServer::Publish(MonitorFigures figures)
{
    auto snapshot = std::make_shared<const MonitorFigures>(std::move(figures));
    std::lock_guard<std::mutex> lock(m_mutex);
    m_figures.swap(snapshot);
    // The old snapshot goes when the last request reading it is answered.
}

std::string MetricsServer::Body() const
{
    std::shared_ptr<const MonitorFigures> figures;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        figures = m_figures;
    }
    return MetricsText(*figures);
}
