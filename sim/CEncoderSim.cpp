#include "CEncoderSim.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>

#include <tinyxml.h>

#include "LinkProtocol.h"
#include "Socket.h"

namespace {

// A write larger than this is no settings document; the connection is dropped.
constexpr int32_t kMaxWriteLength = 1 << 20;
constexpr int kPollMs = 20;
// Clients that never close (a silent encoder's peers) must not pile up without end.
constexpr size_t kMaxConnections = 64;

const std::vector<SimFaultName> kFaultNames = {
    {SimFault::None, "none", "behave like a healthy encoder"},
    {SimFault::WrongCode, "wrong-code", "replies carry another code than the request's"},
    {SimFault::ZeroLength, "zero-length", "replies announce 0 payload bytes"},
    {SimFault::NegativeLength, "negative-length", "replies announce -1 payload bytes"},
    {SimFault::OversizedLength, "oversized-length", "replies announce and send more than the tool's buffer"},
    {SimFault::ShortPayload, "short-payload", "replies send half their payload, then fall silent"},
    {SimFault::ShortCode, "short-code", "2 bytes of the reply code, then close"},
    {SimFault::CloseAfterCode, "close-after-code", "the reply code, then close"},
    {SimFault::CloseAfterLength, "close-after-length", "the reply code and length, then close"},
    {SimFault::Silence, "silence", "read requests but never answer"},
    {SimFault::EarlyClose, "early-close", "close as soon as the request is read"},
    {SimFault::Garbage, "garbage", "well-framed replies whose payload is junk"},
    {SimFault::WrongRoot, "wrong-root", "a settings document whose root is not encoder_202"},
    {SimFault::BadChecksum, "bad-checksum", "discovery reply with a wrong checksum"},
    {SimFault::BadMarker, "bad-marker", "discovery reply without the 4 at offset 6"},
    {SimFault::ShortReply, "short-reply", "discovery reply of 7 bytes"},
    {SimFault::OtherAddress, "other-address", "discovery reply reporting the next address up"},
    {SimFault::SeveralReplies, "several-replies", "discovery answered by own address twice and the next one"},
};

const char kGarbage[] = "\x01\x02junk<<&&>>\xff\xfe not a settings document";

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// The text of <system_info><NAME> of a settings document, or null.
const char* SystemInfoText(TiXmlDocument& document, const char* name) {
    TiXmlElement* root = document.RootElement();
    TiXmlElement* system = root != nullptr ? root->FirstChildElement("system_info") : nullptr;
    TiXmlElement* element = system != nullptr ? system->FirstChildElement(name) : nullptr;
    return element != nullptr ? element->GetText() : nullptr;
}

// Drops every line holding <NAME>...</NAME>: the encoder never hands out passwords.
void RemoveElementLines(std::string& text, const std::string& name) {
    const std::string open = "<" + name + ">";
    for (size_t at = text.find(open); at != std::string::npos; at = text.find(open)) {
        size_t begin = text.rfind('\n', at);
        begin = begin == std::string::npos ? 0 : begin + 1;
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        text.erase(begin, end - begin);
    }
}

}  // namespace

const std::vector<SimFaultName>& SimFaultNames() { return kFaultNames; }

bool SimFaultFromName(const std::string& name, SimFault& fault) {
    for (const SimFaultName& entry : kFaultNames) {
        if (name == entry.name) {
            fault = entry.fault;
            return true;
        }
    }
    return false;
}

struct Connection {
    CSocket socket;
    std::vector<uint8_t> input;
    bool answered = false;
};

// What a reply does to its connection after the bytes went out.
enum class AfterReply { KeepOpen, Close };

struct CEncoderSim::Impl {
    CSocket listener;
    CSocket datagrams;
    std::vector<Connection> connections;

    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
    SimFault fault = SimFault::None;
    std::vector<uint8_t> status;
    std::string password;
    std::string document;
    std::string writeReply;
    std::vector<uint32_t> searchReplies;
    std::string lastWritten;
    std::vector<int32_t> requests;
    std::vector<uint8_t> lastRequest;
    std::vector<uint8_t> lastSearch;
    bool tsRunning = false;
};

CEncoderSim::CEncoderSim(SimOptions options) : m_options(std::move(options)), m_impl(std::make_unique<Impl>()) {
    m_impl->fault = m_options.fault;
    m_impl->status = m_options.status;
    m_impl->password = m_options.password;
}

CEncoderSim::~CEncoderSim() { Stop(); }

bool CEncoderSim::Start() {
    if (m_thread.joinable()) {
        return true;
    }
    m_address = AddressFromDotted(m_options.bindAddress.c_str());
    if (m_address == 0xFFFFFFFFu) {
        m_error = "not an address: " + m_options.bindAddress;
        return false;
    }
    Impl& impl = *m_impl;
    impl.listener = CSocket(CSocket::Kind::Tcp);
    impl.listener.SetReuseAddress(true);
    if (!impl.listener.Bind(m_address, m_options.commandPort) || !impl.listener.Listen(128)) {
        m_error = "cannot listen on " + m_options.bindAddress + " port " + std::to_string(m_options.commandPort);
        impl.listener.Close();
        return false;
    }
    impl.datagrams = CSocket(CSocket::Kind::Udp);
    impl.datagrams.SetReuseAddress(true);
    if (!impl.datagrams.Bind(m_address, m_options.searchPort)) {
        m_error = "cannot bind " + m_options.bindAddress + " port " + std::to_string(m_options.searchPort);
        impl.listener.Close();
        impl.datagrams.Close();
        return false;
    }
    m_commandPort = impl.listener.LocalPort();
    m_searchPort = impl.datagrams.LocalPort();
    {
        std::lock_guard<std::mutex> lock(impl.mutex);
        if (impl.document.empty()) {
            impl.document = DefaultDocument(m_address);
        }
    }
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CEncoderSim::Stop() {
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_impl->connections.clear();
    m_impl->listener.Close();
    m_impl->datagrams.Close();
}

void CEncoderSim::SetFault(SimFault fault) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->fault = fault;
}

void CEncoderSim::SetStatus(const std::vector<uint8_t>& payload) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->status = payload;
}

void CEncoderSim::SetPassword(const std::string& password) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->password = password;
}

std::string CEncoderSim::Password() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->password;
}

void CEncoderSim::SetDocument(const std::string& document) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->document = document;
}

std::string CEncoderSim::Document() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->document;
}

void CEncoderSim::SetWriteReply(const std::string& payload) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->writeReply = payload;
}

void CEncoderSim::SetSearchReplies(const std::vector<uint32_t>& addresses) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->searchReplies = addresses;
}

std::string CEncoderSim::LastWrittenDocument() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->lastWritten;
}

std::vector<int32_t> CEncoderSim::Requests() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->requests;
}

std::vector<uint8_t> CEncoderSim::LastRequestBytes() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->lastRequest;
}

int CEncoderSim::RequestCount(int32_t code) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return static_cast<int>(std::count(m_impl->requests.begin(), m_impl->requests.end(), code));
}

std::vector<uint8_t> CEncoderSim::LastSearchRequest() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->lastSearch;
}

bool CEncoderSim::TsRunning() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->tsRunning;
}

bool CEncoderSim::WaitForRequests(size_t count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_impl->mutex);
    return m_impl->arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [&] { return m_impl->requests.size() >= count; });
}

namespace {

void Log(const SimOptions& options, const std::string& line) {
    if (options.log) {
        options.log(line);
    }
}

// Sends a reply shaped by the fault. `payload` is the healthy reply's payload and
// `bufferSize` the tool's buffer for it, which an oversized reply overruns.
AfterReply SendReply(CSocket& socket, SimFault fault, int32_t code, std::vector<uint8_t> payload, int bufferSize,
                     int32_t wrongCode) {
    int32_t length = static_cast<int32_t>(payload.size());
    switch (fault) {
    case SimFault::Silence:
        return AfterReply::KeepOpen;
    case SimFault::EarlyClose:
        return AfterReply::Close;
    case SimFault::WrongCode:
        code = wrongCode;
        break;
    case SimFault::ZeroLength:
        length = 0;
        payload.clear();
        break;
    case SimFault::NegativeLength:
        length = -1;
        payload.clear();
        break;
    case SimFault::OversizedLength:
        payload.resize(static_cast<size_t>(bufferSize) + 500, ' ');
        length = static_cast<int32_t>(payload.size());
        break;
    case SimFault::ShortPayload:
        payload.resize(payload.size() / 2);
        break;
    case SimFault::Garbage:
        payload.assign(kGarbage, kGarbage + sizeof kGarbage - 1);
        length = static_cast<int32_t>(payload.size());
        break;
    default:
        break;
    }
    uint8_t header[FrameHeader::kSize];
    FrameHeader{code, length}.Encode(header);
    switch (fault) {
    case SimFault::ShortCode:
        socket.Send(header, 2);
        return AfterReply::Close;
    case SimFault::CloseAfterCode:
        socket.Send(header, 4);
        return AfterReply::Close;
    case SimFault::CloseAfterLength:
        socket.Send(header, 8);
        return AfterReply::Close;
    default:
        break;
    }
    // One send for the whole reply: it is complete in the connection when the tool looks.
    std::vector<uint8_t> reply(header, header + sizeof header);
    reply.insert(reply.end(), payload.begin(), payload.end());
    socket.Send(reply.data(), static_cast<int>(reply.size()));
    return AfterReply::KeepOpen;
}

}  // namespace

void CEncoderSim::Run() {
    Impl& impl = *m_impl;
    std::vector<const CSocket*> sockets;
    std::vector<uint8_t> chunk(65536);

    // Judges a complete request and answers it; false when the connection is to close.
    auto answer = [&](Connection& connection, const FrameHeader& header, const uint8_t* payload) -> bool {
        std::unique_lock<std::mutex> lock(impl.mutex);
        impl.requests.push_back(header.code);
        impl.lastRequest = connection.input;
        impl.arrived.notify_all();
        SimFault fault = impl.fault;
        switch (header.code) {
        case CMD_READ_CONFIG: {
            std::string document = impl.document;
            lock.unlock();
            if (fault == SimFault::WrongRoot) {
                for (size_t at = document.find("encoder_202"); at != std::string::npos;
                     at = document.find("encoder_202", at)) {
                    document.replace(at, 11, "encoder_203");
                }
            }
            Log(m_options, "read configuration: " + std::to_string(document.size()) + " bytes");
            return SendReply(connection.socket, fault, CMD_READ_CONFIG, Bytes(document), kReadBufferSize,
                             CMD_WRITE_CONFIG) == AfterReply::KeepOpen;
        }
        case CMD_WRITE_CONFIG: {
            std::string text(reinterpret_cast<const char*>(payload), static_cast<size_t>(header.length));
            impl.lastWritten = text;
            TiXmlDocument parsed;
            parsed.Parse(text.c_str());
            TiXmlElement* root = parsed.RootElement();
            std::string result;
            if (root == nullptr || std::strcmp(root->Value(), "encoder_202") != 0) {
                result = std::string("XML ERR", 8);
            } else {
                const char* given = SystemInfoText(parsed, "password");
                if (given == nullptr || impl.password != given) {
                    result = std::string("PASSWORD ERR", 13);
                } else {
                    const char* newPassword = SystemInfoText(parsed, "newPassword");
                    if (newPassword != nullptr && newPassword[0] != 0) {
                        impl.password = newPassword;
                    }
                    RemoveElementLines(text, "password");
                    RemoveElementLines(text, "newPassword");
                    impl.document = text;
                    result = std::string("OK", 3);
                }
            }
            if (!impl.writeReply.empty()) {
                result = impl.writeReply;
            }
            lock.unlock();
            Log(m_options, "write configuration: " + std::to_string(header.length) + " bytes, answered " +
                               std::string(result.c_str()));
            return SendReply(connection.socket, fault, CMD_WRITE_CONFIG, Bytes(result), kWriteReplyBufferSize,
                             CMD_READ_CONFIG) == AfterReply::KeepOpen;
        }
        case CMD_STATUS: {
            std::vector<uint8_t> status = impl.status;
            lock.unlock();
            Log(m_options, "status: " + std::to_string(status.size()) + " bytes");
            return SendReply(connection.socket, fault, CMD_STATUS, status, kStatusReplyBufferSize, CMD_READ_CONFIG) ==
                   AfterReply::KeepOpen;
        }
        case CMD_START_TS:
        case CMD_STOP_TS:
            impl.tsRunning = header.code == CMD_START_TS;
            lock.unlock();
            Log(m_options, header.code == CMD_START_TS ? "TS -> IP started" : "TS -> IP stopped");
            return fault != SimFault::EarlyClose;
        default:
            lock.unlock();
            Log(m_options, "unknown request " + std::to_string(header.code));
            return false;
        }
    };

    auto serveConnection = [&](Connection& connection) -> bool {
        int count = connection.socket.Receive(chunk.data(), static_cast<int>(chunk.size()));
        if (count <= 0) {
            return false;
        }
        if (connection.answered) {
            return true;   // one request per connection; anything after it is ignored
        }
        connection.input.insert(connection.input.end(), chunk.begin(), chunk.begin() + count);
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
        return answer(connection, header, connection.input.data() + FrameHeader::kSize);
    };

    auto serveDatagram = [&]() {
        uint8_t request[kSearchBufferSize];
        uint32_t fromAddr = 0;
        uint16_t fromPort = 0;
        int count = impl.datagrams.ReceiveFrom(request, sizeof request, &fromAddr, &fromPort);
        if (count <= 0) {
            return;
        }
        std::unique_lock<std::mutex> lock(impl.mutex);
        impl.lastSearch.assign(request, request + count);
        uint8_t expected[kSearchRequestSize];
        BuildSearchRequest(expected);
        if (count != static_cast<int>(kSearchRequestSize) || std::memcmp(request, expected, sizeof expected) != 0) {
            lock.unlock();
            Log(m_options, "ignored a datagram of " + std::to_string(count) + " bytes");
            return;
        }
        SimFault fault = impl.fault;
        uint32_t own = m_options.reportAddress.empty() ? m_address : AddressFromDotted(m_options.reportAddress.c_str());
        std::vector<uint32_t> addresses = impl.searchReplies;
        lock.unlock();
        if (addresses.empty()) {
            addresses.push_back(own);
        }
        if (fault == SimFault::OtherAddress) {
            addresses = {own + 1};
        } else if (fault == SimFault::SeveralReplies) {
            addresses = {own, own, own + 1};
        }
        for (uint32_t address : addresses) {
            uint8_t reply[kSearchReplySize];
            BuildSearchReply(address, reply);
            int size = static_cast<int>(sizeof reply);
            if (fault == SimFault::BadChecksum) {
                reply[8] = static_cast<uint8_t>(reply[8] + 1);
            } else if (fault == SimFault::BadMarker) {
                reply[6] = 5;
                reply[8] = Checksum8(reply, 8);
            } else if (fault == SimFault::ShortReply) {
                size = 7;
                reply[6] = Checksum8(reply, 6);
            }
            impl.datagrams.SendTo(reply, size, fromAddr, fromPort);
        }
        Log(m_options, "search from " + DottedFromAddress(fromAddr) + ": " + std::to_string(addresses.size()) +
                           " replies");
    };

    while (!m_stop) {
        sockets.clear();
        sockets.push_back(&impl.listener);
        sockets.push_back(&impl.datagrams);
        for (const Connection& connection : impl.connections) {
            sockets.push_back(&connection.socket);
        }
        std::unique_ptr<bool[]> flags(new bool[sockets.size()]);
        int result = CSocket::WaitAnyReadable(sockets.data(), sockets.size(), flags.get(), kPollMs);
        if (result <= 0) {
            continue;
        }
        // Connections first: the list may grow below.
        for (size_t i = impl.connections.size(); i-- > 0;) {
            if (flags[i + 2] && !serveConnection(impl.connections[i])) {
                impl.connections.erase(impl.connections.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        if (flags[1]) {
            serveDatagram();
        }
        // Every pending connection at once, so that a quick run of exchanges never
        // fills the backlog (a dropped connect is retried only a second later).
        for (bool pending = flags[0]; pending; pending = impl.listener.WaitReadable(0)) {
            CSocket accepted = impl.listener.Accept();
            if (!accepted.Valid()) {
                break;
            }
            if (impl.connections.size() >= kMaxConnections) {
                impl.connections.erase(impl.connections.begin());   // the oldest has had its chance
            }
            Connection connection;
            connection.socket = std::move(accepted);
            impl.connections.push_back(std::move(connection));
        }
    }
}
