// What every build of korvane-cli runs, the Windows one under Wine included: the monitor's
// polling and change lines without the metrics endpoint. And what a build without
// configuration history or the metrics endpoint refuses: a usage error naming what it lacks.

#include <gtest/gtest.h>

#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "../UnderWine.h"
#include "CEncoderSim.h"
#include "CliProcess.h"

namespace {

// Whether `out` has every line of `tails` after a line's time stamp.
bool HasEvents(const std::string& out, const std::vector<std::string>& tails)
{
    static const std::regex time("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}Z ");
    for (const std::string& tail : tails) {
        bool found = false;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line) && !found;) {
            found = std::regex_search(line, time) && line.substr(21) == tail;
        }
        if (!found) {
            return false;
        }
    }
    return true;
}

TEST(CliMonitor, ReportsChangesWithoutTheMetricsEndpoint)
{
    SimOptions options;
    options.bindAddress = "127.0.13.2-3";
    options.discovery = FleetDiscoveryWorks(2);
    CEncoderSim fleet(options);
    ASSERT_TRUE(fleet.Start()) << fleet.Error();
    fleet.EncoderAt(1).SetStatus({0, 0, 38, 1, 1, 0, 1});   // the second program sends nothing

    CliProcess monitor({"monitor", "127.0.13.2-4", "--port", std::to_string(fleet.CommandPort()), "--wait", "reply",
                        "--interval", "0.1"},
                       FreshFolder());
    ASSERT_TRUE(monitor.Started()) << monitor.StartError();
    const std::vector<std::string> first = {"127.0.13.2 online", "127.0.13.3 online",
                                            "127.0.13.3 raised Program-2 no output", "127.0.13.4 offline"};
    ASSERT_TRUE(monitor.ReadUntil([&](const std::string& out, const std::string&) { return HasEvents(out, first); }))
        << monitor.Out() << monitor.Err();
    fleet.EncoderAt(1).SetStatus({0, 0, 38, 1, 1, 1, 1});
    ASSERT_TRUE(monitor.ReadUntil([](const std::string& out, const std::string&) {
        return HasEvents(out, {"127.0.13.3 cleared Program-2 no output"});
    })) << monitor.Out()
        << monitor.Err();
    EXPECT_EQ(monitor.Err(), "") << "no metrics line without --metrics";
}

struct Refusal {
    const char* name;
    std::vector<std::string> args;
    bool present;   // whether this build has what the command needs
    std::string reason;
};

// The case's name in test output, not its bytes.
void PrintTo(const Refusal& refusal, std::ostream* out)
{
    *out << refusal.name;
}

class CliBuildRefusal : public ::testing::TestWithParam<Refusal> {};

const std::string kNoHistory = "this build of korvane-cli has no configuration history: ";
const std::string kHistoryNeeds = " is not available (backup, history and diff need the Linux build)";

const Refusal kRefusals[] = {
    {"backup", {"backup", "127.0.0.2", "--repo", "repo"}, KORVANE_HAS_HISTORY, kNoHistory + "backup" + kHistoryNeeds},
    {"history",
     {"history", "127.0.0.2", "--repo", "repo"},
     KORVANE_HAS_HISTORY,
     kNoHistory + "history" + kHistoryNeeds},
    {"diff", {"diff", "a.xml", "b.xml"}, KORVANE_HAS_HISTORY, kNoHistory + "diff" + kHistoryNeeds},
    {"metrics",
     {"monitor", "127.0.0.2", "--metrics", "127.0.0.1:0"},
     KORVANE_HAS_METRICS,
     "this build of korvane-cli has no metrics endpoint: monitor --metrics is not available (it needs the Linux "
     "build)"},
};

TEST_P(CliBuildRefusal, AMissingPartIsAUsageErrorThatSaysSo)
{
    const Refusal& refusal = GetParam();
    if (refusal.present) {
        GTEST_SKIP() << "this build has what " << refusal.name << " needs";
    }
    CliRun run = RunCli(refusal.args, FreshFolder(), 20000);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "korvane-cli: " + refusal.reason + "\nTry 'korvane-cli --help'.\n");
}

INSTANTIATE_TEST_SUITE_P(Build, CliBuildRefusal, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

}   // namespace
