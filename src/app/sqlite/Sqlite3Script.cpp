#include "app/sqlite/Sqlite3Script.h"

#include "app/sqlite/Sqlite3DB.h"

int sqlite3ExecScript(Sqlite3DB& db, const QString& sql, QString& err)
{
    if (!db.handle || !sqlite3_get_autocommit(db.handle))
        return db.exec(sql, err);
    int rc = db.exec(QStringLiteral("BEGIN"), err);
    if (rc != SQLITE_OK)
        return rc;
    rc = db.exec(sql, err);
    if (rc != SQLITE_OK) {
        QString ignored;
        if (!sqlite3_get_autocommit(db.handle))
            db.exec(QStringLiteral("ROLLBACK"), ignored);
        return rc;
    }
    return db.exec(QStringLiteral("COMMIT"), err);
}
