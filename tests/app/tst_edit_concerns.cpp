// The edits' concerns on their own, without a main window around them: the write path
// refuses before anything is sent and closing with edits that cannot be written keeps the
// window; and the layout kept across restarts is put back only where it fits.

#include <QHeaderView>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "CActivityLog.h"
#include "CDeviceTree.h"
#include "CExchangeController.h"
#include "CMainFrame.h"
#include "CPaneSplitter.h"
#include "CWindowLayout.h"
#include "CWriteReview.h"
#include "RecordingPrompter.h"
#include "TextConversions.h"
#include "WindowTest.h"

namespace {

const char* const kAddresses[] = {"127.0.0.2", "127.0.0.3"};

}   // namespace

class tst_EditConcerns : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void writeRefusedBeforeAnythingIsSent_data();
    void writeRefusedBeforeAnythingIsSent();
    void closingWithEditsThatCannotBeWritten();
    void layoutKeepsItsOwnWhereTheKeptDoesNotFit_data();
    void layoutKeepsItsOwnWhereTheKeptDoesNotFit();

private:
    // Two encoders never read, each with an edit of its sheet.
    void ListEditedEncoders();
    QStringList LogTexts() const;

    QTemporaryDir m_settingsDir;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<RecordingPrompter> m_prompter;
    std::unique_ptr<EncoderList> m_encoders;
    CActivityLog* m_log = nullptr;
    CExchangeController* m_exchanges = nullptr;
    std::unique_ptr<CWriteReview> m_writes;
    int m_started = 0;   // the write path's hook: exchanges started
    bool m_closing = false;
};

void tst_EditConcerns::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    KeepSettingsIn(m_settingsDir.path(), QStringLiteral("tst_edit_concerns"));
}

void tst_EditConcerns::init()
{
    StartFromNoSettings();
    m_window = std::make_unique<QWidget>();
    m_prompter = std::make_unique<RecordingPrompter>();
    m_encoders = std::make_unique<EncoderList>();
    m_log = new CActivityLog(m_window.get());
    m_exchanges = new CExchangeController(*m_encoders, LinkOptions{}, std::string(), m_window.get());
    m_started = 0;
    m_closing = false;
    m_writes =
        std::make_unique<CWriteReview>(*m_window, *m_prompter, *m_encoders, *m_exchanges, *m_log,
                                       CWriteReview::Hooks{[this] { ++m_started; }, [this] { return m_closing; }});
}

void tst_EditConcerns::cleanup()
{
    m_writes.reset();
    m_window.reset();   // the log and the controller with it
    m_encoders.reset();
}

void tst_EditConcerns::ListEditedEncoders()
{
    for (const char* text : kAddresses) {
        EncoderEntry& entry = m_encoders->Add(InetAddrHostOrder(text));
        entry.record.program_info1.video.bitrate = 5000;
    }
}

QStringList tst_EditConcerns::LogTexts() const
{
    QStringList texts;
    for (const auto& entry : m_log->Entries()) texts << entry.encoder + QLatin1Char(' ') + entry.text;
    return texts;
}

void tst_EditConcerns::writeRefusedBeforeAnythingIsSent_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("box");
    QTest::newRow("one") << 1 << "Please read the configuration first !";
    QTest::newRow("two") << 2 << "Please read the configuration of 127.0.0.2, 127.0.0.3 first !";
}

void tst_EditConcerns::writeRefusedBeforeAnythingIsSent()
{
    QFETCH(int, count);
    QFETCH(QString, box);
    ListEditedEncoders();
    std::vector<uint32_t> addresses;
    for (int i = 0; i < count; ++i) addresses.push_back(InetAddrHostOrder(kAddresses[i]));

    QVERIFY(m_writes->WriteEncoders(addresses).empty());
    QCOMPARE(m_prompter->BoxTexts(), QStringList(box));
    QCOMPARE(m_prompter->boxes.front().caption, QStringLiteral("Warning"));
    QCOMPARE(m_prompter->boxes.front().owner, m_window.get());
    QVERIFY(m_prompter->dialogTitles.isEmpty());   // no review of a write refused already
    QCOMPARE(m_started, 0);
    QVERIFY(!m_exchanges->InExchange());
    QCOMPARE(LogTexts().size(), count);
    for (const QString& line : LogTexts())
        QVERIFY2(line.endsWith(QStringLiteral(" Write Configuration refused: Please read the configuration first !")),
                 qPrintable(line));
}

// Write at closing starts no write that is refused: the window stays, asks again at the next
// close, and Discard lets it go.
void tst_EditConcerns::closingWithEditsThatCannotBeWritten()
{
    ListEditedEncoders();
    QCOMPARE(m_writes->EncodersWithPendingEdits().size(), size_t(2));

    m_prompter->choiceAnswer = 0;   // Write
    QVERIFY(!m_writes->ClosingWithPendingEdits());
    QCOMPARE(m_prompter->choices, QStringList("2 encoders have edits not written yet. Write them before closing?"));
    QCOMPARE(m_prompter->BoxTexts(), QStringList("Please read the configuration of 127.0.0.2, 127.0.0.3 first !"));
    QCOMPARE(m_started, 0);

    m_prompter->choiceAnswer = 1;   // Discard
    QVERIFY(m_writes->ClosingWithPendingEdits());
    QCOMPARE(m_prompter->choices.size(), 2);
    QVERIFY(LogTexts().contains(QStringLiteral(" Edits of 2 encoders discarded at closing")));
    QCOMPARE(m_writes->EncodersWithPendingEdits().size(), size_t(2));   // discarded, not reverted
}

void tst_EditConcerns::layoutKeepsItsOwnWhereTheKeptDoesNotFit_data()
{
    QTest::addColumn<QVariant>("weights");
    QTest::addColumn<QVariant>("divider");
    QTest::addColumn<QByteArray>("columns");
    QTest::newRow("too few weights") << QVariant(QVariantList{100}) << QVariant(-1) << QByteArray("x");
    QTest::newRow("too many weights") << QVariant(QVariantList{10, 20, 70}) << QVariant(100001)
                                      << QByteArray(64, '\xff');
    QTest::newRow("a negative weight") << QVariant(QVariantList{-5, 105}) << QVariant(QStringLiteral("wide"))
                                       << QByteArray();
    QTest::newRow("no weight at all") << QVariant(QVariantList{0, 0}) << QVariant() << QByteArray(3, '\0');
    QTest::newRow("words") << QVariant(QStringList{"a", "b"}) << QVariant(QVariantList{1})
                           << QByteArray("\x00\x00\x00\xff", 4);
}

void tst_EditConcerns::layoutKeepsItsOwnWhereTheKeptDoesNotFit()
{
    QFETCH(QVariant, weights);
    QFETCH(QVariant, divider);
    QFETCH(QByteArray, columns);
    RecordingPrompter prompter;
    QPointer<CMainFrame> frame = new CMainFrame(prompter);
    const std::vector<int> outer = frame->OuterSplitter()->Proportions();
    const std::vector<int> inner = frame->InnerSplitter()->Proportions();
    const int column = frame->SettingsSheet()->ColumnDivider();
    const QByteArray deviceColumns = frame->DeviceTree()->header()->saveState();

    QSettings settings;
    settings.setValue(QStringLiteral("Layout/outerSplitter"), weights);
    settings.setValue(QStringLiteral("Layout/innerSplitter"), weights);
    settings.setValue(QStringLiteral("Layout/columnDivider"), divider);
    settings.setValue(QStringLiteral("Layout/deviceColumns"), columns);
    settings.setValue(QStringLiteral("Layout/activityColumns"), columns);
    settings.setValue(QStringLiteral("Layout/state"), columns);
    settings.setValue(QStringLiteral("Layout/geometry"), columns);

    QVERIFY(!frame->Layout().Restore());   // no geometry that fits: the window starts as always
    QCOMPARE(frame->OuterSplitter()->Proportions(), outer);
    QCOMPARE(frame->InnerSplitter()->Proportions(), inner);
    QCOMPARE(frame->SettingsSheet()->ColumnDivider(), column);
    QCOMPARE(frame->DeviceTree()->header()->saveState(), deviceColumns);
    delete frame.data();
}

QTEST_MAIN(tst_EditConcerns)
#include "tst_edit_concerns.moc"
