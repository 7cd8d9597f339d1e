#pragma once

#include <QWidget>

class QPainter;

// How a drag bar is put on what lies beneath it.
enum class DragBarStyle {
    Opaque,      // a dark and light checker, for a bar of its own above other windows
    Inverting,   // the checker inverts the pixels beneath, for a bar drawn into a paint
};

// The checkerboard bar that shows where a dragged divider will land: one-pixel squares of
// dark and light, so that it stays visible on any colour. The checker starts at the bar's
// top-left corner. Every drag in the tool (the pane splitter's bars, the sheet's column
// divider, the row tree's label divider) shows this bar.
void PaintDragBar(QPainter& painter, const QRect& bar, DragBarStyle style);

// A drag bar as a window of its own, for dividers whose bar lies above child windows
// (panes, row trees) that a paint of the parent cannot reach. It lets the mouse through.
class CDragBar : public QWidget {
    Q_OBJECT
public:
    explicit CDragBar(QWidget* parent);
    // Puts the bar on rect (parent coordinates), above its siblings, and shows it.
    void ShowAt(const QRect& rect);

protected:
    void paintEvent(QPaintEvent* event) override;
};
