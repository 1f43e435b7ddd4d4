#pragma once

#include <QHash>
#include <QString>
#include <utility>
#include <vector>

class Sqlite3DB;

// What a rebuild of a message database wrote, to check at its end that every row is there: a row
// the database left out without an error (a constraint declared to ignore conflicts) or took out for
// another (one declared to replace) would otherwise go unnoticed. The tables were empty before.
class IOS6WriteTally
{
public:
    // One row written into a table whose rows each have a number of their own.
    void row(const QString& table);
    // One join written into chat_handle_join, chat_message_join or message_attachment_join, by
    // its two row numbers in the table's order; the same join written again counts once.
    void join(const QString& table, qint64 first, qint64 second);
    // Throws, naming dbName, the table and its count, where db holds fewer rows than were written.
    void checkThrow(Sqlite3DB& db, const QString& dbName);

private:
    QHash<QString, qint64> m_rows;
    QHash<QString, std::vector<std::pair<qint64, qint64>>> m_joins;
};
