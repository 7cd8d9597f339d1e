#pragma once
// The application's small pictures, drawn once with QPainter: the device tree's three
// item images, the toolbar's buttons and the program icon.

#include <QIcon>
#include <QList>
#include <QPixmap>

constexpr int kDeviceImageSize = 14;   // the device tree's images are 14 x 14
constexpr int kToolButtonWidth = 16;   // toolbar buttons are 16 x 15
constexpr int kToolButtonHeight = 15;

// Indexed by IMAGE_ONLINE, IMAGE_OFFLINE, IMAGE_WARNING.
const QList<QIcon>& DeviceImages();

enum class ToolPicture { Cut, Copy, Paste, Print, About };
QIcon ToolButtonIcon(ToolPicture picture);

QIcon ProgramIcon();
QPixmap ProgramIconPixmap(int size);
