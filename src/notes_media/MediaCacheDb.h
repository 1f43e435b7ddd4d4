#pragma once

#include "app/sqlite/Sqlite3DB.h"

#include <QDir>
#include <QList>

class BackupManifest;

// Base of the readers of the media databases in a backup's cache folder: finds the copy (by its
// well-known name when the backup is null, for counting from the cache folder alone), opens it on
// first use, lists its rows and counts them through the same reading.
class MediaCacheDb
{
public:
    ~MediaCacheDb();

    void openCheck();
    qint64 total();

protected:
    // Where the database is in the backup, the error when it is missing, and the query of its list.
    // The list reads the table itself and orders it by plain comparison: an index or a column that
    // names a collating sequence this build lacks (which SQLite refuses to use) costs nothing.
    struct _Place {
        const char* domain;
        const char* relativePath;
        const char* missingText;
        const char* listSql;
    };

    MediaCacheDb(const BackupManifest* manifest, QDir dir, const _Place& place);

    // Every row of the list's query, each made from the cursor by readRow; failures throw.
    template <class Row> QList<Row> readRows(Row (*readRow)(const Sqlite3Cursor&))
    {
        openCheck();
        QList<Row> list;
        Sqlite3Cursor c = m_db.queryThrow(m_place.listSql);
        while (c.moveNext())
            list.append(readRow(c));
        return list;
    }

private:
    const BackupManifest* m_manifest;
    QDir m_dir;
    _Place m_place;
    Sqlite3DB m_db;
};
