// The encoders the window lists and their rows, on their own: no frame, no exchange, a
// plain main window with the device list and the activity log they need, and a set of busy
// encoders standing for the exchanges in flight.

#include <QMainWindow>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <set>

#include "../support/RecordingPrompter.h"
#include "../support/WindowTest.h"
#include "CActivityLog.h"
#include "CAddressBook.h"
#include "CDeviceTree.h"
#include "AppIds.h"
#include "CEncoderRoster.h"
#include "CEncoderRows.h"
#include "CExchangeController.h"
#include "FrameText.h"

class tst_EncoderRoster : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void ListsEachEncoderOnce_data();
    void ListsEachEncoderOnce();
    void DeletingLeavesBusyEncoders();
    void AddFleetCountsWhatIsNew_data();
    void AddFleetCountsWhatIsNew();
    void KeepsTheBookOnlyOnceRestored();
    void RestoresWhatTheBookHolds_data();
    void RestoresWhatTheBookHolds();
    void TakeDownFreesEveryRecord();
    void RowShowsItsEncoder_data();
    void RowShowsItsEncoder();
    void NewEncodersCountTheirEditsOnce();

private:
    QStringList ListedTexts() const;

    QTemporaryDir m_settingsDir;
    std::unique_ptr<QMainWindow> m_window;
    CDeviceTree* m_list = nullptr;
    CActivityLog* m_log = nullptr;
    RecordingPrompter m_prompter;
    std::set<uint32_t> m_busy;
    CEncoderRoster* m_roster = nullptr;
    CExchangeController* m_exchanges = nullptr;
    std::unique_ptr<CEncoderRows> m_rows;
    int m_edits = 0;        // what the edit count answers
    int m_editCounts = 0;   // how often it was asked
};

void tst_EncoderRoster::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    KeepSettingsIn(m_settingsDir.path(), QStringLiteral("tst_encoder_roster"));
}

void tst_EncoderRoster::init()
{
    QSettings().clear();
    m_busy.clear();
    m_prompter.boxes.clear();
    m_window = std::make_unique<QMainWindow>();
    m_list = new CDeviceTree;
    m_window->setCentralWidget(m_list);
    m_log = new CActivityLog(m_window.get());
    m_roster = new CEncoderRoster(*m_window, *m_list, *m_log, m_prompter,
                                  [this](uint32_t address) { return m_busy.count(address) != 0; });
    m_exchanges = new CExchangeController(m_roster->Encoders(), LinkOptions{}, std::string(), m_window.get());
    m_edits = 0;
    m_editCounts = 0;
    m_rows = std::make_unique<CEncoderRows>(*m_roster, *m_exchanges, *m_list, [this](uint32_t) {
        ++m_editCounts;
        return m_edits;
    });
    connect(m_roster, &CEncoderRoster::encodersListed, m_window.get(),
            [this](const std::vector<CEncoderRoster::Listed>& listed) { m_rows->ShowListed(listed); });
}

void tst_EncoderRoster::cleanup()
{
    m_rows.reset();
    m_roster->TakeDown();
    m_window.reset();
}

QStringList tst_EncoderRoster::ListedTexts() const
{
    QStringList texts;
    for (int row = 0; row < m_list->Model().rowCount(); ++row) texts << m_list->Model().TextAt(row);
    return texts;
}

// However an address is written or repeated, one encoder keeps one row and one record.
void tst_EncoderRoster::ListsEachEncoderOnce_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QList<bool>>("fresh");   // as encodersListed announces them

    QTest::newRow("one") << QStringList{"10.0.0.1"} << QStringList{"10.0.0.1"} << QList<bool>{true};
    QTest::newRow("two in their order") << QStringList{"10.0.0.2", "10.0.0.1"} << QStringList{"10.0.0.2", "10.0.0.1"}
                                        << QList<bool>{true, true};
    QTest::newRow("repeated") << QStringList{"10.0.0.1", "10.0.0.1"} << QStringList{"10.0.0.1"} << QList<bool>{true};
    // "010" is octal: the same encoder as "10.0.0.8", under the list's own text.
    QTest::newRow("another text of a listed address")
        << QStringList{"10.0.0.8", "10.0.0.010"} << QStringList{"10.0.0.8"} << QList<bool>{true};
    QTest::newRow("none") << QStringList{} << QStringList{} << QList<bool>{};
}

void tst_EncoderRoster::ListsEachEncoderOnce()
{
    QFETCH(QStringList, texts);
    QFETCH(QStringList, rows);
    QFETCH(QList<bool>, fresh);
    std::vector<CEncoderRoster::Listed> announced;
    connect(m_roster, &CEncoderRoster::encodersListed, this,
            [&announced](const std::vector<CEncoderRoster::Listed>& listed) { announced = listed; });

    const QList<EncoderRecord*> items = m_roster->AddEncoders(texts);

    QCOMPARE(ListedTexts(), rows);
    QCOMPARE(int(m_roster->Encoders().Size()), rows.size());
    QCOMPARE(items.size(), texts.size());
    for (int i = 0; i < texts.size(); ++i) {
        QVERIFY(items[i]);
        QCOMPARE(items[i], m_roster->ItemOf(InetAddrHostOrder(texts[i].toLatin1().constData())));
        QCOMPARE(&m_roster->Encoders().Find(items[i]->ipAddr)->record, items[i]);
    }
    QCOMPARE(int(announced.size()), fresh.size());
    for (size_t i = 0; i < announced.size(); ++i) QCOMPARE(announced[i].second, fresh[int(i)]);
    // Adding them again makes nothing new and answers the same records.
    QCOMPARE(m_roster->AddEncoders(texts), items);
    QCOMPARE(ListedTexts(), rows);
    for (const QString& row : rows) QVERIFY(m_roster->FindEncoderItem(row));
}

// A selection deleted while some of it is busy: those stay, with their records; each
// other encoder is announced leaving once, before its record goes.
void tst_EncoderRoster::DeletingLeavesBusyEncoders()
{
    const QList<EncoderRecord*> items = m_roster->AddEncoders({"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"});
    m_busy = {items[1]->ipAddr};
    std::vector<uint32_t> leaving;
    connect(m_roster, &CEncoderRoster::encoderLeaving, this, [this, &leaving](uint32_t address) {
        QVERIFY(m_roster->Encoders().Find(address));   // still there to be forgotten
        leaving.push_back(address);
    });
    QSignalSpy changed(m_roster, &CEncoderRoster::listChanged);
    const int live = LiveEncoderRecords();
    // The records of the deleted ones are gone afterwards: their addresses are taken now.
    const std::vector<uint32_t> deleted{items[0]->ipAddr, items[2]->ipAddr, items[3]->ipAddr};

    m_roster->DeleteEncoders(items);

    QCOMPARE(ListedTexts(), QStringList{"10.0.0.2"});
    QCOMPARE(m_roster->Encoders().Size(), size_t(1));
    QCOMPARE(leaving, deleted);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(LiveEncoderRecords(), live - 3);

    QVERIFY(!m_roster->DeleteEncoder(items[1]));
    QVERIFY(!m_roster->DeleteEncoder(nullptr));
    m_busy.clear();
    QVERIFY(m_roster->DeleteEncoder(items[1]));
    QCOMPARE(m_roster->Encoders().Size(), size_t(0));
    QCOMPARE(m_list->Model().rowCount(), 0);
}

void tst_EncoderRoster::AddFleetCountsWhatIsNew_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<int>("added");
    QTest::addColumn<QString>("note");

    QTest::newRow("all new") << QStringList{} << QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.3"} << 3
                             << "Added 3 encoders.";
    QTest::newRow("one listed") << QStringList{"10.0.0.2"} << QStringList{"10.0.0.1", "10.0.0.2"} << 1
                                << "Added 1 encoder (1 already listed).";
    QTest::newRow("all listed") << QStringList{"10.0.0.1", "10.0.0.2"} << QStringList{"10.0.0.2", "10.0.0.1"} << 0
                                << "Added 0 encoders (2 already listed).";
    // An address named twice is one encoder, added and counted once.
    QTest::newRow("named twice") << QStringList{"10.0.0.9"}
                                 << QStringList{"10.0.0.1", "10.0.0.1", "10.0.0.9", "10.0.0.9"} << 1
                                 << "Added 1 encoder (1 already listed).";
}

void tst_EncoderRoster::AddFleetCountsWhatIsNew()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, given);
    QFETCH(int, added);
    QFETCH(QString, note);
    m_roster->AddEncoders(before);
    std::vector<uint32_t> addresses;
    for (const QString& text : given) addresses.push_back(InetAddrHostOrder(text.toLatin1().constData()));
    QSignalSpy changed(m_roster, &CEncoderRoster::listChanged);

    QCOMPARE(m_roster->AddFleet(addresses), added);

    QCOMPARE(m_list->Model().rowCount(), before.size() + added);
    QCOMPARE(int(m_roster->Encoders().Size()), before.size() + added);
    QCOMPARE(m_window->statusBar()->currentMessage(), note);
    QCOMPARE(m_log->Entries().size(), size_t(1));
    QCOMPARE(m_log->Entries().front().text, note);
    QCOMPARE(changed.count(), 1);
    QVERIFY(m_prompter.boxes.empty());
}

// Nothing is kept before the book was read (a window made without its settings leaves
// them alone); once read, a batch is kept at once and a single addition when the thread
// is free again.
void tst_EncoderRoster::KeepsTheBookOnlyOnceRestored()
{
    QSettings().setValue(QString::fromLatin1(kAddressBookKey), QStringList{"10.0.0.5", "bogus"});
    m_roster->AddAndKeep({"10.0.0.1"});
    QCOMPARE(QSettings().value(QString::fromLatin1(kAddressBookKey)).toStringList(),
             (QStringList{"10.0.0.5", "bogus"}));
    QVERIFY(!m_roster->Persisting());

    m_roster->RestoreAddressBook();
    QCOMPARE(ListedTexts(), (QStringList{"10.0.0.1", "10.0.0.5"}));
    m_roster->AddAndKeep({"10.0.0.2"});
    QCOMPARE(QSettings().value(QString::fromLatin1(kAddressBookKey)).toStringList(),
             (QStringList{"10.0.0.1", "10.0.0.5", "10.0.0.2"}));
    m_roster->AddEncoder(QStringLiteral("10.0.0.3"));
    QTRY_COMPARE(QSettings().value(QString::fromLatin1(kAddressBookKey)).toStringList().size(), 4);
    m_roster->KeepChanges();
    QVERIFY(m_roster->Persisting());
}

// A book edited by hand or by an older tool: each address comes back written as the list
// writes it, whatever is not an address is left out.
void tst_EncoderRoster::RestoresWhatTheBookHolds_data()
{
    QTest::addColumn<QStringList>("book");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("as the list wrote it") << QStringList{"10.0.0.5", "10.0.1.6"} << QStringList{"10.0.0.5", "10.0.1.6"};
    QTest::newRow("spaces and leading zeros")
        << QStringList{" 10.0.0.7 ", "010.000.0.08"} << QStringList{"10.0.0.7", "10.0.0.8"};
    QTest::newRow("not addresses") << QStringList{"10.0.0.256", "10.0.0",    "10.0.0.1.2", "10..0.1",
                                                  "",           "10.0.0.1.", "1000.0.0.1", "a.b.c.d"}
                                   << QStringList{};
    QTest::newRow("one address twice") << QStringList{"10.0.0.9", "10.0.0.09"} << QStringList{"10.0.0.9"};
}

void tst_EncoderRoster::RestoresWhatTheBookHolds()
{
    QFETCH(QStringList, book);
    QFETCH(QStringList, listed);
    QSettings().setValue(QString::fromLatin1(kAddressBookKey), book);
    m_roster->RestoreAddressBook();
    QCOMPARE(ListedTexts(), listed);
}

void tst_EncoderRoster::TakeDownFreesEveryRecord()
{
    const int live = LiveEncoderRecords();
    m_roster->AddEncoders({"10.0.0.1", "10.0.0.2"});
    QCOMPARE(LiveEncoderRecords(), live + 2);
    m_roster->TakeDown();
    QCOMPARE(LiveEncoderRecords(), live);
    QCOMPARE(m_list->Model().rowCount(), 0);
    QCOMPARE(m_roster->Encoders().Size(), size_t(0));
}

// A row says what its entry and the controller know of the encoder: the picture is online
// only while the encoder answered and its last reading reached it.
void tst_EncoderRoster::RowShowsItsEncoder_data()
{
    QTest::addColumn<int>("state");   // EncoderState
    QTest::addColumn<int>("image");
    QTest::addColumn<int>("shown");   // DeviceItemView::State

    QTest::newRow("never heard of") << int(EncoderState::Unknown) << IMAGE_OFFLINE
                                    << int(DeviceItemView::State::Unknown);
    QTest::newRow("online") << int(EncoderState::Online) << IMAGE_ONLINE << int(DeviceItemView::State::Online);
    QTest::newRow("offline") << int(EncoderState::Offline) << IMAGE_OFFLINE << int(DeviceItemView::State::Offline);
}

void tst_EncoderRoster::RowShowsItsEncoder()
{
    QFETCH(int, state);
    QFETCH(int, image);
    QFETCH(int, shown);
    EncoderRecord* item = m_roster->AddEncoder(QStringLiteral("10.0.0.1"));
    const EncoderRecord* other = m_roster->AddEncoder(QStringLiteral("10.0.0.2"));
    m_roster->Encoders().Find(item->ipAddr)->state = EncoderState(state);
    m_exchanges->SetOutcome(item->ipAddr, {QStringLiteral("Read Configuration failed"), true});
    m_edits = 3;

    m_rows->Update(item->ipAddr);

    QCOMPARE(m_list->ItemImage(item), image);
    const DeviceItemView view = m_list->ItemView(item);
    QCOMPARE(int(view.state), shown);
    QCOMPARE(view.pendingEdits, 3);
    QCOMPARE(view.outcome, QStringLiteral("Read Configuration failed"));
    QVERIFY(view.outcomeFailed);
    QVERIFY(!view.InFlight());
    // Only its own row: the other encoder shows nothing of it.
    QCOMPARE(m_list->ItemView(other).outcome, QString());
    QCOMPARE(m_list->ItemView(other).pendingEdits, 0);

    // A reading or a start keeps the count shown, without counting again.
    const int counted = m_editCounts;
    m_edits = 5;
    m_rows->Update(item->ipAddr, false);
    QCOMPARE(m_editCounts, counted);
    QCOMPARE(m_list->ItemView(item).pendingEdits, 3);
    // An encoder not listed (gone meanwhile) is no row to write.
    m_rows->Update(0x0A0000FFu);
    QCOMPARE(m_list->Model().rowCount(), 2);
}

// Restoring a book of thousands compares two records once, not once per encoder: every
// new encoder holds the same never-read record but for its address.
void tst_EncoderRoster::NewEncodersCountTheirEditsOnce()
{
    QStringList texts;
    for (int i = 0; i < 2000; ++i) texts << DottedText(0x0A000000u + uint32_t(i));   // 10.0.0.0 and on
    m_edits = 2;
    m_roster->AddEncoders(texts);
    QCOMPARE(m_list->Model().rowCount(), 2000);
    QCOMPARE(m_editCounts, 1);
    for (const QString& text : {texts.first(), texts.last()})
        QCOMPARE(m_list->ItemView(m_roster->FindEncoderItem(text)).pendingEdits, 2);
}

QTEST_MAIN(tst_EncoderRoster)
#include "tst_encoder_roster.moc"
