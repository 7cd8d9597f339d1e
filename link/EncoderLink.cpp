#include "EncoderLink.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "SettingsDocument.h"
#include "Socket.h"

namespace {

// Keeps the wait cursor balanced on every return path.
class WaitCursor {
public:
    explicit WaitCursor(LinkReporter& reporter) : m_reporter(reporter) { m_reporter.BeginWait(); }
    ~WaitCursor() { m_reporter.EndWait(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    LinkReporter& m_reporter;
};

// Each field of a request goes out in its own send, as the encoder reads it.
void SendHeader(CSocket& socket, int32_t code, int32_t length)
{
    uint8_t bytes[4];
    PutInt32LE(bytes, code);
    socket.Send(bytes, 4);
    PutInt32LE(bytes, length);
    socket.Send(bytes, 4);
}

// Concurrent writes from several exchanges replace the out file one after the other,
// never interleaved.
std::mutex g_outFileMutex;

using Clock = std::chrono::steady_clock;

int MsUntil(Clock::time_point deadline, bool roundUp)
{
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
        return 0;
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
    if (roundUp && std::chrono::milliseconds(ms) < left) {
        ++ms;   // never wake just before the moment and spin on zero waits
    }
    return static_cast<int>(std::min<long long>(ms, 1 << 30));
}

}   // namespace

// One exchange's connection and clock: its fixed wait and the receives that follow it,
// all bounded, all cut short by the cancel wake-up.
class CEncoderLink::Exchange {
public:
    explicit Exchange(const CEncoderLink& link) : m_link(link), m_options(link.m_options) {}

    CSocket socket;

    // The fixed wait after a request. Fixed mode waits it out here (through the given
    // sleep when there is one); reply-complete mode lets the receives wait instead.
    void Wait(int ms)
    {
        ms = ms < 0 ? 0 : ms;
        if (m_options.waitMode == WaitMode::ReplyComplete) {
            m_waitEnd = Clock::now() + std::chrono::milliseconds(ms);
        } else {
            if (m_options.sleep) {
                m_options.sleep(ms);
            } else if (m_options.cancel != nullptr) {
                m_options.cancel->Wait(ms);
            } else if (ms > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            }
            m_waitEnd = Clock::now();
        }
        int bound = m_options.timing.receiveBoundMs < 0 ? 0 : m_options.timing.receiveBoundMs;
        m_deadline = m_waitEnd + std::chrono::milliseconds(bound);
    }

    // One receive as the protocol makes it after the fixed wait: what has arrived, up to
    // `count` bytes, waiting at most the receive time-out for the first byte; 0 when the
    // peer closed, -1 on time-out, error or cancel. Before the end of the wait (reply-
    // complete mode) it gathers until `count` bytes, the peer's close or the wait's end,
    // so that it returns what a receive right after the wait would have.
    int Receive(void* data, int count)
    {
        uint8_t* bytes = static_cast<uint8_t*>(data);
        int got = 0;
        for (;;) {
            bool beforeWaitEnd = Clock::now() < m_waitEnd;
            int timeoutMs;
            if (beforeWaitEnd) {
                timeoutMs = MsUntil(m_waitEnd, true);
            } else if (got > 0) {
                timeoutMs = 0;
            } else {
                // Never past the exchange's receive bound, however slowly bytes arrive.
                timeoutMs = std::min(m_link.ReceiveTimeoutMs(), MsUntil(m_deadline, false));
            }
            WaitResult waited = socket.WaitReadable(timeoutMs, m_options.cancel);
            if (waited == WaitResult::Woken) {
                return -1;
            }
            if (waited == WaitResult::Error) {
                return got > 0 ? got : -1;
            }
            if (waited == WaitResult::TimedOut) {
                if (beforeWaitEnd) {
                    continue;   // the wait is over now: take what came
                }
                return got > 0 ? got : -1;
            }
            int n = socket.Receive(bytes + got, count - got);
            if (n <= 0) {
                return got > 0 ? got : n;
            }
            got += n;
            if (got == count || !beforeWaitEnd) {
                return got;
            }
        }
    }

    // One receive of a 4-byte field, cleared first; true when all 4 bytes came.
    bool ReceiveInt32(int32_t& value)
    {
        uint8_t bytes[4] = {};
        int count = Receive(bytes, 4);
        value = GetInt32LE(bytes);
        return count == 4;
    }

private:
    const CEncoderLink& m_link;
    const LinkOptions& m_options;
    Clock::time_point m_waitEnd = Clock::now();
    Clock::time_point m_deadline = Clock::now();
};

CEncoderLink::CEncoderLink(LinkReporter& reporter, LinkOptions options)
    : m_reporter(reporter), m_options(std::move(options))
{}

// A given sleep hears of every fixed wait, a zero one included: the window layer and
// tests follow the exchange through it.

bool CEncoderLink::Cancelled() const
{
    return m_options.cancel != nullptr && m_options.cancel->Signalled();
}

// A cancelled exchange has nothing more to say: its caller reports the cancel.
void CEncoderLink::Warning(const std::string& text)
{
    if (!Cancelled()) {
        m_reporter.Warning(text);
    }
}

void CEncoderLink::Tip(const std::string& text)
{
    if (!Cancelled()) {
        m_reporter.Tip(text);
    }
}

// A time-out of 0 would mean "wait for ever" to the socket layer: never allowed.
int CEncoderLink::ReceiveTimeoutMs() const
{
    return m_options.timing.receiveTimeoutMs > 0 ? m_options.timing.receiveTimeoutMs : 1;
}

bool CEncoderLink::Connect(CSocket& socket, uint32_t address, bool report)
{
    socket = CSocket(CSocket::Kind::Tcp);
    if (!socket.Valid()) {
        if (report) {
            Warning("Create Socket Failed !");
        }
        return false;
    }
    socket.SetReceiveTimeout(ReceiveTimeoutMs());
    if (!socket.Connect(address, m_options.commandPort, m_options.timing.connectTimeoutMs, m_options.cancel)) {
        socket.Close();
        if (report) {
            Warning("Connect Encoder Failed !");
        }
        return false;
    }
    return true;
}

int CEncoderLink::ReadConfiguration(EncoderRecord& record)
{
    return ReadConfiguration(record, nullptr);
}

int CEncoderLink::ReadConfiguration(EncoderRecord& record, std::string* document)
{
    std::vector<char> buffer(kReadBufferSize, 0);
    WaitCursor wait(m_reporter);
    Exchange exchange(*this);
    if (!Connect(exchange.socket, record.ipAddr, true)) {
        return 0;
    }
    SendHeader(exchange.socket, CMD_READ_CONFIG, 0);
    exchange.Wait(m_options.timing.readWaitMs);

    int32_t code = 0;
    if (!exchange.ReceiveInt32(code)) {
        Warning("Read Device Configuration Failed !");
        return 0;
    }
    if (code != CMD_READ_CONFIG) {
        return 0;
    }
    int32_t length = 0;
    if (!exchange.ReceiveInt32(length) || length < 1 || length > kMaxReadLength) {
        return 0;
    }
    // A peer that trickles its reply meets the exchange's receive bound, not an endless read.
    int received = 0;
    while (received < length) {
        int count = exchange.Receive(buffer.data() + received, length - received);
        if (count <= 0) {
            return 0;
        }
        received += count;
    }
    if (Cancelled()) {
        return 0;
    }
    if (document != nullptr) {
        document->assign(buffer.data(), static_cast<size_t>(length));
    }
    int result = ReadSettingsText(buffer.data(), length, record);
    if (result != 0) {
        record.loaded = 1;
    }
    return result;
}

int CEncoderLink::WriteConfiguration(EncoderRecord& record)
{
    if (record.password[0] == 0) {
        Warning("Please enter correct passowrd !");
        return 0;
    }
    if (record.newPassword[0] == 0) {
        Warning("Please enter correct newPassowrd !");
        return 0;
    }
    std::vector<char> document(kWriteBufferSize, 0);
    int length = WriteSettingsDocument(record, document.data());
    if (length < 0 || length >= kWriteBufferSize) {
        length = 0;   // never send past the buffer, whatever the writer claims
    }
    // The copy on disk is the operator's record of what was sent, so it is written even
    // when the encoder then cannot be reached.
    {
        std::lock_guard<std::mutex> lock(g_outFileMutex);
        if (std::FILE* file = std::fopen(m_options.outFile.c_str(), "w")) {
            std::fwrite(document.data(), 1, static_cast<size_t>(length), file);
            std::fclose(file);
        }
    }

    std::vector<uint8_t> reply(kWriteReplyBufferSize, 0);
    WaitCursor wait(m_reporter);
    Exchange exchange(*this);
    if (!Connect(exchange.socket, record.ipAddr, true)) {
        return 0;
    }
    SendHeader(exchange.socket, CMD_WRITE_CONFIG, length);
    if (exchange.socket.Send(document.data(), length) != length) {
        Warning("Send XML Configuration Failed !");
        return 0;
    }
    exchange.Wait(m_options.timing.writeWaitMs);

    // The reply's code is not compared, and no failed receive ends the exchange: the
    // verdict comes from whatever reached the reply buffer.
    int32_t code = 0;
    if (!exchange.ReceiveInt32(code)) {
        Warning("Recv sendxml cmd failed !");
    }
    int32_t replyLength = 0;
    if (!exchange.ReceiveInt32(replyLength)) {
        Warning("Recv sendxml rlen failed !");
    } else {
        // A longer reply is cut to the buffer; what counts is at its start.
        // A negative length cannot be received at all.
        int wanted = replyLength < kWriteReplyBufferSize ? replyLength : kWriteReplyBufferSize;
        bool whole = wanted == 0 || (wanted > 0 && exchange.Receive(reply.data(), wanted) == wanted);
        if (!whole) {
            Warning("Recv sendxml ret failed !");
        }
    }
    if (Cancelled()) {
        return 0;
    }
    switch (JudgeWriteReply(reply.data(), reply.size())) {
    case WriteVerdict::Success:
        Tip("Set Configuration Success !");
        return 1;
    case WriteVerdict::PasswordError:
        Warning("Password Error !");
        return 0;
    case WriteVerdict::Failed:
        break;
    }
    Warning("Set Configuration Failed !");
    return 0;
}

int CEncoderLink::SendShortRequest(const EncoderRecord& record, int32_t code)
{
    WaitCursor wait(m_reporter);
    CSocket socket;
    if (!Connect(socket, record.ipAddr, true)) {
        return 0;
    }
    SendHeader(socket, code, 0);
    return 1;
}

int CEncoderLink::StartTsToIp(const EncoderRecord& record)
{
    return SendShortRequest(record, CMD_START_TS);
}

int CEncoderLink::StopTsToIp(const EncoderRecord& record)
{
    return SendShortRequest(record, CMD_STOP_TS);
}

int CEncoderLink::QueryStatus(const EncoderRecord& record)
{
    StatusReading reading;
    return QueryStatus(record, reading);
}

int CEncoderLink::QueryStatus(const EncoderRecord& record, StatusReading& reading)
{
    reading = StatusReading{};
    uint8_t reply[kStatusReplyBufferSize] = {};
    WaitCursor wait(m_reporter);
    Exchange exchange(*this);
    if (!Connect(exchange.socket, record.ipAddr, false)) {
        return -1;
    }
    SendHeader(exchange.socket, CMD_STATUS, 0);
    exchange.Wait(m_options.timing.statusWaitMs);

    int32_t code = 0;
    if (!exchange.ReceiveInt32(code) || code != CMD_STATUS) {
        return -1;
    }
    int32_t length = 0;
    if (!exchange.ReceiveInt32(length) || length <= 0) {
        return -1;
    }
    // A longer reply is cut to the buffer; only its first 7 bytes carry meaning.
    int wanted = length < kStatusReplyBufferSize ? length : kStatusReplyBufferSize;
    if (exchange.Receive(reply, wanted) != wanted || Cancelled()) {
        return -1;
    }
    reading.flags = StatusFlagsFromReply(reply, sizeof reply, record.temperature);
    reading.temperature = static_cast<int8_t>(reply[2]);
    return reading.flags;
}

void CEncoderLink::SearchEncoder(uint32_t address, const std::function<void(const std::string& dotted)>& addEncoder)
{
    uint8_t buffer[kSearchBufferSize] = {};
    BuildSearchRequest(buffer);
    CSocket socket(CSocket::Kind::Udp);
    if (!socket.Valid() || Cancelled()) {
        return;
    }
    socket.SetReuseAddress(true);
    socket.SetBroadcast(true);   // a search sent to a broadcast address needs it
    // Every encoder of a subnet answers at once; room for a whole /24 of replies.
    socket.SetReceiveBufferSize(256 * 1024);
    socket.SetReceiveTimeout(ReceiveTimeoutMs());
    if (socket.SendTo(buffer, static_cast<int>(kSearchRequestSize), address, m_options.searchPort) <= 0) {
        return;
    }
    WaitCursor wait(m_reporter);
    uint32_t start = TickCountMs();
    const uint32_t window =
        static_cast<uint32_t>(m_options.timing.searchWindowMs < 0 ? 0 : m_options.timing.searchWindowMs);
    while (static_cast<uint32_t>(TickCountMs() - start) < window) {
        // Each pass waits for one datagram at most the receive time-out, and never past
        // the listening window by more than that.
        WaitResult waited = socket.WaitReadable(ReceiveTimeoutMs(), m_options.cancel);
        if (waited == WaitResult::Woken || waited == WaitResult::Error) {
            return;
        }
        if (waited != WaitResult::Ready) {
            continue;
        }
        int count = socket.ReceiveFrom(buffer, sizeof buffer);
        std::string dotted;
        if (count > 0 && ParseSearchReply(buffer, static_cast<size_t>(count), dotted) && addEncoder) {
            addEncoder(dotted);
        }
    }
}
