#pragma once

#include "app/sqlite/Sqlite3DB.h"
#include "device/Backup2ToolHook.h"

#include <QDateTime>
#include <QList>
#include <QString>

// The record "dname.sqlite" of a selective device backup: every file the device sent into the
// backup, stored or not, with its device-side name, size and time. Always inside a transaction once
// open; the destructor commits it.
class FakeDNameDb : public Sqlite3DB
{
public:
    FakeDNameDb();
    ~FakeDNameDb() override;

    bool open(const QString& path, QString* err);
    // Writes (replaces) the row of f with size 0; errors are thrown.
    void insert(const QString& f, const QString& d, bool incl, const QDateTime& lastm);
    void update(const QString& f, const QDateTime& lastm, qint64 size);
    void remove(const QString& f);
    QString getDName(const QString& f);
    // One folder of the record: for the empty text the folders (newest time of their files), then
    // the top-level files; else the files of that two-character folder.
    QList<Backup2ToolHook::DirItem> items(const QString& dir);

    qint64 insertCount = 0;

    // The folder of a name in the backup: its first two characters when it has 32 or more.
    static QString folderOf(const QString& f);
};
