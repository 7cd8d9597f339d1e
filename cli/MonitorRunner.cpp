#include "MonitorRunner.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>

#include "CliOutput.h"
#if KORVANE_HAS_METRICS
#include "MetricsServer.h"
#endif
#include "RecordJson.h"
#include "TextConversions.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// The longest the loop waits before it looks at the stop flag again: the process ends
// well within 2 s of SIGINT or SIGTERM.
constexpr int kStopCheckMs = 200;
// Figures reach the endpoint at most this long after they changed, and are not copied
// more often than that while a fleet's results stream in.
constexpr int kPublishEveryMs = 250;

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int)
{
    g_stop = 1;
}

}   // namespace

std::string IsoUtcSeconds(std::chrono::system_clock::time_point time)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string MonitorEventLine(const MonitorEvent& event, bool json)
{
    const std::string time = IsoUtcSeconds(event.time);
    const std::string address = FormatDotted(event.address);
    const char* name = MonitorEventName(event.kind);
    const bool hasAlarm = event.kind == MonitorEventKind::Raised || event.kind == MonitorEventKind::Cleared;
    if (json) {
        std::string line = "{" + JsonMember("time", JsonString(time)) + ", " +
                           JsonMember("address", JsonString(address)) + ", " + JsonMember("event", JsonString(name));
        if (hasAlarm) {
            line += ", " + JsonMember("alarm", JsonString(event.alarm));
        }
        return line + "}\n";
    }
    std::string line = time + " " + address + " " + name;
    if (hasAlarm) {
        line += " " + event.alarm;
    }
    return line + "\n";
}

int RunMonitor(const CliRunSetup& setup, const EngineOptions& options)
{
    const CliArguments& arguments = setup.arguments;
    g_stop = 0;
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);

#if KORVANE_HAS_METRICS
    MetricsServer server;
    if (arguments.metrics) {
        std::string error;
        if (!server.Start(arguments.metricsHost, arguments.metricsPort, error)) {
            std::fprintf(stderr, "korvane-cli: %s\n", error.c_str());
            return 1;
        }
        const bool v6 = arguments.metricsHost.find(':') != std::string::npos;
        const std::string host = v6 ? "[" + arguments.metricsHost + "]" : arguments.metricsHost;
        std::fprintf(stderr, "korvane-cli: metrics on http://%s:%u/metrics\n", host.c_str(),
                     static_cast<unsigned>(server.Port()));
        std::fflush(stderr);
    }
#endif

    EncoderMonitor monitor(options, setup.addresses);
#if KORVANE_HAS_METRICS
    if (arguments.metrics) {
        server.Publish(monitor.Figures());
    }
#endif
    const auto interval = std::chrono::milliseconds(arguments.intervalMs);
    SteadyClock::time_point nextPoll = SteadyClock::now();
    SteadyClock::time_point lastPublish = SteadyClock::now();
    bool figuresChanged = false;
    std::vector<MonitorEvent> events;
    std::string out;
    while (g_stop == 0) {
        SteadyClock::time_point now = SteadyClock::now();
        if (now >= nextPoll) {
            monitor.PollDue();
            nextPoll += interval;
            if (nextPoll <= now) {
                // The loop fell behind (a suspended machine): keep the pace from now on.
                nextPoll = now + interval;
            }
        }
        const auto untilPoll = std::chrono::duration_cast<std::chrono::milliseconds>(nextPoll - now).count();
        const int waitMs = static_cast<int>(std::max<long long>(0, std::min<long long>(untilPoll, kStopCheckMs)));
        events.clear();
        bool took = monitor.Process(waitMs, events);
        // Take whatever else has finished meanwhile without waiting.
        while (took && monitor.Process(0, events)) {
        }
        figuresChanged = figuresChanged || took;
        // The endpoint has a change before its line is printed: whoever reads the line and
        // then scrapes sees it.
        now = SteadyClock::now();
#if KORVANE_HAS_METRICS
        if (arguments.metrics && figuresChanged &&
            (!events.empty() || now - lastPublish >= std::chrono::milliseconds(kPublishEveryMs) ||
             monitor.PollsInFlight() == 0)) {
            server.Publish(monitor.Figures());
            lastPublish = now;
            figuresChanged = false;
        }
#else
        (void)lastPublish;
        (void)figuresChanged;
#endif
        if (!events.empty()) {
            out.clear();
            for (const MonitorEvent& event : events) {
                out += MonitorEventLine(event, arguments.json);
            }
            std::fwrite(out.data(), 1, out.size(), stdout);
            std::fflush(stdout);
        }
    }
    return 0;
}
