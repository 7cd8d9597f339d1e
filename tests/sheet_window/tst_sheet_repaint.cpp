// The settings sheet repaints what a refresh changed and nothing else, and what the
// screen then shows is exactly what a repaint of everything would show.

#include <QApplication>
#include <QPaintEvent>
#include <QScreen>
#include <QWindow>
#include <QtTest>
#include <cstring>
#include <functional>

#include "CSettingsSheet.h"

namespace {

using Change = std::function<void(EncoderRecord&)>;

// Collects the areas each column's list was asked to paint.
class PaintRecorder : public QObject {
public:
    QRegion painted;
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
            ++paints;
        }
        return false;
    }
};

EncoderRecord SampleRecord()
{
    EncoderRecord record{};
    record.ipAddr = 0x0A000001;
    record.program_info1.video.pid = 256;
    record.program_info2.video.pid = 512;
    std::strcpy(record.program_info1.progName, "News");
    std::strcpy(record.program_info2.progName, "Sport");
    return record;
}

// Every pending paint is done: the backing store holds what the screen would show.
void FlushPaints(QWidget& widget)
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    widget.repaint(QRect());   // an empty repaint: only what is already pending is painted
}

}   // namespace

Q_DECLARE_METATYPE(Change)

class tst_SheetRepaint : public QObject {
    Q_OBJECT

private slots:
    void repaintsOnlyWhatChanged_data();
    void repaintsOnlyWhatChanged();
};

void tst_SheetRepaint::repaintsOnlyWhatChanged_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<int>("paintedColumns");   // how many of the two columns repaint at all

    QTest::newRow("the same record again") << Change([](EncoderRecord&) {}) << 0;
    QTest::newRow("one name") << Change([](EncoderRecord& r) { std::strcpy(r.program_info1.progName, "Films"); }) << 1;
    QTest::newRow("one number") << Change([](EncoderRecord& r) { r.program_info2.video.pid = 600; }) << 1;
    QTest::newRow("both programs") << Change([](EncoderRecord& r) {
        r.program_info1.video.pid = 300;
        std::strcpy(r.program_info2.progName, "Kids");
    }) << 2;
}

void tst_SheetRepaint::repaintsOnlyWhatChanged()
{
    QFETCH(Change, change);
    QFETCH(int, paintedColumns);
    CSettingsSheet sheet(nullptr, [](int) {});
    sheet.resize(900, 1400);   // every row on screen
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    EncoderRecord record = SampleRecord();
    sheet.Refresh(&record);
    FlushPaints(sheet);

    PaintRecorder recorders[2];
    CRowTree* columns[2] = {sheet.LeftColumn(), sheet.RightColumn()};
    for (int i = 0; i < 2; ++i) columns[i]->GetList()->installEventFilter(&recorders[i]);
    change(record);
    sheet.Refresh(&record);
    FlushPaints(sheet);

    int painted = 0;
    for (int i = 0; i < 2; ++i) {
        columns[i]->GetList()->removeEventFilter(&recorders[i]);
        if (recorders[i].paints == 0) continue;
        ++painted;
        // A changed value repaints its row's band, far less than the whole list.
        const QRect client = columns[i]->GetList()->ClientRect();
        QVERIFY2(recorders[i].painted.boundingRect().height() * 4 < client.height(),
                 qPrintable(QStringLiteral("column %1 painted %2 of %3 pixels' height")
                                .arg(i)
                                .arg(recorders[i].painted.boundingRect().height())
                                .arg(client.height())));
    }
    QCOMPARE(painted, paintedColumns);

    // What the partial repaint left on screen is what a whole repaint shows.
    QScreen* screen = sheet.windowHandle()->screen();
    const QImage partial = screen->grabWindow(sheet.winId()).toImage();
    if (partial.isNull()) QSKIP("this platform cannot grab a window's backing store");
    for (CRowTree* column : columns) column->GetList()->repaint();
    const QImage whole = screen->grabWindow(sheet.winId()).toImage();
    QCOMPARE(partial.size(), whole.size());
    QVERIFY(partial == whole);
}

QTEST_MAIN(tst_SheetRepaint)
#include "tst_sheet_repaint.moc"
