#include "CActivityModel.h"

#include <QApplication>
#include <QIcon>
#include <QStyle>

QString CActivityModel::SeverityText(ActivitySeverity severity)
{
    switch (severity) {
    case ActivitySeverity::Info:
        return QStringLiteral("Info");
    case ActivitySeverity::Warning:
        return QStringLiteral("Warning");
    case ActivitySeverity::Error:
        return QStringLiteral("Error");
    }
    return QString();
}

QString CActivityModel::TimeText(const QDateTime& time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

CActivityModel::CActivityModel(QObject* parent) : QAbstractTableModel(parent)
{}

int CActivityModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int CActivityModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

const QIcon& CActivityModel::SeverityIcon(ActivitySeverity severity) const
{
    QStyle* style = QApplication::style();
    if (style != m_iconStyle) {
        m_iconStyle = style;
        m_severityIcons[0] = style->standardIcon(QStyle::SP_MessageBoxInformation);
        m_severityIcons[1] = style->standardIcon(QStyle::SP_MessageBoxWarning);
        m_severityIcons[2] = style->standardIcon(QStyle::SP_MessageBoxCritical);
    }
    switch (severity) {
    case ActivitySeverity::Info:
        return m_severityIcons[0];
    case ActivitySeverity::Warning:
        return m_severityIcons[1];
    case ActivitySeverity::Error:
        return m_severityIcons[2];
    }
    static const QIcon kNone;
    return kNone;
}

QVariant CActivityModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_entries.size())) return QVariant();
    const ActivityEntry& entry = AtRow(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case kTime:
            return TimeText(entry.time);
        case kEncoder:
            return entry.encoder;
        case kSeverity:
            return SeverityText(entry.severity);
        case kEvent:
            return entry.text;
        }
        break;
    case Qt::ToolTipRole:
        if (index.column() == kEvent) return entry.text;
        break;
    case Qt::DecorationRole:
        if (index.column() == kSeverity) return SeverityIcon(entry.severity);
        break;
    }
    return QVariant();
}

QVariant CActivityModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
    switch (section) {
    case kTime:
        return QStringLiteral("Time");
    case kEncoder:
        return QStringLiteral("Encoder");
    case kSeverity:
        return QStringLiteral("Severity");
    case kEvent:
        return QStringLiteral("Event");
    }
    return QVariant();
}

void CActivityModel::Add(ActivityEntry entry, size_t limit)
{
    if (limit > 0 && m_entries.size() >= limit) {
        const int last = int(m_entries.size()) - 1;   // the oldest line is at the bottom
        beginRemoveRows(QModelIndex(), last, last);
        m_entries.pop_front();
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), 0, 0);
    m_entries.push_back(std::move(entry));
    endInsertRows();
}

void CActivityModel::Reset(std::vector<ActivityEntry> entries)
{
    beginResetModel();
    m_entries.assign(std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
    endResetModel();
}

CActivityFilter::CActivityFilter(CActivityModel& model, QObject* parent) : QSortFilterProxyModel(parent), m_model(model)
{
    setSourceModel(&model);
}

void CActivityFilter::SetFilter(const QString& encoder, ActivitySeverity least)
{
    if (encoder == m_encoder && least == m_least) return;
    m_encoder = encoder;
    m_least = least;
    invalidateFilter();
}

bool CActivityFilter::Passes(const ActivityEntry& entry) const
{
    if (!m_encoder.isEmpty() && entry.encoder != m_encoder) return false;
    return int(entry.severity) >= int(m_least);
}

bool CActivityFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    return Passes(m_model.AtRow(sourceRow));
}
