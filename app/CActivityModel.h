#pragma once
// The activity log's lines as a table, newest first (row 0 is the last line added), and
// the filter the log's view shows them through. The lines live here, oldest first, so a
// long log costs one small struct per line and no widget per line.

#include <QAbstractTableModel>
#include <QIcon>
#include <QSortFilterProxyModel>
#include <deque>
#include <vector>

class QStyle;

#include "ActivityEntry.h"

class CActivityModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kTime, kEncoder, kSeverity, kEvent, kColumnCount };

    explicit CActivityModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Adds a line on top; the oldest goes once `limit` lines are held.
    void Add(ActivityEntry entry, size_t limit);
    // Replaces every line (oldest first).
    void Reset(std::vector<ActivityEntry> entries);

    const std::deque<ActivityEntry>& Entries() const { return m_entries; }
    const ActivityEntry& AtRow(int row) const { return m_entries[m_entries.size() - 1 - size_t(row)]; }

    static QString SeverityText(ActivitySeverity severity);
    static QString TimeText(const QDateTime& time);

private:
    const QIcon& SeverityIcon(ActivitySeverity severity) const;

    std::deque<ActivityEntry> m_entries;   // oldest first
    // The style's standard icons, made once per style: the log's rows are painted often.
    mutable const QStyle* m_iconStyle = nullptr;
    mutable QIcon m_severityIcons[3];
};

// Lets through the lines of one encoder (empty: all) of at least one severity.
class CActivityFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit CActivityFilter(CActivityModel& model, QObject* parent = nullptr);

    void SetFilter(const QString& encoder, ActivitySeverity least);
    bool Passes(const ActivityEntry& entry) const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    CActivityModel& m_model;
    QString m_encoder;
    ActivitySeverity m_least = ActivitySeverity::Info;
};
