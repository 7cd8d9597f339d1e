// What each exchange costs beyond its configured waits, against the in-process stand-in
// encoder on loopback. Each exchange runs with its fixed wait at 0 and at 5 ms; the
// counter beyond_waits_us is the time per exchange less the time spent in the waits:
// connect, request, reply, parse and close. Discovery is measured with a burst of 254
// replies inside its listening window.
// Iterations are bounded: every exchange leaves a connection in TIME-WAIT, and an
// unbounded run would exhaust the machine's ephemeral ports and measure only that.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "CEncoderSim.h"
#include "EncoderLink.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kExchanges = 300;

double MicrosecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

class QuietReporter : public LinkReporter {
public:
    void Warning(const std::string&) override {}
    void Tip(const std::string&) override {}
};

struct Bench {
    explicit Bench(int waitMs)
    {
        if (!sim.Start()) {
            std::fprintf(stderr, "stand-in encoder did not start: %s\n", sim.Error().c_str());
        }
        options.commandPort = sim.CommandPort();
        options.searchPort = sim.SearchPort();
        options.timing = {waitMs, waitMs, waitMs, 500, 0};
        options.sleep = [this](int ms) {
            Clock::time_point start = Clock::now();
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            sleptUs += MicrosecondsSince(start);
        };
        record.ipAddr = sim.Address();
        std::strcpy(record.password, "admin");
        std::strcpy(record.newPassword, "admin");
    }

    // Runs `exchange` once per iteration; it returns false on a failed exchange.
    template <typename Exchange>
    void Run(benchmark::State& state, Exchange exchange)
    {
        CEncoderLink link(reporter, options);
        double totalUs = 0;
        for (auto _ : state) {
            Clock::time_point start = Clock::now();
            if (!exchange(link)) {
                state.SkipWithError("exchange failed");
                break;
            }
            totalUs += MicrosecondsSince(start);
        }
        double iterations = static_cast<double>(state.iterations() > 0 ? state.iterations() : 1);
        state.counters["beyond_waits_us"] = (totalUs - sleptUs) / iterations;
    }

    CEncoderSim sim;
    QuietReporter reporter;
    LinkOptions options;
    EncoderRecord record{};
    double sleptUs = 0;
};

void BM_ReadConfiguration(benchmark::State& state)
{
    Bench bench(static_cast<int>(state.range(0)));
    bench.Run(state, [&](CEncoderLink& link) {
        EncoderRecord record{};
        record.ipAddr = bench.record.ipAddr;
        return link.ReadConfiguration(record) == 1;
    });
}

void BM_WriteConfiguration(benchmark::State& state)
{
    Bench bench(static_cast<int>(state.range(0)));
    bench.Run(state, [&](CEncoderLink& link) { return link.WriteConfiguration(bench.record) == 1; });
}

void BM_QueryStatus(benchmark::State& state)
{
    Bench bench(static_cast<int>(state.range(0)));
    bench.Run(state, [&](CEncoderLink& link) { return link.QueryStatus(bench.record) == 0; });
}

void BM_StartTsToIp(benchmark::State& state)
{
    Bench bench(0);
    bench.Run(state, [&](CEncoderLink& link) { return link.StartTsToIp(bench.record) == 1; });
}

void BM_StopTsToIp(benchmark::State& state)
{
    Bench bench(0);
    bench.Run(state, [&](CEncoderLink& link) { return link.StopTsToIp(bench.record) == 1; });
}

#define EXCHANGE_BENCHMARK(name)                                                                                       \
    BENCHMARK(name)                                                                                                    \
        ->ArgName("wait_ms")                                                                                           \
        ->Arg(0)                                                                                                       \
        ->Arg(5)                                                                                                       \
        ->UseRealTime()                                                                                                \
        ->Unit(benchmark::kMicrosecond)                                                                                \
        ->Iterations(kExchanges)
EXCHANGE_BENCHMARK(BM_ReadConfiguration);
EXCHANGE_BENCHMARK(BM_WriteConfiguration);
EXCHANGE_BENCHMARK(BM_QueryStatus);
BENCHMARK(BM_StartTsToIp)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(kExchanges);
BENCHMARK(BM_StopTsToIp)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(kExchanges);

// A whole /24 answering one search at once. The window is the configured wait; what
// matters is that all 254 are listed and how far the loop runs past the window.
void BM_SearchBurstOf254(benchmark::State& state)
{
    Bench bench(0);
    const int windowMs = static_cast<int>(state.range(0));
    bench.options.timing.searchWindowMs = windowMs;
    bench.options.timing.receiveTimeoutMs = 50;
    std::vector<uint32_t> addresses;
    for (uint32_t host = 1; host <= 254; ++host) {
        addresses.push_back(0x7F020200u | host);
    }
    bench.sim.SetSearchReplies(addresses);
    CEncoderLink link(bench.reporter, bench.options);
    size_t fewest = addresses.size();
    double overrunMs = 0;
    for (auto _ : state) {
        size_t count = 0;
        Clock::time_point start = Clock::now();
        link.SearchEncoder(bench.sim.Address(), [&](const std::string&) { ++count; });
        overrunMs += MicrosecondsSince(start) / 1000.0 - windowMs;
        fewest = count < fewest ? count : fewest;
    }
    state.counters["listed_fewest"] = static_cast<double>(fewest);
    state.counters["past_window_ms"] = overrunMs / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SearchBurstOf254)
    ->ArgName("window_ms")
    ->Arg(100)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

}   // namespace

BENCHMARK_MAIN();
