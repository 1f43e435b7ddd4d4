#include "ProbePrivateCopy.h"

#include "app/OutputFile.h"
#include "app/PathWalk.h"
#include "app/PrivateCopyNames.h"
#include "app/RegularFile.h"
#include "app/sqlite/RollbackJournal.h"
#include "app/sqlite/Sqlite3DB.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>
#include <stdexcept>

namespace
{
// Only a regular file is copied: a FIFO would keep the copy waiting for a writer, and a device
// such as /dev/zero would fill the disk; a companion, another user's where everyone may write, is
// theirs. False with *why set when it is not copied.
bool copyPrivate(
    const QString& from, const QString& to, QString* why, bool followLinks = true, bool companion = false)
{
    QFile in;
    if (companion && !(*why = PathWalk::readRefusal(from)).isEmpty())
        return false;
    if (!RegularFile::openRead(in, from, why, followLinks))
        return false;
    if (companion && !(*why = PathWalk::readRefusal(from, in.handle())).isEmpty())
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
        throw std::runtime_error(QStringLiteral("Cannot copy %1. %2").arg(from, why).toStdString());
    // What stands beside it is taken only as a file of its own: a link there is never followed, nor
    // is another user's file where everyone may write read as its log.
    for (const char* suffix : { "-wal", "-shm" }) {
        const QString companion = from + QLatin1String(suffix);
        if ((QFile::exists(companion) || QFileInfo(companion).isSymLink())
            && !copyPrivate(companion, to + QLatin1String(suffix), &why, false, true))
            qWarning("%s is read without %s: %s", qUtf8Printable(from), qUtf8Printable(companion),
                qUtf8Printable(why));
    }
    // A journal SQLite would not play back (one whose other journal is gone, or none a file) stays
    // behind; one it would is copied as far as it reads it, without the name of another journal.
    const QString journal = RollbackJournal::pathOf(from);
    switch (RollbackJournal::stateOf(from, &why)) {
    case RollbackJournal::State::Holds:
    case RollbackJournal::State::HoldsJoint:
        why = RollbackJournal::copy(from, to);
        if (!why.isEmpty()) {
            qWarning("%s is left out. %s", qUtf8Printable(journal), qUtf8Printable(why));
            return;
        }
        PrivateCopyNames::note(RollbackJournal::pathOf(to), journal);
        break;
    case RollbackJournal::State::NotAFile:
        qWarning(
            "%s is read without %s, which is not a file.", qUtf8Printable(from), qUtf8Printable(journal));
        return;
    case RollbackJournal::State::Unreadable:
        qWarning("%s is left out: %s", qUtf8Printable(journal), qUtf8Printable(why));
        return;
    case RollbackJournal::State::Foreign:
        qWarning("%s is read without its journal: %s.", qUtf8Printable(from), qUtf8Printable(why));
        return;
    case RollbackJournal::State::Stale:
    case RollbackJournal::State::None:
        return;
    }
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
            throw std::runtime_error(QStringLiteral("Cannot copy %1").arg(from + suffix).toStdString());
    }
    PrivateCopyNames::note(to, from);
}
