#include "RowTreeTestMain.h"

#include "CIPAddressCtrl.h"
#include "CRowIPField.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <memory>

class tst_CIPAddressCtrl : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QWidget> m_window;
    CIPAddressCtrl* m_ctrl = nullptr;

    QStringList Texts() const
    {
        QStringList texts;
        for (int i = 0; i < CIPAddressCtrl::kFieldCount; ++i) {
            texts << m_ctrl->Field(i)->text();
        }
        return texts;
    }

    int FocusedField() const
    {
        for (int i = 0; i < CIPAddressCtrl::kFieldCount; ++i) {
            if (QApplication::focusWidget() == m_ctrl->Field(i)) {
                return i;
            }
        }
        return -1;
    }

private slots:
    void init()
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(300, 60);
        m_ctrl = new CIPAddressCtrl(m_window.get());
        m_ctrl->setGeometry(10, 10, 200, 24);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_ctrl->SetFieldFocus(0);
        QTRY_COMPARE(FocusedField(), 0);
    }
    void cleanup()
    {
        m_window.reset();
        m_ctrl = nullptr;
    }

    void addressRoundTrip_data()
    {
        QTest::addColumn<uint>("address");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("first field is the high byte") << 0x0A000001u << QStringList{"10", "0", "0", "1"};
        QTest::newRow("all bits") << 0xFFFFFFFFu << QStringList{"255", "255", "255", "255"};
        QTest::newRow("zero is shown, not blank") << 0u << QStringList{"0", "0", "0", "0"};
        QTest::newRow("private address") << 0xC0A80114u << QStringList{"192", "168", "1", "20"};
    }
    void addressRoundTrip()
    {
        QFETCH(uint, address);
        QFETCH(QStringList, texts);
        QSignalSpy changed(m_ctrl, &CIPAddressCtrl::addressChanged);
        m_ctrl->SetAddress(address);
        QCOMPARE(Texts(), texts);
        QCOMPARE(m_ctrl->GetAddress(), uint32_t(address));
        QVERIFY(!m_ctrl->IsBlank());
        QCOMPARE(changed.count(), 0);
    }

    void emptyFieldsReadAsZero()
    {
        uint32_t address = 1;
        QVERIFY(m_ctrl->IsBlank());
        QCOMPARE(m_ctrl->GetAddress(address), 0);
        QCOMPARE(address, 0u);

        m_ctrl->Field(0)->setText("192");
        m_ctrl->Field(2)->setText("1");
        QCOMPARE(m_ctrl->GetAddress(address), 2);
        QCOMPARE(address, 0xC0000100u);
        QVERIFY(!m_ctrl->IsBlank());
        m_ctrl->ClearAddress();
        QVERIFY(m_ctrl->IsBlank());
    }

    void typing_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<int>("focusedField");
        QTest::newRow("dots advance") << "192.168.1.20" << QStringList{"192", "168", "1", "20"} << 3;
        QTest::newRow("third digit advances") << "1921681" << QStringList{"192", "168", "1", ""} << 2;
        QTest::newRow("above 255 becomes 255") << "300" << QStringList{"255", "", "", ""} << 1;
        QTest::newRow("letters are refused") << "1a2" << QStringList{"12", "", "", ""} << 0;
        QTest::newRow("dot in the last field stays") << "1.2.3.4.5" << QStringList{"1", "2", "3", "45"} << 3;
        QTest::newRow("fourth field clamps too") << "1.1.1.999" << QStringList{"1", "1", "1", "255"} << 3;
    }
    void typing()
    {
        QFETCH(QString, keys);
        QFETCH(QStringList, texts);
        QFETCH(int, focusedField);
        QSignalSpy changed(m_ctrl, &CIPAddressCtrl::addressChanged);
        QTest::keyClicks(QApplication::focusWidget(), QString());
        for (QChar c : keys) {
            QTest::keyClicks(QApplication::focusWidget(), QString(c));
        }
        QCOMPARE(Texts(), texts);
        QCOMPARE(FocusedField(), focusedField);
        QVERIFY(changed.count() > 0);
    }

    void typingIntoSelectedFieldReplacesIt()
    {
        m_ctrl->SetAddress(0x01020304);
        m_ctrl->SetFieldFocus(1);
        QTest::keyClicks(m_ctrl->Field(1), "9");
        QCOMPARE(Texts(), (QStringList{"1", "9", "3", "4"}));
    }

    void backspaceAtStartGoesBack()
    {
        QTest::keyClicks(m_ctrl->Field(0), "12.");
        QCOMPARE(FocusedField(), 1);
        QTest::keyClick(m_ctrl->Field(1), Qt::Key_Backspace);
        QCOMPARE(FocusedField(), 0);
        QCOMPARE(m_ctrl->Field(0)->cursorPosition(), 2);
        QCOMPARE(m_ctrl->Field(0)->text(), QString("12"));   // moving back deletes nothing
        QTest::keyClick(m_ctrl->Field(0), Qt::Key_Backspace);
        QCOMPARE(m_ctrl->Field(0)->text(), QString("1"));
        QTest::keyClick(m_ctrl->Field(0), Qt::Key_Backspace);
        QTest::keyClick(m_ctrl->Field(0), Qt::Key_Backspace);   // at the first field: stays
        QCOMPARE(FocusedField(), 0);
        QVERIFY(m_ctrl->IsBlank());
    }

    void arrowsCrossFieldEdges()
    {
        m_ctrl->SetAddress(0x0A0B0C0D);
        m_ctrl->Field(0)->setFocus();
        m_ctrl->Field(0)->setCursorPosition(2);
        QTest::keyClick(m_ctrl->Field(0), Qt::Key_Right);
        QCOMPARE(FocusedField(), 1);
        QCOMPARE(m_ctrl->Field(1)->cursorPosition(), 0);
        QTest::keyClick(m_ctrl->Field(1), Qt::Key_Left);
        QCOMPARE(FocusedField(), 0);
        QCOMPARE(m_ctrl->Field(0)->cursorPosition(), 2);
    }

    void fieldAndDotGeometry()
    {
        m_ctrl->setFrameStyle(QFrame::NoFrame);
        m_ctrl->setGeometry(0, 0, 125, 20);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(m_ctrl->Field(i)->geometry(), QRect(5 + 30 * i, 0, 25, 20));
        }
        for (int k = 1; k <= 3; ++k) {
            QCOMPARE(m_ctrl->DotRect(k).left(), 30 * k);
        }
    }
};

ROWTREE_TEST_CLASS(tst_CIPAddressCtrl);
#include "tst_CIPAddressCtrl.moc"
