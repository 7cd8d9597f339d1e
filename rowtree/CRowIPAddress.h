#pragma once

#include "CIPAddressCtrl.h"
#include "CRowTreeItem.h"

// A row edited in a four-field IP-address control. The edit is reported when the focus
// leaves the control for another part of the same row tree (or Enter is pressed); focus
// going outside the tree (another pane, a message box) leaves the editor open.
class CRowIPAddress : public CIPAddressCtrl, public CRowTreeItem {
    Q_OBJECT
public:
    explicit CRowIPAddress(int commandId);
    ~CRowIPAddress() override;

    // Creates the editor on an inserted row; 0 when the row is not inserted or the editor
    // exists already.
    int CreateIPAddressItem(uint32_t extraStyle = 0);

    // The address as the value cell shows it, "%d.%d.%d.%d".
    QString GetValueText() const override;
    bool HasEditor() const override { return m_created; }
    bool EditorHasFocus() const override { return m_hasFocus; }

protected:
    void OnDrawValue(QPainter& painter, const QRect& cell) override;
    void OnActivate() override;
    void OnResize() override;
    void OnMove() override;
    void OnCommit() override;
    void OnDestroyEditor() override;
    void OnDeselect() override;

    void OnFieldFocusIn(int index) override;
    void OnFieldFocusOut(int index, QWidget* gaining) override;
    bool OnFieldNext(int index) override;
    bool OnFieldReturn(int index) override;
    bool OnFieldTab(int index, QKeyEvent* event) override;
    QColor DotColor() const override;

private:
    void PlaceOnCell();

    bool m_hasFocus = false;
    bool m_created = false;
};
