#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

class CDragBar;

// Divides its area into a fixed number of panes, side by side or stacked, separated by
// bars the user drags. Pane sizes are kept as shares of 1/32768 of the available length,
// so the panes hold their shares when the splitter is resized; no pane is made smaller
// than the minimum size while the shares can still fit.
//
// The splitter does not follow its parent's size by itself: its owner keeps it sized
// (as a main window's central widget, in a layout, or as a pane of an outer splitter).
class CPaneSplitter : public QWidget {
    Q_OBJECT
public:
    enum Orientation { Stacked = 0, SideBySide = 1 };   // any value but 1 means stacked
    static constexpr int kShareUnit = 32768;
    static constexpr int kFirstPaneId = 0xE900;

    // paneCount is raised to 2 when lower; minimumSize and barWidth are in pixels.
    CPaneSplitter(int paneCount, int orientation, int minimumSize, int barWidth);
    ~CPaneSplitter() override;

    // Places the splitter over the parent's whole client area and shows it.
    int Create(QWidget* parent, int childId = kFirstPaneId);
    // Weights of any scale, one per pane; recomputes positions and moves the panes.
    void SetProportions(const std::vector<int>& weights);
    void SetProportions(const int* weights);   // PaneCount() weights
    // Adopts pane as pane 'index' (reparenting it to the splitter) and shows it on its
    // rectangle. Returns 0 for a bad index or no widget.
    int CreatePane(int index, QWidget* pane);
    // Records a widget that is already a child of the splitter as a pane and moves it.
    int SetPane(int index, QWidget* pane);
    void SetPaneFocus(int index);

    // Positions from the shares, enforcing the minimum by rewriting the shares.
    void RecalcLayout();
    void MovePanes();

    int PaneCount() const { return m_paneCount; }
    bool IsSideBySide() const { return m_orientation == SideBySide; }
    int MinimumPaneSize() const { return m_minimum; }
    int BarWidth() const { return m_barWidth; }
    int ChildId() const { return m_childId; }
    QWidget* Pane(int index) const;
    int Proportion(int index) const;
    const std::vector<int>& Proportions() const;
    // Start of pane 'index' along the splitting axis; index == PaneCount() gives the end.
    int Position(int index) const;
    QRect PaneRect(int index) const;
    QRect BarRect(int boundary) const;   // boundary 1 .. PaneCount() - 1
    int AvailableLength() const;         // extent less the bars
    bool IsDragging() const { return m_dragging; }
    int DragPosition() const { return m_dragPos; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // A hidden widget is resized without a resize event; the geometry queries catch up
    // with such a resize so that they always answer for the current size.
    void SyncExtent() const;
    int Extent() const;
    int AxisCoordinate(const QPoint& p) const;
    int ShareSize(int share, int available) const;
    void ShowDragBar();
    void HideDragBar();

    int m_paneCount;
    int m_orientation;
    int m_minimum;
    int m_barWidth;
    int m_dragIndex = 1;
    int m_dragPos = 0;
    int m_dragLength = 0;
    int m_dragOffset = 0;
    bool m_dragging = false;
    int m_childId = kFirstPaneId;
    std::vector<QPointer<QWidget>> m_panes;
    std::vector<int> m_proportions;
    std::vector<int> m_positions;
    CDragBar* m_dragBar = nullptr;
    QSize m_laidOutSize{-1, -1};
};
