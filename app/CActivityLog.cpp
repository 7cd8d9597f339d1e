#include "CActivityLog.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTextStream>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum LogColumn { kLogTime, kLogEncoder, kLogSeverity, kLogText, kLogColumnCount };

constexpr int kEntryRole = Qt::UserRole;   // index of the line's entry in the log

QIcon SeverityIcon(CActivityLog::Severity severity)
{
    QStyle* style = QApplication::style();
    switch (severity) {
    case CActivityLog::Severity::Info:
        return style->standardIcon(QStyle::SP_MessageBoxInformation);
    case CActivityLog::Severity::Warning:
        return style->standardIcon(QStyle::SP_MessageBoxWarning);
    case CActivityLog::Severity::Error:
        return style->standardIcon(QStyle::SP_MessageBoxCritical);
    }
    return QIcon();
}

QString TimeText(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

}   // namespace

QString CsvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')) &&
        !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString CActivityLog::SeverityText(Severity severity)
{
    switch (severity) {
    case Severity::Info:
        return QStringLiteral("Info");
    case Severity::Warning:
        return QStringLiteral("Warning");
    case Severity::Error:
        return QStringLiteral("Error");
    }
    return QString();
}

CActivityLog::CActivityLog(QWidget* parent)
    : QWidget(parent), m_list(new QTreeWidget(this)), m_encoderFilter(new QComboBox(this)),
      m_severityFilter(new QComboBox(this)), m_export(new QPushButton(QStringLiteral("Export CSV..."), this))
{
    setObjectName(QStringLiteral("ActivityLog"));
    m_list->setObjectName(QStringLiteral("ActivityLogList"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setColumnCount(kLogColumnCount);
    m_list->setHeaderLabels(
        {QStringLiteral("Time"), QStringLiteral("Encoder"), QStringLiteral("Severity"), QStringLiteral("Event")});
    m_list->setColumnWidth(kLogTime, fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00.000")) + 16);
    m_list->setColumnWidth(kLogEncoder, fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) + 16);
    m_list->setColumnWidth(kLogSeverity, fontMetrics().horizontalAdvance(QStringLiteral("Warning")) + 40);

    m_encoderFilter->setObjectName(QStringLiteral("ActivityEncoderFilter"));
    m_encoderFilter->addItem(QStringLiteral("All encoders"), QString());
    m_encoderFilter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_encoderFilter->setStatusTip(QStringLiteral("Show the lines of one encoder only"));
    m_severityFilter->setObjectName(QStringLiteral("ActivitySeverityFilter"));
    m_severityFilter->addItem(QStringLiteral("All lines"), int(Severity::Info));
    m_severityFilter->addItem(QStringLiteral("Warnings and errors"), int(Severity::Warning));
    m_severityFilter->addItem(QStringLiteral("Errors only"), int(Severity::Error));
    m_severityFilter->setStatusTip(QStringLiteral("Show only lines of at least this severity"));
    m_export->setStatusTip(QStringLiteral("Save the lines shown as a CSV file"));

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 2, 4, 2);
    bar->addWidget(new QLabel(QStringLiteral("Encoder:"), this));
    bar->addWidget(m_encoderFilter);
    bar->addSpacing(12);
    bar->addWidget(new QLabel(QStringLiteral("Show:"), this));
    bar->addWidget(m_severityFilter);
    bar->addStretch(1);
    bar->addWidget(m_export);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(bar);
    layout->addWidget(m_list, 1);

    connect(m_encoderFilter, &QComboBox::currentIndexChanged, this, &CActivityLog::ApplyFilters);
    connect(m_severityFilter, &QComboBox::currentIndexChanged, this, &CActivityLog::ApplyFilters);
    connect(m_export, &QPushButton::clicked, this, &CActivityLog::exportRequested);
}

QTreeWidgetItem* CActivityLog::MakeLine(const Entry& entry) const
{
    auto* line = new QTreeWidgetItem;
    line->setText(kLogTime, TimeText(entry.time));
    line->setText(kLogEncoder, entry.encoder);
    line->setIcon(kLogSeverity, SeverityIcon(entry.severity));
    line->setText(kLogSeverity, SeverityText(entry.severity));
    line->setText(kLogText, entry.text);
    line->setToolTip(kLogText, entry.text);
    return line;
}

void CActivityLog::AddEntry(const QDateTime& time, const QString& encoder, Severity severity, const QString& text)
{
    if (int(m_entries.size()) >= kMaxEntries) {
        m_entries.pop_front();
        delete m_list->takeTopLevelItem(m_list->topLevelItemCount() - 1);   // the oldest line is at the bottom
    }
    m_entries.push_back({time, encoder, severity, text});
    NoteEncoder(encoder);
    // The newest line goes on top, as in the message pane.
    QTreeWidgetItem* line = MakeLine(m_entries.back());
    m_list->insertTopLevelItem(0, line);
    line->setHidden(!Passes(m_entries.back()));
}

void CActivityLog::Clear()
{
    m_entries.clear();
    m_list->clear();
}

void CActivityLog::NoteEncoder(const QString& encoder)
{
    if (encoder.isEmpty() || m_noted.contains(encoder)) return;
    m_noted.insert(encoder);
    m_encoderFilter->addItem(encoder, encoder);
}

bool CActivityLog::Passes(const Entry& entry) const
{
    const QString encoder = m_encoderFilter->currentData().toString();
    if (!encoder.isEmpty() && entry.encoder != encoder) return false;
    return int(entry.severity) >= m_severityFilter->currentData().toInt();
}

void CActivityLog::ApplyFilters()
{
    const int count = m_list->topLevelItemCount();
    for (int i = 0; i < count; ++i)   // line i shows entry count - 1 - i
        m_list->topLevelItem(i)->setHidden(!Passes(m_entries[size_t(count - 1 - i)]));
}

std::vector<CActivityLog::Entry> CActivityLog::ShownEntries() const
{
    std::vector<Entry> shown;
    for (const Entry& entry : m_entries)
        if (Passes(entry)) shown.push_back(entry);
    return shown;
}

void CActivityLog::SetEncoderFilter(const QString& encoder)
{
    const int index = m_encoderFilter->findData(encoder);
    m_encoderFilter->setCurrentIndex(index < 0 ? 0 : index);
}

void CActivityLog::SetSeverityFilter(Severity least)
{
    m_severityFilter->setCurrentIndex(m_severityFilter->findData(int(least)));
}

bool CActivityLog::ExportCsv(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QTextStream out(&file);
    out.setEncoding(QStringConverter::Utf8);
    out << "Time,Encoder,Severity,Event\r\n";
    for (const Entry& entry : ShownEntries())
        out << CsvField(entry.time.toString(Qt::ISODateWithMs)) << ',' << CsvField(entry.encoder) << ','
            << CsvField(SeverityText(entry.severity)) << ',' << CsvField(entry.text) << "\r\n";
    out.flush();
    return file.error() == QFile::NoError && out.status() == QTextStream::Ok;
}
