#pragma once

#include "messages/store/AbsMessageDb.h"
#include "messages/store/MsgMessageColumns.h"

#include <QDir>
#include <QHash>
#include <QString>

class Sqlite3Cursor;
class _MsgMessage;

// Reader of the Mac's own Messages database "chat.db" in a folder (normally
// "Library/Messages" under the home folder). It only reads: the file is opened read-only.
class MacMessagingDb : public AbsMessageDb
{
public:
    explicit MacMessagingDb(const QDir& folder);
    ~MacMessagingDb() override = default;

    // The folder of the user's Messages database: "Library/Messages" under $HOME.
    static QDir defaultFolder();

    void openCheck() override;
    void chats(MsgData& data) override;
    void messages(MsgData& data, qint64 chat) override;
    // Copies the current message row into message; dates become seconds since 2001.
    void fillMessage(Sqlite3Cursor& row, _MsgMessage& message);

    const QString& path() const { return dbPath; }

private:
    // The date form of the message table as last opened.
    MsgMessageColumns::Dates messageDates() const;

    QDir dbDir;
    QString dbPath;
    QHash<QString, QString> tableSql;
};
