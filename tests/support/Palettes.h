#pragma once
// The palettes the window tests show the window in, and how they judge that a picture reads
// on its background (the window's own contrast measure, RowTreeColors' ContrastRatio).

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <algorithm>
#include <memory>

#include "RowTreeColors.h"

inline QPalette FusionPalette()
{
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    return fusion->standardPalette();
}

// A dark scheme as a desktop gives Fusion: light text on near-black.
inline QPalette DarkPalette()
{
    QPalette dark = FusionPalette();
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::AlternateBase, QColor(40, 40, 42));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(50, 50, 52));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    dark.setColor(QPalette::Highlight, QColor(38, 79, 120));
    dark.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(127, 127, 127));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(127, 127, 127));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(127, 127, 127));
    return dark;
}

// The best contrast of a toolbar icon's opaque pixels with `background`: its outline reads
// when this is 4.5 or more.
inline double IconContrast(const QIcon& icon, const QColor& background)
{
    const QImage image = icon.pixmap(QSize(16, 15)).toImage();
    double best = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).alpha() == 255)
                best = std::max(best, ContrastRatio(image.pixelColor(x, y), background));
    return best;
}
