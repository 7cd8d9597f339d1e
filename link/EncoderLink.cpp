#include "EncoderLink.h"

#include <chrono>
#include <cstdio>
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
void SendHeader(CSocket& socket, int32_t code, int32_t length) {
    uint8_t bytes[4];
    PutInt32LE(bytes, code);
    socket.Send(bytes, 4);
    PutInt32LE(bytes, length);
    socket.Send(bytes, 4);
}

// One receive of a 4-byte field, cleared first; true when all 4 bytes came.
bool ReceiveInt32(CSocket& socket, int32_t& value) {
    uint8_t bytes[4] = {};
    int count = socket.Receive(bytes, 4);
    value = GetInt32LE(bytes);
    return count == 4;
}

}  // namespace

CEncoderLink::CEncoderLink(LinkReporter& reporter, LinkOptions options)
    : m_reporter(reporter), m_options(std::move(options)) {}

// A given sleep hears of every wait, a zero one included: the window layer and tests
// follow the exchange through it. Only the plain thread sleep skips an empty wait.
void CEncoderLink::Sleep(int ms) const {
    if (m_options.sleep) {
        m_options.sleep(ms);
    } else if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

// A time-out of 0 would mean "wait for ever" to the socket layer: never allowed.
int CEncoderLink::ReceiveTimeoutMs() const {
    return m_options.timing.receiveTimeoutMs > 0 ? m_options.timing.receiveTimeoutMs : 1;
}

bool CEncoderLink::Connect(CSocket& socket, uint32_t address, bool report) {
    socket = CSocket(CSocket::Kind::Tcp);
    if (!socket.Valid()) {
        if (report) {
            m_reporter.Warning("Create Socket Failed !");
        }
        return false;
    }
    socket.SetReceiveTimeout(ReceiveTimeoutMs());
    if (!socket.Connect(address, m_options.commandPort, kConnectTimeoutMs)) {
        socket.Close();
        if (report) {
            m_reporter.Warning("Connect Encoder Failed !");
        }
        return false;
    }
    return true;
}

int CEncoderLink::ReadConfiguration(EncoderRecord& record) {
    std::vector<char> buffer(kReadBufferSize, 0);
    WaitCursor wait(m_reporter);
    CSocket socket;
    if (!Connect(socket, record.ipAddr, true)) {
        return 0;
    }
    SendHeader(socket, CMD_READ_CONFIG, 0);
    Sleep(m_options.timing.readWaitMs);

    int32_t code = 0;
    if (!ReceiveInt32(socket, code)) {
        m_reporter.Warning("Read Device Configuration Failed !");
        return 0;
    }
    if (code != CMD_READ_CONFIG) {
        return 0;
    }
    int32_t length = 0;
    if (!ReceiveInt32(socket, length) || length < 1 || length > kMaxReadLength) {
        return 0;
    }
    int received = 0;
    while (received < length) {
        int count = socket.Receive(buffer.data() + received, length - received);
        if (count <= 0) {
            return 0;
        }
        received += count;
    }
    int result = ReadSettingsText(buffer.data(), length, record);
    if (result != 0) {
        record.loaded = 1;
    }
    return result;
}

int CEncoderLink::WriteConfiguration(EncoderRecord& record) {
    if (record.password[0] == 0) {
        m_reporter.Warning("Please enter correct passowrd !");
        return 0;
    }
    if (record.newPassword[0] == 0) {
        m_reporter.Warning("Please enter correct newPassowrd !");
        return 0;
    }
    std::vector<char> document(kWriteBufferSize, 0);
    int length = WriteSettingsDocument(record, document.data());
    if (length < 0 || length >= kWriteBufferSize) {
        length = 0;   // never send past the buffer, whatever the writer claims
    }
    // The copy on disk is the operator's record of what was sent, so it is written even
    // when the encoder then cannot be reached.
    if (std::FILE* file = std::fopen(m_options.outFile.c_str(), "w")) {
        std::fwrite(document.data(), 1, static_cast<size_t>(length), file);
        std::fclose(file);
    }

    std::vector<uint8_t> reply(kWriteReplyBufferSize, 0);
    WaitCursor wait(m_reporter);
    CSocket socket;
    if (!Connect(socket, record.ipAddr, true)) {
        return 0;
    }
    SendHeader(socket, CMD_WRITE_CONFIG, length);
    if (socket.Send(document.data(), length) != length) {
        m_reporter.Warning("Send XML Configuration Failed !");
        return 0;
    }
    Sleep(m_options.timing.writeWaitMs);

    // The reply's code is not compared, and no failed receive ends the exchange: the
    // verdict comes from whatever reached the reply buffer.
    int32_t code = 0;
    if (!ReceiveInt32(socket, code)) {
        m_reporter.Warning("Recv sendxml cmd failed !");
    }
    int32_t replyLength = 0;
    if (!ReceiveInt32(socket, replyLength)) {
        m_reporter.Warning("Recv sendxml rlen failed !");
    } else {
        // A longer reply is cut to the buffer; what counts is at its start.
        // A negative length cannot be received at all.
        int wanted = replyLength < kWriteReplyBufferSize ? replyLength : kWriteReplyBufferSize;
        bool whole = wanted == 0 || (wanted > 0 && socket.Receive(reply.data(), wanted) == wanted);
        if (!whole) {
            m_reporter.Warning("Recv sendxml ret failed !");
        }
    }
    switch (JudgeWriteReply(reply.data(), reply.size())) {
    case WriteVerdict::Success:
        m_reporter.Tip("Set Configuration Success !");
        return 1;
    case WriteVerdict::PasswordError:
        m_reporter.Warning("Password Error !");
        return 0;
    case WriteVerdict::Failed:
        break;
    }
    m_reporter.Warning("Set Configuration Failed !");
    return 0;
}

int CEncoderLink::SendShortRequest(const EncoderRecord& record, int32_t code) {
    WaitCursor wait(m_reporter);
    CSocket socket;
    if (!Connect(socket, record.ipAddr, true)) {
        return 0;
    }
    SendHeader(socket, code, 0);
    return 1;
}

int CEncoderLink::StartTsToIp(const EncoderRecord& record) { return SendShortRequest(record, CMD_START_TS); }

int CEncoderLink::StopTsToIp(const EncoderRecord& record) { return SendShortRequest(record, CMD_STOP_TS); }

int CEncoderLink::QueryStatus(const EncoderRecord& record) {
    uint8_t reply[kStatusReplyBufferSize] = {};
    WaitCursor wait(m_reporter);
    CSocket socket;
    if (!Connect(socket, record.ipAddr, false)) {
        return -1;
    }
    SendHeader(socket, CMD_STATUS, 0);
    Sleep(m_options.timing.statusWaitMs);

    int32_t code = 0;
    if (!ReceiveInt32(socket, code) || code != CMD_STATUS) {
        return -1;
    }
    int32_t length = 0;
    if (!ReceiveInt32(socket, length) || length <= 0) {
        return -1;
    }
    // A longer reply is cut to the buffer; only its first 7 bytes carry meaning.
    int wanted = length < kStatusReplyBufferSize ? length : kStatusReplyBufferSize;
    if (socket.Receive(reply, wanted) != wanted) {
        return -1;
    }
    return StatusFlagsFromReply(reply, sizeof reply, record.temperature);
}

void CEncoderLink::SearchEncoder(uint32_t address, const std::function<void(const std::string& dotted)>& addEncoder) {
    uint8_t buffer[kSearchBufferSize] = {};
    BuildSearchRequest(buffer);
    CSocket socket(CSocket::Kind::Udp);
    if (!socket.Valid()) {
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
    const uint32_t window = static_cast<uint32_t>(m_options.timing.searchWindowMs < 0 ? 0 : m_options.timing.searchWindowMs);
    while (static_cast<uint32_t>(TickCountMs() - start) < window) {
        int count = socket.ReceiveFrom(buffer, sizeof buffer);
        std::string dotted;
        if (count > 0 && ParseSearchReply(buffer, static_cast<size_t>(count), dotted) && addEncoder) {
            addEncoder(dotted);
        }
    }
}
