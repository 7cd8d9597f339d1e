// The stand-in's server loop on the wire: requests that come in pieces or are refused,
// the bound on one encoder's connections, and a stop with answers still pending.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#ifdef __linux__
#include <dirent.h>
#endif

#include "CEncoderSim.h"
#include "LinkProtocol.h"
#include "Socket.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Header(int32_t code, int32_t length)
{
    Bytes bytes(FrameHeader::kSize);
    FrameHeader{code, length}.Encode(bytes.data());
    return bytes;
}

CSocket Connect(uint32_t address, uint16_t port)
{
    CSocket socket(CSocket::Kind::Tcp);
    EXPECT_TRUE(socket.Connect(address, port, 2000));
    return socket;
}

bool SendAll(CSocket& socket, const Bytes& bytes)
{
    return socket.Send(bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
}

// `count` bytes, or fewer when the peer closed or nothing came for two seconds.
Bytes ReceiveBytes(CSocket& socket, size_t count)
{
    Bytes bytes;
    uint8_t chunk[4096];
    while (bytes.size() < count && socket.WaitReadable(2000)) {
        int got = socket.Receive(chunk, static_cast<int>(std::min(sizeof chunk, count - bytes.size())));
        if (got <= 0) {
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

// True when the server closed the connection without sending anything more.
bool ClosedByServer(CSocket& socket)
{
    uint8_t byte = 0;
    return socket.WaitReadable(2000) && socket.Receive(&byte, 1) == 0;
}

// True when the connection ended: closed by the server, or reset when the stop found it
// still waiting to be accepted.
bool Ended(CSocket& socket)
{
    uint8_t byte = 0;
    return socket.WaitReadable(2000) && socket.Receive(&byte, 1) <= 0;
}

// A whole reply: its header, then the payload the header announces.
FrameHeader ReceiveReply(CSocket& socket)
{
    Bytes header = ReceiveBytes(socket, FrameHeader::kSize);
    if (header.size() != FrameHeader::kSize) {
        return {-1, -1};
    }
    FrameHeader decoded = FrameHeader::Decode(header.data());
    EXPECT_EQ(ReceiveBytes(socket, static_cast<size_t>(decoded.length)).size(), static_cast<size_t>(decoded.length));
    return decoded;
}

struct RawCase {
    const char* name;
    std::vector<Bytes> pieces;   // sent one after the other
    int32_t replyCode;           // 0: the connection is dropped unanswered
    std::vector<int32_t> requests;
};

std::vector<RawCase> RawCases()
{
    const Bytes status = Header(CMD_STATUS, 0);
    const std::string document = "<encoder_202><system_info><password>x</password></system_info></encoder_202>";
    const Bytes write = Header(CMD_WRITE_CONFIG, static_cast<int32_t>(document.size()));
    const size_t half = document.size() / 2;
    Bytes twoRequests = status;
    twoRequests.insert(twoRequests.end(), status.begin(), status.end());
    Bytes largest = Header(CMD_WRITE_CONFIG, 1 << 20);
    largest.resize(largest.size() + (1 << 20), 'x');
    return {
        {"header_in_three_pieces",
         {{status.begin(), status.begin() + 3},
          {status.begin() + 3, status.begin() + 6},
          {status.begin() + 6, status.end()}},
         CMD_STATUS,
         {CMD_STATUS}},
        {"write_in_pieces",
         {write, Bytes(document.begin(), document.begin() + half), Bytes(document.begin() + half, document.end())},
         CMD_WRITE_CONFIG,
         {CMD_WRITE_CONFIG}},
        {"second_request_ignored", {twoRequests}, CMD_STATUS, {CMD_STATUS}},
        {"largest_write_answered", {largest}, CMD_WRITE_CONFIG, {CMD_WRITE_CONFIG}},
        {"negative_write_length", {Header(CMD_WRITE_CONFIG, -1)}, 0, {}},
        {"write_length_over_a_mebibyte", {Header(CMD_WRITE_CONFIG, (1 << 20) + 1)}, 0, {}},
    };
}

#ifdef __linux__
size_t OpenDescriptors()
{
    size_t count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir)) {
            count += entry->d_name[0] != '.';
        }
        closedir(dir);
    }
    return count;
}
#endif

}   // namespace

// Input is gathered until the request is whole (a write: its header and document), then
// answered once; what follows is ignored and the connection kept. A write length that is
// no document's drops the connection unanswered.
TEST(SimServer, RequestsAreGatheredWholeAnsweredOnceOrRefused)
{
    for (const RawCase& test : RawCases()) {
        SCOPED_TRACE(test.name);
        CEncoderSim sim;
        ASSERT_TRUE(sim.Start()) << sim.Error();
        CSocket socket = Connect(sim.Address(), sim.CommandPort());
        for (const Bytes& piece : test.pieces) {
            ASSERT_TRUE(SendAll(socket, piece));
        }
        if (test.replyCode == 0) {
            EXPECT_TRUE(ClosedByServer(socket));
        } else {
            EXPECT_EQ(ReceiveReply(socket).code, test.replyCode);
            EXPECT_FALSE(socket.WaitReadable(0)) << "the connection stays open, nothing more sent";
        }
        EXPECT_EQ(sim.Requests(), test.requests);
    }
}

// An encoder keeps its 64 newest connections: each new one beyond them drops its oldest,
// never another encoder's, and every connection kept is still served.
TEST(SimServer, AnEncoderKeepsItsSixtyFourNewestConnections)
{
    SimOptions options;
    options.bindAddress = "127.0.0.2-3";
    options.discovery = false;
    CEncoderSim sim(options);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    const uint32_t crowded = sim.EncoderAt(0).Address();
    CSocket neighbour = Connect(sim.EncoderAt(1).Address(), sim.CommandPort());
    std::vector<CSocket> sockets;
    for (int i = 0; i < 64; ++i) {
        sockets.push_back(Connect(crowded, sim.CommandPort()));
    }
    for (size_t extra = 0; extra < 3; ++extra) {
        sockets.push_back(Connect(crowded, sim.CommandPort()));
        EXPECT_TRUE(ClosedByServer(sockets[extra])) << "connection " << extra << " was the oldest";
    }
    neighbour.Close();   // closed by its peer: gone from the server, which serves the rest
    for (size_t i = 3; i < sockets.size(); ++i) {
        ASSERT_TRUE(SendAll(sockets[i], Header(CMD_STATUS, 0)));
        EXPECT_EQ(ReceiveReply(sockets[i]).code, CMD_STATUS) << "connection " << i;
    }
    EXPECT_EQ(sim.EncoderAt(0).RequestCount(CMD_STATUS), 64);
}

// A stop with a delayed answer, a trickle, a request half read, an idle connection and a
// delayed discovery reply all pending ends at once, closes every connection, leaves no
// descriptor behind, and the stand-in starts again.
TEST(SimServer, StopWithEverythingPendingEndsAtOnceAndStartsAgain)
{
    constexpr int kLongMs = 60000;
#ifdef __linux__
    const size_t before = OpenDescriptors();
#endif
    {
        SimOptions options;
        options.delayMs = kLongMs;
        CEncoderSim sim(options);
        ASSERT_TRUE(sim.Start()) << sim.Error();
        CSocket search(CSocket::Kind::Udp);
        ASSERT_TRUE(search.Bind(kLoopbackAddress, 0));
        uint8_t request[kSearchRequestSize];
        BuildSearchRequest(request);
        ASSERT_EQ(search.SendTo(request, sizeof request, sim.Address(), sim.SearchPort()),
                  static_cast<int>(sizeof request));
        for (int i = 0; i < 200 && sim.LastSearchRequest().empty(); ++i) {
            search.WaitReadable(10);   // no reply comes before the delay: a bounded wait for the server
        }
        ASSERT_FALSE(sim.LastSearchRequest().empty());

        std::vector<CSocket> clients;
        clients.push_back(Connect(sim.Address(), sim.CommandPort()));
        ASSERT_TRUE(SendAll(clients.back(), Header(CMD_STATUS, 0)));
        ASSERT_TRUE(sim.WaitForRequests(1, 2000));
        sim.SetDelay(0);
        sim.SetFault(SimFault::Trickle);
        sim.SetTrickle(kLongMs);
        clients.push_back(Connect(sim.Address(), sim.CommandPort()));
        ASSERT_TRUE(SendAll(clients.back(), Header(CMD_STATUS, 0)));
        ASSERT_EQ(ReceiveBytes(clients.back(), FrameHeader::kSize).size(), FrameHeader::kSize) << "the trickle began";
        clients.push_back(Connect(sim.Address(), sim.CommandPort()));
        ASSERT_TRUE(SendAll(clients.back(), Bytes{0, 0}));
        clients.push_back(Connect(sim.Address(), sim.CommandPort()));

        const auto start = std::chrono::steady_clock::now();
        sim.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kLongMs / 10));
        for (size_t i = 0; i < clients.size(); ++i) {
            EXPECT_TRUE(Ended(clients[i])) << "client " << i;
        }
        EXPECT_FALSE(search.WaitReadable(0)) << "a reply pending at the stop is never sent";

        sim.SetFault(SimFault::None);
        ASSERT_TRUE(sim.Start()) << sim.Error();
        CSocket again = Connect(sim.Address(), sim.CommandPort());
        ASSERT_TRUE(SendAll(again, Header(CMD_STATUS, 0)));
        EXPECT_EQ(ReceiveReply(again).code, CMD_STATUS);
    }
#ifdef __linux__
    EXPECT_EQ(OpenDescriptors(), before);
#endif
}
