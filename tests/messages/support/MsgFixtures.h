#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>

// Synthetic message databases made by tools/gen/make_sms_db.py, and helpers around fixtures.
namespace MsgFixtures
{

// Runs the generator ("ios5", "ios6", "bulk") into a fresh temporary folder and returns the folder,
// or an empty string (with the reason in error) when it fails.
QString generate(const QString& kind, const QStringList& extraArgs = {}, QString* error = nullptr);
// Runs another generator of tools/gen (script name, arguments after the target folder) into a
// fresh temporary folder; empty on failure.
QString generateWith(const QString& script, const QStringList& args = {}, QString* error = nullptr);
// The generator's expected.json of a folder.
QJsonObject expected(const QString& folder);
// A folder in the cache layout holding a copy of the given sms.db.
QString cacheFolderWith(const QString& smsDb);
// SHA-1 of a file's bytes, to show that a reader left it unchanged.
QByteArray fileHash(const QString& path);
// Path of the sms.db inside a cache-layout folder.
QString smsPath(const QString& folder);
// Runs one SQL statement on a database file with the SQLite library directly; false on failure.
bool execSql(const QString& dbPath, const QString& sql);
// The first column of the first row of a query, as text.
QString querySql(const QString& dbPath, const QString& sql);
// Makes in folder a local message store of one chat whose messages each join one attachment
// record, of the device paths given in order (rowids from 1), and lays out files below its
// file-relay folder, each given as "path=bytes", or as "path->target" for a link; false on failure.
bool makeStoreWith(const QString& folder, const QStringList& filenames, const QStringList& files);

// What a carver can find at most, worked out from the bytes alone: the deleted messages of a
// generated expected.json whose record is still in the database file from column 1's serial type
// to the end of the part a page holds (present), and of those the ones whose overflow bytes are
// all still there as well (whole). Messages are named by their field key ("guid", "text"). The
// file searched is a copy with its log checkpointed into it, as the recovery reads it.
struct StillInFile {
    QSet<QString> present;
    QSet<QString> whole;
};
StillInFile stillInFile(const QString& db, const QJsonArray& deleted, const char* key);

} // namespace MsgFixtures
