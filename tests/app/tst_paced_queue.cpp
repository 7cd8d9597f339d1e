// The window's paced queue: work from any thread runs on the window's thread in order,
// and a budget spent hands the event loop back before the rest is done.

#include <QtTest>
#include <thread>

#include "CPacedQueue.h"

class tst_PacedQueue : public QObject {
    Q_OBJECT

private slots:
    void workFromAnotherThreadRunsHereInOrder();
    void aSpentBudgetLetsTheEventLoopIn_data();
    void aSpentBudgetLetsTheEventLoopIn();
};

void tst_PacedQueue::workFromAnotherThreadRunsHereInOrder()
{
    CPacedQueue queue(20);
    QList<int> ran;
    QList<bool> onThisThread;
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i)
            queue.Post([&, i] {
                ran << i;
                onThisThread << (QThread::currentThread() == thread());
            });
    });
    worker.join();
    QTRY_COMPARE(ran.size(), 200);
    for (int i = 0; i < 200; ++i) QCOMPARE(ran[i], i);
    QVERIFY(!onThisThread.contains(false));
    QCOMPARE(queue.Queued(), size_t(0));
}

void tst_PacedQueue::aSpentBudgetLetsTheEventLoopIn_data()
{
    QTest::addColumn<int>("budgetMs");
    QTest::addColumn<bool>("markerAmongTheWork");
    QTest::newRow("budget spent by each piece") << 0 << true;
    QTest::newRow("budget for all") << 60000 << false;
}

// The first piece posts a marker to the event loop: it runs between the pieces only when
// the queue handed the loop back.
void tst_PacedQueue::aSpentBudgetLetsTheEventLoopIn()
{
    QFETCH(int, budgetMs);
    QFETCH(bool, markerAmongTheWork);
    CPacedQueue queue(budgetMs);
    QStringList ran;
    for (int i = 0; i < 5; ++i) {
        queue.Post([&, i] {
            ran << QString::number(i);
            if (i == 0)
                QMetaObject::invokeMethod(
                    this, [&] { ran << QStringLiteral("marker"); }, Qt::QueuedConnection);
        });
    }
    QTRY_COMPARE(ran.size(), 6);
    const int marker = int(ran.indexOf(QStringLiteral("marker")));
    QCOMPARE(marker < 5, markerAmongTheWork);
    ran.removeAll(QStringLiteral("marker"));
    QCOMPARE(ran, QStringList({"0", "1", "2", "3", "4"}));
}

QTEST_MAIN(tst_PacedQueue)
#include "tst_paced_queue.moc"
