#pragma once

#include <QColor>
#include <QLine>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <vector>

class QFontMetrics;

// Option bits of a CRowTree, given to CRowTree::Create.
constexpr uint32_t RTS_INFOPANE = 0x01;          // show the description pane
constexpr uint32_t RTS_NOTIFY = 0x02;            // reserved; the control tells its parent nothing
constexpr uint32_t RTS_DEFAULTINFOTEXT = 0x04;   // pane text while no row is focused
constexpr uint32_t RTS_SHADEMARGIN = 0x08;       // expander margin in the button-face colour
constexpr uint32_t RTS_HEADINGCOLORS = 0x10;     // headings filled with their own colour

// The child ID of a window that nobody looks up by its ID.
constexpr int kUnaddressedId = 0xFFFF;

// Options of CRowEdit::CreateEditItem.
constexpr uint32_t REO_NUMBER = 0x200;   // digits only

// A colour as the settings tables give it: 0x00BBGGRR (red in the lowest byte).
using ColorRef = uint32_t;

inline QColor ColorFromRef(ColorRef color)
{
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

inline ColorRef RefFromColor(const QColor& color)
{
    return ColorRef(color.red()) | (ColorRef(color.green()) << 8) | (ColorRef(color.blue()) << 16);
}

// Where a point of the row list falls (CRowTree::HitTest).
enum HitArea {
    HitLabel = 2024,
    HitDivider = 2025,
    HitExpandBox = 2026,
    HitValue = 2027,
    HitNowhere = 2028,
};

// Scroll requests of CRowTreeList::ScrollTo. ThumbTrack (and any other request) leaves
// the position as it is: the rows do not follow the thumb while it is dragged.
enum class RowScroll { LineUp, LineDown, PageUp, PageDown, ThumbPosition, ThumbTrack };

// Fixed geometry of the row tree, in pixels.
namespace RowTreeMetrics {
constexpr int kRowHeight = 21;
constexpr int kMargin = 16;        // expander margin; its edge line is at x = 16
constexpr int kIndent = 16;        // per level below the headings' children
constexpr int kLabelInset = 5;     // label text right of the label cell's left
constexpr int kValueGap = 5;       // value cell starts at divider + 5
constexpr int kGrabZone = 5;       // divider +- 5 grabs it
constexpr int kDividerEdge = 16;   // the divider stays 16 from either side
constexpr int kDividerDefault = 150;
constexpr int kDragMinimum = 41;        // a dragged divider is released at 41 or more
constexpr int kDragRightReserve = 25;   // ... and at client right - 25 or less
constexpr int kAutoSizeMargin = 5;      // double-click: widest label + 5
constexpr int kDragBarWidth = 4;
constexpr int kLineScroll = 21;
constexpr int kEdgeInset = 2;   // the row area lies 2 pixels inside the edge
constexpr int kExpandBoxLeft = 4;
constexpr int kExpandBoxTop = 5;      // below the row's top
constexpr int kExpandBoxHit = 8;      // hit area 8 x 8 ...
constexpr int kExpandBoxDrawn = 9;    // ... drawn 9 x 9
constexpr int kExpandSignInset = 2;   // the minus and plus strokes stop 2 inside the box
constexpr int kStripeWidth = 3;       // an emphasised row's stripe at the label cell's left
constexpr int kLineWidth = 1;         // grid lines, the margin edge and the divider
constexpr int kHeadingOverhang = 1;   // a heading's fill runs one pixel past the client width
constexpr int kLabelReserve = 1;      // a label fits when it leaves this much of its cell free
constexpr int kInfoPaneHeight = 50;
constexpr int kInfoTextInset = 4;   // description text inside the pane's edge
constexpr int kComboDropHeight = 100;
}   // namespace RowTreeMetrics

// A rectangle given by its edges, right and bottom exclusive.
inline QRect RectFromEdges(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left, bottom - top);
}

// The exclusive right edge of r (QRect::right() is the last pixel inside).
inline int RightEdge(const QRect& r)
{
    return r.x() + r.width();
}

// The divider position x kept at least 16 from both sides of a control clientWidth wide;
// in a control whose client area is empty only the left limit applies.
int ClampDivider(int x, int clientWidth, bool clientAreaEmpty);

// One row as the layout sees it. Rows are given in pre-order (every row followed by its
// descendants), the root left out; level 0 is a heading, 1 a heading's child, and so on.
struct RowShape {
    int level = 0;
    int height = RowTreeMetrics::kRowHeight;
    bool hasChildren = false;
    bool expanded = false;
};

// What the layout needs of the row list besides the rows.
struct RowLayoutFrame {
    int clientWidth = 0;
    int clientHeight = 0;
    int divider = RowTreeMetrics::kDividerDefault;
    int scroll = 0;
};

// Where the parts of one shown row lie. `y`, `expandHit` are content coordinates (the
// scroll not applied); everything else is in row-list client coordinates.
struct RowBoxes {
    int shape = -1;   // index of the row among the shapes given
    int x = 0;        // indent
    int y = 0;        // top of the row in the content
    int top = 0;      // top of the row on screen
    int height = 0;
    bool heading = false;
    QRect fill;          // a heading's colour, or a row's value background
    QRect label;         // the label cell; a row's label is clipped to it
    QRect text;          // where the label text is drawn
    QRect highlight;     // the selection highlight behind the label
    QRect value;         // the value cell; editors are placed on it
    QRect expandHit;     // empty for a row without children
    QRect expandBox;     // the drawn box, empty without children
    QLine minus;         // the box's horizontal stroke
    QLine plus;          // its vertical stroke, null unless the row is collapsed
    QRect bottomLine;    // the grid line under the row
    QRect topLine;       // a heading's line above it; empty for other rows
    QRect dividerLine;   // the divider beside a row's value; empty for headings
};

// Every row reachable through expanded rows, in display order, however far outside the
// visible area: the paint clips, hit testing and focus movement walk the same list.
struct RowLayout {
    RowLayoutFrame frame;
    std::vector<RowBoxes> rows;
    QRect marginLine;   // the expander margin's edge, over the full client height
    int contentHeight = 0;
};

RowLayout LayOutRows(const std::vector<RowShape>& shapes, const RowLayoutFrame& frame);

// What lies under point (row-list client coordinates): the area, and the index into
// layout.rows of the row there (-1 for none).
struct RowHit {
    HitArea area = HitNowhere;
    int row = -1;
};
RowHit HitTestLayout(const RowLayout& layout, const QPoint& point);

// The label as it fits into availableWidth: whole when it fits with 1 pixel to spare,
// otherwise its longest prefix (one character at least) followed by "...".
QString TruncateLabel(const QString& label, const QFontMetrics& metrics, int availableWidth);
