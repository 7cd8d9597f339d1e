// korvane-cli reading a fleet of stand-in encoders, as a backup script runs it: one
// process, every encoder of a range, a file per encoder. Reply-complete mode runs with
// the encoder's own waits (status 4 s, read 20 s); fixed mode with the waits scaled down
// to status 40 ms and read 200 ms, so that N = 100 can be set against N = 1 quickly, and
// with --parallel 100 so that the whole fleet waits at once.
// (With the shipped fixed waits one encoder's read takes 24 s; see README.md for the
// figure of 100.)

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CEncoderSim.h"

extern char** environ;

namespace {

constexpr int kFleetSize = 100;

CEncoderSim& Fleet()
{
    static std::unique_ptr<CEncoderSim> fleet = [] {
        SimOptions options;
        options.bindAddress = "127.0.0.2-101";
        auto sim = std::make_unique<CEncoderSim>(options);
        if (!sim->Start()) {
            std::fprintf(stderr, "stand-in fleet: %s\n", sim->Error().c_str());
            std::exit(1);
        }
        return sim;
    }();
    return *fleet;
}

// Runs korvane-cli with `args`, its output to /dev/null; its exit status, -1 if it did not exit.
int RunCli(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(KORVANE_CLI_PATH));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int failed = posix_spawn(&pid, KORVANE_CLI_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ReadFleet(benchmark::State& state, const std::vector<std::string>& mode)
{
    CEncoderSim& fleet = Fleet();
    const int count = static_cast<int>(state.range(0));
    const std::string range = "127.0.0.2-" + std::to_string(1 + count);
    const std::filesystem::path out = std::filesystem::temp_directory_path() / "korvane-bench-cli";
    std::vector<std::string> args = {"--port", std::to_string(fleet.CommandPort()), "--search-port",
                                     std::to_string(fleet.SearchPort())};
    args.insert(args.end(), mode.begin(), mode.end());
    args.insert(args.end(), {"read", range, "--out", out.string()});
    for (auto _ : state) {
        if (RunCli(args) != 0) {
            state.SkipWithError("korvane-cli read failed");
            break;
        }
    }
    std::filesystem::remove_all(out);
    state.counters["encoders"] = count;
}

void BM_CliReadReplyShippedWaits(benchmark::State& state)
{
    ReadFleet(state, {"--wait", "reply"});
}
void BM_CliReadFixedScaledWaits(benchmark::State& state)
{
    // Every encoder in flight at once: with the default 64 a fleet of 100 takes two rounds
    // of fixed waits.
    ReadFleet(state, {"--wait", "fixed", "--waits", "40,200,15000", "--parallel", "100"});
}

}   // namespace

BENCHMARK(BM_CliReadReplyShippedWaits)->Arg(1)->Arg(10)->Arg(kFleetSize)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CliReadFixedScaledWaits)->Arg(1)->Arg(10)->Arg(kFleetSize)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
