#include "RowTreeTestMain.h"
#include "RowTreeFixture.h"

#include "CRowIPField.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <QWheelEvent>

using namespace RowTreeMetrics;

class tst_CRowTreeInput : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<RowTreeFixture> f;
    CRowTreeItem* heading = nullptr;
    CRowStatic* version = nullptr;
    CRowIPAddress* address = nullptr;
    CRowEdit* number = nullptr;
    CRowEdit* name = nullptr;
    CRowCombo* start = nullptr;
    CRowIPAddress* tsip = nullptr;

    static void Wheel(QWidget* widget, int delta)
    {
        const QPointF pos(50, 50);
        QWheelEvent event(pos, widget->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(widget, &event);
    }

    void Click(CRowTreeItem* row, bool value = true)
    {
        QTest::mouseClick(f->List(), Qt::LeftButton, Qt::NoModifier, value ? f->ValuePoint(row) : f->LabelPoint(row));
    }

    // 8 rows in a 300 x 400 list; every kind of row.
    void Build()
    {
        heading = f->Heading("System");
        version = f->Static(heading, "HW version", "2.14");
        address = f->Address(heading, "IP Address", 10002);
        address->SetReadOnly(true);
        address->SetAddress(0xC0A8010A);
        number = f->Edit(heading, "Device Number", 10007, REO_NUMBER);
        number->SetEditInt(3);
        name = f->Edit(heading, "Service Name", 10014);
        start = f->Combo(heading, "Start", 10013, {" No ", " Yes "});
        tsip = f->Address(heading, "TS-->IP Address", 10011);
        tsip->SetAddress(0x0A000001);
    }

private slots:
    void init()
    {
        f = std::make_unique<RowTreeFixture>();
        Build();
        QVERIFY(f->Show());
    }
    void cleanup() { f.reset(); }

    void numericEditReportsOnceOnEnter()
    {
        Click(number);
        QVERIFY(number->isVisible());
        QTRY_VERIFY(number->hasFocus());
        QCOMPARE(number->geometry(), number->GetValueRect());
        number->selectAll();
        QTest::keyClicks(number, "4a5-");
        QCOMPARE(number->text(), QString("45"));
        QVERIFY(f->commands.empty());
        QTest::keyClick(number, Qt::Key_Return);
        QCOMPARE(f->commands, std::vector<int>{10007});
        QVERIFY(!number->isVisible());
        QVERIFY(f->List()->hasFocus());
        // Clicking elsewhere afterwards sends nothing more.
        Click(version);
        QCOMPARE(f->commands, std::vector<int>{10007});
        QCOMPARE(number->GetValueText(), QString("45"));
    }

    void clickingAnotherRowCommitsFirst()
    {
        Click(name);
        QTRY_VERIFY(name->hasFocus());
        QTest::keyClicks(name, "News");
        Click(version);
        QCOMPARE(f->commands, std::vector<int>{10014});
        // The open row was still the focused one when it reported.
        QCOMPARE(f->focusedAtCommand.front(), static_cast<CRowTreeItem*>(name));
        QCOMPARE(f->tree->GetFocusedItem(), static_cast<CRowTreeItem*>(version));
        QVERIFY(!name->isVisible());
        QVERIFY(version->IsSelected());
        QVERIFY(!name->IsSelected());
    }

    void focusLeavingTheTreeCommitsAnEdit()
    {
        Click(name);
        QTRY_VERIFY(name->hasFocus());
        f->outside->setFocus();
        QCOMPARE(f->commands, std::vector<int>{10014});
    }

    void readOnlyRowOpensNothing()
    {
        Click(address);
        QVERIFY(address->IsSelected());
        QCOMPARE(f->tree->GetFocusedItem(), static_cast<CRowTreeItem*>(address));
        QVERIFY(!address->isVisible());
        QVERIFY(!address->IsActivated());
        QTest::keyClick(f->List(), Qt::Key_Return);
        QVERIFY(!address->isVisible());
    }

    void labelClickSelectsWithoutEditing()
    {
        Click(number, false);
        QVERIFY(number->IsSelected());
        QVERIFY(!number->isVisible());
        QTest::keyClick(f->List(), Qt::Key_Return);
        QVERIFY(number->isVisible());
        QTRY_VERIFY(number->hasFocus());
    }

    void clickBelowTheRowsDropsTheFocus()
    {
        Click(version);
        QTest::mouseClick(f->List(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 380));
        QCOMPARE(f->tree->GetFocusedItem(), static_cast<CRowTreeItem*>(nullptr));
        QVERIFY(!version->IsSelected());
    }

    void comboReportsEveryChangeByTheUser()
    {
        Click(start);
        QVERIFY(start->isVisible());
        QTRY_VERIFY(start->hasFocus());
        QTest::keyClick(start, Qt::Key_Down);
        QCOMPARE(start->GetCurSel(), 1);
        QCOMPARE(f->commands, std::vector<int>{10013});
        QTest::keyClick(start, Qt::Key_Down);   // already the last entry: no change
        QCOMPARE(f->commands, std::vector<int>{10013});
        QTest::keyClick(start, Qt::Key_Up);
        QCOMPARE(f->commands, (std::vector<int>{10013, 10013}));
        // Leaving the row commits and hides, but reports nothing more.
        Click(version);
        QVERIFY(!start->isVisible());
        QCOMPARE(f->commands.size(), size_t(2));
    }

    void comboListChoiceReportsAtOnce()
    {
        Click(start);
        QTRY_VERIFY(start->hasFocus());
        start->showPopup();
        QAbstractItemView* view = start->view();
        QTRY_VERIFY(view->isVisible());
        const QRect entry = view->visualRect(start->model()->index(1, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, entry.center());
        QTRY_COMPARE(f->commands, std::vector<int>{10013});
        QCOMPARE(start->GetCurSel(), 1);
        // Choosing the entry already shown is no change.
        start->showPopup();
        QTRY_VERIFY(view->isVisible());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                          view->visualRect(start->model()->index(1, 0)).center());
        QTRY_VERIFY(!view->isVisible());
        QCOMPARE(f->commands, std::vector<int>{10013});
        QVERIFY(start->isVisible());
    }

    void addressEditorCommitsInsideTheTreeOnly()
    {
        QCOMPARE(tsip->GetValueText(), QString("10.0.0.1"));
        Click(tsip);
        QVERIFY(tsip->isVisible());
        QTRY_VERIFY(tsip->Field(0)->hasFocus());
        for (QChar c : QString("192.168.1.20")) {
            QTest::keyClicks(QApplication::focusWidget(), QString(c));
        }
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(tsip->Field(3)));
        // Moving between its own fields ends nothing.
        tsip->Field(1)->setFocus();
        QVERIFY(f->commands.empty());
        // Focus outside the tree: the editor stays open and silent.
        f->outside->setFocus();
        QVERIFY(tsip->isVisible());
        QVERIFY(tsip->IsActivated());
        QVERIFY(f->commands.empty());
        // Back into the tree: one report, the editor closes.
        Click(version);
        QCOMPARE(f->commands, std::vector<int>{10011});
        QVERIFY(!tsip->isVisible());
        QCOMPARE(tsip->GetAddress(), 0xC0A80114u);
        QCOMPARE(tsip->GetValueText(), QString("192.168.1.20"));
    }

    void addressEditorCommitsWhenAnotherRowIsClicked()
    {
        Click(tsip);
        QTRY_VERIFY(tsip->Field(0)->hasFocus());
        QTest::keyClicks(tsip->Field(0), "7");
        Click(number);
        QCOMPARE(f->commands, std::vector<int>{10011});
        QCOMPARE(f->focusedAtCommand.front(), static_cast<CRowTreeItem*>(tsip));
        QCOMPARE(tsip->GetValueText(), QString("7.0.0.1"));
        QVERIFY(!tsip->isVisible());
        QVERIFY(number->isVisible());
    }

    void addressEditorEnterCommits()
    {
        Click(tsip);
        QTRY_VERIFY(tsip->Field(0)->hasFocus());
        QTest::keyClick(tsip->Field(0), Qt::Key_Return);
        QCOMPARE(f->commands, std::vector<int>{10011});
        QVERIFY(!tsip->isVisible());
        QVERIFY(f->List()->hasFocus());
    }

    void addressDeleteMovesOn()
    {
        Click(tsip);
        QTRY_VERIFY(tsip->Field(0)->hasFocus());
        tsip->Field(0)->setCursorPosition(0);
        QTest::keyClick(tsip->Field(0), Qt::Key_Delete);
        QCOMPARE(tsip->Field(0)->text(), QString("0"));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(tsip->Field(1)));
    }

    void addressFieldLayout()
    {
        f->tree->SetDividerPos(170);   // value cell from 175 to 300: 125 wide
        f->tree->UpdateResize();
        QCOMPARE(tsip->GetValueRect().width(), 125);
        Click(tsip);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(tsip->Field(i)->geometry(), QRect(5 + 30 * i, 0, 25, 20));
        }
        for (int k = 1; k <= 3; ++k) {
            QCOMPARE(tsip->DotRect(k).left(), 30 * k);
        }
    }

    void tabMovesAndOpensTheNextRow()
    {
        Click(number);
        QTRY_VERIFY(number->hasFocus());
        QTest::keyClick(number, Qt::Key_Tab);
        QCOMPARE(f->commands, std::vector<int>{10007});
        QCOMPARE(f->tree->GetFocusedItem(), static_cast<CRowTreeItem*>(name));
        QVERIFY(name->isVisible());
        QTRY_VERIFY(name->hasFocus());
        QTest::keyClick(name, Qt::Key_Backtab);
        QCOMPARE(f->tree->GetFocusedItem(), static_cast<CRowTreeItem*>(number));
        QVERIFY(number->isVisible());
    }

    void tabOnHeadingMovesNothing()
    {
        Click(heading, false);
        QCOMPARE(f->tree->GetFocusedItem(), heading);
        QTest::keyClick(f->List(), Qt::Key_Tab);
        QCOMPARE(f->tree->GetFocusedItem(), heading);
    }

    void tabOntoReadOnlyRowDoesNotOpenIt()
    {
        Click(version, false);
        QTest::keyClick(f->List(), Qt::Key_Tab);
        QCOMPARE(f->tree->GetFocusedItem(), static_cast<CRowTreeItem*>(address));
        QVERIFY(!address->isVisible());
    }

    void arrowKeys()
    {
        QTest::keyClick(f->List(), Qt::Key_Home);
        QCOMPARE(f->tree->GetFocusedItem(), heading);
        QTest::keyClick(f->List(), Qt::Key_Down);
        QCOMPARE(f->tree->GetFocusedItem(), static_cast<CRowTreeItem*>(version));
        QTest::keyClick(f->List(), Qt::Key_End);
        QCOMPARE(f->tree->GetFocusedItem(), static_cast<CRowTreeItem*>(tsip));
        QTest::keyClick(f->List(), Qt::Key_Up);
        QCOMPARE(f->tree->GetFocusedItem(), static_cast<CRowTreeItem*>(start));
        QTest::keyClick(f->List(), Qt::Key_Right);   // a row without children: as Down
        QCOMPARE(f->tree->GetFocusedItem(), static_cast<CRowTreeItem*>(tsip));
        QVERIFY(tsip->IsSelected());
        QVERIFY(!start->IsSelected());
    }

    void leftCollapsesThenMovesUp()
    {
        CRowTreeItem* second = f->Heading("Program 1");
        f->Static(second, "Start");
        f->tree->SetFocusedItem(second);
        QTest::keyClick(f->List(), Qt::Key_Left);
        QVERIFY(!second->IsExpanded());
        QCOMPARE(f->tree->GetFocusedItem(), second);
        QTest::keyClick(f->List(), Qt::Key_Left);
        QCOMPARE(f->tree->GetFocusedItem(), static_cast<CRowTreeItem*>(tsip));
        f->tree->SetFocusedItem(second);
        QTest::keyClick(f->List(), Qt::Key_Right);
        QVERIFY(second->IsExpanded());
        QCOMPARE(f->tree->GetFocusedItem(), second);
    }

    void collapsingAboveTheFocusDropsIt()
    {
        Click(name, false);
        QTest::mouseClick(f->List(), Qt::LeftButton, Qt::NoModifier, QPoint(7, 9));
        QVERIFY(!heading->IsExpanded());
        QCOMPARE(f->tree->GetFocusedItem(), static_cast<CRowTreeItem*>(nullptr));
        QVERIFY(!name->IsSelected());
        QTest::mouseClick(f->List(), Qt::LeftButton, Qt::NoModifier, QPoint(7, 9));
        QVERIFY(heading->IsExpanded());
    }

    void doubleClickOnHeadingToggles()
    {
        QTest::mouseDClick(f->List(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 10));
        QVERIFY(!heading->IsExpanded());
        QCOMPARE(f->tree->GetFocusedItem(), heading);
        QVERIFY(heading->IsSelected());
    }

    void dividerDragLimits_data()
    {
        QTest::addColumn<int>("releaseX");
        QTest::addColumn<int>("divider");
        QTest::newRow("left of the minimum") << 10 << 41;
        QTest::newRow("free") << 120 << 120;
        QTest::newRow("beyond the right edge") << 400 << 275;
    }
    void dividerDragLimits()
    {
        QFETCH(int, releaseX);
        QFETCH(int, divider);
        const int y = number->GetValueRect().center().y();
        QTest::mousePress(f->List(), Qt::LeftButton, Qt::NoModifier, QPoint(152, y));
        QVERIFY(f->List()->IsDragging());
        QTest::mouseMove(f->List(), QPoint(releaseX, y));
        QCOMPARE(f->List()->DragPosition(), releaseX);
        QCOMPARE(f->tree->GetDividerPos(), 150);   // the divider waits for the release
        QTest::mouseRelease(f->List(), Qt::LeftButton, Qt::NoModifier, QPoint(releaseX, y));
        QVERIFY(!f->List()->IsDragging());
        QCOMPARE(f->tree->GetDividerPos(), divider);
        QCOMPARE(number->GetValueRect().left(), divider + 5);
        QCOMPARE(number->geometry(), number->GetValueRect());
    }

    void doubleClickOnDividerFitsTheWidestLabel()
    {
        const int y = number->GetValueRect().center().y();
        QTest::mouseDClick(f->List(), Qt::LeftButton, Qt::NoModifier, QPoint(150, y));
        QCOMPARE(f->tree->GetDividerPos(), RightEdge(f->tree->WidestLabel()) + 5);
        const QFontMetrics metrics(CRowTree::NormalFont());
        QCOMPARE(RightEdge(f->tree->WidestLabel()), 21 + metrics.size(Qt::TextSingleLine, "TS-->IP Address").width());
    }

    void cursorsOverTheList()
    {
        const int y = number->GetValueRect().center().y();
        QCOMPARE(f->List()->CursorShapeAt(QPoint(150, y)), Qt::SplitHCursor);
        QCOMPARE(f->List()->CursorShapeAt(QPoint(7, 9)), Qt::PointingHandCursor);
        QCOMPARE(f->List()->CursorShapeAt(QPoint(60, y)), Qt::ArrowCursor);
        const QPointF at(150, y);
        QMouseEvent move(QEvent::MouseMove, at, f->List()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(f->List(), &move);
        QCOMPARE(f->List()->cursor().shape(), Qt::SplitHCursor);
    }

    void wheelNeedsContentTallerThanTheList()
    {
        Wheel(f->List(), -120);
        QCOMPARE(f->tree->GetScrollPos(), 0);
        for (int i = 0; i < 20; ++i) {
            f->Static(heading, "more");
        }
        Wheel(f->List(), -120);
        QCOMPARE(f->tree->GetScrollPos(), 21);
        Wheel(f->List(), -1);   // whatever the size, one line
        QCOMPARE(f->tree->GetScrollPos(), 42);
        Wheel(f->List(), 360);
        QCOMPARE(f->tree->GetScrollPos(), 21);
    }

    void thumbDragMovesOnRelease()
    {
        for (int i = 0; i < 30; ++i) {
            f->Static(heading, "more");
        }
        QScrollBar* bar = f->List()->VerticalScrollBar();
        bar->setSliderDown(true);
        bar->setSliderPosition(100);
        QCOMPARE(f->tree->GetScrollPos(), 0);
        bar->setSliderDown(false);
        QCOMPARE(f->tree->GetScrollPos(), 100);
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(f->tree->GetScrollPos(), 121);
        QCOMPARE(bar->value(), 121);
    }

    void partlyVisibleBottomRowOpensThenCloses()
    {
        // 13 more rows: the list shows 19 rows and the top pixel row of the 20th.
        std::vector<CRowEdit*> more;
        for (int i = 0; i < 13; ++i) {
            more.push_back(f->Edit(heading, "more", 20000 + i));
        }
        CRowEdit* bottom = more[12];
        QCOMPARE(bottom->GetY(), 399);
        QTest::mouseClick(f->List(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 399));
        QCOMPARE(f->tree->GetFocusedItem(), static_cast<CRowTreeItem*>(bottom));
        QCOMPARE(f->tree->GetScrollPos(), 420 - 401);
        // The scroll took the focus back to the list: the editor committed and closed.
        QCOMPARE(f->commands, std::vector<int>{20012});
        QVERIFY(!bottom->isVisible());
        QVERIFY(f->List()->hasFocus());
    }

    void disabledTreeTakesNoClicks()
    {
        f->tree->setEnabled(false);
        Click(number);
        QVERIFY(!number->isVisible());
        QCOMPARE(f->tree->GetFocusedItem(), static_cast<CRowTreeItem*>(nullptr));
    }
};

ROWTREE_TEST_CLASS(tst_CRowTreeInput);
#include "tst_CRowTreeInput.moc"
