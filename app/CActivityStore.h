#pragma once
// Where the activity log is kept across restarts: an SQLite database in the per-user data
// folder (one table, one row per line). The window never waits on it for long and never
// depends on it: a database that cannot be opened, is corrupt or is held by another
// window makes the store fail once, with the reason, and the log goes on in memory.

#include <QString>
#include <vector>

#include "ActivityEntry.h"

class CActivityStore {
public:
    CActivityStore();
    ~CActivityStore();
    CActivityStore(const CActivityStore&) = delete;
    CActivityStore& operator=(const CActivityStore&) = delete;

    // The database in the per-user data folder.
    static QString DefaultPath();

    // Opens (or makes) the database at `path` and reads its newest `limit` lines, oldest
    // first, into `lines`. False with `error` set when it cannot be used.
    bool Open(const QString& path, int limit, std::vector<ActivityEntry>& lines, QString& error);
    bool IsOpen() const { return !m_connection.isEmpty(); }
    QString Path() const { return m_path; }

    // Writes the lines in one transaction and drops the oldest past `limit`. False with
    // `error` set when it failed; the store is closed then.
    bool Append(const std::vector<ActivityEntry>& lines, int limit, QString& error);

    void Close();

private:
    bool OpenAndRead(const QString& path, int limit, std::vector<ActivityEntry>& lines, QString& error);
    bool WriteLines(const std::vector<ActivityEntry>& lines, int limit, QString& error);
    bool Fail(const QString& what, const QString& reason, QString& error);

    QString m_connection;   // the Qt SQL connection's name; empty when closed
    QString m_path;
};
