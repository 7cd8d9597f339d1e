#include "RowTreeTestMain.h"

#include "CPaneSplitter.h"

#include <QTest>
#include <QWidget>
#include <memory>

class tst_CPaneSplitter : public QObject {
    Q_OBJECT

private:
    // A shown window holding a splitter of the given client size with two plain panes.
    struct Fixture {
        std::unique_ptr<QWidget> host;
        CPaneSplitter* splitter;
        QWidget* panes[2];
    };

    static Fixture Make(int orientation, QSize size, const std::vector<int>& weights)
    {
        Fixture f;
        f.host = std::make_unique<QWidget>();
        f.host->resize(size);
        f.splitter = new CPaneSplitter(2, orientation, 30, 1);
        f.splitter->Create(f.host.get(), CPaneSplitter::kFirstPaneId);
        f.splitter->setGeometry(QRect(QPoint(0, 0), size));
        f.splitter->SetProportions(weights);
        for (int i = 0; i < 2; ++i) {
            f.panes[i] = new QWidget;
            f.splitter->CreatePane(i, f.panes[i]);
        }
        return f;
    }

private slots:
    void constructorGivesEqualShares_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("shares");
        QTest::newRow("two") << 2 << QList<int>{16384, 16384};
        QTest::newRow("three, last takes remainder") << 3 << QList<int>{10923, 10923, 10922};
        QTest::newRow("fewer than two become two") << 1 << QList<int>{16384, 16384};
    }
    void constructorGivesEqualShares()
    {
        QFETCH(int, count);
        QFETCH(QList<int>, shares);
        CPaneSplitter splitter(count, CPaneSplitter::SideBySide, 30, 1);
        QCOMPARE(splitter.PaneCount(), int(shares.size()));
        for (int i = 0; i < shares.size(); ++i) {
            QCOMPARE(splitter.Proportion(i), shares[i]);
        }
    }

    void setProportionsRoundsWeights_data()
    {
        QTest::addColumn<QList<int>>("weights");
        QTest::addColumn<QList<int>>("shares");
        QTest::newRow("25/75") << QList<int>{25, 75} << QList<int>{8192, 24576};
        QTest::newRow("80/20") << QList<int>{80, 20} << QList<int>{26214, 6554};
        QTest::newRow("1/1/1") << QList<int>{1, 1, 1} << QList<int>{10923, 10923, 10922};
    }
    void setProportionsRoundsWeights()
    {
        QFETCH(QList<int>, weights);
        QFETCH(QList<int>, shares);
        CPaneSplitter splitter(int(weights.size()), CPaneSplitter::SideBySide, 30, 1);
        splitter.resize(1001, 400);
        splitter.SetProportions(std::vector<int>(weights.begin(), weights.end()));
        for (int i = 0; i < shares.size(); ++i) {
            QCOMPARE(splitter.Proportion(i), shares[i]);
        }
        int sum = 0;
        for (int share : splitter.Proportions()) {
            sum += share;
        }
        QCOMPARE(sum, CPaneSplitter::kShareUnit);
    }

    void setProportionsFromAnArray()
    {
        CPaneSplitter splitter(2, CPaneSplitter::Stacked, 30, 1);
        const int weights[] = {80, 20};
        splitter.SetProportions(weights);
        QCOMPARE(splitter.Proportion(0), 26214);
        splitter.SetProportions(static_cast<const int*>(nullptr));
        splitter.SetProportions(std::vector<int>{0, 0});   // no weight at all: left as it is
        splitter.SetProportions(std::vector<int>{1});      // too few: left as it is
        QCOMPARE(splitter.Proportion(1), 6554);
    }

    void sideBySidePositions()
    {
        Fixture f = Make(CPaneSplitter::SideBySide, QSize(1001, 400), {25, 75});
        QCOMPARE(f.splitter->Position(1), 251);
        QCOMPARE(f.splitter->BarRect(1), QRect(250, 0, 1, 400));
        QCOMPARE(f.panes[0]->geometry(), QRect(0, 0, 250, 400));
        QCOMPARE(f.panes[1]->geometry(), QRect(251, 0, 750, 400));
    }

    void stackedPositions()
    {
        Fixture f = Make(CPaneSplitter::Stacked, QSize(500, 600), {80, 20});
        // Available 599; 26214 of it rounds to 479.
        QCOMPARE(f.splitter->Position(1), 480);
        QCOMPARE(f.panes[0]->geometry(), QRect(0, 0, 500, 479));
        QCOMPARE(f.panes[1]->geometry(), QRect(0, 480, 500, 120));
    }

    void minimumIsKeptAndRemembered()
    {
        Fixture f = Make(CPaneSplitter::SideBySide, QSize(1001, 400), {25, 75});
        f.host->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.host.get()));
        f.splitter->resize(100, 400);
        QCOMPARE(f.panes[0]->width(), 30);
        QCOMPARE(f.panes[1]->geometry(), QRect(31, 0, 69, 400));
        QCOMPARE(f.splitter->Proportion(0), 9930);
        QCOMPARE(f.splitter->Proportion(0) + f.splitter->Proportion(1), CPaneSplitter::kShareUnit);

        // Widened again, the narrow pane keeps the share it was lifted to.
        f.splitter->resize(1001, 400);
        QCOMPARE(f.splitter->Proportion(0), 9930);
        QCOMPARE(f.panes[0]->width(), 303);
    }

    void minimumThatCannotFit()
    {
        CPaneSplitter splitter(2, CPaneSplitter::SideBySide, 30, 1);
        splitter.resize(50, 100);   // 49 pixels to share, 60 wanted
        QCOMPARE(splitter.Proportion(0), 20062);
        QCOMPARE(splitter.Proportion(1), CPaneSplitter::kShareUnit - 20062);
    }

    void zeroExtentKeepsShares()
    {
        CPaneSplitter splitter(2, CPaneSplitter::SideBySide, 30, 1);
        splitter.resize(1001, 100);
        splitter.SetProportions({25, 75});
        splitter.resize(0, 100);
        QCOMPARE(splitter.PaneRect(0).width(), 0);
        QCOMPARE(splitter.Proportion(0), 8192);
        splitter.resize(1001, 100);
        QCOMPARE(splitter.Position(1), 251);
    }

    void threePanesShareWhatTheMinimumLeaves()
    {
        CPaneSplitter splitter(3, CPaneSplitter::SideBySide, 30, 2);
        splitter.resize(204, 100);   // 200 to share; a tenth would be 20
        splitter.SetProportions({1, 5, 4});
        QCOMPARE(splitter.PaneRect(0).width(), 30);
        QCOMPARE(splitter.Proportion(0), 4915);
        // The other two keep their 5:4 ratio in what is left.
        QCOMPARE(splitter.Proportion(1), 15474);
        QCOMPARE(splitter.Proportion(2), 12379);
        QCOMPARE(splitter.PaneRect(1).width(), 94);
        QCOMPARE(splitter.PaneRect(2).width(), 76);
        QCOMPARE(splitter.PaneRect(2).right(), 203);
    }

    void dragStopsAtMinimumDistance_data()
    {
        QTest::addColumn<int>("releaseX");
        QTest::addColumn<int>("boundary");
        QTest::addColumn<int>("firstShare");
        QTest::newRow("towards the left edge") << 5 << 31 << 983;
        QTest::newRow("past the right edge") << 1500 << 971 << 31785;
        QTest::newRow("freely in between") << 101 << 102 << 3310;
        QTest::newRow("not moved") << 250 << 251 << 8192;
    }
    void dragStopsAtMinimumDistance()
    {
        QFETCH(int, releaseX);
        QFETCH(int, boundary);
        QFETCH(int, firstShare);
        Fixture f = Make(CPaneSplitter::SideBySide, QSize(1001, 400), {25, 75});
        f.host->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.host.get()));

        QTest::mousePress(f.splitter, Qt::LeftButton, Qt::NoModifier, QPoint(250, 200));
        QVERIFY(f.splitter->IsDragging());
        QCOMPARE(f.splitter->DragPosition(), 251);
        QTest::mouseMove(f.splitter, QPoint(releaseX, 200));
        QCOMPARE(f.splitter->DragPosition(), boundary);
        // The panes follow only at the release.
        QCOMPARE(f.panes[0]->width(), 250);
        QTest::mouseRelease(f.splitter, Qt::LeftButton, Qt::NoModifier, QPoint(releaseX, 200));
        QVERIFY(!f.splitter->IsDragging());

        QCOMPARE(f.splitter->Position(1), boundary);
        QCOMPARE(f.panes[0]->geometry(), QRect(0, 0, boundary - 1, 400));
        QCOMPARE(f.panes[1]->geometry(), QRect(boundary, 0, 1001 - boundary, 400));
        QCOMPARE(f.splitter->Proportion(0), firstShare);
    }

    void dragWithNothingToShareIsIgnored()
    {
        auto host = std::make_unique<QWidget>();
        host->resize(200, 200);
        auto* splitter = new CPaneSplitter(2, CPaneSplitter::SideBySide, 30, 1);
        splitter->Create(host.get());
        splitter->setGeometry(0, 0, 1, 200);
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
        const std::vector<int> before = splitter->Proportions();
        QTest::mouseClick(splitter, Qt::LeftButton, Qt::NoModifier, QPoint(0, 10));
        QVERIFY(!splitter->IsDragging());
        QCOMPARE(splitter->Proportions(), before);
    }

    void setPaneAdoptsExistingChildOnly()
    {
        CPaneSplitter splitter(2, CPaneSplitter::SideBySide, 30, 1);
        splitter.resize(1001, 300);
        splitter.SetProportions({25, 75});
        QWidget stranger;
        QCOMPARE(splitter.SetPane(1, &stranger), 0);
        auto* inner = new CPaneSplitter(2, CPaneSplitter::Stacked, 30, 1);
        inner->Create(&splitter);
        QCOMPARE(splitter.SetPane(1, inner), 1);
        QCOMPARE(inner->geometry(), QRect(251, 0, 750, 300));
        QCOMPARE(splitter.CreatePane(2, new QWidget(&splitter)), 0);
        QCOMPARE(splitter.Pane(1), static_cast<QWidget*>(inner));
    }
};

ROWTREE_TEST_CLASS(tst_CPaneSplitter);
#include "tst_CPaneSplitter.moc"
