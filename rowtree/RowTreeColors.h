#pragma once

#include <QApplication>
#include <algorithm>
#include <cmath>
#include <QColor>
#include <QPalette>

// The system colours the row tree paints with, read from the application's palette at the
// moment of use (the palette stands for the desktop's colour scheme).
inline QColor SystemColor(QPalette::ColorRole role, bool enabled = true)
{
    return QApplication::palette().color(enabled ? QPalette::Active : QPalette::Disabled, role);
}

// The contrast ratio of two colours as the accessibility guidelines define it (1 to 21).
inline double ContrastRatio(const QColor& a, const QColor& b)
{
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Text readable on `background` (a contrast of at least 4.5): `text` itself when it is, else
// `text` made darker (on a light background) or lighter (on a dark one) step by step, so that
// a grey read-only value stays grey, only deep enough to be read. A row's own fixed colours
// (read-only grey, heading colours) meet any palette the desktop has this way.
inline QColor ReadableOn(const QColor& text, const QColor& background)
{
    constexpr double kLeast = 4.5;
    if (ContrastRatio(text, background) >= kLeast) return text;
    const bool darken = ContrastRatio(Qt::black, background) >= ContrastRatio(Qt::white, background);
    QColor shade = text.toHsl();
    for (int step = 0; step < 20; ++step) {
        const double lightness = std::clamp(shade.lightnessF() + (darken ? -0.05 : 0.05), 0.0, 1.0);
        shade.setHslF(shade.hslHueF(), shade.hslSaturationF(), lightness, shade.alphaF());
        if (ContrastRatio(shade, background) >= kLeast) return shade.toRgb();
    }
    return darken ? QColor(Qt::black) : QColor(Qt::white);
}
