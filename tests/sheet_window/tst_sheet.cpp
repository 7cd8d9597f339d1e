// The settings sheet window: its rows built from the layout table, the refresh from a
// record, the column divider, and, end to end against the in-process stand-in encoder,
// edits committed through the main window's command handler.

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>
#include <QInputMethodEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>
#include <cstring>
#include <memory>

#include "AppIds.h"
#include "CDeviceTree.h"
#include "CMainFrame.h"
#include "CRowCombo.h"
#include "CRowEdit.h"
#include "CRowIPAddress.h"
#include "CRowStatic.h"
#include "CSettingsSheet.h"
#include "RecordingPrompter.h"
#include "WindowTest.h"
#include "SettingsDocument.h"
#include "StandInEncoder.h"

namespace {

struct ColumnShape {
    int headings = 0;
    int rows = 0;
};

ColumnShape Shape(CRowTree* tree)
{
    ColumnShape shape;
    tree->WalkTree([&](CRowTreeItem* item) { (item->IsHeading() ? shape.headings : shape.rows)++; });
    return shape;
}

// What a built row shows in its value cell while its editor is closed.
QString Shown(CSettingsSheet& sheet, int id)
{
    return sheet.RowFor(id)->GetValueText();
}

const SheetRow* LayoutRowNamed(const SheetColumn& column, const char* label, int nth = 0)
{
    for (const SheetRow& row : column)
        if (row.label && std::strcmp(row.label, label) == 0 && nth-- == 0) return &row;
    return nullptr;
}

// Opens the row's editor the way the operator does: a click into its value cell.
QWidget* OpenEditor(CSettingsSheet& sheet, int id)
{
    CRowTreeItem* row = sheet.RowFor(id);
    CRowTree* tree = row->GetOwner();
    tree->EnsureVisible(row);
    tree->LayoutRows();
    QTest::mouseClick(tree->GetList(), Qt::LeftButton, {}, row->GetValueRect().center());
    return QApplication::focusWidget();
}

void TypeAndEnter(CSettingsSheet& sheet, int id, const QString& text)
{
    QWidget* editor = OpenEditor(sheet, id);
    QVERIFY(editor == dynamic_cast<CRowEdit*>(sheet.RowFor(id)));
    static_cast<QLineEdit*>(editor)->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
}

// Chinese is typed through an input method, which commits whole strings to the editor.
void ComposeAndEnter(CSettingsSheet& sheet, int id, const QString& text)
{
    QWidget* editor = OpenEditor(sheet, id);
    QVERIFY(editor == dynamic_cast<CRowEdit*>(sheet.RowFor(id)));
    static_cast<QLineEdit*>(editor)->selectAll();
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(editor, &event);
    QCOMPARE(static_cast<QLineEdit*>(editor)->text(), text);
    QTest::keyClick(editor, Qt::Key_Return);
}

}   // namespace

class tst_Sheet : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // The sheet on its own.
    void buildsBothColumnsFromTheTable();
    void emptyBeforeTheFirstRefresh();
    void refreshShowsTheRecord_data();
    void refreshShowsTheRecord();
    void refreshSendsNoCommandAndNullChangesNothing();
    void readEditorByKind();
    void columnDividerPlacesBothColumns();
    void columnDividerDrag();

    // End to end through the main window and the stand-in encoder.
    void selectingAnEncoderShowsItsRecord();
    void readShowsTheEncodersValues();
    void everyCommandRefreshesWhileSelected();
    void nothingHappensWithoutSelection();
    void pidConflictWarnsAndRestores();
    void startPicksAPmtPid();
    void audioBitrateSteppingInSingleMode();
    void passwordsTypedThenWritten();
    void readEditWriteReadCarriesEverySetting();

    // Texts in the encoder's GB2312.
    void chineseNamesRoundTrip();
    void serviceNameLimitCountsGb2312Bytes_data();
    void serviceNameLimitCountsGb2312Bytes();
    void unencodableCharacterIsRefusedByName();
    void bytesThatAreNotGb2312StayUntouched();
    void controlBytesNeverReachADocument_data();
    void controlBytesNeverReachADocument();
    void controlBytesFromTheEncoderAreReplacedOnWrite();
    void chineseNamesAreDrawnWithRealGlyphs();

private:
    CSettingsSheet& Sheet() const { return *m_frame->SettingsSheet(); }
    EncoderRecord* AddAndSelect();
    void Read();
    void ServeTexts(const std::vector<std::pair<std::string, std::string>>& replacements);
    void WriteWithPasswords();

    std::unique_ptr<StandInEncoder> m_sim;
    std::unique_ptr<RecordingPrompter> m_prompter;
    QPointer<CMainFrame> m_frame;
    std::unique_ptr<CSettingsSheet> m_sheet;
    int m_commands = 0;
};

void tst_Sheet::init()
{
    m_sim = std::make_unique<StandInEncoder>();
    QVERIFY2(m_sim->Start(), m_sim->Error().c_str());
    m_prompter = std::make_unique<RecordingPrompter>();
    m_frame = new CMainFrame(*m_prompter, m_sim->Link(), m_sim->OutFile());
    QVERIFY(ShowWindow(m_frame, QSize(1400, 900)));

    m_commands = 0;
    m_sheet = std::make_unique<CSettingsSheet>(nullptr, [this](int) { ++m_commands; });
    m_sheet->resize(1000, 700);
}

void tst_Sheet::cleanup()
{
    m_sheet.reset();
    delete m_frame.data();
    m_sim.reset();
}

void tst_Sheet::buildsBothColumnsFromTheTable()
{
    CSettingsSheet& sheet = *m_sheet;
    QCOMPARE(Shape(sheet.LeftColumn()).headings, 4);
    QCOMPARE(Shape(sheet.LeftColumn()).rows, 38);
    QCOMPARE(Shape(sheet.RightColumn()).headings, 4);
    QCOMPARE(Shape(sheet.RightColumn()).rows, 33);
    QCOMPARE(sheet.LeftColumn()->GetOptions(), RTS_SHADEMARGIN | RTS_HEADINGCOLORS);

    for (auto [column, layout] :
         {std::pair{sheet.LeftColumn(), &::LeftColumn()}, std::pair{sheet.RightColumn(), &::RightColumn()}}) {
        // The tree's rows in walk order are the table's rows in table order.
        std::vector<CRowTreeItem*> built;
        column->WalkTree([&](CRowTreeItem* item) { built.push_back(item); });
        QCOMPARE(built.size(), layout->count);
        for (size_t i = 0; i < built.size(); ++i) {
            const SheetRow& row = layout->rows[i];
            CRowTreeItem* item = built[i];
            QCOMPARE(item->GetLabelText(), QString::fromLatin1(row.label ? row.label : ""));
            if (row.kind == RowKind::Heading) {
                QVERIFY(item->IsHeading());
                QVERIFY(item->IsExpanded());
                QCOMPARE(item->GetHeadingColor(), ColorFromRef(row.color));
                continue;
            }
            QCOMPARE(item->IsReadOnly(), row.readOnly);
            if (row.color != kDefaultColor)
                QCOMPARE(item->GetBackColor(), ColorFromRef(row.color));
            else
                QCOMPARE(item->GetBackColor(), QApplication::palette().color(QPalette::Active, QPalette::Base));
            if (row.controlId) QCOMPARE(sheet.RowFor(row.controlId), item);
            switch (row.kind) {
            case RowKind::Numeric:
            case RowKind::Text: {
                auto* edit = dynamic_cast<CRowEdit*>(item);
                QVERIFY(edit && edit->HasEditor());
                QCOMPARE(edit->GetEditOptions(), row.kind == RowKind::Numeric ? REO_NUMBER : 0u);
                QCOMPARE(edit->GetCommandId(), row.controlId);
                break;
            }
            case RowKind::Combo: {
                auto* combo = dynamic_cast<CRowCombo*>(item);
                QVERIFY(combo && combo->HasEditor());
                QCOMPARE(combo->count(), int(row.options.count));
                for (int k = 0; k < combo->count(); ++k)
                    QCOMPARE(combo->itemText(k), QString::fromLatin1(row.options.texts[k]));
                QCOMPARE(combo->GetCommandId(), row.controlId);
                break;
            }
            case RowKind::IPAddress:
                QVERIFY(dynamic_cast<CRowIPAddress*>(item) && item->HasEditor());
                break;
            case RowKind::Static:
            case RowKind::Heading:
                QVERIFY(dynamic_cast<CRowStatic*>(item));
                break;
            }
        }
    }
    for (int unused : {0, 10001, 10009, 10068, 10069, 10070}) QVERIFY(!sheet.RowFor(unused));
}

void tst_Sheet::emptyBeforeTheFirstRefresh()
{
    for (const SheetColumn* column : {&::LeftColumn(), &::RightColumn()}) {
        for (const SheetRow& row : *column) {
            if (row.kind == RowKind::Heading || !m_sheet->RowFor(row)) continue;
            CRowTreeItem* item = m_sheet->RowFor(row);
            if (auto* combo = dynamic_cast<CRowCombo*>(item))
                QCOMPARE(combo->GetCurSel(), -1);
            else if (auto* address = dynamic_cast<CRowIPAddress*>(item))
                QVERIFY(address->IsBlank());
            else
                QCOMPARE(item->GetValueText(), QString());
        }
    }
}

void tst_Sheet::refreshShowsTheRecord_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("shown");
    // A freshly added encoder: zeros, empty texts, first options, its own address.
    QTest::newRow("address") << 10002 << "127.0.0.1";
    QTest::newRow("mask") << 10003 << "0.0.0.0";
    QTest::newRow("ts address") << 10011 << "0.0.0.0";
    QTest::newRow("device number") << 10007 << "0";
    QTest::newRow("password") << 10005 << "";
    QTest::newRow("start 1") << 10013 << " No ";
    QTest::newRow("start 2") << 10044 << "No";
    QTest::newRow("video input 2") << 10051 << "YPbPr";
    QTest::newRow("sdi number") << 10071 << "0";
    QTest::newRow("sample rate") << 10032 << "32000";
    QTest::newRow("audio bitrate") << 10035 << "32";
    QTest::newRow("audio mode") << 10036 << "Joint Stereo";
    QTest::newRow("second analogue input") << 10062 << "analog";
    QTest::newRow("service name") << 10045 << "";
}

void tst_Sheet::refreshShowsTheRecord()
{
    QFETCH(int, id);
    QFETCH(QString, shown);
    EncoderRecord record{};
    record.ipAddr = 0x7F000001;
    m_sheet->Refresh(&record);
    QCOMPARE(Shown(*m_sheet, id), shown);

    // Values that need a word: signedness, codes past the options, static texts.
    record.tsipPort = 65535;
    record.deviceID = 255;
    record.tsBitrate = -3;
    record.program_info1.video.source = 255;
    record.program_info2.audio1.source = 1;
    record.program_info1.audio1.bitrate = 12;
    std::strcpy(record.version, "HW 2.1");
    std::strcpy(record.program_info2.video.standard, "PAL");
    m_sheet->Refresh(&record);
    QCOMPARE(Shown(*m_sheet, 10012), QStringLiteral("65535"));
    QCOMPARE(Shown(*m_sheet, 10007), QStringLiteral("255"));
    QCOMPARE(Shown(*m_sheet, 10010), QStringLiteral("-3"));
    QCOMPARE(static_cast<CRowCombo*>(m_sheet->RowFor(10020))->GetCurSel(), -1);
    QCOMPARE(static_cast<CRowCombo*>(m_sheet->RowFor(10062))->GetCurSel(), -1);
    QCOMPARE(Shown(*m_sheet, 10035), QStringLiteral("384"));
    QCOMPARE(m_sheet->RowFor(*LayoutRowNamed(::LeftColumn(), "HW version"))->GetValueText(), QStringLiteral("HW 2.1"));
    QCOMPARE(m_sheet->RowFor(*LayoutRowNamed(::RightColumn(), "Video Signal"))->GetValueText(), QStringLiteral("PAL"));
    QCOMPARE(m_sheet->RowFor(*LayoutRowNamed(::LeftColumn(), "Video Signal"))->GetValueText(), QString());
}

void tst_Sheet::refreshSendsNoCommandAndNullChangesNothing()
{
    m_sheet->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_sheet.get()));
    EncoderRecord record{};
    record.deviceID = 7;
    record.program_info1.video.gop = 2;
    m_sheet->Refresh(&record);
    record.deviceID = 9;
    record.program_info1.video.gop = 3;
    m_sheet->Refresh(&record);
    m_sheet->Refresh(nullptr);
    QCOMPARE(Shown(*m_sheet, 10007), QStringLiteral("9"));
    QCOMPARE(Shown(*m_sheet, 10024), QStringLiteral("IPBB"));
    QCOMPARE(m_commands, 0);
}

void tst_Sheet::readEditorByKind()
{
    EncoderRecord record{};
    record.tsipAddr = 0xEF000102;
    record.program_info1.video.resolution = 2;
    std::strcpy(record.program_info1.progName, "News");
    record.program_info1.video.filter = 200;   // beyond the options: no selection
    m_sheet->Refresh(&record);
    QCOMPARE(m_sheet->ReadEditor(10011)->address, 0xEF000102u);
    QCOMPARE(m_sheet->ReadEditor(10023)->index, uint8_t(2));
    QCOMPARE(m_sheet->ReadEditor(10025)->index, uint8_t(255));
    QCOMPARE(m_sheet->ReadEditor(10014)->text, std::string("News"));
    QCOMPARE(m_sheet->ReadEditor(10016)->text, std::string("0"));
    QVERIFY(!m_sheet->ReadEditor(10001));
    QVERIFY(!m_sheet->ReadEditor(ID_APP_ABOUT));
}

void tst_Sheet::columnDividerPlacesBothColumns()
{
    CSettingsSheet& sheet = *m_sheet;
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    const QRect client = sheet.contentsRect();
    QCOMPARE(sheet.ColumnDivider(), 380);
    QCOMPARE(sheet.LeftColumn()->geometry(), QRect(client.left(), client.top(), 379, client.height()));
    QCOMPARE(sheet.RightColumn()->geometry(),
             QRect(client.left() + 381, client.top(), client.width() - 382, client.height()));
    // Every resize sets both label/value dividers back to 200 and keeps the column divider.
    sheet.LeftColumn()->SetDividerPos(300);
    sheet.RightColumn()->SetDividerPos(60);
    sheet.resize(1200, 600);
    QCOMPARE(sheet.LeftColumn()->GetDividerPos(), 200);
    QCOMPARE(sheet.RightColumn()->GetDividerPos(), 200);
    QCOMPARE(sheet.LeftColumn()->width(), 379);
    QCOMPARE(sheet.RightColumn()->width(), sheet.contentsRect().width() - 382);
}

void tst_Sheet::columnDividerDrag()
{
    CSettingsSheet& sheet = *m_sheet;
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    const QPoint origin = sheet.contentsRect().topLeft();
    const QPoint gap = origin + QPoint(380, 100);
    QCOMPARE(sheet.childAt(gap), nullptr);   // the gap between the columns is the sheet's own
    QCOMPARE(sheet.cursor().shape(), Qt::SplitHCursor);

    // A click without a move leaves both columns where they were.
    QTest::mouseClick(&sheet, Qt::LeftButton, {}, gap);
    QCOMPARE(sheet.LeftColumn()->width(), 379);

    QTest::mousePress(&sheet, Qt::LeftButton, {}, gap);
    QVERIFY(sheet.IsDragging());
    QTest::mouseMove(&sheet, origin + QPoint(520, 100));
    QVERIFY(sheet.DividerBar()->isVisible());
    QCOMPARE(sheet.DividerBar()->geometry(), QRect(origin.x() + 518, origin.y(), 4, sheet.contentsRect().height()));
    QCOMPARE(sheet.LeftColumn()->width(), 379);   // the columns move on release only
    QTest::mouseRelease(&sheet, Qt::LeftButton, {}, origin + QPoint(520, 100));
    QVERIFY(!sheet.IsDragging());
    QVERIFY(!sheet.DividerBar()->isVisible());
    QCOMPARE(sheet.ColumnDivider(), 520);
    QCOMPARE(sheet.LeftColumn()->width(), 519);
    QCOMPARE(sheet.RightColumn()->x(), origin.x() + 521);
    QCOMPARE(sheet.RightColumn()->width(), sheet.contentsRect().width() - 522);
}

// ---- end to end ----

EncoderRecord* tst_Sheet::AddAndSelect()
{
    EncoderRecord* item = m_frame->AddEncoder(QStringLiteral("127.0.0.1"));
    m_frame->DeviceTree()->SelectOnly(item);
    return item;
}

void tst_Sheet::Read()
{
    QVERIFY(m_frame->DeviceTree()->OnCommand(ID_READ_CONFIGURATION));
    // The read runs in the background; the sheet follows when it has ended.
    QVERIFY(QTest::qWaitFor([this] { return !m_frame->InExchange(); }, 5000));
    QVERIFY(m_frame->SelectedRecord()->loaded);
}

void tst_Sheet::selectingAnEncoderShowsItsRecord()
{
    m_frame->AddEncoder(QStringLiteral("10.1.2.3"));
    m_frame->DeviceTree()->SelectOnly(m_frame->AddEncoder(QStringLiteral("10.1.2.3")));
    QCOMPARE(Shown(Sheet(), 10002), QStringLiteral("10.1.2.3"));
    AddAndSelect();
    QCOMPARE(Shown(Sheet(), 10002), QStringLiteral("127.0.0.1"));
    QCOMPARE(Shown(Sheet(), 10013), QString());   // never read: no setting to show
    Read();
    QCOMPARE(Shown(Sheet(), 10013), QStringLiteral(" Yes "));
}

void tst_Sheet::readShowsTheEncodersValues()
{
    AddAndSelect();
    Read();
    QCOMPARE(Shown(Sheet(), 10014), QStringLiteral("Korvane One"));
    QCOMPARE(Shown(Sheet(), 10045), QStringLiteral("Korvane Two"));
    QCOMPARE(Shown(Sheet(), 10013), QStringLiteral(" Yes "));
    QCOMPARE(Shown(Sheet(), 10017), QStringLiteral("32"));
    QCOMPARE(Shown(Sheet(), 10049), QStringLiteral("512"));
    QCOMPARE(Shown(Sheet(), 10021), QStringLiteral("CBR"));
    QCOMPARE(Shown(Sheet(), 10022), QStringLiteral("4000"));
    QCOMPARE(Shown(Sheet(), 10036), QStringLiteral("Stereo"));
    QCOMPARE(Shown(Sheet(), 10039), QStringLiteral("48000"));
    QVERIFY(m_prompter->boxes.empty());
}

void tst_Sheet::everyCommandRefreshesWhileSelected()
{
    AddAndSelect();
    Read();
    static_cast<CRowEdit*>(Sheet().RowFor(10022))->setText(QStringLiteral("777"));   // typed, not committed
    m_frame->OnCommand(ID_EDIT_COPY);   // a frame command that changes no record
    QCOMPARE(Shown(Sheet(), 10022), QStringLiteral("4000"));
    static_cast<CRowEdit*>(Sheet().RowFor(10022))->setText(QStringLiteral("777"));
    m_frame->OnCommand(ID_VIEW_STATUS_BAR);
    m_frame->OnCommand(ID_VIEW_STATUS_BAR);
    QCOMPARE(Shown(Sheet(), 10022), QStringLiteral("4000"));
    QVERIFY(m_prompter->boxes.empty());
}

void tst_Sheet::nothingHappensWithoutSelection()
{
    EncoderRecord* record = AddAndSelect();
    Read();
    m_frame->DeviceTree()->SelectNone();
    // Every byte of the record, padding included, is to stay as it was: the snapshot is a
    // byte copy, and the comparison is of bytes.
    EncoderRecord before;
    std::memcpy(&before, record, sizeof before);
    // With no encoder the rows take no edit (an edit would go nowhere), and the sheet says why.
    QVERIFY(OpenEditor(Sheet(), 10022) != dynamic_cast<CRowEdit*>(Sheet().RowFor(10022)));
    QVERIFY(Sheet().RowFor(10022)->IsReadOnly());
    QVERIFY(Sheet().Notice().contains(QStringLiteral("No encoder is selected")));
    QCOMPARE(Shown(Sheet(), 10022), QStringLiteral("4000"));
    QVERIFY(m_prompter->boxes.empty());
    QVERIFY(std::memcmp(record, &before, sizeof before) == 0);   // NOLINT(bugprone-suspicious-memory-comparison)
}

void tst_Sheet::pidConflictWarnsAndRestores()
{
    AddAndSelect();
    Read();
    TypeAndEnter(Sheet(), 10019, QStringLiteral("512"));
    QCOMPARE(m_prompter->BoxTexts(), QStringList{"Video_Pid conflict with Program-2's Pcr_Pid !"});
    QCOMPARE(m_prompter->boxes.front().caption, QStringLiteral("Warning"));
    QCOMPARE(m_prompter->boxes.front().icon, CPrompter::Icon::Exclamation);
    QCOMPARE(m_prompter->boxes.front().owner.data(), m_frame.data());
    QCOMPARE(Shown(Sheet(), 10019), QStringLiteral("256"));
    QCOMPARE(m_frame->SelectedRecord()->program_info1.video.pid, uint16_t(256));

    // Accepted values come back in their stored form.
    TypeAndEnter(Sheet(), 10019, QStringLiteral("0300"));
    QCOMPARE(Shown(Sheet(), 10019), QStringLiteral("300"));
    QCOMPARE(m_prompter->boxes.size(), size_t(1));
}

void tst_Sheet::startPicksAPmtPid()
{
    EncoderRecord* record = AddAndSelect();
    Read();
    record->program_info2.start = 0;
    record->program_info2.pmtPid = 0;
    record->program_info1.video.pid = 32;
    record->program_info2.pcrPid = 33;
    Sheet().Refresh(record);
    QWidget* combo = OpenEditor(Sheet(), 10044);
    QCOMPARE(combo, dynamic_cast<QWidget*>(static_cast<CRowCombo*>(Sheet().RowFor(10044))));
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(record->program_info2.start, int8_t(1));
    QCOMPARE(Shown(Sheet(), 10048), QStringLiteral("34"));
    QTest::keyClick(combo, Qt::Key_Up);
    QCOMPARE(Shown(Sheet(), 10048), QStringLiteral("0"));
}

void tst_Sheet::audioBitrateSteppingInSingleMode()
{
    EncoderRecord* record = AddAndSelect();
    Read();
    record->program_info1.audio2.mode = record->program_info2.audio1.mode = 3;         // single
    record->program_info1.audio2.bitrate = record->program_info2.audio1.bitrate = 7;   // "160"
    Sheet().Refresh(record);
    QWidget* combo = OpenEditor(Sheet(), 10042);
    QTest::keyClick(combo, Qt::Key_Down);   // "192": accepted, in both copies
    QCOMPARE(record->program_info2.audio1.bitrate, uint8_t(8));
    QTest::keyClick(combo, Qt::Key_Down);   // "224": refused
    QCOMPARE(m_prompter->BoxTexts(), QStringList{"Audio bitrate in single mode must less than 192Kb !"});
    QCOMPARE(Shown(Sheet(), 10042), QStringLiteral("192"));
    QCOMPARE(Shown(Sheet(), 10066), QStringLiteral("192"));
    QCOMPARE(record->program_info1.audio2.bitrate, uint8_t(8));
}

void tst_Sheet::passwordsTypedThenWritten()
{
    EncoderRecord* record = AddAndSelect();
    Read();
    m_sim->SetPassword("secret");
    TypeAndEnter(Sheet(), 10005, QStringLiteral("secret"));
    TypeAndEnter(Sheet(), 10006, QStringLiteral("fresh"));
    TypeAndEnter(Sheet(), 10045, QStringLiteral("Evening News"));
    QVERIFY(m_prompter->boxes.empty());
    m_prompter->dialogScripts.push_back([](QDialog&) { return int(QDialog::Accepted); });   // the review
    QVERIFY(m_frame->DeviceTree()->OnCommand(ID_WRITE_CONFIGURATION));
    QVERIFY(QTest::qWaitFor([this] { return !m_frame->InExchange(); }, 5000));
    QCOMPARE(m_prompter->BoxTexts(), QStringList{"Set Configuration Success !"});

    // The encoder received the document of the whole record, passwords included.
    char expected[12000] = "";
    EncoderRecord copy = *record;
    WriteSettingsDocument(copy, expected);
    QCOMPARE(QString::fromStdString(m_sim->LastWrittenDocument()), QString::fromLatin1(expected));
    QVERIFY(m_sim->LastWrittenDocument().find("<password>secret</password>") != std::string::npos);
    QVERIFY(m_sim->LastWrittenDocument().find("<newPassword>fresh</newPassword>") != std::string::npos);
    QVERIFY(m_sim->LastWrittenDocument().find("<progName>Evening News</progName>") != std::string::npos);
}

void tst_Sheet::readEditWriteReadCarriesEverySetting()
{
    EncoderRecord* record = AddAndSelect();
    Read();
    TypeAndEnter(Sheet(), 10005, QStringLiteral("admin"));
    TypeAndEnter(Sheet(), 10006, QStringLiteral("admin"));
    TypeAndEnter(Sheet(), 10022, QStringLiteral("6500"));
    TypeAndEnter(Sheet(), 10064, QStringLiteral("44"));
    TypeAndEnter(Sheet(), 10016, QStringLiteral("17"));
    QTest::keyClick(OpenEditor(Sheet(), 10055), Qt::Key_Down);
    QTest::keyClick(OpenEditor(Sheet(), 10039), Qt::Key_Up);
    QVERIFY(m_prompter->boxes.empty());
    QCOMPARE(record->program_info1.audio1.samplebitrate, uint8_t(1));
    QCOMPARE(record->program_info1.audio2.volumnLeft, uint8_t(44));

    m_prompter->dialogScripts.push_back([](QDialog&) { return int(QDialog::Accepted); });   // the review
    QVERIFY(m_frame->DeviceTree()->OnCommand(ID_WRITE_CONFIGURATION));
    QVERIFY(QTest::qWaitFor([this] { return !m_frame->InExchange(); }, 5000));
    QCOMPARE(m_prompter->BoxTexts(), QStringList{"Set Configuration Success !"});
    const EncoderRecord written = *record;
    std::memset(record, 0, sizeof *record);
    record->ipAddr = written.ipAddr;
    std::strcpy(record->password, written.password);
    std::strcpy(record->newPassword, written.newPassword);
    Read();
    // Every setting the document carries came back as it was written.
    char before[12000] = "", after[12000] = "";
    EncoderRecord first = written, second = *record;
    WriteSettingsDocument(first, before);
    WriteSettingsDocument(second, after);
    QCOMPARE(QString::fromLatin1(after), QString::fromLatin1(before));
    QCOMPARE(Shown(Sheet(), 10022), QStringLiteral("6500"));
    QCOMPARE(Shown(Sheet(), 10047), QStringLiteral("2"));
    QCOMPARE(Shown(Sheet(), 10016), QStringLiteral("17"));
}

// ---- texts in GB2312 ----

namespace {

const QString kChinese = QString::fromUtf8("\xE4\xB8\xAD\xE6\x96\x87");   // "Chinese", two characters
const std::string kChineseBytes = "\xD6\xD0\xCE\xC4";

std::string Bytes(const char* field)
{
    return field;
}

}   // namespace

// The stand-in's document with each `from` text replaced by the raw bytes `to`.
void tst_Sheet::ServeTexts(const std::vector<std::pair<std::string, std::string>>& replacements)
{
    std::string document = m_sim->Document();
    for (const auto& [from, to] : replacements) {
        const size_t at = document.find(from);
        QVERIFY2(at != std::string::npos, from.c_str());
        document.replace(at, from.size(), to);
    }
    m_sim->SetDocument(document);
}

void tst_Sheet::WriteWithPasswords()
{
    TypeAndEnter(Sheet(), 10005, QStringLiteral("admin"));
    TypeAndEnter(Sheet(), 10006, QStringLiteral("admin"));
    m_prompter->dialogScripts.push_back([](QDialog&) { return int(QDialog::Accepted); });   // the review
    QVERIFY(m_frame->DeviceTree()->OnCommand(ID_WRITE_CONFIGURATION));
    QVERIFY(QTest::qWaitFor([this] { return !m_frame->InExchange(); }, 5000));
    QVERIFY(!m_prompter->boxes.empty());
    QCOMPARE(m_prompter->BoxTexts().last(), QStringLiteral("Set Configuration Success !"));
}

void tst_Sheet::chineseNamesRoundTrip()
{
    ServeTexts({{"<progName>Korvane One</progName>", "<progName>" + kChineseBytes + "</progName>"}});
    EncoderRecord* record = AddAndSelect();
    Read();
    QCOMPARE(Bytes(record->program_info1.progName), kChineseBytes);
    QCOMPARE(Shown(Sheet(), 10014), kChinese);

    // Typed in Chinese: stored and sent as GB2312, the untouched name as the encoder sent it.
    const QString typed = kChinese + QString::fromUtf8("\xE9\xA2\x91\xE9\x81\x93 2");   // + "channel 2"
    ComposeAndEnter(Sheet(), 10045, typed);
    ComposeAndEnter(Sheet(), 10015, kChinese);
    QVERIFY(m_prompter->boxes.empty());
    const std::string typedBytes = kChineseBytes + "\xC6\xB5\xB5\xC0 2";
    QCOMPARE(Bytes(record->program_info2.progName), typedBytes);
    QCOMPARE(Shown(Sheet(), 10045), typed);
    WriteWithPasswords();
    const std::string sent = m_sim->LastWrittenDocument();
    QVERIFY(sent.find("<progName>" + kChineseBytes + "</progName>") != std::string::npos);
    QVERIFY(sent.find("<providerName>" + kChineseBytes + "</providerName>") != std::string::npos);
    QVERIFY(sent.find("<progName>" + typedBytes + "</progName>") != std::string::npos);
    QVERIFY(sent.find("\xE4\xB8\xAD") == std::string::npos);   // no UTF-8 on the wire

    // Read back: the same bytes, the same texts.
    const EncoderRecord written = *record;
    std::memset(record, 0, sizeof *record);
    record->ipAddr = written.ipAddr;
    Read();
    QCOMPARE(Bytes(record->program_info1.progName), Bytes(written.program_info1.progName));
    QCOMPARE(Bytes(record->program_info2.progName), typedBytes);
    QCOMPARE(Shown(Sheet(), 10045), typed);
    QCOMPARE(Shown(Sheet(), 10015), kChinese);
}

void tst_Sheet::serviceNameLimitCountsGb2312Bytes_data()
{
    QTest::addColumn<int>("characters");
    QTest::addColumn<bool>("stored");
    QTest::newRow("10 characters, 20 bytes") << 10 << true;
    QTest::newRow("11 characters, 22 bytes") << 11 << false;
}

void tst_Sheet::serviceNameLimitCountsGb2312Bytes()
{
    QFETCH(int, characters);
    QFETCH(bool, stored);
    EncoderRecord* record = AddAndSelect();
    Read();
    const QString name = kChinese.repeated(characters / 2) + kChinese.left(characters % 2);
    for (int id : {10014, 10045}) {
        const std::string read = id == 10014 ? "Korvane One" : "Korvane Two";
        ComposeAndEnter(Sheet(), id, name);
        const std::string bytes = Bytes(id == 10014 ? record->program_info1.progName : record->program_info2.progName);
        if (stored) {
            QCOMPARE(bytes.size(), size_t(20));
            QCOMPARE(Shown(Sheet(), id), name);
        } else {
            QCOMPARE(bytes, read);   // refused: the name as read stays
            QCOMPARE(Shown(Sheet(), id), QString::fromStdString(read));
        }
    }
    const QString warning = QStringLiteral("Service name length must less than 20 characters !");
    QCOMPARE(m_prompter->BoxTexts(), stored ? QStringList() : (QStringList() << warning << warning));
}

void tst_Sheet::unencodableCharacterIsRefusedByName()
{
    EncoderRecord* record = AddAndSelect();
    Read();
    const EncoderRecord before = *record;
    ComposeAndEnter(Sheet(), 10014, kChinese + QString::fromUtf8("\xE2\x82\xAC 1"));   // a euro sign
    ComposeAndEnter(Sheet(), 10006, QString::fromUtf8("pa\xC3\x9F"));                  // sharp s
    QCOMPARE(m_prompter->BoxTexts(),
             (QStringList{QString::fromUtf8("Character \"\xE2\x82\xAC\" (U+20AC) cannot be sent to the encoder !"),
                          QString::fromUtf8("Character \"\xC3\x9F\" (U+00DF) cannot be sent to the encoder !")}));
    QCOMPARE(m_prompter->boxes.front().caption, QStringLiteral("Warning"));
    QVERIFY(std::memcmp(record, &before, sizeof before) == 0);
    QCOMPARE(Shown(Sheet(), 10014), QStringLiteral("Korvane One"));
}

void tst_Sheet::bytesThatAreNotGb2312StayUntouched()
{
    const std::string damaged = "A\x81\x40\xFF" + kChineseBytes + "\xD6";
    ServeTexts({{"<providerName>Korvane</providerName>", "<providerName>" + damaged + "</providerName>"}});
    EncoderRecord* record = AddAndSelect();
    Read();
    QCOMPARE(Bytes(record->program_info1.providerName), damaged);
    const QString mark(QChar(0xFFFD));
    QCOMPARE(Shown(Sheet(), 10015), QStringLiteral("A") + mark + QStringLiteral("@") + mark + kChinese + mark);

    // Opened and committed as it was: no warning, the bytes as they were.
    QWidget* editor = OpenEditor(Sheet(), 10015);
    QTest::keyClick(editor, Qt::Key_Return);
    QVERIFY(m_prompter->boxes.empty());
    QCOMPARE(Bytes(record->program_info1.providerName), damaged);
    WriteWithPasswords();
    QVERIFY(m_sim->LastWrittenDocument().find("<providerName>" + damaged + "</providerName>") != std::string::npos);

    // Edited, the marks are characters like any other that GB2312 lacks.
    ComposeAndEnter(Sheet(), 10015, Shown(Sheet(), 10015) + QStringLiteral("x"));
    QCOMPARE(m_prompter->BoxTexts().last(),
             QString::fromUtf8("Character \"\xEF\xBF\xBD\" (U+FFFD) cannot be sent to the encoder !"));
    QCOMPARE(Bytes(record->program_info1.providerName), damaged);
}

void tst_Sheet::controlBytesNeverReachADocument_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("path");
    for (int id : {10005, 10006, 10014, 10015, 10045, 10046}) {
        for (const char* path : {"pasted", "input method"})
            QTest::addRow("%d %s", id, path) << id << QString::fromLatin1(path);
    }
}

// Control characters cannot be typed key by key; they arrive by pasting or through an
// input method. Every one XML forbids is refused, and the record keeps what it had.
void tst_Sheet::controlBytesNeverReachADocument()
{
    QFETCH(int, id);
    QFETCH(QString, path);
    EncoderRecord* record = AddAndSelect();
    Read();
    for (int byte = 1; byte < 0x20; ++byte) {
        if (byte == 0x09 || byte == 0x0A || byte == 0x0D) continue;
        const EncoderRecord before = *record;
        const QString text = QStringLiteral("a") + QChar(byte) + kChinese;
        auto* editor = static_cast<QLineEdit*>(OpenEditor(Sheet(), id));
        QVERIFY(editor == dynamic_cast<CRowEdit*>(Sheet().RowFor(id)));
        editor->selectAll();
        if (path == QLatin1String("pasted")) {
            QGuiApplication::clipboard()->setText(text);
            QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
        } else {
            QInputMethodEvent event;
            event.setCommitString(text);
            QApplication::sendEvent(editor, &event);
        }
        QCOMPARE(editor->text(), text);
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(m_prompter->BoxTexts().last(), QStringLiteral("Text must not contain control characters !"));
        QVERIFY2(std::memcmp(record, &before, sizeof before) == 0, qPrintable(QString::number(byte)));
    }
    QCOMPARE(m_prompter->boxes.size(), size_t(28));
}

void tst_Sheet::controlBytesFromTheEncoderAreReplacedOnWrite()
{
    // 0x0B and 0x0C are white space to the reader, which trims and condenses them; as
    // references they come through.
    ServeTexts(
        {{"<version>KV202-HW2.1</version>", "<version>KV\x01\x02\x03\x04\x05\x06\x07\x08&#11;&#xC;</version>"},
         {"<progName>Korvane One</progName>", "<progName>\x0E\x0F\x10\x11\x12\x13\x14\x15\x16\x17</progName>"},
         {"<providerName>Korvane</providerName>", "<providerName>\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F</providerName>"},
         {"<standard>PAL</standard>", "<standard>P&#1;L</standard>"}});
    EncoderRecord* record = AddAndSelect();
    Read();
    QCOMPARE(Bytes(record->version), std::string("KV\x01\x02\x03\x04\x05\x06\x07\x08\x0B\x0C"));
    QCOMPARE(Bytes(record->program_info1.video.standard), std::string("P\x01L"));
    // Committed untouched, the encoder's own texts are not refused.
    QTest::keyClick(OpenEditor(Sheet(), 10014), Qt::Key_Return);
    QVERIFY(m_prompter->boxes.empty());

    WriteWithPasswords();
    const std::string sent = m_sim->LastWrittenDocument();
    for (char c : sent)
        QVERIFY2(!IsXmlForbiddenByte(static_cast<unsigned char>(c)), qPrintable(QString::number(int(c))));
    QVERIFY(sent.find("<version>KV" + std::string(10, '?') + "</version>") != std::string::npos);
    QVERIFY(sent.find("<progName>" + std::string(10, '?') + "</progName>") != std::string::npos);
    QVERIFY(sent.find("<providerName>" + std::string(8, '?') + "</providerName>") != std::string::npos);
    QVERIFY(sent.find("<standard>P?L</standard>") != std::string::npos);
}

// The rows' own face has no Chinese glyphs; the font system falls back to a face that
// has them (make run installs one). Without any such face there is nothing to check.
void tst_Sheet::chineseNamesAreDrawnWithRealGlyphs()
{
    if (QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty())
        QSKIP("no face with Chinese glyphs is installed here");
    for (const QFont& font : {CRowTree::NormalFont(), Sheet().RowFor(10014)->GetOwner()->font()}) {
        QTextLayout layout(kChinese + QStringLiteral(" TV"), font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        int glyphs = 0;
        for (const QGlyphRun& run : layout.glyphRuns()) {
            for (quint32 index : run.glyphIndexes()) {
                QVERIFY2(index != 0, qPrintable(run.rawFont().familyName()));   // 0: the missing-glyph box
                ++glyphs;
            }
        }
        QCOMPARE(glyphs, 5);
    }
}

QTEST_MAIN(tst_Sheet)
#include "tst_sheet.moc"
