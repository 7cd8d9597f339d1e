// Safe edits through the main window, against two in-process stand-in encoders: the edits
// not yet written marked, counted and reverted; the review before a write; records that
// must not be sent; read-back after a write; passwords masked; settings files applied to
// another encoder; two encoders compared.

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <memory>

#include "AppIds.h"
#include "CActivityLog.h"
#include "CChangesDialog.h"
#include "CDeviceTree.h"
#include "CMainFrame.h"
#include "CSafeEdits.h"
#include "CRowEdit.h"
#include "CRowTreeItem.h"
#include "CSettingsSheet.h"
#include "Presets.h"
#include "RecordingPrompter.h"
#include "FrameTest.h"
#include "Palettes.h"
#include "SettingsDocument.h"
#include "SheetLayout.h"
#include "StandInEncoder.h"

namespace {

const QString kFirst = QStringLiteral("127.0.0.2");
const QString kSecond = QStringLiteral("127.0.0.3");
constexpr uint32_t kFirstAddress = 0x7F000002u;
constexpr uint32_t kSecondAddress = 0x7F000003u;

constexpr int kVideoBitrate = 10022;   // program 1's video bitrate, 4000 as the stand-in starts
constexpr int kVideoPid = 10019;       // program 1's video PID, 256
constexpr int kProgramName = 10014;    // program 1's service name, "Korvane One"
constexpr int kPassword = 10005;
constexpr int kNewPassword = 10006;

QString Shown(CSettingsSheet& sheet, int id)
{
    return sheet.RowFor(id)->GetValueText();
}

// Clicks the row's value open, as the operator does; its edit box, which has the focus,
// with its text selected. Null when no edit box opened.
QLineEdit* OpenEditor(CSettingsSheet& sheet, int id)
{
    CRowTreeItem* row = sheet.RowFor(id);
    CRowTree* tree = row->GetOwner();
    tree->EnsureVisible(row);
    tree->LayoutRows();
    QTest::mouseClick(tree->GetList(), Qt::LeftButton, {}, row->GetValueRect().center());
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (!editor || editor != dynamic_cast<CRowEdit*>(row)) return nullptr;
    editor->selectAll();
    return editor;
}

void TypeAndEnter(CSettingsSheet& sheet, int id, const QString& text)
{
    QLineEdit* editor = OpenEditor(sheet, id);
    QVERIFY(editor);
    // What a keyboard of another script types arrives as input-method text.
    QInputMethodEvent typed;
    typed.setCommitString(text);
    QApplication::sendEvent(editor, &typed);
    QTest::keyClick(editor, Qt::Key_Return);
}

// The rows of the next dialog the prompter runs, kept for the test; answered with `answer`.
RecordingPrompter::DialogScript Capture(std::vector<CChangesDialog::Row>& rows, QString& intro, int answer)
{
    return [&rows, &intro, answer](QDialog& dialog) {
        auto* changes = qobject_cast<CChangesDialog*>(&dialog);
        if (changes) {
            rows = changes->Rows();
            intro = changes->Intro();
        }
        return answer;
    };
}

// Answers a file dialog with `path`.
RecordingPrompter::DialogScript ChooseFile(const QString& path)
{
    return [path](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        if (!files) return int(QDialog::Rejected);
        files->selectFile(path);
        return int(QDialog::Accepted);
    };
}

// The element a settings document's line carries ("\t\t<ipAddr>...").
QString ElementOf(const QString& line)
{
    const int open = line.indexOf(QLatin1Char('<'));
    const int close = line.indexOf(QLatin1Char('>'), open);
    return open < 0 || close < 0 ? QString() : line.mid(open + 1, close - open - 1);
}

}   // namespace

class tst_Edits : public FrameTest {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pendingMarksFollowEditRevertAndRead();
    void marksReadInLightAndDarkPalettes_data();
    void marksReadInLightAndDarkPalettes();
    void everyTextOfTheSheetReadsInLightAndDarkPalettes_data();
    void everyTextOfTheSheetReadsInLightAndDarkPalettes();
    void sheetSaysWhyItTakesNoEdit();
    void reviewShowsTheChangesAndAsks();
    void severalEncodersOneReviewForTheBatch();
    void recordThatMustNotBeSentIsRefused_data();
    void recordThatMustNotBeSentIsRefused();
    void readBackShowsWhatDidNotTake();
    void readBackIsKeptAndOffByDefault();
    void passwordsMaskedAndNeverLogged();
    void presetRoundTripToAnotherEncoder();
    void presetThatBreaksARuleIsNotApplied();
    void presetsNeedAnEncoderThatWasRead();
    void settingsFileRefusedAsTheCommandLineRefusesIt_data();
    void settingsFileRefusedAsTheCommandLineRefusesIt();
    void compareTwoEncoders();
    void escapeInAnEditorClosesItAndCancelsNothing();

private:
    CSettingsSheet& Sheet() { return *m_frame->SettingsSheet(); }
    CDeviceTree* Tree() { return m_frame->DeviceTree(); }
    EncoderRecord* Select(const QString& address);
    void ReadSelected();
    void WaitIdle();
    void TypePasswords(const QString& password = QStringLiteral("admin"));
    int PendingColumn(const QString& address);
    void MakeFrame();

    QTemporaryDir m_dir;
};

void tst_Edits::initTestCase()
{
    QVERIFY(KeepSettings(QStringLiteral("tst_edits")));
}

void tst_Edits::init()
{
    SimOptions options;
    options.bindAddress = "127.0.0.2-3";
    QVERIFY2(StartCase(options), StartError());
    MakeFrame();
}

void tst_Edits::MakeFrame()
{
    QVERIFY(ShowNewFrame(QSize(1400, 900)));
}

void tst_Edits::cleanup()
{
    FinishCase();
}

EncoderRecord* tst_Edits::Select(const QString& address)
{
    EncoderRecord* item = m_frame->AddEncoder(address);
    Tree()->SelectOnly(item);
    return item;
}

void tst_Edits::WaitIdle()
{
    QVERIFY(QTest::qWaitFor([this] { return !m_frame->InExchange(); }, 5000));
}

void tst_Edits::ReadSelected()
{
    QVERIFY(Tree()->OnCommand(ID_READ_CONFIGURATION));
    WaitIdle();
    QVERIFY(m_frame->SelectedRecord()->loaded);
    QVERIFY(m_prompter->boxes.empty());
}

void tst_Edits::TypePasswords(const QString& password)
{
    TypeAndEnter(Sheet(), kPassword, password);
    TypeAndEnter(Sheet(), kNewPassword, password);
}

int tst_Edits::PendingColumn(const QString& address)
{
    return Tree()->ItemText(m_frame->FindEncoderItem(address), kColumnPending).toInt();
}

void tst_Edits::pendingMarksFollowEditRevertAndRead()
{
    Select(kFirst);
    ReadSelected();
    QVERIFY(!Sheet().IsRowMarked(kVideoBitrate));
    QCOMPARE(m_frame->SafeEdits().PendingField()->text(), QStringLiteral("Pending edits: 0"));

    TypeAndEnter(Sheet(), kVideoBitrate, QStringLiteral("6500"));
    TypeAndEnter(Sheet(), kVideoPid, QStringLiteral("300"));
    QVERIFY(m_prompter->boxes.empty());
    QVERIFY(Sheet().IsRowMarked(kVideoBitrate));
    QVERIFY(Sheet().IsRowMarked(kVideoPid));
    QVERIFY(!Sheet().IsRowMarked(kProgramName));
    const CRowTreeItem* marked = Sheet().RowFor(kVideoBitrate);
    const CRowTreeItem* plain = Sheet().RowFor(kProgramName);
    QVERIFY(marked->IsLabelBold() && !plain->IsLabelBold());
    QVERIFY(marked->GetStripeColor().isValid() && !plain->GetStripeColor().isValid());
    QVERIFY(marked->GetLabelBackColor() != plain->GetLabelBackColor());
    QCOMPARE(m_frame->SafeEdits().PendingField()->text(), QStringLiteral("Pending edits: 2"));
    QCOMPARE(PendingColumn(kFirst), 2);

    // A typed password is no edit of the encoder's settings.
    TypePasswords();
    QVERIFY(!Sheet().IsRowMarked(kPassword));
    QCOMPARE(PendingColumn(kFirst), 2);

    // Revert Row: the selected row (the one just edited) comes back as read.
    TypeAndEnter(Sheet(), kVideoBitrate, QStringLiteral("7000"));
    QVERIFY(m_frame->CommandAction(ID_EDIT_REVERT_ROW)->isEnabled());
    m_frame->CommandAction(ID_EDIT_REVERT_ROW)->trigger();
    QCOMPARE(Shown(Sheet(), kVideoBitrate), QStringLiteral("4000"));
    QVERIFY(!Sheet().IsRowMarked(kVideoBitrate));
    QVERIFY(Sheet().IsRowMarked(kVideoPid));
    QCOMPARE(PendingColumn(kFirst), 1);

    m_frame->CommandAction(ID_EDIT_REVERT_ALL)->trigger();
    QCOMPARE(Shown(Sheet(), kVideoPid), QStringLiteral("256"));
    QVERIFY(!Sheet().IsRowMarked(kVideoPid));
    QCOMPARE(m_frame->SafeEdits().PendingField()->text(), QStringLiteral("Pending edits: 0"));
    QVERIFY(!m_frame->CommandAction(ID_EDIT_REVERT_ALL)->isEnabled());
    QCOMPARE(QString::fromLatin1(m_frame->SelectedRecord()->password), QStringLiteral("admin"));   // kept

    // A read replaces the edits with what the encoder holds.
    TypeAndEnter(Sheet(), kVideoBitrate, QStringLiteral("6500"));
    QCOMPARE(PendingColumn(kFirst), 1);
    ReadSelected();
    QCOMPARE(Shown(Sheet(), kVideoBitrate), QStringLiteral("4000"));
    QVERIFY(!Sheet().IsRowMarked(kVideoBitrate));
    QCOMPARE(PendingColumn(kFirst), 0);
}

void tst_Edits::marksReadInLightAndDarkPalettes_data()
{
    QTest::addColumn<QPalette>("palette");
    QTest::newRow("light") << QApplication::palette();
    QTest::newRow("dark") << DarkPalette();
}

// The mark is taken from the palette: the label's text stays readable on it.
void tst_Edits::marksReadInLightAndDarkPalettes()
{
    QFETCH(QPalette, palette);
    QApplication::setPalette(palette);
    MakeFrame();
    Select(kFirst);
    ReadSelected();
    TypeAndEnter(Sheet(), kVideoBitrate, QStringLiteral("6500"));
    const CRowTreeItem* row = Sheet().RowFor(kVideoBitrate);
    QVERIFY(Sheet().IsRowMarked(kVideoBitrate));
    QVERIFY2(ContrastRatio(row->GetLabelTextColor(), row->GetLabelBackColor()) >= 4.5,
             qPrintable(QString::number(ContrastRatio(row->GetLabelTextColor(), row->GetLabelBackColor()))));
    QVERIFY(ContrastRatio(row->GetStripeColor(), palette.color(QPalette::Base)) > 1.2);
}

void tst_Edits::everyTextOfTheSheetReadsInLightAndDarkPalettes_data()
{
    marksReadInLightAndDarkPalettes_data();
}

// Headings, labels and values (read-only and greyed ones too) as drawn, in both palettes,
// before any encoder is read and after.
void tst_Edits::everyTextOfTheSheetReadsInLightAndDarkPalettes()
{
    QFETCH(QPalette, palette);
    QApplication::setPalette(palette);
    MakeFrame();
    auto check = [this](const char* when) {
        int rows = 0;
        for (CRowTree* column : {Sheet().LeftColumn(), Sheet().RightColumn()}) {
            for (CRowTreeItem* row = column->GetFirstPainted(); row; row = row->GetNextPainted()) {
                ++rows;
                QColor back;
                const QColor label = column->GetList()->LabelTextColor(row, row->IsHeading(), &back);
                QVERIFY2(ContrastRatio(label, back) >= 4.5, qPrintable(QStringLiteral("%1: label of %2: %3")
                                                                           .arg(when, row->GetLabelText())
                                                                           .arg(ContrastRatio(label, back))));
                if (row->IsHeading()) continue;
                const double value = ContrastRatio(row->ShownValueColor(), row->GetBackColor());
                QVERIFY2(value >= 4.5,
                         qPrintable(QStringLiteral("%1: value of %2: %3").arg(when, row->GetLabelText()).arg(value)));
            }
        }
        QVERIFY(rows > 20);
    };
    check("nothing read");
    Select(kFirst);
    ReadSelected();
    check("read");

    // The output's toolbar buttons show on the toolbar's own colour: their outline reads.
    const QColor toolbar = m_frame->palette().color(QPalette::Active, QPalette::Window);
    for (int id : {ID_START_TS_IP, ID_STOP_TS_IP}) {
        const double best = IconContrast(m_frame->CommandAction(id)->icon(), toolbar);
        QVERIFY2(best >= 4.5, qPrintable(QString::number(best)));
    }
}

void tst_Edits::sheetSaysWhyItTakesNoEdit()
{
    QVERIFY(Sheet().Notice().contains(QStringLiteral("No encoder is selected")));
    QVERIFY(Sheet().RowFor(kVideoBitrate)->IsReadOnly());

    // An encoder never read: its zero-filled record is no configuration. Only its address
    // shows, nothing takes an edit, and the sheet says how to get the settings.
    EncoderRecord* record = Select(kFirst);
    const QString unread = QStringLiteral("Not read yet: press F5 to read this encoder's configuration.");
    QCOMPARE(Sheet().Notice(), unread);
    QCOMPARE(Shown(Sheet(), 10002), kFirst);
    for (int id : {10003, 10004, 10032, 10021, kVideoBitrate, kVideoPid, kProgramName, kPassword})
        QVERIFY2(Shown(Sheet(), id).isEmpty(), qPrintable(QString::number(id)));
    for (int id : {kVideoBitrate, kProgramName, kPassword}) {
        QVERIFY(Sheet().RowFor(id)->IsReadOnly());
        QVERIFY(!OpenEditor(Sheet(), id));
    }
    // Nor does an edit given straight to the frame (as a row editor would) reach the record.
    const EncoderRecord before = *record;
    static_cast<CRowEdit*>(Sheet().RowFor(kVideoBitrate))->setText(QStringLiteral("6500"));
    m_frame->OnCommand(kVideoBitrate);
    QVERIFY(std::memcmp(record, &before, sizeof before) == 0);
    QCOMPARE(Shown(Sheet(), kVideoBitrate), QString());
    QVERIFY(m_prompter->boxes.empty());

    // A failed read leaves it unread.
    m_sim->EncoderFor(kFirstAddress).SetFault(SimFault::Garbage);
    QVERIFY(Tree()->OnCommand(ID_READ_CONFIGURATION));
    WaitIdle();
    QVERIFY(!m_prompter->boxes.empty());
    QCOMPARE(Sheet().Notice(), unread);
    QVERIFY(Sheet().RowFor(kVideoBitrate)->IsReadOnly());
    QCOMPARE(Shown(Sheet(), kVideoBitrate), QString());
    m_prompter->boxes.clear();

    // A read brings the settings, and the rows take edits.
    m_sim->EncoderFor(kFirstAddress).SetFault(SimFault::None);
    ReadSelected();
    QVERIFY(Sheet().Notice().isEmpty());
    QCOMPARE(Shown(Sheet(), kVideoBitrate), QStringLiteral("4000"));
    QVERIFY(!Sheet().RowFor(kVideoBitrate)->IsReadOnly());
    TypeAndEnter(Sheet(), kVideoBitrate, QStringLiteral("6500"));
    QCOMPARE(Shown(Sheet(), kVideoBitrate), QStringLiteral("6500"));

    // The other encoder, never read, is blank again; the first keeps its edit.
    Select(kSecond);
    QCOMPARE(Sheet().Notice(), unread);
    QCOMPARE(Shown(Sheet(), kVideoBitrate), QString());
    Select(kFirst);
    QCOMPARE(Shown(Sheet(), kVideoBitrate), QStringLiteral("6500"));
    Tree()->SelectNone();
    QVERIFY(Sheet().RowFor(kVideoBitrate)->IsReadOnly());
    QVERIFY(Sheet().Notice().contains(QStringLiteral("No encoder is selected")));
}

void tst_Edits::reviewShowsTheChangesAndAsks()
{
    EncoderRecord* record = Select(kFirst);
    ReadSelected();
    TypePasswords();
    TypeAndEnter(Sheet(), kVideoBitrate, QStringLiteral("6500"));
    // A name the encoder keeps in GB2312 shows in the review as the sheet shows it.
    TypeAndEnter(Sheet(), kProgramName, QString::fromUtf8("中文频道"));

    // Escape cancels: nothing is sent, the edits stay.
    std::vector<CChangesDialog::Row> rows;
    QString intro;
    m_prompter->dialogScripts.push_back([&rows, &intro](QDialog& dialog) {
        rows = static_cast<CChangesDialog&>(dialog).Rows();
        intro = static_cast<CChangesDialog&>(dialog).Intro();
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        return dialog.result();
    });
    m_frame->CommandAction(ID_WRITE_CONFIGURATION)->trigger();
    WaitIdle();
    QCOMPARE(m_prompter->dialogTitles, QStringList{"Review Changes"});
    const QString video = QString::fromLatin1(HeadingOf(*FindSheetRow(kVideoBitrate))) + " / " +
                          QString::fromLatin1(FindSheetRow(kVideoBitrate)->label);
    const QString name = QString::fromLatin1(HeadingOf(*FindSheetRow(kProgramName))) + " / " +
                         QString::fromLatin1(FindSheetRow(kProgramName)->label);
    const std::vector<CChangesDialog::Row> expected = {{name, "Korvane One", QString::fromUtf8("中文频道")},
                                                       {video, "4000", "6500"}};
    QCOMPARE(rows, expected);
    QCOMPARE(intro, QStringLiteral("Write 2 changed settings to 127.0.0.2?"));
    QCOMPARE(m_sim->EncoderFor(kFirstAddress).RequestCount(CMD_WRITE_CONFIG), 0);
    QVERIFY(m_prompter->boxes.empty());
    QCOMPARE(PendingColumn(kFirst), 2);

    // Return confirms: the record is written, and what was written is what the encoder holds.
    m_prompter->dialogScripts.push_back([](QDialog& dialog) {
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Return);
        return dialog.result();
    });
    m_frame->CommandAction(ID_WRITE_CONFIGURATION)->trigger();
    WaitIdle();
    QCOMPARE(m_prompter->BoxTexts(), QStringList{"Set Configuration Success !"});
    char expectedDocument[12000] = "";
    EncoderRecord copy = *record;
    WriteSettingsDocument(copy, expectedDocument);
    const std::string written = m_sim->EncoderFor(kFirstAddress).LastWrittenDocument();
    QCOMPARE(QByteArray::fromStdString(written), QByteArray(expectedDocument));
    QVERIFY(written.find("<progName>\xD6\xD0\xCE\xC4\xC6\xB5\xB5\xC0</progName>") != std::string::npos);
    QCOMPARE(PendingColumn(kFirst), 0);
    QVERIFY(!Sheet().IsRowMarked(kVideoBitrate));

    // Nothing changed: nothing to review.
    m_prompter->boxes.clear();
    m_frame->CommandAction(ID_WRITE_CONFIGURATION)->trigger();
    WaitIdle();
    QCOMPARE(m_prompter->dialogTitles.size(), 2);
    QCOMPARE(m_prompter->BoxTexts(), QStringList{"Set Configuration Success !"});
}

void tst_Edits::severalEncodersOneReviewForTheBatch()
{
    Select(kFirst);
    ReadSelected();
    Select(kSecond);
    ReadSelected();
    for (uint32_t address : {kFirstAddress, kSecondAddress}) {
        EncoderEntry* entry = m_frame->Encoders().Find(address);
        std::strcpy(entry->record.password, "admin");
        std::strcpy(entry->record.newPassword, "admin");
        entry->record.program_info1.video.bitrate = 5000;
    }
    m_frame->Encoders().Find(kSecondAddress)->record.program_info1.video.pid = 300;
    Tree()->selectAll();

    // Declined: one question for the batch, and nothing is sent to either encoder.
    std::vector<CChangesDialog::Row> rows;
    QString intro;
    m_prompter->dialogScripts.push_back(Capture(rows, intro, QDialog::Rejected));
    m_frame->CommandAction(ID_WRITE_CONFIGURATION)->trigger();
    WaitIdle();
    QCOMPARE(m_prompter->dialogTitles, QStringList({"Review Changes"}));
    QCOMPARE(intro, QStringLiteral("Write the changed settings of 2 encoders, each as listed?"));
    QCOMPARE(rows.size(), size_t(5));   // each encoder's heading and its changes
    QCOMPARE(rows[0][0], QStringLiteral("127.0.0.2: 1 changed setting"));
    QCOMPARE(rows[2][0], QStringLiteral("127.0.0.3: 2 changed settings"));
    QVERIFY(rows[1][2] == QStringLiteral("5000"));
    QCOMPARE(m_sim->EncoderFor(kFirstAddress).RequestCount(CMD_WRITE_CONFIG), 0);
    QCOMPARE(m_sim->EncoderFor(kSecondAddress).RequestCount(CMD_WRITE_CONFIG), 0);

    // Confirmed once: both are written.
    m_prompter->dialogScripts.push_back(Capture(rows, intro, QDialog::Accepted));
    m_frame->CommandAction(ID_WRITE_CONFIGURATION)->trigger();
    WaitIdle();
    QCOMPARE(m_prompter->dialogTitles, QStringList({"Review Changes", "Review Changes"}));
    QCOMPARE(m_sim->EncoderFor(kFirstAddress).RequestCount(CMD_WRITE_CONFIG), 1);
    QCOMPARE(m_sim->EncoderFor(kSecondAddress).RequestCount(CMD_WRITE_CONFIG), 1);
}

void tst_Edits::recordThatMustNotBeSentIsRefused_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("box");
    QTest::newRow("never read") << "never read"
                                << "Please read the configuration first !";
    QTest::newRow("last read failed") << "read failed"
                                      << "Please read the configuration first !";
    QTest::newRow("zero record") << "zero"
                                 << "The settings break these rules and were not written:";
    QTest::newRow("one rule broken") << "bitrate"
                                     << "The settings break these rules and were not written:";
}

// Nothing is sent: no connection at all, the record as it was.
void tst_Edits::recordThatMustNotBeSentIsRefused()
{
    QFETCH(QString, how);
    QFETCH(QString, box);
    EncoderRecord* record = Select(kFirst);
    SimEncoder encoder = m_sim->EncoderFor(kFirstAddress);
    if (how == "read failed") {
        ReadSelected();
        encoder.SetFault(SimFault::WrongRoot);
        QVERIFY(Tree()->OnCommand(ID_READ_CONFIGURATION));
        WaitIdle();
        encoder.SetFault(SimFault::None);
    } else if (how == "zero") {
        // A record that claims to be read but holds the zeros of one never read.
        EncoderEntry* entry = m_frame->Encoders().Find(kFirstAddress);
        entry->record.loaded = 1;
        entry->SetLastRead(EncoderRecord{});
    } else if (how == "bitrate") {
        ReadSelected();
        record->program_info1.video.bitrate = 0;
    }
    std::strcpy(record->password, "admin");
    std::strcpy(record->newPassword, "admin");
    const size_t requestsBefore = encoder.Requests().size();
    const EncoderRecord before = *record;
    m_prompter->boxes.clear();
    m_frame->CommandAction(ID_WRITE_CONFIGURATION)->trigger();
    WaitIdle();

    QCOMPARE(m_prompter->boxes.size(), size_t(1));
    QVERIFY2(m_prompter->boxes.front().text.startsWith(box), qPrintable(m_prompter->boxes.front().text));
    QCOMPARE(m_prompter->boxes.front().caption, QStringLiteral("Warning"));
    QCOMPARE(m_prompter->boxes.front().icon, CPrompter::Icon::Exclamation);
    QCOMPARE(encoder.Requests().size(), requestsBefore);
    QVERIFY(std::memcmp(record, &before, sizeof before) == 0);   // NOLINT(bugprone-suspicious-memory-comparison)
    QVERIFY(m_frame->CommandAction(ID_WRITE_CONFIGURATION)->isEnabled());   // Write stays available
    if (how == "bitrate") {
        // Every broken rule, with its row.
        const QString text = m_prompter->boxes.front().text;
        QCOMPARE(text.count(QLatin1Char('\n')), 1);
        QVERIFY2(text.contains(QString::fromLatin1(FindSheetRow(kVideoBitrate)->label)), qPrintable(text));
    }
    if (how == "zero") QVERIFY(m_prompter->boxes.front().text.count(QLatin1Char('\n')) >= 4);
}

void tst_Edits::readBackShowsWhatDidNotTake()
{
    m_frame->SafeEdits().SetReadBack(true);
    Select(kFirst);
    ReadSelected();
    TypePasswords(QStringLiteral("wrong"));
    TypeAndEnter(Sheet(), kVideoBitrate, QStringLiteral("6500"));
    // An encoder that answers "OK" and keeps its settings (here: the wrong password).
    SimEncoder encoder = m_sim->EncoderFor(kFirstAddress);
    encoder.SetWriteReply(std::string("OK", 3));
    std::vector<CChangesDialog::Row> review, readBack;
    QString reviewIntro, readBackIntro;
    m_prompter->dialogScripts.push_back(Capture(review, reviewIntro, QDialog::Accepted));
    m_prompter->dialogScripts.push_back(Capture(readBack, readBackIntro, QDialog::Accepted));
    m_frame->CommandAction(ID_WRITE_CONFIGURATION)->trigger();
    WaitIdle();

    QCOMPARE(m_prompter->BoxTexts(), QStringList{"Set Configuration Success !"});
    QCOMPARE(encoder.RequestCount(CMD_READ_CONFIG), 2);
    QCOMPARE(m_prompter->dialogTitles, QStringList({"Review Changes", "Read Back"}));
    const QString video = QString::fromLatin1(HeadingOf(*FindSheetRow(kVideoBitrate))) + " / " +
                          QString::fromLatin1(FindSheetRow(kVideoBitrate)->label);
    const std::vector<CChangesDialog::Row> expected = {{video, "6500", "4000"}};
    QCOMPARE(readBack, expected);
    QVERIFY(readBackIntro.startsWith(kFirst));
    QCOMPARE(Shown(Sheet(), kVideoBitrate), QStringLiteral("4000"));   // what the encoder holds

    // An encoder that took everything: no dialog, a line in the log.
    encoder.SetWriteReply(std::string());
    TypePasswords();
    TypeAndEnter(Sheet(), kVideoBitrate, QStringLiteral("6500"));
    m_prompter->dialogScripts.push_back([](QDialog&) { return int(QDialog::Accepted); });
    m_frame->CommandAction(ID_WRITE_CONFIGURATION)->trigger();
    WaitIdle();
    QCOMPARE(m_prompter->dialogTitles.size(), 3);
    QCOMPARE(encoder.RequestCount(CMD_READ_CONFIG), 3);
    QCOMPARE(m_frame->ActivityLog()->Entries().back().text,
             QStringLiteral("Read back after the write: every setting took"));
}

void tst_Edits::readBackIsKeptAndOffByDefault()
{
    m_frame->RestoreSettings();
    QVERIFY(!m_frame->SafeEdits().ReadBack());
    QAction* option = m_frame->CommandAction(ID_READ_BACK_AFTER_WRITE);
    QVERIFY(option->isCheckable() && !option->isChecked());
    QVERIFY(option->statusTip().contains(QStringLiteral("one more read")));
    option->trigger();
    QVERIFY(m_frame->SafeEdits().ReadBack());
    QCOMPARE(QSettings().value(QString::fromLatin1(kReadBackKey)).toBool(), true);
    MakeFrame();
    QVERIFY(!m_frame->SafeEdits().ReadBack());
    m_frame->RestoreSettings();
    QVERIFY(m_frame->SafeEdits().ReadBack());
    QVERIFY(m_frame->CommandAction(ID_READ_BACK_AFTER_WRITE)->isChecked());
}

void tst_Edits::passwordsMaskedAndNeverLogged()
{
    const QString secret = QStringLiteral("s3cr3t");
    m_sim->EncoderFor(kFirstAddress).SetPassword(secret.toStdString());
    Select(kFirst);
    ReadSelected();
    TypePasswords(secret);
    QCOMPARE(QString::fromLatin1(m_frame->SelectedRecord()->password), secret);
    QVERIFY(!Shown(Sheet(), kPassword).contains(secret));
    QCOMPARE(Shown(Sheet(), kPassword), Shown(Sheet(), kNewPassword));   // no length told
    QCOMPARE(static_cast<QLineEdit*>(static_cast<CRowEdit*>(Sheet().RowFor(kPassword)))->echoMode(),
             QLineEdit::Password);
    m_frame->CommandAction(ID_VIEW_SHOW_PASSWORDS)->trigger();
    QCOMPARE(Shown(Sheet(), kPassword), secret);
    m_frame->CommandAction(ID_VIEW_SHOW_PASSWORDS)->trigger();
    QVERIFY(!Shown(Sheet(), kPassword).contains(secret));

    TypeAndEnter(Sheet(), kVideoBitrate, QStringLiteral("6500"));
    m_prompter->dialogScripts.push_back([](QDialog&) { return int(QDialog::Accepted); });
    m_frame->CommandAction(ID_WRITE_CONFIGURATION)->trigger();
    WaitIdle();
    QCOMPARE(m_prompter->BoxTexts(), QStringList{"Set Configuration Success !"});
    QVERIFY(!m_frame->ActivityLog()->Entries().empty());
    for (const CActivityLog::Entry& entry : m_frame->ActivityLog()->Entries())
        QVERIFY2(!entry.text.contains(secret), qPrintable(entry.text));
}

// Save on one encoder, apply to another, write: the document sent equals the source's but
// for the fields each encoder keeps as its own.
void tst_Edits::presetRoundTripToAnotherEncoder()
{
    SimEncoder target = m_sim->EncoderFor(kSecondAddress);
    std::string document = target.Document();
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"<progName>Korvane One</progName>", "<progName>Studio B</progName>"},
             {"<bitrate>4000</bitrate>", "<bitrate>5000</bitrate>"},
             {"<ipMask>255.255.255.0</ipMask>", "<ipMask>255.255.0.0</ipMask>"},
             {"<version>KV202-HW2.1</version>", "<version>KV202-HW2.2</version>"}}) {
        const size_t at = document.find(from);
        QVERIFY2(at != std::string::npos, from.c_str());
        document.replace(at, from.size(), to);
    }
    target.SetDocument(document);

    EncoderRecord* source = Select(kFirst);
    ReadSelected();
    TypePasswords();   // typed, never stored in the file
    const QString path = m_dir.filePath(QStringLiteral("preset.xml"));
    m_prompter->dialogScripts.push_back(ChooseFile(path));
    m_frame->CommandAction(ID_FILE_SAVE_SETTINGS)->trigger();
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray file = saved.readAll();
    QCOMPARE(file.toStdString(), SaveSettingsDocument(*source));
    QVERIFY(file.contains("<password></password>") && file.contains("<newPassword></newPassword>"));
    QVERIFY(!file.contains("admin"));

    EncoderRecord* other = Select(kSecond);
    ReadSelected();
    const size_t requests = target.Requests().size();
    m_prompter->dialogScripts.push_back(ChooseFile(path));
    m_frame->CommandAction(ID_FILE_APPLY_SETTINGS)->trigger();
    QVERIFY(m_prompter->boxes.empty());
    QCOMPARE(target.Requests().size(), requests);   // nothing sent until a write
    QCOMPARE(Shown(Sheet(), kProgramName), QStringLiteral("Korvane One"));
    QVERIFY(Sheet().IsRowMarked(kProgramName) && Sheet().IsRowMarked(kVideoBitrate));
    QCOMPARE(PendingColumn(kSecond), 2);

    TypePasswords();
    m_prompter->dialogScripts.push_back([](QDialog&) { return int(QDialog::Accepted); });
    m_frame->CommandAction(ID_WRITE_CONFIGURATION)->trigger();
    WaitIdle();
    QCOMPARE(m_prompter->BoxTexts(), QStringList{"Set Configuration Success !"});

    char sourceDocument[12000] = "";
    EncoderRecord copy = *source;
    WriteSettingsDocument(copy, sourceDocument);
    const QStringList sent = QString::fromStdString(target.LastWrittenDocument()).split(QLatin1Char('\n'));
    const QStringList expected = QString::fromLatin1(sourceDocument).split(QLatin1Char('\n'));
    QCOMPARE(sent.size(), expected.size());
    const QStringList kept = {"keyboard",    "version",        "ipAddr",    "ipMask",   "ipGate",      "password",
                              "newPassword", "defaultSetting", "tsBitrate", "standard", "adjustVolumn"};
    QStringList differing;
    for (int i = 0; i < sent.size(); ++i)
        if (sent[i] != expected[i]) differing << ElementOf(sent[i]);
    QCOMPARE(differing, QStringList({"version", "ipAddr", "ipMask"}));
    for (const QString& element : differing) QVERIFY(kept.contains(element));
    QCOMPARE(other->ipMask, 0xFFFF0000u);
}

void tst_Edits::presetThatBreaksARuleIsNotApplied()
{
    Select(kFirst);
    ReadSelected();
    std::string document = SaveSettingsDocument(*m_frame->SelectedRecord());
    const std::string from = "<bitrate>4000</bitrate>";
    document.replace(document.find(from), from.size(), "<bitrate>0</bitrate>");
    const QString path = m_dir.filePath(QStringLiteral("broken.xml"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(document.data(), qint64(document.size()));
    file.close();

    EncoderRecord* other = Select(kSecond);
    ReadSelected();
    Tree()->selectAll();
    const EncoderRecord before = *other;
    m_prompter->dialogScripts.push_back(ChooseFile(path));
    m_frame->CommandAction(ID_FILE_APPLY_SETTINGS)->trigger();
    QCOMPARE(m_prompter->boxes.size(), size_t(1));
    const QString text = m_prompter->boxes.front().text;
    QVERIFY2(text.startsWith("The settings of broken.xml were not applied to:"), qPrintable(text));
    QVERIFY2(text.contains(kFirst) && text.contains(kSecond), qPrintable(text));
    QVERIFY2(text.contains(QString::fromLatin1(FindSheetRow(kVideoBitrate)->label)), qPrintable(text));
    QVERIFY(std::memcmp(other, &before, sizeof before) == 0);   // NOLINT(bugprone-suspicious-memory-comparison)
    QCOMPARE(PendingColumn(kFirst), 0);
    QCOMPARE(PendingColumn(kSecond), 0);
}

// A never-read record holds zeros, not the encoder's settings: it is neither saved nor
// given another encoder's settings.
void tst_Edits::presetsNeedAnEncoderThatWasRead()
{
    EncoderRecord* record = Select(kFirst);
    const QString path = m_dir.filePath(QStringLiteral("never.xml"));
    m_prompter->dialogScripts.push_back(ChooseFile(path));
    m_frame->CommandAction(ID_FILE_SAVE_SETTINGS)->trigger();
    QCOMPARE(m_prompter->BoxTexts(), QStringList{"Please read the configuration first !"});
    QVERIFY(!QFile::exists(path));
    QVERIFY(m_prompter->dialogTitles.isEmpty());

    m_prompter->boxes.clear();
    Select(kSecond);
    ReadSelected();
    m_prompter->dialogScripts.clear();
    m_prompter->dialogScripts.push_back(ChooseFile(path));
    m_frame->CommandAction(ID_FILE_SAVE_SETTINGS)->trigger();
    QVERIFY(QFile::exists(path));

    m_prompter->boxes.clear();
    Tree()->SelectOnly(m_frame->FindEncoderItem(kFirst));
    const EncoderRecord before = *record;
    m_prompter->dialogScripts.push_back(ChooseFile(path));
    m_frame->CommandAction(ID_FILE_APPLY_SETTINGS)->trigger();
    QCOMPARE(m_prompter->BoxTexts(),
             QStringList{"The settings of never.xml were not applied to:\n127.0.0.2: Please read "
                         "the configuration first !"});
    QVERIFY(std::memcmp(record, &before, sizeof before) == 0);   // NOLINT(bugprone-suspicious-memory-comparison)
}

// The file-level checks are the command line's own (SettingsFileFault): the same files are
// refused with the same words, and nothing of them is taken.
void tst_Edits::settingsFileRefusedAsTheCommandLineRefusesIt_data()
{
    QTest::addColumn<QByteArray>("edit");   // what replaces "Korvane One" in a good file; empty: cut short
    QTest::addColumn<QString>("fault");
    QTest::newRow("cut short") << QByteArray() << QStringLiteral("The settings file is not well-formed XML (line ");
    QTest::newRow("control bytes") << QByteArray("Ko\x01\x02\x1b[31mrv")
                                   << QStringLiteral("program_info1.progName must not contain control characters !");
    QTest::newRow("too long") << QByteArray(70000, ' ') << QStringLiteral("The settings file is too long !");
}

void tst_Edits::settingsFileRefusedAsTheCommandLineRefusesIt()
{
    QFETCH(QByteArray, edit);
    QFETCH(QString, fault);
    Select(kFirst);
    ReadSelected();
    std::string document = SaveSettingsDocument(*m_frame->SelectedRecord());
    if (edit.isEmpty()) {
        document.resize(1000);
    } else {
        const std::string from = "Korvane One";
        document.replace(document.find(from), from.size(), edit.toStdString());
    }
    if (edit.size() < 1000) QVERIFY(SettingsFileFault(document).value_or("").rfind(fault.toStdString(), 0) == 0);
    const QString path = m_dir.filePath(QStringLiteral("hostile.xml"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(document.data(), qint64(document.size()));
    file.close();

    const EncoderRecord before = *m_frame->SelectedRecord();
    m_prompter->dialogScripts.push_back(ChooseFile(path));
    m_frame->CommandAction(ID_FILE_APPLY_SETTINGS)->trigger();
    QCOMPARE(m_prompter->boxes.size(), size_t(1));
    const QString text = m_prompter->boxes.front().text;
    QVERIFY2(text.startsWith("The settings of hostile.xml were not applied to:"), qPrintable(text));
    QVERIFY2(text.contains(fault), qPrintable(text));
    QVERIFY(std::memcmp(m_frame->SelectedRecord(), &before, sizeof before) ==
            0);   // NOLINT(bugprone-suspicious-memory-comparison)
    QCOMPARE(PendingColumn(kFirst), 0);
}

void tst_Edits::compareTwoEncoders()
{
    SimEncoder second = m_sim->EncoderFor(kSecondAddress);
    std::string document = second.Document();
    const std::string from = "<progName>Korvane One</progName>";
    // 中文频道 as the encoder keeps it: GB2312 bytes.
    document.replace(document.find(from), from.size(), "<progName>\xD6\xD0\xCE\xC4\xC6\xB5\xB5\xC0</progName>");
    second.SetDocument(document);
    Select(kFirst);
    ReadSelected();
    QVERIFY(!m_frame->CommandAction(ID_COMPARE_ENCODERS)->isEnabled());
    Select(kSecond);
    ReadSelected();
    Tree()->selectAll();
    QVERIFY(m_frame->CommandAction(ID_COMPARE_ENCODERS)->isEnabled());
    std::vector<CChangesDialog::Row> rows;
    QString intro;
    m_prompter->dialogScripts.push_back(Capture(rows, intro, QDialog::Accepted));
    m_frame->CommandAction(ID_COMPARE_ENCODERS)->trigger();
    QCOMPARE(m_prompter->dialogTitles, QStringList{"Compare Encoders"});
    const QString name = QString::fromLatin1(HeadingOf(*FindSheetRow(kProgramName))) + " / " +
                         QString::fromLatin1(FindSheetRow(kProgramName)->label);
    // The address rows differ too: every row that shows a field is compared.
    QVERIFY(std::find(rows.begin(), rows.end(),
                      CChangesDialog::Row{name, "Korvane One", QString::fromUtf8("中文频道")}) != rows.end());
    QCOMPARE(rows.size(), size_t(2));
}

void tst_Edits::escapeInAnEditorClosesItAndCancelsNothing()
{
    Select(kFirst);
    ReadSelected();
    // A read of the other encoder is in flight while the operator edits this one.
    m_sim->EncoderFor(kSecondAddress).SetDelay(400);
    Select(kSecond);
    QVERIFY(Tree()->OnCommand(ID_READ_CONFIGURATION));
    QVERIFY(m_frame->InExchange());
    Select(kFirst);

    QLineEdit* editor = OpenEditor(Sheet(), kProgramName);
    QVERIFY(editor);
    QTest::keyClicks(editor, "Typed");
    QTest::keyClick(editor, Qt::Key_Escape);

    QVERIFY(m_frame->InExchange());   // the read goes on
    QVERIFY(QApplication::focusWidget() != editor);
    QCOMPARE(Shown(Sheet(), kProgramName), QStringLiteral("Korvane One"));
    QCOMPARE(PendingColumn(kFirst), 0);
    WaitIdle();
    // It ran to its own end (the stand-in answers too late for these short waits): nothing
    // was cancelled.
    for (const CActivityLog::Entry& entry : m_frame->ActivityLog()->Entries())
        QVERIFY2(!entry.text.contains(QStringLiteral("cancel"), Qt::CaseInsensitive), qPrintable(entry.text));

    // With no editor open, Esc is the window's again: it cancels.
    Select(kSecond);
    QVERIFY(Tree()->OnCommand(ID_READ_CONFIGURATION));
    Tree()->setFocus();
    QTest::keyClick(Tree(), Qt::Key_Escape);
    WaitIdle();
    QVERIFY(m_frame->ActivityLog()->Entries().back().text.contains(QStringLiteral("cancel"), Qt::CaseInsensitive));
}

QTEST_MAIN(tst_Edits)
#include "tst_edits.moc"
