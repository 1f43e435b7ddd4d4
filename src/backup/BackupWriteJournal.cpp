#include "backup/BackupWriteJournal.h"

#include "app/OutputFile.h"
#include "app/RegularFile.h"
#include "backup/BackupWritePlace.h"
#include "backup/BackupWriteRecord.h"
#include "backup/BackupWriteSettlement.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const QString kTempSuffix = QString::fromLatin1(BackupWritePlace::kTemp);
const QString kAsideSuffix = QString::fromLatin1(BackupWritePlace::kAside);

std::function<void()>& beforeChange()
{
    static std::function<void()> hook;
    return hook;
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

// The record's text, read only as a regular file and only up to the size a write into dir can give
// it: a record planted or grown past that is refused before it is read.
bool readRecordText(const QDir& dir, const QString& path, QByteArray& text)
{
    const qint64 largest = BackupWriteRecord::largestSize(dir);
    QFile in;
    QString why;
    if (!RegularFile::openRead(in, path, &why, false)) {
        qWarning("Cannot read %s. %s", qUtf8Printable(path), qUtf8Printable(why));
        return false;
    }
    const qint64 size = in.size();
    if (size <= largest)
        text = in.read(largest + 1);
    if (in.error() != QFileDevice::NoError) {
        qWarning("Cannot read %s. %s", qUtf8Printable(path), qUtf8Printable(in.errorString()));
        return false;
    }
    if (size <= largest && text.size() <= largest)
        return true;
    qWarning("Left %s as it is: at more than %lld bytes it is larger than the record of any write into "
             "that backup, and is not read.",
        qUtf8Printable(path), largest);
    return false;
}

} // namespace

QString BackupWriteJournal::tempOf(const QString& target)
{
    return target + kTempSuffix;
}

QString BackupWriteJournal::asideOf(const QString& target)
{
    return target + kAsideSuffix;
}

BackupWriteJournal::BackupWriteJournal(const QDir& dir, QString manifestName)
    : m_dir(dir)
    , m_manifestName(std::move(manifestName))
{
}

void BackupWriteJournal::writeThrow() const
{
    const QByteArray text
        = BackupWriteRecord::text(m_dir, m_manifestName, manifestReplaced, manifestStaged, folders, files);
    const QString path = m_dir.absoluteFilePath(BackupWriteRecord::fileName());
    QFile out;
    bool ok = createOwn(out, tempOf(path)) && out.write(text) == text.size() && out.flush()
        && ::fsync(out.handle()) == 0;
    out.close();
    ok = ok && OutputFile::syncPath(m_dir.absolutePath()) && rename(tempOf(path), path)
        && OutputFile::syncPath(m_dir.absolutePath());
    if (ok)
        return;
    const int error = errno;
    removeIfPresent(tempOf(path)); // nothing of a record that was never written stays
    throw std::runtime_error(QStringLiteral("Cannot write %1. %2")
                                 .arg(path, QString::fromLocal8Bit(std::strerror(error)))
                                 .toStdString());
}

bool BackupWriteJournal::settle(const QDir& dir)
{
    Outcome outcome = Outcome::NoRecord;
    return settleRecord(dir, outcome, false);
}

bool BackupWriteJournal::settleCommitted(const QDir& dir)
{
    Outcome outcome = Outcome::NoRecord;
    return settleRecord(dir, outcome, true);
}

bool BackupWriteJournal::settleLeftover(const QDir& dir, QStringList* named)
{
    Outcome outcome = Outcome::NoRecord;
    const bool ok = settleRecord(dir, outcome, false, named);
    if (ok && named)
        named->clear();
    const QByteArray where = dir.absolutePath().toUtf8();
    if (ok && outcome == Outcome::LeftAsIs)
        qWarning("Left the files of the write into %s that was stopped before it ended as they are: "
                 "another program has written the backup since. The old files it kept stay beside "
                 "theirs as .qmold files.",
            where.constData());
    else if (ok && outcome == Outcome::UndoneWhereStaged)
        qInfo("Undid the write into %s that was stopped before it ended where its files still held what "
              "it put there: another program has written the backup since.",
            where.constData());
    else if (ok && outcome != Outcome::NoRecord)
        qInfo("%s the write into %s that was stopped before it ended.",
            outcome == Outcome::Finished ? "Finished" : "Undid", where.constData());
    // Without a record nothing was changed (the beginning of one is removed).
    return ok || outcome == Outcome::NoRecord;
}

QString BackupWriteJournal::unsettledText(const QDir& dir)
{
    return QStringLiteral("Cannot finish or undo the earlier write into %1.").arg(dir.absolutePath());
}

bool BackupWriteJournal::pending(const QDir& dir)
{
    const QString record = dir.absoluteFilePath(BackupWriteRecord::fileName());
    return present(record) || present(tempOf(record));
}

bool BackupWriteJournal::present(const QString& path)
{
    struct stat st;
    return ::lstat(native(path).constData(), &st) == 0;
}

bool BackupWriteJournal::settleRecord(const QDir& dir, Outcome& outcome, bool committed, QStringList* named)
{
    const QString path = dir.absoluteFilePath(BackupWriteRecord::fileName());
    if (!present(path))
        return removeIfPresent(tempOf(path)); // the beginning of a record: nothing was changed
    outcome = Outcome::Kept; // until decided
    QByteArray text;
    if (!readRecordText(dir, path, text))
        return false;
    const BackupWriteRecord r = BackupWriteRecord::read(dir, text);
    if (!r.readable()) {
        qWarning("Left %s as it is: %s", qUtf8Printable(path), qUtf8Printable(r.why));
        return false;
    }
    if (named)
        for (const Entry& e : r.files)
            named->append(e.target);
    BackupWriteSettlement settlement(dir, r);
    outcome = settlement.decide(committed);
    if (!settlement.apply())
        return false;
    OutputFile::syncPath(dir.absolutePath());
    for (const QString& name : { path, tempOf(path) })
        if (!removeIfPresent(name)) {
            qWarning("Cannot remove %s. %s", qUtf8Printable(name), std::strerror(errno));
            return false;
        }
    return true;
}

bool BackupWriteJournal::rename(const QString& from, const QString& to)
{
    announce();
    return ::rename(native(from).constData(), native(to).constData()) == 0;
}

bool BackupWriteJournal::link(const QString& from, const QString& to)
{
    announce();
    return ::link(native(from).constData(), native(to).constData()) == 0;
}

bool BackupWriteJournal::removeIfPresent(const QString& path)
{
    if (!present(path))
        return true;
    announce();
    return ::unlink(native(path).constData()) == 0 || errno == ENOENT;
}

bool BackupWriteJournal::renameNoReplace(const QString& from, const QString& to)
{
    announce();
    if (::renameat2(AT_FDCWD, native(from).constData(), AT_FDCWD, native(to).constData(), RENAME_NOREPLACE)
        == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without that kind of rename: the folder is held, nothing else writes the name.
    if (present(to)) {
        errno = EEXIST;
        return false;
    }
    return ::rename(native(from).constData(), native(to).constData()) == 0;
}

int BackupWriteJournal::createOwnFd(const QString& path, mode_t mode)
{
    if (!removeIfPresent(path))
        return -1;
    return ::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

bool BackupWriteJournal::createOwn(QFile& file, const QString& path)
{
    const int fd = createOwnFd(path);
    if (fd < 0)
        return false;
    if (file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    errno = EIO;
    return false;
}

bool BackupWriteJournal::freeAsideName(const QString& target)
{
    const QString aside = asideOf(target);
    struct stat a;
    struct stat t;
    if (::lstat(native(aside).constData(), &a) != 0)
        return errno == ENOENT;
    if (S_ISREG(a.st_mode) && ::lstat(native(target).constData(), &t) == 0 && a.st_ino == t.st_ino
        && a.st_dev == t.st_dev)
        return removeIfPresent(aside); // a second name of the file itself: nothing is lost
    for (int n = 1; n <= 1000; ++n) {
        const QString kept = aside + QLatin1Char('-') + QString::number(n);
        if (renameNoReplace(aside, kept)) {
            qWarning("Moved %s, left by an earlier write into the backup, to %s.", qUtf8Printable(aside),
                qUtf8Printable(kept));
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

void BackupWriteJournal::setBeforeChange(std::function<void()> hook)
{
    beforeChange() = std::move(hook);
}

void BackupWriteJournal::announce()
{
    if (beforeChange())
        beforeChange()();
}
