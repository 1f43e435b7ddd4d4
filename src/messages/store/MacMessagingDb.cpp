#include "messages/store/MacMessagingDb.h"

#include "messages/store/MsgData.h"
#include "messages/store/MsgPath.h"
#include "messages/store/MsgTableLoader.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace
{
// The local file of an attachment's stored name ("~/..." or absolute). A path read from the
// database is followed only inside the Messages folder, or when it names an existing regular file
// inside the user's home folder (attachments saved or dragged elsewhere); links leading out of
// the home folder and anything else are not followed.
QString macAttachmentPath(const QString& filename, const QString& home, const QString& root)
{
    static const QRegularExpression leadHome(QStringLiteral("^~/"));
    QString local = filename;
    local.replace(leadHome, home);
    local = QDir::cleanPath(local);
    if (local.startsWith(root))
        return msgSourcePath(QDir(root), local);
    if (!local.startsWith(home))
        return QString();
    const QFileInfo info(local);
    if (!info.isFile())
        return QString();
    const QString canonicalHome = QFileInfo(home).canonicalFilePath() + QLatin1Char('/');
    return info.canonicalFilePath().startsWith(canonicalHome) ? local : QString();
}
} // namespace

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
    setForeign(true);
    openThrow(dbPath, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    tableSql = tableTextsThrow({ QStringLiteral("message") });
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
    const QString root = QDir::cleanPath(dbDir.absolutePath()) + QLatin1Char('/');
    QString home = QDir::home().absolutePath();
    if (!home.endsWith('/'))
        home += '/';
    loader.loadAttachments(chat, [&](_MsgAttachment& a, bool created) {
        if (!created || a.filename.isEmpty())
            return;
        a._path = macAttachmentPath(a.filename, home, root);
        a.filename = QStringLiteral("~/Library/SMS/Attachments/%1/%2/%3/%4")
                         .arg(a.guid.mid(0, 2).toLower(), a.guid.mid(2, 2).toLower(), a.guid,
                             QFileInfo(a.filename).fileName());
    });
}
