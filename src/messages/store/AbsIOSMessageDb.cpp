#include "messages/store/AbsIOSMessageDb.h"

#include "app/sqlite/Sqlite3DB.h"
#include "app/sqlite/Sqlite3Stmt.h"

#include <QHash>

int AbsIOSMessageDb::checkDbType(const QString& path)
{
    QHash<QString, QString> names; // type by name
    {
        Sqlite3DB db;
        // Read-only: telling the schema apart must not touch the file.
        db.setForeign(true);
        db.openThrow(path, 1);
        Sqlite3Cursor cursor
            = db.queryThrow("select type, name from sqlite_master where type in ('table', 'view')");
        while (cursor.moveNext())
            names.insert(cursor.getText("name"), cursor.getText("type"));
        // A view in place of a table of the later schema is refused by name, not taken for the
        // earlier schema.
        for (auto it = names.cbegin(); it != names.cend(); ++it)
            for (const char* t : { "chat", "handle", "chat_handle_join", "message", "chat_message_join" })
                if (it.value() == QLatin1String("view")
                    && it.key().compare(QLatin1String(t), Qt::CaseInsensitive) == 0)
                    Sqlite3Stmt::throwError(Sqlite3Stmt::viewText(db.handle, it.key()), QString());
    }
    for (const char* t : { "chat", "handle", "chat_handle_join", "message", "chat_message_join" })
        if (names.value(QLatin1String(t)) != QLatin1String("table"))
            return 5;
    return 6;
}
