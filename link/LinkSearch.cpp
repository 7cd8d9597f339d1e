#include "LinkSearch.h"

#include <asio/post.hpp>

#include <algorithm>

#include "LinkIo.h"
#include "LinkProtocol.h"

LinkSearch::LinkSearch(asio::io_context& io, const LinkOptions& options)
    : m_io(io), m_options(options), m_socket(io), m_timer(io)
{}

void LinkSearch::Start(uint32_t broadcastAddress, Found found, Over over)
{
    m_found = std::move(found);
    m_over = std::move(over);
    auto self = shared_from_this();
    auto fail = [self] { asio::post(self->m_io, [self] { self->End(); }); };
    asio::error_code error;
    m_socket.open(asio::ip::udp::v4(), error);
    if (error) {
        m_localError = error.message();
        m_localErrorCode = error.value();
        fail();
        return;
    }
    m_socket.set_option(asio::socket_base::reuse_address(true), error);
    m_socket.set_option(asio::socket_base::broadcast(true), error);   // a search sent to a broadcast address needs it
    // Every encoder of a subnet answers at once; room for a whole /24 of replies.
    m_socket.set_option(asio::socket_base::receive_buffer_size(256 * 1024), error);
    m_socket.non_blocking(true, error);
    uint8_t request[kSearchRequestSize] = {};
    BuildSearchRequest(request);
    asio::ip::udp::endpoint to(asio::ip::address_v4(broadcastAddress), m_options.searchPort);
    size_t sent = m_socket.send_to(asio::buffer(request, kSearchRequestSize), to, 0, error);
    if (error || sent == 0) {
        fail();
        return;
    }
    m_end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, m_options.timing.searchWindowMs));
    Listen();
}

void LinkSearch::Close()
{
    ++m_step;
    asio::error_code ignored;
    m_socket.close(ignored);
    m_timer.cancel();
    // The callbacks may hold the search's owner, which holds the search.
    m_found = nullptr;
    m_over = nullptr;
}

void LinkSearch::End()
{
    Over over = std::move(m_over);
    Close();
    if (over) {
        over();
    }
}

// Listens for the whole window, each pass at most one receive time-out long.
void LinkSearch::Listen()
{
    int left = MsUntil(m_end, true);
    if (left == 0) {
        End();
        return;
    }
    int passMs = std::min(left, m_options.timing.receiveTimeoutMs > 0 ? m_options.timing.receiveTimeoutMs : 1);
    auto self = shared_from_this();
    const uint64_t step = ++m_step;
    m_timer.expires_after(std::chrono::milliseconds(passMs));
    m_timer.async_wait([self, step](const asio::error_code&) {
        if (step != self->m_step) {
            return;
        }
        ++self->m_step;
        asio::error_code ignored;
        self->m_socket.cancel(ignored);
        self->Listen();
    });
    m_socket.async_wait(asio::ip::udp::socket::wait_read, [self, step](const asio::error_code& error) {
        if (step != self->m_step) {
            return;
        }
        ++self->m_step;
        self->m_timer.cancel();
        if (error) {
            self->End();
            return;
        }
        self->DrainReplies();
        if (step + 1 == self->m_step) {   // a reply's report may have closed the search
            self->Listen();
        }
    });
}

void LinkSearch::DrainReplies()
{
    // A report may close the search, which lets go of its callback: this pass keeps its own.
    const Found found = m_found;
    const uint64_t step = m_step;
    uint8_t buffer[kSearchBufferSize];
    while (step == m_step) {
        asio::ip::udp::endpoint from;
        asio::error_code error;
        size_t count = m_socket.receive_from(asio::buffer(buffer, sizeof buffer), from, 0, error);
        if (error) {
            return;   // nothing more has arrived (or a stray error: the next pass sees)
        }
        std::string dotted;
        if (count > 0 && ParseSearchReply(buffer, count, dotted) && found) {
            found(dotted);
        }
    }
}
