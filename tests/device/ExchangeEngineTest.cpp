// The exchange engine against a fleet of in-process stand-in encoders on 127.0.0.2 onwards:
// results equal to the single-encoder link's, the per-encoder exclusion, deadlines,
// cancelling, both wait modes, the out file and discovery.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#ifdef __linux__
#include <dirent.h>
#endif

#include "../UnderWine.h"
#include "CEncoderSim.h"
#include "EncoderLink.h"
#include "EngineTestSupport.h"
#include "ExchangeEngine.h"
#include "LinkProtocol.h"
#include "SettingsDocument.h"
#include "StatusGate.h"

namespace {

using Clock = std::chrono::steady_clock;
using Messages = std::vector<ExchangeMessage>;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string TempPath(const std::string& name)
{
    std::string file = "korvane-device-" + name;
    for (char& c : file) {
        c = c == '/' ? '_' : c;   // a parameterised test's name is no folder
    }
    return ::testing::TempDir() + file;
}

std::string FileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string Range(int count)
{
    return "127.0.0.2-" + std::to_string(1 + count);
}

LinkOptions ShortLink(const CEncoderSim& sim)
{
    LinkOptions link;
    link.commandPort = sim.CommandPort();
    link.searchPort = sim.SearchPort();
    link.timing = {30, 20, 10, 100, 300};
    link.timing.receiveBoundMs = 400;
    return link;
}

// A record as the encoder at `address` would fill it, with both passwords typed in.
EncoderRecord WritableRecord(uint32_t address)
{
    EncoderRecord record{};
    std::string document = CEncoderSim::DefaultDocument(address);
    ReadSettingsText(document.c_str(), static_cast<int>(document.size()), record);
    record.ipAddr = address;
    std::strcpy(record.password, "admin");
    std::strcpy(record.newPassword, "admin");
    return record;
}

class CollectingReporter : public LinkReporter {
public:
    void Warning(const std::string& text) override { messages.push_back({MessageKind::Warning, text}); }
    void Tip(const std::string& text) override { messages.push_back({MessageKind::Tip, text}); }
    Messages messages;
};

// What the link alone makes of one encoder, the way the device list runs it: the status
// gate before a read or write, then the exchange.
struct Alone {
    ExchangeOutcome outcome = ExchangeOutcome::Failed;
    int linkResult = 0;
    int statusFlags = -1;
    Messages messages;
    bool hasRecord = false;
};

Alone RunAlone(ExchangeKind kind, EncoderRecord record, const LinkOptions& options)
{
    Alone alone;
    CollectingReporter reporter;
    CEncoderLink link(reporter, options);
    bool succeeded = false;
    if (kind == ExchangeKind::Status) {
        alone.linkResult = alone.statusFlags = link.QueryStatus(record);
        succeeded = alone.statusFlags >= 0;
    } else {
        alone.statusFlags = link.QueryStatus(record);
        if (std::optional<std::string> refusal = GateMessage(alone.statusFlags)) {
            reporter.messages.push_back({MessageKind::Warning, *refusal});
        } else if (kind == ExchangeKind::Read) {
            alone.linkResult = link.ReadConfiguration(record);
            succeeded = alone.hasRecord = alone.linkResult != 0;
        } else {
            alone.linkResult = link.WriteConfiguration(record);
            succeeded = alone.linkResult == 1;
        }
    }
    alone.outcome = succeeded ? ExchangeOutcome::Succeeded : ExchangeOutcome::Failed;
    alone.messages = reporter.messages;
    return alone;
}

std::string Describe(const Messages& messages)
{
    std::string text;
    for (const ExchangeMessage& message : messages) {
        text += (message.kind == MessageKind::Tip ? "[Tip] " : "[Warning] ") + message.text + "; ";
    }
    return text;
}

class EngineTest : public ::testing::Test {
protected:
    void StartFleet(int count)
    {
        SimOptions options;
        options.bindAddress = Range(count);
        options.discovery = FleetDiscoveryWorks(count);
        fleet = std::make_unique<CEncoderSim>(options);
        ASSERT_TRUE(fleet->Start()) << fleet->Error();
        engineOptions.link = ShortLink(*fleet);
        engineOptions.outFile = TempPath(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override
    {
        if (engine) {
            EXPECT_TRUE(engine->WaitIdle(10000));
        }
        engine.reset();
        std::remove(engineOptions.outFile.c_str());
    }
    ExchangeEngine& Engine()
    {
        if (!engine) {
            engine = std::make_unique<ExchangeEngine>(engineOptions);
        }
        return *engine;
    }
    EncoderRecord RecordAt(size_t index) const
    {
        EncoderRecord record{};
        record.ipAddr = fleet->EncoderAt(index).Address();
        return record;
    }

    std::unique_ptr<CEncoderSim> fleet;
    EngineOptions engineOptions;
    std::unique_ptr<ExchangeEngine> engine;
    ExchangeCollector collector;
};

}   // namespace

TEST_F(EngineTest, ReadsOneEncoderBehindItsStatusGate)
{
    StartFleet(1);
    fleet->SetStatus({0, 0, 61, 1, 1, 1, 1});
    EncoderRecord record = RecordAt(0);
    record.deviceID = 3;
    ExchangeId id = Engine().Read(record, collector.Sink());
    std::optional<ExchangeResult> result = collector.Next(10000);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->id, id);
    EXPECT_EQ(result->batch, 0u);
    EXPECT_EQ(result->kind, ExchangeKind::Read);
    EXPECT_EQ(result->address, record.ipAddr);
    EXPECT_EQ(result->outcome, ExchangeOutcome::Succeeded);
    EXPECT_EQ(result->linkResult, 1);
    EXPECT_TRUE(result->statusTaken);
    EXPECT_EQ(result->statusFlags, 0);
    EXPECT_EQ(result->temperature, 61);
    EXPECT_TRUE(result->messages.empty()) << Describe(result->messages);
    ASSERT_TRUE(result->record);
    EXPECT_EQ(result->record->loaded, 1);
    EXPECT_STREQ(result->record->program_info1.progName, "Korvane One");
    EXPECT_FALSE(result->written);
    EXPECT_LE(result->submitted, result->started);
    EXPECT_LE(result->started, result->finished);
    EXPECT_EQ(fleet->Requests(), (std::vector<int32_t>{CMD_STATUS, CMD_READ_CONFIG}));
}

TEST_F(EngineTest, GateStopsBusyKeyboardAndSilentEncodersBeforeTheExchange)
{
    StartFleet(3);
    fleet->EncoderAt(0).SetStatus({1, 1, 0, 1, 1, 1, 1});
    fleet->EncoderAt(1).SetStatus({0, 1, 0, 1, 1, 1, 1});
    fleet->EncoderAt(2).SetFault(SimFault::Silence);
    const char* expected[] = {"Device is busying !", "Device is controled by keyboard !", "Connect Device Failed !"};
    std::vector<EncoderRecord> records;
    for (size_t i = 0; i < 3; ++i) {
        records.push_back(WritableRecord(fleet->EncoderAt(i).Address()));
    }
    for (ExchangeKind kind : {ExchangeKind::Read, ExchangeKind::Write}) {
        Engine().SubmitBatch(kind, records, {collector.Sink(), {}}, {});
        ASSERT_TRUE(Engine().WaitIdle(10000));
        for (const ExchangeResult& result : collector.TakeAll()) {
            size_t index = result.address - fleet->EncoderAt(0).Address();
            ASSERT_LT(index, 3u);
            EXPECT_EQ(result.outcome, ExchangeOutcome::Failed);
            EXPECT_EQ(result.linkResult, 0);
            EXPECT_EQ(result.messages, (Messages{{MessageKind::Warning, expected[index]}})) << index;
            EXPECT_FALSE(result.record);
            EXPECT_FALSE(result.written);
        }
    }
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(fleet->EncoderAt(i).Requests(), (std::vector<int32_t>{CMD_STATUS, CMD_STATUS}))
            << "nothing past the gate";
    }
}

// A hundred encoders at once, a mix of faults and exchanges: each result is exactly what
// the link alone makes of that encoder, in both wait modes. The status wait is long and
// the others none, so that faulty reads and writes get past their gate.
struct Behaviour {
    SimFault fault;
    int delayMs;
};

const std::vector<Behaviour> kBehaviours = {
    {SimFault::None, 0},      {SimFault::WrongCode, 0}, {SimFault::ZeroLength, 0},       {SimFault::ShortPayload, 0},
    {SimFault::ShortCode, 0}, {SimFault::Silence, 0},   {SimFault::EarlyClose, 0},       {SimFault::Garbage, 0},
    {SimFault::WrongRoot, 0}, {SimFault::Trickle, 0},   {SimFault::CloseAfterLength, 0}, {SimFault::OversizedLength, 0},
    {SimFault::None, 250},   // answers after the read's and write's receives gave up
};
const std::vector<ExchangeKind> kKinds = {ExchangeKind::Read, ExchangeKind::Write, ExchangeKind::Status};

void Behave(SimEncoder encoder, const Behaviour& behaviour)
{
    encoder.SetFault(behaviour.fault);
    encoder.SetDelay(behaviour.delayMs);
    encoder.SetTrickle(20);   // the status reply is whole within its wait, a document never
}

// The receive time-out stays well above the trickle's 20 ms steps, so that a loaded
// machine never turns a trickled status or write reply into a missing one; the 250 ms
// delay still outlasts it.
LinkTiming MixTiming()
{
    LinkTiming timing = {0, 0, 400, 150, 300};
    timing.receiveBoundMs = 400;
    return timing;
}

// Each wait mode, on one event loop and on two (a result must not depend on which loop ran
// its exchange, nor on where its callback runs).
class EngineEquivalenceTest : public EngineTest, public ::testing::WithParamInterface<std::tuple<WaitMode, size_t>> {
protected:
    // The reference: the link alone, each behaviour against a stand-in of its own.
    static void SetUpTestSuite()
    {
        std::vector<std::thread> threads;
        std::mutex mutex;
        for (size_t b = 0; b < kBehaviours.size(); ++b) {
            threads.emplace_back([b, &mutex] {
                CEncoderSim single;
                if (!single.Start()) {
                    return;
                }
                Behave(single.EncoderAt(0), kBehaviours[b]);
                LinkOptions options = ShortLink(single);
                options.timing = MixTiming();
                for (size_t k = 0; k < kKinds.size(); ++k) {
                    Alone alone = RunAlone(kKinds[k], WritableRecord(single.Address()), options);
                    std::lock_guard<std::mutex> lock(mutex);
                    s_expected[{b, k}] = alone;
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    static std::map<std::pair<size_t, size_t>, Alone> s_expected;
};

std::map<std::pair<size_t, size_t>, Alone> EngineEquivalenceTest::s_expected;

TEST_P(EngineEquivalenceTest, EveryResultIsTheSingleEncoderResult)
{
    ASSERT_EQ(s_expected.size(), kBehaviours.size() * kKinds.size()) << "every reference ran";
    std::set<std::string> distinct;
    for (const auto& [which, want] : s_expected) {
        distinct.insert(std::string(ExchangeOutcomeName(want.outcome)) + Describe(want.messages));
    }
    EXPECT_GE(distinct.size(), 8u) << "the mix covers successes and many kinds of failure";

    const size_t count = 100;
    StartFleet(static_cast<int>(count));
    std::map<uint32_t, std::pair<size_t, size_t>> plan;   // address -> (behaviour, kind)
    for (size_t i = 0; i < count; ++i) {
        SimEncoder encoder = fleet->EncoderAt(i);
        size_t b = i % kBehaviours.size();
        size_t k = (i / kBehaviours.size()) % kKinds.size();
        Behave(encoder, kBehaviours[b]);
        plan[encoder.Address()] = {b, k};
    }
    engineOptions.link.timing = MixTiming();
    engineOptions.link.waitMode = std::get<0>(GetParam());
    engineOptions.loops = std::get<1>(GetParam());
    for (const auto& [address, which] : plan) {
        ExchangeRequest request;
        request.kind = kKinds[which.second];
        request.record = WritableRecord(address);
        Engine().Submit(request, {collector.Sink(), {}});
    }
    ASSERT_TRUE(collector.WaitFor(count, 30000));
    std::vector<ExchangeResult> results = collector.TakeAll();
    ASSERT_EQ(results.size(), count);
    for (const ExchangeResult& result : results) {
        const auto& which = plan.at(result.address);
        const Alone& want = s_expected.at(which);
        std::string label = "behaviour " + std::to_string(which.first) + ", " + ExchangeKindName(result.kind);
        EXPECT_EQ(result.outcome, want.outcome) << label;
        EXPECT_EQ(result.linkResult, want.linkResult) << label;
        EXPECT_EQ(result.statusFlags, want.statusFlags) << label;
        EXPECT_EQ(result.messages, want.messages)
            << label << ": " << Describe(result.messages) << " vs " << Describe(want.messages);
        EXPECT_EQ(result.record.has_value(), want.hasRecord) << label;
        if (result.record) {
            EncoderRecord record = WritableRecord(result.address);
            std::string document = fleet->EncoderFor(result.address).Document();
            ReadSettingsText(document.c_str(), static_cast<int>(document.size()), record);
            record.loaded = 1;
            // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): both start zero-filled, filled alike
            EXPECT_EQ(std::memcmp(&*result.record, &record, sizeof record), 0) << label;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, EngineEquivalenceTest,
                         ::testing::Combine(::testing::Values(WaitMode::Fixed, WaitMode::ReplyComplete),
                                            ::testing::Values(size_t{1}, size_t{2})),
                         [](const ::testing::TestParamInfo<std::tuple<WaitMode, size_t>>& info) {
                             return std::string(std::get<0>(info.param) == WaitMode::Fixed ? "fixed"
                                                                                           : "reply_complete") +
                                    (std::get<1>(info.param) == 1 ? "_one_loop" : "_two_loops");
                         });

TEST_F(EngineTest, RefusesASecondExchangeForTheSameEncoder)
{
    StartFleet(2);
    fleet->EncoderAt(0).SetFault(SimFault::Silence);
    engineOptions.link.timing = kLongReceive;
    EncoderRecord first = RecordAt(0);
    ExchangeId running = Engine().Read(first, collector.Sink());
    EXPECT_TRUE(Engine().InFlight(first.ipAddr));

    ExchangeId refused = Engine().Status(first, collector.Sink());
    std::optional<ExchangeResult> result = collector.Next(10000);
    ASSERT_TRUE(result) << "a refusal is reported like any result";
    EXPECT_EQ(result->id, refused);
    EXPECT_NE(refused, running);
    EXPECT_EQ(result->outcome, ExchangeOutcome::Refused);
    EXPECT_TRUE(result->messages.empty());
    EXPECT_TRUE(Engine().InFlight(first.ipAddr)) << "the refusal does not free the encoder";

    Engine().Status(RecordAt(1), collector.Sink());   // another encoder goes ahead
    result = collector.Next(10000);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, ExchangeOutcome::Succeeded);

    EXPECT_EQ(Engine().CancelEncoder(first.ipAddr), 1u);
    result = collector.Next(10000);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->id, running);
    EXPECT_EQ(result->outcome, ExchangeOutcome::Cancelled);
    EXPECT_FALSE(Engine().InFlight(first.ipAddr));
    fleet->EncoderAt(0).SetFault(SimFault::None);
    Engine().Status(first, collector.Sink());
    result = collector.Next(10000);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, ExchangeOutcome::Succeeded) << "the encoder is free again";
}

// Cancel cuts a fixed wait, a connect, or a receive short; nothing of the exchange is kept.
struct CancelCase {
    const char* name;
    WaitMode mode;
    ExchangeKind kind;
    LinkTiming timing;
};

class EngineCancelTest : public EngineTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(EngineCancelTest, EndsWellWithinItsWaitAndKeepsNothing)
{
    StartFleet(1);
    fleet->SetFault(SimFault::Silence);
    engineOptions.link.timing = GetParam().timing;
    engineOptions.link.waitMode = GetParam().mode;
    EncoderRecord record = WritableRecord(fleet->Address());
    ExchangeRequest request{GetParam().kind, record, 0, {}, ExchangePriority::Command};
    ExchangeId id = Engine().Submit(request, {collector.Sink(), {}});
    ASSERT_TRUE(fleet->WaitForRequests(1, 10000));   // the request is out: the exchange waits

    Clock::time_point cancelled = Clock::now();
    EXPECT_EQ(Engine().Cancel(id), 1u);
    std::optional<ExchangeResult> result = collector.Next(10000);
    long long ms = MsSince(cancelled);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, ExchangeOutcome::Cancelled);
    EXPECT_TRUE(result->messages.empty()) << Describe(result->messages);
    EXPECT_FALSE(result->record);
    EXPECT_FALSE(result->written);
    EXPECT_EQ(result->linkResult, 0);
    // The wait and every receive bound are a minute; a cancel is a matter of milliseconds
    // (the limit leaves room for a loaded machine, not for a wait).
    EXPECT_LT(ms, 2000);
    EXPECT_EQ(Engine().Cancel(id), 0u) << "a finished exchange cannot be cancelled again";
}

INSTANTIATE_TEST_SUITE_P(
    Points, EngineCancelTest,
    ::testing::Values(CancelCase{"status_mid_wait_fixed", WaitMode::Fixed, ExchangeKind::Status, kLongWait},
                      CancelCase{"status_mid_wait_reply_complete", WaitMode::ReplyComplete, ExchangeKind::Status,
                                 kLongWait},
                      CancelCase{"read_mid_receive", WaitMode::Fixed, ExchangeKind::Read, kLongReceive},
                      CancelCase{"write_mid_receive", WaitMode::ReplyComplete, ExchangeKind::Write, kLongReceive}),
    [](const ::testing::TestParamInfo<CancelCase>& info) { return std::string(info.param.name); });

TEST_F(EngineTest, CancelsAWholeBatchAndLeaksNothing)
{
    int descriptors = OpenDescriptors();
    {
        StartFleet(20);
        fleet->SetFault(SimFault::Silence);
        engineOptions.link.timing = kLongWait;
        std::vector<EncoderRecord> records;
        for (size_t i = 0; i < 20; ++i) {
            records.push_back(RecordAt(i));
            records.back().deviceID = static_cast<uint8_t>(i);
        }
        std::mutex mutex;
        std::condition_variable ended;
        std::optional<BatchSummary> summary;
        ExchangeEngine::BatchTicket ticket =
            Engine().SubmitBatch(ExchangeKind::Read, records, {collector.Sink(), {}}, [&](const BatchSummary& s) {
                std::lock_guard<std::mutex> lock(mutex);
                summary = s;
                ended.notify_all();
            });
        ASSERT_EQ(ticket.exchanges.size(), 20u);
        for (size_t i = 0; i < 20; ++i) {
            ASSERT_TRUE(fleet->EncoderAt(i).WaitForRequests(1, 10000)) << i;
        }
        EXPECT_EQ(Engine().CancelBatch(ticket.id), 20u);
        {
            std::unique_lock<std::mutex> lock(mutex);
            ASSERT_TRUE(ended.wait_for(lock, std::chrono::seconds(10), [&] { return summary.has_value(); }));
        }
        EXPECT_EQ(summary->id, ticket.id);
        EXPECT_EQ(summary->total, 20u);
        EXPECT_EQ(summary->cancelled, 20u);
        EXPECT_EQ(summary->succeeded + summary->failed + summary->refused, 0u);
        std::vector<ExchangeResult> results = collector.TakeAll();
        ASSERT_EQ(results.size(), 20u) << "every exchange is reported before the batch ends";
        for (const ExchangeResult& result : results) {
            EXPECT_EQ(result.batch, ticket.id);
            EXPECT_EQ(result.outcome, ExchangeOutcome::Cancelled);
            EXPECT_FALSE(result.record);
        }
        EXPECT_TRUE(Engine().WaitIdle(10000));
        EXPECT_EQ(Engine().Running(), 0u);
        for (size_t i = 0; i < 20; ++i) {
            EXPECT_EQ(fleet->EncoderAt(i).RequestCount(CMD_READ_CONFIG), 0) << "nothing past the cancelled gate";
        }
        engine.reset();
        fleet.reset();
    }
    EXPECT_EQ(OpenDescriptors(), descriptors) << "sockets or wake-ups left open";
}

TEST_F(EngineTest, CancelsExchangesStillWaitingForASlot)
{
    StartFleet(3);
    fleet->SetFault(SimFault::Silence);
    engineOptions.link.timing = kLongWait;
    engineOptions.maxInFlight = 1;
    for (size_t i = 0; i < 3; ++i) {
        Engine().Status(RecordAt(i), collector.Sink());
    }
    ASSERT_TRUE(fleet->EncoderAt(0).WaitForRequests(1, 10000));
    EXPECT_EQ(Engine().Running(), 1u) << "one slot";
    EXPECT_EQ(Engine().Pending(), 3u);
    EXPECT_EQ(Engine().CancelAll(), 3u);
    ASSERT_TRUE(collector.WaitFor(3, 10000));
    for (const ExchangeResult& result : collector.TakeAll()) {
        EXPECT_EQ(result.outcome, ExchangeOutcome::Cancelled);
    }
    EXPECT_EQ(fleet->EncoderAt(1).Requests().size(), 0u) << "the waiting ones never started";
    EXPECT_EQ(fleet->EncoderAt(2).Requests().size(), 0u);
}

TEST_F(EngineTest, RunsNoMoreThanTheLimitAtOnce)
{
    StartFleet(6);
    fleet->SetFault(SimFault::Silence);
    engineOptions.link.timing = {0, 0, 0, 100, 100};
    engineOptions.maxInFlight = 2;
    std::mutex mutex;
    size_t most = 0;
    CompletionCallback sink = collector.Sink();
    for (size_t i = 0; i < 6; ++i) {
        Engine().Status(RecordAt(i), [&, sink](const ExchangeResult& result) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                most = std::max(most, engine->Running());
            }
            sink(result);
        });
    }
    ASSERT_TRUE(collector.WaitFor(6, 10000));
    EXPECT_LE(most, 2u);
    for (const ExchangeResult& result : collector.TakeAll()) {
        EXPECT_EQ(result.outcome, ExchangeOutcome::Failed);
        EXPECT_EQ(result.linkResult, -1);
    }
}

TEST_F(EngineTest, SilentPeerThatNeverClosesEndsAtItsBound)
{
    StartFleet(1);
    fleet->SetFault(SimFault::Silence);
    EncoderRecord record = WritableRecord(fleet->Address());
    for (WaitMode mode : {WaitMode::Fixed, WaitMode::ReplyComplete}) {
        engineOptions.link.waitMode = mode;
        engine.reset();
        Engine().Write(record, collector.Sink());
        std::optional<ExchangeResult> result = collector.Next(10000);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->messages, (Messages{{MessageKind::Warning, "Connect Device Failed !"}}));
        // Status wait 10 ms, then one receive time-out of 100 ms; the bound of 400 ms caps it.
        EXPECT_LT(result->RunMs(), 10 + 400 + 1000);
    }
}

TEST_F(EngineTest, ConcurrentWritesNeverInterleaveTheOutFile)
{
    const int count = 20;
    StartFleet(count);
    std::vector<EncoderRecord> records;
    for (int i = 0; i < count; ++i) {
        records.push_back(WritableRecord(fleet->EncoderAt(static_cast<size_t>(i)).Address()));
        std::snprintf(records.back().program_info1.progName, sizeof records.back().program_info1.progName,
                      "Program of encoder %d with a long name", i);
    }
    Engine().SubmitBatch(ExchangeKind::Write, records, {collector.Sink(), {}}, {});
    ASSERT_TRUE(collector.WaitFor(static_cast<size_t>(count), 20000));
    for (const ExchangeResult& result : collector.TakeAll()) {
        EXPECT_EQ(result.outcome, ExchangeOutcome::Succeeded);
        EXPECT_EQ(result.messages, (Messages{{MessageKind::Tip, "Set Configuration Success !"}}));
        ASSERT_TRUE(result.written);
    }
    std::string file = FileText(engineOptions.outFile);
    bool whole = false;
    for (int i = 0; i < count; ++i) {
        whole = whole || file == fleet->EncoderAt(static_cast<size_t>(i)).LastWrittenDocument();
    }
    EXPECT_TRUE(whole) << "the out file is one encoder's whole document";
}

TEST_F(EngineTest, SearchReportsEveryAddressAsItArrives)
{
    if (RunningUnderWine()) {
        GTEST_SKIP() << kWineBurstReason;
    }
    StartFleet(1);
    std::vector<uint32_t> addresses;
    for (uint32_t i = 1; i <= 254; ++i) {
        addresses.push_back(0x0A000100u + i);   // 10.0.1.1 to 10.0.1.254
    }
    fleet->SetSearchReplies(addresses);
    std::mutex mutex;
    std::vector<uint32_t> progress;
    Engine().Search(fleet->Address(), collector.Sink(), [&](ExchangeId, uint32_t address) {
        std::lock_guard<std::mutex> lock(mutex);
        progress.push_back(address);
    });
    std::optional<ExchangeResult> result = collector.Next(10000);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->kind, ExchangeKind::Search);
    EXPECT_EQ(result->outcome, ExchangeOutcome::Succeeded);
    EXPECT_EQ(result->address, fleet->Address());
    EXPECT_EQ(result->found, addresses);
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(progress, addresses);
}

TEST_F(EngineTest, CancelEndsASearchAndKeepsWhatItFound)
{
    StartFleet(1);
    engineOptions.link.timing.searchWindowMs = 60000;
    std::mutex mutex;
    std::condition_variable foundOne;
    bool found = false;
    ExchangeId id = Engine().Search(fleet->Address(), collector.Sink(), [&](ExchangeId, uint32_t) {
        std::lock_guard<std::mutex> lock(mutex);
        found = true;
        foundOne.notify_all();
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(foundOne.wait_for(lock, std::chrono::seconds(10), [&] { return found; }));
    }
    Clock::time_point cancelled = Clock::now();
    EXPECT_EQ(Engine().Cancel(id), 1u);
    std::optional<ExchangeResult> result = collector.Next(10000);
    ASSERT_TRUE(result);
    EXPECT_LT(MsSince(cancelled), 2000);
    EXPECT_EQ(result->outcome, ExchangeOutcome::Cancelled);
    EXPECT_EQ(result->found, std::vector<uint32_t>{fleet->Address()});
}

TEST_F(EngineTest, ReplyCompleteModeEndsWhenTheReplyIsComplete)
{
    StartFleet(1);
    engineOptions.link.timing = LinkTiming{};   // the shipped waits: status 4 s, read 20 s
    engineOptions.link.waitMode = WaitMode::ReplyComplete;
    Engine().Read(RecordAt(0), collector.Sink());
    std::optional<ExchangeResult> result = collector.Next(30000);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, ExchangeOutcome::Succeeded);
    EXPECT_LT(result->RunMs(), 4000) << "neither the status wait nor the read wait was sat out";
}

TEST_F(EngineTest, DestroyingTheEngineCancelsWhatRuns)
{
    StartFleet(2);
    fleet->SetFault(SimFault::Silence);
    engineOptions.link.timing = kLongWait;
    Engine().Read(RecordAt(0), collector.Sink());
    Engine().Status(RecordAt(1), collector.Sink());
    ASSERT_TRUE(fleet->EncoderAt(0).WaitForRequests(1, 10000));
    ASSERT_TRUE(fleet->EncoderAt(1).WaitForRequests(1, 10000));
    engine.reset();
    std::vector<ExchangeResult> results = collector.TakeAll();
    ASSERT_EQ(results.size(), 2u) << "reported before the destructor returned";
    for (const ExchangeResult& result : results) {
        EXPECT_EQ(result.outcome, ExchangeOutcome::Cancelled);
    }
}

// The collector wakes a waiter when what it waits for is there (not at every result), so
// waiters of different needs at once must each still see theirs.
TEST(ExchangeCollector, WakesEachWaiterWhenWhatItWaitsForHasArrived)
{
    ExchangeCollector collector;
    CompletionCallback sink = collector.Sink();
    EXPECT_FALSE(collector.Next(1).has_value()) << "nothing came: the wait times out";
    EXPECT_FALSE(collector.WaitFor(1, 1));

    std::optional<ExchangeResult> first;
    bool allThree = false;
    std::thread nextWaiter([&] { first = collector.Next(30000); });
    std::thread countWaiter([&] { allThree = collector.WaitFor(3, 30000); });
    for (ExchangeId id : {1, 2, 3}) {
        ExchangeResult result;
        result.id = id;
        sink(result);
    }
    nextWaiter.join();
    countWaiter.join();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->id, 1u);
    EXPECT_TRUE(allThree);
    // A waiter that timed out earlier leaves nothing behind that holds the next one.
    EXPECT_EQ(collector.Next(30000)->id, 2u);
    EXPECT_EQ(collector.TakeAll().size(), 1u);
    EXPECT_TRUE(collector.WaitFor(3, 0)) << "taken results still count";
}
