// The encoder monitor against in-process stand-ins: what a first poll reports, which
// changes become events, when the configuration is read again, and the figures.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "../UnderWine.h"
#include "CEncoderSim.h"
#include "EncoderMonitor.h"
#include "LinkProtocol.h"
#include "TextConversions.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kFirst = 0x7F000A02u;   // 127.0.10.2
const std::vector<uint8_t> kHealthy = {0, 0, 38, 1, 1, 1, 1};

EngineOptions ShortWaits(const CEncoderSim& sim)
{
    EngineOptions options;
    options.link.commandPort = sim.CommandPort();
    options.link.searchPort = sim.SearchPort();
    options.link.timing = {2000, 2000, 2000, 300, 300};
    options.link.timing.receiveBoundMs = 500;
    options.link.timing.connectTimeoutMs = 1000;
    options.link.waitMode = WaitMode::ReplyComplete;
    return options;
}

// "ADDRESS EVENT [ALARM]" without the time, for comparing.
std::string Text(const MonitorEvent& event)
{
    std::string text = FormatDotted(event.address) + " " + MonitorEventName(event.kind);
    return event.alarm.empty() ? text : text + " " + event.alarm;
}

// One poll of every encoder, to its end: the events it made, in order.
std::vector<std::string> PollRound(EncoderMonitor& monitor)
{
    std::vector<MonitorEvent> events;
    monitor.PollDue();
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
    while (monitor.PollsInFlight() > 0 && Clock::now() < deadline) {
        monitor.Process(100, events);
    }
    EXPECT_EQ(monitor.PollsInFlight(), 0u) << "a poll did not end";
    std::vector<std::string> texts;
    for (const MonitorEvent& event : events) {
        texts.push_back(Text(event));
    }
    return texts;
}

class EncoderMonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimOptions options;
        options.bindAddress = "127.0.10.2-3";
        options.discovery = FleetDiscoveryWorks(2);
        m_sim = std::make_unique<CEncoderSim>(options);
        ASSERT_TRUE(m_sim->Start()) << m_sim->Error();
    }

    SimEncoder First() const { return m_sim->EncoderAt(0); }

    std::unique_ptr<CEncoderSim> m_sim;
};

TEST_F(EncoderMonitorTest, FirstPollReportsEveryEncoderAndItsAlarmsInTheMessageListOrder)
{
    First().SetStatus({0, 0, 61, 0, 1, 1, 0});   // over the document's threshold of 60
    // 127.0.10.4 is served by nobody: its connection is refused.
    EncoderMonitor monitor(ShortWaits(*m_sim), {kFirst, kFirst + 1, kFirst + 2});
    std::vector<std::string> events = PollRound(monitor);
    std::sort(events.begin(), events.end());
    EXPECT_EQ(events, (std::vector<std::string>{
                          "127.0.10.2 online",
                          "127.0.10.2 raised Device temperature warning",
                          "127.0.10.2 raised Program-1 no output",
                          "127.0.10.2 raised Program-2 no input",
                          "127.0.10.3 online",
                          "127.0.10.4 offline",
                      }));
    EXPECT_TRUE(PollRound(monitor).empty()) << "nothing changed, nothing to say";
}

TEST_F(EncoderMonitorTest, AlarmsAreRaisedAndClearedAsTheStatusChanges)
{
    EncoderMonitor monitor(ShortWaits(*m_sim), {kFirst});
    EXPECT_EQ(PollRound(monitor), (std::vector<std::string>{"127.0.10.2 online"}));

    struct Step {
        std::vector<uint8_t> status;
        std::vector<std::string> events;
    };
    const Step steps[] = {
        {{0, 0, 60, 1, 0, 1, 1}, {"127.0.10.2 raised Program-1 no input"}},   // 60 is not over 60
        {{0, 0, 61, 1, 0, 1, 1}, {"127.0.10.2 raised Device temperature warning"}},
        {{0, 0, 61, 1, 1, 1, 1}, {"127.0.10.2 cleared Program-1 no input"}},
        {{1, 1, 61, 1, 1, 1, 1}, {}},   // busy and keyboard are no alarms
        {{0, 0, 38, 0, 0, 0, 0},
         {"127.0.10.2 cleared Device temperature warning", "127.0.10.2 raised Program-1 no output",
          "127.0.10.2 raised Program-1 no input", "127.0.10.2 raised Program-2 no output",
          "127.0.10.2 raised Program-2 no input"}},
    };
    for (const Step& step : steps) {
        First().SetStatus(step.status);
        EXPECT_EQ(PollRound(monitor), step.events);
    }
}

TEST_F(EncoderMonitorTest, OfflineClearsTheAlarmsAndTheConfigurationIsReadAgainWhenBack)
{
    First().SetStatus({0, 0, 38, 1, 1, 1, 0});
    EncoderMonitor monitor(ShortWaits(*m_sim), {kFirst});
    EXPECT_EQ(PollRound(monitor),
              (std::vector<std::string>{"127.0.10.2 online", "127.0.10.2 raised Program-2 no input"}));
    PollRound(monitor);
    EXPECT_EQ(First().RequestCount(CMD_READ_CONFIG), 1) << "the configuration is read once while it answers";

    First().SetFault(SimFault::EarlyClose);
    EXPECT_EQ(PollRound(monitor),
              (std::vector<std::string>{"127.0.10.2 offline", "127.0.10.2 cleared Program-2 no input"}));
    EXPECT_TRUE(PollRound(monitor).empty());

    // Back with program 2 switched off: its alarm no longer counts.
    std::string document = CEncoderSim::DefaultDocument(kFirst);
    size_t second = document.rfind("<start>1</start>");
    ASSERT_NE(second, std::string::npos);
    document.replace(second, 16, "<start>0</start>");
    First().SetDocument(document);
    First().SetFault(SimFault::None);
    EXPECT_EQ(PollRound(monitor), (std::vector<std::string>{"127.0.10.2 online"}));
    EXPECT_EQ(First().RequestCount(CMD_READ_CONFIG), 2);
}

TEST_F(EncoderMonitorTest, AnEncoderWhoseReadIsRefusedIsOnlineAndReadAtTheNextPoll)
{
    First().SetStatus({1, 0, 38, 0, 0, 0, 0});   // busy: the read's gate refuses
    EncoderMonitor monitor(ShortWaits(*m_sim), {kFirst});
    EXPECT_EQ(PollRound(monitor), (std::vector<std::string>{"127.0.10.2 online"}));
    EXPECT_EQ(First().RequestCount(CMD_READ_CONFIG), 0);

    First().SetStatus({0, 0, 38, 1, 1, 0, 1});
    EXPECT_EQ(PollRound(monitor), (std::vector<std::string>{"127.0.10.2 raised Program-2 no output"}));
    EXPECT_EQ(First().RequestCount(CMD_READ_CONFIG), 1);
}

TEST_F(EncoderMonitorTest, AnEncoderIsNeverPolledTwiceAtOnce)
{
    First().SetDelay(300);
    EncoderMonitor monitor(ShortWaits(*m_sim), {kFirst});
    EXPECT_EQ(monitor.PollDue(), 1u);
    EXPECT_EQ(monitor.PollDue(), 0u) << "its first poll has not ended";
    EXPECT_EQ(monitor.PollsInFlight(), 1u);
    std::vector<MonitorEvent> events;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
    while (monitor.PollsInFlight() > 0 && Clock::now() < deadline) {
        monitor.Process(100, events);
    }
    EXPECT_EQ(monitor.PollDue(), 1u);
}

TEST_F(EncoderMonitorTest, FiguresCountPollsAndKeepTheLastReading)
{
    First().SetStatus({0, 0, static_cast<uint8_t>(-5), 1, 1, 1, 1});
    EncoderMonitor monitor(ShortWaits(*m_sim), {kFirst, kFirst + 2});
    MonitorFigures before = monitor.Figures();
    ASSERT_EQ(before.encoders.size(), 2u);
    EXPECT_FALSE(before.encoders[0].known) << "nothing is known before the first poll";

    PollRound(monitor);
    PollRound(monitor);
    m_sim->EncoderAt(0).SetFault(SimFault::EarlyClose);
    PollRound(monitor);

    MonitorFigures figures = monitor.Figures();
    const EncoderFigures& first = figures.encoders[0];
    EXPECT_TRUE(first.known);
    EXPECT_FALSE(first.up);
    EXPECT_FALSE(first.temperatureKnown) << "an encoder that went offline has no reading";
    EXPECT_EQ(first.pollsOk, 2u);
    EXPECT_EQ(first.pollsFailed, 1u);
    const EncoderFigures& absent = figures.encoders[1];
    EXPECT_EQ(absent.address, kFirst + 2);
    EXPECT_EQ(absent.pollsOk, 0u);
    EXPECT_EQ(absent.pollsFailed, 3u);

    EXPECT_EQ(figures.durationCount, 6u);
    ASSERT_EQ(figures.durationBuckets.size(), PollDurationBounds().size());
    for (size_t i = 1; i < figures.durationBuckets.size(); ++i) {
        EXPECT_LE(figures.durationBuckets[i - 1], figures.durationBuckets[i]) << "buckets are cumulative";
    }
    EXPECT_LE(figures.durationBuckets.back(), figures.durationCount);
    EXPECT_GT(figures.durationSum, 0.0);

    m_sim->EncoderAt(0).SetFault(SimFault::None);
    PollRound(monitor);
    EXPECT_TRUE(monitor.Figures().encoders[0].temperatureKnown);
    EXPECT_EQ(monitor.Figures().encoders[0].temperature, -5) << "the reading is signed";
}

}   // namespace
