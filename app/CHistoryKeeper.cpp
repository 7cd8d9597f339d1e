#include "CHistoryKeeper.h"

#include <QDir>
#include <QStandardPaths>

#include "Presets.h"

QString CHistoryKeeper::DefaultFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return data.isEmpty() ? QString() : QDir(data).filePath(QStringLiteral("history"));
}

void CHistoryKeeper::SetFolder(const QString& folder)
{
    if (folder == m_folder) return;
    m_folder = folder;
    m_history.reset();
    m_failureTold = false;
}

ConfigurationHistory* CHistoryKeeper::Open(QString& error)
{
    if (!m_history && Enabled()) {
        std::string reason;
        m_history = ConfigurationHistory::Open(QDir::toNativeSeparators(m_folder).toStdString(), true, reason);
        if (!m_history) error = QString::fromStdString(reason);
    }
    return m_history.get();
}

std::optional<QString> CHistoryKeeper::Record(const std::string& dotted, const EncoderRecord& record,
                                              const QString& title)
{
    if (!Enabled()) return std::nullopt;
    QString error;
    RecordOutcome outcome;
    if (ConfigurationHistory* history = Open(error)) {
        const std::string heading = title.toStdString();
        outcome = history->Record({{dotted, SaveSettingsDocument(record)}}, [&](size_t, size_t) { return heading; });
        error = QString::fromStdString(outcome.error);
        // A repository that failed once is opened afresh next time: it may have been mended.
        if (!outcome.ok) m_history.reset();
    }
    if (outcome.ok) {
        m_failureTold = false;
        return std::nullopt;
    }
    if (m_failureTold) return std::nullopt;
    m_failureTold = true;
    return QStringLiteral("Configuration history in %1 not kept: %2").arg(m_folder, error);
}

bool CHistoryKeeper::Versions(const std::string& dotted, std::vector<EncoderVersion>& versions, QString& error)
{
    versions.clear();
    if (!Enabled()) {
        error = QStringLiteral("No folder is set for the configuration history.");
        return false;
    }
    ConfigurationHistory* history = Open(error);
    std::string reason;
    if (!history || !history->Versions(dotted, versions, reason)) {
        if (error.isEmpty()) error = QString::fromStdString(reason);
        return false;
    }
    return true;
}
