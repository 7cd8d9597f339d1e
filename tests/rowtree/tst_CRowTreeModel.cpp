#include "RowTreeTestMain.h"
#include "RowTreeFixture.h"

#include <QFontMetrics>
#include <QScrollBar>

using namespace RowTreeMetrics;

class tst_CRowTreeModel : public QObject {
    Q_OBJECT

private:
    // Two headings of `rows` static rows each.
    static std::vector<CRowTreeItem*> Fill(RowTreeFixture& f, int rows)
    {
        std::vector<CRowTreeItem*> all;
        for (int h = 0; h < 2; ++h) {
            CRowTreeItem* heading = f.Heading(QStringLiteral("Heading %1").arg(h));
            all.push_back(heading);
            for (int r = 0; r < rows; ++r) {
                all.push_back(f.Static(heading, QStringLiteral("Row %1.%2").arg(h).arg(r), "value"));
            }
        }
        return all;
    }

    static std::vector<CRowTreeItem*> Chain(const CRowTree& tree)
    {
        std::vector<CRowTreeItem*> rows;
        for (CRowTreeItem* row = tree.GetFirstPainted(); row; row = row->GetNextPainted()) {
            rows.push_back(row);
        }
        return rows;
    }

    static std::vector<CRowTreeItem*> Selected(CRowTree& tree)
    {
        std::vector<CRowTreeItem*> rows;
        tree.WalkTree([&](CRowTreeItem* row) {
            if (row->IsSelected()) {
                rows.push_back(row);
            }
        });
        return rows;
    }

private slots:
    void sequenceNumbersCountPerControl()
    {
        RowTreeFixture left;
        RowTreeFixture right;
        CRowTreeItem* heading = left.Heading("System");
        CRowStatic* first = left.Static(heading, "a");
        CRowTreeItem* second = left.Heading("Program");
        CRowEdit* edit = left.Edit(second, "b", 10005);
        QCOMPARE(heading->GetSequence(), 1);
        QCOMPARE(first->GetSequence(), 2);
        QCOMPARE(second->GetSequence(), 3);
        QCOMPARE(edit->GetSequence(), 4);
        QCOMPARE(right.Heading("Other")->GetSequence(), 1);
    }

    void insertionLinksRows()
    {
        RowTreeFixture f;
        QCOMPARE(f.tree->InsertItem(nullptr), static_cast<CRowTreeItem*>(nullptr));
        CRowTreeItem* heading = f.Heading("H");
        CRowStatic* a = f.Static(heading, "a");
        CRowStatic* b = f.Static(heading, "b");
        CRowStatic* child = f.Static(a, "deeper");
        QVERIFY(heading->IsHeading());
        QVERIFY(!a->IsHeading());
        QCOMPARE(heading->GetFirstChild(), static_cast<CRowTreeItem*>(a));
        QCOMPARE(a->GetNextSibling(), static_cast<CRowTreeItem*>(b));
        QCOMPARE(child->GetParent(), static_cast<CRowTreeItem*>(a));
        QCOMPARE(a->GetOwner(), f.tree);
        // Inserting a row a second time changes nothing.
        const int counterBefore = b->GetSequence();
        QCOMPARE(f.tree->InsertItem(a, heading), static_cast<CRowTreeItem*>(a));
        QCOMPARE(a->GetSequence(), 2);
        QCOMPARE(f.Static(heading, "c")->GetSequence(), counterBefore + 2);
        // A parent from another control is refused.
        RowTreeFixture other;
        auto* stray = new CRowStatic;
        QCOMPARE(other.tree->InsertItem(stray, heading), static_cast<CRowTreeItem*>(nullptr));
        QCOMPARE(stray->GetOwner(), static_cast<CRowTree*>(nullptr));
        delete stray;
    }

    void expandBeforeInsertLeavesCollapsed()
    {
        RowTreeFixture f;
        auto* heading = new CRowTreeItem;
        heading->Expand(true);
        f.tree->InsertItem(heading);
        QVERIFY(!heading->IsExpanded());
        f.Static(heading, "hidden");
        QCOMPARE(f.tree->ContentHeight(), kRowHeight);
        heading->Expand(true);
        f.tree->Refresh();
        QCOMPARE(f.tree->ContentHeight(), 2 * kRowHeight);
    }

    void layoutPlacesRows()
    {
        RowTreeFixture f;
        CRowTreeItem* heading = f.Heading("H");
        CRowStatic* a = f.Static(heading, "a");
        CRowStatic* deep = f.Static(a, "deep");
        a->Expand(true);
        f.tree->Refresh();
        QCOMPARE(a->GetX(), 0);
        QCOMPARE(a->GetY(), 21);
        QCOMPARE(deep->GetX(), 16);
        QCOMPARE(deep->GetY(), 42);
        QCOMPARE(a->GetValueRect(), RectFromEdges(155, 21, 300, 41));
        QCOMPARE(heading->GetExpandBox(), QRect(4, 5, 8, 8));
        QCOMPARE(a->GetExpandBox(), QRect(4, 26, 8, 8));
        QVERIFY(deep->GetExpandBox().isEmpty());
    }

    void dividerClamping_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("expected");
        QTest::newRow("too far left") << QSize(300, 200) << 5 << 16;
        QTest::newRow("too far right") << QSize(300, 200) << 290 << 284;
        QTest::newRow("right limit") << QSize(300, 200) << 284 << 284;
        QTest::newRow("just inside") << QSize(300, 200) << 283 << 283;
        QTest::newRow("inside") << QSize(300, 200) << 200 << 200;
        QTest::newRow("narrow control: the right limit wins") << QSize(20, 200) << 10 << 4;
        QTest::newRow("empty area, too far left") << QSize(0, 0) << 5 << 16;
        QTest::newRow("empty area, far right stays") << QSize(0, 0) << 400 << 400;
        QTest::newRow("no height is empty too") << QSize(300, 0) << 400 << 400;
    }
    void dividerClamping()
    {
        QFETCH(QSize, size);
        QFETCH(int, x);
        QFETCH(int, expected);
        RowTreeFixture f(size);
        f.tree->SetDividerPos(x);
        QCOMPARE(f.tree->GetDividerPos(), expected);
    }

    void dividerOfUncreatedControl()
    {
        CRowTree tree;
        QCOMPARE(tree.GetDividerPos(), 150);
        tree.SetDividerPos(400);
        QCOMPARE(tree.GetDividerPos(), 400);
        tree.SetDividerPos(3);
        QCOMPARE(tree.GetDividerPos(), 16);
    }

    void scrollRangeFollowsContent()
    {
        RowTreeFixture f(QSize(300, 200));
        QVERIFY(f.Show());
        std::vector<CRowTreeItem*> rows = Fill(f, 10);   // 22 rows, 462 pixels
        QScrollBar* bar = f.List()->VerticalScrollBar();
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->pageStep(), 201);
        QCOMPARE(bar->maximum(), 462 - 201);
        f.List()->ScrollTo(RowScroll::ThumbPosition, 1000);
        QCOMPARE(f.tree->GetScrollPos(), 261);
        f.List()->ScrollTo(RowScroll::LineUp);
        QCOMPARE(f.tree->GetScrollPos(), 240);
        f.List()->ScrollTo(RowScroll::PageUp);
        QCOMPARE(f.tree->GetScrollPos(), 39);
        f.List()->ScrollTo(RowScroll::PageUp);
        QCOMPARE(f.tree->GetScrollPos(), 0);
        f.List()->ScrollTo(RowScroll::PageDown);
        QCOMPARE(f.tree->GetScrollPos(), 201);
        f.List()->ScrollTo(RowScroll::ThumbTrack, 5);
        QCOMPARE(f.tree->GetScrollPos(), 201);

        // Collapsing both headings leaves content shorter than the list: position back to 0.
        rows[0]->Expand(false);
        rows[11]->Expand(false);
        f.List()->UpdateScrollBars();
        QCOMPARE(f.tree->GetScrollPos(), 0);
        QVERIFY(!bar->isVisible());
    }

    // Rows built while the layout is held are laid out, scroll range and all, on release,
    // exactly as rows built one layout at a time.
    void heldLayoutLaysOutOnceOnRelease()
    {
        RowTreeFixture stepwise(QSize(300, 200));
        RowTreeFixture held(QSize(300, 200));
        QVERIFY(stepwise.Show());
        QVERIFY(held.Show());
        const std::vector<CRowTreeItem*> expected = Fill(stepwise, 10);
        held.tree->HoldLayout(true);
        const std::vector<CRowTreeItem*> rows = Fill(held, 10);
        QVERIFY(Chain(*held.tree).empty());   // nothing laid out yet
        held.tree->HoldLayout(false);
        QCOMPARE(Chain(*held.tree).size(), Chain(*stepwise.tree).size());
        QCOMPARE(held.List()->VerticalScrollBar()->maximum(), stepwise.List()->VerticalScrollBar()->maximum());
        QCOMPARE(held.List()->VerticalScrollBar()->isVisible(), true);
        for (size_t i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i]->GetY(), expected[i]->GetY());
            QCOMPARE(rows[i]->GetValueRect(), expected[i]->GetValueRect());
        }
        // Released with nothing changed: no second layout is owed.
        held.tree->HoldLayout(true);
        held.tree->HoldLayout(false);
        QCOMPARE(Chain(*held.tree).size(), rows.size());
    }

    void scrollBarNarrowsTheRows()
    {
        RowTreeFixture f(QSize(300, 200));
        QVERIFY(f.Show());
        CRowTreeItem* heading = f.Heading("H");
        CRowStatic* row = f.Static(heading, "a");
        QCOMPARE(RightEdge(row->GetValueRect()), 300);
        Fill(f, 10);
        const int barWidth = f.List()->VerticalScrollBar()->width();
        QVERIFY(barWidth > 0);
        QCOMPARE(RightEdge(row->GetValueRect()), 300 - barWidth);
    }

    void focusMovement()
    {
        RowTreeFixture f;
        QCOMPARE(f.tree->FocusFirst(), static_cast<CRowTreeItem*>(nullptr));
        QCOMPARE(f.tree->GetFocusedItem(), static_cast<CRowTreeItem*>(nullptr));

        std::vector<CRowTreeItem*> rows = Fill(f, 2);   // H0 r r H1 r r
        QCOMPARE(f.tree->FocusNext(), rows[0]);         // Down with nothing focused
        f.tree->SetFocusedItem(nullptr);
        QCOMPARE(f.tree->FocusPrev(), rows[5]);   // Up with nothing focused
        QCOMPARE(f.tree->FocusPrev(), rows[4]);
        QCOMPARE(f.tree->FocusFirst(), rows[0]);
        QCOMPARE(f.tree->FocusLast(), rows[5]);
        QCOMPARE(f.tree->FocusNext(), static_cast<CRowTreeItem*>(nullptr));
        QCOMPARE(f.tree->GetFocusedItem(), rows[5]);

        // Up on the first row keeps it and still leaves it the only selected row.
        f.tree->FocusFirst();
        rows[3]->Select(true);
        QCOMPARE(f.tree->FocusPrev(), static_cast<CRowTreeItem*>(nullptr));
        QCOMPARE(f.tree->GetFocusedItem(), rows[0]);
        QCOMPARE(Selected(*f.tree), std::vector<CRowTreeItem*>{rows[0]});
    }

    void focusSkipsCollapsedRows()
    {
        RowTreeFixture f;
        std::vector<CRowTreeItem*> rows = Fill(f, 2);
        rows[0]->Expand(false);
        f.tree->Refresh();
        QCOMPARE(Chain(*f.tree), (std::vector<CRowTreeItem*>{rows[0], rows[3], rows[4], rows[5]}));
        f.tree->FocusFirst();
        QCOMPARE(f.tree->FocusNext(), rows[3]);
    }

    void focusingHiddenRowExpandsItsHeading()
    {
        RowTreeFixture f;
        std::vector<CRowTreeItem*> rows = Fill(f, 2);
        rows[3]->Expand(false);
        f.tree->Refresh();
        QVERIFY(!f.tree->IsPainted(rows[4]));
        f.tree->SetFocusedItem(rows[4]);
        QVERIFY(rows[3]->IsExpanded());
        QVERIFY(f.tree->IsPainted(rows[4]));
        QCOMPARE(f.tree->ContentHeight(), 6 * kRowHeight);
    }

    void ensureVisibleScrolls()
    {
        RowTreeFixture f(QSize(300, 200));
        QVERIFY(f.Show());
        std::vector<CRowTreeItem*> rows = Fill(f, 10);   // rows at y = 21 * index
        // Row 9 at y 189 ends below the 200-pixel list: it comes to end one row above the bottom.
        f.tree->SetFocusedItem(rows[9]);
        QCOMPARE(f.tree->GetScrollPos(), 189 + 42 - 200);
        // Row 8 (y 168) lies within [31, 31 + 200 - 21): nothing moves.
        f.tree->SetFocusedItem(rows[8]);
        QCOMPARE(f.tree->GetScrollPos(), 31);
        // Row 1 above the top: it comes to the top.
        f.tree->SetFocusedItem(rows[1]);
        QCOMPARE(f.tree->GetScrollPos(), 21);
        // The last row: clamped to the end of the range.
        f.tree->SetFocusedItem(rows[21]);
        QCOMPARE(f.tree->GetScrollPos(), 462 - 201);
    }

    void ensureVisibleNeverScrollsAboveTheTop()
    {
        // 210 pixels of content in a 210-pixel list: the last row sits exactly at the bottom.
        RowTreeFixture f(QSize(300, 210));
        QVERIFY(f.Show());
        std::vector<CRowTreeItem*> rows;
        CRowTreeItem* heading = f.Heading("H");
        for (int i = 0; i < 9; ++i) {
            rows.push_back(f.Static(heading, "r"));
        }
        f.tree->SetFocusedItem(rows.back());
        QCOMPARE(f.tree->GetScrollPos(), 0);
        QCOMPARE(rows.back()->GetValueRect().top(), 189);
    }

    void itemAtAndHitTest_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("hit");
        // Rows: heading (y 0), row with a child (y 21), its child (y 42). Divider 150.
        QTest::newRow("below the rows") << QPoint(100, 70) << -1 << int(HitNowhere);
        QTest::newRow("heading label") << QPoint(40, 10) << 0 << int(HitLabel);
        QTest::newRow("heading at the divider is label") << QPoint(150, 10) << 0 << int(HitLabel);
        QTest::newRow("heading right of the divider") << QPoint(156, 10) << 0 << int(HitValue);
        QTest::newRow("heading expand box") << QPoint(4, 5) << 0 << int(HitExpandBox);
        QTest::newRow("expand box, last pixel") << QPoint(11, 12) << 0 << int(HitExpandBox);
        QTest::newRow("beside the expand box") << QPoint(12, 12) << 0 << int(HitLabel);
        QTest::newRow("divider left edge") << QPoint(145, 30) << 1 << int(HitDivider);
        QTest::newRow("divider right edge") << QPoint(155, 30) << 1 << int(HitDivider);
        QTest::newRow("just left of the grab zone") << QPoint(144, 30) << 1 << int(HitLabel);
        QTest::newRow("value cell") << QPoint(156, 30) << 1 << int(HitValue);
        QTest::newRow("row expand box") << QPoint(8, 30) << 1 << int(HitExpandBox);
        QTest::newRow("childless row has no box") << QPoint(8, 50) << 2 << int(HitLabel);
        QTest::newRow("last pixel row of a row") << QPoint(40, 62) << 2 << int(HitLabel);
    }
    void itemAtAndHitTest()
    {
        QFETCH(QPoint, point);
        QFETCH(int, row);
        QFETCH(int, hit);
        RowTreeFixture f;
        CRowTreeItem* heading = f.Heading("H");
        CRowStatic* parent = f.Static(heading, "parent");
        CRowStatic* child = f.Static(parent, "child");
        parent->Expand(true);
        f.tree->Refresh();
        const CRowTreeItem* rows[] = {heading, parent, child};
        QCOMPARE(f.tree->ItemAt(point), row < 0 ? nullptr : rows[row]);
        QCOMPARE(int(f.tree->HitTest(point)), hit);
    }

    void hitTestAppliesTheScrollPosition()
    {
        RowTreeFixture f(QSize(300, 200));
        QVERIFY(f.Show());
        std::vector<CRowTreeItem*> rows = Fill(f, 10);
        f.List()->ScrollTo(RowScroll::ThumbPosition, 42);
        QCOMPARE(f.tree->ItemAt(QPoint(40, 0)), rows[2]);
        QCOMPARE(f.tree->ItemAt(QPoint(40, 20)), rows[2]);
        QCOMPARE(f.tree->ItemAt(QPoint(40, 21)), rows[3]);
        // rows[11] is the second heading: its box is hit in content coordinates.
        const int top = rows[11]->GetY() - 42;
        QCOMPARE(f.tree->HitTest(QPoint(5, top + 6)), HitExpandBox);
    }

    void labelTruncation_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("extraWidth");   // room beyond what the whole label needs
        QTest::addColumn<QString>("shown");
        QTest::newRow("fits with a pixel to spare") << "Video Bitrate(kbps)" << 1 << "Video Bitrate(kbps)";
        QTest::newRow("one pixel short") << "Video Bitrate(kbps)" << 0 << "";
        QTest::newRow("no room keeps one character") << "Video" << -1000 << "V...";
        QTest::newRow("single character") << "V" << -1000 << "V...";
    }
    void labelTruncation()
    {
        QFETCH(QString, label);
        QFETCH(int, extraWidth);
        QFETCH(QString, shown);
        const QFontMetrics metrics(CRowTree::NormalFont());
        const int width = metrics.horizontalAdvance(label) + extraWidth;
        const QString result = TruncateLabel(label, metrics, width);
        if (!shown.isEmpty()) {
            QCOMPARE(result, shown);
            return;
        }
        // Otherwise: the longest prefix that fits with the ellipsis and the spare pixel.
        QVERIFY(result.endsWith("..."));
        const QString prefix = result.chopped(3);
        QVERIFY(label.startsWith(prefix));
        QVERIFY(metrics.horizontalAdvance(result) + 1 <= width);
        const QString longer = label.left(prefix.size() + 1) + "...";
        QVERIFY(metrics.horizontalAdvance(longer) + 1 > width);
    }

    void widestLabel()
    {
        RowTreeFixture f;
        QCOMPARE(f.tree->WidestLabel(), QRect());
        CRowTreeItem* heading = f.Heading("A heading wider than every row label");
        CRowStatic* shortRow = f.Static(heading, "ab");
        CRowStatic* longRow = f.Static(heading, "abcdef");
        f.Static(heading, "abc");
        const QFontMetrics metrics(CRowTree::NormalFont());
        QCOMPARE(f.tree->WidestLabel(), longRow->GetLabelTextBox());
        QCOMPARE(longRow->GetLabelTextBox().left(), 21);
        QCOMPARE(longRow->GetLabelTextBox().width(), metrics.size(Qt::TextSingleLine, "abcdef").width());
        QVERIFY(RightEdge(shortRow->GetLabelTextBox()) < RightEdge(longRow->GetLabelTextBox()));
        // Rows under a collapsed parent do not count.
        heading->Expand(false);
        f.tree->Refresh();
        QCOMPARE(f.tree->WidestLabel(), QRect());
    }

    void deleteAllItemsKeepsTheRoot()
    {
        RowTreeFixture f;
        std::vector<CRowTreeItem*> rows = Fill(f, 3);
        auto* edit = f.Edit(rows[0], "edit", 10007);
        f.tree->SetFocusedItem(rows[2]);
        QPointer<QLineEdit> editor = edit;
        f.tree->DeleteAllItems();
        QVERIFY(editor.isNull());
        QCOMPARE(f.tree->GetFocusedItem(), static_cast<CRowTreeItem*>(nullptr));
        QCOMPARE(f.tree->GetFirstPainted(), static_cast<CRowTreeItem*>(nullptr));
        QCOMPARE(f.tree->ContentHeight(), 0);
        QCOMPARE(f.tree->GetRootItem()->GetFirstChild(), static_cast<CRowTreeItem*>(nullptr));
        QVERIFY(f.commands.empty());
        // The counter goes on.
        QCOMPARE(f.Heading("again")->GetSequence(), 10);
    }

    void fontsAreSharedWhileControlsLive()
    {
        const int before = CRowTree::LiveControls();
        {
            CRowTree a;
            CRowTree b;
            QCOMPARE(CRowTree::LiveControls(), before + 2);
            QVERIFY(CRowTree::BoldFont().bold());
            QVERIFY(!CRowTree::NormalFont().bold());
            QCOMPARE(CRowTree::BoldFont().family(), CRowTree::NormalFont().family());
        }
        QCOMPARE(CRowTree::LiveControls(), before);
    }

    void commitReportsOncePerActivation()
    {
        RowTreeFixture f;
        QVERIFY(f.Show());
        CRowTreeItem* heading = f.Heading("H");
        CRowEdit* edit = f.Edit(heading, "Device Number", 10007, REO_NUMBER);
        CRowCombo* combo = f.Combo(heading, "Start", 10013, {" No ", " Yes "});
        CRowIPAddress* ip = f.Address(heading, "TS-->IP Address", 10011);
        CRowStatic* fixed = f.Static(heading, "HW version", "1.0");
        for (CRowTreeItem* row : std::initializer_list<CRowTreeItem*>{edit, combo, ip, fixed}) {
            row->Activate();
            QVERIFY(row->IsActivated());
            row->CommitChanges();
            row->CommitChanges();
            QVERIFY(!row->IsActivated());
            QVERIFY(row->IsCommitted());
        }
        // Combo and static rows report nothing on commit.
        QCOMPARE(f.commands, (std::vector<int>{10007, 10011}));
    }

    void valuesSetByCodeReportNothing()
    {
        RowTreeFixture f;
        CRowTreeItem* heading = f.Heading("H");
        CRowEdit* edit = f.Edit(heading, "n", 10007, REO_NUMBER);
        CRowCombo* combo = f.Combo(heading, "c", 10013, {"a", "b"});
        CRowIPAddress* ip = f.Address(heading, "ip", 10011);
        edit->SetEditInt(-42);
        combo->SetCurSel(1);
        ip->SetAddress(0x0A000001);
        QCOMPARE(edit->GetValueText(), QString("-42"));
        QCOMPARE(combo->GetValueText(), QString("b"));
        QCOMPARE(ip->GetValueText(), QString("10.0.0.1"));
        QVERIFY(f.commands.empty());
    }

    void editorsNeedAnInsertedRowAndOnlyOneCreation()
    {
        RowTreeFixture f;
        auto* edit = new CRowEdit(1);
        auto* combo = new CRowCombo(2);
        auto* ip = new CRowIPAddress(3);
        QCOMPARE(edit->CreateEditItem(0), 0);
        QCOMPARE(combo->CreateComboItem(), 0);
        QCOMPARE(ip->CreateIPAddressItem(), 0);
        edit->SetEditInt(5);
        QCOMPARE(edit->text(), QString());   // no editor yet: nothing set
        CRowTreeItem* heading = f.Heading("H");
        f.tree->InsertItem(edit, heading);
        f.tree->InsertItem(combo, heading);
        f.tree->InsertItem(ip, heading);
        QCOMPARE(edit->CreateEditItem(0), 1);
        QCOMPARE(edit->CreateEditItem(REO_NUMBER), 0);
        QCOMPARE(edit->GetEditOptions(), 0u);
        QCOMPARE(combo->CreateComboItem(), 1);
        QCOMPARE(combo->CreateComboItem(), 0);
        QCOMPARE(ip->CreateIPAddressItem(), 1);
        QCOMPARE(ip->CreateIPAddressItem(), 0);
        QCOMPARE(edit->parentWidget(), static_cast<QWidget*>(f.List()));
        QVERIFY(!edit->isVisible());
    }

    void layoutWithAndWithoutTheInfoPane()
    {
        RowTreeFixture plain(QSize(300, 400));
        QCOMPARE(plain.List()->geometry(), QRect(0, 0, 300, 400));
        QVERIFY(!plain.tree->GetInfo()->isVisibleTo(plain.tree));

        RowTreeFixture withPane(QSize(300, 400), RTS_INFOPANE | RTS_DEFAULTINFOTEXT);
        QCOMPARE(withPane.List()->geometry(), QRect(0, 0, 300, 350));
        QCOMPARE(withPane.tree->GetInfo()->geometry(), QRect(0, 350, 300, 50));
        QVERIFY(withPane.tree->GetInfo()->isVisibleTo(withPane.tree));
        // A resize while hidden is caught up with before the rows are laid out again.
        withPane.tree->resize(200, 300);
        withPane.tree->Repaint();
        QCOMPARE(withPane.List()->geometry(), QRect(0, 0, 200, 250));
        // Sizes of 0 are ignored.
        withPane.tree->resize(0, 300);
        withPane.tree->Repaint();
        QCOMPARE(withPane.List()->geometry(), QRect(0, 0, 200, 250));
    }

    void createOnlyOnceAndOnlyWithAParent()
    {
        CRowTree tree;
        QWidget parent;
        QCOMPARE(tree.Create(QRect(0, 0, 100, 100), nullptr, 0), 0);
        QVERIFY(!tree.IsCreated());
        QCOMPARE(tree.Create(QRect(0, 0, 100, 100), &parent, 0x18, 0xFFFF), 1);
        QCOMPARE(tree.Create(QRect(0, 0, 100, 100), &parent, 0x18, 0xFFFF), 0);
        QCOMPARE(tree.GetOptions(), 0x18u);
        tree.setParent(nullptr);   // the stack object must not be deleted by the parent

        CRowTree withStyle;
        QCOMPARE(withStyle.Create(0x06000000, QRect(0, 0, 100, 100), &parent, 0x18, 0xFFFF), 1);
        QVERIFY(!withStyle.isVisibleTo(&parent));
        withStyle.setParent(nullptr);
    }

    void colourRefsAreRedInTheLowByte()
    {
        RowTreeFixture f;
        CRowTreeItem* heading = f.Heading("H");
        heading->SetHeadingColor(ColorRef(0x00FFC8C8));
        QCOMPARE(heading->GetHeadingColor(), QColor(200, 200, 255));
        heading->SetBackColor(QColor(240, 240, 240));
        QCOMPARE(RefFromColor(heading->GetBackColor()), ColorRef(0x00F0F0F0));
    }

    // Every kind takes a value of its own type by code, shows it, and reports nothing; a
    // value of another type changes nothing.
    void valuesSetByCode()
    {
        RowTreeFixture f;
        CRowTreeItem* heading = f.Heading("H");
        CRowEdit* edit = f.Edit(heading, "edit", 10005);
        CRowCombo* combo = f.Combo(heading, "combo", 10006, {"PAL", "NTSC"});
        CRowIPAddress* address = f.Address(heading, "address", 10007);
        CRowStatic* fixed = f.Static(heading, "static", "old");
        const RowValue text = RowValue::Text("42");
        const RowValue index = RowValue::Index(1);
        const RowValue ip = RowValue::Address(0x0A000001);

        QCOMPARE(heading->ValueType(), RowValue::Type::None);
        const std::vector<std::pair<CRowTreeItem*, RowValue>> rows = {
            {edit, text}, {combo, index}, {address, ip}, {fixed, text}};
        for (const auto& [row, value] : rows) {
            QCOMPARE(row->ValueType(), value.type);
            const QString before = row->GetValueText();
            for (const RowValue& other : {text, index, ip}) {
                if (other.type != value.type) {
                    row->SetValue(other);
                }
            }
            QCOMPARE(row->GetValueText(), before);
            row->SetValue(value);
        }
        QCOMPARE(edit->GetValueText(), QStringLiteral("42"));
        QCOMPARE(edit->GetValue().text, QStringLiteral("42"));
        QCOMPARE(combo->GetValueText(), QStringLiteral("NTSC"));
        QCOMPARE(combo->GetValue().index, 1);
        QCOMPARE(address->GetValueText(), QStringLiteral("10.0.0.1"));
        QCOMPARE(address->GetValue().address, 0x0A000001u);
        QCOMPARE(fixed->GetValueText(), QStringLiteral("42"));
        QVERIFY(f.commands.empty());
    }
};

ROWTREE_TEST_CLASS(tst_CRowTreeModel);
#include "tst_CRowTreeModel.moc"
