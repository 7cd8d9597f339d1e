#pragma once
// The activity log: one time-stamped line per exchange outcome and per alarm raised or
// cleared, with the encoder's address and a severity icon. Unlike the message pane it is
// kept across selection changes, and across restarts in the per-user database
// (CActivityStore). The operator filters it by encoder and severity and exports what it
// shows as CSV.

#include <QSet>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <memory>
#include <vector>

#include "ActivityEntry.h"

class CActivityFilter;
class CActivityModel;
class CActivityStore;
class QComboBox;
class QPushButton;
class QTreeView;

class CActivityLog : public QWidget {
    Q_OBJECT
public:
    using Severity = ActivitySeverity;
    using Entry = ActivityEntry;

    // The oldest lines go once the log holds this many, in the window and in the database,
    // so that a long watch cannot grow either without bound.
    static constexpr int kMaxEntries = 100000;
    // New lines reach the database at most this long after they were added (and when the
    // window closes), in one transaction.
    static constexpr int kStoreEveryMs = 1000;

    explicit CActivityLog(QWidget* parent = nullptr);
    ~CActivityLog() override;

    // Keeps the log in the database at `path` from now on, after taking the lines it holds
    // (in front of any added before). A database that cannot be used is said once, in the
    // log itself, and the log goes on in memory. False then, and for an empty path (not
    // kept, by choice).
    bool OpenStore(const QString& path);
    // Writes the lines not yet in the database.
    void FlushStore();
    bool Stored() const;

    void AddEntry(const QDateTime& time, const QString& encoder, Severity severity, const QString& text);
    // A line about what happens now.
    void Log(const QString& encoder, Severity severity, const QString& text);

    const std::deque<Entry>& Entries() const;
    // The entries the filters let through, oldest first.
    std::vector<Entry> ShownEntries() const;

    // Filters: an empty encoder shows every encoder; the severity is the least one shown.
    void SetEncoderFilter(const QString& encoder);
    void SetSeverityFilter(Severity least);

    // Writes the shown entries as CSV (a heading line, then one line per entry, oldest
    // first, RFC 4180 quoting); false when the file cannot be written.
    bool ExportCsv(const QString& path) const;

    QTreeView* View() const { return m_view; }
    QComboBox* EncoderFilter() const { return m_encoderFilter; }
    QComboBox* SeverityFilter() const { return m_severityFilter; }
    QPushButton* ExportButton() const { return m_export; }

    static QString SeverityText(Severity severity);

signals:
    // The operator asked to export; the frame asks for the file and calls ExportCsv.
    void exportRequested();

private:
    void ApplyFilters();
    void NoteEncoder(const QString& encoder);
    void NoteEncoders();

    CActivityModel* m_model;
    CActivityFilter* m_filter;
    QTreeView* m_view;
    QComboBox* m_encoderFilter;
    QSet<QString> m_noted;   // the encoders the filter offers: a line never searches the combo
    QComboBox* m_severityFilter;
    QPushButton* m_export;
    std::unique_ptr<CActivityStore> m_store;
    std::vector<Entry> m_unstored;   // added since the last write to the database
    QTimer m_storeTimer;
};

// One CSV field, quoted when it holds a comma, a quote or a line end.
QString CsvField(const QString& text);
