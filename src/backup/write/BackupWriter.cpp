#include "backup/write/BackupWriter.h"

#include "app/Clock.h"
#include "app/MadeFolders.h"
#include "app/RunFolder.h"
#include "app/sqlite/RollbackJournal.h"
#include "app/sqlite/Sqlite3DB.h"
#include "backup/BackupCrypto.h"
#include "backup/BackupFileCopy.h"
#include "backup/MBFileArchive.h"
#include "backup/ManifestWalCopy.h"
#include "backup/lock/BackupFolderLock.h"
#include "backup/write/BackupWriteFolder.h"
#include "backup/write/BackupWriteNames.h"
#include "backup/write/BackupWriteSettlement.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sqlite3.h>
#include <stdexcept>
#include <unistd.h>
#include <utility>

namespace
{

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

QString systemText(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A name of the commit could not be changed: says which, and the system's reason.
[[noreturn]] void failOverwrite(const QString& path)
{
    const int error = errno;
    fail(QStringLiteral("can not overwrite %1. %2").arg(path, systemText(error)));
}

[[noreturn]] void failCancelled()
{
    fail(QStringLiteral("Writing into the backup was cancelled; the backup is unchanged."));
}

// The buffer of a copy by reading (small enough to stay in the processor's cache between the read,
// the digest and the write).
constexpr qint64 kReadChunk = 256 * 1024;

// Writes the whole of data; a short write is tried again, so that a failure comes with the reason.
bool writeAll(QIODevice& out, const char* data, qint64 size)
{
    for (qint64 n = 0; size > 0; data += n, size -= n)
        if ((n = out.write(data, size)) <= 0)
            return false;
    return true;
}

// The content of a file opened as in, and which file it is, unchanged while it was read; false
// when it is not sum, or was written meanwhile.
bool holds(QFile& in, const ContentDigest::Sum& sum, BackupWriteNames::Stamp& read)
{
    read = BackupWriteNames::stampOf(in.handle());
    return ContentDigest::of(in, sum.kind) == sum
        && BackupWriteNames::stampOf(in.handle()).unchangedSince(read);
}

// The bytes SQLite locks: of a database (from its pending byte, 1 GiB in), and of a log's index.
struct LockRange {
    off_t start;
    off_t length;
};
constexpr LockRange kDbLocks { 0x40000000, 2 + 510 };
constexpr LockRange kIndexLocks { 120, 8 + 1 };

} // namespace

BackupWriter::BackupWriter(
    BackupManifest& manifest, Progress progress, Cancelled cancelled, Cancelled mayCommit)
    : m_manifest(manifest)
    , m_progress(std::move(progress))
    , m_cancelled(std::move(cancelled))
    , m_mayCommit(std::move(mayCommit))
    , m_now(quint32(Clock::secsSinceEpoch()))
{
}

BackupWriter::~BackupWriter()
{
    if (!m_committed)
        rollBack();
}

BackupWriter::Replacement& BackupWriter::addReplacement(const QString& target)
{
    Replacement rep;
    rep.target = target;
    rep.temp = m_record->tempOf(target);
    m_replacements.append(rep);
    return m_replacements.last();
}

// ---- staging the files

void BackupWriter::stageFilesThrow(const QList<BackupManifest::WriteRequest>& items)
{
    const QDir& dir = m_manifest.dir;
    if (m_manifest.IsEncrypted && !m_manifest.isUnlocked())
        fail(QStringLiteral("The backup in %1 is locked: enter its password first.").arg(dir.absolutePath()));
    m_manifestPath = dir.absoluteFilePath(
        m_manifest.isMbdb() ? QStringLiteral("Manifest.mbdb") : QStringLiteral("Manifest.db"));
    // Every step of the write reaches its names from here: a folder swapped inside gets nothing.
    m_folder = std::make_unique<BackupWriteFolder>(dir);
    if (!m_folder->isOpen())
        fail(m_folder->whyNotOpen());
    if (!m_folder->present(m_manifestPath))
        fail(QStringLiteral("Cannot find %1.").arg(m_manifestPath));
    failIfLink(m_manifestPath);
    m_lock = std::make_unique<BackupFolderLock>(dir, BackupFolderLock::Mode::Exclusive, m_folder->fd());
    // Refuses a manifest in another program's use before anything is staged.
    m_manifest.settleEarlierWriteThrow();
    // The new manifest is made from the one loaded: over a newer one it would drop its records.
    m_manifest.checkLoadedThrow();
    planThrow(items);
    for (int i = 0; i < items.size(); ++i) {
        if (m_cancelled && m_cancelled())
            failCancelled();
        if (m_progress)
            m_progress(i, items[i].relativePath);
        stageFileThrow(items[i]);
    }
}

// The record of what this write may leave in the backup, before it leaves anything.
void BackupWriter::planThrow(const QList<BackupManifest::WriteRequest>& items)
{
    const QDir& dir = m_manifest.dir;
    auto record = std::make_unique<BackupWriteRecord>();
    record->id = BackupWriteRecord::newId();
    record->manifest = m_manifestPath;
    m_sharedMemory = m_folder->stampOf(sharedMemoryOf());
    record->manifestReplaced = readReplacedManifestThrow();
    m_log = staleLog();
    for (const BackupManifest::WriteRequest& r : items) {
        const QString name = MBDBParser::backupFileName(r.domain, r.relativePath);
        const QString sub = dir.absoluteFilePath(name.left(2));
        if (!m_manifest.isMbdb() && !m_folder->present(sub) && !record->folders.contains(sub))
            record->folders.append(sub);
        if (!m_manifest.isMbdb())
            checkFolderThrow(sub);
        const QString target = MBDBParser::getBKFilePath(dir, name, false);
        if (!m_planned.contains(target))
            record->files.append(m_planned[target] = plannedThrow(target, r.overwrite, r.expectedOld));
    }
    // The log must hold what the copy of the manifest took in: rows another program wrote since
    // would be lost with it.
    if (!m_log.isEmpty())
        record->files.append(m_planned[m_log] = plannedThrow(m_log, true, m_logRead));
    record->writeThrow(*m_folder);
    m_record = std::move(record);
}

// The content of the manifest the write replaces. A plain Manifest.db is copied here for the update,
// with the rows of its log, the digests of both taken as the copy reads them; any other is read
// once for it.
ContentDigest::Sum BackupWriter::readReplacedManifestThrow()
{
    ContentDigest read;
    if (!m_manifest.isMbdb() && !m_manifest.hasManifestKey()) {
        ContentDigest log;
        m_work = ManifestWalCopy::takeThrow(m_manifestPath, &read, &log);
        m_logRead = log.sum();
        if (!m_work) {
            m_work = workFolderThrow();
            BackupFileCopy::copyThrow(m_manifestPath, m_work->filePath(QStringLiteral("Manifest.db")), &read);
        }
        m_newPlainDb = m_work->filePath(QStringLiteral("Manifest.db"));
        return read.sum();
    }
    // An encrypted Manifest.db is staged from its copy decrypted at loading: the write replaces the
    // content that copy came from, and its commit checks that it is the one in place.
    if (m_manifest.hasManifestKey() && m_manifest.m_plainDir && m_manifest.m_plainSum.known())
        return m_manifest.m_plainSum;
    // Not waited on: a FIFO or device in its place is refused by name.
    QFile manifest;
    QString why;
    if (!m_folder->openRead(manifest, m_manifestPath, &why))
        fail(QStringLiteral("Cannot read %1. %2").arg(m_manifestPath, why));
    // Read once: the records the write stages from are those of the content it records. A list
    // damaged after its last whole record is refused here, before anything is written: its rest
    // would be lost.
    if (m_manifest.isMbdb())
        m_mbdbRecords = MBDBParser::readThrow(manifest, m_manifestPath, nullptr, &read);
    const ContentDigest::Sum sum = m_manifest.isMbdb() ? read.sum() : ContentDigest::of(manifest);
    if (!sum.known() || manifest.error() != QFileDevice::NoError)
        fail(QStringLiteral("Cannot read %1. %2").arg(m_manifestPath, manifest.errorString()));
    return sum;
}

// A file of the backup that is a link (as a tool that keeps one copy of the files several backups
// share leaves it) is not replaced: the write would put a file of its own where the link stood.
void BackupWriter::failIfLink(const QString& path) const
{
    if (m_folder->isLink(path))
        fail(QStringLiteral("Cannot write into the backup in %1: %2 is a link, and a write into a backup "
                            "replaces no file that is a link. Nothing was written.")
                 .arg(QDir::toNativeSeparators(m_manifest.dir.absolutePath()),
                     QDir::toNativeSeparators(path)));
}

std::unique_ptr<QTemporaryDir> BackupWriter::workFolderThrow()
{
    const QString name = RunFolder::templateFor(QStringLiteral("qm-write"));
    auto work = std::make_unique<QTemporaryDir>(name);
    if (!work->isValid())
        fail(QStringLiteral("Cannot create a temporary folder in %1. %2")
                 .arg(QFileInfo(name).absolutePath(), work->errorString()));
    return work;
}

// A folder of stored files is reached the same way when writing as when settling: one that is a
// link (moved to another disk) is refused before anything changes.
void BackupWriter::checkFolderThrow(const QString& folder)
{
    // Reached as a folder once here, the write holds it to be the same folder to the end.
    const BackupWriteFolder::Parent p = m_folder->folderAt(folder);
    if (p.swapped())
        fail(m_folder->swappedText(p));
}

// The entry of a file the write may replace, with what it holds now, read once; the name of its old
// copy is freed for this write. A file that no longer holds what the road read from it (expected)
// is another program's change since that reading: the road's content would replace it.
BackupWriteRecord::Entry BackupWriter::plannedThrow(
    const QString& target, bool overwrite, const ContentDigest::Sum& expected)
{
    BackupWriteRecord::Entry e { target, {}, 0, {}, true };
    if (!m_folder->stampOf(target).present()) {
        if (errno != ENOENT)
            fail(QStringLiteral("Cannot read %1. %2").arg(target, systemText()));
        if (expected.known())
            fail(BackupWriteNames::changedText(target));
        e.existed = false;
        return e;
    }
    if (!overwrite)
        return e; // the write leaves it as it is
    failIfLink(target);
    QFile in;
    QString why;
    if (!m_folder->openRead(in, target, &why))
        fail(QStringLiteral("Cannot write into the backup in %1: %2 cannot be read. %3")
                 .arg(m_manifest.dir.absolutePath(), target, why));
    e.old = ContentDigest::of(in, expected.known() ? expected.kind : ContentDigest::Kind::Xxh128);
    if (!e.old.known())
        fail(QStringLiteral("Cannot read %1. %2").arg(target, in.errorString()));
    if (expected.known() && e.old != expected)
        fail(BackupWriteNames::changedText(target));
    if (!m_folder->freeAsideName(target))
        fail(QStringLiteral("Cannot write %1. %2").arg(BackupWriteNames::asideOf(target), systemText()));
    return e;
}

void BackupWriter::stageFileThrow(const BackupManifest::WriteRequest& r)
{
    const QString name = MBDBParser::backupFileName(r.domain, r.relativePath);
    Staged s;
    s.req = r;
    s.target = MBDBParser::getBKFilePath(m_manifest.dir, name, false);
    const QString folder = QFileInfo(s.target).absolutePath();
    if (!m_manifest.isMbdb() && !m_folder->makeFolder(folder))
        fail(MadeFolders::failureText(folder, errno));
    // As planned: a file there is left as it is unless the request overwrites it.
    if (m_planned.value(s.target).existed && !r.overwrite)
        return;
    QFile in(r.sourceFile);
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Cannot read %1. %2").arg(r.sourceFile, in.errorString()));
    const QString temp = addReplacement(s.target).temp;
    QFile out;
    if (!m_folder->createOwn(out, temp, m_folder->modeOf(s.target)))
        fail(QStringLiteral("Cannot create %1. %2").arg(temp, systemText()));
    const BackupManifest::_FileNode* existing = m_manifest.findNode(r.domain, r.relativePath);
    ContentDigest written;
    if (m_manifest.IsEncrypted)
        encryptInto(s, existing, in, out, written);
    else {
        s.protectionClass = existing ? existing->item.protectionClass
                                     : (r.useSecondClassKey ? kClassUntilFirstUnlock : kClassNone);
        copyInto(s, in, out, written);
    }
    m_replacements.last().staged = written.sum();
    m_replacements.last().written = BackupWriteNames::stampOf(out.handle());
    m_staged.append(s);
}

void BackupWriter::encryptInto(
    Staged& s, const BackupManifest::_FileNode* existing, QFile& in, QFile& out, ContentDigest& written)
{
    const BackupKeyBag& bag = *m_manifest.m_keyBag;
    quint32 cls = s.req.useSecondClassKey ? kClassUntilFirstUnlock : kClassNone;
    if (existing && !existing->implied && !bag.classKey(existing->item.protectionClass).isEmpty())
        cls = existing->item.protectionClass; // keep the class the device gave the file
    QByteArray key(32, Qt::Uninitialized);
    QRandomGenerator::system()->generate(key.begin(), key.end());
    const QByteArray wrapped = bag.wrapFileKey(cls, key);
    if (wrapped.isEmpty())
        fail(QStringLiteral("The backup's keybag has no key of protection class %1.").arg(cls));
    s.protectionClass = cls;
    s.keyBlob = QByteArray(1, char(cls)) + QByteArray(3, '\0') + wrapped;
    try {
        s.size = BackupCrypto::encryptStream(key, in, out, &written);
    } catch (const std::runtime_error& e) {
        failStaging(in, out, m_record->tempOf(s.target), QString::fromUtf8(e.what()));
    }
}

void BackupWriter::copyInto(Staged& s, QFile& in, QFile& out, ContentDigest& written)
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    QByteArray buf(kReadChunk, Qt::Uninitialized);
    qint64 n = 0;
    while ((n = in.read(buf.data(), buf.size())) > 0) {
        if (!writeAll(out, buf.constData(), n))
            failStaging(in, out, m_record->tempOf(s.target), out.errorString());
        h.addData(QByteArrayView(buf.constData(), n));
        written.add(buf.constData(), n);
        s.size += n;
    }
    if (n < 0)
        failStaging(in, out, m_record->tempOf(s.target), in.errorString());
    s.sha1 = h.result();
}

// The failure of a read of a source or a write of its temporary, named by the file it was in.
void BackupWriter::failStaging(const QFile& in, const QFile& out, const QString& temp, const QString& why)
{
    const bool writing = out.error() != QFileDevice::NoError;
    fail(QStringLiteral("Cannot %1 %2. %3")
             .arg(writing ? QStringLiteral("write") : QStringLiteral("read"), writing ? temp : in.fileName(),
                 why));
}

// ---- staging the manifest

void BackupWriter::stageManifestThrow()
{
    const QString temp = addReplacement(m_manifestPath).temp;
    ContentDigest written;
    if (m_manifest.isMbdb())
        updateMbdbThrow(temp, written);
    else
        updateManifestDbThrow(temp, written);
    m_replacements.last().staged = written.sum();
    m_replacements.last().written = m_folder->stampOf(temp);
}

void BackupWriter::updateMbdbThrow(const QString& temp, ContentDigest& written)
{
    QList<MBDBParser::_MBDBItem> records = m_mbdbRecords;
    for (const Staged& s : std::as_const(m_staged)) {
        auto rec = std::find_if(records.begin(), records.end(), [&](const MBDBParser::_MBDBItem& r) {
            return r.domain == s.req.domain && r.relativePath() == s.req.relativePath;
        });
        if (rec == records.end()) {
            MBDBParser::_MBDBItem fresh;
            fresh.domain = s.req.domain;
            fresh.pathUtf8 = s.req.relativePath.toUtf8();
            fresh.mode = kFileMode;
            auto& fx = fresh.mutableExtra();
            fx.uid = fx.gid = kMobileUserId;
            records.append(fresh);
            rec = records.end() - 1;
        }
        // The stored size is that of the plain file as it was written.
        rec->size = s.size;
        rec->mtime = m_now;
        rec->protectionClass = quint8(s.protectionClass);
        auto& x = rec->mutableExtra();
        x.atime = x.ctime = m_now;
        x.encryptionKey = s.keyBlob;
        x.present = quint8((x.present & ~4) | (s.keyBlob.isEmpty() ? 0 : 4));
        if (!s.sha1.isEmpty()) {
            x.dataHash = s.sha1;
            x.present |= 2;
        }
    }
    QFile out;
    const QByteArray bytes = MBDBParser::serialize(records);
    if (!m_folder->createOwn(out, temp, m_folder->modeOf(m_manifestPath)))
        fail(QStringLiteral("Cannot create %1. %2").arg(temp, systemText()));
    if (!writeAll(out, bytes.constData(), bytes.size()))
        fail(QStringLiteral("Cannot write %1. %2").arg(temp, out.errorString()));
    written.add(bytes);
}

void BackupWriter::updateManifestDbThrow(const QString& temp, ContentDigest& written)
{
    if (m_manifest.hasManifestKey() && !m_manifest.m_plainDir)
        fail(QStringLiteral("The backup in %1 is locked: its manifest cannot be read.")
                 .arg(m_manifest.dir.absolutePath()));
    // A plain manifest was copied when the write was planned, with its log as it was then (the log
    // is moved aside at the commit); an encrypted one is updated in a copy of its decrypted copy.
    if (!m_work) {
        m_work = workFolderThrow();
        m_newPlainDb = m_work->filePath(QStringLiteral("Manifest.db"));
        BackupFileCopy::copyThrow(m_manifest.readableManifestDbPath(), m_newPlainDb);
    }
    {
        Sqlite3DB db;
        db.setForeign(true);
        db.openThrow(m_newPlainDb, SQLITE_OPEN_READWRITE);
        // A private copy, read again for the staged temporary that is synced before the commit:
        // syncing the copy itself would write the whole manifest to the disk once more.
        db.executeThrow(Sqlite3Sql("pragma synchronous=OFF"));
        db.beginTran();
        for (const Staged& s : std::as_const(m_staged)) {
            replaceDbRecordThrow(db, s);
            addMissingFoldersThrow(db, s);
        }
        db.commitTran();
        db.close();
    }
    stageManifestDbThrow(temp, written);
}

// The updated copy, encrypted when the manifest is, as the staged temporary.
void BackupWriter::stageManifestDbThrow(const QString& temp, ContentDigest& written)
{
    QFile in(m_newPlainDb);
    QFile out;
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Cannot read %1. %2").arg(m_newPlainDb, in.errorString()));
    if (!m_folder->createOwn(out, temp, m_folder->modeOf(m_manifestPath)))
        fail(QStringLiteral("Cannot create %1. %2").arg(temp, systemText()));
    if (m_manifest.hasManifestKey()) {
        try {
            BackupCrypto::encryptStream(m_manifest.manifestKey(), in, out, &written);
        } catch (const std::runtime_error& e) {
            failStaging(in, out, temp, QString::fromUtf8(e.what()));
        }
        return;
    }
    QByteArray buf(kReadChunk, Qt::Uninitialized);
    qint64 n = 0;
    while ((n = in.read(buf.data(), buf.size())) > 0) {
        if (!writeAll(out, buf.constData(), n))
            fail(QStringLiteral("Cannot copy %1 to %2. %3").arg(m_newPlainDb, temp, out.errorString()));
        written.add(buf.constData(), n);
    }
    if (n < 0)
        failStaging(in, out, temp, in.errorString());
}

void BackupWriter::replaceDbRecordThrow(Sqlite3DB& db, const Staged& s)
{
    const QString fileId = MBDBParser::backupFileName(s.req.domain, s.req.relativePath);
    MBFileArchive::Fields f;
    Sqlite3Cursor c = db.queryThrow(Sqlite3Sql("select file from Files where fileID=?").addTextParam(fileId));
    const bool had = c.moveNext() && MBFileArchive::decode(c.getBlob(0), f, false, false);
    if (!had) {
        f = MBFileArchive::Fields();
        f.mode = kFileMode;
        f.userId = f.groupId = kMobileUserId;
        f.birth = m_now;
    }
    f.relativePath = s.req.relativePath.toUtf8();
    f.size = s.size;
    f.lastModified = f.lastStatusChange = m_now;
    f.protectionClass = s.protectionClass;
    f.encryptionKey = s.keyBlob;
    // Not every manifest declares fileID unique: remove the old row explicitly.
    db.executeThrow(Sqlite3Sql("delete from Files where fileID=?").addTextParam(fileId));
    db.executeThrow(
        Sqlite3Sql("insert into Files(fileID, domain, relativePath, flags, file) values(?,?,?,?,?)")
            .addTextParam(fileId)
            .addTextParam(s.req.domain)
            .addTextParam(s.req.relativePath)
            .addIntParam(kRecordFile)
            .addBlobParam(MBFileArchive::encode(f)));
}

// Parent folders the manifest lacks get records of their own.
void BackupWriter::addMissingFoldersThrow(Sqlite3DB& db, const Staged& s)
{
    QStringList parts = s.req.relativePath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (!parts.isEmpty())
        parts.removeLast();
    QString folder;
    for (const QString& part : std::as_const(parts)) {
        folder = folder.isEmpty() ? part : folder + QLatin1Char('/') + part;
        const QString folderId = MBDBParser::backupFileName(s.req.domain, folder);
        if (db.queryThrow(Sqlite3Sql("select 1 from Files where fileID=?").addTextParam(folderId)).moveNext())
            continue;
        MBFileArchive::Fields d;
        d.relativePath = folder.toUtf8();
        d.mode = kFolderMode;
        d.userId = d.groupId = kMobileUserId;
        d.birth = d.lastModified = d.lastStatusChange = m_now;
        db.executeThrow(
            Sqlite3Sql("insert into Files(fileID, domain, relativePath, flags, file) values(?,?,?,?,?)")
                .addTextParam(folderId)
                .addTextParam(s.req.domain)
                .addTextParam(folder)
                .addIntParam(kRecordFolder)
                .addBlobParam(MBFileArchive::encode(d)));
    }
}

// ---- commit and roll back

// The staged files on the disk, then the record of each with the content of its temporary.
void BackupWriter::recordStagedThrow()
{
    QStringList folders;
    // Built apart, so that an undo after a failure here still knows every temporary of the write.
    QList<BackupWriteRecord::Entry> files;
    ContentDigest::Sum manifestStaged;
    for (const Replacement& rep : std::as_const(m_replacements)) {
        if (!m_folder->syncFile(rep.temp))
            fail(QStringLiteral("Cannot write %1. %2").arg(rep.temp, systemText()));
        if (rep.target == m_manifestPath)
            manifestStaged = rep.staged;
        else {
            files.append(m_planned.value(rep.target, BackupWriteRecord::Entry { rep.target }));
            files.last().staged = rep.staged;
            files.last().placed = quint64(rep.written.ino);
        }
        const QString folder = QFileInfo(rep.temp).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
    }
    for (const QString& folder : std::as_const(folders))
        if (!m_folder->syncFolder(folder))
            fail(QStringLiteral("Cannot write %1. %2").arg(folder, systemText()));
    if (!m_log.isEmpty())
        files.append(m_planned.value(m_log));
    m_record->files = files;
    m_record->manifestStaged = manifestStaged;
    m_record->writeThrow(*m_folder, true);
}

// The staged file replaces its target in one step; an old file stays reachable beside it (a link,
// or moved aside where the file system has no links) until the manifest is committed. The target
// must still be as planned: no file where there was none, else the old content; the temporary must
// still be the file staged, checked right before it goes in place.
void BackupWriter::putInPlaceThrow(const Replacement& rep)
{
    const auto staged = [&] { checkStagedThrow(rep); };
    const BackupWriteRecord::Entry planned = m_planned.value(rep.target);
    if (!planned.existed) {
        if (!m_folder->renameNoReplace(rep.temp, rep.target, staged))
            errno == EEXIST ? fail(BackupWriteNames::changedText(rep.target)) : failOverwrite(rep.target);
        return;
    }
    // The name of the old file was freed at planning: whatever stands there now is not this write's.
    const bool linked = m_folder->link(rep.target, BackupWriteNames::asideOf(rep.target));
    if (!linked && errno == ENOENT)
        fail(BackupWriteNames::changedText(rep.target));
    if (!linked && errno == EEXIST)
        failOverwrite(rep.target);
    if (!linked)
        moveAsideThrow(rep.target);
    const BackupWriteNames::Stamp old = checkAsideThrow(rep.target, planned.old, linked);
    if (!linked) {
        if (!m_folder->renameNoReplace(rep.temp, rep.target, staged))
            errno == EEXIST ? fail(BackupWriteNames::changedText(rep.target)) : failOverwrite(rep.target);
        return;
    }
    const BackupWriteNames::Put put = m_folder->replace(rep.temp, rep.target, staged);
    if (put == BackupWriteNames::Put::Failed)
        errno == ENOENT ? fail(BackupWriteNames::changedText(rep.target)) : failOverwrite(rep.target);
    if (put == BackupWriteNames::Put::Exchanged)
        checkTakenOutThrow(rep, old);
}

// Where the file system has no links the target is moved aside, and stands vacant until the staged
// file takes its place: only while the record in place is this write's, which names where it went.
void BackupWriter::moveAsideThrow(const QString& target)
{
    const QString record = m_manifest.dir.absoluteFilePath(BackupWriteRecord::fileName());
    if (!m_record->inPlace(*m_folder))
        fail(BackupWriteNames::changedText(record));
    if (!m_folder->renameNoReplace(target, BackupWriteNames::asideOf(target)))
        errno == ENOENT ? fail(BackupWriteNames::changedText(target)) : failOverwrite(target);
}

// The old file just kept aside holds what target held when the write was planned; if not, it is
// another program's and goes back: a second name goes, a file moved aside goes back where nothing
// took its place (else it stays, and the log names it). Which file was checked, as it was read.
BackupWriteNames::Stamp BackupWriter::checkAsideThrow(
    const QString& target, const ContentDigest::Sum& old, bool linked)
{
    const QString aside = BackupWriteNames::asideOf(target);
    QFile in;
    BackupWriteNames::Stamp read;
    if (m_folder->openRead(in, aside, nullptr) && holds(in, old, read))
        return read;
    in.close();
    const bool second = linked && m_folder->stampOf(aside).sameFile(m_folder->stampOf(target));
    if (!(second ? m_folder->removeIfPresent(aside) : m_folder->renameNoReplace(aside, target)))
        qWarning("Kept %s: another program changed %s while a write was under way.", qUtf8Printable(aside),
            qUtf8Printable(target));
    fail(BackupWriteNames::changedText(target));
}

// The temporary about to go in place is still the file this write staged there (its name is this
// write's alone): the same file, not written since.
void BackupWriter::checkStagedThrow(const Replacement& rep) const
{
    if (!m_folder->stampOf(rep.temp).unchangedSince(rep.written))
        fail(BackupWriteNames::changedText(rep.temp));
}

// What the exchange took out of the target, now at the temporary's name, is the old file checked
// aside (that link keeps it until the commit, and this name goes). Else another program put its
// file in place after the check: it goes back, and this write's second name of the file it
// replaced goes.
void BackupWriter::checkTakenOutThrow(const Replacement& rep, const BackupWriteNames::Stamp& old)
{
    if (m_folder->stampOf(rep.temp).unchangedSince(old, true)) {
        m_folder->removeIfPresent(rep.temp); // else settling removes it
        return;
    }
    const QString aside = BackupWriteNames::asideOf(rep.target);
    if (m_folder->exchange(rep.temp, rep.target) && m_folder->stampOf(aside).sameFile(old))
        m_folder->removeIfPresent(aside);
    fail(BackupWriteNames::changedText(rep.target));
}

// The log of a plain Manifest.db goes aside with the old files (the staged manifest holds its rows)
// and comes back if the write is undone.
void BackupWriter::moveLogAsideThrow()
{
    if (m_log.isEmpty())
        return;
    if (!m_folder->renameNoReplace(m_log, BackupWriteNames::asideOf(m_log)))
        errno == ENOENT ? fail(BackupWriteNames::changedText(m_log)) : failOverwrite(m_log);
    checkAsideThrow(m_log, m_planned.value(m_log).old, false);
}

// The manifest in place is still the one the write replaces, read when it was planned (for an
// encrypted one, the one its copy decrypted at loading came from: else the object no longer
// describes the backup, and is to be loaded again).
void BackupWriter::checkManifestThrow()
{
    QFile in;
    if (m_folder->openRead(in, m_manifestPath, nullptr)
        && holds(in, m_record->manifestReplaced, m_manifestChecked))
        return;
    failManifestChanged();
}

void BackupWriter::failManifestChanged()
{
    if (!m_manifest.hasManifestKey())
        fail(BackupWriteNames::changedText(m_manifestPath));
    m_manifest.noteChangedOnDisk();
    fail(m_manifest.changedText());
}

// The commit: the new manifest takes the place of the old in one step, so there always is one. The
// last checks run right before it; what an exchange takes out must be the manifest checked.
bool BackupWriter::putManifestInPlaceThrow(const Replacement& rep)
{
    const BackupWriteNames::Put put = m_folder->replace(rep.temp, m_manifestPath, [&] {
        checkStagedThrow(rep);
        checkFoldersThrow();
        checkLogThrow();
        checkLockFileThrow();
    });
    if (put == BackupWriteNames::Put::Failed)
        errno == ENOENT ? failManifestChanged() : failOverwrite(m_manifestPath);
    if (put == BackupWriteNames::Put::Exchanged)
        checkManifestTakenOutThrow(rep);
    m_committed = true;
    return put == BackupWriteNames::Put::Exchanged;
}

// What the exchange took out, now at the temporary's name, is the manifest checked; else another
// program's goes back. Gone, it was settled away as the manifest this write replaced (by a second
// write that took this one for stopped, where the lock file was removed): the write stands.
void BackupWriter::checkManifestTakenOutThrow(const Replacement& rep)
{
    const BackupWriteNames::Stamp out = m_folder->stampOf(rep.temp);
    if (out.unchangedSince(m_manifestChecked, true))
        return;
    if (!out.present() && !m_record->inPlace(*m_folder)) {
        qWarning("The manifest %s replaced was settled away by another write meanwhile.",
            qUtf8Printable(m_manifestPath));
        return;
    }
    m_folder->exchange(rep.temp, m_manifestPath);
    failManifestChanged();
}

// A plain Manifest.db is in no other program's use: a log beside it now (the old one went aside), a
// shared memory file other than the one at planning, a journal that holds a transaction or a lock
// of SQLite's on it or on its log's index is another program's that has it open, whose rows would
// be lost, or whose log or journal would be read into the new manifest.
void BackupWriter::checkLogThrow() const
{
    if (m_manifest.isMbdb() || m_manifest.hasManifestKey())
        return;
    const QString log = ManifestWalCopy::logOf(m_manifestPath);
    if (m_folder->present(log))
        fail(BackupWriteNames::changedText(log));
    checkInUseThrow();
    const BackupWriteNames::Stamp shared = m_folder->stampOf(sharedMemoryOf());
    if (shared.present() != m_sharedMemory.present()
        || (shared.present() && !shared.sameFile(m_sharedMemory)))
        fail(BackupWriteNames::changedText(sharedMemoryOf()));
}

// A program under way holds its lock while its journal holds a transaction: one without that lock
// was stopped in the middle, and SQLite takes its change back at the next opening. What is no file
// at the journal's name keeps SQLite from opening the manifest at all. Opening the manifest with
// SQLite is advised only where SQLite then reads no other file: not for a journal that names the
// journal of a change to several databases (which SQLite would open, and may remove), nor through a
// link at either name.
void BackupWriter::checkJournalThrow() const
{
    const QString manifest = QDir::toNativeSeparators(m_manifestPath);
    const QString journal = QDir::toNativeSeparators(RollbackJournal::pathOf(m_manifestPath));
    const auto isFile = [](const QString& path) {
        struct stat st;
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
    };
    QString why;
    const RollbackJournal::State state = RollbackJournal::stateOf(m_manifestPath, &why);
    switch (state) {
    case RollbackJournal::State::None:
        return;
    case RollbackJournal::State::Holds:
    case RollbackJournal::State::HoldsJoint: {
        const bool advise = state == RollbackJournal::State::Holds && isFile(m_manifestPath)
            && isFile(RollbackJournal::pathOf(m_manifestPath));
        const QString what = advise
            ? QStringLiteral("Opening %1 with SQLite (the sqlite3 tool, say) takes that change back")
                  .arg(manifest)
            : QStringLiteral("Let that program finish or take back its change");
        fail(
            QStringLiteral("Another program stopped in the middle of a change to %1 and left its journal %2: "
                           "nothing was written. %3; then try again.")
                .arg(manifest, journal, what));
    }
    case RollbackJournal::State::Stale:
        fail(QStringLiteral("%2 is left over from a change another program made to %1 and other files "
                            "together: nothing was written, for SQLite could still play it back into the new "
                            "manifest. Move %2 out of the backup; then try again.")
                 .arg(manifest, journal));
    case RollbackJournal::State::NotAFile:
        fail(QStringLiteral(
            "%1 is not a file but stands where SQLite looks for the journal of %2: nothing was "
            "written while it is there. Move it away; then try again.")
                 .arg(journal, manifest));
    case RollbackJournal::State::Unreadable:
        fail(QStringLiteral("Cannot read %1. %2").arg(journal, why));
    case RollbackJournal::State::Foreign:
        // Its owner may fill it at any time: SQLite would then play it back into the new manifest.
        fail(QStringLiteral("%1; nothing was written, for SQLite could play it back into the new manifest.")
                 .arg(why));
    }
}

void BackupWriter::commitThrow()
{
    recordStagedThrow();
    // The last look at a cancel, while the backup's files are still as they were.
    if (m_mayCommit ? !m_mayCommit() : m_cancelled && m_cancelled())
        failCancelled();
    QStringList folders;
    const Replacement* manifest = nullptr;
    for (const Replacement& rep : std::as_const(m_replacements)) {
        if (rep.target == m_manifestPath) {
            manifest = &rep;
            continue;
        }
        putInPlaceThrow(rep);
        const QString folder = QFileInfo(rep.target).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
    }
    moveLogAsideThrow();
    // The renames on the disk before the manifest that describes them.
    for (const QString& folder : std::as_const(folders))
        if (!m_folder->syncFolder(folder))
            fail(QStringLiteral("Cannot write %1. %2").arg(folder, systemText()));
    if (!m_log.isEmpty() && !m_folder->syncFolder(m_manifest.dir.absolutePath()))
        fail(QStringLiteral("Cannot write %1. %2").arg(m_manifest.dir.absolutePath(), systemText()));
    checkManifestThrow();
    const bool exchanged = putManifestInPlaceThrow(*manifest);
    m_manifestWritten = m_record->manifestStaged;
    confirmThrow(exchanged ? manifest->temp : QString());
    // The old files kept aside go, then the record; where they cannot (a folder swapped meanwhile),
    // the next opening of the backup settles them.
    if (!BackupWriteSettlement::settleOwn(*m_folder, *m_record, true))
        failUnconfirmed(
            QStringLiteral("the old files it kept aside could not be removed (the log says why)"));
    m_record.reset();
}

// The manifest's put-in reaches the disk, then the old manifest an exchange took out goes: only then
// is the write done. A step that fails leaves the record and the old files for the next opening of
// the backup to settle, as the write may or may not be on the disk.
void BackupWriter::confirmThrow(const QString& oldManifest)
{
    if (!m_folder->syncFolder(m_manifest.dir.absolutePath()))
        failUnconfirmed(QStringLiteral("its folder could not be synced. %1").arg(systemText()));
    if (!oldManifest.isEmpty() && !m_folder->removeIfPresent(oldManifest)) {
        const QString why = systemText();
        failUnconfirmed(
            QStringLiteral("the manifest it replaced, which now stands as %1, could not be removed. %2")
                .arg(QDir::toNativeSeparators(oldManifest), why));
    }
}

// The write is in place but not known to be on the disk whole: its record and old files stay for
// the next opening of the backup to settle.
void BackupWriter::failUnconfirmed(const QString& why)
{
    m_record.reset();
    throw BackupManifest::WriteNotConfirmed(
        QStringLiteral("Cannot confirm that the write into %1 reached the disk: %2. What was written may "
                       "not be there; the backup is checked when it is next opened.")
            .arg(QDir::toNativeSeparators(m_manifest.dir.absolutePath()), why)
            .toStdString());
}

// Every stored-file folder the write reached is still the one it reached, and the backup folder's
// path still leads to the folder the write holds: else the manifest would describe files elsewhere.
void BackupWriter::checkFoldersThrow() const
{
    const QString changed = m_folder->changedFolder();
    if (!changed.isEmpty())
        fail(changed);
}

// A plain Manifest.db is in no other program's use: a lock of SQLite's on it or on its log's index,
// or a journal that holds a transaction, is another program's that has it open or stopped in it.
void BackupWriter::checkInUseThrow() const
{
    if (m_manifest.isMbdb() || m_manifest.hasManifestKey())
        return;
    // A connection in WAL mode holds its lock on the log's index as long as it is open.
    if (m_folder->lockedByAnother(m_manifestPath, kDbLocks.start, kDbLocks.length)
        || m_folder->lockedByAnother(sharedMemoryOf(), kIndexLocks.start, kIndexLocks.length))
        fail(QStringLiteral("Another program is using %1: nothing was written. Close it and try again.")
                 .arg(QDir::toNativeSeparators(m_manifestPath)));
    checkJournalThrow();
}

void BackupWriter::checkNotInUseThrow(BackupManifest& manifest)
{
    BackupWriter writer(manifest, {}, {});
    writer.m_manifestPath = manifest.dir.absoluteFilePath(QStringLiteral("Manifest.db"));
    writer.m_folder = std::make_unique<BackupWriteFolder>(manifest.dir);
    if (writer.m_folder->isOpen()) // else what reads the backup next says why
        writer.checkInUseThrow();
}

// Where a lock file keeps the other writes out, it is still this write's: else another may be
// under way, and this one is not committed over it.
void BackupWriter::checkLockFileThrow() const
{
    const QString lost = m_lock ? m_lock->lostLockFile() : QString();
    if (!lost.isEmpty())
        fail(QStringLiteral("Another program removed or replaced the lock file %1 while this write was "
                            "under way: nothing was written.")
                 .arg(lost));
}

// The log (-wal) beside a plain Manifest.db: the new manifest holds its rows, read from the
// private copy that took them in; empty when there is none.
QString BackupWriter::staleLog() const
{
    if (m_manifest.isMbdb() || m_manifest.hasManifestKey())
        return QString();
    const QString log = ManifestWalCopy::logOf(m_manifestPath);
    return m_folder->present(log) ? log : QString();
}

// Undone from what this write knows of itself: the record in place may be another write's. What
// it staged in a folder another program moved away is out of settling's reach, and goes here.
void BackupWriter::rollBack()
{
    if (m_record)
        BackupWriteSettlement::settleOwn(*m_folder, *m_record, false);
    if (m_folder)
        m_folder->removeStrayOwn();
    m_record.reset();
    m_replacements.clear();
}

std::unique_ptr<QTemporaryDir> BackupWriter::takeUpdatedCopy()
{
    if (m_newPlainDb.isEmpty())
        return nullptr;
    m_newPlainDb.clear();
    return std::move(m_work);
}
