// What each exchange costs beyond its configured waits, against the in-process stand-in
// encoder on loopback: the waits are set to 0, so every figure is connect, request,
// reply, parse and close. Discovery is measured with a burst of 254 replies.
// Iterations are bounded: every exchange leaves a connection in TIME-WAIT, and an
// unbounded run would exhaust the machine's ephemeral ports and measure only that.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "CEncoderSim.h"
#include "EncoderLink.h"

namespace {

constexpr int kExchanges = 400;

class QuietReporter : public LinkReporter {
public:
    void Warning(const std::string&) override { ++warnings; }
    void Tip(const std::string&) override {}
    void BeginWait() override {}
    void EndWait() override {}
    int warnings = 0;
};

struct Bench {
    Bench() {
        if (!sim.Start()) {
            std::fprintf(stderr, "stand-in encoder did not start: %s\n", sim.Error().c_str());
        }
        options.commandPort = sim.CommandPort();
        options.searchPort = sim.SearchPort();
        options.timing = {0, 0, 0, 500, 0};
        options.outFile = "bench-link-out.xml";
        record.ipAddr = sim.Address();
    }
    ~Bench() { std::remove(options.outFile.c_str()); }

    CEncoderSim sim;
    QuietReporter reporter;
    LinkOptions options;
    EncoderRecord record{};
};

void BM_ReadConfiguration(benchmark::State& state) {
    Bench bench;
    CEncoderLink link(bench.reporter, bench.options);
    for (auto _ : state) {
        EncoderRecord record{};
        record.ipAddr = bench.record.ipAddr;
        if (link.ReadConfiguration(record) != 1) {
            state.SkipWithError("read failed");
            break;
        }
    }
}
BENCHMARK(BM_ReadConfiguration)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(kExchanges);

void BM_WriteConfiguration(benchmark::State& state) {
    Bench bench;
    CEncoderLink link(bench.reporter, bench.options);
    link.ReadConfiguration(bench.record);
    std::strcpy(bench.record.password, "admin");
    std::strcpy(bench.record.newPassword, "admin");
    for (auto _ : state) {
        if (link.WriteConfiguration(bench.record) != 1) {
            state.SkipWithError("write failed");
            break;
        }
    }
}
BENCHMARK(BM_WriteConfiguration)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(kExchanges);

void BM_QueryStatus(benchmark::State& state) {
    Bench bench;
    CEncoderLink link(bench.reporter, bench.options);
    for (auto _ : state) {
        if (link.QueryStatus(bench.record) != 0) {
            state.SkipWithError("status failed");
            break;
        }
    }
}
BENCHMARK(BM_QueryStatus)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(kExchanges);

void BM_StartStopTsToIp(benchmark::State& state) {
    Bench bench;
    CEncoderLink link(bench.reporter, bench.options);
    for (auto _ : state) {
        if (link.StartTsToIp(bench.record) != 1 || link.StopTsToIp(bench.record) != 1) {
            state.SkipWithError("start/stop failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * 2);   // items/s: exchanges per second
}
BENCHMARK(BM_StartStopTsToIp)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(kExchanges);

// A whole /24 answering one search at once. The window is the configured wait; the
// figure of interest is how many of the 254 are listed and what the loop adds to it.
void BM_SearchBurstOf254(benchmark::State& state) {
    Bench bench;
    const int windowMs = static_cast<int>(state.range(0));
    bench.options.timing.searchWindowMs = windowMs;
    bench.options.timing.receiveTimeoutMs = 50;
    std::vector<uint32_t> addresses;
    for (uint32_t host = 1; host <= 254; ++host) {
        addresses.push_back(0x7F020200u | host);
    }
    bench.sim.SetSearchReplies(addresses);
    CEncoderLink link(bench.reporter, bench.options);
    size_t found = 0;
    double overheadMs = 0;
    for (auto _ : state) {
        size_t count = 0;
        auto start = std::chrono::steady_clock::now();
        link.SearchEncoder(bench.sim.Address(), [&](const std::string&) { ++count; });
        overheadMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() - windowMs;
        found = count;
    }
    state.counters["listed"] = static_cast<double>(found);
    state.counters["overrun_ms"] = overheadMs / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SearchBurstOf254)->Arg(100)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
