// The engine's event loop: cancel at every point of an exchange and for a thousand at once,
// shutdown with requests in flight and arriving, callbacks of two loops one at a time,
// priorities, the wait mode per request, results through the caller's executor, and
// exchanges that meet the open-file limit.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifdef __linux__
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "../UnderWine.h"
#include "CEncoderSim.h"
#include "EngineTestSupport.h"
#include "ExchangeEngine.h"
#include "LinkProtocol.h"
#include "Socket.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Several stand-ins on 127.0.X.1-250, X from 1, all on the same two ports.
class Fleet {
public:
    bool Start(size_t count)
    {
        for (size_t first = 0; first < count; first += 250) {
            SimOptions options;
            size_t block = first / 250 + 1;
            size_t last = std::min(count, first + 250);
            options.bindAddress = "127.0." + std::to_string(block) + ".1-" + std::to_string(last - first);
            options.discovery = FleetDiscoveryWorks(static_cast<int>(last - first));
            if (!m_sims.empty()) {
                options.commandPort = m_sims.front()->CommandPort();
                options.searchPort = m_sims.front()->SearchPort();
            }
            m_sims.push_back(std::make_unique<CEncoderSim>(options));
            if (!m_sims.back()->Start()) {
                error = m_sims.back()->Error();
                return false;
            }
        }
        return true;
    }
    SimEncoder At(size_t index) const { return m_sims[index / 250]->EncoderAt(index % 250); }
    size_t Count() const
    {
        size_t count = 0;
        for (const auto& sim : m_sims) {
            count += sim->Count();
        }
        return count;
    }
    void SetFault(SimFault fault)
    {
        for (auto& sim : m_sims) {
            sim->SetFault(fault);
        }
    }
    EngineOptions Options() const
    {
        EngineOptions options;
        options.link.commandPort = m_sims.front()->CommandPort();
        options.link.searchPort = m_sims.front()->SearchPort();
        options.link.timing = {30, 20, 10, 100, 300};
        options.outFile.clear();
        return options;
    }
    EncoderRecord RecordAt(size_t index) const
    {
        EncoderRecord record{};
        record.ipAddr = At(index).Address();
        return record;
    }

    std::string error;

private:
    std::vector<std::unique_ptr<CEncoderSim>> m_sims;
};

// A listening socket whose backlog is full: a connect to it stays in progress.
class Unanswered {
public:
    bool Fill()
    {
        if (!m_listener.Bind(0x7F000063u, 0) || !m_listener.Listen(0)) {   // 127.0.0.99
            return false;
        }
        for (int i = 0; i < 16; ++i) {
            CSocket client(CSocket::Kind::Tcp);
            bool connected = client.Connect(0x7F000063u, m_listener.LocalPort(), 200);
            m_clients.push_back(std::move(client));
            if (!connected) {
                return true;   // the queue is full: the next connect hangs too
            }
        }
        return false;
    }
    uint16_t Port() const { return m_listener.LocalPort(); }

private:
    CSocket m_listener{CSocket::Kind::Tcp};
    std::vector<CSocket> m_clients;
};

// An executor that keeps the work until the test runs it, on the test's own thread.
struct HeldExecutor {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::function<void()>> held;
    Executor Get()
    {
        return [this](std::function<void()> work) {
            std::lock_guard<std::mutex> lock(mutex);
            held.push_back(std::move(work));
            arrived.notify_all();
        };
    }
    bool WaitForWork(int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !held.empty(); });
    }
    void RunAll()
    {
        std::deque<std::function<void()>> work;
        {
            std::lock_guard<std::mutex> lock(mutex);
            work.swap(held);
        }
        for (auto& item : work) {
            item();
        }
    }
};

}   // namespace

struct CancelPoint {
    const char* name;
    ExchangeKind kind;
    LinkTiming timing;
    WaitMode mode;
    bool connecting;
    bool queued;
};

class EngineCancelPointTest : public ::testing::TestWithParam<CancelPoint> {};

TEST_P(EngineCancelPointTest, EndsAtOnceSaysNothingAndLeaksNoDescriptor)
{
    const CancelPoint& point = GetParam();
    int descriptors = OpenDescriptors();
    {
        Fleet fleet;
        ASSERT_TRUE(fleet.Start(2)) << fleet.error;
        fleet.SetFault(SimFault::Silence);
        Unanswered unanswered;
        EngineOptions options = fleet.Options();
        options.link.timing = point.timing;
        options.link.waitMode = point.mode;
        if (point.connecting) {
            ASSERT_TRUE(unanswered.Fill());
            options.link.commandPort = unanswered.Port();
        }
        if (point.queued) {
            options.maxInFlight = 1;
        }
        {
            ExchangeCollector collector;   // outlives the engine, whose last results it takes
            ExchangeEngine engine(options);
            EncoderRecord record = fleet.RecordAt(0);
            if (point.connecting) {
                record.ipAddr = 0x7F000063u;
            }
            if (point.queued) {
                engine.Status(fleet.RecordAt(1), collector.Sink());   // holds the one slot
                ASSERT_TRUE(fleet.At(1).WaitForRequests(1, 10000));
            }
            ExchangeId id =
                engine.Submit({point.kind, record, 0, {}, ExchangePriority::Command}, {collector.Sink(), {}});
            if (!point.connecting && !point.queued) {
                ASSERT_TRUE(fleet.At(0).WaitForRequests(1, 10000));   // the request is out: it waits
            }
            Clock::time_point cancelled = Clock::now();
            EXPECT_EQ(engine.Cancel(id), 1u);
            std::optional<ExchangeResult> result;
            while ((result = collector.Next(10000)) && result->id != id) {
            }
            ASSERT_TRUE(result);
            EXPECT_LT(MsSince(cancelled), 1000) << "every wait here is a minute long";
            EXPECT_EQ(result->outcome, ExchangeOutcome::Cancelled);
            EXPECT_TRUE(result->messages.empty());
            EXPECT_FALSE(result->record);
            if (point.queued) {
                EXPECT_EQ(fleet.At(0).Requests().size(), 0u) << "a queued exchange never started";
            }
            engine.CancelAll();
        }
    }
    EXPECT_EQ(OpenDescriptors(), descriptors) << "every socket of the exchange and of the stand-in is closed";
}

INSTANTIATE_TEST_SUITE_P(
    Points, EngineCancelPointTest,
    ::testing::Values(CancelPoint{"connecting", ExchangeKind::Read, kLongWait, WaitMode::Fixed, true, false},
                      CancelPoint{"waiting", ExchangeKind::Read, kLongWait, WaitMode::Fixed, false, false},
                      CancelPoint{"receiving", ExchangeKind::Write, kLongReceive, WaitMode::Fixed, false, false},
                      CancelPoint{"receiving_reply_complete", ExchangeKind::Status, kLongWait, WaitMode::ReplyComplete,
                                  false, false},
                      CancelPoint{"queued", ExchangeKind::Status, kLongWait, WaitMode::Fixed, false, true}),
    [](const ::testing::TestParamInfo<CancelPoint>& info) { return std::string(info.param.name); });

TEST(EngineLoop, CancelsAThousandAtOnceAndClosesEverySocket)
{
    ExchangeEngine raiser;   // lifts the open-file limit before the fleet takes its share
    int sockets = OpenSockets();
    {
        Fleet fleet;
        ASSERT_TRUE(fleet.Start(1000)) << fleet.error;
        fleet.SetFault(SimFault::Silence);
        EngineOptions options = fleet.Options();
        options.link.timing = kLongWait;
        ExchangeCollector collector;   // outlives the engine, whose last results it takes
        ExchangeEngine engine(options);
        std::vector<EncoderRecord> records;
        for (size_t i = 0; i < fleet.Count(); ++i) {
            records.push_back(fleet.RecordAt(i));
        }
        ExchangeEngine::BatchTicket ticket =
            engine.SubmitBatch(ExchangeKind::Read, records, {collector.Sink(), {}}, {});
        for (size_t i = 0; i < fleet.Count(); ++i) {
            ASSERT_TRUE(fleet.At(i).WaitForRequests(1, 20000)) << i;
        }
        EXPECT_EQ(engine.Running(), 1000u) << "all at once, no limit of 64";
        EXPECT_EQ(engine.CancelBatch(ticket.id), 1000u);
        ASSERT_TRUE(collector.WaitFor(1000, 10000));
        for (const ExchangeResult& result : collector.TakeAll()) {
            EXPECT_EQ(result.outcome, ExchangeOutcome::Cancelled);
        }
    }
    EXPECT_EQ(OpenSockets(), sockets) << "every exchange's socket is closed";
}

TEST(EngineLoop, ShutdownReportsRequestsInFlightAndArrivingAsCancelled)
{
    Fleet fleet;
    ASSERT_TRUE(fleet.Start(3)) << fleet.error;
    fleet.SetFault(SimFault::Silence);
    EngineOptions options = fleet.Options();
    options.link.timing = kLongWait;
    ExchangeCollector collector;
    auto engine = std::make_unique<ExchangeEngine>(options);
    CompletionCallback sink = collector.Sink();
    ExchangeEngine* raw = engine.get();
    EncoderRecord late = fleet.RecordAt(2);
    // The first result comes while the engine is going; it asks for one more exchange.
    engine->Status(fleet.RecordAt(0), [sink, raw, late](const ExchangeResult& result) {
        sink(result);
        raw->Status(late, sink);
    });
    engine->Read(fleet.RecordAt(1), sink);
    ASSERT_TRUE(fleet.At(0).WaitForRequests(1, 10000));
    ASSERT_TRUE(fleet.At(1).WaitForRequests(1, 10000));
    engine.reset();
    std::vector<ExchangeResult> results = collector.TakeAll();
    ASSERT_EQ(results.size(), 3u) << "the one asked for during shutdown is reported too";
    for (const ExchangeResult& result : results) {
        EXPECT_EQ(result.outcome, ExchangeOutcome::Cancelled);
    }
    EXPECT_EQ(fleet.At(2).Requests().size(), 0u) << "nothing new was sent";
}

// Without an executor the callbacks of exchanges run on two loops still run one at a time:
// a caller may keep what they bring in plain containers (make tsan sees any overlap). What
// each exchange came to is not the point.
TEST(EngineLoop, CallbacksOfTwoLoopsRunOneAtATime)
{
    Fleet fleet;
    ASSERT_TRUE(fleet.Start(100)) << fleet.error;
    EngineOptions options = fleet.Options();
    options.loops = 2;
    options.link.waitMode = WaitMode::ReplyComplete;
    std::vector<ExchangeId> reported;   // no lock of its own
    std::vector<size_t> ends;
    ExchangeEngine::BatchTicket ticket;
    {
        ExchangeEngine engine(options);
        std::vector<ExchangeRequest> requests;
        for (size_t i = 0; i < fleet.Count(); ++i) {
            requests.push_back({i % 2 == 0 ? ExchangeKind::Status : ExchangeKind::Read,
                                fleet.RecordAt(i),
                                0,
                                {},
                                ExchangePriority::Command});
        }
        ticket = engine.SubmitBatch(requests,
                                    {[&reported](const ExchangeResult& result) { reported.push_back(result.id); }, {}},
                                    [&ends, &reported](const BatchSummary& summary) {
                                        ends.push_back(summary.total);
                                        ends.push_back(reported.size());
                                    });
        ASSERT_TRUE(engine.WaitIdle(60000));
    }
    std::sort(reported.begin(), reported.end());
    std::vector<ExchangeId> submitted = ticket.exchanges;
    std::sort(submitted.begin(), submitted.end());
    EXPECT_EQ(reported, submitted) << "every exchange reported once";
    EXPECT_EQ(ends, (std::vector<size_t>{100, 100})) << "the batch ends once, after its last exchange";
}

TEST(EngineLoop, CommandsGoAheadOfMonitorPolls)
{
    Fleet fleet;
    ASSERT_TRUE(fleet.Start(6)) << fleet.error;
    EngineOptions options = fleet.Options();
    options.maxInFlight = 1;
    ExchangeEngine engine(options);
    std::mutex mutex;
    std::vector<uint32_t> order;
    auto note = [&](const ExchangeResult& result) {
        std::lock_guard<std::mutex> lock(mutex);
        order.push_back(result.address);
    };
    for (size_t i = 0; i < 5; ++i) {
        engine.Submit({ExchangeKind::Status, fleet.RecordAt(i), 0, {}, ExchangePriority::Poll}, {note, {}});
    }
    engine.Submit({ExchangeKind::Status, fleet.RecordAt(5), 0, {}, ExchangePriority::Command}, {note, {}});
    ASSERT_TRUE(engine.WaitIdle(20000));
    ASSERT_EQ(order.size(), 6u);
    size_t command = std::find(order.begin(), order.end(), fleet.At(5).Address()) - order.begin();
    EXPECT_LE(command, 1u) << "at most the poll already running goes first";
}

TEST(EngineLoop, TheWaitModeIsChosenPerRequest)
{
    Fleet fleet;
    ASSERT_TRUE(fleet.Start(2)) << fleet.error;
    EngineOptions options = fleet.Options();
    options.link.timing = LinkTiming{};   // the shipped waits: status 4 s, read 20 s
    options.link.timing.statusWaitMs = 300;
    options.link.waitMode = WaitMode::Fixed;
    ExchangeCollector collector;
    ExchangeEngine engine(options);
    ExchangeRequest quick{ExchangeKind::Read, fleet.RecordAt(0), 0, WaitMode::ReplyComplete, ExchangePriority::Command};
    ExchangeRequest fixed{ExchangeKind::Status, fleet.RecordAt(1), 0, {}, ExchangePriority::Command};
    engine.Submit(quick, {collector.Sink(), {}});
    engine.Submit(fixed, {collector.Sink(), {}});
    ASSERT_TRUE(collector.WaitFor(2, 30000));
    for (const ExchangeResult& result : collector.TakeAll()) {
        EXPECT_EQ(result.outcome, ExchangeOutcome::Succeeded);
        if (result.kind == ExchangeKind::Read) {
            EXPECT_LT(result.RunMs(), 4000) << "no 20 s read wait sat out";
        } else {
            EXPECT_GE(result.RunMs(), 300) << "the engine's own mode sits its wait out";
        }
    }
}

TEST(EngineLoop, ResultsComeThroughTheExecutorNeverInsideTheCall)
{
    Fleet fleet;
    ASSERT_TRUE(fleet.Start(2)) << fleet.error;
    fleet.SetFault(SimFault::Silence);
    HeldExecutor executor;
    EngineOptions options = fleet.Options();
    options.link.timing = kLongWait;
    options.maxInFlight = 1;
    options.executor = executor.Get();
    ExchangeEngine engine(options);
    std::vector<ExchangeOutcome> outcomes;
    std::thread::id caller = std::this_thread::get_id();
    bool elsewhere = false;
    auto note = [&](const ExchangeResult& result) {
        outcomes.push_back(result.outcome);
        elsewhere = elsewhere || std::this_thread::get_id() != caller;
    };
    engine.Status(fleet.RecordAt(0), note);   // runs
    engine.Status(fleet.RecordAt(0), note);   // refused: the encoder is busy
    ExchangeId queued = engine.Status(fleet.RecordAt(1), note);
    EXPECT_TRUE(outcomes.empty()) << "nothing inside Submit";
    EXPECT_EQ(engine.Cancel(queued), 1u);
    EXPECT_TRUE(outcomes.empty()) << "nothing inside Cancel";
    EXPECT_EQ(engine.CancelAll(), 1u);
    while (engine.Pending() > 0) {
        ASSERT_TRUE(executor.WaitForWork(10000));
        executor.RunAll();
    }
    EXPECT_EQ(engine.Pending(), 0u);
    EXPECT_FALSE(elsewhere) << "every callback ran where the executor ran it";
    std::sort(outcomes.begin(), outcomes.end());
    EXPECT_EQ(outcomes, (std::vector<ExchangeOutcome>{ExchangeOutcome::Cancelled, ExchangeOutcome::Cancelled,
                                                      ExchangeOutcome::Refused}));
}

#ifdef __linux__
#include "SimProcess.h"

// With a hard limit of 64 descriptors, 200 encoders are still all asked: exchanges wait
// for descriptors instead of failing, and none is blamed on its encoder.
TEST(EngineLoop, ExchangesWaitForDescriptorsUnderALowOpenFileLimit)
{
    const uint16_t port = [] {
        CSocket probe(CSocket::Kind::Tcp);
        probe.Bind(kLoopbackAddress, 0);
        return probe.LocalPort();
    }();
    FILE* out = nullptr;
    pid_t sim =
        SpawnSim({"--bind", "127.0.5.1-200", "--port", std::to_string(port), "--search-port", "0", "--quiet"}, out);
    ASSERT_GT(sim, 0);
    char line[256];
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr) << "the stand-in started";
    GTEST_FLAG_SET(death_test_style, "fast");
    auto run = [port] {
        rlimit limit{64, 64};
        setrlimit(RLIMIT_NOFILE, &limit);
        EngineOptions options;
        options.link.commandPort = port;
        options.link.waitMode = WaitMode::ReplyComplete;
        options.outFile.clear();
        ExchangeCollector collector;   // outlives the engine, whose last results it takes
        ExchangeEngine engine(options);
        std::vector<EncoderRecord> records(200);
        for (uint32_t i = 0; i < 200; ++i) {
            records[i].ipAddr = 0x7F000501u + i;
        }
        engine.SubmitBatch(ExchangeKind::Status, records, {collector.Sink(), {}}, {});
        size_t succeeded = 0;
        if (collector.WaitFor(200, 60000)) {
            for (const ExchangeResult& result : collector.TakeAll()) {
                succeeded += result.outcome == ExchangeOutcome::Succeeded;
            }
        }
        std::_Exit(succeeded == 200 ? 0 : 1);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
    kill(sim, SIGTERM);
    WaitExitCode(sim);
    std::fclose(out);
}

// With no descriptor at all for it and nothing else running, an exchange fails here, with
// the system's reason, and not as the encoder's fault.
TEST(EngineLoop, NoDescriptorAtAllIsALocalFailure)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' own checks need descriptors that this test takes away";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto run = [] {
        EngineOptions options;
        options.link.commandPort = 9;
        options.outFile.clear();
        ExchangeEngine engine(options);
        std::vector<int> taken;
        for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;) {
            taken.push_back(fd);
        }
        ExchangeCollector collector;
        EncoderRecord record{};
        record.ipAddr = kLoopbackAddress;
        engine.Read(record, collector.Sink());
        std::optional<ExchangeResult> result = collector.Next(10000);
        for (int fd : taken) {
            close(fd);
        }
        // The status gate found no socket: nothing is said of the encoder ("Connect Device Failed !").
        bool local = result && result->outcome == ExchangeOutcome::LocalFailure && !result->localError.empty() &&
                     result->messages.empty();
        if (!local) {
            std::fprintf(stderr, "outcome %s, error \"%s\", %zu messages\n",
                         result ? ExchangeOutcomeName(result->outcome) : "none",
                         result ? result->localError.c_str() : "", result ? result->messages.size() : 0);
        }
        std::_Exit(local ? 0 : 1);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}
#endif
