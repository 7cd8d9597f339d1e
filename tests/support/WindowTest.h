#pragma once
// What every window test does alike: it keeps its settings in a folder of its own, never the
// operator's, starts each case from none, and shows its window as an operator would see it.

#include <QCoreApplication>
#include <QSettings>
#include <QSize>
#include <QString>
#include <QWidget>
#include <QtTest>

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

// Sized, shown and exposed; false when the window never came up.
inline bool ShowWindow(QWidget* window, QSize size)
{
    window->resize(size);
    window->show();
    return QTest::qWaitForWindowExposed(window);
}
