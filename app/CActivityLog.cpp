#include "CActivityLog.h"

#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTextStream>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "CActivityModel.h"
#include "CActivityStore.h"

namespace {

// Encoders in the filter go in the order of their addresses (10.0.0.9 before 10.0.0.10);
// anything that is not an address comes after them, in text order.
std::pair<quint64, QString> FilterKey(const QString& encoder)
{
    const QStringList parts = encoder.split(QLatin1Char('.'));
    quint64 address = 0;
    bool valid = parts.size() == 4;
    for (const QString& part : parts) {
        bool ok = false;
        const uint number = part.toUInt(&ok);
        valid = valid && ok && number <= 255;
        address = (address << 8) | (number & 0xFF);
    }
    return valid ? std::pair{address, QString()} : std::pair{quint64(1) << 32, encoder};
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
    return CActivityModel::SeverityText(severity);
}

CActivityLog::CActivityLog(QWidget* parent)
    : QWidget(parent), m_model(new CActivityModel(this)), m_filter(new CActivityFilter(*m_model, this)),
      m_view(new QTreeView(this)), m_encoderFilter(new QComboBox(this)), m_severityFilter(new QComboBox(this)),
      m_export(new QPushButton(QStringLiteral("Export CSV..."), this))
{
    setObjectName(QStringLiteral("ActivityLog"));
    m_view->setObjectName(QStringLiteral("ActivityLogList"));
    m_view->setModel(m_filter);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setColumnWidth(CActivityModel::kTime,
                           fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00.000")) + 16);
    m_view->setColumnWidth(CActivityModel::kEncoder,
                           fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) + 16);
    m_view->setColumnWidth(CActivityModel::kSeverity, fontMetrics().horizontalAdvance(QStringLiteral("Warning")) + 40);

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
    layout->addWidget(m_view, 1);

    m_storeTimer.setSingleShot(true);
    m_storeTimer.setInterval(kStoreEveryMs);
    connect(&m_storeTimer, &QTimer::timeout, this, &CActivityLog::FlushStore);
    connect(m_encoderFilter, &QComboBox::currentIndexChanged, this, &CActivityLog::ApplyFilters);
    connect(m_severityFilter, &QComboBox::currentIndexChanged, this, &CActivityLog::ApplyFilters);
    connect(m_export, &QPushButton::clicked, this, &CActivityLog::exportRequested);
}

CActivityLog::~CActivityLog()
{
    FlushStore();
}

const std::deque<CActivityLog::Entry>& CActivityLog::Entries() const
{
    return m_model->Entries();
}

bool CActivityLog::Stored() const
{
    return m_store && m_store->IsOpen();
}

bool CActivityLog::OpenStore(const QString& path)
{
    FlushStore();
    // The lines of this session before a first database follow what it kept; a database
    // opened in place of another starts from its own lines.
    const bool carryOver = !m_store;
    m_store = std::make_unique<CActivityStore>();
    std::vector<Entry> kept;
    QString error;
    if (path.isEmpty()) {
        m_store.reset();   // the operator chose not to keep it
        return false;
    }
    if (m_store->Open(path, kMaxEntries, kept, error)) {
        // What this session logged before the database was open follows what it kept.
        if (carryOver) m_unstored.assign(Entries().begin(), Entries().end());
        kept.insert(kept.end(), m_unstored.begin(), m_unstored.end());
        if (kept.size() > size_t(kMaxEntries)) kept.erase(kept.begin(), kept.end() - kMaxEntries);
        m_model->Reset(std::move(kept));
        NoteEncoders();
        FlushStore();
        if (Stored()) return true;
        return false;   // FlushStore said why
    }
    m_store.reset();
    AddEntry(QDateTime::currentDateTime(), QString(), Severity::Warning,
             QStringLiteral("The activity log is not kept after the window closes: %1").arg(error));
    return false;
}

void CActivityLog::FlushStore()
{
    m_storeTimer.stop();
    if (!Stored() || m_unstored.empty()) return;
    QString error;
    std::vector<Entry> lines = std::move(m_unstored);
    m_unstored.clear();
    if (m_store->Append(lines, kMaxEntries, error)) return;
    m_store.reset();
    AddEntry(QDateTime::currentDateTime(), QString(), Severity::Warning,
             QStringLiteral("The activity log is not kept after the window closes: %1").arg(error));
}

void CActivityLog::Log(const QString& encoder, Severity severity, const QString& text)
{
    AddEntry(QDateTime::currentDateTime(), encoder, severity, text);
}

void CActivityLog::AddEntry(const QDateTime& time, const QString& encoder, Severity severity, const QString& text)
{
    Entry entry{time, encoder, severity, text};
    if (Stored()) {
        m_unstored.push_back(entry);
        if (!m_storeTimer.isActive()) m_storeTimer.start();
    }
    m_model->Add(std::move(entry), kMaxEntries);
    NoteEncoder(encoder);
}

void CActivityLog::NoteEncoder(const QString& encoder)
{
    if (encoder.isEmpty() || m_noted.contains(encoder)) return;
    m_noted.insert(encoder);
    // Item 0 is "All encoders"; the others are in address order.
    const auto key = FilterKey(encoder);
    int low = 1, high = m_encoderFilter->count();
    while (low < high) {
        const int middle = (low + high) / 2;
        if (FilterKey(m_encoderFilter->itemData(middle).toString()) < key)
            low = middle + 1;
        else
            high = middle;
    }
    m_encoderFilter->insertItem(low, encoder, encoder);
}

void CActivityLog::NoteEncoders()
{
    std::set<std::pair<std::pair<quint64, QString>, QString>> encoders;
    for (int i = 1; i < m_encoderFilter->count(); ++i) {
        const QString encoder = m_encoderFilter->itemData(i).toString();
        encoders.insert({FilterKey(encoder), encoder});
    }
    for (const Entry& entry : Entries())
        if (!entry.encoder.isEmpty()) encoders.insert({FilterKey(entry.encoder), entry.encoder});
    const QString current = m_encoderFilter->currentData().toString();
    const QSignalBlocker quiet(m_encoderFilter);
    while (m_encoderFilter->count() > 1) m_encoderFilter->removeItem(1);
    m_noted.clear();
    for (const auto& [key, encoder] : encoders) {
        m_encoderFilter->addItem(encoder, encoder);
        m_noted.insert(encoder);
    }
    const int index = m_encoderFilter->findData(current);
    m_encoderFilter->setCurrentIndex(index < 0 ? 0 : index);
}

void CActivityLog::ApplyFilters()
{
    m_filter->SetFilter(m_encoderFilter->currentData().toString(), Severity(m_severityFilter->currentData().toInt()));
}

std::vector<CActivityLog::Entry> CActivityLog::ShownEntries() const
{
    std::vector<Entry> shown;
    for (const Entry& entry : Entries())
        if (m_filter->Passes(entry)) shown.push_back(entry);
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
        out << CsvField(entry.time.toLocalTime().toString(Qt::ISODateWithMs)) << ',' << CsvField(entry.encoder) << ','
            << CsvField(SeverityText(entry.severity)) << ',' << CsvField(entry.text) << "\r\n";
    out.flush();
    return file.error() == QFile::NoError && out.status() == QTextStream::Ok;
}
