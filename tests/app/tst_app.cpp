// The application window layer against the in-process stand-in encoder: real sockets on
// 127.0.0.1 with ephemeral ports and waits of tens of milliseconds, real widgets driven
// by Qt Test, and a recording prompter in place of every modal box, dialog and menu.

#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QFileDialog>
#include <QHeaderView>
#include <QContextMenuEvent>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>
#include <cstring>
#include <memory>

#include "AppIds.h"
#include "CActivityLog.h"
#include "CDeviceTree.h"
#include "CEncoderApp.h"
#include "CIPAddressCtrl.h"
#include "CMainFrame.h"
#include "CMessagePane.h"
#include "CPaneSplitter.h"
#include "CPasswordsDialog.h"
#include "CRowTree.h"
#include "CRowTreeItem.h"
#include "Dialogs.h"
#include "RecordingPrompter.h"
#include "FrameTest.h"
#include "StandInEncoder.h"
#include "TextConversions.h"
#include "CWindowLayout.h"

namespace {

const QString kSimAddress = QStringLiteral("127.0.0.1");
const std::vector<uint8_t> kHealthy = {0, 0, 38, 1, 1, 1, 1};

// Types `text` key by key into whatever field of `dialog` has the focus, as an operator
// would, then presses Enter.
void TypeAndEnter(QDialog& dialog, const QString& text)
{
    for (const QChar ch : text) {
        QWidget* target = dialog.focusWidget() ? dialog.focusWidget() : &dialog;
        QTest::keyClick(target, ch.toLatin1());
    }
    QTest::keyClick(dialog.focusWidget() ? dialog.focusWidget() : &dialog, Qt::Key_Return);
}

RecordingPrompter::DialogScript TypeAddress(const QString& text, QStringList* blankAtStart = nullptr)
{
    return [text, blankAtStart](QDialog& dialog) {
        dialog.show();
        if (auto* address = static_cast<CAddressDlg&>(dialog).AddressCtrl(); blankAtStart)
            *blankAtStart << (address->IsBlank() ? QStringLiteral("blank") : QStringLiteral("filled"));
        TypeAndEnter(dialog, text);
        return dialog.result();
    };
}

RecordingPrompter::DialogScript Cancel()
{
    return [](QDialog& dialog) {
        dialog.show();
        QTest::keyClicks(dialog.focusWidget(), QStringLiteral("10"));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        return dialog.result();
    };
}

QStringList ItemTexts(const CDeviceTree& tree)
{
    QStringList texts;
    for (int i = 0; i < tree.ItemCount(); ++i) texts << tree.ItemText(tree.ItemAt(i), kColumnAddress);
    return texts;
}

// A point on the item's address, inside the list's narrow pane.
QPoint ItemPoint(const CDeviceTree& tree, const EncoderRecord* item)
{
    const QRect rect = tree.ItemRect(item);
    return QPoint(rect.left() + 20, rect.center().y());
}

QStringList MessageTexts(const CMessagePane& pane)
{
    QStringList texts;
    for (int i = 0; i < pane.MessageCount(); ++i) texts << pane.MessageText(i);
    return texts;
}

}   // namespace

class tst_App : public FrameTest {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sameOutcomeSameTextInWindowAndCommandLine_data();
    void sameOutcomeSameTextInWindowAndCommandLine();
    void batchWriteAsksThePasswordsOnce();

    void addEncoderKeepsOneItemPerAddress();
    void findEncoderMatchesWholeText();
    void deleteEncoderFreesRecordAndSelection();
    void closingTheWindowFreesEveryRecord();
    void contextMenuEnabling_data();
    void contextMenuEnabling();
    void rightClickSelectsItemUnderPointer();
    void multipleSelection();
    void readConfiguration_data();
    void readConfiguration();
    void readWithNoEncoderSelectedDoesNothing();
    void writeConfiguration_data();
    void writeConfiguration();
    void writeTakesTheFieldBeingTyped();
    void startAndStop();
    void searchAddsWhatAnswers();
    void deviceMessages_data();
    void deviceMessages();
    void deviceMessagesRepeatAndEmpty();
    void messagePopupNeedsSelection();
    void addressDialogs_data();
    void addressDialogs();
    void addressDialogCancelChangesNothing();
    void aboutBox();
    void windowAnswersDuringRead();
    void delDuringReadHasNoEffect();
    void cancelMidReadLeavesRecord();
    void closingDuringExchange_data();
    void closingDuringExchange();
    void fleetReadSummary();
    void monitorRaisesAndClearsAlarm();
    void addressBookRoundTrip();
    void replyCompleteModePersists();
    void activityLogFiltersAndExports();
    void layoutComesBackAfterARestart();
    void fleetCancelledByTheOperatorPopsNoBox();
    void searchReportsAnsweredAndNew();
    void searchCancelled();
    void sheetIpRowsBlankAtStart();
    void startUpLayoutProportions();
    void frameCommandsAndViewToggles();
    void appStartUpFailure();
    void appStartUp();

private:
    CDeviceTree* Tree() const { return m_frame->DeviceTree(); }
    EncoderRecord* AddAndSelect(const QString& text);
    void RunMenuCommand(int id);
    bool ReadSelected();
    bool WaitIdle(int timeoutMs = 5000);
    void Recreate(const std::function<void(LinkOptions&)>& change);

    QTemporaryDir m_dir;
};

// The address book and options go to a temporary place, never to the user's settings.
void tst_App::initTestCase()
{
    QVERIFY(KeepSettings(QStringLiteral("tst_app")));
}

void tst_App::init()
{
    QVERIFY2(StartCase(), StartError());
    QVERIFY(ShowNewFrame(QSize(1001, 700)));
}

void tst_App::cleanup()
{
    FinishCase();
    QCOMPARE(LiveEncoderRecords(), 0);
}

EncoderRecord* tst_App::AddAndSelect(const QString& text)
{
    EncoderRecord* item = m_frame->AddEncoder(text);
    Tree()->SelectOnly(item);
    return item;
}

// Every exchange started has ended (the items and the status bar are idle again).
bool tst_App::WaitIdle(int timeoutMs)
{
    return QTest::qWaitFor([this] { return m_frame && !m_frame->InExchange(); }, timeoutMs);
}

// A new frame on the same stand-in with other link settings.
void tst_App::Recreate(const std::function<void(LinkOptions&)>& change)
{
    LinkOptions link = m_frame->LinkSettings();
    const std::string outFile = m_frame->OutFile();
    delete m_frame.data();
    change(link);
    m_frame = new CMainFrame(*m_prompter, link, outFile);
    QVERIFY(ShowWindow(m_frame, QSize(1001, 700)));
}

// The way an operator gives a device command: the context menu, answered with `id`.
void tst_App::RunMenuCommand(int id)
{
    m_prompter->menuChoice = id;
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), Tree()->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(Tree()->viewport(), &event);
}

// Reads the selected encoder, as a write needs first; the read's boxes are forgotten.
bool tst_App::ReadSelected()
{
    RunMenuCommand(ID_READ_CONFIGURATION);
    const bool idle = WaitIdle();
    const bool read = m_sim->RequestCount(CMD_READ_CONFIG) > 0 && m_prompter->boxes.empty();
    m_prompter->boxes.clear();
    return idle && read;
}

void tst_App::addEncoderKeepsOneItemPerAddress()
{
    EncoderRecord* first = m_frame->AddEncoder(QStringLiteral("10.0.0.10"));
    EncoderRecord* second = m_frame->AddEncoder(QStringLiteral("192.168.1.20"));
    QCOMPARE(m_frame->AddEncoder(QStringLiteral("10.0.0.10")), first);
    QCOMPARE(ItemTexts(*Tree()), QStringList({"10.0.0.10", "192.168.1.20"}));
    QCOMPARE(LiveEncoderRecords(), 2);

    const EncoderRecord* record = second;
    QVERIFY(record);
    QCOMPARE(record->ipAddr, 0xC0A80114u);
    QCOMPARE(record->loaded, uint8_t(0));
    QCOMPARE(Tree()->ItemImage(second), IMAGE_OFFLINE);
    QVERIFY(!Tree()->SelectedItem());
}

void tst_App::findEncoderMatchesWholeText()
{
    m_frame->AddEncoder(QStringLiteral("10.0.0.10"));
    QVERIFY(!m_frame->FindEncoderItem(QStringLiteral("10.0.0.1")));
    EncoderRecord* shorter = m_frame->AddEncoder(QStringLiteral("10.0.0.1"));
    QCOMPARE(Tree()->ItemCount(), 2);
    QCOMPARE(m_frame->FindEncoderItem(QStringLiteral("10.0.0.1")), shorter);
    QVERIFY(!m_frame->FindEncoderItem(QStringLiteral("10.0.0.100")));
    QVERIFY(!m_frame->FindEncoderItem(QString()));
}

void tst_App::deleteEncoderFreesRecordAndSelection()
{
    m_frame->AddEncoder(QStringLiteral("10.0.0.1"));
    AddAndSelect(QStringLiteral("10.0.0.2"));
    m_frame->MessagePane()->AddMessage(1, QStringLiteral("old line"));
    QCOMPARE(LiveEncoderRecords(), 2);

    RunMenuCommand(ID_DEL_ENCODER);
    QCOMPARE(ItemTexts(*Tree()), QStringList({"10.0.0.1"}));
    QCOMPARE(LiveEncoderRecords(), 1);
    QVERIFY(!Tree()->SelectedItem());
    QCOMPARE(m_frame->MessagePane()->MessageCount(), 0);

    // With nothing selected the command does nothing.
    RunMenuCommand(ID_DEL_ENCODER);
    Tree()->OnCommand(ID_DEL_ENCODER);
    QCOMPARE(Tree()->ItemCount(), 1);
}

void tst_App::closingTheWindowFreesEveryRecord()
{
    for (const char* address : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) m_frame->AddEncoder(QString::fromLatin1(address));
    QCOMPARE(LiveEncoderRecords(), 3);
    QVERIFY(m_frame->close());
    QTRY_VERIFY(m_frame.isNull());
    QCOMPARE(LiveEncoderRecords(), 0);
}

void tst_App::contextMenuEnabling_data()
{
    QTest::addColumn<bool>("selected");
    QTest::newRow("no encoder selected") << false;
    QTest::newRow("an encoder selected") << true;
}

void tst_App::contextMenuEnabling()
{
    QFETCH(bool, selected);
    EncoderRecord* item = m_frame->AddEncoder(QStringLiteral("10.0.0.1"));
    if (selected) Tree()->SelectOnly(item);
    RunMenuCommand(0);
    QCOMPARE(m_prompter->menus.size(), 1);
    const QList<RecordedMenuItem> expected = {
        {"Search Encoder", ID_SEARCH_ENCODER, true},
        {"Add Encoder", ID_ADD_ENCODER, true},
        {"Del Encoder", ID_DEL_ENCODER, selected},
        {"-", 0, false},
        {"Read Configuration", ID_READ_CONFIGURATION, selected},
        {"Write Configuration", ID_WRITE_CONFIGURATION, selected},
        {"-", 0, false},
        {"Start TS -> IP", ID_START_TS_IP, selected},
        {"Stop TS -> IP", ID_STOP_TS_IP, selected},
    };
    QCOMPARE(m_prompter->menus.first(), expected);
}

// A right click picks the item under the pointer, so that the menu acts on what was
// clicked; inside a selection it keeps the selection; below the items it changes nothing.
void tst_App::rightClickSelectsItemUnderPointer()
{
    EncoderRecord* first = AddAndSelect(QStringLiteral("10.0.0.1"));
    EncoderRecord* second = m_frame->AddEncoder(QStringLiteral("10.0.0.2"));
    EncoderRecord* third = m_frame->AddEncoder(QStringLiteral("10.0.0.3"));
    QTest::mouseClick(Tree()->viewport(), Qt::RightButton, {}, ItemPoint(*Tree(), second));
    QCOMPARE(Tree()->SelectedItem(), second);
    QCOMPARE(Tree()->SelectedEncoderItems(), QList<EncoderRecord*>({second}));
    QVERIFY(m_frame->CommandAction(ID_READ_CONFIGURATION)->isEnabled());

    // A click below the items keeps the choice.
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {}, QPoint(20, Tree()->viewport()->height() - 5));
    QTest::mouseClick(Tree()->viewport(), Qt::RightButton, {}, QPoint(20, Tree()->viewport()->height() - 5));
    QCOMPARE(Tree()->SelectedItem(), second);

    // Inside a selection of several, the clicked item becomes current and all stay selected.
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, Qt::ControlModifier, ItemPoint(*Tree(), third));
    QCOMPARE(Tree()->SelectedEncoderItems(), QList<EncoderRecord*>({second, third}));
    QTest::mouseClick(Tree()->viewport(), Qt::RightButton, {}, ItemPoint(*Tree(), second));
    QCOMPARE(Tree()->SelectedEncoderItems(), QList<EncoderRecord*>({second, third}));
    QCOMPARE(Tree()->SelectedItem(), second);
    QTest::mouseClick(Tree()->viewport(), Qt::RightButton, {}, ItemPoint(*Tree(), first));
    QCOMPARE(Tree()->SelectedEncoderItems(), QList<EncoderRecord*>({first}));
}

void tst_App::multipleSelection()
{
    for (const char* address : {"10.0.0.3", "10.0.0.20", "10.0.0.1"}) m_frame->AddEncoder(QString::fromLatin1(address));
    Tree()->setFocus();
    QTest::keyClick(Tree(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(Tree()->SelectedEncoderItems().size(), 3);
    QVERIFY(m_frame->CommandAction(ID_DEL_ENCODER)->isEnabled());

    // Sorting by address sorts numerically; items added later go to the end.
    Tree()->header()->setSectionsClickable(true);
    emit Tree()->header()->sectionClicked(kColumnAddress);
    QCOMPARE(ItemTexts(*Tree()), QStringList({"10.0.0.1", "10.0.0.3", "10.0.0.20"}));
    emit Tree()->header()->sectionClicked(kColumnAddress);
    QCOMPARE(ItemTexts(*Tree()), QStringList({"10.0.0.20", "10.0.0.3", "10.0.0.1"}));
    m_frame->AddEncoder(QStringLiteral("10.0.0.2"));
    QCOMPARE(ItemTexts(*Tree()).last(), QStringLiteral("10.0.0.2"));

    // Del on a selection removes every selected encoder and its record.
    m_frame->CommandAction(ID_DEL_ENCODER)->trigger();
    QCOMPARE(ItemTexts(*Tree()), QStringList({"10.0.0.2"}));
    QCOMPARE(LiveEncoderRecords(), 1);
}

void tst_App::readConfiguration_data()
{
    QTest::addColumn<bool>("answers");
    QTest::addColumn<std::vector<uint8_t>>("status");
    QTest::addColumn<int>("image");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<bool>("loaded");
    QTest::newRow("healthy") << true << kHealthy << IMAGE_ONLINE << QString() << true;
    QTest::newRow("alarms do not stop a read")
        << true << std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0} << IMAGE_ONLINE << QString() << true;
    QTest::newRow("busy") << true << std::vector<uint8_t>{1, 0, 38, 1, 1, 1, 1} << IMAGE_ONLINE << "Device is busying !"
                          << false;
    QTest::newRow("keyboard") << true << std::vector<uint8_t>{0, 1, 38, 1, 1, 1, 1} << IMAGE_ONLINE
                              << "Device is controled by keyboard !" << false;
    QTest::newRow("busy before keyboard")
        << true << std::vector<uint8_t>{1, 1, 38, 1, 1, 1, 1} << IMAGE_ONLINE << "Device is busying !" << false;
    QTest::newRow("no answer") << false << kHealthy << IMAGE_OFFLINE << "Connect Device Failed !" << false;
}

void tst_App::readConfiguration()
{
    QFETCH(bool, answers);
    QFETCH(std::vector<uint8_t>, status);
    QFETCH(int, image);
    QFETCH(QString, warning);
    QFETCH(bool, loaded);

    EncoderRecord* item = AddAndSelect(kSimAddress);
    if (!answers) {
        Tree()->SetItemImage(item, IMAGE_ONLINE);   // a failure must take the online image away
        m_sim->Stop();
    }
    m_sim->SetStatus(status);
    RunMenuCommand(ID_READ_CONFIGURATION);
    QVERIFY(WaitIdle());

    QCOMPARE(Tree()->ItemImage(item), image);
    const EncoderRecord* record = item;
    QCOMPARE(record->loaded != 0, loaded);
    if (warning.isEmpty()) {
        QVERIFY2(m_prompter->boxes.empty(), qPrintable(m_prompter->BoxTexts().join(" | ")));
        QVERIFY(record->program_info1.progName[0] != 0);
    } else {
        QCOMPARE(m_prompter->BoxTexts(), QStringList(warning));
        const RecordedBox& box = m_prompter->boxes.front();
        QCOMPARE(box.owner.data(), static_cast<QWidget*>(Tree()));
        QCOMPARE(box.caption, QStringLiteral("Warning"));
        QCOMPARE(box.icon, CPrompter::Icon::Exclamation);
    }
    if (answers) QCOMPARE(m_sim->RequestCount(CMD_READ_CONFIG), loaded ? 1 : 0);
    QVERIFY(!QApplication::overrideCursor());
}

void tst_App::readWithNoEncoderSelectedDoesNothing()
{
    m_frame->AddEncoder(kSimAddress);
    for (int id : {ID_READ_CONFIGURATION, ID_WRITE_CONFIGURATION, ID_START_TS_IP, ID_STOP_TS_IP})
        QVERIFY(Tree()->OnCommand(id));
    QVERIFY(m_prompter->boxes.empty());
    QVERIFY(m_sim->Requests().empty());
}

void tst_App::writeConfiguration_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<std::vector<uint8_t>>("status");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("sent");
    QTest::newRow("accepted") << "admin"
                              << "secret" << kHealthy << "Set Configuration Success !"
                              << "Tip" << true;
    QTest::newRow("wrong password") << "guess"
                                    << "secret" << kHealthy << "Password Error !"
                                    << "Warning" << true;
    QTest::newRow("no password") << ""
                                 << "secret" << kHealthy << "Please enter correct passowrd !"
                                 << "Warning" << false;
    QTest::newRow("no new password") << "admin"
                                     << "" << kHealthy << "Please enter correct newPassowrd !"
                                     << "Warning" << false;
    QTest::newRow("busy") << "admin"
                          << "secret" << std::vector<uint8_t>{1, 0, 38, 1, 1, 1, 1} << "Device is busying !"
                          << "Warning" << false;
    QTest::newRow("keyboard") << "admin"
                              << "secret" << std::vector<uint8_t>{0, 1, 38, 1, 1, 1, 1}
                              << "Device is controled by keyboard !"
                              << "Warning" << false;
}

void tst_App::writeConfiguration()
{
    QFETCH(QString, password);
    QFETCH(QString, newPassword);
    QFETCH(std::vector<uint8_t>, status);
    QFETCH(QString, box);
    QFETCH(QString, caption);
    QFETCH(bool, sent);

    EncoderRecord* item = AddAndSelect(kSimAddress);
    QVERIFY(ReadSelected());
    EncoderRecord* record = item;
    std::strncpy(record->password, password.toLatin1().constData(), sizeof record->password - 1);
    std::strncpy(record->newPassword, newPassword.toLatin1().constData(), sizeof record->newPassword - 1);
    m_sim->SetStatus(status);
    RunMenuCommand(ID_WRITE_CONFIGURATION);
    QVERIFY(WaitIdle());

    QCOMPARE(m_prompter->BoxTexts(), QStringList(box));
    QCOMPARE(m_prompter->boxes.front().caption, caption);
    QCOMPARE(m_prompter->boxes.front().icon, caption == "Tip" ? CPrompter::Icon::None : CPrompter::Icon::Exclamation);
    // The tree's own refusals are owned by the tree; the exchange's boxes by the main window.
    const bool treeBox = box.startsWith("Device");
    QCOMPARE(m_prompter->boxes.front().owner.data(),
             treeBox ? static_cast<QWidget*>(Tree()) : static_cast<QWidget*>(m_frame.data()));
    QCOMPARE(m_sim->RequestCount(CMD_WRITE_CONFIG), sent ? 1 : 0);
    QCOMPARE(Tree()->ItemImage(item),
             IMAGE_ONLINE);   // as the read left it: a write's answered query changes no image
}

// Ctrl+S straight from a field being typed writes what was typed.
void tst_App::writeTakesTheFieldBeingTyped()
{
    EncoderRecord* item = AddAndSelect(kSimAddress);
    QVERIFY(ReadSelected());
    std::strcpy(item->newPassword, "secret");
    CRowTreeItem* row = m_frame->SettingsSheet()->RowFor(10005);
    CRowTree* column = row->GetOwner();
    column->EnsureVisible(row);
    column->LayoutRows();
    QTest::mouseClick(column->GetList(), Qt::LeftButton, {}, row->GetValueRect().center());
    auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(field);
    QTest::keyClicks(field, QStringLiteral("admin"));
    QCOMPARE(item->password[0], '\0');   // not committed yet
    m_frame->CommandAction(ID_WRITE_CONFIGURATION)->trigger();
    QVERIFY(WaitIdle());
    QCOMPARE(m_prompter->BoxTexts(), QStringList("Set Configuration Success !"));
    QCOMPARE(QString::fromLatin1(item->password), QStringLiteral("admin"));
}

void tst_App::startAndStop()
{
    AddAndSelect(kSimAddress);
    RunMenuCommand(ID_START_TS_IP);
    QVERIFY(m_sim->WaitForRequests(1, 2000));
    QVERIFY(WaitIdle());
    QTRY_VERIFY(m_sim->TsRunning());
    RunMenuCommand(ID_STOP_TS_IP);
    QVERIFY(m_sim->WaitForRequests(2, 2000));
    QVERIFY(WaitIdle());
    QTRY_VERIFY(!m_sim->TsRunning());
    QCOMPARE(m_sim->Requests(), std::vector<int32_t>({CMD_START_TS, CMD_STOP_TS}));
    QVERIFY(m_prompter->boxes.empty());

    m_sim->Stop();
    RunMenuCommand(ID_START_TS_IP);
    QVERIFY(WaitIdle());
    QCOMPARE(m_prompter->BoxTexts(), QStringList("Connect Encoder Failed !"));
    QCOMPARE(m_prompter->boxes.front().owner.data(), static_cast<QWidget*>(m_frame.data()));
}

void tst_App::searchAddsWhatAnswers()
{
    m_frame->AddEncoder(QStringLiteral("127.0.0.2"));
    m_sim->SetSearchReplies({0x7F000002u, 0x7F000003u, 0x7F000003u});
    QStringList blank;
    m_prompter->dialogScripts.push_back(TypeAddress(kSimAddress, &blank));
    RunMenuCommand(ID_SEARCH_ENCODER);
    QVERIFY(WaitIdle());
    QCOMPARE(m_prompter->dialogTitles, QStringList("Search Device Dialog"));
    QCOMPARE(blank, QStringList("blank"));
    QCOMPARE(ItemTexts(*Tree()), QStringList({"127.0.0.2", "127.0.0.3"}));
    QCOMPARE(m_sim->LastSearchRequest(), std::vector<uint8_t>({0xE9, 0x03, 0x04, 0x00, 0xF0}));
    QVERIFY(m_prompter->boxes.empty());

    // Cancel searches nothing.
    m_prompter->dialogScripts.push_back(Cancel());
    m_sim->SetSearchReplies({0x7F000004u});
    RunMenuCommand(ID_SEARCH_ENCODER);
    QCOMPARE(Tree()->ItemCount(), 2);
}

void tst_App::deviceMessages_data()
{
    QTest::addColumn<std::vector<uint8_t>>("status");
    QTest::addColumn<bool>("program2On");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<int>>("images");
    QTest::newRow("every alarm, newest on top")
        << std::vector<uint8_t>{0, 0, 90, 0, 0, 0, 0} << true
        << QStringList{"Program-2 no input", "Program-2 no output", "Program-1 no input", "Program-1 no output",
                       "Device temperature warning"}
        << QList<int>{0, 0, 0, 0, 1};
    QTest::newRow("program 2 switched off")
        << std::vector<uint8_t>{0, 0, 38, 1, 1, 0, 0} << false << QStringList() << QList<int>();
    QTest::newRow("program 1 input only")
        << std::vector<uint8_t>{1, 1, 38, 1, 0, 1, 1} << true << QStringList{"Program-1 no input"} << QList<int>{0};
    QTest::newRow("no alarms") << kHealthy << true << QStringList() << QList<int>();
}

void tst_App::deviceMessages()
{
    QFETCH(std::vector<uint8_t>, status);
    QFETCH(bool, program2On);
    QFETCH(QStringList, lines);
    QFETCH(QList<int>, images);

    EncoderRecord* item = AddAndSelect(kSimAddress);
    EncoderRecord* record = item;
    record->loaded = 1;   // as a read leaves it: the programs' switches count
    record->temperature = 60;
    record->program_info1.start = 1;
    record->program_info2.start = program2On ? 1 : 0;
    m_sim->SetStatus(status);
    m_frame->MessagePane()->OnCommand(ID_READ_DEVICE_MESSAGE);
    QVERIFY(WaitIdle());

    QCOMPARE(MessageTexts(*m_frame->MessagePane()), lines);
    for (int i = 0; i < images.size(); ++i) QCOMPARE(m_frame->MessagePane()->MessageImage(i), images[i]);
    QVERIFY(m_prompter->boxes.empty());
    QCOMPARE(Tree()->ItemImage(item), IMAGE_OFFLINE);   // the pane's query leaves the image alone
}

void tst_App::deviceMessagesRepeatAndEmpty()
{
    AddAndSelect(kSimAddress);
    EncoderRecord* other = m_frame->AddEncoder(QStringLiteral("127.0.0.2"));
    // A record never read: nothing says a program is off, so both count, and the list
    // says what the reading could not tell.
    m_sim->SetStatus({0, 0, 38, 0, 0, 0, 0});
    m_frame->MessagePane()->OnCommand(ID_READ_DEVICE_MESSAGE);
    QVERIFY(WaitIdle());
    const QStringList once = {"Configuration not read yet: the temperature warning threshold is not known",
                              "Configuration not read yet: program alarms count both programs as switched on",
                              "Program-2 no input",
                              "Program-2 no output",
                              "Program-1 no input",
                              "Program-1 no output"};
    QCOMPARE(MessageTexts(*m_frame->MessagePane()), once);
    QCOMPARE(m_frame->MessagePane()->MessageImage(0), 1);
    // Read: the record's switches count.
    Tree()->SelectedItem()->loaded = 1;
    Tree()->SelectedItem()->program_info1.start = 1;
    m_frame->MessagePane()->OnCommand(ID_READ_DEVICE_MESSAGE);
    QVERIFY(WaitIdle());
    QCOMPARE(MessageTexts(*m_frame->MessagePane()), QStringList({"Program-1 no input", "Program-1 no output"}) + once);

    m_sim->Stop();
    m_frame->MessagePane()->OnCommand(ID_READ_DEVICE_MESSAGE);
    QVERIFY(WaitIdle());
    QCOMPARE(m_frame->MessagePane()->MessageText(0), QStringLiteral("Connect device failed"));
    QCOMPARE(m_frame->MessagePane()->MessageImage(0), 1);
    QCOMPARE(m_frame->MessagePane()->MessageCount(), 9);
    QVERIFY(m_prompter->boxes.empty());

    Tree()->SelectOnly(other);
    QCOMPARE(m_frame->MessagePane()->MessageCount(), 0);
}

void tst_App::messagePopupNeedsSelection()
{
    QWidget* list = m_frame->MessagePane()->List()->viewport();
    EncoderRecord* item = m_frame->AddEncoder(kSimAddress);
    QContextMenuEvent unselected(QContextMenuEvent::Mouse, QPoint(10, 10), list->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(list, &unselected);
    QVERIFY(m_prompter->menus.isEmpty());

    Tree()->SelectOnly(item);
    m_sim->SetStatus({0, 0, 0, 1, 1, 1, 1});
    item->loaded = 1;
    item->temperature = 1;
    m_sim->SetStatus({0, 0, 5, 1, 1, 1, 1});
    m_prompter->menuChoice = ID_READ_DEVICE_MESSAGE;
    QContextMenuEvent selected(QContextMenuEvent::Mouse, QPoint(10, 10), list->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(list, &selected);
    QVERIFY(WaitIdle());
    QCOMPARE(m_prompter->menus.size(), 1);
    QCOMPARE(m_prompter->menus.first(),
             QList<RecordedMenuItem>({{"Read Device Message", ID_READ_DEVICE_MESSAGE, true}}));
    QCOMPARE(MessageTexts(*m_frame->MessagePane()), QStringList("Device temperature warning"));
}

void tst_App::addressDialogs_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("item");
    QTest::newRow("short fields") << "10.1.2.3"
                                  << "10.1.2.3";
    QTest::newRow("loopback") << "127.0.0.1"
                              << "127.0.0.1";
    QTest::newRow("third digit moves on") << "10020030.40"
                                          << "100.200.30.40";
    QTest::newRow("dot after a full field") << "192.168.1.20"
                                            << "192.168.1.20";
    QTest::newRow("above 255") << "300.1.2.3"
                               << "255.1.2.3";
    QTest::newRow("empty") << ""
                           << "0.0.0.0";
    QTest::newRow("empty fields are 0") << "10"
                                        << "10.0.0.0";
}

void tst_App::addressDialogs()
{
    QFETCH(QString, typed);
    QFETCH(QString, item);
    QStringList blank;
    m_prompter->dialogScripts.push_back(TypeAddress(typed, &blank));
    RunMenuCommand(ID_ADD_ENCODER);
    QCOMPARE(m_prompter->dialogTitles, QStringList("Add Device Dialog"));
    QCOMPARE(ItemTexts(*Tree()), QStringList(item));
    QCOMPARE(Tree()->SelectedItem(), Tree()->ItemAt(0));   // the new encoder is the current one
    QCOMPARE(Tree()->ItemAt(0)->ipAddr, InetAddrHostOrder(item.toLatin1().constData()));

    // The next dialog starts empty again.
    m_prompter->dialogScripts.push_back(TypeAddress(QStringLiteral("10.1.1.1"), &blank));
    RunMenuCommand(ID_ADD_ENCODER);
    QCOMPARE(blank, QStringList({"blank", "blank"}));
    QCOMPARE(Tree()->ItemCount(), item == "10.1.1.1" ? 1 : 2);
}

void tst_App::addressDialogCancelChangesNothing()
{
    CAddDeviceDlg dialog;
    m_prompter->dialogScripts.push_back(Cancel());
    QCOMPARE(m_prompter->RunDialog(dialog), int(QDialog::Rejected));
    QCOMPARE(dialog.Address(), 0u);

    m_prompter->dialogScripts.push_back(Cancel());
    RunMenuCommand(ID_ADD_ENCODER);
    QCOMPARE(Tree()->ItemCount(), 0);
    QCOMPARE(LiveEncoderRecords(), 0);
}

void tst_App::aboutBox()
{
    QString product;
    m_prompter->dialogScripts.push_back([&product](QDialog& dialog) {
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            if (label->text().startsWith("Korvane")) product = label->text().section('\n', 0, 0);
        return int(QDialog::Accepted);
    });
    QAction* about = m_frame->CommandAction(ID_APP_ABOUT);
    QVERIFY(about->isEnabled());
    about->trigger();
    QCOMPARE(m_prompter->dialogTitles, QStringList("About"));
    QCOMPARE(product, QStringLiteral("Korvane SDI ENCODER"));
}

// During a read the window answers: the item counts down, the status bar sums up, other
// commands run at once, and when the read ends nothing clicked meanwhile is replayed.
void tst_App::windowAnswersDuringRead()
{
    Recreate([](LinkOptions& link) { link.timing.readWaitMs = 1500; });
    EncoderRecord* item = AddAndSelect(kSimAddress);
    RunMenuCommand(ID_READ_CONFIGURATION);
    QVERIFY(m_frame->InFlight(0x7F000001u));
    QCOMPARE(Tree()->ItemText(item, kColumnState), QStringLiteral("in flight"));
    QVERIFY2(Tree()->ItemText(item, kColumnActivity).startsWith("Read Configuration, "),
             qPrintable(Tree()->ItemText(item, kColumnActivity)));
    const QString status = m_frame->statusBar()->currentMessage();
    QVERIFY2(status.startsWith("Read Configuration 127.0.0.1: waiting for the encoder, 2 s left"), qPrintable(status));
    QVERIFY(m_frame->CommandAction(ID_CANCEL_EXCHANGES)->isEnabled());
    QVERIFY(!m_frame->CommandAction(ID_READ_CONFIGURATION)->isEnabled());

    // The sheet of the encoder in flight takes no edit; the other commands work now.
    QVERIFY(m_frame->SettingsSheet()->RowFor(10005)->IsReadOnly());
    dynamic_cast<QLineEdit*>(m_frame->SettingsSheet()->RowFor(10014))->setText(QStringLiteral("Typed"));
    m_frame->OnCommand(10014);
    QCOMPARE(item->program_info1.progName[0], '\0');
    QCOMPARE(dynamic_cast<QLineEdit*>(m_frame->SettingsSheet()->RowFor(10014))->text(), QString());
    m_frame->CommandAction(ID_APP_ABOUT)->trigger();
    QCOMPARE(m_prompter->dialogTitles, QStringList("About"));
    EncoderRecord* other = m_frame->AddEncoder(QStringLiteral("10.0.0.9"));
    Tree()->SelectOnly(other);
    // The sheet follows the other encoder, which is not in flight but was never read.
    QVERIFY(m_frame->SettingsSheet()->Notice().startsWith(QStringLiteral("Not read yet")));
    QVERIFY(m_frame->CommandAction(ID_DEL_ENCODER)->isEnabled());
    QVERIFY(m_frame->InExchange());

    QVERIFY(WaitIdle());
    QVERIFY(item->loaded);
    QCOMPARE(m_prompter->dialogTitles, QStringList("About"));   // nothing replayed
    QVERIFY(m_prompter->boxes.empty());
    QCOMPARE(Tree()->ItemText(item, kColumnState), QStringLiteral("online"));
    QVERIFY(!Tree()->ItemText(item, kColumnLastRead).isEmpty());
    QCOMPARE(Tree()->ItemText(item, kColumnProg1Output), QStringLiteral("running"));
    QCOMPARE(Tree()->ItemText(item, kColumnTemperature), QStringLiteral("38 \u00B0C"));
    QCOMPARE(m_frame->statusBar()->currentMessage(), QString());
    QCOMPARE(m_frame->MessageField()->text(), QStringLiteral("Ready"));
    QVERIFY(!m_frame->CommandAction(ID_CANCEL_EXCHANGES)->isEnabled());
}

// Every way to give Del during a read is refused, and nothing deletes the encoder after.
void tst_App::delDuringReadHasNoEffect()
{
    Recreate([](LinkOptions& link) { link.timing.readWaitMs = 800; });
    EncoderRecord* item = AddAndSelect(kSimAddress);
    RunMenuCommand(ID_READ_CONFIGURATION);
    QVERIFY(m_frame->InFlight(0x7F000001u));

    QVERIFY(!m_frame->CommandAction(ID_DEL_ENCODER)->isEnabled());
    RunMenuCommand(ID_DEL_ENCODER);
    QCOMPARE(m_prompter->menus.last().at(2), RecordedMenuItem({"Del Encoder", ID_DEL_ENCODER, false}));
    Tree()->OnCommand(ID_DEL_ENCODER);
    m_frame->OnCommand(ID_DEL_ENCODER);
    QVERIFY(!m_frame->Roster().DeleteEncoder(item));
    Tree()->setFocus();
    QTest::keyClick(Tree(), Qt::Key_Delete);
    QCOMPARE(Tree()->ItemCount(), 1);

    QVERIFY(WaitIdle());
    QCOMPARE(Tree()->ItemCount(), 1);
    QCOMPARE(LiveEncoderRecords(), 1);
    QVERIFY(item->loaded);
    QVERIFY(m_frame->CommandAction(ID_DEL_ENCODER)->isEnabled());
    m_frame->CommandAction(ID_DEL_ENCODER)->trigger();
    QCOMPARE(Tree()->ItemCount(), 0);
}

void tst_App::cancelMidReadLeavesRecord()
{
    Recreate([](LinkOptions& link) { link.timing.readWaitMs = 20000; });
    EncoderRecord* item = AddAndSelect(kSimAddress);
    EncoderRecord* record = item;
    std::strcpy(record->program_info1.progName, "Mine");
    record->program_info1.video.pid = 300;
    const EncoderRecord before = *record;

    RunMenuCommand(ID_READ_CONFIGURATION);
    QVERIFY(m_sim->WaitForRequests(2, 2000));   // status answered, read request sent
    QCOMPARE(m_sim->Requests().back(), CMD_READ_CONFIG);
    QElapsedTimer clock;
    clock.start();
    // Esc cancels wherever the focus is in the window.
    m_frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_frame));
    m_frame->SettingsSheet()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(WaitIdle(5000));   // far inside the 20 s wait
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(std::memcmp(record, &before, sizeof before), 0);
    QVERIFY(m_prompter->boxes.empty());
    QVERIFY2(Tree()->ItemText(item, kColumnActivity).contains("cancelled"),
             qPrintable(Tree()->ItemText(item, kColumnActivity)));
    const auto& entries = m_frame->ActivityLog()->Entries();
    QVERIFY(!entries.empty());
    QVERIFY(entries.back().text.contains("cancelled"));
    QCOMPARE(entries.back().encoder, kSimAddress);
    QCOMPARE(entries.back().severity, CActivityLog::Severity::Warning);
    QCOMPARE(m_frame->SettingsSheet()->ReadEditor(10005).has_value(), true);
}

void tst_App::closingDuringExchange_data()
{
    QTest::addColumn<bool>("quit");
    QTest::newRow("keep running") << false;
    QTest::newRow("cancel and quit") << true;
}

void tst_App::closingDuringExchange()
{
    QFETCH(bool, quit);
    Recreate([](LinkOptions& link) { link.timing.readWaitMs = 20000; });
    AddAndSelect(kSimAddress);
    RunMenuCommand(ID_READ_CONFIGURATION);
    QVERIFY(m_frame->InExchange());
    m_prompter->questionAnswer = quit;
    QCOMPARE(m_frame->close(), quit);
    QCOMPARE(m_prompter->questions, QStringList("1 exchanges are still running. Cancel them and quit?"));
    if (!quit) {
        QVERIFY(m_frame->isVisible());
        QVERIFY(m_frame->InExchange());
        m_frame->DeviceCommands().CancelExchanges();
        QVERIFY(WaitIdle());
        // Nothing runs now: closing asks nothing.
        QVERIFY(m_frame->close());
        QCOMPARE(m_prompter->questions.size(), 1);
    }
    QTRY_VERIFY(m_frame.isNull());
    QCOMPARE(LiveEncoderRecords(), 0);
    QVERIFY(m_prompter->boxes.empty());
}

// Read on 20 selected encoders, 3 of them faulty: one summary box, each outcome on its
// item and in the log, each the result the encoder alone would give.
void tst_App::fleetReadSummary()
{
    SimOptions options;
    options.bindAddress = "127.0.0.2-21";
    auto fleet = std::make_unique<CEncoderSim>(options);
    QVERIFY2(fleet->Start(), fleet->Error().c_str());
    Recreate([&fleet](LinkOptions& link) {
        link.commandPort = fleet->CommandPort();
        link.searchPort = fleet->SearchPort();
    });
    fleet->EncoderFor(0x7F000005u).SetFault(SimFault::Silence);
    fleet->EncoderFor(0x7F000009u).SetStatus({1, 0, 38, 1, 1, 1, 1});
    fleet->EncoderFor(0x7F00000Du).SetFault(SimFault::WrongRoot);
    for (int i = 2; i <= 21; ++i) m_frame->AddEncoder(QStringLiteral("127.0.0.%1").arg(i));
    Tree()->selectAll();
    QCOMPARE(Tree()->SelectedEncoderItems().size(), 20);
    QSignalSpy summaries(&m_frame->ExchangeView(), &CExchangeView::commandSummarised);
    RunMenuCommand(ID_READ_CONFIGURATION);
    QVERIFY(WaitIdle(10000));

    // The failed encoders, in address order, each with what its command said.
    QCOMPARE(m_prompter->BoxTexts(),
             QStringList("Read Configuration on 20 encoders: 17 succeeded, 3 failed.\n\n"
                         "127.0.0.5: Connect Device Failed !\n"
                         "127.0.0.9: Device is busying !\n"
                         "127.0.0.13: the encoder's reply was incomplete or not a settings document it could read"));
    QCOMPARE(m_prompter->boxes.front().caption, QStringLiteral("Warning"));
    QCOMPARE(summaries.count(), 1);
    int loaded = 0;
    for (int i = 0; i < Tree()->ItemCount(); ++i) {
        const EncoderRecord* item = Tree()->ItemAt(i);
        const EncoderRecord* record = item;
        loaded += record->loaded ? 1 : 0;
        const QString activity = Tree()->ItemText(item, kColumnActivity);
        if (Tree()->ItemText(item, 0) == "127.0.0.5") {
            QCOMPARE(activity, QStringLiteral("Read Configuration failed: Connect Device Failed !"));
            QCOMPARE(Tree()->ItemText(item, kColumnState), QStringLiteral("offline"));
        } else if (Tree()->ItemText(item, 0) == "127.0.0.9") {
            QCOMPARE(activity, QStringLiteral("Read Configuration failed: Device is busying !"));
            QCOMPARE(Tree()->ItemText(item, kColumnState), QStringLiteral("busy"));
        } else if (Tree()->ItemText(item, 0) == "127.0.0.13") {
            QVERIFY2(activity.startsWith("Read Configuration failed"), qPrintable(activity));
            QVERIFY(!record->loaded);
        } else {
            QCOMPARE(activity, QStringLiteral("Read Configuration succeeded"));
            QCOMPARE(Tree()->ItemImage(item), IMAGE_ONLINE);
        }
    }
    QCOMPARE(loaded, 17);
    // One line per encoder, then the summary; the silent failure says why.
    int lines = 0;
    QString silent;
    for (const CActivityLog::Entry& entry : m_frame->ActivityLog()->Entries()) {
        if (entry.text.startsWith("Read Configuration") && !entry.encoder.isEmpty()) ++lines;
        if (entry.encoder == "127.0.0.13" && entry.text.startsWith("Read Configuration")) silent = entry.text;
    }
    QCOMPARE(lines, 20);
    QVERIFY2(silent.contains("not a settings document"), qPrintable(silent));
    // The log's summary line is the box's first line.
    QCOMPARE(m_frame->ActivityLog()->Entries().back().text, m_prompter->BoxTexts().first().section('\n', 0, 0));
    m_frame->DeviceCommands().CancelExchanges();
    delete m_frame.data();
}

void tst_App::monitorRaisesAndClearsAlarm()
{
    QVERIFY(!m_frame->DeviceCommands().Monitoring());
    QVERIFY(!m_frame->CommandAction(ID_VIEW_MONITOR)->isChecked());
    QCOMPARE(m_frame->DeviceCommands().MonitorInterval(), 10000);
    EncoderRecord* item = m_frame->AddEncoder(kSimAddress);
    item->program_info1.start = 1;
    m_sim->SetStatus({0, 0, 38, 0, 1, 1, 1});
    m_frame->DeviceCommands().SetMonitorInterval(50);
    m_frame->CommandAction(ID_VIEW_MONITOR)->trigger();
    QVERIFY(m_frame->DeviceCommands().Monitoring());

    auto logged = [this](const QString& text) {
        for (const CActivityLog::Entry& entry : m_frame->ActivityLog()->Entries())
            if (entry.text == text && entry.encoder == kSimAddress) return true;
        return false;
    };
    QTRY_VERIFY(logged("Alarm raised: Program-1 no output"));
    QCOMPARE(Tree()->ItemText(item, kColumnProg1Output), QStringLiteral("none"));
    QVERIFY(!m_frame->InExchange());   // a watch's readings leave the commands free
    m_sim->SetStatus({0, 0, 38, 1, 1, 1, 1});
    QTRY_VERIFY(logged("Alarm cleared: Program-1 no output"));
    QTRY_COMPARE(Tree()->ItemText(item, kColumnProg1Output), QStringLiteral("running"));
    QVERIFY(m_prompter->boxes.empty());

    // A command on a watched encoder goes ahead at once.
    Tree()->SelectOnly(item);
    RunMenuCommand(ID_READ_CONFIGURATION);
    QVERIFY(WaitIdle());
    QCOMPARE(Tree()->ItemText(item, kColumnActivity), QStringLiteral("Read Configuration succeeded"));
    // Nor does a watch's reading hold back Del; its late result finds no encoder.
    QVERIFY(m_frame->CommandAction(ID_DEL_ENCODER)->isEnabled());
    QVERIFY(m_frame->Roster().DeleteEncoder(item));
    QCOMPARE(LiveEncoderRecords(), 0);
    m_frame->CommandAction(ID_VIEW_MONITOR)->trigger();
    QVERIFY(!m_frame->DeviceCommands().Monitoring());
}

void tst_App::addressBookRoundTrip()
{
    QTRY_VERIFY(m_frame->close());
    QTRY_VERIFY(m_frame.isNull());
    QSettings().setValue(kAddressBookKey, QStringList({"10.0.0.5", "bogus", "192.168.1.20"}));
    QSettings().setValue(kMonitorSecondsKey, 30);

    auto open = [this] {
        m_frame = new CMainFrame(*m_prompter, {}, m_sim->OutFile());
        m_frame->RestoreSettings();
    };
    open();
    QCOMPARE(ItemTexts(*Tree()), QStringList({"10.0.0.5", "192.168.1.20"}));
    QVERIFY(!m_frame->InExchange());   // no exchange at start
    QCOMPARE(m_frame->DeviceCommands().MonitorInterval(), 30000);
    QVERIFY(!m_frame->DeviceCommands().Monitoring());
    m_frame->AddEncoder(QStringLiteral("10.0.0.7"));
    Tree()->SelectOnly(Tree()->ItemAt(0));
    m_frame->CommandAction(ID_DEL_ENCODER)->trigger();
    QCOMPARE(QSettings().value(kAddressBookKey).toStringList(), QStringList({"192.168.1.20", "10.0.0.7"}));
    delete m_frame.data();

    open();
    QCOMPARE(ItemTexts(*Tree()), QStringList({"192.168.1.20", "10.0.0.7"}));
    QCOMPARE(Tree()->ItemImage(Tree()->ItemAt(0)), IMAGE_OFFLINE);
    QVERIFY(!Tree()->SelectedItem());
}

void tst_App::layoutComesBackAfterARestart()
{
    auto open = [this] {
        m_frame = new CMainFrame(*m_prompter, {}, m_sim->OutFile());
        m_frame->RestoreSettings();
    };
    delete m_frame.data();
    open();
    QVERIFY(!m_frame->Layout().Restore());   // nothing kept yet: the window starts as always
    QVERIFY(ShowWindow(m_frame, QSize(900, 640)));
    m_frame->OuterSplitter()->SetProportions({40, 60});
    m_frame->InnerSplitter()->SetProportions({55, 45});
    m_frame->SettingsSheet()->SetColumnDivider(333);
    Tree()->header()->resizeSection(0, 171);
    m_frame->ActivityLog()->View()->header()->resizeSection(1, 133);
    m_frame->ActivityDock()->hide();
    const std::vector<int> outer = m_frame->OuterSplitter()->Proportions();
    const std::vector<int> inner = m_frame->InnerSplitter()->Proportions();
    QTRY_VERIFY(m_frame->close());
    QTRY_VERIFY(m_frame.isNull());

    open();
    QVERIFY(m_frame->Layout().Restore());
    m_frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_frame));
    QCOMPARE(m_frame->size(), QSize(900, 640));
    QCOMPARE(m_frame->OuterSplitter()->Proportions(), outer);
    QCOMPARE(m_frame->InnerSplitter()->Proportions(), inner);
    QCOMPARE(m_frame->SettingsSheet()->ColumnDivider(), 333);
    QCOMPARE(Tree()->header()->sectionSize(0), 171);
    QCOMPARE(m_frame->ActivityLog()->View()->header()->sectionSize(1), 133);
    QVERIFY(m_frame->ActivityDock()->isHidden());
    QVERIFY(!m_frame->InExchange());   // nothing was asked of any encoder
}

void tst_App::fleetCancelledByTheOperatorPopsNoBox()
{
    SimOptions options;
    options.bindAddress = "127.0.0.2-6";
    auto fleet = std::make_unique<CEncoderSim>(options);
    QVERIFY2(fleet->Start(), fleet->Error().c_str());
    Recreate([&fleet](LinkOptions& link) {
        link.commandPort = fleet->CommandPort();
        link.searchPort = fleet->SearchPort();
    });
    for (int i = 2; i <= 6; ++i) fleet->EncoderFor(0x7F000000u + uint32_t(i)).SetFault(SimFault::Silence);
    for (int i = 2; i <= 6; ++i) m_frame->AddEncoder(QStringLiteral("127.0.0.%1").arg(i));
    Tree()->selectAll();
    QSignalSpy summaries(&m_frame->ExchangeView(), &CExchangeView::commandSummarised);
    RunMenuCommand(ID_READ_CONFIGURATION);
    QVERIFY(m_frame->InExchange());
    Tree()->setFocus();
    QTest::keyClick(Tree(), Qt::Key_Escape);
    QVERIFY(WaitIdle(10000));
    QTRY_COMPARE(summaries.count(), 1);
    QVERIFY2(summaries.front().front().toString().endsWith("5 cancelled."),
             qPrintable(summaries.front().front().toString()));
    QVERIFY(m_prompter->boxes.empty());   // the operator's own cancel: said in the log only
    QCOMPARE(m_frame->ActivityLog()->Entries().back().text, summaries.front().front().toString());
}

void tst_App::replyCompleteModePersists()
{
    QAction* mode = m_frame->CommandAction(ID_WAIT_REPLY_COMPLETE);
    QVERIFY(!mode->isChecked());
    QVERIFY(!m_frame->DeviceCommands().ReplyCompleteMode());
    QVERIFY(mode->statusTip().contains("as soon as the encoder's reply is complete"));
    m_frame->RestoreSettings();
    mode->trigger();
    QVERIFY(m_frame->DeviceCommands().ReplyCompleteMode());
    QVERIFY(QSettings().value(kReplyCompleteKey).toBool());

    // A read with a long fixed wait ends once the reply is in.
    Recreate([](LinkOptions& link) {
        link.timing.readWaitMs = 20000;
        link.timing.statusWaitMs = 20000;
    });
    QVERIFY(!m_frame->DeviceCommands().ReplyCompleteMode());
    m_frame->RestoreSettings();
    QVERIFY(m_frame->DeviceCommands().ReplyCompleteMode());
    QVERIFY(m_frame->CommandAction(ID_WAIT_REPLY_COMPLETE)->isChecked());
    EncoderRecord* item = AddAndSelect(kSimAddress);
    RunMenuCommand(ID_READ_CONFIGURATION);
    QVERIFY(WaitIdle(5000));
    QVERIFY(item->loaded);
}

void tst_App::activityLogFiltersAndExports()
{
    CActivityLog* log = m_frame->ActivityLog();
    QVERIFY(!m_frame->ActivityDock()->isHidden());
    QCOMPARE(m_frame->MessagePane()->isVisible(), true);
    const QDateTime at(QDate(2026, 12, 8), QTime(10, 0, 0));
    log->AddEntry(at, "10.0.0.1", CActivityLog::Severity::Info, "Read Configuration succeeded");
    log->AddEntry(at.addSecs(1), "10.0.0.2", CActivityLog::Severity::Error, "Read Configuration failed: \"x\", y");
    log->AddEntry(at.addSecs(2), "10.0.0.1", CActivityLog::Severity::Warning, "Alarm raised: Program-1 no output");
    QAbstractItemModel* shown = log->View()->model();
    QCOMPARE(shown->index(0, 3).data().toString(), QStringLiteral("Alarm raised: Program-1 no output"));

    log->SetEncoderFilter("10.0.0.1");
    QCOMPARE(log->ShownEntries().size(), size_t(2));
    QCOMPARE(shown->rowCount(), 2);
    QCOMPARE(shown->index(1, 3).data().toString(), QStringLiteral("Read Configuration succeeded"));
    log->SetSeverityFilter(CActivityLog::Severity::Warning);
    QCOMPARE(log->ShownEntries().size(), size_t(1));
    log->SetEncoderFilter(QString());
    QCOMPARE(log->ShownEntries().size(), size_t(2));

    // The selection changes; the log stays.
    m_frame->AddEncoder("10.0.0.1");
    Tree()->SelectOnly(Tree()->ItemAt(0));
    QCOMPARE(log->Entries().size(), size_t(3));

    const QString path = m_dir.filePath("log.csv");
    m_prompter->dialogScripts.push_back([&path](QDialog& dialog) {
        static_cast<QFileDialog&>(dialog).selectFile(path);
        return int(QDialog::Accepted);
    });
    log->ExportButton()->click();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()),
             QStringLiteral("Time,Encoder,Severity,Event\r\n"
                            "2026-12-08T10:00:01.000,10.0.0.2,Error,\"Read Configuration failed: \"\"x\"\", y\"\r\n"
                            "2026-12-08T10:00:02.000,10.0.0.1,Warning,Alarm raised: Program-1 no output\r\n"));
    QVERIFY(!log->ExportCsv(m_dir.filePath("missing/dir/log.csv")));
}

void tst_App::searchReportsAnsweredAndNew()
{
    m_frame->AddEncoder(QStringLiteral("127.0.0.2"));
    EncoderRecord* chosen = AddAndSelect(QStringLiteral("10.0.0.1"));
    m_sim->SetSearchReplies({0x7F000002u, 0x7F000003u, 0x7F000004u});
    m_prompter->dialogScripts.push_back(TypeAddress(kSimAddress));
    RunMenuCommand(ID_SEARCH_ENCODER);
    QVERIFY(!m_frame->CommandAction(ID_SEARCH_ENCODER)->isEnabled());
    QVERIFY(WaitIdle());
    const QString text = QStringLiteral("Search Encoder 127.0.0.1: 3 encoders answered, 2 new");
    QCOMPARE(m_frame->statusBar()->currentMessage(), text);
    QCOMPARE(m_frame->ActivityLog()->Entries().back().text, text);
    QCOMPARE(Tree()->SelectedItem(), chosen);   // a search leaves the selection as it is
    QCOMPARE(Tree()->ItemCount(), 4);
    QVERIFY(m_prompter->boxes.empty());
}

void tst_App::searchCancelled()
{
    Recreate([](LinkOptions& link) { link.timing.searchWindowMs = 20000; });
    m_sim->SetSearchReplies({0x7F000002u});
    m_prompter->dialogScripts.push_back(TypeAddress(kSimAddress));
    RunMenuCommand(ID_SEARCH_ENCODER);
    QVERIFY(m_frame->InExchange());
    QTRY_COMPARE(Tree()->ItemCount(), 1);   // listed as it answers, before the window ends
    QVERIFY2(m_frame->statusBar()->currentMessage().startsWith("Search Encoder 127.0.0.1: listening for encoders"),
             qPrintable(m_frame->statusBar()->currentMessage()));
    m_frame->CommandAction(ID_CANCEL_EXCHANGES)->trigger();
    QVERIFY(WaitIdle(5000));
    QCOMPARE(m_frame->ActivityLog()->Entries().back().text,
             QStringLiteral("Search Encoder 127.0.0.1 cancelled: 1 encoders answered, 1 new"));
    QVERIFY(m_frame->CommandAction(ID_SEARCH_ENCODER)->isEnabled());
}

// Before any encoder is shown the sheet's address rows are empty, not 0.0.0.0.
void tst_App::sheetIpRowsBlankAtStart()
{
    QCOMPARE(m_frame->SettingsSheet()->RowFor(10002)->GetValueText(), QString());
    AddAndSelect(QStringLiteral("10.0.0.1"));
    QCOMPARE(m_frame->SettingsSheet()->RowFor(10002)->GetValueText(), QStringLiteral("10.0.0.1"));
}

void tst_App::startUpLayoutProportions()
{
    CPaneSplitter* outer = m_frame->OuterSplitter();
    CPaneSplitter* inner = m_frame->InnerSplitter();
    QCOMPARE(outer->Proportions(), std::vector<int>({8192, 24576}));
    QCOMPARE(inner->Proportions(), std::vector<int>({26214, 6554}));
    QCOMPARE(outer->Pane(0), static_cast<QWidget*>(Tree()));
    QCOMPARE(outer->Pane(1), static_cast<QWidget*>(inner));
    QCOMPARE(inner->Pane(0), m_frame->SettingsSheet());
    QCOMPARE(inner->Pane(1), static_cast<QWidget*>(m_frame->MessagePane()));

    const int width = outer->width();
    QVERIFY(width > 900);
    QVERIFY(qAbs(Tree()->width() - (width - 1) / 4) <= 1);
    const int height = inner->height();
    QVERIFY(qAbs(m_frame->MessagePane()->height() - (height - 1) / 5) <= 1);
    QVERIFY(qAbs(m_frame->SettingsSheet()->height() - (height - 1) * 4 / 5) <= 1);
    QCOMPARE(m_frame->windowTitle(), QStringLiteral("Korvane"));
}

void tst_App::frameCommandsAndViewToggles()
{
    // Every device command has its menu item and toolbar button; those on encoders follow
    // the selection.
    auto* toolBar = m_frame->findChild<QToolBar*>();
    for (int id : {ID_SEARCH_ENCODER, ID_ADD_ENCODER, ID_DEL_ENCODER, ID_READ_CONFIGURATION, ID_WRITE_CONFIGURATION,
                   ID_START_TS_IP, ID_STOP_TS_IP, ID_READ_DEVICE_MESSAGE, ID_CANCEL_EXCHANGES}) {
        QVERIFY2(toolBar->actions().contains(m_frame->CommandAction(id)), qPrintable(QString::number(id)));
        QVERIFY(!m_frame->CommandAction(id)->statusTip().isEmpty());
    }
    QCOMPARE(m_frame->CommandAction(ID_READ_CONFIGURATION)->shortcut(), QKeySequence(Qt::Key_F5));
    QCOMPARE(m_frame->CommandAction(ID_WRITE_CONFIGURATION)->shortcut(), QKeySequence("Ctrl+S"));
    QCOMPARE(m_frame->CommandAction(ID_CANCEL_EXCHANGES)->shortcut(), QKeySequence(Qt::Key_Escape));
    for (int id : {ID_DEL_ENCODER, ID_READ_CONFIGURATION, ID_WRITE_CONFIGURATION, ID_START_TS_IP, ID_STOP_TS_IP,
                   ID_READ_DEVICE_MESSAGE, ID_CANCEL_EXCHANGES})
        QVERIFY2(!m_frame->CommandAction(id)->isEnabled(), qPrintable(QString::number(id)));
    AddAndSelect(QStringLiteral("10.0.0.1"));
    for (int id : {ID_SEARCH_ENCODER, ID_ADD_ENCODER, ID_DEL_ENCODER, ID_READ_CONFIGURATION, ID_WRITE_CONFIGURATION,
                   ID_START_TS_IP, ID_STOP_TS_IP, ID_READ_DEVICE_MESSAGE})
        QVERIFY2(m_frame->CommandAction(id)->isEnabled(), qPrintable(QString::number(id)));
    QVERIFY(!m_frame->CommandAction(ID_FILE_PRINT));
    for (int id : {ID_APP_EXIT, ID_APP_ABOUT, ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_NEXT_PANE, ID_PREV_PANE})
        QVERIFY(m_frame->CommandAction(id)->isEnabled());
    QCOMPARE(m_frame->CommandAction(ID_EDIT_COPY)->shortcuts(),
             QList<QKeySequence>({QKeySequence("Ctrl+C"), QKeySequence("Ctrl+Ins")}));

    // Copy in the device list takes the selected addresses; Paste there adds addresses.
    m_frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_frame));
    Tree()->setFocus();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Tree()));
    QVERIFY(m_frame->CommandAction(ID_EDIT_COPY)->isEnabled());
    QVERIFY(!m_frame->CommandAction(ID_EDIT_CUT)->isEnabled());
    m_frame->OnCommand(ID_EDIT_COPY);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("10.0.0.1"));
    QApplication::clipboard()->setText(QStringLiteral("10.0.0.2, nonsense 10.0.0.300\n10.0.0.3"));
    m_frame->OnCommand(ID_EDIT_PASTE);
    QCOMPARE(ItemTexts(*Tree()), QStringList({"10.0.0.1", "10.0.0.2", "10.0.0.3"}));

    // F6 walks the panes: device list, sheet, messages, activity log, and round again.
    m_frame->OnCommand(ID_NEXT_PANE);
    QVERIFY(m_frame->SettingsSheet()->isAncestorOf(QApplication::focusWidget()));
    m_frame->OnCommand(ID_NEXT_PANE);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(m_frame->MessagePane()->List()));
    m_frame->OnCommand(ID_PREV_PANE);
    m_frame->OnCommand(ID_PREV_PANE);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Tree()));
    QCOMPARE(m_frame->MessageField()->text(), QStringLiteral("Ready"));

    // Hiding the toolbar gives its space to the panes.
    const int before = m_frame->OuterSplitter()->height();
    m_frame->CommandAction(ID_VIEW_TOOLBAR)->trigger();
    QVERIFY(toolBar->isHidden());
    QVERIFY(!m_frame->CommandAction(ID_VIEW_TOOLBAR)->isChecked());
    QTRY_VERIFY(m_frame->OuterSplitter()->height() > before);
    m_frame->CommandAction(ID_VIEW_TOOLBAR)->trigger();
    QVERIFY(!toolBar->isHidden());
    QVERIFY(m_frame->CommandAction(ID_VIEW_TOOLBAR)->isChecked());

    m_frame->CommandAction(ID_VIEW_STATUS_BAR)->trigger();
    QVERIFY(m_frame->statusBar()->isHidden());
    m_frame->CommandAction(ID_VIEW_STATUS_BAR)->trigger();
    QVERIFY(!m_frame->statusBar()->isHidden());

    // Commands the frame does not know fall through; the device commands are the frame's too.
    QVERIFY(!m_frame->OnCommand(ID_FILE_PRINT));
    QVERIFY(m_frame->OnCommand(ID_ADD_ENCODER));
    QCOMPARE(m_prompter->dialogTitles, QStringList("Add Device Dialog"));

    m_frame->CommandAction(ID_APP_EXIT)->trigger();
    QTRY_VERIFY(m_frame.isNull());
}

void tst_App::appStartUpFailure()
{
    CEncoderApp app;
    bool stopped = false;
    app.m_startSockets = [] { return false; };
    app.m_stopSockets = [&stopped] { stopped = true; };
    RecordingPrompter prompter;
    QVERIFY(!app.InitInstance(prompter));
    QCOMPARE(prompter.BoxTexts(), QStringList(" Init sock failed ! "));
    QCOMPARE(prompter.boxes.front().caption, QStringLiteral("Korvex"));
    QVERIFY(!prompter.boxes.front().owner);
    QVERIFY(!app.MainWindow());
    QCOMPARE(app.ExitInstance(0), 0);
    QVERIFY(!stopped);
}

void tst_App::appStartUp()
{
    CEncoderApp app;
    int started = 0;
    int stopped = 0;
    app.m_startSockets = [&started] { return ++started > 0; };
    app.m_stopSockets = [&stopped] { ++stopped; };
    RecordingPrompter prompter;
    QVERIFY(app.InitInstance(prompter));
    QPointer<CMainFrame> frame = app.MainWindow();
    QVERIFY(frame);
    QVERIFY(frame->windowState() & Qt::WindowMaximized);
    QCOMPARE(frame->windowTitle(), QStringLiteral("Korvane"));
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Local AppWizard-Generated Applications"));
    QVERIFY(prompter.boxes.empty());
    frame->AddEncoder(QStringLiteral("10.0.0.1"));
    QCOMPARE(app.ExitInstance(7), 7);
    QVERIFY(frame.isNull());
    QCOMPARE(LiveEncoderRecords(), 0);
    QCOMPARE(started, 1);
    QCOMPARE(stopped, 1);
}

QTEST_MAIN(tst_App)
#include "tst_app.moc"

// ---- one outcome, one text, in both front ends ------------------------------------------

void tst_App::sameOutcomeSameTextInWindowAndCommandLine_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("cli");
    QTest::addColumn<std::vector<uint8_t>>("status");
    QTest::addColumn<std::string>("document");
    QTest::addColumn<QString>("expected");
    const std::vector<uint8_t> healthy = {0, 0, 38, 1, 1, 1, 1};
    const std::string good = CEncoderSim::DefaultDocument(0x7F000001u);
    QTest::newRow("busy") << ID_READ_CONFIGURATION << "read" << std::vector<uint8_t>{1, 0, 38, 1, 1, 1, 1} << good
                          << "Device is busying !";
    QTest::newRow("keyboard") << ID_READ_CONFIGURATION << "read" << std::vector<uint8_t>{0, 1, 38, 1, 1, 1, 1} << good
                              << "Device is controled by keyboard !";
    QTest::newRow("no settings document")
        << ID_READ_CONFIGURATION << "read" << healthy << std::string("<other_root/>")
        << "the encoder's reply was incomplete or not a settings document it could read";
    QTest::newRow("start") << ID_START_TS_IP << "start" << healthy << good
                           << "request sent; the encoder does not acknowledge it";
    QTest::newRow("stop") << ID_STOP_TS_IP << "stop" << healthy << good
                          << "request sent; the encoder does not acknowledge it";
}

// The window's boxes and log against what korvane-cli prints for the same encoder in the
// same state: every text the command line gives is one the window gives, letter for letter.
void tst_App::sameOutcomeSameTextInWindowAndCommandLine()
{
    QFETCH(int, command);
    QFETCH(QString, cli);
    QFETCH(std::vector<uint8_t>, status);
    QFETCH(std::string, document);
    QFETCH(QString, expected);
    m_sim->SetStatus(status);
    m_sim->SetDocument(document);

    AddAndSelect(kSimAddress);
    RunMenuCommand(command);
    QVERIFY(WaitIdle());
    QStringList window = m_prompter->BoxTexts();
    for (const CActivityLog::Entry& entry : m_frame->ActivityLog()->Entries()) {
        const int colon = entry.text.indexOf(QStringLiteral(": "));
        if (entry.encoder == kSimAddress && colon > 0) window << entry.text.mid(colon + 2).split(QStringLiteral(" / "));
    }

    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.start(QStringLiteral(KORVANE_CLI_PATH),
                  {QStringLiteral("--port"), QString::number(m_sim->CommandPort()), QStringLiteral("--waits"),
                   QStringLiteral("30,30,30"), cli, kSimAddress});
    QVERIFY(process.waitForFinished(30000));
    QStringList printed;
    const QString prefix = kSimAddress + QStringLiteral(": ");
    for (const QByteArray& stream : {process.readAllStandardError(), process.readAllStandardOutput()}) {
        for (QString line : QString::fromUtf8(stream).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (!line.startsWith(prefix)) continue;   // a document, not a message
            line = line.mid(prefix.size());
            if (line.startsWith(cli + QLatin1Char(' '))) line = line.mid(cli.size() + 1);
            printed << line;
        }
    }
    QVERIFY2(printed.contains(expected), qPrintable(printed.join(QLatin1Char('|'))));
    QVERIFY2(window.contains(expected), qPrintable(window.join(QLatin1Char('|'))));
    for (const QString& text : printed) QVERIFY2(window.contains(text), qPrintable(text));
}

void tst_App::batchWriteAsksThePasswordsOnce()
{
    EncoderRecord* first = AddAndSelect(kSimAddress);
    QVERIFY(ReadSelected());
    EncoderRecord* second = m_frame->AddEncoder(QStringLiteral("127.0.0.2"));
    // The second encoder is the same stand-in seen again: give it the first one's record.
    EncoderEntry* copy = m_frame->Encoders().Find(0x7F000002u);
    copy->record = *first;
    copy->record.ipAddr = 0x7F000002u;
    copy->SetLastRead(copy->record);
    Tree()->SelectOnly(second);
    Tree()->SelectAlso(first);

    int asked = 0;
    m_prompter->dialogScripts.push_back([&asked](QDialog& dialog) {
        auto* passwords = qobject_cast<CPasswordsDialog*>(&dialog);
        if (!passwords) return int(QDialog::Rejected);
        ++asked;
        if (passwords->PasswordField()->echoMode() != QLineEdit::Password) return int(QDialog::Rejected);
        passwords->PasswordField()->setText(QStringLiteral("admin"));
        passwords->NewPasswordField()->setText(QStringLiteral("admin"));
        return int(QDialog::Accepted);
    });
    RunMenuCommand(ID_WRITE_CONFIGURATION);
    QVERIFY(WaitIdle());
    QCOMPARE(asked, 1);
    QVERIFY(!m_prompter->BoxTexts().contains(QStringLiteral("Please enter correct passowrd !")));
    QCOMPARE(m_sim->RequestCount(CMD_WRITE_CONFIG), 1);   // 127.0.0.2 is not served
    QCOMPARE(first->password[0], '\0');                   // never kept
    QVERIFY(!QSettings().allKeys().join(QLatin1Char(' ')).contains(QStringLiteral("admin")));
}
