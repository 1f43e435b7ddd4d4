#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <array>

class Sqlite3DB;

// The columns of a message database's other tables that name its messages, chats, handles or
// attachments by row number: those named message_id, chat_id, handle_id or attachment_id, and those
// declared as references to the row ids of those tables (such as the phone's record of recently
// deleted messages), and the phone's record of its last failed message (kvtable). A rebuild that
// numbers those rows anew tells each row's old and new number; then every such column is made to
// name the same row again, and a row naming one that is not among them (gone) is deleted, as the
// phone deletes it with its message.
class IOS6RowReferences
{
public:
    enum Kind { Message, Chat, Handle, Attachment, KindCount };

    // Finds the columns in db's schema, leaving out the tables named in rewritten (lower case),
    // which the rebuild writes itself.
    void findThrow(Sqlite3DB& db, const QSet<QString>& rewritten);
    bool isEmpty() const { return m_columns.isEmpty(); }
    // The row of kind numbered from is numbered to after the rebuild (kept only where a column
    // names rows of that kind).
    void moved(Kind kind, qint64 from, qint64 to);
    // Makes every column found follow its rows; run inside the rebuild's transaction, with db's
    // triggers not acting (the phone's own would take a deleted row's message with it).
    void applyThrow(Sqlite3DB& db);

private:
    struct Column {
        QString table;
        QString name;
        Kind kind;
    };
    QList<Column> m_columns;
    std::array<bool, KindCount> m_named {};
    std::array<QHash<qint64, qint64>, KindCount> m_moved;
    bool m_lastFailed = false; // the file has a kvtable

    void followThrow(Sqlite3DB& db, const Column& column, qint64 shift);
    void followLastFailedThrow(Sqlite3DB& db);
};
