// Every exchange bounded and cancellable: the receive bound against a trickling encoder,
// the wake-up object, reply-complete waiting, the status reading's temperature, and a
// read's document parsed beside the loop.

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "LinkExchange.h"
#include "LinkTestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}   // namespace

TEST(Wakeup, StaysSignalledOnceSignalled)
{
    CWakeup wake;
    EXPECT_FALSE(wake.Signalled());
    EXPECT_FALSE(wake.Wait(0));
    wake.Signal();
    EXPECT_TRUE(wake.Signalled());
    EXPECT_TRUE(wake.Wait(60000));
    EXPECT_TRUE(wake.Wait(60000)) << "a second wait sees it too";
    wake.Signal();
    EXPECT_TRUE(wake.Wait(0));
}

TEST(Wakeup, TellsEverySubscriberOnceAndALateOneAtOnce)
{
    CWakeup wake;
    int heard = 0;
    CWakeup::Subscription gone = wake.Subscribe([&] { heard += 100; });
    wake.Subscribe([&] { ++heard; });
    wake.Unsubscribe(gone);
    // Whether the signal comes before or during a wait on another thread, the wait ends.
    bool woken = false;
    std::thread waiter([&] { woken = wake.Wait(60000); });
    wake.Signal();
    waiter.join();
    EXPECT_TRUE(woken);
    wake.Signal();
    EXPECT_EQ(heard, 1) << "once, and not the one that left";
    wake.Subscribe([&] { heard += 10; });
    EXPECT_EQ(heard, 11) << "a subscriber after the signal hears it at once";
}

TEST_F(LinkTest, ReadOfATricklingEncoderEndsAtTheReceiveBound)
{
    // One byte every 20 ms would stretch a read of the whole document to minutes; the
    // bound on all receives after the wait ends it, silently, like a payload that stops short.
    sim.SetFault(SimFault::Trickle);
    sim.SetTrickle(20);
    options.timing.receiveBoundMs = 300;
    EncoderRecord before = record;
    Clock::time_point start = Clock::now();
    EXPECT_EQ(Link().ReadConfiguration(record), 0);
    EXPECT_LT(MsSince(start), 300 + options.timing.readWaitMs + 1500);
    EXPECT_TRUE(reporter.messages.empty());
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): a record and its copy, byte for byte
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

TEST_F(LinkTest, AnEncoderThatAnswersWithinTheWaitSeesNoBound)
{
    options.timing.receiveBoundMs = 0;   // the reply is whole when the wait ends
    EXPECT_EQ(Link().ReadConfiguration(record), 1);
    EXPECT_EQ(Link().QueryStatus(record), 0);
}

TEST_F(LinkTest, StatusReadingCarriesTheSignedTemperature)
{
    record.temperature = 50;
    struct Case {
        uint8_t byte;
        int8_t reading;
        int flags;
    };
    for (Case c : {Case{60, 60, STATUS_OVER_TEMPERATURE}, Case{200, -56, 0}, Case{0, 0, 0}}) {
        sim.SetStatus({0, 0, c.byte, 1, 1, 1, 1});
        StatusReply reading;
        EXPECT_EQ(Link().QueryStatus(record, reading), c.flags);
        EXPECT_EQ(reading.flags, c.flags);
        EXPECT_EQ(reading.temperature, c.reading);
        EXPECT_EQ(Link().QueryStatus(record), c.flags) << "the plain query agrees";
    }
    sim.SetFault(SimFault::Silence);
    StatusReply reading;
    EXPECT_EQ(Link().QueryStatus(record, reading), -1);
    EXPECT_EQ(reading.temperature, 0);
}

TEST_F(LinkTest, ReplyCompleteEndsWithTheReplyAndGivesTheSameResults)
{
    options.timing = LinkTiming{};   // the shipped waits: 20 s, 15 s, 4 s
    options.waitMode = WaitMode::ReplyComplete;
    std::strcpy(record.password, "admin");
    std::strcpy(record.newPassword, "admin");
    Clock::time_point start = Clock::now();
    EXPECT_EQ(Link().QueryStatus(record), 0);
    EXPECT_EQ(Link().ReadConfiguration(record), 1);
    EXPECT_EQ(Link().WriteConfiguration(record), 1);
    EXPECT_LT(MsSince(start), 4000) << "no fixed wait was sat out";
    EXPECT_TRUE(sleeps.empty()) << "reply-complete mode does not sleep";
    EXPECT_EQ(reporter.messages, std::vector<std::string>{"Tip: Set Configuration Success !"});
}

TEST_F(LinkTest, CancelEndsTheFixedWaitAndSaysNothingMore)
{
    options.sleep = nullptr;   // the link waits itself, on the wake-up
    options.timing = LinkTiming{};
    CWakeup wake;
    options.cancel = &wake;
    std::thread canceller([&] {
        sim.WaitForRequests(1, 10000);
        wake.Signal();
    });
    Clock::time_point start = Clock::now();
    EncoderRecord before = record;
    EXPECT_EQ(Link().ReadConfiguration(record), 0);
    canceller.join();
    EXPECT_LT(MsSince(start), 5000) << "the 20 s wait was cut short";
    EXPECT_TRUE(reporter.messages.empty()) << "a cancelled read does not complain";
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): a record and its copy, byte for byte
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
    EXPECT_EQ(Link().QueryStatus(record), -1) << "a signalled wake-up stops the next exchange at once";
}

// A read whose settings document is parsed on another thread gives what a read parsed on
// the loop gives; cancelled while the parse is under way, it ends at once, and the parse's
// late result changes nothing.
TEST_F(LinkTest, AReadParsedBesideTheLoopGivesTheSameRecordAndACancelDuringTheParseEndsAtOnce)
{
    options.sleep = nullptr;
    options.waitMode = WaitMode::ReplyComplete;
    EncoderRecord expected = record;
    std::string expectedDocument;
    ASSERT_EQ(Link().ReadConfiguration(expected, &expectedDocument), 1);

    for (bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled during the parse" : "parsed");
        asio::io_context io;
        RecordingReporter machineReporter;
        std::vector<std::function<void()>> parses;
        LinkHooks hooks;
        hooks.decode = [&parses](std::function<void()> parse) { parses.push_back(std::move(parse)); };
        int calls = 0;
        LinkOutcome outcome;
        auto machine = LinkExchange::Make(io, machineReporter, options, LinkOperation::Read, record, 0,
                                          std::move(hooks), [&](LinkOutcome& finished) {
                                              ++calls;
                                              outcome = finished;
                                          });
        machine->Start();
        while (parses.empty() && calls == 0 && io.run_one_for(std::chrono::seconds(10)) != 0) {
        }
        ASSERT_EQ(parses.size(), 1u) << "the document went to the decoder";
        ASSERT_EQ(calls, 0) << "nothing is reported before the parse comes back";
        io.restart();   // with the parse away, the loop had nothing left to do and stopped
        if (cancel) {
            machine->Cancel();
            while (calls == 0 && io.run_one_for(std::chrono::seconds(10)) != 0) {
            }
            ASSERT_EQ(calls, 1) << "the cancel did not wait for the parse";
            EXPECT_TRUE(outcome.cancelled);
            EXPECT_EQ(outcome.result, 0);
        }
        std::thread decoder(parses.front());
        decoder.join();
        io.restart();
        io.run_for(std::chrono::seconds(10));
        EXPECT_EQ(calls, 1) << "reported once";
        EXPECT_TRUE(machineReporter.messages.empty());
        if (!cancel) {
            EXPECT_EQ(outcome.result, 1);
            EXPECT_EQ(outcome.document, expectedDocument);
            EXPECT_EQ(outcome.record.loaded, 1);
            // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): a record and its copy, byte for byte
            EXPECT_EQ(std::memcmp(&outcome.record, &expected, sizeof expected), 0);
        }
    }
}
