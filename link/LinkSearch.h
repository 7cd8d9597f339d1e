#pragma once
// Discovery as a machine on an event loop: one search request sent to a broadcast address,
// then every valid reply reported as it arrives, for the whole search window. Driven from
// its loop's thread only, like the exchange that owns it (LinkExchange.h).

#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "EncoderLink.h"

class LinkSearch : public std::enable_shared_from_this<LinkSearch> {
public:
    using Found = std::function<void(const std::string& dotted)>;
    using Over = std::function<void()>;

    // Made through std::make_shared: the loop's completions keep it alive. `options` must
    // outlive it.
    LinkSearch(asio::io_context& io, const LinkOptions& options);
    LinkSearch(const LinkSearch&) = delete;
    LinkSearch& operator=(const LinkSearch&) = delete;

    // Sends the request to `broadcastAddress` (host order) and listens: `found` for each valid
    // reply, `over` once when the window has closed or the socket failed, never inside this
    // call. A socket that cannot be made leaves the OS's reason in LocalError().
    void Start(uint32_t broadcastAddress, Found found, Over over);
    // Ends the search at once: the socket closed, nothing more reported, `over` not called.
    void Close();

    const std::string& LocalError() const { return m_localError; }
    int LocalErrorCode() const { return m_localErrorCode; }

private:
    void Listen();
    void DrainReplies();
    void End();

    asio::io_context& m_io;
    const LinkOptions& m_options;
    asio::ip::udp::socket m_socket;
    asio::steady_timer m_timer;
    std::chrono::steady_clock::time_point m_end;
    // Each armed pass has a number; a completion for an older one is stale and ignored.
    uint64_t m_step = 0;
    Found m_found;
    Over m_over;
    std::string m_localError;
    int m_localErrorCode = 0;
};
