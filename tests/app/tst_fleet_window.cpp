// The window with a head end's worth of encoders listed: ten thousand restored at start,
// selected, sorted, filtered, and deleted while another encoder's exchange runs. No case
// is timed; each checks what the operator would see.

#include <QAction>
#include <QHeaderView>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "AppIds.h"
#include "CDeviceTree.h"
#include "CMainFrame.h"
#include "CSafeEdits.h"
#include "LinkProtocol.h"
#include "RecordingPrompter.h"
#include "FrameTest.h"
#include "StandInEncoder.h"
#include "TextConversions.h"

namespace {

constexpr int kFleet = 10000;

// 127.1.0.0 onwards: nothing there answers, and nothing here sends to them unless told.
QStringList FleetAddresses()
{
    QStringList texts;
    for (int i = 0; i < kFleet; ++i) texts << QStringLiteral("127.1.%1.%2").arg(i / 256).arg(i % 256);
    return texts;
}

}   // namespace

class tst_FleetWindow : public FrameTest {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void restoresTenThousandInOneBatch();
    void selectAllSortAndFilterByTyping();
    void deleteASelectionWhileAnotherReads();

private:
    CDeviceTree* Tree() const { return m_frame->DeviceTree(); }
    void Open();
};

void tst_FleetWindow::initTestCase()
{
    QVERIFY(KeepSettings(QStringLiteral("tst_fleet_window")));
}

void tst_FleetWindow::init()
{
    QVERIFY2(StartCase(), StartError());
}

void tst_FleetWindow::cleanup()
{
    FinishCase();
    QCOMPARE(LiveEncoderRecords(), 0);
}

void tst_FleetWindow::Open()
{
    m_frame = new CMainFrame(*m_prompter, m_sim->Link());
    m_frame->RestoreSettings();
    QVERIFY(ShowWindow(m_frame, QSize(1001, 700)));
}

void tst_FleetWindow::restoresTenThousandInOneBatch()
{
    const QStringList book = FleetAddresses();
    QSettings().setValue(kAddressBookKey, book);
    m_frame = new CMainFrame(*m_prompter, m_sim->Link());
    QSignalSpy inserted(&Tree()->Model(), &QAbstractItemModel::rowsInserted);
    m_frame->RestoreSettings();
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(Tree()->ItemCount(), kFleet);
    QCOMPARE(LiveEncoderRecords(), kFleet);
    QCOMPARE(Tree()->ItemText(Tree()->ItemAt(0), kColumnAddress), book.first());
    QCOMPARE(Tree()->ItemText(Tree()->ItemAt(kFleet - 1), kColumnAddress), book.last());
    QCOMPARE(Tree()->ItemImage(Tree()->ItemAt(kFleet - 1)), IMAGE_OFFLINE);
    // The batch counts the edits of its never-read encoders once for all: each row still
    // shows its own encoder's count.
    for (int row = 0; row < kFleet; row += 997) {
        const EncoderRecord* item = Tree()->ItemAt(row);
        QCOMPARE(Tree()->ItemText(item, kColumnPending),
                 QString::number(m_frame->SafeEdits().PendingEdits(item->ipAddr)));
    }
    QVERIFY(!m_frame->InExchange());
    QCOMPARE(m_frame->FindEncoderItem(QStringLiteral("127.1.39.15")), Tree()->ItemAt(39 * 256 + 15));
    QVERIFY(!m_frame->FindEncoderItem(QStringLiteral("127.1.39.16 ")));
    QCOMPARE(QSettings().value(kAddressBookKey).toStringList(), book);
}

void tst_FleetWindow::selectAllSortAndFilterByTyping()
{
    Open();
    m_frame->Roster().AddEncoders(FleetAddresses());
    Tree()->setFocus();
    QTest::keyClick(Tree(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(Tree()->SelectedEncoderItems().size(), kFleet);
    QTRY_VERIFY(m_frame->CommandAction(ID_READ_CONFIGURATION)->isEnabled());
    QVERIFY(m_frame->CommandAction(ID_DEL_ENCODER)->isEnabled());

    // Descending by address: the last address comes first, and the selection stays whole.
    emit Tree()->header()->sectionClicked(kColumnAddress);
    emit Tree()->header()->sectionClicked(kColumnAddress);
    QCOMPARE(Tree()->ItemText(Tree()->ItemAt(0), kColumnAddress), FleetAddresses().last());
    QCOMPARE(Tree()->SelectedEncoderItems().size(), kFleet);
    QCOMPARE(Tree()->SelectedEncoderItems().first(), m_frame->FindEncoderItem(FleetAddresses().first()));

    // Typing narrows the list to the addresses that contain what was typed.
    QTest::keyClicks(Tree(), QStringLiteral("127.1.38."));
    QCOMPARE(Tree()->FilterText(), QStringLiteral("127.1.38."));
    QCOMPARE(Tree()->ItemCount(), 256);
    QTest::keyClicks(Tree(), QStringLiteral("25"));
    QCOMPARE(Tree()->ItemCount(), 7);   // .25 and .250 to .255
    QTest::keyClick(Tree(), Qt::Key_Backspace);
    QTest::keyClick(Tree(), Qt::Key_Backspace);
    QCOMPARE(Tree()->ItemCount(), 256);
    for (int i = 0; i < 9; ++i) QTest::keyClick(Tree(), Qt::Key_Backspace);
    QCOMPARE(Tree()->ItemCount(), kFleet);

    // Scrolling to the end of the list and back.
    Tree()->scrollToBottom();
    QCOMPARE(Tree()->indexAt(Tree()->viewport()->rect().topLeft() + QPoint(2, 2)).isValid(), true);
    Tree()->scrollToTop();
    QCOMPARE(Tree()->indexAt(QPoint(2, 2)).row(), 0);
}

// The encoder reading is not selected; Del takes the ten thousand others in one go, the
// read ends normally, and the address book is written once with what is left.
void tst_FleetWindow::deleteASelectionWhileAnotherReads()
{
    Open();
    EncoderRecord* reading = m_frame->AddEncoder(QString::fromStdString(FormatDotted(m_sim->Address())));
    Tree()->SelectOnly(reading);
    m_frame->CommandAction(ID_READ_CONFIGURATION)->trigger();
    QVERIFY(m_frame->InFlight(reading->ipAddr));
    m_frame->Roster().AddEncoders(FleetAddresses());
    QCOMPARE(Tree()->ItemCount(), kFleet + 1);

    QItemSelection others(Tree()->model()->index(1, 0), Tree()->model()->index(kFleet, kDeviceColumnCount - 1));
    Tree()->selectionModel()->select(others, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QCOMPARE(Tree()->SelectedEncoderItems().size(), kFleet);
    QVERIFY(Tree()->SelectionIdle());
    QSignalSpy removed(&Tree()->Model(), &QAbstractItemModel::rowsRemoved);
    Tree()->setFocus();
    QTest::keyClick(Tree(), Qt::Key_Delete);
    QCOMPARE(removed.count(), 1);   // one run of rows
    QCOMPARE(Tree()->ItemCount(), 1);
    QCOMPARE(LiveEncoderRecords(), 1);
    QCOMPARE(Tree()->ItemAt(0), reading);
    QCOMPARE(QSettings().value(kAddressBookKey).toStringList(), QStringList(QStringLiteral("127.0.0.1")));

    QTRY_VERIFY(!m_frame->InExchange());
    QVERIFY(reading->loaded);
    QCOMPARE(Tree()->ItemText(reading, kColumnState), QStringLiteral("online"));
}

QTEST_MAIN(tst_FleetWindow)
#include "tst_fleet_window.moc"
