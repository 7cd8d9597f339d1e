#pragma once
// One line of the activity log, as the window shows it and the store keeps it.

#include <QDateTime>
#include <QString>

enum class ActivitySeverity { Info, Warning, Error };

struct ActivityEntry {
    QDateTime time;
    QString encoder;   // dotted address; empty for lines about no single encoder
    ActivitySeverity severity = ActivitySeverity::Info;
    QString text;
};
