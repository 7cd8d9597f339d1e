// The encoders the window lists, on their own: no frame, no exchange, a plain main window
// with the device list and the activity log it needs, and a set of busy encoders standing
// for the exchanges in flight.

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
#include "CEncoderRoster.h"
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
    void TakeDownFreesEveryRecord();

private:
    QStringList ListedTexts() const;

    QTemporaryDir m_settingsDir;
    std::unique_ptr<QMainWindow> m_window;
    CDeviceTree* m_list = nullptr;
    CActivityLog* m_log = nullptr;
    RecordingPrompter m_prompter;
    std::set<uint32_t> m_busy;
    CEncoderRoster* m_roster = nullptr;
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
}

void tst_EncoderRoster::cleanup()
{
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

    m_roster->DeleteEncoders(items);

    QCOMPARE(ListedTexts(), QStringList{"10.0.0.2"});
    QCOMPARE(m_roster->Encoders().Size(), size_t(1));
    QCOMPARE(leaving, (std::vector<uint32_t>{items[0]->ipAddr, items[2]->ipAddr, items[3]->ipAddr}));
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

QTEST_MAIN(tst_EncoderRoster)
#include "tst_encoder_roster.moc"
