#pragma once
// Every window test keeps its settings in a folder of its own, never the operator's, and
// starts each case from none.

#include <QCoreApplication>
#include <QSettings>
#include <QString>

#include "CMainFrame.h"

// Settings (INI and native) under `folder`, as the organisation "KorvaneTests" and the test's
// own application name.
inline void KeepSettingsIn(const QString& folder, const QString& application)
{
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QCoreApplication::setOrganizationName(QStringLiteral("KorvaneTests"));
    QCoreApplication::setApplicationName(application);
}

// No setting left from the case before; the activity log kept on disk only where `logFile`
// names one.
inline void StartFromNoSettings(const QString& logFile = QString())
{
    QSettings().clear();
    QSettings().setValue(QString::fromLatin1(kActivityLogFileKey), logFile);
}
