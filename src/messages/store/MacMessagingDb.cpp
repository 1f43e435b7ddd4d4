#include "messages/store/MacMessagingDb.h"

#include "messages/store/MsgData.h"
#include "messages/store/MsgTableLoader.h"

#include <QFileInfo>
#include <QRegularExpression>

MacMessagingDb::MacMessagingDb(const QDir& folder)
    : dbDir(folder)
    , dbPath(folder.absoluteFilePath(QStringLiteral("chat.db")))
{
}

QDir MacMessagingDb::defaultFolder()
{
    return QDir(QDir::home().absoluteFilePath(QStringLiteral("Library/Messages")));
}

void MacMessagingDb::openCheck()
{
    if (handle)
        return;
    // The user's live Messages database: never opened for writing.
    openReadOnlyThrow(dbPath);
    Sqlite3Cursor c = queryThrow("select * from sqlite_master where type='table'");
    while (c.moveNext()) {
        const QString sql = c.getText("sql");
        tableSql.insert(c.getText("name"), sql);
    }
}

void MacMessagingDb::chats(MsgData& data)
{
    openCheck();
    MsgTableLoader loader(*this, *data.p());
    loader.loadChats();
    loader.loadHandles({});
}

MsgMessageColumns::Dates MacMessagingDb::messageDates() const
{
    // Tables of later systems (those with ck_record_id) keep nanoseconds.
    return tableSql.value(QStringLiteral("message"))
               .contains(QLatin1String("ck_record_id"), Qt::CaseInsensitive)
        ? MsgMessageColumns::Dates::Nanoseconds
        : MsgMessageColumns::Dates::Seconds;
}

void MacMessagingDb::fillMessage(Sqlite3Cursor& c, _MsgMessage& m)
{
    MsgMessageColumns(c).fill(c, m, messageDates());
}

void MacMessagingDb::messages(MsgData& data, qint64 chat)
{
    openCheck();
    chats(data);
    MsgTableLoader loader(*this, *data.p());
    loader.loadMessages(
        chat, tableSql.value(QStringLiteral("message")).contains(QLatin1String("item_type")), messageDates());
    // The attachments of the Messages folder; a path read from the database that leads elsewhere
    // is not followed.
    const QString root = QDir::cleanPath(dbDir.absolutePath()) + QLatin1Char('/');
    QString home = QDir::home().absolutePath();
    if (!home.endsWith('/'))
        home += '/';
    static const QRegularExpression leadHome(QStringLiteral("^~/"));
    loader.loadAttachments(chat, [&](_MsgAttachment& a, bool created) {
        if (!created || a.filename.isEmpty())
            return;
        QString local = a.filename;
        local.replace(leadHome, home);
        local = QDir::cleanPath(local);
        a._path = local.startsWith(root) ? local : QString();
        a.filename = QStringLiteral("~/Library/SMS/Attachments/%1/%2/%3/%4")
                         .arg(a.guid.mid(0, 2).toLower(), a.guid.mid(2, 2).toLower(), a.guid,
                             QFileInfo(a.filename).fileName());
    });
}
