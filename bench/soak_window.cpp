// The window monitoring a fleet for a long time: its resident memory after the first
// minute and at the end, which must stay within 5 MB of each other. Not a timed test: it
// runs as long as it is told (default one hour), on the offscreen platform.
//
//   build/bench/soak_window [MINUTES [ENCODERS [INTERVAL_MS [PORT SEARCH_PORT]]]]
//
// With ports it watches stand-ins already serving 127.0.0.2 onwards (bench/soak-window.sh
// starts korvane-sim for it, so that the stand-ins' own request logs stay out of the
// window's memory); without, it serves them itself.
//
// Prints one line per minute (minute, RSS in MB, events kept) and a verdict; exits 1 when
// the end is more than 5 MB above the first minute.

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "CEncoderSim.h"
#include "CMainFrame.h"
#include "CPrompter.h"

namespace {

constexpr double kAllowedGrowthMb = 5.0;

// Nothing of the soak asks the operator anything; a box would only be counted.
class SilentPrompter : public CPrompter {
public:
    void MessageBox(QWidget*, const QString&, const QString&, Icon) override { ++boxes; }
    int RunDialog(QDialog&) override { return 0; }
    QAction* TrackPopupMenu(QMenu&, const QPoint&) override { return nullptr; }
    int boxes = 0;
};

double ResidentMb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * 4096.0 / (1024.0 * 1024.0);
}

}   // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("korvane-soak"));   // the operator's settings stay untouched
    const int minutes = argc > 1 ? std::atoi(argv[1]) : 60;
    const int encoders = argc > 2 ? std::atoi(argv[2]) : 200;
    const int intervalMs = argc > 3 ? std::atoi(argv[3]) : 1000;
    if (minutes < 2 || encoders < 1 || encoders > 250 || intervalMs < 100) {
        std::fprintf(stderr,
                     "usage: soak_window [MINUTES>=2 [ENCODERS 1..250 [INTERVAL_MS>=100 [PORT SEARCH_PORT]]]]\n");
        return 2;
    }

    LinkOptions link;
    std::unique_ptr<CEncoderSim> fleet;
    if (argc > 5) {
        link.commandPort = static_cast<uint16_t>(std::atoi(argv[4]));
        link.searchPort = static_cast<uint16_t>(std::atoi(argv[5]));
    } else {
        SimOptions simOptions;
        simOptions.bindAddress = "127.0.0.2-" + std::to_string(1 + encoders);
        fleet = std::make_unique<CEncoderSim>(simOptions);
        if (!fleet->Start()) {
            std::fprintf(stderr, "soak_window: %s\n", fleet->Error().c_str());
            return 1;
        }
        link.commandPort = fleet->CommandPort();
        link.searchPort = fleet->SearchPort();
    }
    SilentPrompter prompter;
    // As the program makes it: on the heap (it deletes itself when closed).
    QPointer<CMainFrame> frame = new CMainFrame(prompter, link);
    frame->show();
    for (int i = 0; i < encoders; ++i) {
        frame->AddEncoder(QStringLiteral("127.0.0.%1").arg(2 + i));
    }
    frame->DeviceCommands().SetReplyCompleteMode(true);   // a reading takes its reply's time, not the 4 s wait
    frame->DeviceCommands().SetMonitorInterval(intervalMs);
    frame->DeviceCommands().SetMonitoring(true);

    double firstMinute = 0;
    double last = 0;   // measured while the frame still monitors, not after it closed
    int minute = 0;
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [&] {
        ++minute;
        const double rss = ResidentMb();
        if (minute == 1) firstMinute = rss;
        last = rss;
        std::printf("minute %3d  RSS %7.1f MB  events kept %zu\n", minute, rss, frame->Encoders().EventCount());
        std::fflush(stdout);
        if (minute >= minutes) application.quit();
    });
    clock.start(60 * 1000);
    application.exec();   // quitting closes the frame, which deletes itself

    const double growth = last - firstMinute;
    std::printf("%d encoders every %d ms for %d minutes: RSS %.1f MB after the first minute, %.1f MB at the end "
                "(%+.1f MB; allowed %.1f)\n",
                encoders, intervalMs, minutes, firstMinute, last, growth, kAllowedGrowthMb);
    delete frame;   // null by now, unless the platform kept it open
    return growth <= kAllowedGrowthMb ? 0 : 1;
}
