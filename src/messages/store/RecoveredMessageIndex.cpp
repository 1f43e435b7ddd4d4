#include "messages/store/RecoveredMessageIndex.h"

#include "app/sqlite/Sqlite3StmtCache.h"

#include <sqlite3.h>

namespace
{
QByteArray textBytes(sqlite3_stmt* st, int i)
{
    return QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i));
}
} // namespace

void RecoveredMessageIndex::load(Sqlite3StmtCache& store)
{
    m_byGuid.clear();
    m_byDateChat.clear();
    Sqlite3Stmt& st = store.prepared(
        QStringLiteral("select rowid, guid, date, chat_identifier from message order by rowid"));
    sqlite3_stmt* h = st.handle();
    while (st.stepThrow()) {
        const qint64 rowid = sqlite3_column_int64(h, 0);
        // Only a stored text equals a bound text, and only a stored integer the bound date.
        if (sqlite3_column_type(h, 1) == SQLITE_TEXT)
            m_byGuid.insert(textBytes(h, 1), rowid);
        const int chatType = sqlite3_column_type(h, 3);
        if (sqlite3_column_type(h, 2) == SQLITE_INTEGER
            && (chatType == SQLITE_TEXT || chatType == SQLITE_NULL))
            m_byDateChat[{ sqlite3_column_int64(h, 2),
                             chatType == SQLITE_NULL ? QByteArray("") : textBytes(h, 3) }]
                .append(rowid);
    }
    st.reset();
}

void RecoveredMessageIndex::add(
    qint64 rowid, const QByteArray& guid, qint64 date, const QByteArray& chatIdentifier)
{
    m_byGuid.insert(guid, rowid);
    m_byDateChat[{ date, chatIdentifier }].append(rowid);
}

QByteArray RecoveredMessageIndex::chatBytes(const QString& chatIdentifier)
{
    const auto it = m_chatBytes.constFind(chatIdentifier);
    if (it != m_chatBytes.constEnd())
        return *it;
    return *m_chatBytes.insert(chatIdentifier, chatIdentifier.toUtf8());
}

QList<qint64> RecoveredMessageIndex::candidates(
    const QByteArray& guid, qint64 date, const QByteArray& chatIdentifier) const
{
    QList<qint64> rows;
    const qint64 byGuid = m_byGuid.value(guid, 0); // rowids start at 1
    if (byGuid)
        rows.append(byGuid);
    const auto d = m_byDateChat.constFind({ date, chatIdentifier });
    if (d == m_byDateChat.constEnd())
        return rows;
    for (qint64 r : *d) {
        if (r != byGuid)
            rows.append(r);
    }
    return rows;
}
