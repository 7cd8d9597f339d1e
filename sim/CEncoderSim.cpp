#include "CEncoderSim.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <unordered_map>
#include <utility>

#include <tinyxml.h>

#include "AddressRange.h"
#include "LinkProtocol.h"
#include "Socket.h"
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
    {SimFault::Trickle, "trickle", "the reply header at once, then one payload byte every --trickle-ms"},
};

const char kGarbage[] = "\x01\x02junk<<&&>>\xff\xfe not a settings document";

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

// The text of <system_info><NAME> of a settings document, or null.
const char* SystemInfoText(TiXmlDocument& document, const char* name)
{
    TiXmlElement* root = document.RootElement();
    TiXmlElement* system = root != nullptr ? root->FirstChildElement("system_info") : nullptr;
    TiXmlElement* element = system != nullptr ? system->FirstChildElement(name) : nullptr;
    return element != nullptr ? element->GetText() : nullptr;
}

// Drops every line holding <NAME>...</NAME>: the encoder never hands out passwords.
void RemoveElementLines(std::string& text, const std::string& name)
{
    const std::string open = "<" + name + ">";
    for (size_t at = text.find(open); at != std::string::npos; at = text.find(open)) {
        size_t begin = text.rfind('\n', at);
        begin = begin == std::string::npos ? 0 : begin + 1;
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        text.erase(begin, end - begin);
    }
}

}   // namespace

const std::vector<SimFaultName>& SimFaultNames()
{
    return kFaultNames;
}

bool SimFaultFromName(const std::string& name, SimFault& fault)
{
    for (const SimFaultName& entry : kFaultNames) {
        if (name == entry.name) {
            fault = entry.fault;
            return true;
        }
    }
    return false;
}

using Clock = std::chrono::steady_clock;

struct SimEncoder::Shared {
    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
};

struct SimEncoder::State {
    uint32_t address = 0;
    uint32_t reported = 0;   // the address discovery replies carry
    CSocket listener;        // the server thread's alone while it runs
    CSocket datagrams;

    // Under Shared::mutex:
    SimFault fault = SimFault::None;
    int delayMs = 0;
    int trickleMs = 0;
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

namespace {

// One accepted command connection and what it still has to send.
struct Connection {
    CSocket socket;
    SimEncoder::State* encoder = nullptr;
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

struct PendingDatagram {
    SimEncoder::State* encoder = nullptr;
    Clock::time_point due;
    uint32_t toAddr = 0;
    uint16_t toPort = 0;
    std::vector<uint8_t> bytes;
};

// What an answer puts on the wire: its bytes, then whether the connection closes.
struct Reply {
    std::vector<uint8_t> bytes;
    bool close = false;
};

// A reply shaped by the fault. `payload` is the healthy reply's payload and `bufferSize`
// the tool's buffer for it, which an oversized reply overruns.
Reply ShapeReply(SimFault fault, int32_t code, std::vector<uint8_t> payload, int bufferSize, int32_t wrongCode)
{
    Reply reply;
    int32_t length = static_cast<int32_t>(payload.size());
    switch (fault) {
    case SimFault::Silence:
        return reply;
    case SimFault::EarlyClose:
        reply.close = true;
        return reply;
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
        reply.bytes.assign(header, header + 2);
        reply.close = true;
        return reply;
    case SimFault::CloseAfterCode:
        reply.bytes.assign(header, header + 4);
        reply.close = true;
        return reply;
    case SimFault::CloseAfterLength:
        reply.bytes.assign(header, header + FrameHeader::kSize);
        reply.close = true;
        return reply;
    default:
        break;
    }
    reply.bytes.assign(header, header + sizeof header);
    reply.bytes.insert(reply.bytes.end(), payload.begin(), payload.end());
    return reply;
}

std::string Prefix(const SimEncoder::State& encoder, bool fleet)
{
    return fleet ? FormatDotted(encoder.address) + ": " : std::string();
}

}   // namespace

struct CEncoderSim::Impl {
    SimEncoder::Shared shared;
    std::vector<std::unique_ptr<SimEncoder::State>> encoders;   // fixed once constructed
    std::unordered_map<uint32_t, size_t> indexOf;               // address -> index in encoders
    std::vector<Connection> connections;                        // the server thread's
    std::vector<PendingDatagram> datagrams;                     // the server thread's
};

CEncoderSim::CEncoderSim(SimOptions options) : m_options(std::move(options)), m_impl(std::make_unique<Impl>())
{
    AddressRange range = ParseAddressSpan(m_options.bindAddress, kMaxSimEncoders);
    if (!range.Ok()) {
        m_error = "not an address: " + range.error;
    }
    uint32_t reported = m_options.reportAddress.empty() ? 0 : InetAddrHostOrder(m_options.reportAddress.c_str());
    for (uint32_t address : range.addresses) {
        auto state = std::make_unique<SimEncoder::State>();
        state->address = address;
        state->reported = m_options.reportAddress.empty() ? address : reported;
        state->fault = m_options.fault;
        state->delayMs = m_options.delayMs;
        state->trickleMs = m_options.trickleMs;
        state->status = m_options.status;
        state->password = m_options.password;
        m_impl->indexOf.emplace(address, m_impl->encoders.size());
        m_impl->encoders.push_back(std::move(state));
    }
}

CEncoderSim::~CEncoderSim()
{
    Stop();
}

void CEncoderSim::CloseAll()
{
    m_impl->connections.clear();
    m_impl->datagrams.clear();
    for (auto& encoder : m_impl->encoders) {
        encoder->listener.Close();
        encoder->datagrams.Close();
    }
}

bool CEncoderSim::BindAll()
{
    for (int attempt = 0; attempt < kBindAttempts; ++attempt) {
        uint16_t commandPort = m_options.commandPort;
        uint16_t searchPort = m_options.searchPort;
        bool retry = false;
        m_error.clear();
        for (size_t i = 0; i < m_impl->encoders.size() && m_error.empty(); ++i) {
            SimEncoder::State& encoder = *m_impl->encoders[i];
            const std::string dotted = FormatDotted(encoder.address);
            encoder.listener = CSocket(CSocket::Kind::Tcp);
            encoder.listener.SetReuseAddress(true);   // a restart must not wait for old connections
            if (!encoder.listener.Bind(encoder.address, commandPort) || !encoder.listener.Listen(128)) {
                m_error = "cannot listen on " + dotted + " port " + std::to_string(commandPort);
                retry = i > 0 && m_options.commandPort == 0;
                break;
            }
            commandPort = encoder.listener.LocalPort();
            // No address reuse here: two datagram sockets on one address and port would
            // split the searches between them without a word.
            encoder.datagrams = CSocket(CSocket::Kind::Udp);
            if (!encoder.datagrams.Bind(encoder.address, searchPort)) {
                m_error = "cannot bind " + dotted + " port " + std::to_string(searchPort);
                retry = i > 0 && m_options.searchPort == 0;
                break;
            }
            searchPort = encoder.datagrams.LocalPort();
        }
        if (m_error.empty()) {
            m_commandPort = commandPort;
            m_searchPort = searchPort;
            return true;
        }
        CloseAll();
        if (!retry) {
            return false;
        }
    }
    return false;
}

bool CEncoderSim::Start()
{
    if (m_thread.joinable()) {
        return true;
    }
    if (m_impl->encoders.empty()) {
        return false;   // the address did not parse; Error() says why
    }
    if (!BindAll()) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_impl->shared.mutex);
        for (auto& encoder : m_impl->encoders) {
            if (encoder->document.empty()) {
                encoder->document = DefaultDocument(encoder->address);
            }
        }
    }
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CEncoderSim::Stop()
{
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    CloseAll();
}

uint32_t CEncoderSim::Address() const
{
    return m_impl->encoders.empty() ? 0 : m_impl->encoders.front()->address;
}

size_t CEncoderSim::Count() const
{
    return m_impl->encoders.size();
}

std::vector<uint32_t> CEncoderSim::Addresses() const
{
    std::vector<uint32_t> addresses;
    for (const auto& encoder : m_impl->encoders) {
        addresses.push_back(encoder->address);
    }
    return addresses;
}

SimEncoder CEncoderSim::EncoderAt(size_t index) const
{
    return SimEncoder(&m_impl->shared, index < m_impl->encoders.size() ? m_impl->encoders[index].get() : nullptr);
}

SimEncoder CEncoderSim::EncoderFor(uint32_t hostOrderAddr) const
{
    auto found = m_impl->indexOf.find(hostOrderAddr);
    return SimEncoder(&m_impl->shared,
                      found == m_impl->indexOf.end() ? nullptr : m_impl->encoders[found->second].get());
}

void CEncoderSim::SetFault(SimFault fault)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetFault(fault);
}
void CEncoderSim::SetDelay(int ms)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetDelay(ms);
}
void CEncoderSim::SetTrickle(int ms)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetTrickle(ms);
}
void CEncoderSim::SetStatus(const std::vector<uint8_t>& payload)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetStatus(payload);
}
void CEncoderSim::SetPassword(const std::string& password)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetPassword(password);
}
void CEncoderSim::SetDocument(const std::string& document)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetDocument(document);
}
void CEncoderSim::SetWriteReply(const std::string& payload)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetWriteReply(payload);
}
void CEncoderSim::SetSearchReplies(const std::vector<uint32_t>& addresses)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetSearchReplies(addresses);
}

std::string CEncoderSim::Password() const
{
    return EncoderAt(0).Password();
}
std::string CEncoderSim::Document() const
{
    return EncoderAt(0).Document();
}
std::string CEncoderSim::LastWrittenDocument() const
{
    return EncoderAt(0).LastWrittenDocument();
}
std::vector<int32_t> CEncoderSim::Requests() const
{
    return EncoderAt(0).Requests();
}
std::vector<uint8_t> CEncoderSim::LastRequestBytes() const
{
    return EncoderAt(0).LastRequestBytes();
}
int CEncoderSim::RequestCount(int32_t code) const
{
    return EncoderAt(0).RequestCount(code);
}
std::vector<uint8_t> CEncoderSim::LastSearchRequest() const
{
    return EncoderAt(0).LastSearchRequest();
}
bool CEncoderSim::TsRunning() const
{
    return EncoderAt(0).TsRunning();
}
bool CEncoderSim::WaitForRequests(size_t count, int timeoutMs) const
{
    return EncoderAt(0).WaitForRequests(count, timeoutMs);
}

uint32_t SimEncoder::Address() const
{
    return m_state != nullptr ? m_state->address : 0;
}

namespace {

// Every per-encoder accessor: nothing for a handle without an encoder, else under the lock.
template <typename Change>
void ChangeLocked(SimEncoder::Shared* shared, SimEncoder::State* state, Change change)
{
    if (state != nullptr) {
        std::lock_guard<std::mutex> lock(shared->mutex);
        change(*state);
    }
}

template <typename Read>
auto ReadLocked(const SimEncoder::Shared* shared, const SimEncoder::State* state, Read read) -> decltype(read(*state))
{
    if (state == nullptr) {
        return {};
    }
    std::lock_guard<std::mutex> lock(shared->mutex);
    return read(*state);
}

}   // namespace

void SimEncoder::SetFault(SimFault fault)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.fault = fault; });
}
SimFault SimEncoder::Fault() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.fault; });
}
void SimEncoder::SetDelay(int ms)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.delayMs = std::max(ms, 0); });
}
void SimEncoder::SetTrickle(int ms)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.trickleMs = std::max(ms, 0); });
}
void SimEncoder::SetStatus(const std::vector<uint8_t>& payload)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.status = payload; });
}
void SimEncoder::SetPassword(const std::string& password)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.password = password; });
}
std::string SimEncoder::Password() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.password; });
}
void SimEncoder::SetDocument(const std::string& document)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.document = document; });
}
std::string SimEncoder::Document() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.document; });
}
void SimEncoder::SetWriteReply(const std::string& payload)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.writeReply = payload; });
}
void SimEncoder::SetSearchReplies(const std::vector<uint32_t>& addresses)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.searchReplies = addresses; });
}
std::string SimEncoder::LastWrittenDocument() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.lastWritten; });
}
std::vector<int32_t> SimEncoder::Requests() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.requests; });
}
std::vector<uint8_t> SimEncoder::LastRequestBytes() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.lastRequest; });
}
int SimEncoder::RequestCount(int32_t code) const
{
    return ReadLocked(m_shared, m_state, [&](const State& state) {
        return static_cast<int>(std::count(state.requests.begin(), state.requests.end(), code));
    });
}
std::vector<uint8_t> SimEncoder::LastSearchRequest() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.lastSearch; });
}
bool SimEncoder::TsRunning() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.tsRunning; });
}

bool SimEncoder::WaitForRequests(size_t count, int timeoutMs) const
{
    if (m_state == nullptr) {
        return false;
    }
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    return m_shared->arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [&] { return m_state->requests.size() >= count; });
}

namespace {

void Log(const SimOptions& options, const std::string& line)
{
    if (options.log) {
        options.log(line);
    }
}

// Milliseconds until `due`, rounded up, within 0..kPollMs.
int MsUntil(Clock::time_point due, Clock::time_point now)
{
    if (due <= now) {
        return 0;
    }
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
    return static_cast<int>(std::min<decltype(ms)>(ms, kPollMs));
}

}   // namespace

void CEncoderSim::Run()
{
    Impl& impl = *m_impl;
    SimEncoder::Shared& shared = impl.shared;
    const bool fleet = impl.encoders.size() > 1;
    std::vector<const CSocket*> sockets;
    std::vector<uint8_t> chunk(65536);

    // Judges a complete request and lines up its answer after the encoder's delay.
    auto answer = [&](Connection& connection, const FrameHeader& header, const uint8_t* payload) {
        SimEncoder::State& encoder = *connection.encoder;
        const std::string prefix = Prefix(encoder, fleet);
        std::unique_lock<std::mutex> lock(shared.mutex);
        encoder.requests.push_back(header.code);
        encoder.lastRequest = connection.input;
        shared.arrived.notify_all();
        const SimFault fault = encoder.fault;
        connection.due = Clock::now() + std::chrono::milliseconds(encoder.delayMs);
        connection.stepMs = fault == SimFault::Trickle ? std::max(encoder.trickleMs, 1) : 0;
        connection.burst = FrameHeader::kSize;
        Reply reply;
        switch (header.code) {
        case CMD_READ_CONFIG: {
            std::string document = encoder.document;
            lock.unlock();
            if (fault == SimFault::WrongRoot) {
                for (size_t at = document.find("encoder_202"); at != std::string::npos;
                     at = document.find("encoder_202", at)) {
                    document.replace(at, 11, "encoder_203");
                }
            }
            Log(m_options, prefix + "read configuration: " + std::to_string(document.size()) + " bytes");
            reply = ShapeReply(fault, CMD_READ_CONFIG, Bytes(document), kReadBufferSize, CMD_WRITE_CONFIG);
            break;
        }
        case CMD_WRITE_CONFIG: {
            std::string text(reinterpret_cast<const char*>(payload), static_cast<size_t>(header.length));
            encoder.lastWritten = text;
            TiXmlDocument parsed;
            parsed.Parse(text.c_str());
            TiXmlElement* root = parsed.RootElement();
            std::string result;
            if (root == nullptr || std::strcmp(root->Value(), "encoder_202") != 0) {
                // NOLINTNEXTLINE(bugprone-string-constructor): the encoder sends the text's zero byte too
                result = std::string("XML ERR", 8);
            } else {
                const char* given = SystemInfoText(parsed, "password");
                if (given == nullptr || encoder.password != given) {
                    // NOLINTNEXTLINE(bugprone-string-constructor): the encoder sends the text's zero byte too
                    result = std::string("PASSWORD ERR", 13);
                } else {
                    const char* newPassword = SystemInfoText(parsed, "newPassword");
                    if (newPassword != nullptr && newPassword[0] != 0) {
                        encoder.password = newPassword;
                    }
                    RemoveElementLines(text, "password");
                    RemoveElementLines(text, "newPassword");
                    encoder.document = text;
                    // NOLINTNEXTLINE(bugprone-string-constructor): the encoder sends the text's zero byte too
                    result = std::string("OK", 3);
                }
            }
            if (!encoder.writeReply.empty()) {
                result = encoder.writeReply;
            }
            lock.unlock();
            Log(m_options, prefix + "write configuration: " + std::to_string(header.length) + " bytes, answered " +
                               std::string(result.c_str()));
            reply = ShapeReply(fault, CMD_WRITE_CONFIG, Bytes(result), kWriteReplyBufferSize, CMD_READ_CONFIG);
            break;
        }
        case CMD_STATUS: {
            std::vector<uint8_t> status = encoder.status;
            lock.unlock();
            Log(m_options, prefix + "status: " + std::to_string(status.size()) + " bytes");
            reply = ShapeReply(fault, CMD_STATUS, status, kStatusReplyBufferSize, CMD_READ_CONFIG);
            break;
        }
        case CMD_START_TS:
        case CMD_STOP_TS:
            encoder.tsRunning = header.code == CMD_START_TS;
            lock.unlock();
            Log(m_options, prefix + (header.code == CMD_START_TS ? "TS -> IP started" : "TS -> IP stopped"));
            reply.close = fault == SimFault::EarlyClose;   // no reply: the tool closes at once
            break;
        default:
            lock.unlock();
            Log(m_options, prefix + "unknown request " + std::to_string(header.code));
            reply.close = true;
            connection.due = Clock::now();
            break;
        }
        connection.output = std::move(reply.bytes);
        connection.closeAfter = reply.close;
        connection.pending = !connection.output.empty() || connection.closeAfter;
    };

    // Reads what arrived; false when the connection is to close.
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
        answer(connection, header, connection.input.data() + FrameHeader::kSize);
        return true;
    };

    // Sends what is due; false when the connection is to close.
    auto sendDue = [&](Connection& connection) -> bool {
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
    };

    auto serveDatagram = [&](SimEncoder::State& encoder) {
        uint8_t request[kSearchBufferSize];
        uint32_t fromAddr = 0;
        uint16_t fromPort = 0;
        int count = encoder.datagrams.ReceiveFrom(request, sizeof request, &fromAddr, &fromPort);
        if (count <= 0) {
            return;
        }
        const std::string prefix = Prefix(encoder, fleet);
        std::unique_lock<std::mutex> lock(shared.mutex);
        encoder.lastSearch.assign(request, request + count);
        uint8_t expected[kSearchRequestSize];
        BuildSearchRequest(expected);
        if (count != static_cast<int>(kSearchRequestSize) || std::memcmp(request, expected, sizeof expected) != 0) {
            lock.unlock();
            Log(m_options, prefix + "ignored a datagram of " + std::to_string(count) + " bytes");
            return;
        }
        const SimFault fault = encoder.fault;
        const uint32_t own = encoder.reported;
        std::vector<uint32_t> addresses = encoder.searchReplies;
        const Clock::time_point due = Clock::now() + std::chrono::milliseconds(encoder.delayMs);
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
            size_t size = sizeof reply;
            constexpr size_t kChecksumAt = kSearchReplySize - 1;
            if (fault == SimFault::BadChecksum) {
                reply[kChecksumAt] = static_cast<uint8_t>(reply[kChecksumAt] + 1);
            } else if (fault == SimFault::BadMarker) {
                reply[6] = 5;
                reply[kChecksumAt] = Checksum8(reply, kChecksumAt);
            } else if (fault == SimFault::ShortReply) {
                size = 7;
                reply[6] = Checksum8(reply, 6);
            }
            impl.datagrams.push_back({&encoder, due, fromAddr, fromPort, std::vector<uint8_t>(reply, reply + size)});
        }
        Log(m_options,
            prefix + "search from " + FormatDotted(fromAddr) + ": " + std::to_string(addresses.size()) + " replies");
    };

    // Keeps at most kMaxConnections per encoder: the oldest of `encoder`'s has had its chance.
    auto makeRoomFor = [&](const SimEncoder::State* encoder) {
        size_t count = 0;
        size_t oldest = impl.connections.size();
        for (size_t i = 0; i < impl.connections.size(); ++i) {
            if (impl.connections[i].encoder == encoder) {
                oldest = count++ == 0 ? i : oldest;
            }
        }
        if (count >= kMaxConnections) {
            impl.connections.erase(impl.connections.begin() + static_cast<std::ptrdiff_t>(oldest));
        }
    };

    const size_t fixedSockets = impl.encoders.size() * 2;   // listener and datagrams per encoder
    while (!m_stop) {
        Clock::time_point now = Clock::now();
        int timeoutMs = kPollMs;
        for (const Connection& connection : impl.connections) {
            if (connection.pending) {
                timeoutMs = std::min(timeoutMs, MsUntil(connection.due, now));
            }
        }
        for (const PendingDatagram& datagram : impl.datagrams) {
            timeoutMs = std::min(timeoutMs, MsUntil(datagram.due, now));
        }
        sockets.clear();
        for (const auto& encoder : impl.encoders) {
            sockets.push_back(&encoder->listener);
            sockets.push_back(&encoder->datagrams);
        }
        for (const Connection& connection : impl.connections) {
            sockets.push_back(&connection.socket);
        }
        std::unique_ptr<bool[]> ready(new bool[sockets.size()]);
        int result = CSocket::WaitAnyReadable(sockets.data(), sockets.size(), ready.get(), timeoutMs);
        if (result < 0) {
            continue;
        }
        now = Clock::now();
        // Connections first, from the back: the list shrinks here and grows below.
        for (size_t i = impl.connections.size(); i-- > 0;) {
            Connection& connection = impl.connections[i];
            bool keep = !ready[fixedSockets + i] || serveConnection(connection);
            keep = keep && sendDue(connection);
            if (!keep) {
                impl.connections.erase(impl.connections.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        for (size_t e = 0; e < impl.encoders.size(); ++e) {
            if (ready[2 * e + 1]) {
                serveDatagram(*impl.encoders[e]);
            }
        }
        for (size_t i = 0; i < impl.datagrams.size();) {
            PendingDatagram& datagram = impl.datagrams[i];
            if (datagram.due <= now) {
                datagram.encoder->datagrams.SendTo(datagram.bytes.data(), static_cast<int>(datagram.bytes.size()),
                                                   datagram.toAddr, datagram.toPort);
                impl.datagrams.erase(impl.datagrams.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                ++i;
            }
        }
        // Every pending connection at once, so that a quick run of exchanges never
        // fills the backlog (a dropped connect is retried only a second later).
        for (size_t e = 0; e < impl.encoders.size(); ++e) {
            SimEncoder::State& encoder = *impl.encoders[e];
            for (bool pending = ready[2 * e]; pending; pending = encoder.listener.WaitReadable(0)) {
                CSocket accepted = encoder.listener.Accept();
                if (!accepted.Valid()) {
                    break;
                }
                makeRoomFor(&encoder);
                Connection connection;
                connection.socket = std::move(accepted);
                connection.encoder = &encoder;
                impl.connections.push_back(std::move(connection));
            }
        }
    }
}
