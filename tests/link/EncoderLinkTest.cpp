// The exchanges against the in-process stand-in encoder over loopback.

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>

#include "../UnderWine.h"
#include "LinkTestSupport.h"

namespace {

using Messages = std::vector<std::string>;

// NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): a record and its copy, byte for byte
bool SameRecord(const EncoderRecord& a, const EncoderRecord& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct FaultCase {
    const char* name;
    SimFault fault;
    int result;
    Messages messages;
};

std::string FaultCaseName(const ::testing::TestParamInfo<FaultCase>& info)
{
    return info.param.name;
}

}   // namespace

// ---- read ----

TEST_F(LinkTest, ReadFillsTheRecordFromTheEncoder)
{
    int result = Link().ReadConfiguration(record);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(record.loaded, 1);
    EXPECT_STREQ(record.program_info1.progName, "Korvane One");
    EXPECT_STREQ(record.program_info2.progName, "Korvane Two");
    EXPECT_EQ(record.ipAddr, sim.Address());
    EXPECT_EQ(record.program_info2.video.pid, 512);
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_EQ(sleeps, std::vector<int>{options.timing.readWaitMs});
    EXPECT_EQ(sim.Requests(), std::vector<int32_t>{CMD_READ_CONFIG});
}

TEST_F(LinkTest, ReadAcceptsExactly9999BytesAndRejects10000)
{
    std::string document = sim.Document();
    document.resize(9999, ' ');   // white space after the root element is harmless
    sim.SetDocument(document);
    EXPECT_EQ(Link().ReadConfiguration(record), 1);
    EXPECT_EQ(record.loaded, 1);

    EncoderRecord fresh{};
    fresh.ipAddr = sim.Address();
    document.resize(10000, ' ');
    sim.SetDocument(document);
    EXPECT_EQ(Link().ReadConfiguration(fresh), 0);
    EXPECT_EQ(fresh.loaded, 0);
    EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(LinkTest, ReadNormalisesLineEnds)
{
    std::string document = sim.Document();
    std::string crlf;
    for (char c : document) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    sim.SetDocument(crlf);
    EXPECT_EQ(Link().ReadConfiguration(record), 1);
    EXPECT_STREQ(record.program_info1.providerName, "Korvane");
}

TEST_F(LinkTest, ReadOfUnreachableEncoderSaysSo)
{
    options.commandPort = ClosedPort();
    EXPECT_EQ(Link().ReadConfiguration(record), 0);
    EXPECT_EQ(reporter.messages, Messages{"Warning: Connect Encoder Failed !"});
    EXPECT_TRUE(sleeps.empty());
}

class ReadFaultTest : public LinkTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ReadFaultTest, FailsWithTheGivenMessagesAndLeavesTheRecord)
{
    sim.SetFault(GetParam().fault);
    record.deviceID = 42;
    EncoderRecord before = record;
    std::string document = "from before";
    EXPECT_EQ(Link().ReadConfiguration(record, &document), GetParam().result);
    EXPECT_EQ(reporter.messages, GetParam().messages);
    EXPECT_TRUE(SameRecord(record, before));
    // The payload is handed on when it came whole, settings document or not; a part never.
    bool whole = GetParam().fault == SimFault::Garbage || GetParam().fault == SimFault::WrongRoot;
    EXPECT_EQ(document.empty(), !whole) << document;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReadFaultTest,
    ::testing::Values(
        FaultCase{"wrong_code", SimFault::WrongCode, 0, {}}, FaultCase{"zero_length", SimFault::ZeroLength, 0, {}},
        FaultCase{"negative_length", SimFault::NegativeLength, 0, {}},
        FaultCase{"oversized_length", SimFault::OversizedLength, 0, {}},
        FaultCase{"short_payload", SimFault::ShortPayload, 0, {}},
        FaultCase{"close_after_code", SimFault::CloseAfterCode, 0, {}},
        FaultCase{"close_after_length", SimFault::CloseAfterLength, 0, {}},
        FaultCase{"garbage", SimFault::Garbage, 0, {}}, FaultCase{"wrong_root", SimFault::WrongRoot, 0, {}},
        FaultCase{"short_code", SimFault::ShortCode, 0, {"Warning: Read Device Configuration Failed !"}},
        FaultCase{"silence", SimFault::Silence, 0, {"Warning: Read Device Configuration Failed !"}},
        FaultCase{"early_close", SimFault::EarlyClose, 0, {"Warning: Read Device Configuration Failed !"}}),
    FaultCaseName);

// ---- write ----

TEST_F(LinkTest, WriteWithCorrectPasswordIsAppliedAndReadBack)
{
    ASSERT_EQ(Link().ReadConfiguration(record), 1);
    std::strcpy(record.password, "admin");
    std::strcpy(record.newPassword, "secret");
    std::strcpy(record.program_info1.progName, "News & Weather");
    sleeps.clear();

    std::string handedOver;
    EXPECT_EQ(Link().WriteConfiguration(record, &handedOver), 1);
    EXPECT_EQ(reporter.messages, Messages{"Tip: Set Configuration Success !"});
    EXPECT_EQ(sleeps, std::vector<int>{options.timing.writeWaitMs});
    EXPECT_EQ(sim.Password(), "secret");
    std::string sent = sim.LastWrittenDocument();
    EXPECT_EQ(handedOver, sent);
    EXPECT_NE(sent.find("<progName>News &amp; Weather</progName>"), std::string::npos);
    EXPECT_NE(sent.find("<password>admin</password>"), std::string::npos);

    EncoderRecord again{};
    again.ipAddr = sim.Address();
    EXPECT_EQ(Link().ReadConfiguration(again), 1);
    EXPECT_STREQ(again.program_info1.progName, "News & Weather");
    EXPECT_EQ(again.password[0], 0) << "the encoder never hands out its password";
}

TEST_F(LinkTest, WriteWithWrongPasswordIsRefused)
{
    std::strcpy(record.password, "guess");
    std::strcpy(record.newPassword, "secret");
    EXPECT_EQ(Link().WriteConfiguration(record), 0);
    EXPECT_EQ(reporter.messages, Messages{"Warning: Password Error !"});
    EXPECT_EQ(sim.Password(), "admin");
}

struct PasswordCase {
    const char* name;
    const char* password;
    const char* newPassword;
    const char* message;
};

class WritePasswordTest : public LinkTest, public ::testing::WithParamInterface<PasswordCase> {};

TEST_P(WritePasswordTest, EmptyPasswordStopsBeforeDocumentAndConnection)
{
    std::strcpy(record.password, GetParam().password);
    std::strcpy(record.newPassword, GetParam().newPassword);
    std::string sent = "untouched";
    EXPECT_EQ(Link().WriteConfiguration(record, &sent), 0);
    EXPECT_EQ(reporter.messages, Messages{GetParam().message});
    EXPECT_EQ(sent, "") << "no document was made";
    EXPECT_FALSE(sim.WaitForRequests(1, 50));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WritePasswordTest,
    ::testing::Values(PasswordCase{"no_password", "", "secret", "Warning: Please enter correct passowrd !"},
                      PasswordCase{"no_new_password", "admin", "", "Warning: Please enter correct newPassowrd !"},
                      PasswordCase{"neither", "", "", "Warning: Please enter correct passowrd !"}),
    [](const ::testing::TestParamInfo<PasswordCase>& info) { return std::string(info.param.name); });

TEST_F(LinkTest, WriteHandsOverItsDocumentEvenWhenTheEncoderIsUnreachable)
{
    options.commandPort = ClosedPort();
    std::strcpy(record.password, "admin");
    std::strcpy(record.newPassword, "admin");
    std::string file;
    EXPECT_EQ(Link().WriteConfiguration(record, &file), 0);
    EXPECT_EQ(reporter.messages, Messages{"Warning: Connect Encoder Failed !"});
    EXPECT_EQ(file.rfind("<?xml", 0), 0u);
    EXPECT_NE(file.find("<progName>dvb</progName>"), std::string::npos);
    EXPECT_STREQ(record.program_info1.progName, "dvb");
}

class WriteFaultTest : public LinkTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(WriteFaultTest, ReportsEachFailedReceiveThenTheVerdict)
{
    sim.SetFault(GetParam().fault);
    std::strcpy(record.password, "admin");
    std::strcpy(record.newPassword, "admin");
    EXPECT_EQ(Link().WriteConfiguration(record), GetParam().result);
    EXPECT_EQ(reporter.messages, GetParam().messages);
}

const char kFailed[] = "Warning: Set Configuration Failed !";
const char kCmd[] = "Warning: Recv sendxml cmd failed !";
const char kRlen[] = "Warning: Recv sendxml rlen failed !";
const char kRet[] = "Warning: Recv sendxml ret failed !";

INSTANTIATE_TEST_SUITE_P(
    Faults, WriteFaultTest,
    ::testing::Values(
        FaultCase{"reply_code_not_compared", SimFault::WrongCode, 1, {"Tip: Set Configuration Success !"}},
        FaultCase{"oversized_reply_capped", SimFault::OversizedLength, 1, {"Tip: Set Configuration Success !"}},
        FaultCase{"zero_length", SimFault::ZeroLength, 0, {kFailed}},
        FaultCase{"negative_length", SimFault::NegativeLength, 0, {kRet, kFailed}},
        FaultCase{"short_payload", SimFault::ShortPayload, 0, {kRet, kFailed}},
        FaultCase{"short_code", SimFault::ShortCode, 0, {kCmd, kRlen, kFailed}},
        FaultCase{"close_after_code", SimFault::CloseAfterCode, 0, {kRlen, kFailed}},
        FaultCase{"close_after_length", SimFault::CloseAfterLength, 0, {kRet, kFailed}},
        FaultCase{"silence", SimFault::Silence, 0, {kCmd, kRlen, kFailed}},
        FaultCase{"early_close", SimFault::EarlyClose, 0, {kCmd, kRlen, kFailed}},
        FaultCase{"garbage", SimFault::Garbage, 0, {kFailed}}),
    FaultCaseName);

struct ReplyCase {
    const char* name;
    std::string payload;
    int result;
    const char* message;
};

class WriteReplyTest : public LinkTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(WriteReplyTest, VerdictFollowsTheReplyText)
{
    sim.SetWriteReply(GetParam().payload);
    std::strcpy(record.password, "admin");
    std::strcpy(record.newPassword, "admin");
    EXPECT_EQ(Link().WriteConfiguration(record), GetParam().result);
    EXPECT_EQ(reporter.messages, Messages{GetParam().message});
}

INSTANTIATE_TEST_SUITE_P(
    Replies, WriteReplyTest,
    ::testing::Values(ReplyCase{"ok_then_text", "OK, settings applied", 1, "Tip: Set Configuration Success !"},
                      ReplyCase{"password_err_no_zero", "PASSWORD ERR", 0, "Warning: Password Error !"},
                      // NOLINTNEXTLINE(bugprone-string-constructor): the encoder's reply, zero byte included
                      ReplyCase{"password_err_zero", std::string("PASSWORD ERR", 13), 0, "Warning: Password Error !"},
                      ReplyCase{"password_err_letters", "PASSWORD ERRORS", 0, kFailed},
                      ReplyCase{"other", "BUSY", 0, kFailed}),
    [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

// ---- start and stop ----

TEST_F(LinkTest, StartAndStopSendTheirRequestAndReturnAtOnce)
{
    EXPECT_EQ(Link().StartTsToIp(record), 1);
    ASSERT_TRUE(sim.WaitForRequests(1, 2000));
    EXPECT_TRUE(sim.TsRunning());
    EXPECT_EQ(Link().StopTsToIp(record), 1);
    ASSERT_TRUE(sim.WaitForRequests(2, 2000));
    EXPECT_FALSE(sim.TsRunning());
    EXPECT_EQ(sim.Requests(), (std::vector<int32_t>{CMD_START_TS, CMD_STOP_TS}));
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(LinkTest, StartSucceedsWhetherOrNotTheEncoderActs)
{
    sim.SetFault(SimFault::EarlyClose);
    EXPECT_EQ(Link().StartTsToIp(record), 1);
    EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(LinkTest, StartAndStopOfUnreachableEncoderSaySo)
{
    options.commandPort = ClosedPort();
    EXPECT_EQ(Link().StartTsToIp(record), 0);
    EXPECT_EQ(Link().StopTsToIp(record), 0);
    EXPECT_EQ(reporter.messages, (Messages{"Warning: Connect Encoder Failed !", "Warning: Connect Encoder Failed !"}));
}

// ---- status ----

struct StatusReplyCase {
    const char* name;
    std::vector<uint8_t> status;
    uint16_t threshold;
    int flags;
};

class StatusQueryTest : public LinkTest, public ::testing::WithParamInterface<StatusReplyCase> {};

TEST_P(StatusQueryTest, FlagsComeFromThePayload)
{
    sim.SetStatus(GetParam().status);
    record.temperature = GetParam().threshold;
    EncoderRecord before = record;
    EXPECT_EQ(Link().QueryStatus(record), GetParam().flags);
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_EQ(sleeps, std::vector<int>{options.timing.statusWaitMs});
    EXPECT_TRUE(SameRecord(record, before));
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, StatusQueryTest,
    ::testing::Values(StatusReplyCase{"healthy", {0, 0, 38, 1, 1, 1, 1}, 0, 0},
                      StatusReplyCase{"two_bytes", {0, 0}, 0, 0x78},
                      StatusReplyCase{"busy", {1, 0, 38, 1, 1, 1, 1}, 0, STATUS_BUSY},
                      StatusReplyCase{"keyboard", {0, 1, 38, 1, 1, 1, 1}, 0, STATUS_KEYBOARD},
                      StatusReplyCase{"over_temperature", {0, 0, 60, 1, 1, 1, 1}, 50, STATUS_OVER_TEMPERATURE},
                      StatusReplyCase{"at_threshold", {0, 0, 50, 1, 1, 1, 1}, 50, 0},
                      StatusReplyCase{"negative_reading", {0, 0, 200, 1, 1, 1, 1}, 50, 0},
                      StatusReplyCase{"hundred_bytes", std::vector<uint8_t>(100, 1), 0, STATUS_BUSY | STATUS_KEYBOARD}),
    [](const ::testing::TestParamInfo<StatusReplyCase>& info) { return std::string(info.param.name); });

class StatusFaultTest : public LinkTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(StatusFaultTest, GivesMinusOneWithoutMessages)
{
    sim.SetFault(GetParam().fault);
    EXPECT_EQ(Link().QueryStatus(record), GetParam().result);
    EXPECT_TRUE(reporter.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Faults, StatusFaultTest,
                         ::testing::Values(FaultCase{"wrong_code", SimFault::WrongCode, -1, {}},
                                           FaultCase{"zero_length", SimFault::ZeroLength, -1, {}},
                                           FaultCase{"negative_length", SimFault::NegativeLength, -1, {}},
                                           FaultCase{"short_payload", SimFault::ShortPayload, -1, {}},
                                           FaultCase{"short_code", SimFault::ShortCode, -1, {}},
                                           FaultCase{"close_after_code", SimFault::CloseAfterCode, -1, {}},
                                           FaultCase{"close_after_length", SimFault::CloseAfterLength, -1, {}},
                                           FaultCase{"silence", SimFault::Silence, -1, {}},
                                           FaultCase{"early_close", SimFault::EarlyClose, -1, {}},
                                           // Longer than the 100-byte buffer: cut to it, the first bytes still count.
                                           FaultCase{"oversized_length_capped", SimFault::OversizedLength, 0, {}}),
                         FaultCaseName);

TEST_F(LinkTest, StatusOfUnreachableEncoderIsMinusOne)
{
    options.commandPort = ClosedPort();
    EXPECT_EQ(Link().QueryStatus(record), -1);
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_TRUE(sleeps.empty());
}

// ---- request bytes ----

struct RequestCase {
    const char* name;
    int32_t code;
    int (*exchange)(CEncoderLink&, EncoderRecord&);
};

class RequestBytesTest : public LinkTest, public ::testing::WithParamInterface<RequestCase> {};

// Code then length, little-endian; only a write carries a payload, the document it hands over.
TEST_P(RequestBytesTest, HeaderIsLittleEndianCodeAndLength)
{
    std::strcpy(record.password, "admin");
    std::strcpy(record.newPassword, "admin");
    CEncoderLink link = Link();
    std::string payload;
    if (GetParam().code == CMD_WRITE_CONFIG) {
        link.WriteConfiguration(record, &payload);
    } else {
        GetParam().exchange(link, record);
    }
    ASSERT_TRUE(sim.WaitForRequests(1, 2000));
    ASSERT_EQ(payload.empty(), GetParam().code != CMD_WRITE_CONFIG);
    std::vector<uint8_t> expected(FrameHeader::kSize);
    FrameHeader{GetParam().code, static_cast<int32_t>(payload.size())}.Encode(expected.data());
    expected.insert(expected.end(), payload.begin(), payload.end());
    EXPECT_EQ(sim.LastRequestBytes(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Exchanges, RequestBytesTest,
    ::testing::Values(
        RequestCase{"read", CMD_READ_CONFIG,
                    [](CEncoderLink& link, EncoderRecord& r) { return link.ReadConfiguration(r); }},
        RequestCase{"write", CMD_WRITE_CONFIG,
                    [](CEncoderLink& link, EncoderRecord& r) { return link.WriteConfiguration(r); }},
        RequestCase{"start", CMD_START_TS, [](CEncoderLink& link, EncoderRecord& r) { return link.StartTsToIp(r); }},
        RequestCase{"stop", CMD_STOP_TS, [](CEncoderLink& link, EncoderRecord& r) { return link.StopTsToIp(r); }},
        RequestCase{"status", CMD_STATUS, [](CEncoderLink& link, EncoderRecord& r) { return link.QueryStatus(r); }}),
    [](const ::testing::TestParamInfo<RequestCase>& info) { return std::string(info.param.name); });

// ---- the fixed waits ----

struct WaitCase {
    const char* name;
    int32_t code;
    int (*exchange)(CEncoderLink&, EncoderRecord&);
};

class FixedWaitTest : public LinkTest, public ::testing::WithParamInterface<WaitCase> {};

// Even a wait configured as 0 goes through the sleep hook, and only once the whole
// request has reached the encoder.
TEST_P(FixedWaitTest, ComesAfterTheWholeRequestEvenWhenZero)
{
    options.timing.readWaitMs = 0;
    options.timing.writeWaitMs = 0;
    options.timing.statusWaitMs = 0;
    std::vector<bool> requestArrived;
    options.sleep = [&](int ms) {
        sleeps.push_back(ms);
        requestArrived.push_back(sim.WaitForRequests(1, 2000));
    };
    std::strcpy(record.password, "admin");
    std::strcpy(record.newPassword, "admin");
    CEncoderLink link = Link();
    EXPECT_GE(GetParam().exchange(link, record), 0);
    EXPECT_EQ(sleeps, std::vector<int>{0});
    EXPECT_EQ(requestArrived, std::vector<bool>{true});
    EXPECT_EQ(sim.Requests(), std::vector<int32_t>{GetParam().code});
}

INSTANTIATE_TEST_SUITE_P(
    Exchanges, FixedWaitTest,
    ::testing::Values(WaitCase{"read", CMD_READ_CONFIG,
                               [](CEncoderLink& link, EncoderRecord& r) { return link.ReadConfiguration(r); }},
                      WaitCase{"write", CMD_WRITE_CONFIG,
                               [](CEncoderLink& link, EncoderRecord& r) { return link.WriteConfiguration(r); }},
                      WaitCase{"status", CMD_STATUS,
                               [](CEncoderLink& link, EncoderRecord& r) { return link.QueryStatus(r); }}),
    [](const ::testing::TestParamInfo<WaitCase>& info) { return std::string(info.param.name); });

// ---- discovery ----

class SearchTest : public LinkTest {
protected:
    std::vector<std::string> Search(uint32_t address)
    {
        std::vector<std::string> found;
        auto start = std::chrono::steady_clock::now();
        Link().SearchEncoder(address, [&](const std::string& dotted) { found.push_back(dotted); });
        elapsedMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        return found;
    }
    long long elapsedMs = 0;
};

TEST_F(SearchTest, SendsTheRequestAndListsTheReportedAddress)
{
    EXPECT_EQ(Search(sim.Address()), std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(sim.LastSearchRequest(), (std::vector<uint8_t>{0xE9, 0x03, 0x04, 0x00, 0xF0}));
    EXPECT_GE(elapsedMs, options.timing.searchWindowMs) << "listens for the whole window";
    EXPECT_LT(elapsedMs, options.timing.searchWindowMs + 1500) << "and then stops";
    EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(SearchTest, SilentNetworkListsNothingAfterTheWindow)
{
    options.searchPort = ClosedPort();
    EXPECT_TRUE(Search(sim.Address()).empty());
    EXPECT_GE(elapsedMs, options.timing.searchWindowMs);
}

struct SearchFaultCase {
    const char* name;
    SimFault fault;
    std::vector<std::string> found;
};

class SearchFaultTest : public SearchTest, public ::testing::WithParamInterface<SearchFaultCase> {};

TEST_P(SearchFaultTest, ListsOnlyAcceptedReplies)
{
    sim.SetFault(GetParam().fault);
    EXPECT_EQ(Search(sim.Address()), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SearchFaultTest,
    ::testing::Values(SearchFaultCase{"bad_checksum", SimFault::BadChecksum, {}},
                      SearchFaultCase{"bad_marker", SimFault::BadMarker, {}},
                      SearchFaultCase{"seven_byte_reply", SimFault::ShortReply, {}},
                      SearchFaultCase{"reported_address_not_sender", SimFault::OtherAddress, {"127.0.0.2"}},
                      // Each reply is handed on; the device list ignores what it already has.
                      SearchFaultCase{
                          "several_with_duplicate", SimFault::SeveralReplies, {"127.0.0.1", "127.0.0.1", "127.0.0.2"}}),
    [](const ::testing::TestParamInfo<SearchFaultCase>& info) { return std::string(info.param.name); });

TEST_F(SearchTest, ReportAddressOptionIsWhatGetsListed)
{
    SimOptions other;
    other.reportAddress = "127.0.0.77";
    CEncoderSim second(other);
    ASSERT_TRUE(second.Start()) << second.Error();
    options.searchPort = second.SearchPort();
    EXPECT_EQ(Search(second.Address()), std::vector<std::string>{"127.0.0.77"});
}

TEST_F(SearchTest, AFullSubnetAnsweringAtOnceIsListedWhole)
{
    if (RunningUnderWine()) {
        GTEST_SKIP() << kWineBurstReason;
    }
    std::vector<uint32_t> addresses;
    std::vector<std::string> expected;
    for (uint32_t host = 1; host <= 254; ++host) {
        addresses.push_back(0x7F010100u | host);
        expected.push_back("127.1.1." + std::to_string(host));
    }
    sim.SetSearchReplies(addresses);
    EXPECT_EQ(Search(sim.Address()), expected);
}

// ---- no socket at all ----

#if defined(__has_feature)
#if __has_feature(address_sanitizer) && !defined(__SANITIZE_ADDRESS__)
#define __SANITIZE_ADDRESS__ 1
#endif
#endif

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Runs in a child whose descriptor table is full, so that no socket can be made.
void ExchangesWithoutSockets(LinkOptions options, uint32_t address)
{
    int lowestFree = open("/dev/null", O_RDONLY);
    close(lowestFree);
    rlimit limit{static_cast<rlim_t>(lowestFree), static_cast<rlim_t>(lowestFree)};
    setrlimit(RLIMIT_NOFILE, &limit);
    RecordingReporter reporter;
    CEncoderLink link(reporter, options);
    EncoderRecord record{};
    record.ipAddr = address;
    std::strcpy(record.password, "admin");
    std::strcpy(record.newPassword, "admin");
    bool found = false;
    int results = link.ReadConfiguration(record) + link.WriteConfiguration(record) + link.StartTsToIp(record) +
                  link.StopTsToIp(record);
    int status = link.QueryStatus(record);
    link.SearchEncoder(address, [&](const std::string&) { found = true; });
    const Messages expected(4, "Warning: Create Socket Failed !");
    std::_Exit(results == 0 && status == -1 && !found && reporter.messages == expected ? 0 : 1);
}

}   // namespace

TEST_F(LinkTest, EveryExchangeReportsASocketThatCannotBeMade)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' own checks need descriptors that this test takes away";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ExchangesWithoutSockets(options, record.ipAddr), ::testing::ExitedWithCode(0), "");
}
#endif
