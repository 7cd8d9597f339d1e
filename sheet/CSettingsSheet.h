#pragma once
// The settings sheet: the right-hand pane that shows one encoder's settings as labelled
// rows in two row-tree columns, with a column divider the operator drags between them.
// Its rows come from the sheet layout table; it holds no setting itself, it only shows
// the record it was last refreshed from and hands edits on to the command target.

#include <QFrame>
#include <QString>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "CDragBar.h"
#include "CRowTree.h"
#include "CommitRules.h"
#include "EncoderRecord.h"
#include "SheetLayout.h"

class CRowTreeItem;
class QLabel;

class CSettingsSheet : public QFrame {
    Q_OBJECT
public:
    static constexpr int kColumnDividerStart = 380;
    static constexpr int kLabelDivider = 200;   // label/value divider of both columns
    static constexpr int kBarWidth = 4;
    static constexpr int kColumnMargin = 1;                // pixels between a column and the divider
    static constexpr uint32_t kColumnStyle = 0x16000000;   // visible, clipping siblings and children
    static constexpr uint32_t kColumnOptions = RTS_SHADEMARGIN | RTS_HEADINGCOLORS;
    static constexpr int kColumnId = kUnaddressedId;

    // Builds both columns at once; finished edits go to `target` (the main window's
    // command handler) with the row's control ID.
    explicit CSettingsSheet(QWidget* parent = nullptr, RowCommandTarget target = {});

    // Makes both columns over the client area and fills them from the layout table.
    // 1 when both were built; 0 when a column could not be made (nothing is built after it).
    int BuildRows();

    // Shows `record` in every row that shows a field; a null record changes nothing.
    // Setting the editors this way is not an edit: no command is sent.
    void Refresh(const EncoderRecord* record);
    // Shows an encoder whose configuration was never read: its address, and every other
    // value cell blank (a zero-filled record is nothing the encoder said). The next
    // Refresh shows a record again.
    void ShowUnread(const EncoderRecord& record);
    bool ShowsUnread() const { return m_unread; }

    // Sets apart the rows of `controlIds` (values that differ from the encoder's: a bold
    // label and a coloured stripe and label cell, taken from the palette so that they read
    // in light and dark palettes alike); every other row shows plainly.
    void MarkRows(const std::vector<int>& controlIds);
    bool IsRowMarked(int controlId) const;

    // A line above the columns that says why the rows take no edit; empty hides it.
    void SetNotice(const QString& text);
    QString Notice() const;

    // The rows with an editor take edits, or show the record and take none (while its
    // encoder has an exchange in flight, or while no encoder is chosen).
    void SetEditable(bool editable);
    bool Editable() const { return m_editable; }
    // A value still being typed in a row's editor goes into the record now (a write given
    // straight from a field must send it).
    void CommitOpenEditor();

    // The password rows show a mask unless shown on demand.
    void SetSecretsShown(bool shown);
    bool SecretsShown() const { return m_secretsShown; }
    static bool IsSecretRow(const SheetRow& row);

    // The value the editor of the row `controlId` holds, as its row reports it; none for
    // IDs without an editor.
    std::optional<EditorValue> ReadEditor(int controlId) const;

    void SetCommandTarget(RowCommandTarget target);

    // The row built for a layout row with a control ID, or a static data row; null if none.
    CRowTreeItem* RowFor(int controlId) const;
    CRowTreeItem* RowFor(const SheetRow& layoutRow) const;
    CRowTree* LeftColumn() const { return m_left; }
    CRowTree* RightColumn() const { return m_right; }
    // The column divider, in the sheet's client coordinates (inside its sunken edge).
    int ColumnDivider() const { return m_columnDivider; }
    // Moves the column divider (as a drag would), e.g. to where the operator left it.
    void SetColumnDivider(int x);
    bool IsDragging() const { return m_dragging; }
    // The bar that follows the pointer while the column divider is dragged.
    const CDragBar* DividerBar() const { return m_bar; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // A built row and the layout row it came from, in table order.
    static bool SameValue(const RowValue& a, const RowValue& b);
    struct BuiltRow {
        const SheetRow* layout;
        CRowTreeItem* row;
        // A text row's field as last shown: the record's bytes and the text made of them.
        std::string shownBytes;
        QString shownText;
        QColor plainLabelBack;   // the label cell's colour when not marked
        bool marked = false;
    };

    bool BuildColumn(CRowTree*& column, const SheetColumn& rows);
    void PlaceColumns();
    // The client area below the notice, where the columns lie.
    QRect ColumnArea() const;
    void ShowRow(BuiltRow& built, const EncoderRecord& record);

    CRowTree* m_left = nullptr;
    CRowTree* m_right = nullptr;
    std::vector<BuiltRow> m_rows;
    RowCommandTarget m_target;
    CDragBar* m_bar = nullptr;
    int m_columnDivider = kColumnDividerStart;
    bool m_dragging = false;
    bool m_barDrawn = false;
    bool m_editable = true;
    bool m_secretsShown = false;
    bool m_unread = false;
    QLabel* m_notice = nullptr;
};

// Record texts are the encoder's GB2312 bytes, whatever the platform's own code page; the
// rows show them as text, bytes that are not GB2312 as replacement marks.
QString SheetTextFromBytes(const std::string& bytes);
// A typed text as the value a text row commits: its GB2312 bytes, or the first character
// GB2312 lacks.
EditorValue SheetValueFromText(const QString& text);
