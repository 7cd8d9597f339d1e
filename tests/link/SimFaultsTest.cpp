// What each fault does to the stand-in's answers, byte for byte: the tool's bounds and
// error paths are only as well tested as these replies are exactly what they claim.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LinkProtocol.h"
#include "SimFaults.h"

namespace {

constexpr int32_t kCode = CMD_STATUS;
constexpr int32_t kOther = CMD_READ_CONFIG;
constexpr int kBuffer = kStatusReplyBufferSize;
const std::vector<uint8_t> kPayload = {0, 0, 38, 1, 1, 1, 1, 9, 9, 9};

struct ReplyCase {
    SimFault fault;
    size_t size;      // bytes on the wire
    bool close;       // the connection closes after them
    int32_t code;     // the header's code, when a whole header goes
    int32_t length;   // the header's length, when a whole header goes
};

TEST(SimFaults, EveryFaultShapesTheCommandReplyAsItsNameSays)
{
    const int32_t whole = static_cast<int32_t>(kPayload.size());
    const int32_t over = kBuffer + 500;
    const ReplyCase cases[] = {
        {SimFault::None, 8 + kPayload.size(), false, kCode, whole},
        {SimFault::Silence, 0, false, 0, 0},
        {SimFault::EarlyClose, 0, true, 0, 0},
        {SimFault::WrongCode, 8 + kPayload.size(), false, kOther, whole},
        {SimFault::ZeroLength, 8, false, kCode, 0},
        {SimFault::NegativeLength, 8, false, kCode, -1},
        {SimFault::OversizedLength, 8 + static_cast<size_t>(over), false, kCode, over},
        {SimFault::ShortPayload, 8 + kPayload.size() / 2, false, kCode, whole},
        {SimFault::ShortCode, 2, true, 0, 0},
        {SimFault::CloseAfterCode, 4, true, 0, 0},
        {SimFault::CloseAfterLength, 8, true, kCode, whole},
        // Faults of discovery or of pace leave a command reply's bytes alone.
        {SimFault::BadChecksum, 8 + kPayload.size(), false, kCode, whole},
        {SimFault::Trickle, 8 + kPayload.size(), false, kCode, whole},
    };
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        const SimReply reply = ShapeReply(c.fault, kCode, kPayload, kBuffer, kOther);
        EXPECT_EQ(reply.bytes.size(), c.size);
        EXPECT_EQ(reply.close, c.close);
        if (reply.bytes.size() >= FrameHeader::kSize) {
            const FrameHeader header = FrameHeader::Decode(reply.bytes.data());
            EXPECT_EQ(header.code, c.code);
            EXPECT_EQ(header.length, c.length);
        }
    }
}

TEST(SimFaults, GarbageIsWellFramedButNoSettingsDocument)
{
    const SimReply reply = ShapeReply(SimFault::Garbage, CMD_READ_CONFIG, {'<', 'a', '/', '>'}, kReadBufferSize, 0);
    ASSERT_GT(reply.bytes.size(), FrameHeader::kSize);
    const FrameHeader header = FrameHeader::Decode(reply.bytes.data());
    EXPECT_EQ(header.code, CMD_READ_CONFIG);
    EXPECT_EQ(static_cast<size_t>(header.length), reply.bytes.size() - FrameHeader::kSize);
    const std::string payload(reply.bytes.begin() + FrameHeader::kSize, reply.bytes.end());
    EXPECT_EQ(payload.find("<a/>"), std::string::npos);
    EXPECT_NE(payload.find("not a settings document"), std::string::npos);
}

struct SearchCase {
    SimFault fault;
    std::vector<uint32_t> told;          // the addresses it was told to answer
    std::vector<std::string> accepted;   // what the tool's parser takes from each reply; "" refused
    size_t size;                         // each reply's bytes
};

TEST(SimFaults, EveryFaultShapesTheDiscoveryRepliesAsItsNameSays)
{
    const uint32_t own = 0x7F000005u;
    const SearchCase cases[] = {
        {SimFault::None, {}, {"127.0.0.5"}, kSearchReplySize},
        {SimFault::None, {0x0A010203u, 0x0A010204u}, {"10.1.2.3", "10.1.2.4"}, kSearchReplySize},
        {SimFault::OtherAddress, {0x0A010203u}, {"127.0.0.6"}, kSearchReplySize},
        {SimFault::SeveralReplies, {}, {"127.0.0.5", "127.0.0.5", "127.0.0.6"}, kSearchReplySize},
        {SimFault::BadChecksum, {}, {""}, kSearchReplySize},
        {SimFault::BadMarker, {}, {""}, kSearchReplySize},
        {SimFault::ShortReply, {}, {""}, 7},
        // A command fault leaves discovery healthy.
        {SimFault::Silence, {}, {"127.0.0.5"}, kSearchReplySize},
    };
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        const std::vector<std::vector<uint8_t>> replies = ShapeSearchReplies(c.fault, own, c.told);
        ASSERT_EQ(replies.size(), c.accepted.size());
        for (size_t i = 0; i < replies.size(); ++i) {
            EXPECT_EQ(replies[i].size(), c.size);
            std::string dotted;
            const bool taken = ParseSearchReply(replies[i].data(), replies[i].size(), dotted);
            EXPECT_EQ(taken ? dotted : std::string(), c.accepted[i]);
        }
    }
}

}   // namespace
