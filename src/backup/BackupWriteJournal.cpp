#include "backup/BackupWriteJournal.h"

#include "app/OutputFile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const QString kTempSuffix = QStringLiteral(".qmtmp");
const QString kAsideSuffix = QStringLiteral(".qmold");
const QString kRecordName = QStringLiteral("Manifest.qmwrite");

std::function<void()>& beforeChange()
{
    static std::function<void()> hook;
    return hook;
}

void announceChange()
{
    if (beforeChange())
        beforeChange()();
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

bool present(const QString& path)
{
    struct stat st;
    return ::lstat(native(path).constData(), &st) == 0;
}

// The path with the links of the part that exists resolved.
QString resolved(const QString& path)
{
    const QFileInfo info(path);
    const QString real = info.canonicalFilePath();
    if (!real.isEmpty())
        return real;
    const QString parent = info.absolutePath();
    if (parent == info.absoluteFilePath())
        return parent;
    return resolved(parent) + QLatin1Char('/') + info.fileName();
}

// A recorded name that stays inside the backup folder, links followed; empty for any other. A
// record is read whenever a backup is opened: it must never reach the user's other files.
QString inside(const QDir& dir, const QString& relative)
{
    const QString path = dir.absoluteFilePath(relative);
    const QString root = dir.canonicalPath();
    if (!relative.isEmpty() && !relative.startsWith(QLatin1Char('/'))
        && !relative.split(QLatin1Char('/')).contains(QStringLiteral("..")) && !root.isEmpty()
        && resolved(path).startsWith(root + QLatin1Char('/')))
        return path;
    qWarning("Left %s alone: the record of an earlier write into %s names it, but it is not inside "
             "that folder.",
        qUtf8Printable(relative), qUtf8Printable(dir.absolutePath()));
    return QString();
}

// The record read back: "manifest <id> <name>", "folder <name>" and "file <id> <name>" lines.
struct Record {
    QString manifest;
    quint64 manifestId = 0;
    QList<BackupWriteJournal::Entry> files;
    QStringList folders;
};

Record readRecord(const QDir& dir, const QByteArray& text)
{
    Record r;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() >= 2 && f[0] == "folder")
            r.folders.append(inside(dir, QString::fromUtf8(line.mid(7))));
        if (f.size() < 3 || (f[0] != "manifest" && f[0] != "file"))
            continue;
        const quint64 id = f[1].toULongLong();
        const QString path = inside(dir, QString::fromUtf8(line.mid(f[0].size() + f[1].size() + 2)));
        if (f[0] == "manifest") {
            r.manifest = path;
            r.manifestId = id;
        } else if (f[0] == "file" && !path.isEmpty())
            r.files.append({ path, id });
    }
    r.folders.removeAll(QString());
    return r;
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

quint64 BackupWriteJournal::fileId(const QString& path)
{
    struct stat st;
    return ::lstat(native(path).constData(), &st) == 0 ? quint64(st.st_ino) : 0;
}

BackupWriteJournal::BackupWriteJournal(const QDir& dir, QString manifestName)
    : m_dir(dir)
    , m_manifestName(std::move(manifestName))
{
}

void BackupWriteJournal::writeThrow() const
{
    QByteArray text = "manifest " + QByteArray::number(manifestTempId) + ' ' + m_manifestName.toUtf8() + '\n';
    for (const QString& folder : folders)
        text += "folder " + m_dir.relativeFilePath(folder).toUtf8() + '\n';
    for (const Entry& e : files)
        text += "file " + QByteArray::number(e.tempId) + ' ' + m_dir.relativeFilePath(e.target).toUtf8()
            + '\n';
    const QString path = m_dir.absoluteFilePath(kRecordName);
    QFile out(tempOf(path));
    bool ok = out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(text) == text.size()
        && out.flush() && ::fsync(out.handle()) == 0;
    out.close();
    ok = ok && OutputFile::syncPath(m_dir.absolutePath()) && rename(tempOf(path), path)
        && OutputFile::syncPath(m_dir.absolutePath());
    if (!ok)
        throw std::runtime_error(QStringLiteral("Cannot write %1. %2")
                                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)))
                                     .toStdString());
}

bool BackupWriteJournal::settle(const QDir& dir)
{
    bool found = false;
    bool committed = false;
    return settleRecord(dir, found, committed);
}

bool BackupWriteJournal::settleLeftover(const QDir& dir)
{
    bool found = false;
    bool committed = false;
    const bool ok = settleRecord(dir, found, committed);
    if (ok && found)
        qInfo("%s the write into %s that was stopped before it ended.", committed ? "Finished" : "Undid",
            qUtf8Printable(dir.absolutePath()));
    // Without a record nothing was changed: a temporary of one left behind is no harm.
    return ok || !found;
}

QString BackupWriteJournal::unsettledText(const QDir& dir)
{
    return QStringLiteral("Cannot finish or undo the earlier write into %1.").arg(dir.absolutePath());
}

bool BackupWriteJournal::pending(const QDir& dir)
{
    return present(dir.absoluteFilePath(kRecordName));
}

bool BackupWriteJournal::settleRecord(const QDir& dir, bool& found, bool& committed)
{
    const QString path = dir.absoluteFilePath(kRecordName);
    found = present(path);
    if (!found)
        return removeIfPresent(tempOf(path));
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const Record r = readRecord(dir, in.readAll());
    in.close();
    committed = r.manifestId != 0 && fileId(r.manifest) == r.manifestId;
    bool ok = true;
    for (auto it = r.files.crbegin(); it != r.files.crend(); ++it)
        ok = (committed ? finishFile(*it) : undoFile(*it)) && ok;
    if (!r.manifest.isEmpty())
        ok = removeIfPresent(tempOf(r.manifest)) && ok;
    if (!committed)
        for (auto it = r.folders.crbegin(); it != r.folders.crend(); ++it)
            QDir().rmdir(*it); // only when empty: what else is there stays
    if (!ok)
        return false;
    OutputFile::syncPath(dir.absolutePath());
    return removeIfPresent(path) && removeIfPresent(tempOf(path));
}

// Puts back what stood at the target before: the old file kept aside, or no file at all.
bool BackupWriteJournal::undoFile(const Entry& e)
{
    const quint64 now = fileId(e.target);
    const bool aside = present(asideOf(e.target));
    bool ok = true;
    if (e.tempId != 0 && now == e.tempId)
        ok = aside ? rename(asideOf(e.target), e.target) : removeIfPresent(e.target);
    else if (now == 0 && aside)
        ok = rename(asideOf(e.target), e.target); // moved aside, the new file never came
    return ok && removeIfPresent(asideOf(e.target)) && removeIfPresent(tempOf(e.target));
}

bool BackupWriteJournal::finishFile(const Entry& e)
{
    return removeIfPresent(asideOf(e.target)) && removeIfPresent(tempOf(e.target));
}

bool BackupWriteJournal::rename(const QString& from, const QString& to)
{
    announceChange();
    return ::rename(native(from).constData(), native(to).constData()) == 0;
}

bool BackupWriteJournal::link(const QString& from, const QString& to)
{
    announceChange();
    return ::link(native(from).constData(), native(to).constData()) == 0;
}

bool BackupWriteJournal::removeIfPresent(const QString& path)
{
    if (!present(path))
        return true;
    announceChange();
    return ::unlink(native(path).constData()) == 0 || errno == ENOENT;
}

void BackupWriteJournal::setBeforeChange(std::function<void()> hook)
{
    beforeChange() = std::move(hook);
}
