#include "CDragBar.h"

#include <QPainter>

void PaintDragBar(QPainter& painter, const QRect& bar, DragBarStyle style)
{
    painter.save();
    painter.setBrushOrigin(bar.topLeft());
    if (style == DragBarStyle::Inverting) {
        // Painting it twice at the same place gives back what was there.
        painter.setCompositionMode(QPainter::CompositionMode_Difference);
        painter.fillRect(bar, QBrush(Qt::white, Qt::Dense4Pattern));
    } else {
        painter.fillRect(bar, Qt::white);
        painter.fillRect(bar, QBrush(Qt::black, Qt::Dense4Pattern));
    }
    painter.restore();
}

CDragBar::CDragBar(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
}

void CDragBar::ShowAt(const QRect& rect)
{
    setGeometry(rect);
    raise();
    show();
}

void CDragBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintDragBar(painter, rect(), DragBarStyle::Opaque);
}
