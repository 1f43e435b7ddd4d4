#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

class Sqlite3StmtCache;

// Where a recovery run finds the stored messages its duplicate test reads: the row of each guid,
// and the rows of each date and conversation, as the store's query "guid=? or (date=? and
// ifnull(chat_identifier,'')=?)" would find them through its indexes. Read from the store when a
// run starts, then told of every row the run adds, so no query is needed for a message the store
// has nothing like. Keys are the UTF-8 bytes SQLite compares.
class RecoveredMessageIndex
{
public:
    // Reads every stored message; call inside the run's transaction.
    void load(Sqlite3StmtCache& store);
    void add(qint64 rowid, const QByteArray& guid, qint64 date, const QByteArray& chatIdentifier);
    // The UTF-8 bytes of a conversation's identifier, made once per identifier: the rows of one
    // conversation share them.
    QByteArray chatBytes(const QString& chatIdentifier);
    // The rows the store's query gives, in its order: the row of the guid first, then those of the
    // date and conversation in rowid order.
    QList<qint64> candidates(const QByteArray& guid, qint64 date, const QByteArray& chatIdentifier) const;

private:
    struct DateChat {
        qint64 date;
        QByteArray chat;
        bool operator==(const DateChat& o) const { return date == o.date && chat == o.chat; }
    };
    friend size_t qHash(const DateChat& k, size_t seed) { return qHashMulti(seed, k.date, k.chat); }

    QHash<QByteArray, qint64> m_byGuid;
    QHash<DateChat, QList<qint64>> m_byDateChat;
    QHash<QString, QByteArray> m_chatBytes;
};
