#pragma once

#include "RowTreeGeometry.h"
#include "RowValue.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

class CRowTree;
class CRowTreeList;
class QKeyEvent;
class QPainter;
class QWidget;

// One row of a CRowTree: a label cell left of the divider and a value cell right of it.
// A plain CRowTreeItem carries no value and serves as a heading (a child of the root).
// The editor kinds (CRowEdit, CRowCombo, CRowIPAddress) are a Qt widget first and a row
// second, one object. Rows are created with new and, once inserted, belong to the tree,
// which deletes them.
class CRowTreeItem {
public:
    CRowTreeItem();
    virtual ~CRowTreeItem();
    CRowTreeItem(const CRowTreeItem&) = delete;
    CRowTreeItem& operator=(const CRowTreeItem&) = delete;

    void SetLabelText(const QString& text);
    const QString& GetLabelText() const { return m_label; }
    void SetDescription(const QString& text) { m_description = text; }
    const QString& GetDescription() const { return m_description; }

    // Stores the flag (for this row, telling its descendants through OnExpand); does
    // nothing before the row is inserted. Does not repaint.
    void Expand(bool expand);
    bool IsExpanded() const { return m_expanded; }
    // A read-only row is never activated and shows its value in grey.
    void SetReadOnly(bool readOnly);
    bool IsReadOnly() const { return m_readOnly; }

    void SetBackColor(ColorRef color) { SetBackColor(ColorFromRef(color)); }
    void SetBackColor(const QColor& color);
    void SetBackColor(Qt::GlobalColor color) { SetBackColor(QColor(color)); }
    void SetHeadingColor(ColorRef color) { SetHeadingColor(ColorFromRef(color)); }
    void SetHeadingColor(const QColor& color);
    void SetHeadingColor(Qt::GlobalColor color) { SetHeadingColor(QColor(color)); }
    void SetValueTextColor(const QColor& color) { m_valueTextColor = color; }
    void SetLabelTextColor(const QColor& color) { m_labelTextColor = color; }
    void SetLabelBackColor(const QColor& color) { m_labelBackColor = color; }
    QColor GetBackColor() const { return m_valueBackColor; }
    QColor GetHeadingColor() const { return m_headingColor; }
    QColor GetValueTextColor() const { return m_valueTextColor; }
    // The colour the value is drawn in: its own (grey when read-only or disabled), made
    // readable on the cell's background whatever the palette.
    QColor ShownValueColor() const;
    QColor GetLabelTextColor() const { return m_labelTextColor; }
    QColor GetLabelBackColor() const { return m_labelBackColor; }
    // A row set apart from its neighbours (a value not yet written, say): its label in the
    // bold font, and a stripe of `color` down the label cell's left edge (an invalid colour
    // draws none). Does not repaint.
    void SetEmphasis(bool bold, const QColor& stripe = QColor());
    bool IsLabelBold() const { return m_labelBold; }
    QColor GetStripeColor() const { return m_stripeColor; }

    // The editing lifecycle: Select shows or hides the selection (hiding the editor when
    // deselected), Activate opens the editor, CommitChanges closes it and reports the edit
    // once per activation.
    void Select(bool select);
    void Activate();
    void CommitChanges();
    bool IsSelected() const { return m_selected; }
    bool IsActivated() const { return m_activated; }
    bool IsCommitted() const { return m_committed; }

    bool IsHeading() const;
    bool HasChildren() const { return m_firstChild != nullptr; }
    CRowTree* GetOwner() const { return m_owner; }
    CRowTreeItem* GetParent() const { return m_parent; }
    CRowTreeItem* GetFirstChild() const { return m_firstChild; }
    CRowTreeItem* GetNextSibling() const { return m_nextSibling; }
    CRowTreeItem* GetNextPainted() const { return m_nextPainted; }
    // 1, 2, 3 ... in insertion order within one tree; 0 before insertion.
    int GetSequence() const { return m_sequence; }
    // The ID sent to the command target when an edit is done; 0 sends nothing.
    int GetCommandId() const { return m_commandId; }

    // Geometry from the last layout of the row list.
    int GetX() const { return m_x; }   // indent
    int GetY() const { return m_y; }   // top in content coordinates
    int GetHeight() const { return m_height; }
    QRect GetValueRect() const { return m_valueRect; }         // row-list client coordinates
    QRect GetExpandBox() const { return m_expandBox; }         // content coordinates; empty without children
    QRect GetLabelTextBox() const { return m_labelTextBox; }   // the label text as drawn

    // What the value cell shows while the editor is closed.
    virtual QString GetValueText() const { return QString(); }
    // The type of value the row's kind holds (None for a heading), and the value itself.
    virtual RowValue::Type ValueType() const { return RowValue::Type::None; }
    virtual RowValue GetValue() const { return RowValue(); }
    // Sets the value by code, of the type GetValue answers: nothing is reported, the value
    // cell shows it at the list's next paint. A value a row cannot hold changes nothing.
    virtual void SetValue(const RowValue& value);
    // Whether the row's editor widget has been created.
    virtual bool HasEditor() const { return false; }
    // Whether the row's open editor holds the keyboard focus (the cell then shows the
    // live editor, not the painted value).
    virtual bool EditorHasFocus() const { return false; }

protected:
    // Hooks called by the tree; the base versions do nothing.
    virtual void OnDrawValue(QPainter& painter, const QRect& cell);
    virtual void OnActivate();
    virtual void OnResize();
    virtual void OnMove();
    virtual void OnCommit();
    virtual void OnDestroyEditor();
    virtual void OnDeselect();
    virtual void OnSelect();
    virtual void OnExpand(bool expand);

    // The row list the editors live on; none before insertion.
    CRowTreeList* OwnerList() const;
    // Reports the edit to the tree's command target when the command ID is not 0.
    void SendCommand() const;
    // Draws text into the value cell the way every kind does: normal font, from the
    // cell's left, vertically centred, in the given colour.
    void DrawValueText(QPainter& painter, const QRect& cell, const QString& text, const QColor& color) const;
    // The value text colour, or grey text when the row is read-only or the tree disabled.
    QColor EffectiveValueColor(const QColor& normal) const;
    // The value's own colour before the read-only grey (an editor may differ when closed).
    virtual QColor ValueColor() const { return GetValueTextColor(); }
    // Hides an editor; when it held the focus, the row list takes it over, so that the
    // keyboard keeps working in the tree.
    void HideEditor(QWidget* editor) const;
    // Tab or Shift+Tab in an open editor: the editor hands the focus to the row list (which
    // ends the edit) and the list moves to the next or previous row. False when not open.
    bool ForwardTabToList(QKeyEvent* event) const;
    // Puts an editor exactly on the row's value cell.
    void PlaceOnValueCell(QWidget* editor) const;

    int m_commandId = 0;

private:
    friend class CRowTree;
    friend class CRowTreeLayout;
    friend class CRowTreeList;
    friend class CRowTreePainter;

    // Whether the label has anything to draw (an empty or all-space label draws nothing).
    bool HasShownLabel() const;

    QString m_label;
    QString m_description;
    int m_sequence = 0;
    CRowTreeItem* m_parent = nullptr;
    CRowTreeItem* m_nextSibling = nullptr;
    CRowTreeItem* m_firstChild = nullptr;
    CRowTreeItem* m_nextPainted = nullptr;
    QRect m_expandBox;
    CRowTree* m_owner = nullptr;
    int m_x = 0;
    int m_y = 0;
    QRect m_valueRect;
    bool m_committed = false;
    int m_height = RowTreeMetrics::kRowHeight;
    QRect m_labelTextBox;
    // The label as last fitted into its cell: a paint measures it again only when the
    // label, the cell width or the font changed (measuring text dominates a paint).
    QString m_fittedLabel;
    int m_fittedWidth = -1;
    QFont m_fittedFont;
    QString m_fittedText;
    QSize m_fittedExtent;
    bool m_selected = false;
    bool m_expanded = false;
    bool m_activated = false;
    bool m_readOnly = false;
    QColor m_valueBackColor;
    QColor m_valueTextColor;
    QColor m_headingColor;
    QColor m_labelTextColor;
    QColor m_labelBackColor;
    QColor m_stripeColor;
    bool m_labelBold = false;
};
