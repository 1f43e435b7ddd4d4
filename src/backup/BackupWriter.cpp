#include "backup/BackupWriter.h"

#include "app/Clock.h"
#include "app/OutputFile.h"
#include "app/sqlite/Sqlite3DB.h"
#include "backup/BackupCrypto.h"
#include "backup/BackupFolderLock.h"
#include "backup/BackupWriteJournal.h"
#include "backup/MBFileArchive.h"
#include "backup/ManifestWalCopy.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <sqlite3.h>
#include <stdexcept>

namespace
{

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

QString systemText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

BackupWriter::BackupWriter(BackupManifest& manifest, Progress progress, Cancelled cancelled)
    : m_manifest(manifest)
    , m_progress(std::move(progress))
    , m_cancelled(std::move(cancelled))
    , m_now(quint32(Clock::secsSinceEpoch()))
{
}

BackupWriter::~BackupWriter()
{
    if (!m_committed)
        rollBack();
}

void BackupWriter::copyFileThrow(const QString& from, const QString& to, ContentDigest* written)
{
    QFile::remove(to);
    if (written) {
        QFile in(from);
        QFile out(to);
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            fail(QStringLiteral("Cannot copy %1 to %2.").arg(from, to));
        QByteArray buf(64 * 1024, Qt::Uninitialized);
        qint64 n = 0;
        while ((n = in.read(buf.data(), buf.size())) > 0 && out.write(buf.constData(), n) == n)
            written->add(buf.constData(), n);
        if (n != 0 || !out.flush())
            fail(QStringLiteral("Cannot copy %1 to %2.").arg(from, to));
    } else if (!QFile::copy(from, to))
        fail(QStringLiteral("Cannot copy %1 to %2.").arg(from, to));
    QFile::setPermissions(to, QFile::permissions(to) | QFile::WriteOwner | QFile::ReadOwner);
}

void BackupWriter::encryptFileThrow(
    const QByteArray& key, const QString& from, const QString& to, ContentDigest* written)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Cannot read %1. %2").arg(from, in.errorString()));
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("Cannot create %1. %2").arg(to, out.errorString()));
    BackupCrypto::encryptStream(key, in, out, written);
    if (!out.flush())
        fail(QStringLiteral("Cannot write %1. %2").arg(to, out.errorString()));
}

BackupWriter::Replacement& BackupWriter::addReplacement(const QString& target)
{
    Replacement rep;
    rep.target = target;
    rep.temp = BackupWriteJournal::tempOf(target);
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
    if (!QFileInfo::exists(m_manifestPath))
        fail(QStringLiteral("Cannot find %1.").arg(m_manifestPath));
    m_lock = std::make_unique<BackupFolderLock>(dir, BackupFolderLock::Mode::Exclusive);
    m_manifest.settleEarlierWriteThrow();
    // The new manifest is made from the one loaded: over a newer one it would drop its records.
    m_manifest.checkLoadedThrow();
    planThrow(items);
    for (int i = 0; i < items.size(); ++i) {
        if (m_cancelled && m_cancelled())
            fail(QStringLiteral("Writing into the backup was cancelled; the backup is unchanged."));
        if (m_progress)
            m_progress(i, items[i].relativePath);
        stageFileThrow(items[i]);
    }
}

// The record of what this write may leave in the backup, before it leaves anything.
void BackupWriter::planThrow(const QList<BackupManifest::WriteRequest>& items)
{
    const QDir& dir = m_manifest.dir;
    auto journal = std::make_unique<BackupWriteJournal>(dir, QFileInfo(m_manifestPath).fileName());
    QFile manifest(m_manifestPath);
    if (manifest.open(QIODevice::ReadOnly))
        journal->manifestReplaced = ContentDigest::of(manifest);
    if (!journal->manifestReplaced.known())
        fail(QStringLiteral("Cannot read %1. %2").arg(m_manifestPath, manifest.errorString()));
    for (const BackupManifest::WriteRequest& r : items) {
        const QString name = MBDBParser::backupFileName(r.domain, r.relativePath);
        const QString sub = dir.absoluteFilePath(name.left(2));
        if (!m_manifest.isMbdb() && !QFileInfo::exists(sub) && !journal->folders.contains(sub))
            journal->folders.append(sub);
        journal->files.append({ MBDBParser::getBKFilePath(dir, name, false), {} });
    }
    if (!staleLog().isEmpty())
        journal->files.append({ staleLog(), {} });
    journal->writeThrow();
    m_journal = std::move(journal);
}

void BackupWriter::stageFileThrow(const BackupManifest::WriteRequest& r)
{
    const QString name = MBDBParser::backupFileName(r.domain, r.relativePath);
    Staged s;
    s.req = r;
    s.target = MBDBParser::getBKFilePath(m_manifest.dir, name, true);
    if (QFileInfo::exists(s.target) && !r.overwrite)
        return;
    QFile in(r.sourceFile);
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Cannot read %1. %2").arg(r.sourceFile, in.errorString()));
    const QString temp = addReplacement(s.target).temp;
    QFile out(temp);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("Cannot create %1. %2").arg(temp, out.errorString()));
    const BackupManifest::_FileNode* existing = m_manifest.findNode(r.domain, r.relativePath);
    ContentDigest written;
    if (m_manifest.IsEncrypted)
        encryptInto(s, existing, in, out, written);
    else {
        s.protectionClass = existing ? existing->item.protectionClass
                                     : (r.useSecondClassKey ? kClassUntilFirstUnlock : kClassNone);
        copyInto(s, in, out, temp, written);
    }
    if (!out.flush())
        fail(QStringLiteral("Cannot write %1. %2").arg(temp, out.errorString()));
    m_replacements.last().staged = written.sum();
    m_staged.append(s);
}

void BackupWriter::encryptInto(Staged& s, const BackupManifest::_FileNode* existing, QIODevice& in,
    QIODevice& out, ContentDigest& written)
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
    s.size = BackupCrypto::encryptStream(key, in, out, &written);
}

void BackupWriter::copyInto(
    Staged& s, QIODevice& in, QIODevice& out, const QString& outName, ContentDigest& written)
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    QByteArray buf(8192, Qt::Uninitialized);
    for (qint64 n; (n = in.read(buf.data(), buf.size())) > 0;) {
        if (out.write(buf.constData(), n) != n)
            fail(QStringLiteral("Cannot write %1. %2").arg(outName, out.errorString()));
        h.addData(QByteArrayView(buf.constData(), n));
        written.add(buf.constData(), n);
        s.size += n;
    }
    s.sha1 = h.result();
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
}

void BackupWriter::updateMbdbThrow(const QString& temp, ContentDigest& written)
{
    QList<MBDBParser::_MBDBItem> records = MBDBParser::parseFileThrow(m_manifestPath);
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
    QFile out(temp);
    const QByteArray bytes = MBDBParser::serialize(records);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size()
        || !out.flush())
        fail(QStringLiteral("Cannot write %1. %2").arg(temp, out.errorString()));
    written.add(bytes);
}

void BackupWriter::updateManifestDbThrow(const QString& temp, ContentDigest& written)
{
    if (m_manifest.hasManifestKey() && !m_manifest.m_plainDir)
        fail(QStringLiteral("The backup in %1 is locked: its manifest cannot be read.")
                 .arg(m_manifest.dir.absolutePath()));
    m_work = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/qm-write-XXXXXX"));
    m_newPlainDb = m_work->filePath(QStringLiteral("Manifest.db"));
    // A plain manifest's log is taken in as it is now: it is moved aside at the commit.
    const std::unique_ptr<QTemporaryDir> logged
        = m_manifest.hasManifestKey() ? nullptr : ManifestWalCopy::takeThrow(m_manifestPath);
    copyFileThrow(
        logged ? logged->filePath(QStringLiteral("Manifest.db")) : m_manifest.readableManifestDbPath(),
        m_newPlainDb);
    {
        Sqlite3DB db;
        db.openThrow(m_newPlainDb, SQLITE_OPEN_READWRITE);
        db.beginTran();
        for (const Staged& s : std::as_const(m_staged)) {
            replaceDbRecordThrow(db, s);
            addMissingFoldersThrow(db, s);
        }
        db.commitTran();
        db.close();
    }
    if (m_manifest.hasManifestKey())
        encryptFileThrow(m_manifest.manifestKey(), m_newPlainDb, temp, &written);
    else
        copyFileThrow(m_newPlainDb, temp, &written);
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
    m_journal->files.clear();
    for (const Replacement& rep : std::as_const(m_replacements)) {
        if (!OutputFile::syncPath(rep.temp))
            fail(QStringLiteral("Cannot write %1. %2").arg(rep.temp, systemText()));
        if (rep.target == m_manifestPath)
            m_journal->manifestStaged = rep.staged;
        else
            m_journal->files.append({ rep.target, rep.staged });
        const QString folder = QFileInfo(rep.temp).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
    }
    for (const QString& folder : std::as_const(folders))
        if (!OutputFile::syncPath(folder))
            fail(QStringLiteral("Cannot write %1. %2").arg(folder, systemText()));
    if (!staleLog().isEmpty())
        m_journal->files.append({ staleLog(), {} });
    m_journal->writeThrow();
}

// The staged file replaces its target in one rename; an old file stays reachable beside it (a
// link, or moved aside where the file system has no links) until the manifest is committed.
void BackupWriter::putInPlaceThrow(const Replacement& rep)
{
    const QString aside = BackupWriteJournal::asideOf(rep.target);
    if (QFileInfo::exists(rep.target)) {
        if (!BackupWriteJournal::removeIfPresent(aside)
            || (!BackupWriteJournal::link(rep.target, aside)
                && !BackupWriteJournal::rename(rep.target, aside)))
            fail(QStringLiteral("can not overwrite %1").arg(rep.target));
    }
    if (!BackupWriteJournal::rename(rep.temp, rep.target))
        fail(QStringLiteral("can not overwrite %1").arg(rep.target));
}

void BackupWriter::commitThrow()
{
    recordStagedThrow();
    for (const Replacement& rep : std::as_const(m_replacements))
        if (rep.target != m_manifestPath)
            putInPlaceThrow(rep);
    // The old manifest's log would be read into the new one: it goes aside with the old files
    // (its rows are in the new manifest), and comes back if the write is undone.
    const QString log = staleLog();
    if (!log.isEmpty() && !BackupWriteJournal::rename(log, BackupWriteJournal::asideOf(log)))
        fail(QStringLiteral("can not overwrite %1").arg(log));
    // The commit: the new manifest takes the place of the old in one step, so there always is one.
    const QString manifestTemp = BackupWriteJournal::tempOf(m_manifestPath);
    if (!BackupWriteJournal::rename(manifestTemp, m_manifestPath))
        fail(QStringLiteral("can not overwrite %1").arg(m_manifestPath));
    m_committed = true;
    OutputFile::syncPath(m_manifest.dir.absolutePath());
    BackupWriteJournal::settleCommitted(m_manifest.dir); // the old files kept aside go, then the record
    m_journal.reset();
}

// The log (-wal) beside a plain Manifest.db: the new manifest holds its rows, read from the
// private copy that took them in; empty when there is none.
QString BackupWriter::staleLog() const
{
    if (m_manifest.isMbdb() || m_manifest.hasManifestKey())
        return QString();
    const QString log = ManifestWalCopy::logOf(m_manifestPath);
    return QFileInfo::exists(log) ? log : QString();
}

void BackupWriter::rollBack()
{
    if (m_journal)
        BackupWriteJournal::settle(m_manifest.dir);
    m_journal.reset();
    m_replacements.clear();
}
