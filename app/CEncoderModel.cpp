#include "CEncoderModel.h"

#include <QBrush>
#include <QApplication>
#include <QColor>
#include <algorithm>

#include "AppIds.h"
#include "Pictures.h"
#include "RowTreeColors.h"

namespace {

constexpr const char* kHeadings[] = {"Address",   "State",    "Activity", "P1 Output", "P1 Input",
                                     "P2 Output", "P2 Input", "Temp.",    "Last Read", "Pending"};
static_assert(sizeof kHeadings / sizeof kHeadings[0] == kDeviceColumnCount, "one heading per column");

const QColor kAlarmColour(192, 0, 0);

QString ProgramText(const DeviceItemView& view, bool (DeviceStatusReading::*has)(int) const, int program,
                    const char* present, const char* missing)
{
    if (!view.status || !view.status->Answered()) return QString();
    return QString::fromLatin1(((*view.status).*has)(program) ? present : missing);
}

int Temperature(const DeviceItemView& view)
{
    return view.status && view.status->HasTemperature() ? view.status->Temperature() : 0;
}

QString StateText(const DeviceItemView& view)
{
    const bool online = view.state == DeviceItemView::State::Online;
    if (view.InFlight()) return QStringLiteral("in flight");
    if (online && view.status && view.status->Busy()) return QStringLiteral("busy");
    if (online && view.status && view.status->KeyboardLocked()) return QStringLiteral("keyboard");
    if (online) return QStringLiteral("online");
    if (view.state == DeviceItemView::State::Offline) return QStringLiteral("offline");
    return QString();
}

}   // namespace

bool DeviceItemView::operator==(const DeviceItemView& other) const
{
    return state == other.state && status == other.status && overTemperature == other.overTemperature &&
           lastRead == other.lastRead && pendingEdits == other.pendingEdits && activity == other.activity &&
           outcome == other.outcome && outcomeFailed == other.outcomeFailed;
}

CEncoderModel::CEncoderModel(QObject* parent) : QAbstractTableModel(parent)
{}

int CEncoderModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CEncoderModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kDeviceColumnCount;
}

Qt::ItemFlags CEncoderModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant CEncoderModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kDeviceColumnCount || role != Qt::DisplayRole)
        return QVariant();
    QString text = QString::fromLatin1(kHeadings[section]);
    if (section == kColumnAddress && !m_filterNote.isEmpty()) text += QStringLiteral(" [%1]").arg(m_filterNote);
    return text;
}

QVariant CEncoderModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return QVariant();
    const Row& row = m_rows[size_t(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        if (column == kColumnActivity) return ActivityText(row);
        if (role == Qt::ToolTipRole && column == kColumnLastRead)
            return row.view.lastRead.isValid() ? row.view.lastRead.toString(Qt::ISODate) : QString();
        if (role == Qt::ToolTipRole) return QVariant();
        return Cell(row, column);
    case Qt::DecorationRole:
        if (column == kColumnAddress) return DeviceImages().value(row.image);
        return QVariant();
    case Qt::ForegroundRole: {
        // The alarm's red, deepened or lightened until it reads on the list's background
        // (a dark palette's near-black included).
        const bool alarm = (column == kColumnActivity && !row.view.InFlight() && row.view.outcomeFailed) ||
                           (column == kColumnTemperature && row.view.overTemperature);
        if (!alarm) return QVariant();
        return QBrush(ReadableOn(kAlarmColour, QApplication::palette().color(QPalette::Active, QPalette::Base)));
    }
    case SortRole:
        switch (column) {
        case kColumnAddress:
            return uint(row.address);
        case kColumnTemperature:
            return Temperature(row.view);
        case kColumnLastRead:
            return row.view.lastRead.isValid() ? row.view.lastRead.toMSecsSinceEpoch() : qint64(0);
        case kColumnPending:
            return row.view.pendingEdits;
        case kColumnActivity:
            return row.view.InFlight() ? row.view.activity : row.view.outcome;
        default:
            return Cell(row, column);
        }
    case AddressRole:
        return uint(row.address);
    case ImageRole:
        return row.image;
    default:
        return QVariant();
    }
}

QString CEncoderModel::ActivityText(const Row& row) const
{
    if (!row.view.InFlight()) return row.view.outcome;
    const int seconds = m_countdown ? m_countdown(row.address) : 0;
    return QStringLiteral("%1, %2 s left").arg(row.view.activity).arg(std::max(0, seconds));
}

const QString& CEncoderModel::Cell(const Row& row, int column) const
{
    if (!row.cells) {
        const DeviceItemView& view = row.view;
        QString* cells = new QString[kDeviceColumnCount];
        row.cells.reset(cells);
        cells[kColumnAddress] = row.text;
        cells[kColumnState] = StateText(view);
        cells[kColumnProg1Output] = ProgramText(view, &DeviceStatusReading::HasOutput, 1, "running", "none");
        cells[kColumnProg1Input] = ProgramText(view, &DeviceStatusReading::HasInput, 1, "present", "none");
        cells[kColumnProg2Output] = ProgramText(view, &DeviceStatusReading::HasOutput, 2, "running", "none");
        cells[kColumnProg2Input] = ProgramText(view, &DeviceStatusReading::HasInput, 2, "present", "none");
        const int temperature = Temperature(view);
        cells[kColumnTemperature] = temperature != 0 ? QStringLiteral("%1 \u00B0C").arg(temperature) : QString();
        cells[kColumnLastRead] =
            view.lastRead.isValid() ? view.lastRead.toString(QStringLiteral("HH:mm:ss")) : QString();
        cells[kColumnPending] = QString::number(view.pendingEdits);
    }
    return row.cells[size_t(column)];
}

void CEncoderModel::Append(const std::vector<NewRow>& rows)
{
    std::vector<const NewRow*> fresh;
    fresh.reserve(rows.size());
    QHash<const EncoderRecord*, bool> batch;
    for (const NewRow& row : rows) {
        if (!row.record || m_rowOf.contains(row.record) || batch.contains(row.record)) continue;
        batch.insert(row.record, true);
        fresh.push_back(&row);
    }
    if (fresh.empty()) return;
    const int first = int(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + int(fresh.size()) - 1);
    m_rows.reserve(m_rows.size() + fresh.size());
    m_rowOf.reserve(qsizetype(m_rows.size() + fresh.size()));
    m_rowOfAddress.reserve(qsizetype(m_rows.size() + fresh.size()));
    for (const NewRow* given : fresh) {
        m_rowOf.insert(given->record, int(m_rows.size()));
        m_rowOfAddress.insert(given->record->ipAddr, int(m_rows.size()));
        Row& row = m_rows.emplace_back();
        row.record = given->record;
        row.text = given->text;
        row.address = given->record->ipAddr;
        row.image = IMAGE_OFFLINE;
    }
    endInsertRows();
}

void CEncoderModel::Remove(const std::vector<const EncoderRecord*>& records)
{
    std::vector<int> doomed;
    doomed.reserve(records.size());
    for (const EncoderRecord* record : records)
        if (const int row = RowOf(record); row >= 0) doomed.push_back(row);
    if (doomed.empty()) return;
    std::sort(doomed.begin(), doomed.end());
    doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
    // From the end, so that the rows of the runs still to go keep their numbers.
    for (size_t end = doomed.size(); end > 0;) {
        size_t begin = end - 1;
        while (begin > 0 && doomed[begin - 1] == doomed[begin] - 1) --begin;
        const int first = doomed[begin];
        const int last = doomed[end - 1];
        beginRemoveRows(QModelIndex(), first, last);
        for (int row = first; row <= last; ++row) {
            if (m_rows[size_t(row)].view.InFlight()) --m_inFlight;
            m_rowOf.remove(m_rows[size_t(row)].record);
            m_rowOfAddress.remove(m_rows[size_t(row)].address);
        }
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        endRemoveRows();
        end = begin;
    }
    Reindex(doomed.front());
}

void CEncoderModel::Clear()
{
    beginResetModel();
    m_rows.clear();
    m_rowOf.clear();
    m_rowOfAddress.clear();
    m_inFlight = 0;
    endResetModel();
}

void CEncoderModel::Reindex(int from)
{
    for (size_t row = size_t(from); row < m_rows.size(); ++row) {
        m_rowOf[m_rows[row].record] = int(row);
        m_rowOfAddress[m_rows[row].address] = int(row);
    }
}

int CEncoderModel::RowOf(const EncoderRecord* record) const
{
    return m_rowOf.value(record, -1);
}

int CEncoderModel::RowOfAddress(uint32_t address) const
{
    return m_rowOfAddress.value(address, -1);
}

EncoderRecord* CEncoderModel::RecordAt(int row) const
{
    return row >= 0 && size_t(row) < m_rows.size() ? m_rows[size_t(row)].record : nullptr;
}

uint32_t CEncoderModel::AddressAt(int row) const
{
    return row >= 0 && size_t(row) < m_rows.size() ? m_rows[size_t(row)].address : 0;
}

QString CEncoderModel::TextAt(int row) const
{
    return row >= 0 && size_t(row) < m_rows.size() ? m_rows[size_t(row)].text : QString();
}

void CEncoderModel::SetView(const EncoderRecord* record, const DeviceItemView& view)
{
    const int index = RowOf(record);
    if (index < 0) return;
    Row& row = m_rows[size_t(index)];
    if (row.view == view) return;
    m_inFlight += int(view.InFlight()) - int(row.view.InFlight());
    row.view = view;
    row.cells.reset();
    emit dataChanged(this->index(index, 0), this->index(index, kDeviceColumnCount - 1));
}

const DeviceItemView& CEncoderModel::View(int row) const
{
    static const DeviceItemView kNone;
    return row >= 0 && size_t(row) < m_rows.size() ? m_rows[size_t(row)].view : kNone;
}

void CEncoderModel::SetImage(const EncoderRecord* record, int image)
{
    const int index = RowOf(record);
    if (index < 0 || m_rows[size_t(index)].image == image) return;
    m_rows[size_t(index)].image = image;
    const QModelIndex cell = this->index(index, kColumnAddress);
    emit dataChanged(cell, cell, {Qt::DecorationRole, ImageRole});
}

int CEncoderModel::Image(int row) const
{
    return row >= 0 && size_t(row) < m_rows.size() ? m_rows[size_t(row)].image : -1;
}

void CEncoderModel::SetFilterNote(const QString& filter)
{
    if (filter == m_filterNote) return;
    m_filterNote = filter;
    emit headerDataChanged(Qt::Horizontal, kColumnAddress, kColumnAddress);
}
