#pragma once
// A style's standard icon that costs nothing until it is first drawn. The style's own icon
// reads every size it has (up to 128 pixels) the moment it is made, which for the toolbar's
// buttons alone is a good part of the window's start; this one draws from the style's
// standard pixmap (its smallest picture, one small file) as long as no larger picture is
// asked for, and takes the whole icon only then. Both draw the same pixels at any size.

#include <QIcon>
#include <QStyle>

class QWidget;

// The icon `widget`'s style (the application's without one) gives for `picture`, made when
// first drawn.
QIcon LazyStandardIcon(QStyle::StandardPixmap picture, const QWidget* widget = nullptr);
