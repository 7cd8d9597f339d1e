// The settings sheet's refresh from a record plus the repaint of both columns, offscreen:
// what the operator waits for after every commit and every read.

#include <QApplication>
#include <QTreeWidget>
#include <benchmark/benchmark.h>
#include <cstring>

#include "CSettingsSheet.h"
#include "SheetLayout.h"

namespace {

// Two realistic records that differ in every row, so that each refresh changes everything.
EncoderRecord SampleRecord(int variant)
{
    EncoderRecord record{};
    std::strcpy(record.version, variant ? "KV202-HW2.1" : "KV202-HW2.0");
    record.ipAddr = 0xC0A80100u + variant;
    record.ipMask = 0xFFFFFF00u;
    record.ipGate = 0xC0A801FEu;
    record.deviceID = static_cast<uint8_t>(1 + variant);
    record.temperature = static_cast<uint16_t>(60 + variant);
    record.tsBitrate = 12000 + variant;
    record.tsipAddr = 0xEF010101u + variant;
    record.tsipPort = 5000 + variant;
    for (auto* name : {record.program_info1.progName, record.program_info2.progName})
        std::strcpy(name, variant ? "Evening News" : "Morning News");
    record.program_info1.start = record.program_info2.start = 1;
    record.program_info1.progNO = static_cast<uint16_t>(1 + variant);
    record.program_info1.pmtPid = static_cast<uint16_t>(32 + variant);
    record.program_info1.video.pid = static_cast<uint16_t>(256 + variant);
    record.program_info1.video.gop = static_cast<uint8_t>(2 + variant);
    record.program_info1.audio1.bitrate = static_cast<uint8_t>(8 + variant);
    record.program_info2.video.bitrate = static_cast<uint16_t>(3000 + variant);
    record.program_info2.audio1.mode = static_cast<uint8_t>(variant);
    return record;
}

// Refreshes a shown sheet from the two records in turn; with `repaint`, each refresh is
// followed by the repaint it asked for, as the event loop runs it.
void RunRefreshes(benchmark::State& state, const EncoderRecord (&records)[2], bool repaint)
{
    CSettingsSheet sheet;
    sheet.resize(1200, 700);   // the pane of a maximised window on a 1600 x 1000 screen
    sheet.show();
    QApplication::processEvents();
    int next = 0;
    for (auto _ : state) {
        sheet.Refresh(&records[next]);
        next ^= 1;
        if (repaint) QApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    }
    QApplication::processEvents();
}

// Every row changes, as when another encoder is selected.
void RefreshAndRepaint(benchmark::State& state)
{
    const EncoderRecord records[2] = {SampleRecord(0), SampleRecord(1)};
    RunRefreshes(state, records, true);
}
BENCHMARK(RefreshAndRepaint)->Unit(benchmark::kMicrosecond)->Repetitions(9)->DisplayAggregatesOnly(true);

// The usual case: the refresh after a commit, where one setting changed.
void RefreshAfterCommitAndRepaint(benchmark::State& state)
{
    EncoderRecord records[2] = {SampleRecord(0), SampleRecord(0)};
    records[1].program_info1.video.bitrate = 6500;
    RunRefreshes(state, records, true);
}
BENCHMARK(RefreshAfterCommitAndRepaint)->Unit(benchmark::kMicrosecond)->Repetitions(9)->DisplayAggregatesOnly(true);

void RefreshOnly(benchmark::State& state)
{
    const EncoderRecord records[2] = {SampleRecord(0), SampleRecord(1)};
    RunRefreshes(state, records, false);
}
BENCHMARK(RefreshOnly)->Unit(benchmark::kMicrosecond)->Repetitions(9)->DisplayAggregatesOnly(true);

// The yardstick: Qt's own tree widget with as many rows as the sheet shows (two columns
// of labelled rows under headings), every value changed and repainted per iteration.
void TreeWidgetRefreshAndRepaint(benchmark::State& state)
{
    QTreeWidget tree;
    tree.setColumnCount(2);
    tree.resize(1200, 700);
    int rows = 0;
    for (const SheetColumn* column : {&LeftColumn(), &RightColumn()}) rows += int(column->count);
    std::vector<QTreeWidgetItem*> items;
    for (int i = 0; i < rows; ++i) {
        items.push_back(new QTreeWidgetItem(&tree, QStringList{QStringLiteral("Row %1").arg(i), QString()}));
    }
    tree.show();
    QApplication::processEvents();
    int next = 0;
    for (auto _ : state) {
        for (QTreeWidgetItem* item : items)
            item->setText(1, next ? QStringLiteral("Evening News") : QStringLiteral("Morning News"));
        next ^= 1;
        QApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    }
    state.counters["rows"] = rows;
    QApplication::processEvents();
}
BENCHMARK(TreeWidgetRefreshAndRepaint)->Unit(benchmark::kMicrosecond)->Repetitions(9)->DisplayAggregatesOnly(true);

}   // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
