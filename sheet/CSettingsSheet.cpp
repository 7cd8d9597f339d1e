#include "CSettingsSheet.h"

#include <QLabel>
#include <QMouseEvent>
#include <QResizeEvent>
#include <algorithm>

#include "CRowCombo.h"
#include "CRowEdit.h"
#include "CRowIPAddress.h"
#include "CRowStatic.h"
#include "CRowTreeItem.h"
#include "Gb2312.h"

QString SheetTextFromBytes(const std::string& bytes)
{
    return QString::fromStdString(Utf8FromGb2312(bytes));
}

EditorValue SheetValueFromText(const QString& text)
{
    return EditorValue::FromTyped(text.toStdString());
}

namespace {

// The record's value for a row, of the type the row's editor holds.
RowValue ShownValue(RowValue::Type type, const SheetRow& layout, const EncoderRecord& record)
{
    switch (type) {
    case RowValue::Type::Text:
        return RowValue::Text(SheetTextFromBytes(ShownText(layout, record)));
    case RowValue::Type::Index:
        return RowValue::Index(ShownIndex(layout, record));
    case RowValue::Type::Address:
        return RowValue::Address(ShownAddress(layout, record));
    case RowValue::Type::None:
        break;
    }
    return RowValue();
}

// What an editor holds, as the commit rules take it.
std::optional<EditorValue> EditorValueOf(const RowValue& value)
{
    switch (value.type) {
    case RowValue::Type::Text:
        // Numbers: digits only, the same bytes in every character set.
        return EditorValue::Text(value.text.toStdString());
    case RowValue::Type::Index:
        // No selection (-1) reads as the byte 255.
        return EditorValue::Index(static_cast<uint8_t>(value.index));
    case RowValue::Type::Address:
        return EditorValue::Address(value.address);
    case RowValue::Type::None:
        break;
    }
    return std::nullopt;
}

}   // namespace

CSettingsSheet::CSettingsSheet(QWidget* parent, RowCommandTarget target) : QFrame(parent), m_target(std::move(target))
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    // The sheet's own area is only the gap between the columns: the column divider.
    setCursor(Qt::SplitHCursor);
    m_bar = new CDragBar(this);
    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("SheetNotice"));
    m_notice->setWordWrap(true);
    m_notice->setMargin(4);
    m_notice->setAutoFillBackground(true);
    m_notice->setBackgroundRole(QPalette::ToolTipBase);
    m_notice->setForegroundRole(QPalette::ToolTipText);
    m_notice->hide();
    BuildRows();
}

int CSettingsSheet::BuildRows()
{
    if (!BuildColumn(m_left, ::LeftColumn())) return 0;
    if (!BuildColumn(m_right, ::RightColumn())) return 0;
    m_bar->raise();
    return 1;
}

bool CSettingsSheet::BuildColumn(CRowTree*& column, const SheetColumn& rows)
{
    auto* tree = new CRowTree;
    if (!tree->Create(kColumnStyle, contentsRect(), this, kColumnOptions, kColumnId)) {
        delete tree;
        return false;
    }
    column = tree;
    tree->SetCommandTarget(m_target);

    tree->HoldLayout(true);
    CRowTreeItem* heading = nullptr;
    for (const SheetRow& layout : rows) {
        if (layout.kind == RowKind::Heading) {
            heading = tree->InsertItem(new CRowTreeItem);
            heading->SetLabelText(QString::fromLatin1(layout.label));
            heading->SetHeadingColor(ColorRef{layout.color});
            heading->Expand(true);
            continue;
        }
        CRowTreeItem* row = nullptr;
        switch (layout.kind) {
        case RowKind::Text:
        case RowKind::Numeric: {
            auto* edit = new CRowEdit(layout.controlId);
            row = tree->InsertItem(edit, heading);
            if (layout.label) row->SetLabelText(QString::fromLatin1(layout.label));
            edit->CreateEditItem(layout.kind == RowKind::Numeric ? REO_NUMBER : 0);
            break;
        }
        case RowKind::Combo: {
            auto* combo = new CRowCombo(layout.controlId);
            row = tree->InsertItem(combo, heading);
            if (layout.label) row->SetLabelText(QString::fromLatin1(layout.label));
            combo->CreateComboItem();
            for (uint8_t i = 0; i < layout.options.count; ++i)
                combo->AddString(QString::fromLatin1(layout.options.texts[i]));
            combo->SetCurSel(-1);   // a list takes its first entry; the sheet shows none yet
            break;
        }
        case RowKind::IPAddress: {
            auto* address = new CRowIPAddress(layout.controlId);
            row = tree->InsertItem(address, heading);
            if (layout.label) row->SetLabelText(QString::fromLatin1(layout.label));
            address->CreateIPAddressItem();
            break;
        }
        case RowKind::Static:
        case RowKind::Heading:
            row = tree->InsertItem(new CRowStatic, heading);
            if (layout.label) row->SetLabelText(QString::fromLatin1(layout.label));
            break;
        }
        if (layout.readOnly) row->SetReadOnly(true);
        if (layout.color != kDefaultColor) row->SetBackColor(ColorRef{layout.color});
        if (layout.controlId != 0 || layout.field.type != FieldType::None)
            m_rows.push_back(BuiltRow{&layout, row, {}, {}, row->GetLabelBackColor(), false});
        if (IsSecretRow(layout)) static_cast<CRowEdit*>(row)->SetMasked(true);
    }
    tree->HoldLayout(false);
    return true;
}

void CSettingsSheet::SetCommandTarget(RowCommandTarget target)
{
    m_target = std::move(target);
    for (CRowTree* column : {m_left, m_right})
        if (column) column->SetCommandTarget(m_target);
}

CRowTreeItem* CSettingsSheet::RowFor(int controlId) const
{
    if (controlId == 0) return nullptr;
    for (const BuiltRow& built : m_rows)
        if (built.layout->controlId == controlId) return built.row;
    return nullptr;
}

CRowTreeItem* CSettingsSheet::RowFor(const SheetRow& layoutRow) const
{
    for (const BuiltRow& built : m_rows)
        if (built.layout == &layoutRow) return built.row;
    return nullptr;
}

void CSettingsSheet::Refresh(const EncoderRecord* record)
{
    if (record == nullptr) return;
    m_unread = false;
    // The rows' own setters leave the repaint to this one, which repaints the rows whose
    // value changed and no other: selecting an encoder like the last one, or reading it
    // again, repaints little or nothing. Nothing a refresh changes shows in the scroll bar.
    QRect dirty[2];
    for (BuiltRow& built : m_rows) {
        const RowValue before = built.row->GetValue();
        ShowRow(built, *record);
        if (SameValue(before, built.row->GetValue())) continue;
        CRowTree* columns[2] = {m_left, m_right};
        for (int i = 0; i < 2; ++i)
            if (columns[i]) dirty[i] |= columns[i]->RowBand(built.row);
    }
    CRowTree* columns[2] = {m_left, m_right};
    for (int i = 0; i < 2; ++i) {
        if (!columns[i] || dirty[i].isEmpty()) continue;
        CRowTreeList* list = columns[i]->GetList();
        list->update(dirty[i] & list->ClientRect());
    }
}

void CSettingsSheet::ShowUnread(const EncoderRecord& record)
{
    m_unread = true;
    for (BuiltRow& built : m_rows) {
        // The address is the one thing known before a read: it is where the read goes.
        if (built.layout->field == RECORD_FIELD(ipAddr)) {
            ShowRow(built, record);
            continue;
        }
        built.shownBytes.clear();
        built.shownText.clear();
        switch (built.row->ValueType()) {
        case RowValue::Type::Text:
            built.row->SetValue(RowValue::Text(QString()));
            break;
        case RowValue::Type::Index:
            built.row->SetValue(RowValue::Index(-1));
            break;
        case RowValue::Type::Address:
            built.row->SetValue(RowValue());   // an address row given none shows nothing
            break;
        case RowValue::Type::None:
            break;
        }
    }
    for (CRowTree* column : {m_left, m_right})
        if (column) column->Repaint();
}

bool CSettingsSheet::SameValue(const RowValue& a, const RowValue& b)
{
    return a.type == b.type && a.text == b.text && a.index == b.index && a.address == b.address;
}

void CSettingsSheet::ShowRow(BuiltRow& built, const EncoderRecord& record)
{
    const SheetRow& layout = *built.layout;
    const RowValue value = ShownValue(built.row->ValueType(), layout, record);
    if (layout.kind == RowKind::Text) {
        built.shownBytes = ShownText(layout, record);
        built.shownText = value.text;
    }
    built.row->SetValue(value);
}

std::optional<EditorValue> CSettingsSheet::ReadEditor(int controlId) const
{
    for (const BuiltRow& built : m_rows) {
        if (controlId == 0 || built.layout->controlId != controlId || !built.row->HasEditor()) continue;
        const RowValue value = built.row->GetValue();
        if (built.layout->kind == RowKind::Text && value.type == RowValue::Type::Text) {
            // A row left as it was shown hands back the record's bytes exactly, bytes that
            // are not GB2312 included: the encoder gets its own text back untouched.
            if (value.text == built.shownText) return EditorValue::Text(built.shownBytes);
            return SheetValueFromText(value.text);
        }
        return EditorValueOf(value);
    }
    return std::nullopt;
}

QRect CSettingsSheet::ColumnArea() const
{
    QRect client = contentsRect();
    if (m_notice && !m_notice->isHidden()) {
        const int height = m_notice->heightForWidth(client.width());
        m_notice->setGeometry(client.left(), client.top(), client.width(), std::max(height, 0));
        client.setTop(client.top() + std::max(height, 0));
    }
    return client;
}

void CSettingsSheet::SetNotice(const QString& text)
{
    if (text == m_notice->text() && m_notice->isHidden() == text.isEmpty()) return;
    m_notice->setText(text);
    m_notice->setHidden(text.isEmpty());
    PlaceColumns();
}

QString CSettingsSheet::Notice() const
{
    return m_notice->isHidden() ? QString() : m_notice->text();
}

bool CSettingsSheet::IsSecretRow(const SheetRow& row)
{
    return row.field == RECORD_FIELD(password) || row.field == RECORD_FIELD(newPassword);
}

void CSettingsSheet::SetSecretsShown(bool shown)
{
    m_secretsShown = shown;
    for (const BuiltRow& built : m_rows)
        if (IsSecretRow(*built.layout)) static_cast<CRowEdit*>(built.row)->SetMasked(!shown);
}

void CSettingsSheet::MarkRows(const std::vector<int>& controlIds)
{
    // The palette's own selection colour, faint under the label and full in the stripe:
    // the label's text colour stays readable on it in a light and a dark palette.
    QColor stripe = palette().color(QPalette::Active, QPalette::Highlight);
    // A dark palette's selection colour is dark too: the stripe is lightened to stand out.
    if (palette().color(QPalette::Active, QPalette::Base).lightnessF() < 0.5f) stripe = stripe.lighter(170);
    bool changed = false;
    for (BuiltRow& built : m_rows) {
        const int id = built.layout->controlId;
        const bool mark = id != 0 && std::find(controlIds.begin(), controlIds.end(), id) != controlIds.end();
        if (mark == built.marked) continue;
        built.marked = mark;
        changed = true;
        if (mark) {
            const QColor base = built.plainLabelBack;
            QColor tint;
            tint.setRgbF(base.redF() * 0.75f + stripe.redF() * 0.25f, base.greenF() * 0.75f + stripe.greenF() * 0.25f,
                         base.blueF() * 0.75f + stripe.blueF() * 0.25f);
            built.row->SetLabelBackColor(tint);
            built.row->SetEmphasis(true, stripe);
        } else {
            built.row->SetLabelBackColor(built.plainLabelBack);
            built.row->SetEmphasis(false);
        }
    }
    if (!changed) return;
    for (CRowTree* column : {m_left, m_right})
        if (column) column->Repaint();
}

bool CSettingsSheet::IsRowMarked(int controlId) const
{
    for (const BuiltRow& built : m_rows)
        if (controlId != 0 && built.layout->controlId == controlId) return built.marked;
    return false;
}

void CSettingsSheet::PlaceColumns()
{
    const QRect client = ColumnArea();
    const int width = client.width(), height = client.height();
    // Each column keeps kColumnMargin from the divider; the right one also from the edge.
    if (m_left) m_left->setGeometry(client.left(), client.top(), std::max(0, m_columnDivider - kColumnMargin), height);
    if (m_right)
        m_right->setGeometry(client.left() + m_columnDivider + kColumnMargin, client.top(),
                             std::max(0, width - m_columnDivider - 2 * kColumnMargin), height);
}

void CSettingsSheet::SetColumnDivider(int x)
{
    m_columnDivider = std::max(0, x);
    PlaceColumns();
    update();
}

void CSettingsSheet::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    const QRect client = contentsRect();
    if (client.width() <= 0 || client.height() <= 0 || m_left == nullptr) return;
    PlaceColumns();
    for (CRowTree* column : {m_left, m_right})
        if (column) column->SetDividerPos(kLabelDivider);
}

void CSettingsSheet::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        // Qt keeps the mouse with the sheet from the press to the release.
        m_dragging = true;
        update();
    }
    QFrame::mousePressEvent(event);
}

void CSettingsSheet::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging) {
        // The divider follows the pointer without limit; the columns move on release.
        m_columnDivider = event->position().toPoint().x() - contentsRect().left();
        const QRect client = contentsRect();
        m_bar->ShowAt(QRect(client.left() + m_columnDivider - kBarWidth / 2, client.top(), kBarWidth, client.height()));
        m_barDrawn = true;
    }
    QFrame::mouseMoveEvent(event);
}

void CSettingsSheet::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragging && event->button() == Qt::LeftButton) {
        m_barDrawn = false;
        m_dragging = false;
        m_bar->hide();
        update();
        PlaceColumns();
    }
    QFrame::mouseReleaseEvent(event);
}

void CSettingsSheet::SetEditable(bool editable)
{
    if (editable == m_editable) return;
    m_editable = editable;
    for (const BuiltRow& built : m_rows) {
        if (built.layout->controlId == 0 || built.layout->readOnly) continue;
        built.row->SetReadOnly(!editable);
    }
    update();
    for (QWidget* child : findChildren<QWidget*>()) child->update();
}

void CSettingsSheet::CommitOpenEditor()
{
    for (const BuiltRow& built : m_rows) {
        if (built.layout->controlId != 0 && built.row->IsActivated() && built.row->EditorHasFocus())
            built.row->CommitChanges();
    }
}
