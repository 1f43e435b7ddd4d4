#include "backup/BackupWriteJournal.h"

#include "app/OutputFile.h"
#include "app/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr const char* kTarget = "";
constexpr const char* kTemp = ".qmtmp";
constexpr const char* kAside = ".qmold";
const QString kTempSuffix = QString::fromLatin1(kTemp);
const QString kAsideSuffix = QString::fromLatin1(kAside);
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

void leftAlone(const QDir& dir, const QString& relative, const char* why)
{
    qWarning("Left %s alone: the record of an earlier write into %s names it, but %s.",
        qUtf8Printable(relative), qUtf8Printable(dir.absolutePath()), why);
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
    leftAlone(dir, relative, "it is not inside that folder");
    return QString();
}

// A recorded file, its temporary and its old file kept aside, reached through their folder opened
// from the backup folder down, each step a real folder and never a link. Names are checked when
// they are changed, not once before: a link that settling itself puts in place, or one planted on
// the way, never leads a change out of the backup. Only regular files are renamed or removed.
class Place
{
public:
    enum Kind { Absent, Regular, Other };

    Place(const QDir& dir, const QString& path);
    ~Place();
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;

    // False when a folder on the way is missing or is not a real folder.
    bool reached() const { return m_fd >= 0; }
    // Whether something could not be looked at or changed (as opposed to being left alone).
    bool failed() const { return m_failed; }
    // True for a regular file; what is neither that nor absent is logged and left alone.
    bool changeable(const char* suffix);
    // Removes a regular file; true when there is none (anymore) or it is left alone.
    bool remove(const char* suffix);
    // The old file kept aside back over the target, whatever the target holds now.
    bool putBack();
    // The content of a regular file, by the digest of the sum it is compared with; unknown for any
    // other (failed() tells a read error).
    ContentDigest::Sum sum(const char* suffix, ContentDigest::Kind digest);
    ino_t inode(const char* suffix);
    // Removes the named folder when it is a real, empty folder.
    void removeFolder();

private:
    QByteArray name(const char* suffix) const { return m_leaf + suffix; }
    Kind kind(const char* suffix, struct stat* st = nullptr);

    QDir m_dir;
    QString m_relative;
    QByteArray m_leaf;
    int m_fd = -1;
    bool m_failed = false;
    QList<QByteArray> m_logged;
};

Place::Place(const QDir& dir, const QString& path)
    : m_dir(dir)
    , m_relative(dir.relativeFilePath(path))
{
    QList<QByteArray> parts = native(m_relative).split('/');
    parts.removeAll(QByteArray());
    if (parts.isEmpty())
        return;
    m_leaf = parts.takeLast();
    int fd = ::open(native(dir.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int error = fd < 0 ? errno : 0;
    for (const QByteArray& part : std::as_const(parts)) {
        if (fd < 0)
            break;
        const int next = ::openat(fd, part.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        error = next < 0 ? errno : 0;
        ::close(fd);
        fd = next;
    }
    m_fd = fd;
    if (error == ELOOP || error == ENOTDIR)
        leftAlone(m_dir, m_relative, "a link or a file stands on its way there");
    else if (error != 0 && error != ENOENT)
        m_failed = true;
}

Place::~Place()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Place::Kind Place::kind(const char* suffix, struct stat* st)
{
    struct stat own;
    st = st ? st : &own;
    if (m_fd < 0 || ::fstatat(m_fd, name(suffix).constData(), st, AT_SYMLINK_NOFOLLOW) != 0) {
        m_failed = m_failed || (m_fd >= 0 && errno != ENOENT);
        return Absent;
    }
    return S_ISREG(st->st_mode) ? Regular : Other;
}

bool Place::changeable(const char* suffix)
{
    const Kind k = kind(suffix);
    if (k == Other && !m_logged.contains(name(suffix))) {
        m_logged.append(name(suffix));
        leftAlone(m_dir, m_relative + QString::fromUtf8(suffix), "it is not a regular file");
    }
    return k == Regular;
}

bool Place::remove(const char* suffix)
{
    if (!changeable(suffix))
        return !m_failed;
    announceChange();
    return ::unlinkat(m_fd, name(suffix).constData(), 0) == 0 || errno == ENOENT;
}

bool Place::putBack()
{
    struct stat aside;
    struct stat target;
    if (!changeable(kAside) || kind(kAside, &aside) != Regular)
        return !m_failed;
    const Kind now = kind(kTarget, &target);
    if (now == Regular && aside.st_ino == target.st_ino && aside.st_dev == target.st_dev)
        return remove(kAside); // a second name of the old file: it is in place already
    if (now != Absent && !changeable(kTarget))
        return !m_failed;
    announceChange();
    return ::renameat(m_fd, name(kAside).constData(), m_fd, name(kTarget).constData()) == 0;
}

ContentDigest::Sum Place::sum(const char* suffix, ContentDigest::Kind digest)
{
    if (kind(suffix) != Regular)
        return {};
    const int fd = ::openat(m_fd, name(suffix).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    QFile in;
    if (fd < 0 || !in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        m_failed = true;
        return {};
    }
    const ContentDigest::Sum s = ContentDigest::of(in, digest);
    m_failed = m_failed || !s.known();
    return s;
}

ino_t Place::inode(const char* suffix)
{
    struct stat st;
    return kind(suffix, &st) == Absent ? 0 : st.st_ino;
}

void Place::removeFolder()
{
    struct stat st;
    if (kind(kTarget, &st) != Absent && S_ISDIR(st.st_mode))
        ::unlinkat(m_fd, m_leaf.constData(), AT_REMOVEDIR); // only when empty: what else is there stays
}

// The record read back. It starts with "version 2", then "manifest <replaced> <staged> <name>",
// "folder <name>" and "file <staged> <name>" lines, each content a ContentDigest::Sum's text or
// "-". A record of an earlier version has no version line, and inode numbers for contents.
struct Record {
    int version = 1;
    QString manifest;
    ContentDigest::Sum manifestReplaced;
    ContentDigest::Sum manifestStaged;
    quint64 manifestId = 0;
    QList<BackupWriteJournal::Entry> files;
    QStringList folders;
};

Record readRecord(const QDir& dir, const QByteArray& text)
{
    Record r;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (line == "version 2")
            r.version = 2;
        if (f.size() >= 2 && f[0] == "folder")
            r.folders.append(inside(dir, QString::fromUtf8(line.mid(7))));
        const bool manifest = f[0] == "manifest";
        const int values = manifest && r.version >= 2 ? 2 : 1; // fields before the name
        if ((!manifest && f[0] != "file") || f.size() < values + 2)
            continue;
        qsizetype at = f[0].size() + 1;
        for (int i = 1; i <= values; ++i)
            at += f[i].size() + 1;
        const QString path = inside(dir, QString::fromUtf8(line.mid(at)));
        BackupWriteJournal::Entry e { path, ContentDigest::Sum::fromText(f[1]), 0 };
        if (r.version < 2)
            e.tempId = f[1].toULongLong();
        if (manifest) {
            r.manifest = path;
            r.manifestId = e.tempId;
            r.manifestReplaced = e.staged;
            r.manifestStaged = values == 2 ? ContentDigest::Sum::fromText(f[2]) : ContentDigest::Sum();
        } else if (!path.isEmpty())
            r.files.append(e);
    }
    r.folders.removeAll(QString());
    return r;
}

using Outcome = BackupWriteJournal::Outcome;

// What became of the recorded write, told by the content of the manifest in place. A record of an
// earlier version has inode numbers, which a copy changes: there the staged manifest has left its
// temporary's name only by the commit's rename.
Outcome decide(const QDir& dir, const Record& r, bool& ok)
{
    if (r.manifest.isEmpty())
        return r.version < 2 ? Outcome::Undone : Outcome::LeftAsIs;
    Place p(dir, r.manifest);
    if (r.version < 2) {
        const bool committed = r.manifestId != 0 && p.reached() && p.inode(kTemp) == 0;
        ok = !p.failed();
        return committed ? Outcome::Finished : Outcome::Undone;
    }
    const ContentDigest::Sum now
        = p.sum(kTarget, (r.manifestStaged.known() ? r.manifestStaged : r.manifestReplaced).kind);
    ok = !p.failed();
    return now == r.manifestStaged  ? Outcome::Finished
        : now == r.manifestReplaced ? Outcome::Undone
                                    : Outcome::LeftAsIs;
}

// Puts back what stood at the target before: the old file kept aside (it is the only copy, whatever
// the target holds now), or no file at all where the target holds what the write staged.
bool undoFile(Place& p, const BackupWriteJournal::Entry& e, int version)
{
    if (p.changeable(kAside))
        return p.putBack();
    const bool staged = version >= 2 ? e.staged.known() && p.sum(kTarget, e.staged.kind) == e.staged
                                     : e.tempId != 0 && p.inode(kTarget) == e.tempId && p.inode(kTemp) == 0;
    return staged ? p.remove(kTarget) : !p.failed();
}

bool settleFile(const QDir& dir, const BackupWriteJournal::Entry& e, int version, Outcome outcome)
{
    Place p(dir, e.target);
    if (!p.reached())
        return !p.failed();
    bool ok = true;
    if (outcome == Outcome::Finished)
        ok = p.remove(kAside);
    else if (outcome == Outcome::Undone)
        ok = undoFile(p, e, version);
    return p.remove(kTemp) && ok;
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
    QByteArray text = "version 2\nmanifest " + manifestReplaced.text() + ' ' + manifestStaged.text() + ' '
        + m_manifestName.toUtf8() + '\n';
    for (const QString& folder : folders)
        text += "folder " + m_dir.relativeFilePath(folder).toUtf8() + '\n';
    for (const Entry& e : files)
        text += "file " + e.staged.text() + ' ' + m_dir.relativeFilePath(e.target).toUtf8() + '\n';
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
    Outcome outcome = Outcome::NoRecord;
    return settleRecord(dir, outcome, false);
}

bool BackupWriteJournal::settleCommitted(const QDir& dir)
{
    Outcome outcome = Outcome::NoRecord;
    return settleRecord(dir, outcome, true);
}

bool BackupWriteJournal::settleLeftover(const QDir& dir)
{
    Outcome outcome = Outcome::NoRecord;
    const bool ok = settleRecord(dir, outcome, false);
    const QByteArray where = dir.absolutePath().toUtf8();
    if (ok && outcome == Outcome::LeftAsIs)
        qWarning("Left the files of the write into %s that was stopped before it ended as they are: "
                 "another program has written the backup since. The old files it kept stay beside "
                 "theirs as .qmold files.",
            where.constData());
    else if (ok && outcome != Outcome::NoRecord)
        qInfo("%s the write into %s that was stopped before it ended.",
            outcome == Outcome::Finished ? "Finished" : "Undid", where.constData());
    // Without a record nothing was changed: a temporary of one left behind is no harm.
    return ok || outcome == Outcome::NoRecord;
}

QString BackupWriteJournal::unsettledText(const QDir& dir)
{
    return QStringLiteral("Cannot finish or undo the earlier write into %1.").arg(dir.absolutePath());
}

bool BackupWriteJournal::pending(const QDir& dir)
{
    return present(dir.absoluteFilePath(kRecordName));
}

bool BackupWriteJournal::settleRecord(const QDir& dir, Outcome& outcome, bool committed)
{
    const QString path = dir.absoluteFilePath(kRecordName);
    if (!present(path))
        return removeIfPresent(tempOf(path));
    outcome = Outcome::LeftAsIs; // until decided
    QFile in;
    if (!RegularFile::openRead(in, path, nullptr))
        return false;
    const Record r = readRecord(dir, in.readAll());
    in.close();
    bool ok = true;
    outcome = committed ? Outcome::Finished : decide(dir, r, ok);
    if (!ok)
        return false;
    for (auto it = r.files.crbegin(); it != r.files.crend(); ++it)
        ok = settleFile(dir, *it, r.version, outcome) && ok;
    if (!r.manifest.isEmpty()) {
        Place manifest(dir, r.manifest);
        ok = manifest.remove(kTemp) && ok;
    }
    if (outcome == Outcome::Undone)
        for (auto it = r.folders.crbegin(); it != r.folders.crend(); ++it)
            Place(dir, *it).removeFolder();
    if (!ok)
        return false;
    OutputFile::syncPath(dir.absolutePath());
    return removeIfPresent(path) && removeIfPresent(tempOf(path));
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
