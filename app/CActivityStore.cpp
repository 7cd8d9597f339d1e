#include "CActivityStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>
#include <algorithm>

namespace {

// Another window holding the database waits the log's writes this long at most, then the
// log goes on in memory: the window's thread is never held longer.
constexpr int kBusyTimeoutMs = 250;

QString ReasonOf(const QSqlError& error)
{
    const QString text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("unknown error") : text;
}

}   // namespace

CActivityStore::CActivityStore() = default;

CActivityStore::~CActivityStore()
{
    Close();
}

QString CActivityStore::DefaultPath()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return data.isEmpty() ? QString() : QDir(data).filePath(QStringLiteral("activity.sqlite"));
}

void CActivityStore::Close()
{
    if (m_connection.isEmpty()) return;
    {
        QSqlDatabase database = QSqlDatabase::database(m_connection, false);
        database.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}

bool CActivityStore::Fail(const QString& what, const QString& reason, QString& error)
{
    error = QStringLiteral("%1 %2: %3").arg(what, QDir::toNativeSeparators(m_path), reason);
    return false;
}

bool CActivityStore::Open(const QString& path, int limit, std::vector<ActivityEntry>& lines, QString& error)
{
    Close();
    // The connection is closed only once every query on it has gone.
    if (OpenAndRead(path, limit, lines, error)) return true;
    lines.clear();
    Close();
    return false;
}

bool CActivityStore::Append(const std::vector<ActivityEntry>& lines, int limit, QString& error)
{
    if (m_connection.isEmpty()) return false;
    if (WriteLines(lines, limit, error)) return true;
    Close();
    return false;
}

bool CActivityStore::OpenAndRead(const QString& path, int limit, std::vector<ActivityEntry>& lines, QString& error)
{
    m_path = path;
    lines.clear();
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return Fail(QStringLiteral("cannot open"), QStringLiteral("Qt's SQLite driver is not installed"), error);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) return Fail(QStringLiteral("cannot open"), QStringLiteral("no folder"), error);

    static int serial = 0;
    m_connection = QStringLiteral("korvane-activity-%1").arg(++serial);
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    database.setDatabaseName(path);
    database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!database.open()) return Fail(QStringLiteral("cannot open"), ReasonOf(database.lastError()), error);

    QSqlQuery query(database);
    // A file that is not a database, or a damaged one, fails here, before anything is read.
    for (const char* statement : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL",
                                  "CREATE TABLE IF NOT EXISTS activity (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                  "time_ms INTEGER NOT NULL, encoder TEXT NOT NULL, severity INTEGER NOT NULL, "
                                  "event TEXT NOT NULL)"}) {
        if (!query.exec(QString::fromLatin1(statement)))
            return Fail(QStringLiteral("cannot use"), ReasonOf(query.lastError()), error);
    }
    query.prepare(
        QStringLiteral("SELECT time_ms, encoder, severity, event FROM activity ORDER BY id DESC LIMIT :limit"));
    query.bindValue(QStringLiteral(":limit"), limit);
    query.setForwardOnly(true);
    if (!query.exec()) return Fail(QStringLiteral("cannot read"), ReasonOf(query.lastError()), error);
    while (query.next()) {
        ActivityEntry line;
        // In UTC: the local time of 100,000 lines would ask the system's time zone as often;
        // the log shows each line in local time when it is drawn.
        line.time = QDateTime::fromMSecsSinceEpoch(query.value(0).toLongLong(), Qt::UTC);
        line.encoder = query.value(1).toString();
        line.severity = ActivitySeverity(std::clamp(query.value(2).toInt(), 0, 2));
        line.text = query.value(3).toString();
        lines.push_back(std::move(line));
    }
    if (query.lastError().isValid()) {
        return Fail(QStringLiteral("cannot read"), ReasonOf(query.lastError()), error);
    }
    std::reverse(lines.begin(), lines.end());
    return true;
}

bool CActivityStore::WriteLines(const std::vector<ActivityEntry>& lines, int limit, QString& error)
{
    if (lines.empty()) return true;
    QSqlDatabase database = QSqlDatabase::database(m_connection, false);
    if (!database.transaction()) return Fail(QStringLiteral("cannot write"), ReasonOf(database.lastError()), error);
    QSqlQuery insert(database);
    insert.prepare(QStringLiteral(
        "INSERT INTO activity (time_ms, encoder, severity, event) VALUES (:time, :encoder, :severity, :event)"));
    for (const ActivityEntry& line : lines) {
        insert.bindValue(QStringLiteral(":time"), line.time.toMSecsSinceEpoch());
        insert.bindValue(QStringLiteral(":encoder"), line.encoder.isNull() ? QStringLiteral("") : line.encoder);
        insert.bindValue(QStringLiteral(":severity"), int(line.severity));
        insert.bindValue(QStringLiteral(":event"), line.text.isNull() ? QStringLiteral("") : line.text);
        if (!insert.exec()) {
            const QString reason = ReasonOf(insert.lastError());
            database.rollback();
            return Fail(QStringLiteral("cannot write"), reason, error);
        }
    }
    // Ids only grow, so the newest `limit` lines are those within `limit` of the last one.
    QSqlQuery prune(database);
    prune.prepare(QStringLiteral("DELETE FROM activity WHERE id <= (SELECT MAX(id) FROM activity) - :limit"));
    prune.bindValue(QStringLiteral(":limit"), limit);
    if (!prune.exec()) {
        const QString reason = ReasonOf(prune.lastError());
        database.rollback();
        return Fail(QStringLiteral("cannot write"), reason, error);
    }
    if (!database.commit()) {
        const QString reason = ReasonOf(database.lastError());
        database.rollback();
        return Fail(QStringLiteral("cannot write"), reason, error);
    }
    return true;
}
