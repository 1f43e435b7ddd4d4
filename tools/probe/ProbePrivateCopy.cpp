#include "ProbePrivateCopy.h"

#include "app/OutputFile.h"
#include "app/PrivateCopyNames.h"
#include "app/RegularFile.h"
#include "app/sqlite/Sqlite3DB.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>
#include <stdexcept>

namespace
{
// Only a regular file is copied: a FIFO would keep the copy waiting for a writer, and a device
// such as /dev/zero would fill the disk. False with *why set when it is not copied.
bool copyPrivate(const QString& from, const QString& to, QString* why)
{
    QFile in;
    if (!RegularFile::openRead(in, from, why))
        return false;
    OutputFile out(to);
    if (!out.open(QIODevice::WriteOnly) || !out.copyFrom(in.handle()) || !out.commit()) {
        *why = out.errorString();
        return false;
    }
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    PrivateCopyNames::note(to, from);
    return true;
}
} // namespace

void probeCopyDbThrow(const QString& from, const QString& to)
{
    QString why;
    if (!copyPrivate(from, to, &why))
        throw std::runtime_error(QStringLiteral("can not copy %1. %2").arg(from, why).toStdString());
    for (const char* suffix : { "-wal", "-shm", "-journal" })
        if (QFile::exists(from + QLatin1String(suffix)))
            copyPrivate(from + QLatin1String(suffix), to + QLatin1String(suffix), &why);
    if (!QFile::exists(to + QStringLiteral("-journal")))
        return;
    // Only a connection that may write rolls a journal back; the readers open read-only. SQLite's
    // complaint names from (see PrivateCopyNames).
    Sqlite3DB db;
    db.openThrow(to, SQLITE_OPEN_READWRITE);
}

QString probeStageDbThrow(const QString& from, const QString& work)
{
    const QString to = QDir(work).absoluteFilePath(QStringLiteral("staged-") + QFileInfo(from).fileName());
    probeCopyDbThrow(from, to);
    return to;
}

void probeMoveDbThrow(const QString& from, const QString& to)
{
    for (const QString& suffix : { QString(), QStringLiteral("-wal"), QStringLiteral("-shm") }) {
        if (QFile::exists(from + suffix) && !QFile::rename(from + suffix, to + suffix))
            throw std::runtime_error(QStringLiteral("can not copy %1").arg(from + suffix).toStdString());
    }
    PrivateCopyNames::note(to, from);
}
