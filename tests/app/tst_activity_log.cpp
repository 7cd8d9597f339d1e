// The activity log across restarts: the window keeps it in its database, finds it again
// at start, bounds it, and goes on in memory when the database cannot be used.

#include <QComboBox>
#include <QFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>
#include <memory>

#include "CActivityLog.h"
#include "CActivityStore.h"
#include "CMainFrame.h"
#include "RecordingPrompter.h"
#include "WindowTest.h"

using Severity = CActivityLog::Severity;

class tst_ActivityLog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void keptAcrossRestartsWithItsFilters();
    void databaseThatCannotBeUsedIsSaidOnceAndTheLogGoesOn_data();
    void databaseThatCannotBeUsedIsSaidOnceAndTheLogGoesOn();
    void oldestLinesGoPastTheLimit();
    void databaseWaitsForTheFirstPaint();
    void windowClosedBeforeItPaintedKeepsItsLines_data();
    void windowClosedBeforeItPaintedKeepsItsLines();

private:
    // A window as the program starts it: its settings restored, not shown yet.
    void StartWindow()
    {
        delete m_frame;
        m_frame = new CMainFrame(m_prompter);
        m_frame->RestoreSettings();
    }
    // Started and shown: the log's database is opened once the window has painted.
    void Restart()
    {
        StartWindow();
        QVERIFY(ShowWindow(m_frame, QSize(900, 700)));
        QTRY_VERIFY(!Log()->StorePending());
    }
    // The log as a new window finds it in the database.
    std::deque<CActivityLog::Entry> KeptEntries()
    {
        Restart();
        return Log()->Entries();
    }
    CActivityLog* Log() { return m_frame->ActivityLog(); }

    RecordingPrompter m_prompter;
    CMainFrame* m_frame = nullptr;
    QTemporaryDir m_settingsDir;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void tst_ActivityLog::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    KeepSettingsIn(m_settingsDir.path(), QStringLiteral("tst_activity_log"));
}

void tst_ActivityLog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_path = m_dir->filePath(QStringLiteral("log/activity.sqlite"));   // the folder is made when needed
    StartFromNoSettings(m_path);
}

void tst_ActivityLog::cleanup()
{
    delete m_frame;
    m_frame = nullptr;
}

void tst_ActivityLog::keptAcrossRestartsWithItsFilters()
{
    Restart();
    QVERIFY(Log()->Stored());
    const QDateTime at(QDate(2026, 12, 8), QTime(10, 0, 0, 125));
    Log()->AddEntry(at, "10.0.0.10", Severity::Info, "Read Configuration succeeded");
    Log()->AddEntry(at.addSecs(1), "10.0.0.9", Severity::Warning, QString::fromUtf8("Alarm raised: 中文频道"));
    Log()->AddEntry(at.addSecs(2), QString(), Severity::Error, "Search failed, \"quoted\"");
    Log()->FlushStore();
    QVERIFY2(Log()->Stored(), qPrintable(Log()->Entries().back().text));

    Restart();
    const std::deque<CActivityLog::Entry>& kept = Log()->Entries();
    QCOMPARE(kept.size(), size_t(3));
    QCOMPARE(kept[0].time, at);
    QCOMPARE(kept[0].encoder, QStringLiteral("10.0.0.10"));
    QCOMPARE(kept[1].severity, Severity::Warning);
    QCOMPARE(kept[1].text, QString::fromUtf8("Alarm raised: 中文频道"));
    QCOMPARE(kept[2].encoder, QString());
    QCOMPARE(kept[2].text, QStringLiteral("Search failed, \"quoted\""));
    // The encoders of the filter are in address order, the kept ones included.
    QComboBox* encoders = Log()->EncoderFilter();
    QCOMPARE(encoders->count(), 3);
    QCOMPARE(encoders->itemText(1), QStringLiteral("10.0.0.9"));
    QCOMPARE(encoders->itemText(2), QStringLiteral("10.0.0.10"));
    Log()->AddEntry(at.addSecs(3), "10.0.0.2", Severity::Info, "Status succeeded");
    QCOMPARE(encoders->itemText(1), QStringLiteral("10.0.0.2"));
    // Filters and the export work over what was kept.
    Log()->SetEncoderFilter("10.0.0.9");
    QCOMPARE(Log()->ShownEntries().size(), size_t(1));
    QCOMPARE(Log()->View()->model()->rowCount(), 1);
    const QString csv = m_dir->filePath("log.csv");
    QVERIFY(Log()->ExportCsv(csv));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()).count(QStringLiteral("\r\n")), 2);

    // The line added after the restart is kept too.
    Restart();
    QCOMPARE(Log()->Entries().size(), size_t(4));
    QCOMPARE(Log()->Entries().back().encoder, QStringLiteral("10.0.0.2"));
}

void tst_ActivityLog::databaseThatCannotBeUsedIsSaidOnceAndTheLogGoesOn_data()
{
    QTest::addColumn<bool>("locked");
    QTest::newRow("corrupt") << false;
    QTest::newRow("locked by another window") << true;
}

void tst_ActivityLog::databaseThatCannotBeUsedIsSaidOnceAndTheLogGoesOn()
{
    QFETCH(bool, locked);
    QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
    QByteArray before;
    std::unique_ptr<QSqlDatabase> holder;
    if (locked) {
        holder = std::make_unique<QSqlDatabase>(QSqlDatabase::addDatabase("QSQLITE", "holder"));
        holder->setDatabaseName(m_path);
        QVERIFY(holder->open());
        QSqlQuery query(*holder);
        QVERIFY(query.exec("CREATE TABLE other (x INTEGER)"));
        QVERIFY(query.exec("PRAGMA locking_mode=EXCLUSIVE"));
        QVERIFY(query.exec("BEGIN EXCLUSIVE"));
    } else {
        before = QByteArray(8192, 'k');   // the first page of no database at all
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(before);
    }

    Restart();
    QVERIFY(!Log()->Stored());
    QCOMPARE(Log()->Entries().size(), size_t(1));
    const CActivityLog::Entry said = Log()->Entries().back();
    QCOMPARE(said.severity, Severity::Warning);
    QVERIFY2(said.text.startsWith("The activity log is not kept after the window closes: ") &&
                 said.text.contains(QFileInfo(m_path).fileName()),
             qPrintable(said.text));
    Log()->AddEntry(QDateTime::currentDateTime(), "10.0.0.1", Severity::Info, "Read Configuration succeeded");
    QCOMPARE(Log()->Entries().size(), size_t(2));
    delete m_frame;
    m_frame = nullptr;

    if (locked) {
        QSqlQuery(*holder).exec("ROLLBACK");
        holder->close();
        holder.reset();
        QSqlDatabase::removeDatabase("holder");
    } else {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);   // what is there is left as it was
    }
}

void tst_ActivityLog::oldestLinesGoPastTheLimit()
{
    CActivityStore store;
    std::vector<CActivityLog::Entry> lines;
    QString error;
    QVERIFY2(store.Open(m_path, 3, lines, error), qPrintable(error));
    QVERIFY(lines.empty());
    const QDateTime at(QDate(2026, 12, 8), QTime(10, 0));
    for (int i = 0; i < 5; ++i) {
        QVERIFY2(store.Append({{at.addSecs(i), "10.0.0.1", Severity::Info, QString::number(i)}}, 3, error),
                 qPrintable(error));
    }
    store.Close();
    QVERIFY(store.Open(m_path, 100, lines, error));
    QCOMPARE(lines.size(), size_t(3));
    QCOMPARE(lines.front().text, QStringLiteral("2"));
    QCOMPARE(lines.back().text, QStringLiteral("4"));
    QVERIFY(store.Open(m_path, 2, lines, error));   // the newest, oldest first
    QCOMPARE(lines.front().text, QStringLiteral("3"));
}

// Reading back what was kept waits until the window has first painted; what is logged
// before that follows the kept lines, as with any database opened late.
void tst_ActivityLog::databaseWaitsForTheFirstPaint()
{
    const QDateTime at(QDate(2026, 12, 8), QTime(10, 0));
    Restart();
    Log()->AddEntry(at, "10.0.0.1", Severity::Info, "kept");
    delete m_frame;
    m_frame = nullptr;

    StartWindow();
    QVERIFY(Log()->StorePending());
    QVERIFY(!Log()->Stored());
    QVERIFY(Log()->Entries().empty());
    Log()->AddEntry(at.addSecs(1), "10.0.0.2", Severity::Info, "before the first paint");
    QVERIFY(ShowWindow(m_frame, QSize(900, 700)));
    QTRY_VERIFY(Log()->Stored());
    QCOMPARE(Log()->Entries().size(), size_t(2));
    QCOMPARE(Log()->Entries().front().text, QStringLiteral("kept"));
    QCOMPARE(Log()->Entries().back().text, QStringLiteral("before the first paint"));
    QCOMPARE(Log()->EncoderFilter()->count(), 3);   // all, 10.0.0.1, 10.0.0.2

    const std::deque<CActivityLog::Entry> kept = KeptEntries();
    QCOMPARE(kept.size(), size_t(2));
    QCOMPARE(kept.back().text, QStringLiteral("before the first paint"));
}

void tst_ActivityLog::windowClosedBeforeItPaintedKeepsItsLines_data()
{
    QTest::addColumn<bool>("logged");
    QTest::addColumn<bool>("exported");
    QTest::newRow("nothing logged") << false << false;
    QTest::newRow("a line logged") << true << false;
    QTest::newRow("exported first") << true << true;
}

// A window that never painted opens its database only when it needs it: to export what was
// kept, or to keep what it logged when it closes. With nothing to keep no file is made.
void tst_ActivityLog::windowClosedBeforeItPaintedKeepsItsLines()
{
    QFETCH(bool, logged);
    QFETCH(bool, exported);
    StartWindow();
    QVERIFY(Log()->StorePending());
    if (logged) Log()->AddEntry(QDateTime::currentDateTime(), "10.0.0.3", Severity::Warning, "unshown");
    if (exported) {
        QVERIFY(Log()->ExportCsv(m_dir->filePath("log.csv")));
        QVERIFY(Log()->Stored());
    }
    delete m_frame;
    m_frame = nullptr;
    QCOMPARE(QFile::exists(m_path), logged);
    if (!logged) return;
    const std::deque<CActivityLog::Entry> kept = KeptEntries();
    QCOMPARE(kept.size(), size_t(1));
    QCOMPARE(kept.front().text, QStringLiteral("unshown"));
}

QTEST_MAIN(tst_ActivityLog)
#include "tst_activity_log.moc"
