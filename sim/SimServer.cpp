#include "SimServer.h"

#include <asio/error.hpp>
#include <asio/ip/udp.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>

#include <algorithm>
#include <array>
#include <list>
#include <utility>

#include "LinkProtocol.h"
#include "SimAnswers.h"
#include "TextConversions.h"

namespace {

// A write larger than this is no settings document; the connection is dropped.
constexpr int32_t kMaxWriteLength = 1 << 20;
// Clients that never close (a silent encoder's peers) must not pile up without end;
// each encoder keeps this many at most.
constexpr size_t kMaxConnections = 64;
// How often a fleet on ephemeral ports looks for a pair of ports free on all its addresses.
constexpr int kBindAttempts = 20;
// A listener whose accept failed for want of descriptors or memory stays ready; it rests
// this long before it tries again, rather than spinning.
constexpr int kAcceptPauseMs = 20;
// Every receive of a connection takes at most this much; a request is a header and, for a
// write, its document.
constexpr size_t kChunkSize = 65536;

}   // namespace

struct SimServer::Connection {
    Connection(asio::io_context& io, asio::ip::tcp::socket accepted, Endpoint& at)
        : socket(std::move(accepted)), timer(io), endpoint(&at)
    {}

    asio::ip::tcp::socket socket;
    asio::steady_timer timer;   // the answer's next bytes
    Endpoint* endpoint;
    std::list<ConnectionPtr>::iterator place;   // in endpoint->connections
    bool closed = false;

    std::vector<uint8_t> input;
    bool answered = false;

    std::vector<uint8_t> output;   // the reply, sent from `sent` on when `due`
    size_t sent = 0;
    size_t burst = 0;   // bytes that go at once before the trickle starts
    bool pending = false;
    bool closeAfter = false;   // close once the output is out
    Clock::time_point due;
    int stepMs = 0;   // 0: everything at once; else one byte per step
};

struct SimServer::Endpoint {
    Endpoint(asio::io_context& io, SimEncoder::State& state) : encoder(&state), listener(io), datagrams(io), pause(io)
    {}

    SimEncoder::State* encoder;
    asio::ip::tcp::acceptor listener;
    asio::ip::udp::socket datagrams;        // closed without discovery
    asio::steady_timer pause;               // between a failed accept and the next
    std::list<ConnectionPtr> connections;   // oldest first
    std::array<uint8_t, kSearchBufferSize> request{};
    asio::ip::udp::endpoint from;
};

SimServer::SimServer(const SimOptions& options, SimEncoder::Shared& shared, const Encoders& encoders)
    : m_options(options), m_shared(shared), m_encoders(encoders)
{}

SimServer::~SimServer()
{
    Stop();
}

void SimServer::CloseAll()
{
    m_datagrams.clear();
    for (auto& endpoint : m_endpoints) {
        for (const ConnectionPtr& connection : endpoint->connections) {
            asio::error_code ignored;
            connection->socket.close(ignored);
        }
    }
    m_endpoints.clear();
}

bool SimServer::Bind(std::string& error)
{
    using asio::ip::address_v4;
    for (int attempt = 0; attempt < kBindAttempts; ++attempt) {
        uint16_t commandPort = m_options.commandPort;
        uint16_t searchPort = m_options.searchPort;
        bool retry = false;
        error.clear();
        CloseAll();
        for (size_t i = 0; i < m_encoders.size() && error.empty(); ++i) {
            SimEncoder::State& encoder = *m_encoders[i];
            const std::string dotted = FormatDotted(encoder.address);
            m_endpoints.push_back(std::make_unique<Endpoint>(m_io, encoder));
            Endpoint& endpoint = *m_endpoints.back();
            asio::error_code failed;
            endpoint.listener.open(asio::ip::tcp::v4(), failed);
            if (!failed) {
                asio::error_code ignored;   // a restart must not wait for old connections
                endpoint.listener.set_option(asio::socket_base::reuse_address(true), ignored);
                endpoint.listener.bind({address_v4(encoder.address), commandPort}, failed);
            }
            if (!failed) {
                endpoint.listener.listen(128, failed);
            }
            if (failed) {
                error = "cannot listen on " + dotted + " port " + std::to_string(commandPort);
                retry = i > 0 && m_options.commandPort == 0;
                break;
            }
            asio::error_code unknown;
            commandPort = endpoint.listener.local_endpoint(unknown).port();
            if (!m_options.discovery) {
                continue;
            }
            // No address reuse here: two datagram sockets on one address and port would
            // split the searches between them without a word.
            endpoint.datagrams.open(asio::ip::udp::v4(), failed);
            if (!failed) {
                endpoint.datagrams.bind({address_v4(encoder.address), searchPort}, failed);
            }
            if (failed) {
                error = "cannot bind " + dotted + " port " + std::to_string(searchPort);
                retry = i > 0 && m_options.searchPort == 0;
                break;
            }
            searchPort = endpoint.datagrams.local_endpoint(unknown).port();
        }
        if (error.empty()) {
            m_commandPort = commandPort;
            m_searchPort = m_options.discovery ? searchPort : 0;
            return true;
        }
        CloseAll();
        if (!retry) {
            return false;
        }
    }
    return false;
}

void SimServer::Start()
{
    m_io.restart();
    m_stopping = false;
    m_chunk.assign(kChunkSize, 0);
    // Armed on the loop, so that every socket is touched by the server thread alone.
    asio::post(m_io, [this] {
        for (auto& endpoint : m_endpoints) {
            Accept(*endpoint);
            if (endpoint->datagrams.is_open()) {
                ReceiveDatagram(*endpoint);
            }
        }
    });
    m_thread = std::thread([this] { m_io.run(); });
}

void SimServer::Stop()
{
    if (m_thread.joinable()) {
        // Every socket closed and every timer cancelled on the loop: their waits end at
        // once, nothing new is armed, and the loop returns.
        asio::post(m_io, [this] { Shutdown(); });
        m_thread.join();
    }
    CloseAll();
}

void SimServer::Shutdown()
{
    m_stopping = true;
    m_datagrams.clear();
    m_datagramTimer.cancel();
    for (auto& endpoint : m_endpoints) {
        asio::error_code ignored;
        endpoint->listener.close(ignored);
        endpoint->datagrams.close(ignored);
        endpoint->pause.cancel();
        while (!endpoint->connections.empty()) {
            Drop(*endpoint->connections.front());
        }
    }
}

void SimServer::Accept(Endpoint& endpoint)
{
    endpoint.listener.async_accept([this, &endpoint](asio::error_code error, asio::ip::tcp::socket socket) {
        OnAccepted(endpoint, error, std::move(socket));
    });
}

void SimServer::OnAccepted(Endpoint& endpoint, asio::error_code error, asio::ip::tcp::socket socket)
{
    if (m_stopping || error == asio::error::operation_aborted) {
        return;
    }
    if (error) {
        // A client that gave up before its turn is nothing to wait for; a want of
        // descriptors or memory is.
        if (error == asio::error::connection_aborted || error == asio::error::try_again) {
            Accept(endpoint);
            return;
        }
        endpoint.pause.expires_after(std::chrono::milliseconds(kAcceptPauseMs));
        endpoint.pause.async_wait([this, &endpoint](asio::error_code waited) {
            if (!waited && !m_stopping) {
                Accept(endpoint);
            }
        });
        return;
    }
    MakeRoomFor(endpoint);
    asio::error_code ignored;
    socket.non_blocking(true, ignored);   // a receive after readiness never blocks the loop
    auto connection = std::make_shared<Connection>(m_io, std::move(socket), endpoint);
    endpoint.connections.push_back(connection);
    connection->place = std::prev(endpoint.connections.end());
    AwaitRequest(connection);
    Accept(endpoint);   // the next pending connection, at once if it is there
}

// Keeps at most kMaxConnections per encoder: the oldest of `endpoint`'s has had its chance.
void SimServer::MakeRoomFor(Endpoint& endpoint)
{
    if (endpoint.connections.size() >= kMaxConnections) {
        Drop(*endpoint.connections.front());
    }
}

void SimServer::Drop(Connection& connection)
{
    if (connection.closed) {
        return;
    }
    connection.closed = true;
    asio::error_code ignored;
    connection.socket.close(ignored);
    connection.timer.cancel();
    // The last owner may be this list: the waits still armed hold the connection alive
    // until they have run.
    ConnectionPtr keep = *connection.place;
    connection.endpoint->connections.erase(connection.place);
}

// Waits for the connection to be readable, then takes one receive into the shared chunk:
// no connection holds a buffer of its own while it waits.
void SimServer::AwaitRequest(const ConnectionPtr& connection)
{
    connection->socket.async_wait(asio::ip::tcp::socket::wait_read, [this, connection](asio::error_code error) {
        if (connection->closed || m_stopping) {
            return;
        }
        const bool answered = connection->answered;
        if (error || !ServeConnection(*connection)) {
            Drop(*connection);
            return;
        }
        AwaitRequest(connection);
        if (!answered && connection->answered) {
            LineUp(connection);   // once: from here on its timer and its sends carry it
        }
    });
}

bool SimServer::ServeConnection(Connection& connection)
{
    asio::error_code error;
    size_t count = connection.socket.read_some(asio::buffer(m_chunk), error);
    if (error == asio::error::would_block || error == asio::error::try_again) {
        return true;   // woken for nothing; the wait goes on
    }
    if (error || count == 0) {
        return false;   // the peer closed, or the connection failed
    }
    if (connection.answered) {
        return true;   // one request per connection; anything after it is ignored
    }
    connection.input.insert(connection.input.end(), m_chunk.begin(), m_chunk.begin() + static_cast<ptrdiff_t>(count));
    if (connection.input.size() < FrameHeader::kSize) {
        return true;
    }
    FrameHeader header = FrameHeader::Decode(connection.input.data());
    size_t needed = FrameHeader::kSize;
    if (header.code == CMD_WRITE_CONFIG) {
        if (header.length < 0 || header.length > kMaxWriteLength) {
            return false;
        }
        needed += static_cast<size_t>(header.length);
    }
    if (connection.input.size() < needed) {
        return true;
    }
    connection.answered = true;
    // The answer is lined up after the encoder's delay.
    SimAnswer answer =
        AnswerCommand(m_shared, *connection.endpoint->encoder, connection.input, header, m_options, Fleet());
    connection.due = answer.due;
    connection.stepMs = answer.stepMs;
    connection.burst = FrameHeader::kSize;
    connection.output = std::move(answer.reply.bytes);
    connection.closeAfter = answer.reply.close;
    connection.pending = !connection.output.empty() || connection.closeAfter;
    return true;
}

void SimServer::LineUp(const ConnectionPtr& connection)
{
    if (!connection->pending || connection->closed) {
        return;
    }
    if (connection->due <= Clock::now()) {
        SendNext(connection);
        return;
    }
    connection->timer.expires_at(connection->due);
    connection->timer.async_wait([this, connection](asio::error_code error) {
        if (!error && !connection->closed && !m_stopping) {
            SendNext(connection);
        }
    });
}

void SimServer::SendNext(const ConnectionPtr& connection)
{
    Connection& c = *connection;
    c.pending = false;   // until this step's bytes are out
    const size_t left = c.output.size() - c.sent;
    size_t count = left;
    if (c.stepMs > 0 && c.sent >= c.burst) {
        count = std::min<size_t>(left, 1);
    } else if (c.stepMs > 0) {
        count = std::min(left, c.burst - c.sent);
    }
    if (count == 0) {
        if (c.closeAfter) {
            Drop(c);
        }
        return;
    }
    const Clock::time_point started = Clock::now();
    asio::async_write(c.socket, asio::buffer(c.output.data() + c.sent, count),
                      [this, connection, started](asio::error_code error, size_t written) {
                          Connection& c = *connection;
                          if (c.closed || m_stopping) {
                              return;
                          }
                          if (error) {
                              Drop(c);
                              return;
                          }
                          c.sent += written;
                          if (c.sent < c.output.size()) {
                              c.pending = true;
                              c.due = started + std::chrono::milliseconds(c.stepMs);
                              LineUp(connection);
                          } else if (c.closeAfter) {
                              Drop(c);
                          }
                      });
}

void SimServer::ReceiveDatagram(Endpoint& endpoint)
{
    endpoint.datagrams.async_receive_from(
        asio::buffer(endpoint.request), endpoint.from, [this, &endpoint](asio::error_code error, size_t count) {
            if (m_stopping || error == asio::error::operation_aborted || !endpoint.datagrams.is_open()) {
                return;
            }
            // A failed receive (an unreachable peer of an
            // earlier reply, a datagram too large) is passed.
            if (!error && count > 0) {
                ServeDatagram(endpoint, count);
            }
            ReceiveDatagram(endpoint);
        });
}

void SimServer::ServeDatagram(Endpoint& endpoint, size_t count)
{
    const uint32_t fromAddr = endpoint.from.address().to_v4().to_uint();
    const uint16_t fromPort = endpoint.from.port();
    SimSearchAnswer answer = AnswerSearch(m_shared, *endpoint.encoder, endpoint.request.data(), static_cast<int>(count),
                                          fromAddr, m_options, Fleet());
    if (answer.replies.empty()) {
        return;
    }
    const bool first = m_datagrams.empty() || answer.due < m_datagrams.begin()->first;
    for (std::vector<uint8_t>& reply : answer.replies) {
        m_datagrams.emplace(answer.due, PendingDatagram{&endpoint, fromAddr, fromPort, std::move(reply)});
    }
    if (answer.due <= Clock::now()) {
        SendDueDatagrams();
    } else if (first) {
        m_datagramTimer.expires_at(answer.due);
        m_datagramTimer.async_wait([this](asio::error_code error) {
            if (!error && !m_stopping) {
                SendDueDatagrams();
            }
        });
    }
}

// Sends every reply whose time has come, in the order their searches came, and waits for
// the next.
void SimServer::SendDueDatagrams()
{
    const Clock::time_point now = Clock::now();
    while (!m_datagrams.empty() && m_datagrams.begin()->first <= now) {
        PendingDatagram& datagram = m_datagrams.begin()->second;
        asio::error_code ignored;
        datagram.endpoint->datagrams.send_to(asio::buffer(datagram.bytes),
                                             {asio::ip::address_v4(datagram.toAddr), datagram.toPort}, 0, ignored);
        m_datagrams.erase(m_datagrams.begin());
    }
    if (!m_datagrams.empty()) {
        m_datagramTimer.expires_at(m_datagrams.begin()->first);
        m_datagramTimer.async_wait([this](asio::error_code error) {
            if (!error && !m_stopping) {
                SendDueDatagrams();
            }
        });
    }
}
