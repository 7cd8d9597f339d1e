#include "RowTreeTestMain.h"
#include "RowTreeGeometry.h"

#include <QTest>

using namespace RowTreeMetrics;

Q_DECLARE_METATYPE(HitArea)

namespace {

// A heading with a row that has a child of its own, then a collapsed heading whose row is
// not shown: the shapes in pre-order, as a tree gives them to the layout.
std::vector<RowShape> SampleShapes()
{
    return {
        {0, kRowHeight, true, true},     // 0: heading, expanded
        {1, kRowHeight, true, true},     // 1: its row, expanded, with a child
        {2, kRowHeight, false, false},   // 2: the child, one indent in
        {0, kRowHeight, true, false},    // 3: heading, collapsed
        {1, kRowHeight, false, false},   // 4: hidden under it
    };
}

const RowLayoutFrame kFrame{300, 400, 150, 0};

}   // namespace

// The row geometry as a function of plain data: no widget, no painter.
class tst_RowTreeGeometry : public QObject {
    Q_OBJECT

private slots:
    void shownRowsSkipCollapsedSubtrees()
    {
        const RowLayout layout = LayOutRows(SampleShapes(), kFrame);
        std::vector<int> shapes;
        std::vector<int> tops;
        for (const RowBoxes& row : layout.rows) {
            shapes.push_back(row.shape);
            tops.push_back(row.y);
        }
        QCOMPARE(shapes, std::vector<int>({0, 1, 2, 3}));
        QCOMPARE(tops, std::vector<int>({0, 21, 42, 63}));
        QCOMPARE(layout.contentHeight, 84);
        QCOMPARE(layout.marginLine, QRect(16, 0, 1, 400));
        QVERIFY(LayOutRows({}, kFrame).rows.empty());
    }

    void rowBoxes_data()
    {
        QTest::addColumn<int>("scroll");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("indent");
        QTest::addColumn<QRect>("label");
        QTest::addColumn<QRect>("value");
        QTest::addColumn<QRect>("fill");
        QTest::addColumn<QRect>("expandHit");

        // A heading's label and fill run the full width (its fill one pixel beyond it).
        QTest::newRow("heading") << 0 << 0 << 0 << QRect(16, 0, 284, 21) << QRect(155, 0, 145, 20)
                                 << QRect(16, 0, 301, 21) << QRect(4, 5, 8, 8);
        // A heading's row shares its indent; its label ends at the divider, its value
        // background starts there and keeps off the right edge.
        QTest::newRow("heading's row") << 0 << 1 << 0 << QRect(16, 21, 134, 21) << QRect(155, 21, 145, 20)
                                       << QRect(150, 21, 148, 20) << QRect(4, 26, 8, 8);
        QTest::newRow("one level deeper")
            << 0 << 2 << 16 << QRect(32, 42, 118, 21) << QRect(155, 42, 145, 20) << QRect(150, 42, 148, 20) << QRect();
        // Scrolled: screen boxes move up, the expand box's hit area stays in the content.
        QTest::newRow("scrolled heading") << 30 << 3 << 0 << QRect(16, 33, 284, 21) << QRect(155, 33, 145, 20)
                                          << QRect(16, 33, 301, 21) << QRect(4, 68, 8, 8);
    }

    void rowBoxes()
    {
        QFETCH(int, scroll);
        QFETCH(int, row);
        QFETCH(int, indent);
        QFETCH(QRect, label);
        QFETCH(QRect, value);
        QFETCH(QRect, fill);
        QFETCH(QRect, expandHit);
        RowLayoutFrame frame = kFrame;
        frame.scroll = scroll;
        const RowBoxes boxes = LayOutRows(SampleShapes(), frame).rows.at(static_cast<size_t>(row));
        QCOMPARE(boxes.x, indent);
        QCOMPARE(boxes.top, boxes.y - scroll);
        QCOMPARE(boxes.label, label);
        QCOMPARE(boxes.text, label.adjusted(5, 0, 0, 0));
        QCOMPARE(boxes.value, value);
        QCOMPARE(boxes.fill, fill);
        QCOMPARE(boxes.expandHit, expandHit);
        QCOMPARE(boxes.highlight, QRect(16, label.top(), RightEdge(label) + 5 - 16, 21));
        QCOMPARE(boxes.bottomLine, QRect(16, label.top() + 20, 300, 1));
        if (boxes.heading) {
            QCOMPARE(boxes.topLine, QRect(16, label.top() - 1, 300, 1));
            QVERIFY(boxes.dividerLine.isEmpty());
        } else {
            QVERIFY(boxes.topLine.isEmpty());
            QCOMPARE(boxes.dividerLine, QRect(150, label.top(), 1, 21));
        }
    }

    // The box is drawn 9 x 9 at (4, top + 5) with a minus across its middle; a collapsed
    // row adds the vertical stroke that makes it a plus.
    void expandBoxStrokes()
    {
        const RowLayout layout = LayOutRows(SampleShapes(), RowLayoutFrame{300, 400, 150, 10});
        const RowBoxes& expanded = layout.rows[0];
        QCOMPARE(expanded.expandBox, QRect(4, -5, 9, 9));
        QCOMPARE(expanded.minus, QLine(6, -1, 10, -1));
        QVERIFY(expanded.plus.isNull());
        const RowBoxes& collapsed = layout.rows[3];
        QCOMPARE(collapsed.minus, QLine(6, 62, 10, 62));
        QCOMPARE(collapsed.plus, QLine(8, 60, 8, 64));
        QVERIFY(layout.rows[2].expandBox.isEmpty());
    }

    void hitTest_data()
    {
        QTest::addColumn<int>("scroll");
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<HitArea>("area");
        QTest::addColumn<int>("row");

        QTest::newRow("below the last row") << 0 << QPoint(100, 84) << HitNowhere << -1;
        QTest::newRow("grab zone, left end") << 0 << QPoint(145, 30) << HitDivider << 1;
        QTest::newRow("grab zone, right end") << 0 << QPoint(155, 30) << HitDivider << 1;
        QTest::newRow("just left of it") << 0 << QPoint(144, 30) << HitLabel << 1;
        QTest::newRow("just right of it") << 0 << QPoint(156, 30) << HitValue << 1;
        QTest::newRow("a heading has no divider") << 0 << QPoint(150, 10) << HitLabel << 0;
        QTest::newRow("a heading's value side") << 0 << QPoint(156, 10) << HitValue << 0;
        QTest::newRow("expand box, top left") << 0 << QPoint(4, 5) << HitExpandBox << 0;
        QTest::newRow("expand box, bottom right") << 0 << QPoint(11, 12) << HitExpandBox << 0;
        QTest::newRow("right of the expand box") << 0 << QPoint(12, 12) << HitLabel << 0;
        QTest::newRow("no box without children") << 0 << QPoint(6, 48) << HitLabel << 2;
        QTest::newRow("scrolled onto the last row") << 30 << QPoint(6, 40) << HitExpandBox << 3;
        QTest::newRow("scrolled past the rows") << 30 << QPoint(6, 54) << HitNowhere << -1;
    }

    void hitTest()
    {
        QFETCH(int, scroll);
        QFETCH(QPoint, point);
        QFETCH(HitArea, area);
        QFETCH(int, row);
        RowLayoutFrame frame = kFrame;
        frame.scroll = scroll;
        const RowHit hit = HitTestLayout(LayOutRows(SampleShapes(), frame), point);
        QCOMPARE(hit.area, area);
        QCOMPARE(hit.row, row);
    }
};

ROWTREE_TEST_CLASS(tst_RowTreeGeometry);
#include "tst_RowTreeGeometry.moc"
