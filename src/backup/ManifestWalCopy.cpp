#include "backup/ManifestWalCopy.h"

#include "app/RegularFile.h"
#include "app/sqlite/Sqlite3DB.h"
#include "backup/BackupFileCopy.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <stdexcept>

namespace
{

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

// Copies from to the private copy to; a source that does not read whole is named with the system's
// reason, as the copy's own error may not tell reading from writing.
void copyThrow(const QString& from, const QString& to, ContentDigest* read)
{
    try {
        BackupFileCopy::copyThrow(from, to, read);
    } catch (const std::runtime_error&) {
        const QString why = RegularFile::readFailure(from);
        if (!why.isEmpty())
            fail(QStringLiteral("Cannot read %1. %2").arg(from, why));
        throw;
    }
}

} // namespace

QString ManifestWalCopy::logOf(const QString& dbPath)
{
    return dbPath + QStringLiteral("-wal");
}

std::unique_ptr<QTemporaryDir> ManifestWalCopy::takeThrow(
    const QString& dbPath, ContentDigest* read, ContentDigest* logRead)
{
    const QString log = logOf(dbPath);
    const QFileInfo info(log);
    // A FIFO or device there would hide the log's rows as if it were empty.
    if (info.exists() && !info.isFile())
        fail(QStringLiteral("Cannot read %1. %2").arg(log, RegularFile::notRegularText()));
    if (info.size() <= 0)
        return nullptr;
    auto tmp = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/qm-manifest-XXXXXX"));
    if (!tmp->isValid())
        fail(QStringLiteral("Cannot create a temporary folder for a copy of %1. %2")
                 .arg(dbPath, tmp->errorString()));
    const QString copy = tmp->filePath(QStringLiteral("Manifest.db"));
    copyThrow(dbPath, copy, read);
    copyThrow(log, logOf(copy), logRead);
    try {
        // SQLite recovers the log's committed frames and writes them into the copy; the log then goes.
        Sqlite3DB db;
        db.openThrow(copy, SQLITE_OPEN_READWRITE);
        Sqlite3Cursor c = db.queryThrow("pragma wal_checkpoint(TRUNCATE)");
        if (!c.moveNext() || c.getInt(0) != 0)
            fail(QStringLiteral("its rows could not be moved into the database."));
    } catch (const std::exception& e) {
        fail(QStringLiteral("%1 is damaged: the log %2 cannot be read. %3")
                 .arg(dbPath, log, QString::fromUtf8(e.what()).replace(copy, dbPath)));
    }
    qInfo("Read %s with the rows of its log %s, from a private copy.", qUtf8Printable(dbPath),
        qUtf8Printable(log));
    return tmp;
}
