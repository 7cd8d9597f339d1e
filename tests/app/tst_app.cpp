// The application window layer against the in-process stand-in encoder: real sockets on
// 127.0.0.1 with ephemeral ports and waits of tens of milliseconds, real widgets driven
// by Qt Test, and a recording prompter in place of every modal box, dialog and menu.

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>
#include <cstring>
#include <memory>

#include "AppIds.h"
#include "CDeviceTree.h"
#include "CEncoderApp.h"
#include "CIPAddressCtrl.h"
#include "CMainFrame.h"
#include "CMessagePane.h"
#include "CPaneSplitter.h"
#include "Dialogs.h"
#include "RecordingPrompter.h"
#include "Socket.h"
#include "StandInEncoder.h"

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

QStringList ItemTexts(const QTreeWidget& tree)
{
    QStringList texts;
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        texts << tree.topLevelItem(i)->text(0);
    return texts;
}

QStringList MessageTexts(const CMessagePane& pane)
{
    QStringList texts;
    for (int i = 0; i < pane.MessageCount(); ++i)
        texts << pane.MessageText(i);
    return texts;
}

}  // namespace

class tst_App : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void addEncoderKeepsOneItemPerAddress();
    void findEncoderMatchesWholeText();
    void deleteEncoderFreesRecordAndSelection();
    void closingTheWindowFreesEveryRecord();
    void contextMenuEnabling_data();
    void contextMenuEnabling();
    void rightClickKeepsSelection();
    void readConfiguration_data();
    void readConfiguration();
    void readWithNoEncoderSelectedDoesNothing();
    void writeConfiguration_data();
    void writeConfiguration();
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
    void waitKeepsWindowPaintedAndClosed();
    void startUpLayoutProportions();
    void frameCommandsAndViewToggles();
    void appStartUpFailure();
    void appStartUp();

private:
    CDeviceTree* Tree() const { return m_frame->DeviceTree(); }
    QTreeWidgetItem* AddAndSelect(const QString& text);
    void RunMenuCommand(int id);

    std::unique_ptr<StandInEncoder> m_sim;
    std::unique_ptr<RecordingPrompter> m_prompter;
    QPointer<CMainFrame> m_frame;
};

void tst_App::init()
{
    SimOptions options;
    m_sim = std::make_unique<StandInEncoder>(options);
    QVERIFY2(m_sim->Start(), m_sim->Error().c_str());
    m_prompter = std::make_unique<RecordingPrompter>();
    m_frame = new CMainFrame(*m_prompter, m_sim->Link());
    m_frame->resize(1001, 700);
    m_frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_frame));
}

void tst_App::cleanup()
{
    delete m_frame.data();
    m_sim.reset();
    QCOMPARE(LiveEncoderRecords(), 0);
}

QTreeWidgetItem* tst_App::AddAndSelect(const QString& text)
{
    QTreeWidgetItem* item = m_frame->AddEncoder(text);
    Tree()->setCurrentItem(item);
    return item;
}

// The way an operator gives a device command: the context menu, answered with `id`.
void tst_App::RunMenuCommand(int id)
{
    m_prompter->menuChoice = id;
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), Tree()->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(Tree()->viewport(), &event);
}

void tst_App::addEncoderKeepsOneItemPerAddress()
{
    QTreeWidgetItem* first = m_frame->AddEncoder(QStringLiteral("10.0.0.10"));
    QTreeWidgetItem* second = m_frame->AddEncoder(QStringLiteral("192.168.1.20"));
    QCOMPARE(m_frame->AddEncoder(QStringLiteral("10.0.0.10")), first);
    QCOMPARE(ItemTexts(*Tree()), QStringList({"10.0.0.10", "192.168.1.20"}));
    QCOMPARE(LiveEncoderRecords(), 2);

    const EncoderRecord* record = CDeviceTree::ItemRecord(second);
    QVERIFY(record);
    QCOMPARE(record->ipAddr, 0xC0A80114u);
    QCOMPARE(record->loaded, uint8_t(0));
    QCOMPARE(CDeviceTree::ItemImage(second), IMAGE_OFFLINE);
    QVERIFY(!Tree()->SelectedItem());
}

void tst_App::findEncoderMatchesWholeText()
{
    m_frame->AddEncoder(QStringLiteral("10.0.0.10"));
    QVERIFY(!m_frame->FindEncoderItem(Tree()->topLevelItem(0), QStringLiteral("10.0.0.1")));
    QTreeWidgetItem* shorter = m_frame->AddEncoder(QStringLiteral("10.0.0.1"));
    QCOMPARE(Tree()->topLevelItemCount(), 2);
    QCOMPARE(m_frame->FindEncoderItem(Tree()->topLevelItem(0), QStringLiteral("10.0.0.1")), shorter);
    QVERIFY(!m_frame->FindEncoderItem(nullptr, QStringLiteral("10.0.0.1")));
    // The walk starts at the given item: earlier siblings are not searched.
    QVERIFY(!m_frame->FindEncoderItem(shorter, QStringLiteral("10.0.0.10")));
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
    QCOMPARE(Tree()->topLevelItemCount(), 1);
}

void tst_App::closingTheWindowFreesEveryRecord()
{
    for (const char* address : {"10.0.0.1", "10.0.0.2", "10.0.0.3"})
        m_frame->AddEncoder(QString::fromLatin1(address));
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
    QTreeWidgetItem* item = m_frame->AddEncoder(QStringLiteral("10.0.0.1"));
    if (selected)
        Tree()->setCurrentItem(item);
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

void tst_App::rightClickKeepsSelection()
{
    QTreeWidgetItem* first = AddAndSelect(QStringLiteral("10.0.0.1"));
    QTreeWidgetItem* second = m_frame->AddEncoder(QStringLiteral("10.0.0.2"));
    QTest::mouseClick(Tree()->viewport(), Qt::RightButton, {}, Tree()->visualItemRect(second).center());
    QCOMPARE(Tree()->SelectedItem(), first);
    // A click below the items keeps the selection too.
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {}, QPoint(20, Tree()->viewport()->height() - 5));
    QCOMPARE(Tree()->SelectedItem(), first);
    // A left click on an item does select.
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {}, Tree()->visualItemRect(second).center());
    QCOMPARE(Tree()->SelectedItem(), second);
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, Qt::ControlModifier, Tree()->visualItemRect(second).center());
    QCOMPARE(Tree()->SelectedItem(), second);
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
    QTest::newRow("busy") << true << std::vector<uint8_t>{1, 0, 38, 1, 1, 1, 1} << IMAGE_ONLINE
                          << "Device is busying !" << false;
    QTest::newRow("keyboard") << true << std::vector<uint8_t>{0, 1, 38, 1, 1, 1, 1} << IMAGE_ONLINE
                              << "Device is controled by keyboard !" << false;
    QTest::newRow("busy before keyboard") << true << std::vector<uint8_t>{1, 1, 38, 1, 1, 1, 1}
                                          << IMAGE_ONLINE << "Device is busying !" << false;
    QTest::newRow("no answer") << false << kHealthy << IMAGE_OFFLINE << "Connect Device Failed !" << false;
}

void tst_App::readConfiguration()
{
    QFETCH(bool, answers);
    QFETCH(std::vector<uint8_t>, status);
    QFETCH(int, image);
    QFETCH(QString, warning);
    QFETCH(bool, loaded);

    QTreeWidgetItem* item = AddAndSelect(kSimAddress);
    if (!answers) {
        Tree()->SetItemImage(item, IMAGE_ONLINE);   // a failure must take the online image away
        m_sim->Stop();
    }
    m_sim->SetStatus(status);
    RunMenuCommand(ID_READ_CONFIGURATION);

    QCOMPARE(CDeviceTree::ItemImage(item), image);
    const EncoderRecord* record = CDeviceTree::ItemRecord(item);
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
    if (answers)
        QCOMPARE(m_sim->RequestCount(CMD_READ_CONFIG), loaded ? 1 : 0);
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
    QTest::newRow("accepted") << "admin" << "secret" << kHealthy << "Set Configuration Success !" << "Tip" << true;
    QTest::newRow("wrong password") << "guess" << "secret" << kHealthy << "Password Error !" << "Warning" << true;
    QTest::newRow("no password") << "" << "secret" << kHealthy << "Please enter correct passowrd !" << "Warning"
                                 << false;
    QTest::newRow("no new password") << "admin" << "" << kHealthy << "Please enter correct newPassowrd !"
                                     << "Warning" << false;
    QTest::newRow("busy") << "admin" << "secret" << std::vector<uint8_t>{1, 0, 38, 1, 1, 1, 1}
                          << "Device is busying !" << "Warning" << false;
    QTest::newRow("keyboard") << "admin" << "secret" << std::vector<uint8_t>{0, 1, 38, 1, 1, 1, 1}
                              << "Device is controled by keyboard !" << "Warning" << false;
}

void tst_App::writeConfiguration()
{
    QFETCH(QString, password);
    QFETCH(QString, newPassword);
    QFETCH(std::vector<uint8_t>, status);
    QFETCH(QString, box);
    QFETCH(QString, caption);
    QFETCH(bool, sent);

    QTreeWidgetItem* item = AddAndSelect(kSimAddress);
    EncoderRecord* record = CDeviceTree::ItemRecord(item);
    std::strncpy(record->password, password.toLatin1().constData(), sizeof record->password - 1);
    std::strncpy(record->newPassword, newPassword.toLatin1().constData(), sizeof record->newPassword - 1);
    m_sim->SetStatus(status);
    RunMenuCommand(ID_WRITE_CONFIGURATION);

    QCOMPARE(m_prompter->BoxTexts(), QStringList(box));
    QCOMPARE(m_prompter->boxes.front().caption, caption);
    QCOMPARE(m_prompter->boxes.front().icon, caption == "Tip" ? CPrompter::Icon::None : CPrompter::Icon::Exclamation);
    // The tree's own refusals are owned by the tree; the exchange's boxes by the main window.
    const bool treeBox = box.startsWith("Device");
    QCOMPARE(m_prompter->boxes.front().owner.data(),
             treeBox ? static_cast<QWidget*>(Tree()) : static_cast<QWidget*>(m_frame.data()));
    QCOMPARE(m_sim->RequestCount(CMD_WRITE_CONFIG), sent ? 1 : 0);
    QCOMPARE(CDeviceTree::ItemImage(item), IMAGE_OFFLINE);   // a write's answered query changes no image
}

void tst_App::startAndStop()
{
    AddAndSelect(kSimAddress);
    RunMenuCommand(ID_START_TS_IP);
    QVERIFY(m_sim->WaitForRequests(1, 2000));
    QTRY_VERIFY(m_sim->TsRunning());
    RunMenuCommand(ID_STOP_TS_IP);
    QVERIFY(m_sim->WaitForRequests(2, 2000));
    QTRY_VERIFY(!m_sim->TsRunning());
    QCOMPARE(m_sim->Requests(), std::vector<int32_t>({CMD_START_TS, CMD_STOP_TS}));
    QVERIFY(m_prompter->boxes.empty());

    m_sim->Stop();
    RunMenuCommand(ID_START_TS_IP);
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
    QCOMPARE(m_prompter->dialogTitles, QStringList("Search Device Dialog"));
    QCOMPARE(blank, QStringList("blank"));
    QCOMPARE(ItemTexts(*Tree()), QStringList({"127.0.0.2", "127.0.0.3"}));
    QCOMPARE(m_sim->LastSearchRequest(), std::vector<uint8_t>({0xE9, 0x03, 0x04, 0x00, 0xF0}));
    QVERIFY(m_prompter->boxes.empty());

    // Cancel searches nothing.
    m_prompter->dialogScripts.push_back(Cancel());
    m_sim->SetSearchReplies({0x7F000004u});
    RunMenuCommand(ID_SEARCH_ENCODER);
    QCOMPARE(Tree()->topLevelItemCount(), 2);
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
    QTest::newRow("program 2 switched off") << std::vector<uint8_t>{0, 0, 38, 1, 1, 0, 0} << false
                                            << QStringList() << QList<int>();
    QTest::newRow("program 1 input only") << std::vector<uint8_t>{1, 1, 38, 1, 0, 1, 1} << true
                                          << QStringList{"Program-1 no input"} << QList<int>{0};
    QTest::newRow("no alarms") << kHealthy << true << QStringList() << QList<int>();
}

void tst_App::deviceMessages()
{
    QFETCH(std::vector<uint8_t>, status);
    QFETCH(bool, program2On);
    QFETCH(QStringList, lines);
    QFETCH(QList<int>, images);

    QTreeWidgetItem* item = AddAndSelect(kSimAddress);
    EncoderRecord* record = CDeviceTree::ItemRecord(item);
    record->temperature = 60;
    record->program_info1.start = 1;
    record->program_info2.start = program2On ? 1 : 0;
    m_sim->SetStatus(status);
    m_frame->MessagePane()->OnCommand(ID_READ_DEVICE_MESSAGE);

    QCOMPARE(MessageTexts(*m_frame->MessagePane()), lines);
    for (int i = 0; i < images.size(); ++i)
        QCOMPARE(m_frame->MessagePane()->MessageImage(i), images[i]);
    QVERIFY(m_prompter->boxes.empty());
    QCOMPARE(CDeviceTree::ItemImage(item), IMAGE_OFFLINE);   // the pane's query leaves the image alone
}

void tst_App::deviceMessagesRepeatAndEmpty()
{
    AddAndSelect(kSimAddress);
    QTreeWidgetItem* other = m_frame->AddEncoder(QStringLiteral("127.0.0.2"));
    // A record never read has both programs off: only device-level lines can appear.
    m_sim->SetStatus({0, 0, 38, 0, 0, 0, 0});
    CDeviceTree::ItemRecord(Tree()->SelectedItem())->program_info1.start = 1;
    m_frame->MessagePane()->OnCommand(ID_READ_DEVICE_MESSAGE);
    m_frame->MessagePane()->OnCommand(ID_READ_DEVICE_MESSAGE);
    QCOMPARE(MessageTexts(*m_frame->MessagePane()),
             QStringList({"Program-1 no input", "Program-1 no output", "Program-1 no input", "Program-1 no output"}));

    m_sim->Stop();
    m_frame->MessagePane()->OnCommand(ID_READ_DEVICE_MESSAGE);
    QCOMPARE(m_frame->MessagePane()->MessageText(0), QStringLiteral("Connect device failed"));
    QCOMPARE(m_frame->MessagePane()->MessageImage(0), 1);
    QCOMPARE(m_frame->MessagePane()->MessageCount(), 5);
    QVERIFY(m_prompter->boxes.empty());

    Tree()->setCurrentItem(other);
    QCOMPARE(m_frame->MessagePane()->MessageCount(), 0);
}

void tst_App::messagePopupNeedsSelection()
{
    QWidget* list = m_frame->MessagePane()->List()->viewport();
    QTreeWidgetItem* item = m_frame->AddEncoder(kSimAddress);
    QContextMenuEvent unselected(QContextMenuEvent::Mouse, QPoint(10, 10), list->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(list, &unselected);
    QVERIFY(m_prompter->menus.isEmpty());

    Tree()->setCurrentItem(item);
    m_sim->SetStatus({0, 0, 0, 1, 1, 1, 1});
    CDeviceTree::ItemRecord(item)->temperature = 1;
    m_sim->SetStatus({0, 0, 5, 1, 1, 1, 1});
    m_prompter->menuChoice = ID_READ_DEVICE_MESSAGE;
    QContextMenuEvent selected(QContextMenuEvent::Mouse, QPoint(10, 10), list->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(list, &selected);
    QCOMPARE(m_prompter->menus.size(), 1);
    QCOMPARE(m_prompter->menus.first(),
             QList<RecordedMenuItem>({{"Read Device Message", ID_READ_DEVICE_MESSAGE, true}}));
    QCOMPARE(MessageTexts(*m_frame->MessagePane()), QStringList("Device temperature warning"));
}

void tst_App::addressDialogs_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("item");
    QTest::newRow("short fields") << "10.1.2.3" << "10.1.2.3";
    QTest::newRow("loopback") << "127.0.0.1" << "127.0.0.1";
    QTest::newRow("third digit moves on") << "10020030.40" << "100.200.30.40";
    QTest::newRow("dot after a full field") << "192.168.1.20" << "192.168.1.20";
    QTest::newRow("above 255") << "300.1.2.3" << "255.1.2.3";
    QTest::newRow("empty") << "" << "0.0.0.0";
    QTest::newRow("empty fields are 0") << "10" << "10.0.0.0";
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
    QCOMPARE(CDeviceTree::ItemRecord(Tree()->topLevelItem(0))->ipAddr,
             AddressFromDotted(item.toLatin1().constData()));

    // The next dialog starts empty again.
    m_prompter->dialogScripts.push_back(TypeAddress(QStringLiteral("10.1.1.1"), &blank));
    RunMenuCommand(ID_ADD_ENCODER);
    QCOMPARE(blank, QStringList({"blank", "blank"}));
    QCOMPARE(Tree()->topLevelItemCount(), item == "10.1.1.1" ? 1 : 2);
}

void tst_App::addressDialogCancelChangesNothing()
{
    CAddDeviceDlg dialog;
    m_prompter->dialogScripts.push_back(Cancel());
    QCOMPARE(m_prompter->RunDialog(dialog), int(QDialog::Rejected));
    QCOMPARE(dialog.Address(), 0u);

    m_prompter->dialogScripts.push_back(Cancel());
    RunMenuCommand(ID_ADD_ENCODER);
    QCOMPARE(Tree()->topLevelItemCount(), 0);
    QCOMPARE(LiveEncoderRecords(), 0);
}

void tst_App::aboutBox()
{
    QString product;
    m_prompter->dialogScripts.push_back([&product](QDialog& dialog) {
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            if (label->text().startsWith("Korvane"))
                product = label->text().section('\n', 0, 0);
        return int(QDialog::Accepted);
    });
    QAction* about = m_frame->CommandAction(ID_APP_ABOUT);
    QVERIFY(about->isEnabled());
    about->trigger();
    QCOMPARE(m_prompter->dialogTitles, QStringList("About"));
    QCOMPARE(product, QStringLiteral("Korvane SDI ENCODER"));
}

void tst_App::waitKeepsWindowPaintedAndClosed()
{
    LinkOptions link = m_frame->Link().Options();
    delete m_frame.data();
    link.timing.readWaitMs = 600;
    m_frame = new CMainFrame(*m_prompter, link);
    m_frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_frame));
    AddAndSelect(kSimAddress);

    bool sampled = false;
    bool waitCursor = false;
    bool closed = true;
    QString status;
    QTimer::singleShot(250, m_frame, [&] {
        sampled = true;
        waitCursor = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        status = m_frame->statusBar()->currentMessage();
        closed = m_frame->close();
    });
    RunMenuCommand(ID_READ_CONFIGURATION);
    QVERIFY(sampled);   // timers ran: the window was alive during the wait
    QVERIFY(waitCursor);
    QVERIFY2(status.startsWith("Read Configuration 127.0.0.1: waiting for the encoder, 1 s left"), qPrintable(status));
    QVERIFY(!closed);
    QVERIFY(m_frame);
    QVERIFY(CDeviceTree::ItemRecord(Tree()->SelectedItem())->loaded);
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(m_frame->statusBar()->currentMessage(), QString());
    QCOMPARE(m_frame->MessageField()->text(), QStringLiteral("Ready"));
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
    for (int id : {ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_FILE_PRINT, ID_NEXT_PANE, ID_PREV_PANE})
        QVERIFY2(!m_frame->CommandAction(id)->isEnabled(), qPrintable(QString::number(id)));
    for (int id : {ID_APP_EXIT, ID_APP_ABOUT, ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR})
        QVERIFY(m_frame->CommandAction(id)->isEnabled());
    QCOMPARE(m_frame->CommandAction(ID_EDIT_COPY)->shortcuts(),
             QList<QKeySequence>({QKeySequence("Ctrl+C"), QKeySequence("Ctrl+Ins")}));
    QCOMPARE(m_frame->MessageField()->text(), QStringLiteral("Ready"));

    // Hiding the toolbar gives its space to the panes.
    auto* toolBar = m_frame->findChild<QToolBar*>();
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

    // Commands the frame does not handle fall through; the device tree's are not the frame's.
    QVERIFY(!m_frame->OnCommand(ID_EDIT_COPY));
    QVERIFY(!m_frame->OnCommand(ID_ADD_ENCODER));
    QVERIFY(m_prompter->dialogTitles.isEmpty());

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
