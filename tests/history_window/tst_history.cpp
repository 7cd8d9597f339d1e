// The window's configuration history against in-process stand-in encoders: reads and
// writes leave commits (read back with git's own command-line tool), a write keeps what
// the encoder held before it, Device > History... lists the versions, Restore makes a
// version's settings pending edits, and a repository that fails never stops an exchange.

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "AppIds.h"
#include "CActivityLog.h"
#include "CDeviceTree.h"
#include "CHistoryDialog.h"
#include "CMainFrame.h"
#include "CHistoryPanel.h"
#include "CSafeEdits.h"
#include "CRowEdit.h"
#include "CRowTreeItem.h"
#include "CSettingsSheet.h"
#include "EncoderList.h"
#include "LinkProtocol.h"
#include "RecordingPrompter.h"
#include "FrameTest.h"
#include "StandInEncoder.h"

namespace {

const QString kFirst = QStringLiteral("127.0.0.2");
constexpr uint32_t kFirstAddress = 0x7F000002u;
constexpr int kVideoBitrate = 10022;   // program 1's video bitrate, 4000 as the stand-in starts
constexpr int kVideoPid = 10019;       // 256
constexpr int kPassword = 10005;
constexpr int kNewPassword = 10006;

void TypeAndEnter(CSettingsSheet& sheet, int id, const QString& text)
{
    CRowTreeItem* row = sheet.RowFor(id);
    CRowTree* tree = row->GetOwner();
    tree->EnsureVisible(row);
    tree->LayoutRows();
    QTest::mouseClick(tree->GetList(), Qt::LeftButton, {}, row->GetValueRect().center());
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor && editor == dynamic_cast<CRowEdit*>(row));
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
}

// git itself on the repository the window wrote.
QString Git(const QString& repo, const QStringList& args, int* status = nullptr)
{
    QProcess git;
    git.start(QStringLiteral("git"), QStringList{QStringLiteral("-C"), repo} + args);
    if (!git.waitForFinished(30000)) return QStringLiteral("git did not finish");
    if (status) *status = git.exitCode();
    return QString::fromUtf8(git.readAllStandardOutput() + git.readAllStandardError());
}

int Accept(QDialog&)
{
    return QDialog::Accepted;
}

}   // namespace

class tst_History : public FrameTest {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readAndWriteLeaveCommits();
    void writeKeepsWhatTheEncoderHeldBefore();
    void historyListsVersionsAndRestoreMakesPendingEdits();
    void failingRepositoryNeverStopsAnExchange();
    void folderComesFromTheSettings();

private:
    CSettingsSheet& Sheet() { return *m_frame->SettingsSheet(); }
    void Select();
    void Read();
    void WriteEdits(const QString& bitrate);
    QStringList Messages(const QString& range = QStringLiteral("HEAD"));
    const EncoderEntry& Entry() { return *m_frame->Encoders().Find(kFirstAddress); }

    std::unique_ptr<QTemporaryDir> m_repoDir;
    QString m_repo;
};

void tst_History::initTestCase()
{
    QVERIFY(KeepSettings(QStringLiteral("tst_history")));
}

void tst_History::init()
{
    SimOptions options;
    options.bindAddress = "127.0.0.2";
    QVERIFY2(StartCase(options), StartError());
    m_repoDir = std::make_unique<QTemporaryDir>();
    m_repo = m_repoDir->filePath(QStringLiteral("history"));
    QVERIFY(ShowNewFrame(QSize(1400, 900)));
    m_frame->History().SetFolder(m_repo);
}

void tst_History::cleanup()
{
    FinishCase();
    m_repoDir.reset();
}

void tst_History::Select()
{
    m_frame->DeviceTree()->SelectOnly(m_frame->AddEncoder(kFirst));
}

void tst_History::Read()
{
    QVERIFY(m_frame->DeviceTree()->OnCommand(ID_READ_CONFIGURATION));
    QVERIFY(QTest::qWaitFor([this] { return !m_frame->InExchange(); }, 5000));
    QVERIFY(m_frame->SelectedRecord()->loaded);
}

void tst_History::WriteEdits(const QString& bitrate)
{
    TypeAndEnter(Sheet(), kPassword, QStringLiteral("admin"));
    TypeAndEnter(Sheet(), kNewPassword, QStringLiteral("admin"));
    TypeAndEnter(Sheet(), kVideoBitrate, bitrate);
    m_prompter->dialogScripts.push_back(Accept);   // the review
    m_frame->CommandAction(ID_WRITE_CONFIGURATION)->trigger();
    QVERIFY(QTest::qWaitFor([this] { return !m_frame->InExchange(); }, 5000));
    QCOMPARE(m_prompter->BoxTexts().last(), QStringLiteral("Set Configuration Success !"));
}

// Every commit's whole message, newest first.
QStringList tst_History::Messages(const QString& range)
{
    QString log = Git(m_repo, {QStringLiteral("log"), QStringLiteral("--format=%B%x00"), range});
    QStringList messages = log.split(QChar(0), Qt::SkipEmptyParts);
    for (QString& message : messages) message = message.trimmed();
    messages.removeAll(QString());
    return messages;
}

void tst_History::readAndWriteLeaveCommits()
{
    Select();
    Read();
    QCOMPARE(Messages(), QStringList{"Read of 127.0.0.2\n\n127.0.0.2: first version"});
    Read();
    QCOMPARE(Messages().size(), 1);   // nothing changed: no commit

    WriteEdits(QStringLiteral("6500"));
    QCOMPARE(Messages().first(),
             QStringLiteral("Write to 127.0.0.2\n\n127.0.0.2: Program1 - Video / Video Bitrate(kbps): 4000 -> 6500"));
    QCOMPARE(Messages().size(), 2);
    int status = -1;
    Git(m_repo, {QStringLiteral("fsck"), QStringLiteral("--strict")}, &status);
    QCOMPARE(status, 0);
    const QString kept = Git(m_repo, {QStringLiteral("show"), QStringLiteral("HEAD:127.0.0.2.xml")});
    QVERIFY(kept.contains(QStringLiteral("<bitrate>6500</bitrate>")));
    QVERIFY2(!kept.contains(QStringLiteral("admin")), "passwords are never kept");
}

void tst_History::writeKeepsWhatTheEncoderHeldBefore()
{
    // Read while no history is kept: the version the write replaces is not in it yet.
    m_frame->History().SetFolder(QString());
    Select();
    Read();
    m_frame->History().SetFolder(m_repo);
    WriteEdits(QStringLiteral("6500"));
    const QStringList messages = Messages();
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages[1], QStringLiteral("Before the write to 127.0.0.2\n\n127.0.0.2: first version"));
    QVERIFY(messages[0].startsWith(QStringLiteral("Write to 127.0.0.2\n")));
    const QString before = Git(m_repo, {QStringLiteral("show"), QStringLiteral("HEAD~1:127.0.0.2.xml")});
    QVERIFY(before.contains(QStringLiteral("<bitrate>4000</bitrate>")));
}

void tst_History::historyListsVersionsAndRestoreMakesPendingEdits()
{
    Select();
    Read();
    WriteEdits(QStringLiteral("6500"));
    TypeAndEnter(Sheet(), kVideoPid, QStringLiteral("300"));
    WriteEdits(QStringLiteral("7000"));
    QCOMPARE(m_frame->SafeEdits().PendingEdits(kFirstAddress), 0);

    // Close: only looked at.
    QStringList versions;
    QStringList newest, oldest;
    m_prompter->dialogScripts.push_back([&](QDialog& dialog) {
        auto& history = static_cast<CHistoryDialog&>(dialog);
        versions = history.VersionLines();
        newest = history.ChangeLines(0);
        oldest = history.ChangeLines(2);
        return int(QDialog::Rejected);
    });
    QVERIFY(m_frame->CommandAction(ID_DEVICE_HISTORY)->isEnabled());
    m_frame->CommandAction(ID_DEVICE_HISTORY)->trigger();
    QCOMPARE(m_prompter->dialogTitles.last(), QStringLiteral("History of 127.0.0.2"));
    QCOMPARE(versions.size(), 3);
    QVERIFY2(versions[0].contains(QStringLiteral(" 2 changed  Write to 127.0.0.2")), qPrintable(versions[0]));
    QVERIFY2(versions[1].contains(QStringLiteral(" 1 changed  Write to 127.0.0.2")), qPrintable(versions[1]));
    QVERIFY2(versions[2].contains(QStringLiteral("Read of 127.0.0.2")), qPrintable(versions[2]));
    QCOMPARE(newest, (QStringList{"Program1 - Video / VIDEO_PID: 256 -> 300",
                                  "Program1 - Video / Video Bitrate(kbps): 6500 -> 7000"}));
    QCOMPARE(oldest, QStringList{"First version kept"});
    QCOMPARE(m_frame->SafeEdits().PendingEdits(kFirstAddress), 0);

    // Restore the version read first: its fields become the pending edits.
    bool restoreEnabledBefore = true;
    m_prompter->dialogScripts.push_back([&](QDialog& dialog) {
        auto& history = static_cast<CHistoryDialog&>(dialog);
        restoreEnabledBefore = history.RestoreButton()->isEnabled();
        history.SelectVersion(2);
        return history.RestoreButton()->isEnabled() ? int(QDialog::Accepted) : int(QDialog::Rejected);
    });
    m_frame->CommandAction(ID_DEVICE_HISTORY)->trigger();
    QVERIFY(!restoreEnabledBefore);
    const std::vector<PendingChange> pending = CSafeEdits::PendingEditsOf(Entry());
    QCOMPARE(pending.size(), size_t(2));
    QCOMPARE(pending[0].controlId, kVideoPid);
    QCOMPARE(QString::fromStdString(pending[0].oldText + " -> " + pending[0].newText), QStringLiteral("300 -> 256"));
    QCOMPARE(pending[1].controlId, kVideoBitrate);
    QCOMPARE(QString::fromStdString(pending[1].oldText + " -> " + pending[1].newText), QStringLiteral("7000 -> 4000"));
    QCOMPARE(Sheet().RowFor(kVideoBitrate)->GetValueText(), QStringLiteral("4000"));
    QVERIFY(Sheet().IsRowMarked(kVideoBitrate));
    QCOMPARE(m_sim->EncoderFor(kFirstAddress).RequestCount(CMD_WRITE_CONFIG), 2);   // nothing sent yet
}

void tst_History::failingRepositoryNeverStopsAnExchange()
{
    // A file where the repository's folder would be: it can be neither made nor opened.
    const QString blocked = m_repoDir->filePath(QStringLiteral("blocked"));
    QFile file(blocked);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a folder");
    file.close();
    m_frame->History().SetFolder(blocked);
    Select();
    Read();
    Read();
    WriteEdits(QStringLiteral("6500"));
    int told = 0;
    for (const CActivityLog::Entry& entry : m_frame->ActivityLog()->Entries())
        if (entry.text.startsWith(QStringLiteral("Configuration history in "))) ++told;
    QCOMPARE(told, 1);
    QCOMPARE(m_sim->EncoderFor(kFirstAddress).RequestCount(CMD_WRITE_CONFIG), 1);
}

void tst_History::folderComesFromTheSettings()
{
    QSettings().setValue(QString::fromLatin1(kHistoryFolderKey), m_repo + QStringLiteral("-set"));
    m_frame->RestoreSettings();
    QCOMPARE(m_frame->History().Folder(), m_repo + QStringLiteral("-set"));
    QSettings().setValue(QString::fromLatin1(kHistoryFolderKey), QString());
    m_frame->RestoreSettings();
    QCOMPARE(m_frame->History().Folder(), QString());
    Select();
    QVERIFY2(!m_frame->CommandAction(ID_DEVICE_HISTORY)->isEnabled(), "no history kept");
    QSettings().remove(QString::fromLatin1(kHistoryFolderKey));
    m_frame->RestoreSettings();
    QVERIFY2(m_frame->History().Folder().endsWith(QStringLiteral("/history")), qPrintable(m_frame->History().Folder()));
    QVERIFY(m_frame->History().Folder().startsWith(QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"))));
}

QTEST_MAIN(tst_History)
#include "tst_history.moc"
