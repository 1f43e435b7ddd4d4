#include "backup/BackupCacheCopy.h"

#include "app/Clock.h"
#include "app/FileSystemView.h"
#include "app/PrivateCopyNames.h"
#include "app/RegularFile.h"
#include "app/WrittenDisks.h"
#include "backup/BkCacheDb.h"
#include "backup/StoredFileCopy.h"
#include "backup/lock/BackupFolderLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>
#include <sys/stat.h>

namespace
{

std::function<void(const QString&)>& whileReading()
{
    static std::function<void(const QString&)> hook;
    return hook;
}

// How far back a file's last change must lie for its change time to tell every later write: the
// kernel stamps changes from a clock a tick behind, and an inode of old ext2 or ext3 keeps seconds.
constexpr qint64 kSettledMs = 2000;
// Marks a stamp the cache records of a file that had not settled: it proves nothing alone later,
// and content decides.
const QLatin1String kUnsettled(" unsettled");

} // namespace

BackupCacheCopy::BackupCacheCopy(const BackupManifest& manifest, BkCacheDb& cache)
    : BackupCacheCopy(manifest, &cache)
{
}

BackupCacheCopy::BackupCacheCopy(const BackupManifest& manifest, BkCacheDb* cache)
    : m_manifest(manifest)
    , m_cache(cache)
    , m_cacheRoot(cache ? QFileInfo(cache->path()).absolutePath() + QLatin1Char('/') : QString())
{
}

void BackupCacheCopy::copyWithLogThrow(
    const BackupManifest& manifest, const BackupManifest::_FileNode* node, const QString& dest)
{
    BackupCacheCopy(manifest, nullptr).copyThrow(node, dest, true);
}

QString BackupCacheCopy::stampOf(const QString& path)
{
    struct stat st;
    return FileSystemView::stat(path, st) ? stampOf(st) : QString();
}

QString BackupCacheCopy::stampOf(const struct stat& st)
{
    return QStringLiteral("%1:%2:%3:%4.%5:%6.%7")
        .arg(qint64(st.st_size))
        .arg(quint64(st.st_dev))
        .arg(quint64(st.st_ino))
        .arg(qint64(st.st_mtim.tv_sec))
        .arg(qint64(st.st_mtim.tv_nsec))
        .arg(qint64(st.st_ctim.tv_sec))
        .arg(qint64(st.st_ctim.tv_nsec));
}

// The time is taken before the look, so any write after it is stamped later than a settled change.
BackupCacheCopy::Look BackupCacheCopy::lookAt(const QString& path)
{
    const qint64 now = Clock::now().toMSecsSinceEpoch();
    struct stat st;
    if (!FileSystemView::stat(path, st))
        return {};
    const qint64 changed = qint64(st.st_ctim.tv_sec) * 1000 + st.st_ctim.tv_nsec / 1000000;
    return { stampOf(st), FileSystemView::changeTimeProves(path), changed < now - kSettledMs };
}

void BackupCacheCopy::setWhileReading(std::function<void(const QString& stored)> hook)
{
    whileReading() = std::move(hook);
}

void BackupCacheCopy::reading(long long, long long, void* stored)
{
    whileReading()(*static_cast<const QString*>(stored));
}

const BackupManifest::_FileNode* BackupCacheCopy::companion(
    const BackupManifest::_FileNode* node, const char* suffix) const
{
    const BackupManifest::_FileNode* c
        = m_manifest.findNode(node->item.domain, node->item.relativePath() + QLatin1String(suffix));
    return c && c->item.isFile() ? c : nullptr;
}

bool BackupCacheCopy::isCompanion(const BackupManifest::_FileNode* node) const
{
    const QString rel = node->item.relativePath();
    for (const char* suffix : { "-wal", "-shm" })
        if (rel.endsWith(QLatin1String(suffix))) {
            const auto* main = m_manifest.findNode(node->item.domain, rel.chopped(int(qstrlen(suffix))));
            return main && main->item.isFile();
        }
    return false;
}

bool BackupCacheCopy::isCurrent(const BackupManifest::_FileNode* node, const QString& dest, QString* stamp)
{
    return QFileInfo::exists(dest) && storedAsCopied(node, dest, stamp);
}

void BackupCacheCopy::throwIfTaken(const BackupManifest::_FileNode* node, const QString& dest) const
{
    const BackupManifest::_FileNode* other = m_placeNames.value(dest);
    struct stat st;
    if (!other && ::lstat(QFile::encodeName(dest).constData(), &st) == 0)
        other = m_placeFiles.value({ quint64(st.st_dev), quint64(st.st_ino) });
    if (!other || other == node)
        return;
    throw PlaceTaken(
        QStringLiteral("Cannot copy this file: its place in the cache, %1, holds the copy of %2 %3.")
            .arg(QDir::toNativeSeparators(dest), other->item.domain, other->item.relativePath())
            .toStdString());
}

void BackupCacheCopy::take(const Taken& taken)
{
    m_taken.append(taken);
    m_placeNames.insert(taken.dest, taken.node);
    struct stat st;
    if (::lstat(QFile::encodeName(taken.dest).constData(), &st) == 0)
        m_placeFiles.insert({ quint64(st.st_dev), quint64(st.st_ino) }, taken.node);
}

// Whether node's stored file is the one its last copy, at copy (empty when it has none), was made
// from, and a copy given was made there: one found at another place may be another record's. Where
// every write sets the change time, a stamp taken once the file had settled proves it, and the file
// is not read again. Elsewhere the stamp is a quick first filter; a file copied out, changed and put
// back with its times on a disk that keeps neither nanoseconds nor a change time keeps its stamp, so
// content decides.
bool BackupCacheCopy::storedAsCopied(
    const BackupManifest::_FileNode* node, const QString& copy, QString* seen)
{
    const QString stored = m_manifest.storedFilePath(node->item);
    const QString name = node->item.backupFileName();
    if (!m_cache)
        return false;
    const QString stamp = stampOf(stored);
    if (seen)
        *seen = stamp;
    const QString place = copy.isEmpty() ? QString() : cacheRelative(copy);
    const QString* at = copy.isEmpty() ? nullptr : &place;
    const bool settled = m_cache->isCurrent(name, node->item.mtime, stamp, at);
    if (!settled && !m_cache->isCurrent(name, node->item.mtime, stamp + kUnsettled, at))
        return false;
    if (settled && FileSystemView::changeTimeProves(stored))
        return true;
    // A picture, film, sound or attachment is never changed in place once written: its stamp is
    // enough, so a load of thousands of them reads none again.
    if (StoredFileCopy::writtenOnce(node->item, headOf(copy)))
        return true;
    const ContentDigest::Sum copied = m_cache->copiedContent(name);
    if (!copied.known() || contentOf(stored, copied.kind) != copied)
        return false;
    // Proved unchanged by its content, and settled since: later loads need not read it again.
    const Look look = lookAt(stored);
    if (!settled && look.proves() && look.stamp == stamp)
        m_cache->setStampThrow(name, stamp);
    return true;
}

// The first bytes of the file at path; empty when there are none to read.
QByteArray BackupCacheCopy::headOf(const QString& path)
{
    QFile f;
    return !path.isEmpty() && RegularFile::openRead(f, path, nullptr) ? f.read(16) : QByteArray();
}

// What the file at path holds, in one read; unknown when it cannot be read.
ContentDigest::Sum BackupCacheCopy::contentOf(const QString& path, ContentDigest::Kind kind)
{
    QFile f;
    return RegularFile::openRead(f, path, nullptr) ? ContentDigest::of(f, kind) : ContentDigest::Sum();
}

void BackupCacheCopy::copyThrow(
    const BackupManifest::_FileNode* node, const QString& dest, bool fresh, Read* read)
{
    fresh = fresh || read != nullptr;
    // A database and its log are copied from the same write's files.
    const BackupFolderLock reading(m_manifest.dir, BackupFolderLock::Mode::Shared);
    // A copy made from the files an older manifest told is no copy of the backup as it stands.
    m_manifest.checkLoadedThrow();
    const BackupManifest::_FileNode* wal = companion(node, "-wal");
    const bool walStored = wal && QFileInfo::exists(m_manifest.storedFilePath(wal->item));
    const QString walDest = dest + QStringLiteral("-wal");
    throwIfTaken(node, dest);
    if (walStored)
        throwIfTaken(wal, walDest);
    noteCopy(node, dest);
    if (walStored)
        noteCopy(wal, walDest);
    QString stamp;
    QString walStamp;
    if (!fresh && isCurrent(node, dest, &stamp)
        && (walStored ? isCurrent(wal, walDest, &walStamp) : !QFileInfo::exists(walDest))) {
        take({ node, stamp, dest });
        if (walStored)
            take({ wal, walStamp, walDest });
        throwIfMarked(node, dest);
        if (walStored)
            throwIfMarked(wal, walDest);
        return;
    }
    // A log or index beside the copy belongs to the copy it was made with.
    QFile::remove(walDest);
    QFile::remove(dest + QStringLiteral("-shm"));
    copyOneThrow(node, dest, read);
    if (walStored)
        copyOneThrow(wal, walDest, read);
}

// Texts about the copy at dest (SQLite's, of a damaged database) name node's stored copy and record:
// the copy is the program's own. Attachments, never opened as databases, are left out, as a load
// copies thousands.
void BackupCacheCopy::noteCopy(const BackupManifest::_FileNode* node, const QString& dest) const
{
    if (!StoredFileCopy::writtenOnce(node->item, QByteArray()))
        PrivateCopyNames::note(dest, QDir::toNativeSeparators(m_manifest.storedFilePath(node->item)),
            QStringLiteral("Record: %1 %2").arg(node->item.domain, node->item.relativePath()),
            PrivateCopyNames::Texts::DatabaseErrors);
}

bool BackupCacheCopy::knownNotAsWritten(const BackupManifest::_FileNode* node)
{
    // The mark first: without one, the stored database is not read through to compare.
    return m_cache && !m_cache->notAsWritten(node->item.backupFileName()).isEmpty()
        && storedAsCopied(node, QString());
}

// A current copy at dest the cache knows to be not what the phone wrote says so as its copy did.
void BackupCacheCopy::throwIfMarked(const BackupManifest::_FileNode* node, const QString& dest)
{
    const QString why = m_cache->notAsWritten(node->item.backupFileName());
    if (!why.isEmpty())
        throw BackupManifest::NotAsWritten(why, dest);
}

void BackupCacheCopy::copyOneThrow(const BackupManifest::_FileNode* node, const QString& dest, Read* read)
{
    QString stored = m_manifest.storedFilePath(node->item);
    const Look look = lookAt(stored);
    const QString before = stampOf(dest);
    // Taken in the pass that copies, for all but an attachment, never rewritten in place (its stamp
    // is enough, so a load of thousands of them reads none twice): for the cache, and for a stamp
    // that cannot tell whether the file changed while it was read.
    const bool once = StoredFileCopy::writtenOnce(node->item, QByteArray());
    const bool digest = read || (!once && (m_cache || !look.proves()));
    ContentDigest::Sum taken;
    ContentDigest::Sum& content = read ? (*read)[node->item.backupFileName()] : taken;
    QString notAsWritten;
    try {
        const WrittenDisks::Unnoted cached;
        m_manifest.copyFile(
            node, dest, &stored, whileReading() ? reading : nullptr, digest ? &content : nullptr);
    } catch (const BackupManifest::NotAsWritten& e) {
        notAsWritten = QString::fromUtf8(e.what());
        // Nothing written ("not whole cipher blocks"): a copy still there is of another stored file.
        if (!before.isEmpty() && stampOf(dest) == before)
            QFile::remove(dest);
    } catch (const BackupManifest::Unreadable& e) {
        // Nothing written: a copy still there is of another stored file and would pass for this one.
        QFile::remove(dest);
        if (m_cache)
            m_cache->setUnreadableThrow(
                node->item.backupFileName(), cacheRelative(dest), QString::fromUtf8(e.what()));
        throw;
    }
    throwIfChangedWhileRead(node, stored, look, content, dest);
    // Nothing read (the check came first): the mark holds for this content only.
    if (digest && !content.known())
        taken = contentOf(stored, ContentDigest::Kind::Xxh128);
    recordThrow(node, look.changeTimes && !look.settled ? look.stamp + kUnsettled : look.stamp, dest,
        notAsWritten, content.known() ? content : taken);
    take({ node, look.stamp, dest });
    if (!notAsWritten.isEmpty())
        throw BackupManifest::NotAsWritten(notAsWritten, dest);
}

// The stamp after the copy against the one before: a change proves the file changed while it was
// read; an equal one proves it unchanged where look says so, elsewhere what the copy read is
// compared with the file read again. A changed file's copy goes, unrecorded.
void BackupCacheCopy::throwIfChangedWhileRead(const BackupManifest::_FileNode* node, const QString& stored,
    const Look& look, const ContentDigest::Sum& read, const QString& dest) const
{
    if (stampOf(stored) == look.stamp
        && (look.proves() || !read.known() || contentOf(stored, read.kind) == read))
        return;
    QFile::remove(dest);
    throw std::runtime_error(changedText(node, stored).toStdString());
}

QString BackupCacheCopy::changedText(const BackupManifest::_FileNode* node, const QString& stored)
{
    return QStringLiteral("The stored copy %1 changed while it was read: another program is writing into the "
                          "backup. Load it again.\nRecord: %2 %3")
        .arg(QDir::toNativeSeparators(stored), node->item.domain, node->item.relativePath());
}

void BackupCacheCopy::checkUnchangedThrow()
{
    for (const Taken& t : std::as_const(m_taken)) {
        const QString stored = m_manifest.storedFilePath(t.node->item);
        if (stampOf(stored) == t.stamp)
            continue;
        QFile::remove(t.dest);
        throw std::runtime_error(changedText(t.node, stored).toStdString());
    }
}

void BackupCacheCopy::recordThrow(const BackupManifest::_FileNode* node, const QString& stamp,
    const QString& dest, const QString& notAsWritten, const ContentDigest::Sum& content)
{
    if (!m_cache)
        return;
    try {
        m_cache->setCopiedThrow(
            node->item.backupFileName(), node->item.mtime, stamp, cacheRelative(dest), notAsWritten, content);
    } catch (...) {
        // Unrecorded, a damaged copy would pass for the phone's file: it goes.
        if (!notAsWritten.isEmpty())
            QFile::remove(dest);
        throw;
    }
}

// Where a copy lies, relative to the cache's database.
QString BackupCacheCopy::cacheRelative(const QString& dest) const
{
    // A copy's path is made below the cache's folder: the rest of it is its place, found without
    // the whole path's cleaning that a load of thousands of copies would pay once each.
    if (!m_cacheRoot.isEmpty() && dest.startsWith(m_cacheRoot) && QDir::cleanPath(dest) == dest)
        return dest.mid(m_cacheRoot.size());
    return QFileInfo(m_cache->path()).absoluteDir().relativeFilePath(dest);
}
