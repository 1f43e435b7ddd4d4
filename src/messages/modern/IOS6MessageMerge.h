#pragma once

#include "app/sqlite/Sqlite3Row.h"
#include "messages/modern/IOS6RowReferences.h"
#include "messages/store/CountryInfo.h"

#include <QHash>
#include <QList>
#include <QString>

class IOS6MessageDb;
class IOS6WriteTally;
class IProgressSink;
class _MsgAttachment;
class _MsgMessage;

// One entry of the merge order: an old message row of the device database or a chosen message.
struct _MsgInsertData {
    qint64 rowid = 0;
    int date = 0;
    const Sqlite3Row* row = nullptr; // set for an old row
    _MsgMessage* message = nullptr; // set for a chosen message
    bool existing = false;
    bool recovered = false;
    int index = 0; // position in the list before sorting, the last tie-breaker
};

// The merge order: old rows and chosen messages by date, except that entries close in rowid (20)
// and time (120 s) keep their rowid order; on a tie an old row first, then the original order.
// A strict weak order only together with stable sorting and the index tie-break; sort with
// sortInsertData.
bool compareInsertDataLess(const _MsgInsertData& a, const _MsgInsertData& b);
void sortInsertData(QList<_MsgInsertData>& list);

// Builds a new message database for a device backup: a copy of the device's database with its
// chats, handles, joins and attachments kept under their row ids and its old messages and the
// chosen ones inserted in one merged order, so message row ids rise with time. The device's other
// tables keep their rows as the phone keeps them: its triggers, left in the schema, do not act on
// the rebuild (no deletion record of what is there), and rows naming messages, chats, handles or
// attachments by row number follow the renumbering. A database SQLite finds damaged is refused,
// and every row written is checked to be there. Lists the files to write into the backup (the new
// database and the chosen messages' attachment files), and apart the listed attachments whose
// copies are not what the phone wrote, which go in as they are.
class IOS6MessageMerge
{
public:
    // One file to write into the backup.
    struct File {
        QString domain;
        QString sourceFile;
        QString relativePath;
        bool overwrite = false;
        bool useSecondClassKey = true;
    };

    IOS6MessageMerge(const _CountryInfo& country, const QList<_MsgMessage*>& messages, IOS6MessageDb& source);
    ~IOS6MessageMerge();

    // The whole merge; throws std::runtime_error (and removes the work file) on failure. A cancel
    // seen through progress throws int -1 after removing the work file.
    void runThrow(IProgressSink* progress);
    // Removes the work file once the caller has written it into the backup.
    void removeWorkFile();

    QList<File> items;
    // The attachments among items whose files are not what the phone wrote, in the order listed.
    QList<const _MsgAttachment*> notAsWritten;
    int restoredCount = 0;
    int unknownChatCount = 0;
    QString workPath;

private:
    void copySourceThrow();
    // Refuses a source that SQLite finds damaged, naming what it found.
    void checkSourceThrow();
    void rebuildThrow(IOS6MessageDb& work, IProgressSink* progress);
    // The device's chats, handles, their joins and attachments under their row ids, and the maps of
    // its message joins by guid.
    void copyBackThrow(IOS6MessageDb& work, IOS6WriteTally& tally);
    QList<_MsgInsertData> mergeList(IOS6MessageDb& work, const QList<Sqlite3Row>& oldRows);
    void writeOldRow(IOS6MessageDb& work, const Sqlite3Row& row, IOS6WriteTally& tally);
    void writeChosen(IOS6MessageDb& work, _MsgMessage& m);
    qint64 handleInChat(IOS6MessageDb& work, qint64 chatId, const class _MsgHandle* h);
    void listAttachmentFiles();

    _CountryInfo m_country;
    const QList<_MsgMessage*>& m_messages;
    IOS6MessageDb& m_source;
    QList<_MsgMessage*> m_withAttachments;
    QHash<QString, QList<qint64>> m_attachmentsByGuid;
    QHash<QString, QList<qint64>> m_chatsByGuid;
    IOS6RowReferences m_references;
};
