#pragma once

#include "CRowTreeItem.h"
#include "CRowTreeList.h"

#include <QObject>

class QEvent;

// The part every row with an editor window shares (CRowEdit, CRowCombo, CRowIPAddress):
// the editor lies hidden on the value cell while the list paints its value, shows and
// takes the focus when the row is activated, follows the cell when the list is resized or
// the divider moves, and hides again when the edit is committed or the row deselected.
// A kind supplies its window and the few steps in which it differs.
class CRowEditorItem : public CRowTreeItem {
public:
    ~CRowEditorItem() override;

    bool HasEditor() const override { return m_created; }
    bool EditorHasFocus() const override { return m_hasFocus; }

protected:
    // When a commit reports the edit: an edit box reports and then hides, an address
    // editor hides and then reports, a drop-down list reports each change as it happens.
    enum class CommitReport { None, BeforeHide, AfterHide };

    CRowEditorItem(int commandId, CommitReport report);

    // The editor window: the row object itself, seen as its widget.
    virtual QWidget* Editor() = 0;
    // Puts the editor on the value cell.
    virtual void PlaceEditor();
    // Runs after the opened editor is shown, before it is placed (the edit box puts its
    // caret at the start).
    virtual void PrepareToOpen() {}
    // Gives the opened editor the keyboard focus.
    virtual void FocusEditor();
    // The colour of the value drawn while the editor is closed (before the read-only and
    // disabled grey).
    virtual QColor ClosedValueColor() const { return GetValueTextColor(); }
    QColor ValueColor() const override { return ClosedValueColor(); }

    // Makes the editor a child of the row list in the rows' font. Answers the list, or none
    // when the row is not inserted or its editor exists already (nothing is changed then).
    // The kind sets its window up and ends with CloseOnCell().
    CRowTreeList* AttachEditor();
    // Puts the editor on its cell, hidden.
    void CloseOnCell();
    // The closed editor's value is painted by the list: any change of it, by code too,
    // repaints its row.
    template <class Sender, class Signal>
    void RepaintRowsOn(const Sender* sender, Signal signal)
    {
        QObject::connect(sender, signal, OwnerList(), [this] { RepaintOwnRow(); });
    }

    void RepaintOwnRow();

    // Focus events of the editor.
    void EditorFocusIn() { m_hasFocus = true; }
    // The editor lost the focus for good: an open edit ends and is committed.
    void EndEditOnFocusLoss();
    // Tab and Shift+Tab in an open editor move to the next or previous row; true when the
    // event was such a key and was used.
    bool ForwardTabKey(QEvent* event);
    // Esc in an open editor is the editor's, before any shortcut of the window (the main
    // window's Esc cancels exchanges): it puts back the value the editor opened with and
    // closes it. True when the event was Esc and was used.
    bool TakeEscapeKey(QEvent* event);
    // Puts back the value the editor showed when it opened.
    virtual void RevertEdit() {}

    void OnDrawValue(QPainter& painter, const QRect& cell) override;
    void OnActivate() override;
    void OnResize() override;
    void OnMove() override;
    void OnCommit() override;
    void OnDestroyEditor() override;
    void OnDeselect() override;

    bool m_hasFocus = false;

private:
    bool m_created = false;
    CommitReport m_report;
};
