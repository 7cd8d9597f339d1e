// The exchange engine over a fleet of 100 in-process stand-in encoders (127.0.0.2 to
// 127.0.0.101, the same two ports), and the encoder list.
//
// - read_fixed/N: N encoders read at once (status gate + read) in fixed-wait mode with the
//   waits scaled down (status 40 ms, read 200 ms): N = 100 should take about the time of
//   N = 1, not N times it.
// - read_reply_complete/N: the same with the shipped waits (status 4 s, read 20 s) in
//   reply-complete mode: the exchanges end as soon as the replies are complete.
// - encoder_list_adds / _adds_deletes: 10,000 encoders added (and deleted) one by one.
// Iterations are bounded: each exchange leaves connections in TIME-WAIT.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "CEncoderSim.h"
#include "EncoderList.h"
#include "ExchangeEngine.h"

namespace {

constexpr int kFleet = 100;

CEncoderSim& Fleet()
{
    static std::unique_ptr<CEncoderSim> fleet = [] {
        SimOptions options;
        options.bindAddress = "127.0.0.2-" + std::to_string(1 + kFleet);
        auto sim = std::make_unique<CEncoderSim>(options);
        if (!sim->Start()) {
            std::fprintf(stderr, "stand-in fleet did not start: %s\n", sim->Error().c_str());
        }
        return sim;
    }();
    return *fleet;
}

void ReadBatch(benchmark::State& state, WaitMode mode, LinkTiming timing)
{
    CEncoderSim& fleet = Fleet();
    EngineOptions options;
    options.link.commandPort = fleet.CommandPort();
    options.link.searchPort = fleet.SearchPort();
    options.link.timing = timing;
    options.link.waitMode = mode;
    options.outFile.clear();   // reads only
    ExchangeEngine engine(options);
    std::vector<EncoderRecord> records(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < records.size(); ++i) {
        records[i] = EncoderRecord{};
        records[i].ipAddr = fleet.EncoderAt(i).Address();
    }
    for (auto _ : state) {
        ExchangeCollector collector;
        engine.SubmitBatch(ExchangeKind::Read, records, {collector.Sink(), {}}, {});
        if (!collector.WaitFor(records.size(), 120000)) {
            state.SkipWithError("the batch did not end");
            break;
        }
        for (const ExchangeResult& result : collector.TakeAll()) {
            if (result.outcome != ExchangeOutcome::Succeeded) {
                state.SkipWithError("a read failed");
                break;
            }
        }
    }
    state.counters["encoders"] = static_cast<double>(records.size());
}

void BM_ReadFixed(benchmark::State& state)
{
    LinkTiming scaled;
    scaled.statusWaitMs = 40;
    scaled.readWaitMs = 200;
    ReadBatch(state, WaitMode::Fixed, scaled);
}
BENCHMARK(BM_ReadFixed)
    ->Name("read_fixed")
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_ReadReplyComplete(benchmark::State& state)
{
    ReadBatch(state, WaitMode::ReplyComplete, LinkTiming{});
}
BENCHMARK(BM_ReadReplyComplete)
    ->Name("read_reply_complete")
    ->Arg(1)
    ->Arg(100)
    ->Iterations(10)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_EncoderListAdds(benchmark::State& state)
{
    for (auto _ : state) {
        EncoderList list;
        for (uint32_t i = 0; i < 10000; ++i) {
            list.Add(0x0A000000u + i);
        }
        benchmark::DoNotOptimize(list.Size());
    }
}
BENCHMARK(BM_EncoderListAdds)->Name("encoder_list_adds_10000")->Unit(benchmark::kMillisecond);

void BM_EncoderListAddsDeletes(benchmark::State& state)
{
    for (auto _ : state) {
        EncoderList list;
        for (uint32_t i = 0; i < 10000; ++i) {
            list.Add(0x0A000000u + i);
        }
        for (uint32_t i = 0; i < 10000; ++i) {
            list.Remove(0x0A000000u + i);
        }
        benchmark::DoNotOptimize(list.Size());
    }
}
BENCHMARK(BM_EncoderListAddsDeletes)->Name("encoder_list_adds_deletes_10000")->Unit(benchmark::kMillisecond);

}   // namespace

BENCHMARK_MAIN();
