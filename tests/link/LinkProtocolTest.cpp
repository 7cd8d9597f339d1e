#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "LinkProtocol.h"

TEST(FrameHeader, EncodesLittleEndianWhateverTheHost)
{
    uint8_t bytes[FrameHeader::kSize];
    FrameHeader{CMD_READ_CONFIG, 0x01020304}.Encode(bytes);
    const uint8_t expected[] = {0xEC, 0x03, 0x00, 0x00, 0x04, 0x03, 0x02, 0x01};
    EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof expected));

    FrameHeader{-1, -2}.Encode(bytes);
    FrameHeader back = FrameHeader::Decode(bytes);
    EXPECT_EQ(back.code, -1);
    EXPECT_EQ(back.length, -2);
    EXPECT_EQ(bytes[4], 0xFE);
    EXPECT_EQ(bytes[7], 0xFF);
}

TEST(Checksum8, SumsBytesModulo256)
{
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(Checksum8(abc, 3), 0x26);
    EXPECT_EQ(Checksum8(nullptr, 0), 0);
    const uint8_t wrap[] = {0xFF, 0x02};
    EXPECT_EQ(Checksum8(wrap, 2), 0x01);
}

TEST(SearchRequest, IsTheFixedFiveBytes)
{
    uint8_t request[kSearchRequestSize];
    BuildSearchRequest(request);
    const uint8_t expected[] = {0xE9, 0x03, 0x04, 0x00, 0xF0};
    EXPECT_EQ(0, std::memcmp(request, expected, sizeof expected));
}

struct SearchReplyCase {
    const char* name;
    std::vector<uint8_t> datagram;
    bool accepted;
    const char* dotted;
};

std::vector<uint8_t> WithChecksum(std::vector<uint8_t> bytes)
{
    bytes.push_back(Checksum8(bytes.data(), bytes.size()));
    return bytes;
}

class SearchReplyTest : public ::testing::TestWithParam<SearchReplyCase> {};

TEST_P(SearchReplyTest, AcceptsOnlyWholeCheckedReplies)
{
    const SearchReplyCase& c = GetParam();
    std::string dotted = "unchanged";
    EXPECT_EQ(ParseSearchReply(c.datagram.data(), c.datagram.size(), dotted), c.accepted);
    EXPECT_EQ(dotted, c.accepted ? c.dotted : "unchanged");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SearchReplyTest,
    ::testing::Values(
        SearchReplyCase{"nine_bytes", WithChecksum({0xE9, 0x03, 192, 168, 1, 100, 4, 0}), true, "192.168.1.100"},
        SearchReplyCase{"bytes_0_1_not_examined", WithChecksum({0x00, 0x77, 10, 0, 0, 7, 4, 0}), true, "10.0.0.7"},
        SearchReplyCase{"longer_reply", WithChecksum({0, 0, 127, 0, 0, 9, 4, 0, 1, 2, 3}), true, "127.0.0.9"},
        SearchReplyCase{"eight_bytes", {0, 0, 127, 0, 0, 125, 4, 0}, true, "127.0.0.125"},
        SearchReplyCase{"eight_bytes_checksum_is_marker_high", {0, 0, 1, 2, 3, 4, 4, 14}, false, ""},
        SearchReplyCase{"wrong_checksum", {0xE9, 0x03, 127, 0, 0, 1, 4, 0, 0x00}, false, ""},
        SearchReplyCase{"marker_not_4", WithChecksum({0xE9, 0x03, 127, 0, 0, 1, 5, 0}), false, ""},
        SearchReplyCase{"marker_high_byte", WithChecksum({0xE9, 0x03, 127, 0, 0, 1, 4, 1}), false, ""},
        SearchReplyCase{"seven_bytes", WithChecksum({0xE9, 0x03, 127, 0, 0, 1}), false, ""},
        SearchReplyCase{"four_bytes", WithChecksum({0xE9, 0x03, 4}), false, ""},
        SearchReplyCase{"empty", {}, false, ""}),
    [](const ::testing::TestParamInfo<SearchReplyCase>& info) { return std::string(info.param.name); });

TEST(SearchReply, BuiltReplyParsesBack)
{
    uint8_t reply[kSearchReplySize];
    BuildSearchReply(0x7F0000FEu, reply);
    std::string dotted;
    ASSERT_TRUE(ParseSearchReply(reply, sizeof reply, dotted));
    EXPECT_EQ(dotted, "127.0.0.254");
}

struct StatusCase {
    const char* name;
    std::vector<uint8_t> payload;
    uint16_t threshold;
    int flags;
};

class StatusFlagsTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusFlagsTest, FollowTheReplyBytes)
{
    const StatusCase& c = GetParam();
    EXPECT_EQ(StatusFlagsFromReply(c.payload.data(), c.payload.size(), c.threshold), c.flags);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusFlagsTest,
    ::testing::Values(StatusCase{"two_zero_bytes", {0, 0}, 0, 0x78}, StatusCase{"all_up", {0, 0, 0, 1, 1, 1, 1}, 0, 0},
                      StatusCase{"busy_and_keyboard", {5, 1, 0, 1, 1, 1, 1}, 0, STATUS_BUSY | STATUS_KEYBOARD},
                      StatusCase{"hot", {0, 0, 60, 1, 1, 1, 1}, 50, STATUS_OVER_TEMPERATURE},
                      StatusCase{"at_threshold", {0, 0, 50, 1, 1, 1, 1}, 50, 0},
                      StatusCase{"warning_off", {0, 0, 99, 1, 1, 1, 1}, 0, 0},
                      StatusCase{"negative_reading", {0, 0, 200, 1, 1, 1, 1}, 1, 0},
                      StatusCase{"threshold_above_int8", {0, 0, 127, 1, 1, 1, 1}, 300, 0},
                      StatusCase{
                          "program2_down", {0, 0, 0, 1, 1, 0, 0}, 0, STATUS_PROG2_NO_OUTPUT | STATUS_PROG2_NO_INPUT},
                      StatusCase{"program1_no_input", {0, 0, 0, 1, 0, 1, 1}, 0, STATUS_PROG1_NO_INPUT},
                      StatusCase{"bytes_after_7_ignored", {0, 0, 0, 1, 1, 1, 1, 0, 0, 9}, 0, 0},
                      StatusCase{"empty", {}, 0, 0x78}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

struct VerdictCase {
    const char* name;
    std::string bytes;   // placed at the start of a zero-filled 2000-byte buffer
    WriteVerdict verdict;
};

class WriteVerdictTest : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(WriteVerdictTest, ComesFromTheReplyBuffer)
{
    const VerdictCase& c = GetParam();
    std::vector<uint8_t> buffer(kWriteReplyBufferSize, 0);
    std::memcpy(buffer.data(), c.bytes.data(), c.bytes.size());
    EXPECT_EQ(JudgeWriteReply(buffer.data(), buffer.size()), c.verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteVerdictTest,
    // NOLINTNEXTLINE(bugprone-string-constructor): the encoder's reply, zero byte included
    ::testing::Values(VerdictCase{"ok", std::string("OK", 3), WriteVerdict::Success},
                      VerdictCase{"ok_and_more", "OK, applied", WriteVerdict::Success},
                      // NOLINTNEXTLINE(bugprone-string-constructor): the encoder's reply, zero byte included
                      VerdictCase{"password_err_with_zero", std::string("PASSWORD ERR", 13),
                                  WriteVerdict::PasswordError},
                      VerdictCase{"password_err_without_zero", "PASSWORD ERR", WriteVerdict::PasswordError},
                      VerdictCase{"password_err_and_letters", "PASSWORD ERROR", WriteVerdict::Failed},
                      VerdictCase{"lower_case_ok", "ok", WriteVerdict::Failed},
                      VerdictCase{"empty", "", WriteVerdict::Failed}),
    [](const ::testing::TestParamInfo<VerdictCase>& info) { return std::string(info.param.name); });
