#pragma once
// The application's small pictures, drawn once with QPainter: the device tree's three
// item images, the toolbar's buttons and the program icon.

#include <QIcon>
#include <QList>
#include <QPalette>
#include <QPixmap>

constexpr int kDeviceImageSize = 14;   // the device tree's images are 14 x 14
constexpr int kToolButtonWidth = 16;   // toolbar buttons are 16 x 15
constexpr int kToolButtonHeight = 15;

// Indexed by IMAGE_ONLINE, IMAGE_OFFLINE, IMAGE_WARNING.
const QList<QIcon>& DeviceImages();

enum class ToolPicture { Cut, Copy, Paste, Print, About, StartOutput, StopOutput, ReadSettings, WriteSettings };
QIcon ToolButtonIcon(ToolPicture picture);
// The buttons drawn for a palette: the output's start and stop (a green triangle, a red
// square) and the settings' read and write (an arrow down into the tool, up to the
// encoder), outlined in the palette's text colour, so that they show on a light toolbar
// and on a dark one alike.
QIcon PaletteButtonIcon(ToolPicture picture, const QPalette& palette);

QIcon ProgramIcon();
QPixmap ProgramIconPixmap(int size);
