// The settings document both ways, and the checks run on a whole record before a write or
// a preset: each is run once per exchange or per encoder of a batch.

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "CommitRules.h"
#include "Presets.h"
#include "RecordJson.h"
#include "SettingsDocument.h"
#include "SettingsFields.h"

namespace {

// The document an encoder in service sends: both programs on air, every field set.
std::string ServiceDocument()
{
    EncoderRecord record{};
    const std::pair<const char*, const char*> values[] = {
        {"version", "KV202-HW2.1"},
        {"ipAddr", "10.1.2.20"},
        {"ipMask", "255.255.255.0"},
        {"deviceID", "1"},
        {"temperature", "60"},
        {"tsBitrate", "12000"},
        {"tsipAddr", "239.1.1.1"},
        {"tsipPort", "5000"},
        {"program_info1.start", "1"},
        {"program_info1.progName", "News"},
        {"program_info1.providerName", "Korvane"},
        {"program_info1.progNO", "1"},
        {"program_info1.pmtPid", "32"},
        {"program_info1.pcrPid", "256"},
        {"program_info1.video.pid", "256"},
        {"program_info1.video.bitrate", "4000"},
        {"program_info1.audio1.pid", "257"},
        {"program_info1.audio1.bitrate", "192"},
        {"program_info1.audio1.mode", "stereo"},
        {"program_info1.audio2.bitrate", "128"},
        {"program_info2.start", "1"},
        {"program_info2.progNO", "2"},
        {"program_info2.pmtPid", "33"},
        {"program_info2.pcrPid", "512"},
        {"program_info2.video.pid", "512"},
        {"program_info2.video.bitrate", "3000"},
        {"program_info2.audio1.pid", "513"},
        {"program_info2.audio1.bitrate", "128"},
    };
    for (const auto& [name, text] : values) StoreFieldText(*FindSettingsField(name), text, record);
    return EncoderSideDocument(record);
}

EncoderRecord ServiceRecord()
{
    const std::string document = ServiceDocument();
    EncoderRecord record{};
    ReadSettingsText(document.data(), static_cast<int>(document.size()), record);
    return record;
}

void WriteDocument(benchmark::State& state)
{
    EncoderRecord record = ServiceRecord();
    std::vector<char> buffer(10000);
    for (auto _ : state) {
        buffer[0] = '\0';
        benchmark::DoNotOptimize(WriteSettingsDocument(record, buffer.data()));
    }
}
BENCHMARK(WriteDocument)->Unit(benchmark::kMicrosecond);

void ReadDocument(benchmark::State& state)
{
    const std::string document = ServiceDocument();
    EncoderRecord record{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadSettingsText(document.data(), static_cast<int>(document.size()), record));
    }
}
BENCHMARK(ReadDocument)->Unit(benchmark::kMicrosecond);

void CheckWhole(benchmark::State& state)
{
    const EncoderRecord record = ServiceRecord();
    for (auto _ : state) benchmark::DoNotOptimize(CheckWholeRecord(record));
}
BENCHMARK(CheckWhole)->Unit(benchmark::kMicrosecond);

void ApplyPreset(benchmark::State& state)
{
    const EncoderRecord source = ServiceRecord();
    const std::string file = SaveSettingsDocument(source);
    for (auto _ : state) {
        EncoderRecord target = source;
        benchmark::DoNotOptimize(ApplySettings(file, target));
    }
}
BENCHMARK(ApplyPreset)->Unit(benchmark::kMicrosecond);

void RecordJson(benchmark::State& state)
{
    const EncoderRecord record = ServiceRecord();
    for (auto _ : state) benchmark::DoNotOptimize(RecordJsonObject(record));
}
BENCHMARK(RecordJson)->Unit(benchmark::kMicrosecond);

}   // namespace

BENCHMARK_MAIN();
