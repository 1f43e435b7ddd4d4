#include "messages/modern/IOS6WriteTally.h"

#include "app/sqlite/Sqlite3DB.h"

#include <algorithm>
#include <stdexcept>

namespace
{

// The two columns of each join table, in the order join() takes them.
QString joinColumns(const QString& table)
{
    if (table == QLatin1String("chat_handle_join"))
        return QStringLiteral("chat_id, handle_id");
    if (table == QLatin1String("chat_message_join"))
        return QStringLiteral("chat_id, message_id");
    return QStringLiteral("message_id, attachment_id");
}

qint64 countOf(Sqlite3DB& db, const QString& sql)
{
    Sqlite3Cursor c = db.queryThrow(sql);
    return c.moveNext() ? c.getInt64(0) : 0;
}

[[noreturn]] void missingThrow(const QString& dbName, const QString& table, qint64 there, qint64 written)
{
    throw std::runtime_error(
        QString("Cannot merge the messages into %1: rows written into its table %2 are not there (%3 of %4).")
            .arg(dbName, table)
            .arg(there)
            .arg(written)
            .toStdString());
}

} // namespace

void IOS6WriteTally::row(const QString& table)
{
    ++m_rows[table];
}

void IOS6WriteTally::join(const QString& table, qint64 first, qint64 second)
{
    m_joins[table].emplace_back(first, second);
}

void IOS6WriteTally::checkThrow(Sqlite3DB& db, const QString& dbName)
{
    // Only the rebuild's writes put rows in these tables: a count below what it wrote is a row lost.
    for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it) {
        const qint64 there = countOf(db, QStringLiteral("select count(*) from main.\"%1\"").arg(it.key()));
        if (there != it.value())
            missingThrow(dbName, it.key(), there, it.value());
    }
    for (auto it = m_joins.begin(); it != m_joins.end(); ++it) {
        std::vector<std::pair<qint64, qint64>>& pairs = it.value();
        std::sort(pairs.begin(), pairs.end());
        const qint64 written = std::unique(pairs.begin(), pairs.end()) - pairs.begin();
        const qint64 there = countOf(db,
            QStringLiteral("select count(*) from (select distinct %1 from main.\"%2\")")
                .arg(joinColumns(it.key()), it.key()));
        if (there != written)
            missingThrow(dbName, it.key(), there, written);
    }
}
