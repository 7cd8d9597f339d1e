#include "Pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace {

// A small monitor: dark bezel, a screen of `screen` colour, a stand and a foot.
QPixmap MonitorPicture(const QColor& screen)
{
    QPixmap pixmap(kDeviceImageSize, kDeviceImageSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.fillRect(0, 1, 14, 10, QColor(64, 64, 64));   // bezel
    p.fillRect(1, 2, 12, 8, QColor(160, 160, 160));
    p.fillRect(2, 3, 10, 6, screen);
    p.fillRect(3, 4, 3, 1, screen.lighter(150));   // a glint on the glass
    p.fillRect(6, 11, 2, 1, QColor(64, 64, 64));   // stand
    p.fillRect(3, 12, 8, 2, QColor(96, 96, 96));   // foot
    return pixmap;
}

QPixmap WarningPicture()
{
    QPixmap pixmap(kDeviceImageSize, kDeviceImageSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(160, 120, 0));
    p.setBrush(QColor(255, 220, 0));
    p.drawEllipse(QRectF(0.5, 0.5, 13, 13));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(6, 3, 2, 5, QColor(200, 0, 0));
    p.fillRect(6, 9, 2, 2, QColor(200, 0, 0));
    return pixmap;
}

QPixmap ToolPixmap(ToolPicture picture)
{
    QPixmap pixmap(kToolButtonWidth, kToolButtonHeight);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const QColor ink(0, 0, 0);
    const QColor paper(255, 255, 255);
    switch (picture) {
    case ToolPicture::Cut:
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(ink, 1.2));
        p.drawLine(QPointF(4.5, 1), QPointF(10, 9));   // blades
        p.drawLine(QPointF(11.5, 1), QPointF(6, 9));
        p.setPen(QPen(QColor(0, 0, 160), 1.4));
        p.drawEllipse(QRectF(2, 9, 4.5, 4.5));   // handles
        p.drawEllipse(QRectF(9.5, 9, 4.5, 4.5));
        break;
    case ToolPicture::Copy:
        p.setPen(ink);
        p.setBrush(paper);
        p.drawRect(1, 1, 8, 9);
        p.drawRect(6, 5, 8, 9);
        p.drawLine(8, 8, 12, 8);
        p.drawLine(8, 10, 12, 10);
        p.drawLine(8, 12, 11, 12);
        break;
    case ToolPicture::Paste:
        p.setPen(ink);
        p.setBrush(QColor(176, 128, 64));   // clipboard
        p.drawRect(1, 2, 10, 12);
        p.setBrush(QColor(160, 160, 160));
        p.drawRect(4, 0, 4, 3);
        p.setBrush(paper);
        p.drawRect(6, 6, 8, 8);
        p.drawLine(8, 9, 12, 9);
        p.drawLine(8, 11, 12, 11);
        break;
    case ToolPicture::Print:
        p.setPen(ink);
        p.setBrush(paper);
        p.drawRect(4, 0, 8, 6);   // sheet going in
        p.setBrush(QColor(192, 192, 192));
        p.drawRect(1, 6, 14, 6);   // body
        p.setBrush(paper);
        p.drawRect(4, 10, 8, 4);                      // sheet coming out
        p.fillRect(12, 8, 2, 1, QColor(0, 160, 0));   // lamp
        break;
    case ToolPicture::About: {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QColor(0, 0, 128));
        p.setBrush(QColor(255, 255, 224));
        p.drawEllipse(QRectF(0.5, 0.5, 14, 13.5));
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(11);
        p.setFont(font);
        p.drawText(QRect(0, 0, 16, 15), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case ToolPicture::StartOutput:
    case ToolPicture::StopOutput:
    case ToolPicture::ReadSettings:
    case ToolPicture::WriteSettings:
        break;   // drawn for a palette: PaletteButtonIcon
    }
    return pixmap;
}

}   // namespace

const QList<QIcon>& DeviceImages()
{
    static const QList<QIcon> images = {
        QIcon(MonitorPicture(QColor(0, 200, 0))),       // IMAGE_ONLINE
        QIcon(MonitorPicture(QColor(128, 128, 128))),   // IMAGE_OFFLINE
        QIcon(WarningPicture()),                        // IMAGE_WARNING
    };
    return images;
}

QIcon ToolButtonIcon(ToolPicture picture)
{
    return QIcon(ToolPixmap(picture));
}

// An encoder box with a green front display and a screen above it.
QPixmap ProgramIconPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(QColor(32, 32, 32), 1));
    p.setBrush(QColor(70, 70, 80));
    p.drawRoundedRect(QRectF(3.5, 2.5, 25, 18), 2, 2);
    p.setBrush(QColor(0, 190, 60));
    p.drawRect(QRectF(6.5, 5.5, 19, 12));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 48));
    p.drawRect(QRectF(14, 20.5, 4, 3));
    p.setPen(QPen(QColor(32, 32, 32), 1));
    p.setBrush(QColor(110, 110, 125));
    p.drawRoundedRect(QRectF(1.5, 23.5, 29, 7), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 230, 0));
    p.drawEllipse(QRectF(24, 25.5, 3, 3));
    p.setBrush(QColor(230, 160, 0));
    p.drawEllipse(QRectF(19.5, 25.5, 3, 3));
    return pixmap;
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48}) icon.addPixmap(ProgramIconPixmap(size));
    return icon;
}

QIcon PaletteButtonIcon(ToolPicture picture, const QPalette& palette)
{
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap(kToolButtonWidth * scale, kToolButtonHeight * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(palette.color(QPalette::Active, QPalette::WindowText), 1.2));
        if (picture == ToolPicture::StartOutput) {
            p.setBrush(QColor(0, 160, 60));
            const QPointF triangle[] = {{3.5, 1.5}, {13.5, 7.5}, {3.5, 13.5}};
            p.drawPolygon(triangle, 3);
        } else if (picture == ToolPicture::ReadSettings || picture == ToolPicture::WriteSettings) {
            p.setBrush(QColor(40, 110, 220));
            const QPointF down[] = {{5.5, 1.5}, {10.5, 1.5}, {10.5, 7}, {14, 7}, {8, 13.5}, {2, 7}, {5.5, 7}};
            QPointF arrow[7];
            for (int i = 0; i < 7; ++i)
                arrow[i] = picture == ToolPicture::ReadSettings ? down[i] : QPointF(down[i].x(), 15 - down[i].y());
            p.drawPolygon(arrow, 7);
        } else {
            p.setBrush(QColor(210, 40, 40));
            p.drawRect(QRectF(2.5, 2, 11, 11));
        }
        icon.addPixmap(pixmap);
    }
    return icon;
}
