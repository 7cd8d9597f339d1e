// The window at head-end scale, side by side with its yardsticks in one run:
// - start until the first paint: the tool with an empty address book, the tool with
//   10,000 addresses, and a minimal Qt main window built alike (each its own process,
//   resident memory at the first paint as a counter);
// - reading 1,000 stand-ins in reply mode through the window (Ctrl+A, F5) against the
//   command line reading the same 1,000, with the window's longest event-loop stall;
// - monitoring 1,000 encoders every 10 s in reply mode: the process's CPU share and
//   whether every poll was made.
// The stand-ins are one korvane-sim process serving 127.0.10.1-127.0.13.250.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "AppIds.h"
#include "CDeviceTree.h"
#include "CMainFrame.h"
#include "CPrompter.h"

extern char** environ;

namespace {

constexpr int kReadFleet = 1000;
constexpr int kBookSize = 10000;
// 127.0.10.1 onwards, the first 1,000 the stand-in process serves; for the command line
// as ranges of the last number.
const std::vector<std::string> kCliRanges = {"127.0.10.1-255", "127.0.11.0-255", "127.0.12.0-255", "127.0.13.0-232"};

// Boxes are counted, never shown: a benchmark has no operator to press OK.
class SilentPrompter : public CPrompter {
public:
    void MessageBox(QWidget*, const QString&, const QString&, Icon) override { ++boxes; }
    int RunDialog(QDialog&) override { return 0; }
    QAction* TrackPopupMenu(QMenu&, const QPoint&) override { return nullptr; }
    bool Question(QWidget*, const QString&, const QString&) override { return true; }
    int boxes = 0;
};

struct Spawned {
    pid_t pid = -1;
    FILE* out = nullptr;
};

// Runs `path` with `args` and extra environment; its standard output is read back.
Spawned Spawn(const std::string& path, const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {};
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> envText(env);
    for (char** entry = environ; *entry; ++entry) envText.emplace_back(*entry);
    std::vector<char*> envp;
    for (std::string& entry : envText) envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    Spawned spawned;
    const int failed = posix_spawn(&spawned.pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (failed != 0) {
        close(pipeEnds[0]);
        return {};
    }
    spawned.out = fdopen(pipeEnds[0], "r");
    return spawned;
}

int Wait(Spawned& spawned)
{
    int status = 0;
    if (spawned.pid > 0) waitpid(spawned.pid, &status, 0);
    if (spawned.out) fclose(spawned.out);
    spawned = {};
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The stand-in fleet as its own process, so that its work is not counted as the window's.
struct SimProcess {
    Spawned process;
    uint16_t commandPort = 0, searchPort = 0;
    SimProcess()
    {
        process = Spawn(KORVANE_SIM_PATH,
                        {"--bind", "127.0.10.1-127.0.13.250", "--port", "0", "--search-port", "0", "--quiet"}, {});
        char line[256] = {};
        unsigned command = 0, search = 0;
        if (process.out && std::fgets(line, sizeof line, process.out) &&
            std::sscanf(line, "korvane-sim on %*s command port %u, search port %u", &command, &search) == 2) {
            commandPort = uint16_t(command);
            searchPort = uint16_t(search);
        }
    }
    ~SimProcess()
    {
        if (process.pid > 0) kill(process.pid, SIGTERM);
        Wait(process);
    }
    bool Ok() const { return commandPort != 0; }
};

SimProcess& Sim()
{
    static SimProcess sim;
    return sim;
}

// ---------------------------------------------------------------------------------------
// Start until the first paint

QTemporaryDir& SettingsHome(int bookSize)
{
    static QTemporaryDir empty, full;
    QTemporaryDir& dir = bookSize == 0 ? empty : full;
    static bool written[2] = {false, false};
    if (!written[bookSize != 0]) {
        written[bookSize != 0] = true;
        QSettings settings(dir.path() + QStringLiteral("/Local AppWizard-Generated Applications/Korvex.conf"),
                           QSettings::IniFormat);
        QStringList book;
        for (int i = 0; i < bookSize; ++i)
            book << QStringLiteral("10.%1.%2.%3").arg(i / 65536).arg(i / 256 % 256).arg(i % 256);
        settings.setValue(QStringLiteral("AddressBook/encoders"), book);
    }
    return dir;
}

void StartUntilFirstPaint(benchmark::State& state, const char* probe, int bookSize)
{
    const std::string home = "XDG_CONFIG_HOME=" + SettingsHome(bookSize).path().toStdString();
    long rss = 0;
    for (auto _ : state) {
        Spawned spawned = Spawn(probe, {}, {home, "QT_QPA_PLATFORM=offscreen"});
        char line[128] = {};
        if (spawned.out && std::fgets(line, sizeof line, spawned.out)) std::sscanf(line, "rss-kib %ld", &rss);
        if (Wait(spawned) != 0) {
            state.SkipWithError("the probe did not start");
            break;
        }
    }
    state.counters["rss_kib"] = double(rss);
    state.counters["book"] = bookSize;
}

void BM_StartMinimalMainWindow(benchmark::State& state)
{
    StartUntilFirstPaint(state, PROBE_MINIMAL_PATH, 0);
}
BENCHMARK(BM_StartMinimalMainWindow)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

void BM_StartToolEmptyBook(benchmark::State& state)
{
    StartUntilFirstPaint(state, PROBE_KORVANE_PATH, 0);
}
BENCHMARK(BM_StartToolEmptyBook)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

void BM_StartTool10000Addresses(benchmark::State& state)
{
    StartUntilFirstPaint(state, PROBE_KORVANE_PATH, kBookSize);
}
BENCHMARK(BM_StartTool10000Addresses)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// ---------------------------------------------------------------------------------------
// Reading 1,000 stand-ins

LinkOptions SimLink()
{
    LinkOptions link;
    link.commandPort = Sim().commandPort;
    link.searchPort = Sim().searchPort;
    link.waitMode = WaitMode::ReplyComplete;
    return link;
}

std::string BenchOutFile()
{
    return QDir::temp().filePath(QStringLiteral("korvane-bench-out.xml")).toStdString();
}

QStringList FleetTexts(int count)
{
    QStringList texts;
    for (int i = 0; i < count; ++i) texts << QStringLiteral("127.0.%1.%2").arg(10 + (i + 1) / 256).arg((i + 1) % 256);
    return texts;
}

double ThreadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

void BM_WindowRead1000(benchmark::State& state)
{
    if (!Sim().Ok()) {
        state.SkipWithError("korvane-sim did not start");
        return;
    }
    SilentPrompter prompter;
    auto* frame = new CMainFrame(prompter, SimLink(), BenchOutFile());
    frame->resize(1600, 1000);
    frame->show();
    frame->Roster().AddEncoders(FleetTexts(kReadFleet));
    QApplication::processEvents();
    // A zero-time timer fires on every turn of the event loop: the longest gap between two
    // firings is the longest the window could not answer.
    // The same gap in the window thread's own CPU time tells the window's work apart from the
    // time a busy machine gave the other processes (the stand-ins, the engine's loop).
    QElapsedTimer turn;
    qint64 longest = 0;
    double longestCpu = 0, turnCpu = ThreadCpuMs();
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longest = std::max(longest, turn.restart());
        double now = ThreadCpuMs();
        longestCpu = std::max(longestCpu, now - turnCpu);
        turnCpu = now;
    });
    for (auto _ : state) {
        frame->DeviceTree()->selectAll();
        frame->CommandAction(ID_READ_CONFIGURATION)->trigger();
        turn.start();
        turnCpu = ThreadCpuMs();
        probe.start();
        while (frame->InExchange()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        probe.stop();
    }
    state.counters["max_stall_ms"] = double(longest);
    state.counters["max_turn_cpu_ms"] = longestCpu;
    state.counters["encoders"] = kReadFleet;
    delete frame;
}
BENCHMARK(BM_WindowRead1000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_CliRead1000(benchmark::State& state)
{
    if (!Sim().Ok()) {
        state.SkipWithError("korvane-sim did not start");
        return;
    }
    QTemporaryDir out;
    std::vector<std::string> args = {"--port",        std::to_string(Sim().commandPort),
                                     "--search-port", std::to_string(Sim().searchPort),
                                     "--wait",        "reply",
                                     "--parallel",    "1000",
                                     "--quiet",       "read"};
    args.insert(args.end(), kCliRanges.begin(), kCliRanges.end());
    args.insert(args.end(), {"--out", out.path().toStdString()});
    for (auto _ : state) {
        Spawned cli = Spawn(KORVANE_CLI_PATH, args, {});
        if (Wait(cli) != 0) {
            state.SkipWithError("korvane-cli read failed");
            break;
        }
    }
    state.counters["encoders"] = kReadFleet;
}
BENCHMARK(BM_CliRead1000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// ---------------------------------------------------------------------------------------
// Monitoring 1,000 encoders

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_Monitor1000Every10s(benchmark::State& state)
{
    if (!Sim().Ok()) {
        state.SkipWithError("korvane-sim did not start");
        return;
    }
    constexpr int kPolls = 2;
    SilentPrompter prompter;
    auto* frame = new CMainFrame(prompter, SimLink(), BenchOutFile());
    frame->resize(1600, 1000);
    frame->show();
    frame->Roster().AddEncoders(FleetTexts(kReadFleet));
    QApplication::processEvents();
    double share = 0;
    int missed = 0;
    for (auto _ : state) {
        const double cpuBefore = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        frame->DeviceCommands().SetMonitoring(true);   // the first poll now, then every 10 s
        for (int poll = 0; poll < kPolls; ++poll) {
            const auto since = std::chrono::system_clock::now();
            const qint64 until = qint64(poll + 1) * frame->DeviceCommands().MonitorInterval();
            // Sleep in the event loop until the poll is due: processEvents with a time
            // returns at once when nothing is pending, and a loop of it would measure itself.
            QEventLoop wait;
            QTimer::singleShot(int(std::max<qint64>(0, until - wall.elapsed())), &wait, &QEventLoop::quit);
            wait.exec();
            for (const EncoderEntry& entry : frame->Encoders())
                if (!entry.status || entry.status->TakenAt() < since) ++missed;
        }
        frame->DeviceCommands().SetMonitoring(false);
        share = (CpuSeconds() - cpuBefore) / (double(wall.elapsed()) / 1000.0);
    }
    state.counters["cpu_percent"] = share * 100.0;
    state.counters["polls_missed"] = missed;
    delete frame;
}
BENCHMARK(BM_Monitor1000Every10s)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}   // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // A thousand connections at once pass the usual soft limit of 1,024 open files.
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("KorvaneBench"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QDir::tempPath());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
