#pragma once
// The activity log: one time-stamped line per exchange outcome and per alarm raised or
// cleared, with the encoder's address and a severity icon. Unlike the message pane it is
// kept across selection changes. The operator filters it by encoder and severity and
// exports what it shows as CSV.

#include <QDateTime>
#include <QSet>
#include <QWidget>
#include <deque>
#include <vector>

class QComboBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CActivityLog : public QWidget {
    Q_OBJECT
public:
    enum class Severity { Info, Warning, Error };

    struct Entry {
        QDateTime time;
        QString encoder;   // dotted address; empty for lines about no single encoder
        Severity severity = Severity::Info;
        QString text;
    };

    // The oldest lines go once the log holds this many, so that a long watch cannot
    // grow it without bound.
    static constexpr int kMaxEntries = 20000;

    explicit CActivityLog(QWidget* parent = nullptr);

    void AddEntry(const QDateTime& time, const QString& encoder, Severity severity, const QString& text);
    void Clear();

    const std::deque<Entry>& Entries() const { return m_entries; }
    // The entries the filters let through, oldest first.
    std::vector<Entry> ShownEntries() const;

    // Filters: an empty encoder shows every encoder; the severity is the least one shown.
    void SetEncoderFilter(const QString& encoder);
    void SetSeverityFilter(Severity least);

    // Writes the shown entries as CSV (a heading line, then one line per entry, oldest
    // first, RFC 4180 quoting); false when the file cannot be written.
    bool ExportCsv(const QString& path) const;

    QTreeWidget* List() const { return m_list; }
    QComboBox* EncoderFilter() const { return m_encoderFilter; }
    QComboBox* SeverityFilter() const { return m_severityFilter; }
    QPushButton* ExportButton() const { return m_export; }

    static QString SeverityText(Severity severity);

signals:
    // The operator asked to export; the frame asks for the file and calls ExportCsv.
    void exportRequested();

private:
    bool Passes(const Entry& entry) const;
    void ApplyFilters();
    void NoteEncoder(const QString& encoder);
    QTreeWidgetItem* MakeLine(const Entry& entry) const;

    std::deque<Entry> m_entries;   // oldest first
    QTreeWidget* m_list;
    QComboBox* m_encoderFilter;
    QSet<QString> m_noted;   // the encoders the filter offers: a line never searches the combo
    QComboBox* m_severityFilter;
    QPushButton* m_export;
};

// One CSV field, quoted when it holds a comma, a quote or a line end.
QString CsvField(const QString& text);
