// The exchange engine against a head-end of stand-ins: up to 10,000 encoders served by
// korvane-sim processes (250 each, 127.0.X.1-250, all on one pair of ports), every figure
// side by side in one run.
//
// - read, fixed waits scaled to 40/200 ms: N = 1, 1,000 and 10,000 (as far as the open-file
//   limit allows) at the engine's default limit in flight; ratios against N = 1. Beside them a
//   plain epoll client with the same waits, on one thread and on two: what this machine's
//   sockets take for 1,000 (and 10,000).
// - reply-complete mode: status of 1,000; status gate + read of 1,000, against a plain epoll
//   client that sends the same bytes and reads the same replies.
// - peak RSS of a process that reads 1 and 1,000 encoders; threads seen during a batch.
// - with the open-file limit at 256, a status of 1,000 encoders.
//
// Usage: bench_fleet [MAX_ENCODERS]   (default 10000)

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ExchangeEngine.h"
#include "LinkProtocol.h"
#include "Socket.h"
#include "TextConversions.h"

namespace {

using Clock = std::chrono::steady_clock;
// Encoders per stand-in process, one third number's worth. With the stand-ins' event loop,
// 1,000 or 2,500 per process measured the same as 250 (N = 1,000 and 10,000 alike): the
// stand-ins no longer decide the figures, so the ranges stay this simple.
constexpr int kPerSim = 250;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

uint32_t AddressOf(int index)   // 127.0.X.Y, X from 1, Y 1-250
{
    return 0x7F000000u | (static_cast<uint32_t>(1 + index / kPerSim) << 8) | static_cast<uint32_t>(1 + index % kPerSim);
}

uint16_t FreePort(int type)
{
    CSocket probe(type == SOCK_STREAM ? CSocket::Kind::Tcp : CSocket::Kind::Udp);
    probe.Bind(kLoopbackAddress, 0);
    return probe.LocalPort();
}

struct Fleet {
    uint16_t port = 0, searchPort = 0;
    std::vector<pid_t> sims;
    ~Fleet()
    {
        for (pid_t pid : sims) {
            kill(pid, SIGTERM);
        }
        for (pid_t pid : sims) {
            waitpid(pid, nullptr, 0);
        }
    }
};

bool StartFleet(Fleet& fleet, int encoders)
{
    fleet.port = FreePort(SOCK_STREAM);
    fleet.searchPort = FreePort(SOCK_DGRAM);
    for (int first = 0; first < encoders; first += kPerSim) {
        int last = std::min(encoders, first + kPerSim) - 1;
        std::string range = FormatDotted(AddressOf(first)) + "-" + FormatDotted(AddressOf(last));
        std::string port = std::to_string(fleet.port), searchPort = std::to_string(fleet.searchPort);
        int pipeFds[2];
        if (pipe(pipeFds) != 0) {
            return false;
        }
        const pid_t bench = getpid();
        pid_t pid = fork();
        if (pid == 0) {
            // A bench stopped half-way (^C, a crash) leaves no stand-ins behind.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != bench) {
                _exit(127);
            }
            dup2(pipeFds[1], STDOUT_FILENO);
            close(pipeFds[0]);
            close(pipeFds[1]);
            execl(KORVANE_SIM_PATH, KORVANE_SIM_PATH, "--bind", range.c_str(), "--port", port.c_str(), "--search-port",
                  searchPort.c_str(), "--quiet", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipeFds[1]);
        fleet.sims.push_back(pid);
        char line[512];
        FILE* out = fdopen(pipeFds[0], "r");
        bool ready = out != nullptr && std::fgets(line, sizeof line, out) != nullptr;
        if (out != nullptr) {
            std::fclose(out);
        }
        if (!ready) {
            std::fprintf(stderr, "korvane-sim for %s did not start\n", range.c_str());
            return false;
        }
    }
    return true;
}

size_t Threads()
{
    size_t count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir)) {
            count += entry->d_name[0] != '.';
        }
        closedir(dir);
    }
    return count;
}

// Each thread's processor time so far under /proc/PID/task (the scheduler's count, finer
// than the clock ticks of /proc/PID/stat), by thread id, with the thread's name (the engine
// names its loops and its parser).
using TaskTimes = std::map<std::string, std::pair<std::string, double>>;

TaskTimes TimesOfTasks(const std::string& tasks)
{
    TaskTimes times;
    if (DIR* dir = opendir(tasks.c_str())) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.') {
                continue;
            }
            std::string task = tasks + "/" + entry->d_name;
            char name[64] = "";
            if (FILE* file = std::fopen((task + "/comm").c_str(), "r")) {
                if (std::fgets(name, sizeof name, file) != nullptr) {
                    name[std::strcspn(name, "\n")] = '\0';
                }
                std::fclose(file);
            }
            unsigned long long ns = 0;
            if (FILE* file = std::fopen((task + "/schedstat").c_str(), "r")) {
                if (std::fscanf(file, "%llu", &ns) == 1) {
                    times[entry->d_name] = {name, static_cast<double>(ns) / 1e6};
                }
                std::fclose(file);
            }
        }
        closedir(dir);
    }
    return times;
}

// The stand-ins share this machine's cores with the client: what they spend in a batch
// is time the client's exchanges wait for a core.
std::vector<pid_t> g_standIns;

// The processor time and page faults of this process over a stretch of work, and the
// processor time of the stand-ins meanwhile. Both cores are busy during a batch, so what
// client and stand-ins spend in all decides how soon the last exchange ends.
struct Cost {
    double cpuMs = 0;
    long faults = 0;
    double standInsMs = 0;
};

Cost CostNow()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1000 + static_cast<double>(t.tv_usec) / 1000;
    };
    Cost cost{ms(usage.ru_utime) + ms(usage.ru_stime), usage.ru_minflt + usage.ru_majflt, 0};
    for (pid_t pid : g_standIns) {
        for (const auto& [tid, task] : TimesOfTasks("/proc/" + std::to_string(pid) + "/task")) {
            cost.standInsMs += task.second;
        }
    }
    return cost;
}

Cost CostSince(const Cost& start)
{
    Cost now = CostNow();
    return {now.cpuMs - start.cpuMs, now.faults - start.faults, now.standInsMs - start.standInsMs};
}

struct BatchRun {
    double ms = 0;
    Cost cost;
    size_t succeeded = 0;
    size_t mostThreads = 0;
    double lastStartMs = 0;   // when the last exchange of the batch started
    // Each exchange's own time, from its start to its end: the least, the median, the most.
    double runMs[3] = {0, 0, 0};
    std::string threadShares;
};

EngineOptions OptionsFor(const Fleet& fleet, WaitMode mode, LinkTiming timing)
{
    EngineOptions options;
    options.link.commandPort = fleet.port;
    options.link.searchPort = fleet.searchPort;
    options.link.timing = timing;
    options.link.waitMode = mode;
    options.outFile.clear();
    return options;
}

// What the batch's processor time went to: the engine's loops, its parser, the caller.
std::string ThreadShares(const TaskTimes& before)
{
    double loops = 0, parse = 0, caller = 0;
    for (const auto& [tid, now] : TimesOfTasks("/proc/self/task")) {
        auto was = before.find(tid);
        double ms = now.second - (was == before.end() ? 0 : was->second.second);
        if (now.first == "korvane-loop") {
            loops += ms;
        } else if (now.first == "korvane-parse") {
            parse += ms;
        } else {
            caller += ms;
        }
    }
    char text[160];
    std::snprintf(text, sizeof text, "loops %.0f ms, parser %.0f ms, caller %.0f ms", loops, parse, caller);
    return text;
}

BatchRun RunBatch(ExchangeEngine& engine, ExchangeKind kind, int count)
{
    TaskTimes threadsBefore = TimesOfTasks("/proc/self/task");
    std::vector<EncoderRecord> records(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        records[static_cast<size_t>(i)].ipAddr = AddressOf(i);
    }
    ExchangeCollector collector;
    BatchRun run;
    Cost before = CostNow();
    Clock::time_point start = Clock::now();
    engine.SubmitBatch(kind, records, {collector.Sink(), {}}, {});
    while (!collector.WaitFor(records.size(), 5)) {
        run.mostThreads = std::max(run.mostThreads, Threads());
    }
    run.ms = MsSince(start);
    run.cost = CostSince(before);
    run.threadShares = ThreadShares(threadsBefore);
    std::vector<double> runs;
    for (const ExchangeResult& result : collector.TakeAll()) {
        run.succeeded += result.outcome == ExchangeOutcome::Succeeded;
        run.lastStartMs =
            std::max(run.lastStartMs, std::chrono::duration<double, std::milli>(result.started - start).count());
        runs.push_back(result.RunMs());
    }
    if (!runs.empty()) {
        std::sort(runs.begin(), runs.end());
        run.runMs[0] = runs.front();
        run.runMs[1] = runs[runs.size() / 2];
        run.runMs[2] = runs.back();
    }
    return run;
}

// A batch on an engine of its own, as korvane-cli runs one.
BatchRun RunBatch(const Fleet& fleet, ExchangeKind kind, int count, WaitMode mode, LinkTiming timing)
{
    ExchangeEngine engine(OptionsFor(fleet, mode, timing));
    return RunBatch(engine, kind, count);
}

// ---- the plain epoll client: status request and reply, then read request and reply ----

struct Plain {
    int fd = -1;
    int stage = 0;   // 0 status, 1 read, 2 done
    std::vector<uint8_t> in;
    size_t want = FrameHeader::kSize;
};

bool Open(Plain& plain, uint32_t address, uint16_t port, int epoll, size_t index)
{
    plain.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (plain.fd < 0) {
        return false;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    connect(plain.fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
    uint8_t header[FrameHeader::kSize];
    FrameHeader{plain.stage == 0 ? CMD_STATUS : CMD_READ_CONFIG, 0}.Encode(header);
    epoll_event event{};
    event.events = EPOLLOUT;
    event.data.u64 = index;
    plain.in.clear();
    plain.want = FrameHeader::kSize;
    return epoll_ctl(epoll, EPOLL_CTL_ADD, plain.fd, &event) == 0;
}

// Sends one request on a connected socket, as the engine does: the header's two halves.
void SendRequest(const Plain& plain)
{
    uint8_t header[FrameHeader::kSize];
    FrameHeader{plain.stage == 0 ? CMD_STATUS : CMD_READ_CONFIG, 0}.Encode(header);
    send(plain.fd, header, 4, MSG_NOSIGNAL);
    send(plain.fd, header + 4, 4, MSG_NOSIGNAL);
}

// waits: none, the exchanges end when the reply is whole; else the fixed waits after each
// request (status, read), at whose end what arrived is taken, as the fixed-wait mode does.
// It talks to every `stride`th encoder from `first`.
double PlainClient(const Fleet& fleet, int count, size_t& completed, const LinkTiming* waits = nullptr, int first = 0,
                   int stride = 1)
{
    int epoll = epoll_create1(0);
    std::vector<Plain> clients(static_cast<size_t>(count));
    Clock::time_point start = Clock::now();
    for (size_t i = 0; i < clients.size(); ++i) {
        Open(clients[i], AddressOf(first + stride * static_cast<int>(i)), fleet.port, epoll, i);
    }
    completed = 0;
    size_t open = clients.size();
    std::vector<epoll_event> events(1024);
    uint8_t buffer[16384];
    // Every wait of a stage is as long, so the deadlines come due in the order they were set.
    std::vector<std::pair<Clock::time_point, size_t>> due;
    size_t nextDue = 0;
    auto finish = [&](size_t index) {
        Plain& plain = clients[index];
        close(plain.fd);
        bool whole = plain.in.size() >= plain.want;
        if (whole && plain.stage == 0) {
            plain.stage = 1;
            Open(plain, AddressOf(first + stride * static_cast<int>(index)), fleet.port, epoll, index);
        } else {
            completed += whole;
            --open;
        }
    };
    auto take = [&](Plain& plain) {
        ssize_t n = recv(plain.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            plain.in.insert(plain.in.end(), buffer, buffer + n);
            if (plain.in.size() >= FrameHeader::kSize) {
                plain.want = FrameHeader::kSize + static_cast<size_t>(FrameHeader::Decode(plain.in.data()).length);
            }
        }
        return n;
    };
    while (open > 0) {
        int timeout = 2000;
        if (nextDue < due.size()) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due[nextDue].first - Clock::now());
            timeout = static_cast<int>(std::max<int64_t>(0, left.count()));
        }
        int ready = epoll_wait(epoll, events.data(), static_cast<int>(events.size()), timeout);
        if (ready < 0 || (ready == 0 && nextDue >= due.size())) {
            break;
        }
        for (int e = 0; e < ready; ++e) {
            size_t index = events[static_cast<size_t>(e)].data.u64;
            Plain& plain = clients[index];
            if (events[static_cast<size_t>(e)].events & EPOLLOUT) {
                SendRequest(plain);
                if (waits == nullptr) {
                    epoll_event event{};
                    event.events = EPOLLIN;
                    event.data.u64 = index;
                    epoll_ctl(epoll, EPOLL_CTL_MOD, plain.fd, &event);
                } else {
                    epoll_ctl(epoll, EPOLL_CTL_DEL, plain.fd, nullptr);
                    int ms = plain.stage == 0 ? waits->statusWaitMs : waits->readWaitMs;
                    due.emplace_back(Clock::now() + std::chrono::milliseconds(ms), index);
                }
                continue;
            }
            ssize_t n = take(plain);
            if (n <= 0 || plain.in.size() >= plain.want) {
                finish(index);
            }
        }
        for (Clock::time_point now = Clock::now(); nextDue < due.size() && due[nextDue].first <= now; ++nextDue) {
            size_t index = due[nextDue].second;
            while (take(clients[index]) > 0) {
            }
            finish(index);
        }
    }
    double ms = MsSince(start);
    close(epoll);
    return ms;
}

// The same client on two threads, each with half the encoders: what two cores' worth of
// this machine's sockets allow, as the engine's two loops use them.
double PlainClientOnTwoThreads(const Fleet& fleet, int count, size_t& completed, const LinkTiming* waits)
{
    size_t done[2] = {};
    Clock::time_point start = Clock::now();
    std::thread other([&] { PlainClient(fleet, count / 2, done[1], waits, 1, 2); });
    PlainClient(fleet, count - count / 2, done[0], waits, 0, 2);
    other.join();
    completed = done[0] + done[1];
    return MsSince(start);
}

// Runs `work` in a child process; returns what it printed as a number (or -1).
template <typename Work>
double InChild(Work work)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return -1;
    }
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        // A forked child starts with its parent's peak; count from here.
        if (FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", refs);
            std::fclose(refs);
        }
        double value = work();
        std::string text = std::to_string(value);
        ssize_t written = write(pipeFds[1], text.data(), text.size());
        _exit(written > 0 ? 0 : 1);
    }
    close(pipeFds[1]);
    char text[64] = {};
    ssize_t got = read(pipeFds[0], text, sizeof text - 1);
    close(pipeFds[0]);
    waitpid(pid, nullptr, 0);
    return got > 0 ? std::atof(text) : -1;
}

double PeakRssKb()
{
    double kb = -1;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::strncmp(line, "VmHWM:", 6) == 0) {
                kb = std::atof(line + 6);
            }
        }
        std::fclose(status);
    }
    return kb;
}

// The peak resident set of a process of its own that reads `count` encoders of the fleet
// (this program again, run with --peak-rss): a fork would start from this process's pages.
double PeakRssOfReader(const Fleet& fleet, int count)
{
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
        return -1;
    }
    std::string command = std::string("'") + self + "' --peak-rss " + std::to_string(fleet.port) + " " +
                          std::to_string(fleet.searchPort) + " " + std::to_string(count);
    std::fflush(stdout);
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) {
        return -1;
    }
    double kb = -1;
    if (std::fscanf(child, "%lf", &kb) != 1) {
        kb = -1;
    }
    pclose(child);
    return kb;
}

int ReportPeakRss(char** argv)
{
    Fleet fleet;
    fleet.port = static_cast<uint16_t>(std::atoi(argv[2]));
    fleet.searchPort = static_cast<uint16_t>(std::atoi(argv[3]));
    RunBatch(fleet, ExchangeKind::Read, std::atoi(argv[4]), WaitMode::ReplyComplete, LinkTiming{});
    std::printf("%.0f\n", PeakRssKb());
    return 0;
}

}   // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--peak-rss") == 0) {
        return ReportPeakRss(argv);
    }
    int most = argc > 1 ? std::atoi(argv[1]) : 10000;
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    // The engine's process needs one descriptor per exchange plus its margin; the stand-ins
    // run in processes of their own.
    int room = static_cast<int>(std::min<rlim_t>(limit.rlim_max, 1 << 20) * 7 / 8) - 64;
    int fleetSize = std::max(1000, std::min(most, room));
    std::printf("open-file limit: soft %llu, hard %llu; fleet of %d stand-ins in %d processes\n",
                static_cast<unsigned long long>(limit.rlim_cur), static_cast<unsigned long long>(limit.rlim_max),
                fleetSize, (fleetSize + kPerSim - 1) / kPerSim);
    Fleet fleet;
    if (!StartFleet(fleet, fleetSize)) {
        return 1;
    }
    g_standIns = fleet.sims;
    double rssOne = PeakRssOfReader(fleet, 1);
    double rssMany = PeakRssOfReader(fleet, 1000);

    LinkTiming scaled;
    scaled.statusWaitMs = 40;
    scaled.readWaitMs = 200;
    std::printf("\nread, fixed waits scaled to 40/200 ms (default limit in flight)\n");
    BatchRun one = RunBatch(fleet, ExchangeKind::Read, 1, WaitMode::Fixed, scaled);
    std::printf("  N=1      %8.1f ms  %zu ok\n", one.ms, one.succeeded);
    double engineThousand = 0, engineTenThousand = 0;
    for (int n : {1000, 10000}) {
        if (n > fleetSize) {
            std::printf("  N=%-6d  skipped: the open-file limit allows a fleet of %d here\n", n, fleetSize);
            continue;
        }
        BatchRun run = RunBatch(fleet, ExchangeKind::Read, n, WaitMode::Fixed, scaled);
        std::printf("  N=%-6d %8.1f ms  %zu ok  %.2fx N=1  threads at most %zu; last start at %.1f ms; processor %.0f "
                    "ms (%s), %ld page faults (stand-ins %.0f ms)\n",
                    n, run.ms, run.succeeded, run.ms / one.ms, run.mostThreads, run.lastStartMs, run.cost.cpuMs,
                    run.threadShares.c_str(), run.cost.faults, run.cost.standInsMs);
        // Every exchange, the first to start included, takes longer than one alone: the
        // fleet's connects, sends and receives meet at the ends of the same waits.
        std::printf("           each exchange's own time: least %.1f ms, median %.1f ms, most %.1f ms\n", run.runMs[0],
                    run.runMs[1], run.runMs[2]);
        (n == 1000 ? engineThousand : engineTenThousand) = run.ms;
    }
    {
        // The window and the monitor keep one engine for all their batches: its loops find
        // their memory grown by the batches before.
        ExchangeEngine kept(OptionsFor(fleet, WaitMode::Fixed, scaled));
        RunBatch(kept, ExchangeKind::Read, 1000);
        BatchRun keptOne = RunBatch(kept, ExchangeKind::Read, 1);
        BatchRun keptMany = RunBatch(kept, ExchangeKind::Read, 1000);
        std::printf("  one engine kept across batches: N=1 %.1f ms, N=1000 %.1f ms (%zu ok): %.2fx N=1; last start "
                    "at %.1f ms; processor %.0f ms (%s), %ld page faults (stand-ins %.0f ms)\n",
                    keptOne.ms, keptMany.ms, keptMany.succeeded, keptMany.ms / keptOne.ms, keptMany.lastStartMs,
                    keptMany.cost.cpuMs, keptMany.threadShares.c_str(), keptMany.cost.faults, keptMany.cost.standInsMs);
    }
    // What this machine's sockets allow: a plain epoll client with the same waits, side by side.
    size_t plainOneDone = 0, plainManyDone = 0;
    double plainOne = PlainClient(fleet, 1, plainOneDone, &scaled);
    Cost before = CostNow();
    double plainMany = PlainClient(fleet, 1000, plainManyDone, &scaled);
    Cost plainCost = CostSince(before);
    std::printf("  plain epoll client, same waits: N=1 %.1f ms, N=1000 %.1f ms (%zu ok): %.2fx N=1; "
                "engine %.2fx the plain client; processor %.0f ms, %ld page faults (stand-ins %.0f ms)\n",
                plainOne, plainMany, plainManyDone, plainMany / plainOne, engineThousand / plainMany, plainCost.cpuMs,
                plainCost.faults, plainCost.standInsMs);
    size_t plainTwoDone = 0;
    before = CostNow();
    double plainTwo = PlainClientOnTwoThreads(fleet, 1000, plainTwoDone, &scaled);
    plainCost = CostSince(before);
    std::printf("  the same client on two threads: N=1000 %.1f ms (%zu ok): %.2fx N=1; engine %.2fx it; "
                "processor %.0f ms, %ld page faults (stand-ins %.0f ms)\n",
                plainTwo, plainTwoDone, plainTwo / plainOne, engineThousand / plainTwo, plainCost.cpuMs,
                plainCost.faults, plainCost.standInsMs);
    if (fleetSize >= 10000) {
        size_t plainHugeDone = 0;
        double plainHuge = PlainClient(fleet, 10000, plainHugeDone, &scaled);
        std::printf(
            "  plain epoll client, same waits: N=10000 %.1f ms (%zu ok): %.2fx N=1; engine %.2fx the plain client\n",
            plainHuge, plainHugeDone, plainHuge / plainOne, engineTenThousand / plainHuge);
        plainHuge = PlainClientOnTwoThreads(fleet, 10000, plainHugeDone, &scaled);
        std::printf("  the same client on two threads: N=10000 %.1f ms (%zu ok): %.2fx N=1; engine %.2fx it\n",
                    plainHuge, plainHugeDone, plainHuge / plainOne, engineTenThousand / plainHuge);
    }

    std::printf("\nreply-complete mode, shipped waits, 1,000 encoders\n");
    BatchRun status = RunBatch(fleet, ExchangeKind::Status, 1000, WaitMode::ReplyComplete, LinkTiming{});
    std::printf("  status             %8.1f ms  %zu ok\n", status.ms, status.succeeded);
    BatchRun read = RunBatch(fleet, ExchangeKind::Read, 1000, WaitMode::ReplyComplete, LinkTiming{});
    size_t plainDone = 0;
    double plain = PlainClient(fleet, 1000, plainDone);
    std::printf("  gate + read        %8.1f ms  %zu ok  threads at most %zu\n", read.ms, read.succeeded,
                read.mostThreads);
    std::printf("  plain epoll client %8.1f ms  %zu ok  engine %.2fx the plain client\n", plain, plainDone,
                read.ms / plain);

    std::printf("\npeak RSS of a process reading N encoders (reply-complete)\n");
    std::printf("  N=1 %.0f KiB, N=1000 %.0f KiB: %.2fx\n", rssOne, rssMany, rssMany / rssOne);

    double okUnder256 = InChild([&] {
        rlimit low{256, 256};
        setrlimit(RLIMIT_NOFILE, &low);
        return static_cast<double>(
            RunBatch(fleet, ExchangeKind::Status, 1000, WaitMode::ReplyComplete, LinkTiming{}).succeeded);
    });
    std::printf("\nopen-file limit 256: status of 1,000 encoders, %.0f succeeded\n", okUnder256);
    return 0;
}
