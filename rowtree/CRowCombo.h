#pragma once

#include "CRowTreeItem.h"

#include <QComboBox>

// A row edited in a drop-down list. Every selection change by the operator is reported at
// once; selections set by code are not.
class CRowCombo : public QComboBox, public CRowTreeItem {
    Q_OBJECT
public:
    explicit CRowCombo(int commandId);
    ~CRowCombo() override;

    // Creates the editor on an inserted row; 0 when the row is not inserted or the editor
    // exists already. Entries are added afterwards with AddString.
    int CreateComboItem(uint32_t extraStyle = 0);
    int AddString(const QString& text);   // index of the new entry
    void SetCurSel(int index);            // -1: no selection
    int GetCurSel() const { return currentIndex(); }

    QString GetValueText() const override { return currentText(); }
    bool HasEditor() const override { return m_created; }
    bool EditorHasFocus() const override { return m_hasFocus; }
    int DropDownHeight() const { return m_dropHeight; }
    void showPopup() override;

protected:
    void OnDrawValue(QPainter& painter, const QRect& cell) override;
    void OnActivate() override;
    void OnResize() override;
    void OnMove() override;
    void OnCommit() override;
    void OnDestroyEditor() override;
    void OnDeselect() override;

    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void MoveOntoCell();
    void UserActivated(int index);

    bool m_hasFocus = false;
    bool m_created = false;
    int m_dropHeight = RowTreeMetrics::kComboDropHeight;
    int m_indexBeforeUser = -1;
};
