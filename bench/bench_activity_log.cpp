// The activity log at its bound: how long a window takes to find 100,000 kept lines again
// (open the database, read them, show the newest), and to filter them by one encoder.
//
// Usage: bench_activity_log [LINES]   (default 100000)

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "CActivityLog.h"
#include "CActivityStore.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("activity.sqlite"));
    {
        CActivityStore store;
        std::vector<ActivityEntry> none, batch;
        QString error;
        if (!store.Open(path, CActivityLog::kMaxEntries, none, error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        const QDateTime start = QDateTime::currentDateTime().addDays(-1);
        for (int i = 0; i < lines; ++i) {
            batch.push_back({start.addMSecs(i * 100), QStringLiteral("10.1.%1.%2").arg(i / 250 % 40).arg(i % 250 + 1),
                             ActivitySeverity(i % 3), QStringLiteral("Status succeeded: temperature %1").arg(i % 90)});
        }
        if (!store.Append(batch, CActivityLog::kMaxEntries, error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer timer;
        timer.start();
        CActivityLog log;
        log.resize(1000, 400);
        log.OpenStore(path);
        log.show();
        QApplication::processEvents();
        const double opened = double(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        log.SetEncoderFilter(QStringLiteral("10.1.3.7"));
        QApplication::processEvents();
        const double filtered = double(timer.nsecsElapsed()) / 1e6;
        std::printf(
            "%d lines: opened and shown in %.0f ms (%zu kept), filtered to one encoder in %.0f ms (%zu shown)\n", lines,
            opened, log.Entries().size(), filtered, log.ShownEntries().size());
    }
    return 0;
}
