#include "RowTreeTestMain.h"
#include "RowTreeFixture.h"

#include <QImage>

using namespace RowTreeMetrics;

// Pixel checks on the grabbed row list.
class tst_CRowTreePaint : public QObject {
    Q_OBJECT

private:
    static QImage Grab(RowTreeFixture& f) { return f.List()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // The darkest pixel of r, by lightness.
    static QColor Darkest(const QImage& image, const QRect& r)
    {
        QColor darkest = Qt::white;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.lightness() < darkest.lightness()) {
                    darkest = c;
                }
            }
        }
        return darkest;
    }

    static int CountOf(const QImage& image, const QRect& r, const QColor& colour)
    {
        int count = 0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                count += image.pixelColor(x, y) == colour;
            }
        }
        return count;
    }

private slots:
    void headingIsFilledWithItsColour()
    {
        RowTreeFixture f;
        CRowTreeItem* heading = f.Heading("System");
        heading->SetHeadingColor(ColorRef(0x00FFC8C8));
        CRowTreeItem* group = f.Heading("Program1 - Video");
        group->SetHeadingColor(ColorRef(0x00DCDCDC));
        QVERIFY(f.Show());
        const QImage image = Grab(f);
        QCOMPARE(image.pixelColor(250, 10), QColor(200, 200, 255));
        QCOMPARE(image.pixelColor(20, 31), QColor(220, 220, 220));
        // The heading's label is bold text on that fill, inside the label cell.
        QVERIFY(Darkest(image, RectFromEdges(21, 0, 120, 20)).lightness() < 100);
    }

    void headingsWithoutTheirColoursOption()
    {
        RowTreeFixture f(QSize(300, 400), 0);
        CRowTreeItem* heading = f.Heading("System");
        heading->SetHeadingColor(ColorRef(0x00FFC8C8));
        QVERIFY(f.Show());
        QVERIFY(Grab(f).pixelColor(250, 10) != QColor(200, 200, 255));
    }

    void readOnlyValueIsGrey()
    {
        RowTreeFixture f;
        CRowTreeItem* heading = f.Heading("System");
        CRowIPAddress* fixed = f.Address(heading, "IP Address", 10002);
        fixed->SetAddress(0xC0A8010A);
        fixed->SetReadOnly(true);
        fixed->SetBackColor(ColorRef(0x00F0F0F0));
        CRowIPAddress* open = f.Address(heading, "TS-->IP Address", 10011);
        open->SetAddress(0xC0A8010A);
        QVERIFY(f.Show());
        const QImage image = Grab(f);
        // The palette's grey for disabled text, deepened until it reads on the row's own
        // background.
        const QColor grey = fixed->ShownValueColor();
        QVERIFY(grey.lightness() >= 60 &&
                grey.lightness() <= QApplication::palette().color(QPalette::Disabled, QPalette::Text).lightness());
        const QRect fixedCell = fixed->GetValueRect().adjusted(0, 0, -2, -1);
        const QRect openCell = open->GetValueRect().adjusted(0, 0, -2, -1);
        // Text is drawn in both, black in one and grey in the other.
        QVERIFY(Darkest(image, openCell).lightness() < 60);
        const QColor darkest = Darkest(image, fixedCell);
        QVERIFY(darkest.lightness() < 240);
        QVERIFY2(qAbs(darkest.lightness() - grey.lightness()) <= 12,
                 qPrintable(QString("darkest %1, grey %2").arg(darkest.name(), grey.name())));
        // The value background of the read-only row.
        QCOMPARE(image.pixelColor(RightEdge(fixedCell) - 1, fixedCell.top() + 1), QColor(240, 240, 240));
        QCOMPARE(image.pixelColor(RightEdge(openCell) - 1, openCell.top() + 1),
                 QApplication::palette().color(QPalette::Base));
    }

    void longLabelIsTruncated()
    {
        RowTreeFixture f;
        CRowTreeItem* heading = f.Heading("H");
        CRowStatic* row = f.Static(heading, "A label far too long for the label cell to hold", "v");
        QVERIFY(f.Show());
        const QImage image = Grab(f);
        const QRect box = row->GetLabelTextBox();
        const int divider = f.tree->GetDividerPos();
        QVERIFY(RightEdge(box) + 1 <= divider);
        // The text ends in the dots of the ellipsis: dark pixels in its last few columns,
        // none between it and the divider.
        const int top = row->GetY();
        QVERIFY(Darkest(image, RectFromEdges(RightEdge(box) - 6, top + 2, RightEdge(box), top + 19)).lightness() < 160);
        QCOMPARE(CountOf(image, RectFromEdges(RightEdge(box) + 1, top + 1, divider - 1, top + 19), QColor(Qt::black)),
                 0);
        const QFontMetrics metrics(CRowTree::NormalFont());
        const QString shown = TruncateLabel(row->GetLabelText(), metrics, divider - 21);
        QVERIFY(shown.endsWith("..."));
        QCOMPARE(box.width(), metrics.size(Qt::TextSingleLine, shown).width());
    }

    void selectedLabelIsHighlighted()
    {
        RowTreeFixture f;
        CRowTreeItem* heading = f.Heading("H");
        CRowStatic* row = f.Static(heading, "Row", "v");
        QVERIFY(f.Show());
        f.tree->SetFocusedItem(row);
        row->Select(true);
        f.tree->Repaint();
        const QImage image = Grab(f);
        const QColor highlight = QApplication::palette().color(QPalette::Highlight);
        QCOMPARE(image.pixelColor(100, 30), highlight);
        // A lower row is highlighted only inside its label cell.
        QVERIFY(image.pixelColor(200, 30) != highlight);
    }

    void expandBoxShowsPlusWhenCollapsed()
    {
        RowTreeFixture f;
        CRowTreeItem* heading = f.Heading("H");
        f.Static(heading, "Row");
        QVERIFY(f.Show());
        const QColor pen = QApplication::palette().color(QPalette::WindowText);
        QCOMPARE(Grab(f).pixelColor(8, 9), pen);   // the minus line
        QCOMPARE(Grab(f).pixelColor(8, 7), QApplication::palette().color(QPalette::Button));
        heading->Expand(false);
        f.tree->Refresh();
        QCOMPARE(Grab(f).pixelColor(8, 7), pen);   // the plus's vertical stroke
    }
};

ROWTREE_TEST_CLASS(tst_CRowTreePaint);
#include "tst_CRowTreePaint.moc"
