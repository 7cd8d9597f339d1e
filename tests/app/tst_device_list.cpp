// The device list as an operator of many encoders meets it: the keyboard's first move, an
// encoder that stops answering, outcomes longer than the column, a selection whose current
// row was taken out of it, and texts that read in a light and a dark palette.

#include <QAction>
#include <QApplication>
#include <QPainter>
#include <QHeaderView>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <memory>

#include "AppIds.h"
#include "CDeviceTree.h"
#include "CMainFrame.h"
#include "CSettingsSheet.h"
#include "LazyStandardIcon.h"
#include "LinkProtocol.h"
#include "RecordingPrompter.h"
#include "FrameTest.h"
#include "Palettes.h"
#include "RowTreeColors.h"
#include "StandInEncoder.h"

namespace {

const QString kSimAddress = QStringLiteral("127.0.0.1");

}   // namespace

class tst_DeviceList : public FrameTest {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstArrowKeySelectsTheFirstEncoder();
    void unreachableLooksTheSameWhoeverFindsIt_data();
    void unreachableLooksTheSameWhoeverFindsIt();
    void activityColumnShowsTheWholeOutcome();
    void currentTakenOutOfASelectionLeavesASheet();
    void everyTextOfTheListAndToolbarReads_data();
    void everyTextOfTheListAndToolbarReads();
    void toolbarIconsDrawAsTheStylesOwn_data();
    void toolbarIconsDrawAsTheStylesOwn();

private:
    CDeviceTree* Tree() const { return m_frame->DeviceTree(); }
    void MakeFrame();
    bool Read(EncoderRecord* item);
};

void tst_DeviceList::initTestCase()
{
    QVERIFY(KeepSettings(QStringLiteral("tst_device_list")));
}

void tst_DeviceList::init()
{
    QVERIFY2(StartCase(), StartError());
    MakeFrame();
}

void tst_DeviceList::MakeFrame()
{
    QVERIFY(ShowNewFrame(QSize(1001, 700)));
}

void tst_DeviceList::cleanup()
{
    FinishCase();
    QCOMPARE(LiveEncoderRecords(), 0);
}

bool tst_DeviceList::Read(EncoderRecord* item)
{
    Tree()->SelectOnly(item);
    if (!Tree()->OnCommand(ID_READ_CONFIGURATION)) return false;
    return QTest::qWaitFor([this] { return !m_frame->InExchange(); }, 5000);
}

void tst_DeviceList::firstArrowKeySelectsTheFirstEncoder()
{
    EncoderRecord* first = m_frame->AddEncoder(QStringLiteral("10.0.0.1"));
    EncoderRecord* second = m_frame->AddEncoder(QStringLiteral("10.0.0.2"));
    m_frame->AddEncoder(QStringLiteral("10.0.0.3"));
    // The list takes the keyboard as a fresh window gives it: the view makes its first row
    // current, unselected.
    QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(Tree(), &focus);
    QCOMPARE(Tree()->SelectedItem(), nullptr);
    QTest::keyClick(Tree(), Qt::Key_Down);
    QCOMPARE(Tree()->SelectedItem(), first);
    QCOMPARE(Tree()->SelectedEncoderItems(), QList<EncoderRecord*>{first});
    QTest::keyClick(Tree(), Qt::Key_Down);
    QCOMPARE(Tree()->SelectedItem(), second);
    // Up in a list with nothing selected picks the current row too.
    Tree()->SelectNone();
    QTest::keyClick(Tree(), Qt::Key_Up);
    QCOMPARE(Tree()->SelectedEncoderItems().size(), 1);
}

void tst_DeviceList::unreachableLooksTheSameWhoeverFindsIt_data()
{
    QTest::addColumn<bool>("monitor");
    QTest::newRow("a read finds it") << false;
    QTest::newRow("the monitor finds it") << true;
}

// An encoder read once (green) stops taking connections: whether a read or the monitor's
// reading finds out, the picture and the State column say so alike; once it answers the
// monitor again, it is green again.
void tst_DeviceList::unreachableLooksTheSameWhoeverFindsIt()
{
    QFETCH(bool, monitor);
    EncoderRecord* item = m_frame->AddEncoder(kSimAddress);
    QVERIFY(Read(item));
    QCOMPARE(Tree()->ItemImage(item), IMAGE_ONLINE);
    m_prompter->boxes.clear();

    m_sim->SetFault(SimFault::EarlyClose);
    if (monitor) {
        m_frame->DeviceCommands().SetMonitorInterval(50);
        m_frame->DeviceCommands().SetMonitoring(true);
        QTRY_COMPARE(Tree()->ItemText(item, kColumnState), QStringLiteral("offline"));
    } else {
        QVERIFY(Read(item));
    }
    QCOMPARE(Tree()->ItemImage(item), IMAGE_OFFLINE);
    QCOMPARE(Tree()->ItemText(item, kColumnState), QStringLiteral("offline"));

    if (!monitor) return;
    m_sim->SetFault(SimFault::None);
    QTRY_COMPARE(Tree()->ItemImage(item), IMAGE_ONLINE);
    m_frame->DeviceCommands().SetMonitoring(false);
}

void tst_DeviceList::activityColumnShowsTheWholeOutcome()
{
    EncoderRecord* item = m_frame->AddEncoder(kSimAddress);
    m_sim->SetFault(SimFault::EarlyClose);
    QVERIFY(Read(item));
    const QString outcome = Tree()->ItemText(item, kColumnActivity);
    QVERIFY2(outcome.contains(QStringLiteral("failed")), qPrintable(outcome));
    QVERIFY2(Tree()->fontMetrics().horizontalAdvance(outcome) < Tree()->columnWidth(kColumnActivity),
             qPrintable(QStringLiteral("%1 in %2 pixels").arg(outcome).arg(Tree()->columnWidth(kColumnActivity))));
}

// Three encoders selected, the current one Ctrl+clicked away: the two left are still a
// selection, and the sheet shows the one nearest the click.
void tst_DeviceList::currentTakenOutOfASelectionLeavesASheet()
{
    EncoderRecord* first = m_frame->AddEncoder(QStringLiteral("10.0.0.1"));
    EncoderRecord* second = m_frame->AddEncoder(QStringLiteral("10.0.0.2"));
    EncoderRecord* third = m_frame->AddEncoder(QStringLiteral("10.0.0.3"));
    Tree()->SelectOnly(first);
    Tree()->SelectAlso(second);
    Tree()->SelectAlso(third);
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, Qt::ControlModifier, Tree()->ItemRect(third).center());
    QCOMPARE(Tree()->SelectedEncoderItems(), (QList<EncoderRecord*>{first, second}));
    QCOMPARE(Tree()->SelectedItem(), second);
    QCOMPARE(m_frame->SelectedRecord(), second);
    const QString notice = m_frame->SettingsSheet()->Notice();
    QVERIFY2(!notice.contains(QStringLiteral("No encoder is selected")), qPrintable(notice));
    QCOMPARE(m_frame->SettingsSheet()->RowFor(10002)->GetValueText(), QStringLiteral("10.0.0.2"));
    QVERIFY(m_frame->CommandAction(ID_READ_CONFIGURATION)->isEnabled());

    // Taking the last ones away leaves nothing chosen.
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, Qt::ControlModifier, Tree()->ItemRect(second).center());
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, Qt::ControlModifier, Tree()->ItemRect(first).center());
    QCOMPARE(Tree()->SelectedItem(), nullptr);
    QVERIFY(m_frame->SettingsSheet()->Notice().contains(QStringLiteral("No encoder is selected")));
}

void tst_DeviceList::everyTextOfTheListAndToolbarReads_data()
{
    QTest::addColumn<QPalette>("palette");
    QTest::newRow("light") << FusionPalette();
    QTest::newRow("dark") << DarkPalette();
}

// Every cell of the list (an alarm's and a failure's red included), selected or not, its
// headings, and every toolbar button, in the palette the window is shown with.
void tst_DeviceList::everyTextOfTheListAndToolbarReads()
{
    QFETCH(QPalette, palette);
    const QString before = QApplication::style()->name();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(palette);
    MakeFrame();
    EncoderRecord* failed = m_frame->AddEncoder(kSimAddress);
    m_sim->SetFault(SimFault::EarlyClose);
    QVERIFY(Read(failed));
    m_sim->SetFault(SimFault::None);
    EncoderRecord* read = m_frame->AddEncoder(QStringLiteral("10.0.0.1"));
    Tree()->SelectOnly(read);

    const QPalette shown = Tree()->palette();
    QAbstractItemModel* model = Tree()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int column = 0; column < model->columnCount(); ++column) {
            const QModelIndex index = model->index(row, column);
            const QVariant brush = index.data(Qt::ForegroundRole);
            const QColor text = brush.isValid() ? brush.value<QBrush>().color() : shown.color(QPalette::Text);
            const double plain = ContrastRatio(text, shown.color(QPalette::Base));
            QVERIFY2(plain >= 4.5, qPrintable(QStringLiteral("%1: %2").arg(index.data().toString()).arg(plain)));
        }
        const double selected = ContrastRatio(shown.color(QPalette::HighlightedText), shown.color(QPalette::Highlight));
        QVERIFY2(selected >= 4.5, qPrintable(QString::number(selected)));
    }
    const QPalette heading = Tree()->header()->palette();
    QVERIFY(ContrastRatio(heading.color(QPalette::ButtonText), heading.color(QPalette::Button)) >= 4.5);

    const QToolBar* toolBar = m_frame->findChild<QToolBar*>(QStringLiteral("ToolBar"));
    QVERIFY(toolBar);
    const QColor toolbar = toolBar->palette().color(QPalette::Active, QPalette::Window);
    QStringList faint;
    for (QAction* action : toolBar->actions()) {
        if (action->isSeparator()) continue;
        const double contrast = IconContrast(action->icon(), toolbar);
        if (contrast < 4.5) faint << QStringLiteral("%1: %2").arg(action->toolTip()).arg(contrast);
    }
    QVERIFY2(faint.isEmpty(), qPrintable(faint.join(QStringLiteral(", "))));
    QApplication::setStyle(before);
}

void tst_DeviceList::toolbarIconsDrawAsTheStylesOwn_data()
{
    QTest::addColumn<QString>("style");
    for (const char* style : {"Fusion", "Windows"}) QTest::newRow(style) << QString::fromLatin1(style);
}

// The toolbar's and menus' standard icons are made when first drawn, from the style's small
// picture while that suffices: at every size, state and pixel ratio they draw what the
// style's own icon draws.
void tst_DeviceList::toolbarIconsDrawAsTheStylesOwn()
{
    QFETCH(QString, style);
    QWidget window;
    std::unique_ptr<QStyle> owned(QStyleFactory::create(style));
    QVERIFY(owned);
    window.setStyle(owned.get());
    const QStyle::StandardPixmap pictures[] = {QStyle::SP_FileDialogContentsView,
                                               QStyle::SP_FileDialogNewFolder,
                                               QStyle::SP_TrashIcon,
                                               QStyle::SP_ArrowDown,
                                               QStyle::SP_ArrowUp,
                                               QStyle::SP_MessageBoxInformation,
                                               QStyle::SP_BrowserStop};
    QStringList differ;
    for (QStyle::StandardPixmap picture : pictures) {
        const QIcon own = owned->standardIcon(picture, nullptr, &window);
        // Asked from small to large, as the toolbar and then a larger view would.
        const QIcon lazy = LazyStandardIcon(picture, &window);
        QVERIFY(!lazy.isNull());
        for (const QSize size : {QSize(16, 15), QSize(16, 16), QSize(22, 22), QSize(32, 32), QSize(48, 48)}) {
            for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active, QIcon::Selected}) {
                for (const qreal ratio : {1.0, 2.0}) {
                    const QString where = QStringLiteral("%1 %2x%3 mode %4 x%5")
                                              .arg(int(picture))
                                              .arg(size.width())
                                              .arg(size.height())
                                              .arg(int(mode))
                                              .arg(ratio);
                    if (lazy.pixmap(size, ratio, mode).toImage() != own.pixmap(size, ratio, mode).toImage() ||
                        lazy.actualSize(size, mode) != own.actualSize(size, mode))
                        differ << where;
                    QImage painted[2];
                    for (int i = 0; i < 2; ++i) {
                        painted[i] = QImage(size * ratio, QImage::Format_ARGB32_Premultiplied);
                        painted[i].setDevicePixelRatio(ratio);
                        painted[i].fill(Qt::transparent);
                        QPainter painter(&painted[i]);
                        (i == 0 ? lazy : own).paint(&painter, QRect(QPoint(), size), Qt::AlignCenter, mode);
                    }
                    if (painted[0] != painted[1]) differ << where + QStringLiteral(" painted");
                }
            }
        }
        QCOMPARE(lazy.availableSizes(), own.availableSizes());
    }
    QVERIFY2(differ.isEmpty(), qPrintable(differ.join(QStringLiteral(", "))));
}

QTEST_MAIN(tst_DeviceList)
#include "tst_device_list.moc"
