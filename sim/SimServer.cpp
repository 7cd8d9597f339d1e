#include "SimServer.h"

#include <algorithm>
#include <utility>

#include "LinkProtocol.h"
#include "SimAnswers.h"
#include "TextConversions.h"

namespace {

// A write larger than this is no settings document; the connection is dropped.
constexpr int32_t kMaxWriteLength = 1 << 20;
// The longest the server sleeps without looking at its stop flag.
constexpr int kPollMs = 20;
// Clients that never close (a silent encoder's peers) must not pile up without end;
// each encoder keeps this many at most.
constexpr size_t kMaxConnections = 64;
// How often a fleet on ephemeral ports looks for a pair of ports free on all its addresses.
constexpr int kBindAttempts = 20;

// Milliseconds until `due`, rounded up, within 0..kPollMs.
int MsUntil(std::chrono::steady_clock::time_point due, std::chrono::steady_clock::time_point now)
{
    if (due <= now) {
        return 0;
    }
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
    return static_cast<int>(std::min<decltype(ms)>(ms, kPollMs));
}

}   // namespace

SimServer::SimServer(const SimOptions& options, SimEncoder::Shared& shared, const Encoders& encoders)
    : m_options(options), m_shared(shared), m_encoders(encoders)
{}

SimServer::~SimServer()
{
    Stop();
}

void SimServer::CloseAll()
{
    m_connections.clear();
    m_datagrams.clear();
    for (auto& encoder : m_encoders) {
        encoder->listener.Close();
        encoder->datagrams.Close();
    }
}

bool SimServer::Bind(std::string& error)
{
    for (int attempt = 0; attempt < kBindAttempts; ++attempt) {
        uint16_t commandPort = m_options.commandPort;
        uint16_t searchPort = m_options.searchPort;
        bool retry = false;
        error.clear();
        for (size_t i = 0; i < m_encoders.size() && error.empty(); ++i) {
            SimEncoder::State& encoder = *m_encoders[i];
            const std::string dotted = FormatDotted(encoder.address);
            encoder.listener = CSocket(CSocket::Kind::Tcp);
            encoder.listener.SetReuseAddress(true);   // a restart must not wait for old connections
            if (!encoder.listener.Bind(encoder.address, commandPort) || !encoder.listener.Listen(128)) {
                error = "cannot listen on " + dotted + " port " + std::to_string(commandPort);
                retry = i > 0 && m_options.commandPort == 0;
                break;
            }
            commandPort = encoder.listener.LocalPort();
            if (!m_options.discovery) {
                continue;
            }
            // No address reuse here: two datagram sockets on one address and port would
            // split the searches between them without a word.
            encoder.datagrams = CSocket(CSocket::Kind::Udp);
            if (!encoder.datagrams.Bind(encoder.address, searchPort)) {
                error = "cannot bind " + dotted + " port " + std::to_string(searchPort);
                retry = i > 0 && m_options.searchPort == 0;
                break;
            }
            searchPort = encoder.datagrams.LocalPort();
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
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
}

void SimServer::Stop()
{
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    CloseAll();
}

bool SimServer::ServeConnection(Connection& connection)
{
    int count = connection.socket.Receive(m_chunk.data(), static_cast<int>(m_chunk.size()));
    if (count <= 0) {
        return false;
    }
    if (connection.answered) {
        return true;   // one request per connection; anything after it is ignored
    }
    connection.input.insert(connection.input.end(), m_chunk.begin(), m_chunk.begin() + count);
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
    SimAnswer answer = AnswerCommand(m_shared, *connection.encoder, connection.input, header, m_options, Fleet());
    connection.due = answer.due;
    connection.stepMs = answer.stepMs;
    connection.burst = FrameHeader::kSize;
    connection.output = std::move(answer.reply.bytes);
    connection.closeAfter = answer.reply.close;
    connection.pending = !connection.output.empty() || connection.closeAfter;
    return true;
}

bool SimServer::SendDue(Connection& connection)
{
    const Clock::time_point now = Clock::now();
    if (!connection.pending || connection.due > now) {
        return true;
    }
    size_t left = connection.output.size() - connection.sent;
    size_t count = left;
    if (connection.stepMs > 0 && connection.sent >= connection.burst) {
        count = std::min<size_t>(left, 1);
    } else if (connection.stepMs > 0) {
        count = std::min(left, connection.burst - connection.sent);
    }
    if (count > 0 && connection.socket.Send(connection.output.data() + connection.sent, static_cast<int>(count)) !=
                         static_cast<int>(count)) {
        return false;
    }
    connection.sent += count;
    if (connection.sent < connection.output.size()) {
        connection.due = now + std::chrono::milliseconds(connection.stepMs);
        return true;
    }
    connection.pending = false;
    return !connection.closeAfter;
}

void SimServer::ServeDatagram(SimEncoder::State& encoder)
{
    uint8_t request[kSearchBufferSize];
    uint32_t fromAddr = 0;
    uint16_t fromPort = 0;
    int count = encoder.datagrams.ReceiveFrom(request, sizeof request, &fromAddr, &fromPort);
    if (count <= 0) {
        return;
    }
    SimSearchAnswer answer = AnswerSearch(m_shared, encoder, request, count, fromAddr, m_options, Fleet());
    for (std::vector<uint8_t>& reply : answer.replies) {
        m_datagrams.push_back({&encoder, answer.due, fromAddr, fromPort, std::move(reply)});
    }
}

// Keeps at most kMaxConnections per encoder: the oldest of `encoder`'s has had its chance.
void SimServer::MakeRoomFor(const SimEncoder::State* encoder)
{
    size_t count = 0;
    size_t oldest = m_connections.size();
    for (size_t i = 0; i < m_connections.size(); ++i) {
        if (m_connections[i].encoder == encoder) {
            oldest = count++ == 0 ? i : oldest;
        }
    }
    if (count >= kMaxConnections) {
        m_connections.erase(m_connections.begin() + static_cast<std::ptrdiff_t>(oldest));
    }
}

// Every pending connection at once, so that a quick run of exchanges never fills the
// backlog (a dropped connect is retried only a second later).
void SimServer::AcceptAll(SimEncoder::State& encoder, bool ready)
{
    for (bool pending = ready; pending; pending = encoder.listener.WaitReadable(0)) {
        CSocket accepted = encoder.listener.Accept();
        if (!accepted.Valid()) {
            break;
        }
        MakeRoomFor(&encoder);
        Connection connection;
        connection.socket = std::move(accepted);
        connection.encoder = &encoder;
        m_connections.push_back(std::move(connection));
    }
}

void SimServer::Run()
{
    std::vector<const CSocket*> sockets;
    m_chunk.assign(65536, 0);
    const size_t fixedSockets = m_encoders.size() * 2;   // listener and datagrams per encoder
    while (!m_stop) {
        Clock::time_point now = Clock::now();
        int timeoutMs = kPollMs;
        for (const Connection& connection : m_connections) {
            if (connection.pending) {
                timeoutMs = std::min(timeoutMs, MsUntil(connection.due, now));
            }
        }
        for (const PendingDatagram& datagram : m_datagrams) {
            timeoutMs = std::min(timeoutMs, MsUntil(datagram.due, now));
        }
        sockets.clear();
        for (const auto& encoder : m_encoders) {
            sockets.push_back(&encoder->listener);
            // Without discovery the listener takes the datagram socket's place too, so
            // that every encoder keeps its two places in `ready`.
            sockets.push_back(encoder->datagrams.Valid() ? &encoder->datagrams : &encoder->listener);
        }
        for (const Connection& connection : m_connections) {
            sockets.push_back(&connection.socket);
        }
        std::unique_ptr<bool[]> ready(new bool[sockets.size()]);
        int result = CSocket::WaitAnyReadable(sockets.data(), sockets.size(), ready.get(), timeoutMs);
        if (result < 0) {
            continue;
        }
        now = Clock::now();
        // Connections first, from the back: the list shrinks here and grows below.
        for (size_t i = m_connections.size(); i-- > 0;) {
            Connection& connection = m_connections[i];
            bool keep = !ready[fixedSockets + i] || ServeConnection(connection);
            keep = keep && SendDue(connection);
            if (!keep) {
                m_connections.erase(m_connections.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        for (size_t e = 0; e < m_encoders.size(); ++e) {
            if (ready[2 * e + 1] && m_encoders[e]->datagrams.Valid()) {
                ServeDatagram(*m_encoders[e]);
            }
        }
        for (size_t i = 0; i < m_datagrams.size();) {
            PendingDatagram& datagram = m_datagrams[i];
            if (datagram.due <= now) {
                datagram.encoder->datagrams.SendTo(datagram.bytes.data(), static_cast<int>(datagram.bytes.size()),
                                                   datagram.toAddr, datagram.toPort);
                m_datagrams.erase(m_datagrams.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                ++i;
            }
        }
        for (size_t e = 0; e < m_encoders.size(); ++e) {
            AcceptAll(*m_encoders[e], ready[2 * e]);
        }
    }
}
