// korvane-cli monitor as a process against stand-ins: change lines as the stand-ins'
// state changes, the metrics endpoint read by a strict parser, hostile HTTP clients, and
// the end on SIGTERM or SIGINT.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "CEncoderSim.h"
#include "CliProcess.h"
#include "MonitorSupport.h"
#include "PrometheusText.h"

namespace {

using Clock = std::chrono::steady_clock;

// Lines of `text` that end with `tail` after the time stamp.
bool HasEvent(const std::string& text, const std::string& tail)
{
    static const std::regex time("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}Z ");
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (std::regex_search(line, time) && line.substr(21) == tail) {
            return true;
        }
    }
    return false;
}

size_t CountLines(const std::string& text, const std::string& tail)
{
    size_t count = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        count += line.size() > 21 && line.substr(21) == tail ? 1 : 0;
    }
    return count;
}

PromText Scrape(uint16_t port)
{
    HttpReply reply = HttpGet(port, "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(reply.status, 200) << reply.raw;
    EXPECT_NE(reply.headers.find("text/plain; version=0.0.4"), std::string::npos) << reply.headers;
    PromText text = ParsePromText(reply.body);
    EXPECT_TRUE(text.Ok()) << text.error << "\n" << reply.body;
    return text;
}

std::map<std::string, std::string> Encoder(const std::string& address)
{
    return {{"encoder", address}};
}

class MonitorFleet : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimOptions options;
        options.bindAddress = "127.0.12.2-3";
        fleet = std::make_unique<CEncoderSim>(options);
        ASSERT_TRUE(fleet->Start()) << fleet->Error();
        work = FreshFolder();
    }

    std::vector<std::string> Args(std::vector<std::string> more) const
    {
        std::vector<std::string> args = {"monitor", "127.0.12.2-4", "--port",     std::to_string(fleet->CommandPort()),
                                         "--wait",  "reply",        "--interval", "0.1"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    std::unique_ptr<CEncoderSim> fleet;
    std::string work;
};

TEST(MonitorStandIn, ReportsChangesServesMetricsAndEndsOnSigterm)
{
    // The stand-in as its own process, changed through its control input as it runs.
    SimProcess sim({"--bind", "127.0.11.2-3", "--port", "0", "--search-port", "0", "--quiet", "--control"});
    ASSERT_TRUE(sim.Started()) << "korvane-sim did not start";
    ASSERT_TRUE(sim.Control("status 127.0.11.3 0,0,38,1,0,1,1"));

    CliProcess monitor({"monitor", "127.0.11.2-4", "--port", std::to_string(sim.CommandPort()), "--wait", "reply",
                        "--interval", "0.1", "--metrics", "127.0.0.1:0"},
                       FreshFolder());
    ASSERT_TRUE(monitor.Started()) << monitor.StartError();
    const uint16_t metricsPort = MetricsPortOf(monitor);
    ASSERT_NE(metricsPort, 0) << monitor.Err();

    // The first poll: every encoder's state and its alarms.
    ASSERT_TRUE(monitor.ReadUntil([](const std::string& out, const std::string&) {
        return HasEvent(out, "127.0.11.2 online") && HasEvent(out, "127.0.11.3 online") &&
               HasEvent(out, "127.0.11.3 raised Program-1 no input") && HasEvent(out, "127.0.11.4 offline");
    })) << monitor.Out();

    PromText first = Scrape(metricsPort);
    EXPECT_EQ(first.Value("korvane_encoder_up", Encoder("127.0.11.2")), 1.0);
    EXPECT_EQ(first.Value("korvane_encoder_up", Encoder("127.0.11.4")), 0.0);
    EXPECT_EQ(first.Value("korvane_encoder_alarm", {{"encoder", "127.0.11.3"}, {"alarm", "Program-1 no input"}}), 1.0);
    EXPECT_EQ(first.Count("korvane_encoder_alarm"), 1u) << "no series for alarms not raised";
    EXPECT_EQ(first.Value("korvane_encoder_temperature", Encoder("127.0.11.2")), 38.0);
    EXPECT_FALSE(first.Value("korvane_encoder_temperature", Encoder("127.0.11.4"))) << "no reading from it";
    for (const char* name : {"korvane_encoder_up", "korvane_encoder_alarm", "korvane_encoder_temperature"}) {
        ASSERT_NE(first.Family(name), nullptr) << name;
        EXPECT_EQ(first.Family(name)->type, "gauge");
        EXPECT_FALSE(first.Family(name)->help.empty());
    }
    ASSERT_NE(first.Family("korvane_polls_total"), nullptr);
    EXPECT_EQ(first.Family("korvane_polls_total")->type, "counter");
    ASSERT_NE(first.Family("korvane_poll_duration_seconds"), nullptr);
    EXPECT_EQ(first.Family("korvane_poll_duration_seconds")->type, "histogram");

    // Changes as they happen.
    ASSERT_TRUE(sim.Control("status 127.0.11.3 0,0,38,1,1,1,1"));
    ASSERT_TRUE(sim.Control("fault 127.0.11.2 early-close"));
    ASSERT_TRUE(monitor.ReadUntil([](const std::string& out, const std::string&) {
        return HasEvent(out, "127.0.11.3 cleared Program-1 no input") && HasEvent(out, "127.0.11.2 offline");
    })) << monitor.Out();
    ASSERT_TRUE(sim.Control("fault 127.0.11.2 none"));
    ASSERT_TRUE(monitor.ReadUntil([](const std::string& out, const std::string&) {
        return CountLines(out, "127.0.11.2 online") == 2;
    })) << monitor.Out();

    PromText later = Scrape(metricsPort);
    auto polls = [](const PromText& text, const char* address, const char* result) {
        return text.Value("korvane_polls_total", {{"encoder", address}, {"result", result}}).value_or(-1);
    };
    EXPECT_GT(polls(later, "127.0.11.3", "ok"), polls(first, "127.0.11.3", "ok"));
    EXPECT_GT(polls(later, "127.0.11.4", "failed"), polls(first, "127.0.11.4", "failed"));
    EXPECT_GE(polls(later, "127.0.11.2", "failed"), 1.0);
    EXPECT_GT(later.Value("korvane_poll_duration_seconds_count", {}).value_or(0),
              first.Value("korvane_poll_duration_seconds_count", {}).value_or(0));
    EXPECT_EQ(later.Count("korvane_encoder_alarm"), 0u);

    EXPECT_EQ(HttpGet(metricsPort, "GET /other HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n").status, 404);
    EXPECT_EQ(HttpGet(metricsPort, "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n").status, 404);

    const Clock::time_point stopped = Clock::now();
    monitor.Signal(SIGTERM);
    CliRun run = monitor.Wait(10000);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stopped).count(), 2000);
}

TEST_F(MonitorFleet, JsonHasOneObjectPerChangeAndSigintEndsIt)
{
    fleet->EncoderAt(1).SetStatus({0, 0, 38, 1, 1, 0, 1});
    CliProcess monitor(Args({"--json"}), work);
    ASSERT_TRUE(monitor.ReadUntil([](const std::string& out, const std::string&) {
        return std::count(out.begin(), out.end(), '\n') >= 4;
    })) << monitor.Out();
    fleet->EncoderAt(1).SetStatus({0, 0, 38, 1, 1, 1, 1});
    ASSERT_TRUE(monitor.ReadUntil([](const std::string& out, const std::string&) {
        return out.find("\"cleared\"") != std::string::npos;
    })) << monitor.Out();
    monitor.Signal(SIGINT);
    CliRun run = monitor.Wait(10000);
    EXPECT_EQ(run.status, 0);

    static const std::regex object("^\\{\"time\": \"\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}Z\", "
                                   "\"address\": \"(127\\.0\\.12\\.[234])\", \"event\": \"(\\w+)\""
                                   "(, \"alarm\": \"([^\"]*)\")?\\}$");
    std::multiset<std::string> seen;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, object)) << line;
        const bool alarmEvent = match[2] == "raised" || match[2] == "cleared";
        EXPECT_EQ(match[3].matched, alarmEvent) << line;
        seen.insert(match[1].str() + " " + match[2].str() + (alarmEvent ? " " + match[4].str() : ""));
    }
    EXPECT_EQ(seen, (std::multiset<std::string>{"127.0.12.2 online", "127.0.12.3 online",
                                                "127.0.12.3 raised Program-2 no output", "127.0.12.4 offline",
                                                "127.0.12.3 cleared Program-2 no output"}));
}

TEST_F(MonitorFleet, HostileHttpClientsNeitherStallPollingNorGetAnswersTheyShouldNot)
{
    CliProcess monitor(Args({"--metrics", "127.0.0.1:0"}), work);
    const uint16_t port = MetricsPortOf(monitor);
    ASSERT_NE(port, 0) << monitor.Err();
    ASSERT_TRUE(monitor.ReadUntil(
        [](const std::string& out, const std::string&) { return HasEvent(out, "127.0.12.4 offline"); }));

    // Clients that connect and then say nothing, or half a request, or far too much.
    std::vector<LoopbackConnection> idle;
    for (int i = 0; i < 8; ++i) {
        idle.emplace_back(port);
        ASSERT_TRUE(idle.back().Open());
    }
    idle[0].Send("GET /metr");
    HttpReply huge = HttpGet(port, "GET /metrics HTTP/1.1\r\nHost: x\r\nX-Filler: " + std::string(64 * 1024, 'a') +
                                       "\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(huge.status == 431 || huge.status == 413 || huge.status == 400 || huge.status == 0)
        << "an oversized request got " << huge.status;
    EXPECT_EQ(
        HttpGet(port, "POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 4\r\nConnection: close\r\n\r\nabcd").status,
        405);

    // Polling goes on, and a well-behaved scrape is still answered.
    fleet->EncoderAt(0).SetStatus({0, 0, 38, 0, 1, 1, 1});
    ASSERT_TRUE(monitor.ReadUntil([](const std::string& out, const std::string&) {
        return HasEvent(out, "127.0.12.2 raised Program-1 no output");
    })) << monitor.Out();
    PromText text = Scrape(port);
    EXPECT_EQ(text.Value("korvane_encoder_alarm", {{"encoder", "127.0.12.2"}, {"alarm", "Program-1 no output"}}), 1.0);

    monitor.Signal(SIGTERM);
    EXPECT_EQ(monitor.Wait(10000).status, 0) << "stalled clients held up the end";
}

TEST_F(MonitorFleet, AMetricsAddressInUseEndsItWithStatus1)
{
    LoopbackListener taken;
    ASSERT_TRUE(taken.Listen());
    CliRun run = RunCli(Args({"--metrics", "127.0.0.1:" + std::to_string(taken.Port())}), work, 10000);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "korvane-cli: cannot listen on 127.0.0.1:" + std::to_string(taken.Port()) + "\n");
}

TEST(PromTextReader, RefusesWhatTheFormatDoesNotAllow)
{
    const std::pair<const char*, const char*> bad[] = {
        {"sample before its type", "a 1\n# TYPE a gauge\n"},
        {"split family", "# TYPE a gauge\na 1\n# TYPE b gauge\nb 1\na{x=\"1\"} 2\n"},
        {"series twice", "# TYPE a gauge\na{x=\"1\"} 1\na{x=\"1\"} 2\n"},
        {"bad escape", "# TYPE a gauge\na{x=\"\\t\"} 1\n"},
        {"unquoted label", "# TYPE a gauge\na{x=1} 1\n"},
        {"no line feed", "# TYPE a gauge\na 1"},
        {"bad value", "# TYPE a gauge\na one\n"},
        {"histogram without +Inf", "# TYPE h histogram\nh_bucket{le=\"1\"} 1\nh_sum 1\nh_count 1\n"},
        {"histogram not cumulative",
         "# TYPE h histogram\nh_bucket{le=\"1\"} 2\nh_bucket{le=\"2\"} 1\nh_bucket{le=\"+Inf\"} 2\nh_count 2\n"},
    };
    for (const auto& [name, text] : bad) {
        EXPECT_FALSE(ParsePromText(text).Ok()) << name;
    }
    PromText good = ParsePromText("# HELP a A \\\\ and \\n.\n# TYPE a gauge\na{x=\"q\\\"\\\\\\n\"} 1.5\n"
                                  "# TYPE h histogram\nh_bucket{le=\"1\"} 1\nh_bucket{le=\"+Inf\"} 2\nh_sum 3\n"
                                  "h_count 2\n");
    ASSERT_TRUE(good.Ok()) << good.error;
    EXPECT_EQ(good.Family("a")->help, "A \\ and \n.");
    EXPECT_EQ(good.Value("a", {{"x", "q\"\\\n"}}), 1.5);
}

}   // namespace
