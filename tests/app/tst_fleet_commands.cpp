// The window for a fleet, through its real widgets: encoders added as ranges, pasted
// columns and imported lists (with the command line's rules and words), Stop and Start on
// a selection asked for first, a single encoder's commands as they always were, and
// closing with edits not written.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <memory>

#include "AddressArguments.h"
#include "AppIds.h"
#include "CDeviceTree.h"
#include "CIPAddressCtrl.h"
#include "CMainFrame.h"
#include "CWriteReview.h"
#include "CRowIPField.h"
#include "Dialogs.h"
#include "LinkProtocol.h"
#include "RecordingPrompter.h"
#include "FrameTest.h"
#include "StandInEncoder.h"
#include "TextConversions.h"

namespace {

const QStringList kFleet = {"127.0.0.2", "127.0.0.3", "127.0.0.4"};

void ClickOk(QDialog& dialog)
{
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("OK")) button->click();
}

// Types `text` where the dialog's focus is, as keys ("\n" as Return), then OK; `error`
// takes what the dialog then says.
RecordingPrompter::DialogScript TypeInto(bool listField, const QString& text, QString* error = nullptr)
{
    return [=](QDialog& dialog) {
        dialog.show();
        auto& add = static_cast<CAddDeviceDlg&>(dialog);
        if (listField) add.ListField()->setFocus();
        for (const QChar ch : text) {
            QWidget* target = dialog.focusWidget() ? dialog.focusWidget() : &dialog;
            if (ch == QLatin1Char('\n'))
                QTest::keyClick(target, Qt::Key_Return);
            else
                QTest::keyClicks(target, QString(ch));
        }
        ClickOk(dialog);
        if (error) *error = add.Error();
        return dialog.result();
    };
}

RecordingPrompter::DialogScript PasteIntoAddressField(const QString& clipboard)
{
    return [=](QDialog& dialog) {
        dialog.show();
        QApplication::clipboard()->setText(clipboard);
        QTest::keyClick(static_cast<CAddDeviceDlg&>(dialog).AddressCtrl()->Field(0), Qt::Key_V, Qt::ControlModifier);
        ClickOk(dialog);
        return dialog.result();
    };
}

RecordingPrompter::DialogScript ChooseFile(const QString& path)
{
    return [path](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        if (!files) return int(QDialog::Rejected);
        files->selectFile(path);
        return int(QDialog::Accepted);
    };
}

}   // namespace

class tst_FleetCommands : public FrameTest {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rangeEntry_data();
    void rangeEntry();
    void pastedColumnWithDuplicates();
    void tenThousandInOneBatch();
    void parseErrorInTheCommandLinesWords();
    void importAddressFile();
    void fleetStopAndStartAsk_data();
    void fleetStopAndStartAsk();
    void singleEncoderStopAsksNothing();
    void closeWithPendingEdits_data();
    void closeWithPendingEdits();

private:
    CDeviceTree* Tree() const { return m_frame->DeviceTree(); }
    QStringList Listed() const;
    void AddFleetAndRead();
    int Requests(int command) const;
};

void tst_FleetCommands::initTestCase()
{
    QVERIFY(KeepSettings(QStringLiteral("tst_fleet_commands")));
}

void tst_FleetCommands::init()
{
    SimOptions options;
    options.bindAddress = "127.0.0.2-4";
    QVERIFY2(StartCase(options), StartError());
    m_frame = new CMainFrame(*m_prompter, m_sim->Link(), m_sim->OutFile());
    m_frame->RestoreSettings();
    QVERIFY(ShowWindow(m_frame, QSize(1200, 800)));
}

void tst_FleetCommands::cleanup()
{
    FinishCase();
    QCOMPARE(LiveEncoderRecords(), 0);
}

QStringList tst_FleetCommands::Listed() const
{
    QStringList texts;
    for (int i = 0; i < Tree()->ItemCount(); ++i) texts << Tree()->ItemText(Tree()->ItemAt(i), kColumnAddress);
    return texts;
}

int tst_FleetCommands::Requests(int command) const
{
    int count = 0;
    for (const QString& address : kFleet)
        count += m_sim->EncoderFor(InetAddrHostOrder(address.toLatin1().constData())).RequestCount(command);
    return count;
}

void tst_FleetCommands::AddFleetAndRead()
{
    std::vector<uint32_t> addresses;
    for (const QString& text : kFleet) addresses.push_back(InetAddrHostOrder(text.toLatin1().constData()));
    QCOMPARE(m_frame->Roster().AddFleet(addresses), 3);
    Tree()->selectAll();
    m_frame->CommandAction(ID_READ_CONFIGURATION)->trigger();
    QVERIFY(QTest::qWaitFor([this] { return !m_frame->InExchange(); }, 5000));
    for (const QString& text : kFleet) QVERIFY(m_frame->FindEncoderItem(text)->loaded);
    m_prompter->boxes.clear();
}

void tst_FleetCommands::rangeEntry_data()
{
    QTest::addColumn<bool>("listField");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    // The range begun in the one-address field goes on in the list: "-119" is not dropped.
    QTest::newRow("begun in the address field") << false << "127.0.0.101-119" << 19 << "127.0.0.101"
                                                << "127.0.0.119";
    QTest::newRow("whole last address") << true << "10.1.2.20-10.1.2.69" << 50 << "10.1.2.20"
                                        << "10.1.2.69";
    QTest::newRow("ranges on lines, blanks and commas")
        << true << "10.1.2.20-29\n10.1.3.1, 10.1.3.2 10.1.3.3" << 13 << "10.1.2.20"
        << "10.1.3.3";
}

void tst_FleetCommands::rangeEntry()
{
    QFETCH(bool, listField);
    QFETCH(QString, typed);
    QFETCH(int, count);
    QFETCH(QString, first);
    QFETCH(QString, last);
    QSignalSpy inserted(&Tree()->Model(), &QAbstractItemModel::rowsInserted);
    m_prompter->dialogScripts.push_back(TypeInto(listField, typed));
    m_frame->CommandAction(ID_ADD_ENCODER)->trigger();
    QCOMPARE(m_prompter->dialogTitles, QStringList("Add Device Dialog"));
    QCOMPARE(Tree()->ItemCount(), count);
    QCOMPARE(inserted.count(), 1);   // one insertion for the batch
    QCOMPARE(Listed().first(), first);
    QCOMPARE(Listed().last(), last);
    QCOMPARE(m_frame->statusBar()->currentMessage(), QStringLiteral("Added %1 encoders.").arg(count));
    QCOMPARE(QSettings().value(kAddressBookKey).toStringList(), Listed());
    QVERIFY(m_prompter->boxes.empty());
    QVERIFY(!m_frame->InExchange());
}

void tst_FleetCommands::pastedColumnWithDuplicates()
{
    m_frame->AddEncoder(QStringLiteral("127.0.0.5"));
    m_prompter->dialogScripts.push_back(
        PasteIntoAddressField(QStringLiteral("127.0.0.5\r\n127.0.0.6\r\n127.0.0.6\r\n127.0.0.7-9\r\n")));
    m_frame->CommandAction(ID_ADD_ENCODER)->trigger();
    QCOMPARE(Listed(), QStringList({"127.0.0.5", "127.0.0.6", "127.0.0.7", "127.0.0.8", "127.0.0.9"}));
    QCOMPARE(m_frame->statusBar()->currentMessage(), QStringLiteral("Added 4 encoders (1 already listed)."));
    QCOMPARE(LiveEncoderRecords(), 5);
}

// A head end's worth at once: one insertion into the list, the address book saved whole.
void tst_FleetCommands::tenThousandInOneBatch()
{
    QStringList ranges;
    for (int third = 0; third < 40; ++third) ranges << QStringLiteral("127.1.%1.0-255").arg(third);
    QSignalSpy inserted(&Tree()->Model(), &QAbstractItemModel::rowsInserted);
    m_prompter->dialogScripts.push_back([&ranges](QDialog& dialog) {
        static_cast<CAddDeviceDlg&>(dialog).ListField()->setPlainText(ranges.join(QLatin1Char('\n')));
        ClickOk(dialog);
        return dialog.result();
    });
    m_frame->CommandAction(ID_ADD_ENCODER)->trigger();
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(Tree()->ItemCount(), 40 * 256);
    QCOMPARE(LiveEncoderRecords(), 40 * 256);
    QCOMPARE(QSettings().value(kAddressBookKey).toStringList().size(), 40 * 256);
    QCOMPARE(m_frame->statusBar()->currentMessage(), QStringLiteral("Added 10240 encoders."));
    QVERIFY(!m_frame->InExchange());
}

void tst_FleetCommands::parseErrorInTheCommandLinesWords()
{
    QString error;
    m_prompter->dialogScripts.push_back(TypeInto(true, QStringLiteral("127.0.0.5\n127.0.0.101-119x"), &error));
    m_frame->CommandAction(ID_ADD_ENCODER)->trigger();
    QCOMPARE(error, QString::fromStdString(ExpandAddressArguments({"127.0.0.101-119x"}).error));
    QVERIFY(error.contains(QStringLiteral("a range ends in a number 0 to 255 or a whole address")));
    QCOMPARE(Tree()->ItemCount(), 0);   // the dialog stayed open and was then cancelled

    // A single address keeps the address field's way: it becomes the current encoder.
    m_prompter->dialogScripts.push_back(TypeInto(false, QStringLiteral("127.0.0.9")));
    m_frame->CommandAction(ID_ADD_ENCODER)->trigger();
    QCOMPARE(Listed(), QStringList("127.0.0.9"));
    QCOMPARE(Tree()->SelectedItem(), Tree()->ItemAt(0));
}

void tst_FleetCommands::importAddressFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rack 3.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("\xEF\xBB\xBF"
               "127.0.0.2\r\n# rack 3, top\r\n127.0.0.3-4   # two more\r\n\r\n127.0.0.2\r\n");
    file.close();
    m_frame->AddEncoder(QStringLiteral("127.0.0.3"));
    m_prompter->dialogScripts.push_back(ChooseFile(path));
    m_frame->CommandAction(ID_FILE_IMPORT_ADDRESSES)->trigger();
    QCOMPARE(m_prompter->dialogTitles, QStringList("Import Addresses"));
    QCOMPARE(Listed(), QStringList({"127.0.0.3", "127.0.0.2", "127.0.0.4"}));
    QCOMPARE(m_frame->statusBar()->currentMessage(), QStringLiteral("Added 2 encoders (1 already listed)."));
    QVERIFY(m_prompter->boxes.empty());

    // A bad line refuses the whole file, named as the command line names it.
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("127.0.0.10\r\n127.0.0.300\r\n");
    file.close();
    m_prompter->dialogScripts.push_back(ChooseFile(path));
    m_frame->CommandAction(ID_FILE_IMPORT_ADDRESSES)->trigger();
    QCOMPARE(m_prompter->BoxTexts(),
             QStringList(QString::fromStdString(ExpandAddressArguments({"@" + path.toStdString()}).error)));
    QVERIFY(m_prompter->BoxTexts().first().startsWith(path + QStringLiteral(":2: ")));
    QCOMPARE(Tree()->ItemCount(), 3);
}

void tst_FleetCommands::fleetStopAndStartAsk_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("question");
    QTest::newRow("stop") << ID_STOP_TS_IP << CMD_STOP_TS << "Stop the TS output of 3 encoders?";
    QTest::newRow("start") << ID_START_TS_IP << CMD_START_TS << "Start the TS output of 3 encoders?";
}

void tst_FleetCommands::fleetStopAndStartAsk()
{
    QFETCH(int, id);
    QFETCH(int, command);
    QFETCH(QString, question);
    for (const QString& text : kFleet) m_frame->AddEncoder(text);
    Tree()->setFocus();
    QTest::keyClick(Tree(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(Tree()->SelectedEncoderItems().size(), 3);

    m_prompter->questionAnswer = false;
    m_frame->CommandAction(id)->trigger();
    QCOMPARE(m_prompter->questions, QStringList(question));
    QVERIFY(!m_frame->InExchange());
    QCOMPARE(Requests(command), 0);

    m_prompter->questionAnswer = true;
    m_frame->CommandAction(id)->trigger();
    QCOMPARE(m_prompter->questions.size(), 2);
    QVERIFY(QTest::qWaitFor([this] { return !m_frame->InExchange(); }, 5000));
    for (const QString& text : kFleet)
        QCOMPARE(m_sim->EncoderFor(InetAddrHostOrder(text.toLatin1().constData())).RequestCount(command), 1);
}

void tst_FleetCommands::singleEncoderStopAsksNothing()
{
    EncoderRecord* item = m_frame->AddEncoder(kFleet.first());
    m_frame->AddEncoder(kFleet.last());
    Tree()->SelectOnly(item);
    m_frame->CommandAction(ID_STOP_TS_IP)->trigger();
    QVERIFY(QTest::qWaitFor([this] { return !m_frame->InExchange(); }, 5000));
    QVERIFY(m_prompter->questions.isEmpty());
    QCOMPARE(Requests(CMD_STOP_TS), 1);
}

void tst_FleetCommands::closeWithPendingEdits_data()
{
    QTest::addColumn<int>("answer");   // Write, Discard, Cancel
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("writes");
    QTest::addColumn<bool>("oneFails");
    QTest::newRow("write") << 0 << true << 2 << false;
    QTest::newRow("write, one fails") << 0 << false << 1 << true;   // its status check fails first
    QTest::newRow("discard") << 1 << true << 0 << false;
    QTest::newRow("cancel") << 2 << false << 0 << false;
}

void tst_FleetCommands::closeWithPendingEdits()
{
    QFETCH(int, answer);
    QFETCH(bool, closed);
    QFETCH(int, writes);
    QFETCH(bool, oneFails);
    AddFleetAndRead();
    if (oneFails) m_sim->EncoderFor(InetAddrHostOrder("127.0.0.4")).SetFault(SimFault::EarlyClose);
    for (const QString& text : {kFleet[0], kFleet[2]}) {
        EncoderRecord* record = m_frame->FindEncoderItem(text);
        std::strcpy(record->password, "admin");
        std::strcpy(record->newPassword, "admin");
        record->program_info1.video.bitrate = 5000;
    }
    m_prompter->choiceAnswer = answer;
    m_prompter->dialogScripts.push_back([](QDialog&) { return int(QDialog::Accepted); });   // the review

    m_frame->close();
    QCOMPARE(m_prompter->choices, QStringList("2 encoders have edits not written yet. Write them before closing?"));
    QCOMPARE(m_prompter->choiceButtons, QStringList({"Write", "Discard", "Cancel"}));
    if (closed) {
        QTRY_VERIFY(m_frame.isNull());
    } else {
        // Whatever was written has ended and been looked at before the window is judged.
        QVERIFY(QTest::qWaitFor([this] { return !m_frame->InExchange(); }, 5000));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QVERIFY(!m_frame.isNull() && m_frame->isVisible());
        QCOMPARE(m_frame->Writes().EncodersWithPendingEdits().size(), size_t(oneFails ? 1 : 2));
    }
    QCOMPARE(Requests(CMD_WRITE_CONFIG), writes);
    QCOMPARE(m_prompter->dialogTitles.size(), answer == 0 ? 1 : 0);   // one review for both

    // Still open: Discard closes it.
    if (m_frame) {
        m_prompter->choiceAnswer = 1;
        m_frame->close();
        QTRY_VERIFY(m_frame.isNull());
    }
}

QTEST_MAIN(tst_FleetCommands)
#include "tst_fleet_commands.moc"
