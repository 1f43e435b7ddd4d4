#include "backup/BackupWriteJournal.h"

#include "app/OutputFile.h"
#include "app/RegularFile.h"

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
    // Whether a link or a file stands where a folder on the way should be.
    bool blocked() const { return m_blocked; }
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
    bool has(const char* suffix) { return kind(suffix) != Absent; }
    // Whether both names are regular files and one and the same file.
    bool sameFile(const char* a, const char* b);
    // Logs that the target stays as the write left it: what it held before is nowhere.
    void leftWithoutOld() const;
    // Logs that the target goes back to what it held before, though the write is not undone.
    void backToOld() const;
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
    bool m_blocked = false;
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
    m_blocked = error == ELOOP || error == ENOTDIR;
    if (m_blocked)
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

bool Place::sameFile(const char* a, const char* b)
{
    struct stat sa;
    struct stat sb;
    return kind(a, &sa) == Regular && kind(b, &sb) == Regular && sa.st_ino == sb.st_ino
        && sa.st_dev == sb.st_dev;
}

void Place::leftWithoutOld() const
{
    qWarning("Left %s as it is: the write into %s that was stopped before it ended put it there, and "
             "what it held before is nowhere to be found.",
        qUtf8Printable(m_relative), qUtf8Printable(m_dir.absolutePath()));
}

void Place::backToOld() const
{
    qInfo("Putting back what %s held before the write into %s that was stopped before it ended: the "
          "manifest another program has written since does not describe what that write put there.",
        qUtf8Printable(m_relative), qUtf8Printable(m_dir.absolutePath()));
}

void Place::removeFolder()
{
    struct stat st;
    if (kind(kTarget, &st) != Absent && S_ISDIR(st.st_mode))
        ::unlinkat(m_fd, m_leaf.constData(), AT_REMOVEDIR); // only when empty: what else is there stays
}

// The record read back. It starts with "version 3", then "manifest <replaced> <staged> <name>",
// "folder <name>" and "file <staged> <old> <name>" lines, each content a ContentDigest::Sum's text
// or "-", and <old> "none" for a file that did not exist. A record of version 2 has no <old>; one
// of version 1 has no version line, and inode numbers for contents.
struct Record {
    int version = 1;
    bool unreachable = false; // a file the write may have changed is out of reach
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
        if (line == "version 2" || line == "version 3")
            r.version = line.back() - '0';
        if (f.size() >= 2 && f[0] == "folder")
            r.folders.append(inside(dir, QString::fromUtf8(line.mid(7))));
        const bool manifest = f[0] == "manifest";
        const int values = r.version >= (manifest ? 2 : 3) ? 2 : 1; // fields before the name
        if ((!manifest && f[0] != "file") || f.size() < values + 2)
            continue;
        qsizetype at = f[0].size() + 1;
        for (int i = 1; i <= values; ++i)
            at += f[i].size() + 1;
        const QString path = inside(dir, QString::fromUtf8(line.mid(at)));
        BackupWriteJournal::Entry e { path, ContentDigest::Sum::fromText(f[1]), 0 };
        if (r.version < 2)
            e.tempId = f[1].toULongLong();
        if (!manifest && values == 2) {
            e.old = ContentDigest::Sum::fromText(f[2]);
            e.existed = f[2] != "none";
        }
        if (manifest) {
            r.manifest = path;
            r.manifestId = e.tempId;
            r.manifestReplaced = e.staged;
            r.manifestStaged = values == 2 ? ContentDigest::Sum::fromText(f[2]) : ContentDigest::Sum();
        } else if (!path.isEmpty())
            r.files.append(e);
        else
            r.unreachable = r.unreachable || e.staged.known() || e.tempId != 0;
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

// What settling does with each file: finish the write, undo it, undo it only where the target
// still holds what the write staged, or leave it as it is.
enum class Action { Finish, Undo, UndoStaged, Leave };

using Entry = BackupWriteJournal::Entry;

bool holdsStaged(Place& p, const Entry& e, int version)
{
    if (version < 2)
        return e.tempId != 0 && p.inode(kTarget) == e.tempId && p.inode(kTemp) == 0;
    return e.staged.known() && p.sum(kTarget, e.staged.kind) == e.staged;
}

// Whether the old file kept aside is the one this write kept: its content is the recorded one.
bool asideIsOld(Place& p, const Entry& e, int version)
{
    if (!p.changeable(kAside))
        return false;
    return version < 3 || p.sameFile(kAside, kTarget)
        || (e.old.known() && p.sum(kAside, e.old.kind) == e.old);
}

// Puts back what stood at the target before: the old file kept aside when it holds the recorded
// old content, or no file at all where there was none and the target holds what the write staged.
// A file that existed is never removed: without its old copy it stays as the write left it.
bool undoFile(Place& p, const Entry& e, int version)
{
    if (asideIsOld(p, e, version))
        return p.putBack();
    if (!e.existed)
        return holdsStaged(p, e, version) ? p.remove(kTarget) : !p.failed();
    if (!(e.staged == e.old) && holdsStaged(p, e, version))
        p.leftWithoutOld();
    return !p.failed();
}

// After the commit the old file kept aside goes, unless it is not the one this write kept (mine:
// this process kept it just now).
bool finishFile(Place& p, const Entry& e, int version, bool mine)
{
    if (!p.changeable(kAside))
        return !p.failed();
    return mine || asideIsOld(p, e, version) ? p.remove(kAside) : !p.failed();
}

bool settleFile(const QDir& dir, const Entry& e, int version, Action action, bool mine)
{
    Place p(dir, e.target);
    // Behind a link the write may have left its files: they cannot be settled from here.
    if (!p.reached())
        return !p.failed() && !(p.blocked() && (e.staged.known() || e.tempId != 0));
    bool ok = true;
    if (action == Action::Finish)
        ok = finishFile(p, e, version, mine);
    else if (action == Action::Undo)
        ok = undoFile(p, e, version);
    else if (action == Action::UndoStaged && !(e.staged == e.old) && holdsStaged(p, e, version)) {
        p.backToOld();
        ok = undoFile(p, e, version);
    }
    return p.remove(kTemp) && ok;
}

// When the manifest in place is neither the staged nor the replaced one: a write that was not
// committed left files the manifest in place does not describe, and they go back; after a commit
// another program's manifest may describe them, and everything stays.
Action leftAsIsAction(const QDir& dir, const Record& r)
{
    if (r.version < 3 || r.manifest.isEmpty())
        return Action::Leave;
    Place manifest(dir, r.manifest);
    const bool committed = r.manifestStaged.known() && manifest.reached() && !manifest.has(kTemp);
    return committed ? Action::Leave : Action::UndoStaged;
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
    QByteArray text = "version 3\nmanifest " + manifestReplaced.text() + ' ' + manifestStaged.text() + ' '
        + m_manifestName.toUtf8() + '\n';
    for (const QString& folder : folders)
        text += "folder " + m_dir.relativeFilePath(folder).toUtf8() + '\n';
    for (const Entry& e : files)
        text += "file " + e.staged.text() + ' ' + (e.existed ? e.old.text() : QByteArrayLiteral("none")) + ' '
            + m_dir.relativeFilePath(e.target).toUtf8() + '\n';
    const QString path = m_dir.absoluteFilePath(kRecordName);
    QFile out;
    bool ok = createOwn(out, tempOf(path)) && out.write(text) == text.size() && out.flush()
        && ::fsync(out.handle()) == 0;
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
    else if (ok && outcome == Outcome::UndoneWhereStaged)
        qInfo("Undid the write into %s that was stopped before it ended where its files still held what "
              "it put there: another program has written the backup since.",
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
    QString why;
    if (!RegularFile::openRead(in, path, &why, false)) {
        qWarning("Cannot read %s. %s", qUtf8Printable(path), qUtf8Printable(why));
        return false;
    }
    const Record r = readRecord(dir, in.readAll());
    in.close();
    bool ok = true;
    outcome = committed ? Outcome::Finished : decide(dir, r, ok);
    if (!ok)
        return false;
    const Action action = outcome == Outcome::Finished ? Action::Finish
        : outcome == Outcome::Undone                   ? Action::Undo
                                                       : leftAsIsAction(dir, r);
    if (action == Action::UndoStaged)
        outcome = Outcome::UndoneWhereStaged;
    for (auto it = r.files.crbegin(); it != r.files.crend(); ++it)
        ok = settleFile(dir, *it, r.version, action, committed) && ok;
    if (!r.manifest.isEmpty()) {
        Place manifest(dir, r.manifest);
        ok = manifest.remove(kTemp) && ok;
    }
    if (outcome == Outcome::Undone)
        for (auto it = r.folders.crbegin(); it != r.folders.crend(); ++it)
            Place(dir, *it).removeFolder();
    if (!ok || r.unreachable)
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

bool BackupWriteJournal::renameNoReplace(const QString& from, const QString& to)
{
    announceChange();
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
