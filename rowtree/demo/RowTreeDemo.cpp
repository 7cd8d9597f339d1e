// A window to try the row tree and the pane splitter by hand: a list on the left, a row
// tree of every row kind at the top right and a log of the reported edits below it.
//
//   rowtree-demo [--screenshot FILE] [--open ROW] [--drag X] [--disabled] [--size WxH]
//
// --screenshot grabs the window once it is shown and quits; --open activates the editor
// of the ROW-th row (sequence number) first, to see an open editor on the picture;
// --drag starts dragging the divider to X and holds it there; --disabled disables the tree.

#include "CIPAddressCtrl.h"
#include "CPaneSplitter.h"
#include "CRowCombo.h"
#include "CRowEdit.h"
#include "CRowIPAddress.h"
#include "CRowStatic.h"
#include "CRowTree.h"

#include <QApplication>
#include <QListWidget>
#include <QMainWindow>
#include <QMouseEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace {

class DemoSheet : public QWidget {
public:
    explicit DemoSheet(QListWidget* log)
    {
        m_tree = new CRowTree;
        m_tree->Create(rect(), this, RTS_SHADEMARGIN | RTS_HEADINGCOLORS, kUnaddressedId);
        m_tree->SetCommandTarget(
            [this, log](int id) { log->insertItem(0, QStringLiteral("command %1: %2").arg(id).arg(ValueOf(id))); });
        Build();
    }

    CRowTree* Tree() const { return m_tree; }

protected:
    void resizeEvent(QResizeEvent*) override
    {
        m_tree->setGeometry(rect());
        m_tree->SetDividerPos(200);
    }

private:
    CRowTreeItem* Heading(const QString& label, ColorRef color)
    {
        auto* heading = new CRowTreeItem;
        m_tree->InsertItem(heading);
        heading->SetLabelText(label);
        heading->SetHeadingColor(color);
        heading->Expand(true);
        return heading;
    }

    CRowEdit* Edit(CRowTreeItem* heading, const QString& label, int id, uint32_t options, const QString& value)
    {
        auto* row = new CRowEdit(id);
        m_tree->InsertItem(row, heading);
        row->SetLabelText(label);
        row->CreateEditItem(options);
        row->setText(value);
        m_rows.push_back({id, row});
        return row;
    }

    CRowCombo* Combo(CRowTreeItem* heading, const QString& label, int id, const QStringList& entries, int index)
    {
        auto* row = new CRowCombo(id);
        m_tree->InsertItem(row, heading);
        row->SetLabelText(label);
        row->CreateComboItem();
        for (const QString& entry : entries) {
            row->AddString(entry);
        }
        row->SetCurSel(index);
        m_rows.push_back({id, row});
        return row;
    }

    CRowIPAddress* Address(CRowTreeItem* heading, const QString& label, int id, uint32_t address)
    {
        auto* row = new CRowIPAddress(id);
        m_tree->InsertItem(row, heading);
        row->SetLabelText(label);
        row->CreateIPAddressItem();
        row->SetAddress(address);
        m_rows.push_back({id, row});
        return row;
    }

    void Build()
    {
        const ColorRef top = 0x00FFC8C8;
        const ColorRef group = 0x00DCDCDC;
        const ColorRef fixed = 0x00F0F0F0;
        CRowTreeItem* system = Heading("System", top);
        auto* version = new CRowStatic;
        m_tree->InsertItem(version, system);
        version->SetLabelText("HW version");
        version->SetStaticText("KSE-202 v2.14");
        version->SetBackColor(fixed);
        CRowIPAddress* ip = Address(system, "IP Address", 10002, 0xC0A8010A);
        ip->SetReadOnly(true);
        ip->SetBackColor(fixed);
        Edit(system, "Password", 10005, 0, "");
        Edit(system, "Device Number", 10007, REO_NUMBER, "3");
        Address(system, "TS-->IP Address", 10011, 0xEF010101);
        Edit(system, "TS-->IP Port", 10012, REO_NUMBER, "1234");
        CRowTreeItem* program = Heading("Program 1", top);
        Combo(program, "Start", 10013, {" No ", " Yes "}, 1);
        Edit(program, "Service Name", 10014, 0, "Channel One");
        Edit(program, "A label far too long for its cell to show whole", 10015, 0, "Provider");
        CRowTreeItem* video = Heading("Program1 - Video", group);
        Edit(video, "VIDEO_PID", 10019, REO_NUMBER, "256");
        Combo(video, "Resolution", 10023, {"D1", "HALF-D1", "SIF", "Q-SIF"}, 0);
        Combo(video, "GOP", 10024, {"I", "IP", "IPB", "IPBB"}, 2);
        auto* signal = new CRowStatic;
        m_tree->InsertItem(signal, video);
        signal->SetLabelText("Video Signal");
        signal->SetStaticText("PAL");
        signal->SetBackColor(fixed);
        auto* blank = new CRowStatic;
        m_tree->InsertItem(blank, video);
    }

    QString ValueOf(int id) const
    {
        for (const auto& [rowId, row] : m_rows) {
            if (rowId == id) {
                return row->GetValueText();
            }
        }
        return QString();
    }

    CRowTree* m_tree;
    std::vector<std::pair<int, CRowTreeItem*>> m_rows;
};

}   // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QString screenshot;
    int openRow = 0;
    int dragTo = -1;
    bool disabled = false;
    QSize size(900, 600);
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString next = i + 1 < args.size() ? args[i + 1] : QString();
        if (args[i] == "--screenshot") {
            screenshot = next;
        } else if (args[i] == "--open") {
            openRow = next.toInt();
        } else if (args[i] == "--drag") {
            dragTo = next.toInt();
        } else if (args[i] == "--size") {
            const QStringList wh = next.split('x');
            if (wh.size() == 2) {
                size = QSize(wh[0].toInt(), wh[1].toInt());
            }
        } else if (args[i] == "--disabled") {
            disabled = true;
        }
    }

    QMainWindow window;
    window.setWindowTitle("Row tree demo");
    auto* outer = new CPaneSplitter(2, CPaneSplitter::SideBySide, 30, 1);
    window.setCentralWidget(outer);
    outer->SetProportions({25, 75});
    auto* inner = new CPaneSplitter(2, CPaneSplitter::Stacked, 30, 1);
    inner->Create(outer);
    inner->SetProportions({80, 20});

    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(4, 4, 4, 4);
    auto* entry = new CIPAddressCtrl;
    entry->SetAddress(0xC0A80114);
    leftLayout->addWidget(entry);
    auto* devices = new QListWidget;
    devices->addItems({"192.168.1.10", "192.168.1.11", "10.0.0.1"});
    leftLayout->addWidget(devices);
    auto* log = new QListWidget;
    auto* sheet = new DemoSheet(log);
    outer->CreatePane(0, left);
    outer->SetPane(1, inner);
    inner->CreatePane(0, sheet);
    inner->CreatePane(1, log);

    window.resize(size);
    window.show();

    if (openRow > 0) {
        QTimer::singleShot(100, sheet, [sheet, openRow]() {
            sheet->Tree()->WalkTree([&](CRowTreeItem* row) {
                if (row->GetSequence() == openRow) {
                    sheet->Tree()->SelectAll(false);
                    row->Select(true);
                    sheet->Tree()->SetFocusedItem(row);
                    if (!row->IsHeading() && !row->IsReadOnly()) {
                        row->Activate();
                    }
                }
            });
        });
    }
    sheet->Tree()->setEnabled(!disabled);
    if (dragTo >= 0) {
        QTimer::singleShot(150, sheet, [sheet, dragTo]() {
            QWidget* list = sheet->Tree()->GetList();
            const QPointF grab(sheet->Tree()->GetDividerPos(), 30);
            QMouseEvent press(QEvent::MouseButtonPress, grab, list->mapToGlobal(grab), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QApplication::sendEvent(list, &press);
            const QPointF to(dragTo, 30);
            QMouseEvent move(QEvent::MouseMove, to, list->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(list, &move);
        });
    }
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(400, &window, [&window, screenshot]() {
            window.grab().save(screenshot);
            QApplication::quit();
        });
    }
    return app.exec();
}
