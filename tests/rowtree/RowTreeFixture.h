#pragma once

#include "CRowCombo.h"
#include "CRowEdit.h"
#include "CRowIPAddress.h"
#include "CRowStatic.h"
#include "CRowTree.h"

#include <QApplication>
#include <QTest>
#include <memory>
#include <vector>

// A shown window with one row tree (options as the settings sheet uses them) and a
// recorder for the commands the editors send.
struct RowTreeFixture {
    std::vector<int> commands;
    // The focused row at the moment of each command.
    std::vector<CRowTreeItem*> focusedAtCommand;
    // Declared after the recorders: an editor still open when the window goes reports
    // its edit while the window is taken down.
    std::unique_ptr<QWidget> window;
    CRowTree* tree = nullptr;
    QWidget* outside = nullptr;   // a focusable widget of the same window, outside the tree

    explicit RowTreeFixture(QSize size = QSize(300, 400), uint32_t options = RTS_SHADEMARGIN | RTS_HEADINGCOLORS)
    {
        window = std::make_unique<QWidget>();
        window->resize(size.width() + 100, size.height());
        tree = new CRowTree;
        tree->Create(QRect(QPoint(0, 0), size), window.get(), options, 0xFFFF);
        tree->SetCommandTarget([this](int id) {
            commands.push_back(id);
            focusedAtCommand.push_back(tree->GetFocusedItem());
        });
        outside = new QWidget(window.get());
        outside->setFocusPolicy(Qt::StrongFocus);
        outside->setGeometry(size.width() + 10, 10, 80, 30);
    }

    bool Show()
    {
        window->show();
        return QTest::qWaitForWindowActive(window.get());
    }

    CRowTreeList* List() const { return tree->GetList(); }

    CRowTreeItem* Heading(const QString& label)
    {
        auto* heading = new CRowTreeItem;
        tree->InsertItem(heading);
        heading->SetLabelText(label);
        heading->SetHeadingColor(ColorRef(0x00FFC8C8));
        heading->Expand(true);
        return heading;
    }

    CRowStatic* Static(CRowTreeItem* parent, const QString& label, const QString& value = QString())
    {
        auto* row = new CRowStatic;
        tree->InsertItem(row, parent);
        row->SetLabelText(label);
        row->SetStaticText(value);
        return row;
    }

    CRowEdit* Edit(CRowTreeItem* parent, const QString& label, int id, uint32_t options = 0)
    {
        auto* row = new CRowEdit(id);
        tree->InsertItem(row, parent);
        row->SetLabelText(label);
        row->CreateEditItem(options);
        return row;
    }

    CRowCombo* Combo(CRowTreeItem* parent, const QString& label, int id, const QStringList& entries)
    {
        auto* row = new CRowCombo(id);
        tree->InsertItem(row, parent);
        row->SetLabelText(label);
        row->CreateComboItem();
        for (const QString& entry : entries) {
            row->AddString(entry);
        }
        row->SetCurSel(0);
        return row;
    }

    CRowIPAddress* Address(CRowTreeItem* parent, const QString& label, int id)
    {
        auto* row = new CRowIPAddress(id);
        tree->InsertItem(row, parent);
        row->SetLabelText(label);
        row->CreateIPAddressItem();
        return row;
    }

    // Centre of a row's value cell, and a point of its label, in list coordinates.
    static QPoint ValuePoint(const CRowTreeItem* row) { return row->GetValueRect().center(); }
    QPoint LabelPoint(const CRowTreeItem* row) const
    {
        return QPoint(40, row->GetY() - tree->GetScrollPos() + row->GetHeight() / 2);
    }
};
