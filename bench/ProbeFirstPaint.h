#pragma once
// Ends a start-up probe once its first top-level window has painted: the moment the
// operator first sees the window. Prints the process's resident memory and the processor
// time it has used (all its threads) at that moment: "rss-kib N cpu-ms M". What the
// process does after it, taking its window down included, is not part of the start.

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

inline long ResidentKib()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

class FirstPaintWatcher : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!m_seen && event->type() == QEvent::Paint && widget && widget->isWindow()) {
            m_seen = true;
            // After this paint has run to its end, not in the middle of it.
            QTimer::singleShot(0, qApp, [] {
                std::printf("rss-kib %ld cpu-ms %.2f\n", ResidentKib(), 1000.0 * double(std::clock()) / CLOCKS_PER_SEC);
                std::fflush(stdout);
                QApplication::exit(0);
            });
        }
        return false;
    }

private:
    bool m_seen = false;
};

// Watches every widget of the application: the first top-level window painted ends it.
inline void QuitAfterFirstPaint()
{
    qApp->installEventFilter(new FirstPaintWatcher(qApp));
}

inline void QuitAfterFirstPaint(QWidget&)
{
    QuitAfterFirstPaint();
}
