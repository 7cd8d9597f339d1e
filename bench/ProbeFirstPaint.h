#pragma once
// Ends a start-up probe once its first top-level window has painted: the moment the
// operator first sees the window. Prints the process's resident memory at that moment.

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>
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
                std::printf("rss-kib %ld\n", ResidentKib());
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
