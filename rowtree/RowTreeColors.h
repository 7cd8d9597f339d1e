#pragma once

#include <QApplication>
#include <QColor>
#include <QPalette>

// The system colours the row tree paints with, read from the application's palette at the
// moment of use (the palette stands for the desktop's colour scheme).
inline QColor SystemColor(QPalette::ColorRole role, bool enabled = true)
{
    return QApplication::palette().color(enabled ? QPalette::Active : QPalette::Disabled, role);
}
