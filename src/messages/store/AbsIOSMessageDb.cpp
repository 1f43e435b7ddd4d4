#include "messages/store/AbsIOSMessageDb.h"

#include "app/sqlite/Sqlite3DB.h"

#include <QSet>

int AbsIOSMessageDb::checkDbType(const QString& path)
{
    QSet<QString> names;
    {
        Sqlite3DB db;
        // Read-only: telling the schema apart must not touch the file.
        db.setForeign(true);
        db.openThrow(path, 1);
        Sqlite3Cursor cursor = db.queryThrow("select * from sqlite_master where type='table'");
        while (cursor.moveNext())
            names.insert(cursor.getText("name"));
    }
    for (const char* t : { "chat", "handle", "chat_handle_join", "message", "chat_message_join" })
        if (!names.contains(QLatin1String(t)))
            return 5;
    return 6;
}

qint64 AbsIOSMessageDb::total()
{
    openCheck();
    Sqlite3Cursor c = queryThrow("select count(*) from message");
    return c.moveNext() ? c.getInt64(0) : 0;
}
