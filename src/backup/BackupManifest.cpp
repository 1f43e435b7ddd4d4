#include "backup/BackupManifest.h"

#include "app/DataPaths.h"
#include "app/FolderAccess.h"
#include "app/OutputFile.h"
#include "app/PathHook.h"
#include "app/RegularFile.h"
#include "app/RunFolder.h"
#include "app/TaskCancel.h"
#include "app/sqlite/Sqlite3DB.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BackupFileCopy.h"
#include "backup/ManifestConnection.h"
#include "backup/ManifestDbReader.h"
#include "backup/ManifestDecryption.h"
#include "backup/ManifestWalCopy.h"
#include "backup/RecordPath.h"
#include "backup/StoredFile.h"
#include "backup/StoredFileCopy.h"
#include "backup/StoredFilesCipher.h"
#include "backup/WellKnownFiles.h"
#include "backup/lock/BackupFolderLock.h"
#include "backup/write/BackupWriteNames.h"
#include "backup/write/BackupWriteRecord.h"
#include "backup/write/BackupWriteSettlement.h"
#include "backup/write/BackupWriter.h"
#include "device/PlistCFType.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>
#include <bitset>
#include <deque>
#include <optional>
#include <sqlite3.h>
#include <stdexcept>

namespace
{

BackupManifest::UnlockRunner& unlockRunner()
{
    static BackupManifest::UnlockRunner runner;
    return runner;
}

PathHook& beforeUnlock()
{
    static PathHook hook;
    return hook;
}

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

// Whether the file at path is whole cipher blocks as the device's encryption leaves a Manifest.db:
// no file's beginning, and its first bytes as varied as a cipher's. Zeros, text or another file in
// its place are damage, not encryption.
bool looksEncrypted(const QString& path)
{
    constexpr int kHead = 512;
    QFile f;
    if (!RegularFile::openRead(f, path, nullptr) || f.size() < kHead || f.size() % 16 != 0)
        return false;
    const QByteArray head = f.read(kHead);
    if (head.size() < kHead || StoredFile::beginsAsAFile(head))
        return false;
    std::bitset<256> seen;
    for (const char c : head)
        seen.set(uchar(c));
    // 512 bytes of a cipher show about 220 of the 256 values; a file's structure far fewer.
    return seen.count() >= 128;
}

// A FIFO or device under a manifest's name would keep its reading waiting for ever.
void requireRegularThrow(const QString& path)
{
    QFile f;
    QString why;
    if (!RegularFile::openRead(f, path, &why))
        fail(QStringLiteral("Cannot read %1. %2").arg(QDir::toNativeSeparators(path), why));
}

// Settles a write an earlier run left, under the exclusive hold. A write under way holds that
// itself from before its record is written, so a reader never undoes it from under its writer.
bool settleLeftoverHeld(const QDir& dir, QStringList& named)
{
    if (!BackupWriteRecord::pending(dir))
        return true;
    const BackupFolderLock settling(dir, BackupFolderLock::Mode::Exclusive);
    return BackupWriteSettlement::settleLeftover(dir, &named);
}

} // namespace

// Lookup tables used while the tree is built; dropped afterwards.
struct BackupManifest::DomainEntry {
    _FileNode* node = nullptr;
    QHash<QByteArray, _FileNode*> folders; // folder path -> node
};

struct BackupManifest::TreeBuilder {
    std::deque<DomainEntry> entries;
    QHash<QString, DomainEntry*> domains;
    QHash<QByteArray, DomainEntry*> domainsUtf8;
    _FileNode* lastParent = nullptr;
    _FileNode* lastParentDomain = nullptr;
};

QString BackupManifest::_FileNode::name() const
{
    const QByteArray& p = item.pathUtf8;
    int end = p.size();
    while (end > 0 && p[end - 1] == '/')
        --end;
    if (end == 0)
        return item.domain;
    const int start = p.lastIndexOf('/', end - 1) + 1;
    const QByteArray last = p.mid(start, end - start);
    if (last == "." || last == "..")
        return QString(last.size(), QLatin1Char('_'));
    return QString::fromUtf8(last);
}

void BackupManifest::setUnlockRunner(UnlockRunner runner)
{
    unlockRunner() = std::move(runner);
}

void BackupManifest::setBeforeUnlock(std::function<void(const QString& folder)> hook)
{
    beforeUnlock().set(std::move(hook));
}

BackupManifest::BackupManifest(QString path, QObject* parent)
    : QObject(parent)
    , dir(path)
    , m_connection(std::make_unique<ManifestConnection>())
{
    m_root.item.mode = MBDBParser::kModeFolder | 0755;
    m_root.implied = true;
}

BackupManifest::~BackupManifest() = default;

QString BackupManifest::dirPathMd5() const
{
    return g_pathHash(dir.absolutePath());
}

bool BackupManifest::isMbdb() const
{
    return dir.exists(QStringLiteral("Manifest.mbdb"));
}

QString BackupManifest::readableManifestDbPath() const
{
    if (m_plainDir)
        return m_plainDir->filePath(QStringLiteral("Manifest.db"));
    return dir.absoluteFilePath(QStringLiteral("Manifest.db"));
}

void BackupManifest::readManifestInfo()
{
    const QString plistPath = dir.absoluteFilePath(QStringLiteral("Manifest.plist"));
    // A folder the user may not read shows no Manifest.plist: its reason is told instead.
    QString refused;
    if (FolderAccess::stateOf(dir.absolutePath(), &refused) == FolderAccess::State::Refused)
        fail(refused);
    if (!QFileInfo(dir.absolutePath()).isDir())
        fail(QStringLiteral("Cannot find the backup folder %1.").arg(dir.absolutePath()));
    if (!QFileInfo::exists(plistPath))
        fail(QStringLiteral("Cannot find %1. This folder is not a device backup.").arg(plistPath));
    m_infoStamp = BackupCacheCopy::stampOf(plistPath);
    QFile f;
    QString why;
    QByteArray bytes;
    // A read that fails (a failing disk) is told as such, never as a damaged file.
    if (!RegularFile::openRead(f, plistPath, &why))
        fail(QStringLiteral("Cannot read %1. %2").arg(plistPath, why));
    switch (PlistCFType::readFileBounded(f, &bytes, &why)) {
    case PlistCFType::FileRead::Read:
        break;
    case PlistCFType::FileRead::Failed:
        fail(QStringLiteral("Cannot read %1. %2").arg(plistPath, why));
    case PlistCFType::FileRead::TooLarge:
        fail(PlistCFType::tooLargeText(plistPath));
    }
    bool tooLarge = false;
    const PlistCFType plist = PlistCFType::createCFPropertyList(bytes, &tooLarge);
    if (tooLarge)
        fail(PlistCFType::expandsTooFarText(plistPath));
    if (!plist.isCFDictionary())
        fail(QStringLiteral("%1 is damaged: it is not a readable property list.").arg(plistPath));
    const PlistCFType lockdown = plist.get(QStringLiteral("Lockdown"));
    if (!lockdown.isCFDictionary())
        fail(QStringLiteral("%1 is damaged: it has no device identity (Lockdown).").arg(plistPath));
    auto text = [&](const char* key) {
        const PlistCFType v = lockdown.get(QString::fromLatin1(key));
        return v.isCFString() ? v.CFStringQString() : QString();
    };
    UniqueDeviceID = text("UniqueDeviceID");
    DeviceName = text("DeviceName");
    ProductType = text("ProductType");
    ProductVersion = text("ProductVersion");
    SerialNumber = text("SerialNumber");
    BuildVersion = text("BuildVersion");
    IsEncrypted = plist.get(QStringLiteral("IsEncrypted")).CFNumberBool(false);
    const PlistCFType ver = plist.get(QStringLiteral("Version"));
    version = ver.isCFString() ? ver.CFStringQString() : QString();
    const PlistCFType d = plist.get(QStringLiteral("Date"));
    date = d.isCFDate() ? d.CFDateToDateTime(0) : QDateTime();
    const QFileInfo status(dir.absoluteFilePath(QStringLiteral("Status.plist")));
    if (status.exists())
        date = status.lastModified();

    const QString folderName = QFileInfo(dir.absolutePath()).fileName();
    if (!UniqueDeviceID.isEmpty() && folderName.contains(UniqueDeviceID))
        displayName = QString(folderName).replace(UniqueDeviceID, DeviceName);
    else
        displayName = DeviceName + QLatin1Char('-') + folderName;

    readEncryptionThrow(plist, plistPath);
    m_infoRead = true;
}

void BackupManifest::closeManifestDb()
{
    m_connection->close();
}

// Whether the stored files need the password is told by their bytes, not by IsEncrypted alone: tools
// that decrypt a backup, or only its manifest, set the flag false (and users copy such a
// Manifest.plist over another), and some leave it true over files they decrypted. An encrypted
// Manifest.db speaks for itself.
void BackupManifest::readEncryptionThrow(const PlistCFType& plist, const QString& plistPath)
{
    m_keyBag.reset();
    m_manifestKeyBlob.clear();
    m_connection->close();
    m_plainDir.reset();
    m_password.clear();
    m_decryptedCopy = false;
    const bool flag = IsEncrypted;
    const bool manifestKey = plist.get(QStringLiteral("ManifestKey")).isCFData();
    const QString db = dir.absoluteFilePath(QStringLiteral("Manifest.db"));
    const bool plainManifest = isMbdb() || ManifestDecryption::looksLikeSqlite(db);
    // An encrypted Manifest.db needs the keybag whatever the flag says: without it nothing is read.
    if (!plainManifest && !plist.get(QStringLiteral("BackupKeyBag")).isCFData() && looksEncrypted(db))
        fail(keysMissingText(QStringLiteral("%1 holds no keybag.").arg(QDir::toNativeSeparators(plistPath))));
    const StoredFilesCipher::Verdict verdict = plainManifest ? StoredFilesCipher::verdict(dir, *m_connection)
                                                             : StoredFilesCipher::Verdict::Unknown;
    // Where the flag says encrypted over records that carry the keys (Manifest.mbdb, the Manifest.db
    // of iOS 10.0 and 10.1), the password is asked whatever the sample says: a few files with stale
    // record sizes must not pass the others off as plain. Each copy then tells a file another tool
    // decrypted in place.
    if (!plainManifest)
        IsEncrypted = flag || (manifestKey && QFileInfo::exists(db));
    else
        IsEncrypted = verdict == StoredFilesCipher::Verdict::Encrypted || (flag && !manifestKey);
    m_decryptedCopy = plainManifest && !IsEncrypted && (verdict == StoredFilesCipher::Verdict::Plain || flag);
    if (IsEncrypted)
        readKeysThrow(plist, plistPath, verdict == StoredFilesCipher::Verdict::Encrypted, !plainManifest);
    logEncryption(flag, manifestKey && plainManifest, plistPath);
}

// The keybag, and the manifest key when Manifest.db is encrypted (over a plain one the records'
// own keys open the files); filesSay: the stored files were seen to be encrypted.
void BackupManifest::readKeysThrow(
    const PlistCFType& plist, const QString& plistPath, bool filesSay, bool manifestEncrypted)
{
    const PlistCFType bag = plist.get(QStringLiteral("BackupKeyBag"));
    if (!bag.isCFData() && filesSay)
        fail(keysMissingText(QStringLiteral("%1 holds no keybag.").arg(QDir::toNativeSeparators(plistPath))));
    if (!bag.isCFData())
        fail(QStringLiteral("%1 is damaged: the backup is encrypted but holds no keybag.").arg(plistPath));
    m_keyBag = std::make_unique<BackupKeyBag>(BackupKeyBag::parseThrow(bag.CFDataBytes(), plistPath));
    const PlistCFType mk = plist.get(QStringLiteral("ManifestKey"));
    if (!manifestEncrypted || !mk.isCFData())
        return;
    m_manifestKeyBlob = mk.CFDataBytes();
    if (m_manifestKeyBlob.size() != 44)
        fail(QStringLiteral("%1 is damaged: the manifest key has %2 bytes instead of 44.")
                 .arg(plistPath)
                 .arg(m_manifestKeyBlob.size()));
}

QString BackupManifest::keysMissingText(const QString& why) const
{
    return QStringLiteral("The backup in %1 cannot be read: its stored files are encrypted, but the keys "
                          "to them are missing. %2")
        .arg(QDir::toNativeSeparators(dir.absolutePath()), why);
}

// Says in the log when the stored files overruled Manifest.plist.
void BackupManifest::logEncryption(bool flag, bool plainDbWithManifestKey, const QString& plistPath) const
{
    const QByteArray plist = plistPath.toUtf8();
    const QByteArray db = dir.absoluteFilePath(QStringLiteral("Manifest.db")).toUtf8();
    if (plainDbWithManifestKey && flag && IsEncrypted)
        qInfo("%s is not encrypted although %s says so, but the stored files are: the backup is read "
              "with its password and the keys of its records.",
            db.constData(), plist.constData());
    else if (plainDbWithManifestKey && flag)
        qInfo("%s is not encrypted although %s says so: the backup is read as a decrypted copy, "
              "without a password.",
            db.constData(), plist.constData());
    else if (IsEncrypted && !flag)
        qInfo("%s says the backup is not encrypted, but its files are: the backup is read with "
              "its password.",
            plist.constData());
}

void BackupManifest::readWithoutInfoThrow()
{
    m_decryptedCopy = false;
    // A Manifest.plist that is there was refused when it was read, and said why.
    const QString plistLacks = QFileInfo::exists(dir.absoluteFilePath(QStringLiteral("Manifest.plist")))
        ? QStringLiteral("Its Manifest.plist, which holds them, was not read.")
        : QStringLiteral("Its Manifest.plist, which holds them, is missing.");
    // So are the records of an encrypted Manifest.db.
    if (!isMbdb() && looksEncrypted(dir.absoluteFilePath(QStringLiteral("Manifest.db"))))
        fail(keysMissingText(plistLacks));
    switch (StoredFilesCipher::verdict(dir, *m_connection)) {
    case StoredFilesCipher::Verdict::Encrypted:
        fail(keysMissingText(plistLacks));
    case StoredFilesCipher::Verdict::Plain:
        m_decryptedCopy = true;
        break;
    case StoredFilesCipher::Verdict::Unknown:
        break;
    }
}

bool BackupManifest::infoChanged() const
{
    return m_infoRead
        && m_infoStamp != BackupCacheCopy::stampOf(dir.absoluteFilePath(QStringLiteral("Manifest.plist")));
}

bool BackupManifest::setPasscode(QString password)
{
    bool ok = false;
    std::exception_ptr error;
    m_unlockCancel = false;
    // The plist read again, the key derivation and the manifest's decryption all run in the work:
    // each may take seconds or wait on a disk, and the runner keeps them off the interface thread.
    const std::function<void()> work = [&]() {
        try {
            ok = unlockThrow(password);
        } catch (const BackupFolderLock::Cancelled&) {
            error = std::make_exception_ptr(BackupKeyBag::Cancelled());
        } catch (const TaskCancel::Cancelled&) {
            error = std::make_exception_ptr(BackupKeyBag::Cancelled());
        } catch (...) {
            error = std::current_exception();
        }
    };
    if (unlockRunner())
        unlockRunner()(*this, work);
    else
        work();
    if (error)
        std::rethrow_exception(error);
    return ok;
}

bool BackupManifest::unlockThrow(const QString& password)
{
    beforeUnlock().call(dir.absolutePath());
    // A backup written again since its listing may have a new keybag and manifest key.
    if (!m_infoRead || infoChanged())
        readManifestInfo();
    if (!IsEncrypted)
        return true;
    BackupKeyBag candidate = *m_keyBag;
    if (!candidate.unlock(password, &m_unlockCancel))
        return false;
    // Nothing changes before the manifest is decrypted: a cancel or a failure leaves it locked.
    std::optional<ManifestDecryption::Copy> plain;
    if (!m_manifestKeyBlob.isEmpty())
        plain = ManifestDecryption::makeThrow(
            dir, keyThrow(candidate.unwrapKeyBlob(m_manifestKeyBlob)), m_unlockCancel);
    *m_keyBag = candidate;
    m_password = password;
    if (plain)
        adoptPlainManifest(std::move(*plain));
    return true;
}

QByteArray BackupManifest::manifestKey() const
{
    if (m_manifestKeyBlob.isEmpty() || !isUnlocked())
        return {};
    return m_keyBag->unwrapKeyBlob(m_manifestKeyBlob);
}

QByteArray BackupManifest::keyThrow(const QByteArray& key) const
{
    if (key.isEmpty())
        fail(QStringLiteral(
            "The manifest key in %1 does not fit the keybag: the backup's Manifest.plist is damaged.")
                 .arg(dir.absoluteFilePath(QStringLiteral("Manifest.plist"))));
    return key;
}

void BackupManifest::decryptManifestDbThrow()
{
    static const std::atomic<bool> never { false };
    adoptPlainManifest(ManifestDecryption::makeThrow(dir, keyThrow(manifestKey()), never));
}

void BackupManifest::adoptPlainManifest(ManifestDecryption::Copy copy)
{
    m_connection->close(); // it may read the copy this one replaces
    m_plainDir = std::move(copy.dir);
    m_plainStamp = copy.stamp;
    m_plainSum = copy.sum;
}

void BackupManifest::clearTree()
{
    m_root.children.clear();
    m_chunks.clear();
    m_chunkUsed = 0;
    m_recordCount = 0;
    WellKnownFiles::clear(*this);
}

void BackupManifest::restartTree()
{
    clearTree();
    m_builder = std::make_unique<TreeBuilder>();
}

BackupManifest::_FileNode* BackupManifest::newNode(
    MBDBParser::_MBDBItem item, _FileNode* parent, bool implied)
{
    if (m_chunks.empty() || m_chunkUsed == kNodeChunk) {
        // Not zeroed first: see RowChunk::append in ManifestDbReader.cpp.
        m_chunks.push_back(std::make_unique_for_overwrite<_FileNode[]>(kNodeChunk));
        m_chunkUsed = 0;
    }
    _FileNode& n = m_chunks.back()[m_chunkUsed++];
    n.item = std::move(item);
    n.parent = parent;
    n.implied = implied;
    parent->children.append(&n);
    return &n;
}

// The nodes a reading thread of Manifest.db made join the tree's; the block that newNode fills stays
// the last one.
void BackupManifest::takeNodes(std::vector<std::unique_ptr<_FileNode[]>>& blocks)
{
    const bool roomLeft = !m_chunks.empty() && m_chunkUsed < kNodeChunk;
    m_chunks.insert(roomLeft ? m_chunks.end() - 1 : m_chunks.end(), std::make_move_iterator(blocks.begin()),
        std::make_move_iterator(blocks.end()));
    blocks.clear();
    if (!roomLeft)
        m_chunkUsed = kNodeChunk;
}

void BackupManifest::parseInfo()
{
    const BackupFolderLock reading(dir, BackupFolderLock::Mode::Shared);
    QStringList named;
    m_writeUnsettled = !settleLeftoverHeld(dir, named);
    m_unsettledFiles = QSet<QString>(named.cbegin(), named.cend());
    if (m_writeUnsettled)
        qWarning("%s", qUtf8Printable(BackupWriteSettlement::unsettledText(dir)));
    // Before the reading: a write after it makes the tree stale, never the stamp new.
    m_loadedStamp.clear();
    const QString loading = manifestStamp();
    // No tree stays from an older manifest, nor when its reading fails.
    restartTree();
    try {
        if (infoChanged())
            readManifestInfo(); // its keys are those of the manifest in place; locked again if encrypted
        else if (!m_infoRead)
            readWithoutInfoThrow();
        // A write since the unlocking (by another program) replaced the manifest decrypted then.
        if (m_plainDir && hasManifestKey()
            && m_plainStamp != BackupCacheCopy::stampOf(dir.absoluteFilePath(QStringLiteral("Manifest.db"))))
            decryptManifestDbThrow();
        readRecordsThrow();
    } catch (...) {
        m_builder.reset();
        clearTree();
        m_connection->close();
        throw;
    }
    m_builder.reset();
    m_loadedStamp = loading;
    // Kept open for the copies only where they read their keys through it: nothing else holds the
    // manifest open between commands.
    if (!IsEncrypted)
        m_connection->close();
}

void BackupManifest::readRecordsThrow()
{
    const QString mbdb = dir.absoluteFilePath(QStringLiteral("Manifest.mbdb"));
    const QString db = dir.absoluteFilePath(QStringLiteral("Manifest.db"));
    m_readWithout.clear();
    if (QFileInfo::exists(mbdb)) {
        requireRegularThrow(mbdb);
        parseMbdbThrow(mbdb);
    } else if (QFileInfo::exists(db)) {
        requireRegularThrow(db);
        if (IsEncrypted && hasManifestKey() && !m_plainDir)
            fail(QStringLiteral("The backup in %1 is encrypted: unlock it with its password first.")
                     .arg(dir.absolutePath()));
        // Rows a plain manifest holds only in its log, or a change its journal takes back, are read
        // from a private copy.
        if (!hasManifestKey()) {
            if (m_plainDir) // the connection may still read an earlier copy
                m_connection->close();
            m_plainDir.reset();
            m_plainDir = ManifestWalCopy::takeThrow(db, nullptr, nullptr, &m_readWithout);
        }
        ManifestDbReader(*this).readThrow(readableManifestDbPath());
    } else {
        QString refused;
        if (FolderAccess::stateOf(dir.absolutePath(), &refused) == FolderAccess::State::Refused)
            fail(refused);
        fail(QStringLiteral(
            "Cannot find Manifest.db or Manifest.mbdb in %1. This folder is not a device backup.")
                 .arg(dir.absolutePath()));
    }
}

// The manifest's files as they stand: the records, a plain database's log, and the list a device
// older than Manifest.db keeps.
QString BackupManifest::manifestStamp() const
{
    const QString db = dir.absoluteFilePath(QStringLiteral("Manifest.db"));
    return BackupCacheCopy::stampOf(dir.absoluteFilePath(QStringLiteral("Manifest.mbdb"))) + QLatin1Char('|')
        + BackupCacheCopy::stampOf(db) + QLatin1Char('|')
        + BackupCacheCopy::stampOf(ManifestWalCopy::logOf(db));
}

void BackupManifest::checkLoadedThrow() const
{
    if (m_loadedStamp.isEmpty() || m_loadedStamp == manifestStamp())
        return;
    fail(changedText());
}

QString BackupManifest::changedText() const
{
    return QStringLiteral("The backup in %1 has changed since it was loaded: another program has written "
                          "into it. Load the backup again.")
        .arg(QDir::toNativeSeparators(dir.absolutePath()));
}

void BackupManifest::noteChangedOnDisk()
{
    m_plainStamp.clear();
    m_loadedStamp = QStringLiteral("changed");
}

BackupManifest::DomainEntry* BackupManifest::domainEntry(const QString& domain)
{
    if (DomainEntry* e = m_builder->domains.value(domain))
        return e;
    MBDBParser::_MBDBItem it;
    it.domain = domain;
    it.mode = MBDBParser::kModeFolder | 0755;
    DomainEntry& e = m_builder->entries.emplace_back();
    e.node = newNode(it, &m_root, true);
    m_builder->domains.insert(domain, &e);
    m_builder->domainsUtf8.insert(domain.toUtf8(), &e);
    return &e;
}

BackupManifest::_FileNode* BackupManifest::domainNode(const QString& domain)
{
    if (m_builder)
        return domainEntry(domain)->node;
    for (_FileNode* n : std::as_const(m_root.children))
        if (n->item.domain == domain && n->item.pathUtf8.isEmpty())
            return n;
    MBDBParser::_MBDBItem it;
    it.domain = domain;
    it.mode = MBDBParser::kModeFolder | 0755;
    return newNode(it, &m_root, true);
}

BackupManifest::_FileNode* BackupManifest::folderNode(
    _FileNode* domain, QHash<QByteArray, _FileNode*>* folders, const QByteArray& folderPath)
{
    // A loop, not a recursion. Walk up to the nearest known folder, then make the missing ones
    // downwards.
    if (folderPath.count('/') >= kMaxFolderDepth)
        failTooDeep(domain->item.domain, folderPath);
    std::vector<qsizetype> missing; // lengths of the prefixes that name missing folders, longest first
    _FileNode* parent = domain;
    for (qsizetype end = folderPath.size(); end > 0; end = folderPath.lastIndexOf('/', end - 1)) {
        if (folders) {
            if (_FileNode* n = folders->value(QByteArray::fromRawData(folderPath.constData(), end))) {
                parent = n;
                break;
            }
        }
        missing.push_back(end);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        parent = childFolder(parent, folders, QByteArray(folderPath.constData(), *it)); // own copy, never raw
    return parent;
}

void BackupManifest::failTooDeep(const QString& domain, const QByteArray& folderPath) const
{
    const QString path = QString::fromUtf8(folderPath.left(60));
    fail(QStringLiteral("%1 is damaged: a record of %2 lies %3 folders deep (%4...); at most %5 are read.")
             .arg(QDir::toNativeSeparators(dir.absoluteFilePath(
                      isMbdb() ? QStringLiteral("Manifest.mbdb") : QStringLiteral("Manifest.db"))),
                 domain)
             .arg(folderPath.count('/') + 1)
             .arg(path)
             .arg(kMaxFolderDepth));
}

BackupManifest::_FileNode* BackupManifest::childFolder(
    _FileNode* parent, QHash<QByteArray, _FileNode*>* folders, const QByteArray& path)
{
    if (!folders) {
        for (_FileNode* c : std::as_const(parent->children))
            if (c->item.isFolder() && c->item.pathUtf8 == path)
                return c;
    }
    MBDBParser::_MBDBItem it;
    it.domain = parent->item.domain;
    it.pathUtf8 = path;
    it.mode = MBDBParser::kModeFolder | 0755;
    _FileNode* n = newNode(it, parent, true);
    if (folders)
        folders->insert(n->item.pathUtf8, n);
    return n;
}

BackupManifest::_FileNode* BackupManifest::parentFolder(
    _FileNode* dom, QHash<QByteArray, _FileNode*>* folders, const QByteArray& key, int slash)
{
    const QByteArray parentPath = slash < 0 ? QByteArray() : QByteArray::fromRawData(key.constData(), slash);
    // Siblings usually follow each other: reuse the previous parent when it is the same folder.
    if (folders && m_builder->lastParent && m_builder->lastParentDomain == dom
        && m_builder->lastParent->item.pathUtf8 == parentPath)
        return m_builder->lastParent;
    _FileNode* parent = folderNode(dom, folders, parentPath);
    if (m_builder) {
        m_builder->lastParent = parent;
        m_builder->lastParentDomain = dom;
    }
    return parent;
}

BackupManifest::_FileNode* BackupManifest::insertRecord(MBDBParser::_MBDBItem item, DomainEntry* entry)
{
    ++m_recordCount;
    if (m_builder && !entry)
        entry = domainEntry(item.domain);
    _FileNode* dom = entry ? entry->node : domainNode(item.domain);
    QHash<QByteArray, _FileNode*>* folders = entry ? &entry->folders : nullptr;
    // Paths are used as given when clean; otherwise empty and "." parts are dropped for placing.
    QByteArray key = item.pathUtf8;
    if (!RecordPath::isClean(key))
        key = RecordPath::parts(key).join('/');
    if (key.isEmpty()) {
        if (dom->implied) {
            dom->item = std::move(item);
            dom->implied = false;
            return dom;
        }
        return newNode(std::move(item), dom, false); // a second record for the domain itself
    }
    if (item.isFolder()) {
        _FileNode* existing = folders ? folders->value(key) : nullptr;
        if (existing && existing->implied) {
            existing->item = std::move(item);
            existing->implied = false;
            return existing;
        }
    }
    _FileNode* parent = parentFolder(dom, folders, key, int(key.lastIndexOf('/')));
    if (!folders && item.isFolder())
        for (_FileNode* c : std::as_const(parent->children))
            if (c->implied && c->item.pathUtf8 == key) {
                c->item = std::move(item);
                c->implied = false;
                return c;
            }
    const bool folder = item.isFolder();
    _FileNode* n = newNode(std::move(item), parent, false);
    if (folder && folders)
        folders->insert(key, n);
    WellKnownFiles::note(*this, n);
    return n;
}

BackupManifest::_FileNode* BackupManifest::adoptRecord(
    _FileNode* made, DomainEntry* entry, const QByteArray& key, int parentLength, bool mayBeKnown)
{
    // As insertRecord, for a node a reading thread already made and filled.
    ++m_recordCount;
    _FileNode* dom = entry->node;
    if (key.isEmpty() || made->item.isFolder()) {
        _FileNode* existing = key.isEmpty() ? dom : entry->folders.value(key);
        if (existing && existing->implied) {
            existing->item = std::move(made->item);
            existing->implied = false;
            return existing;
        }
    }
    _FileNode* parent = key.isEmpty() ? dom : parentFolder(dom, &entry->folders, key, parentLength);
    made->parent = parent;
    parent->children.append(made);
    if (key.isEmpty())
        return made;
    if (made->item.isFolder())
        entry->folders.insert(key, made);
    else if (mayBeKnown)
        WellKnownFiles::note(*this, made);
    return made;
}

void BackupManifest::parseMbdbThrow(const QString& path)
{
    // What follows the last whole record is damage: the backup is read with the records before it,
    // and each of its pages says so.
    QList<MBDBParser::_MBDBItem> items = MBDBParser::parseFileThrow(path, &m_readWithout);
    if (!m_readWithout.isEmpty())
        qWarning("%s", qUtf8Printable(m_readWithout));
    for (MBDBParser::_MBDBItem& it : items)
        insertRecord(std::move(it));
}

BackupManifest::_FileNode* BackupManifest::findNode(const QString& domain, const QString& relativePath) const
{
    const QByteArray path = relativePath.toUtf8();
    const _FileNode* dom = nullptr;
    for (const _FileNode* n : m_root.children)
        if (n->item.domain == domain) {
            dom = n;
            break;
        }
    if (!dom)
        return nullptr;
    if (path.isEmpty())
        return const_cast<_FileNode*>(dom);
    const _FileNode* cur = dom;
    QByteArray prefix;
    const QList<QByteArray> parts = RecordPath::parts(path);
    for (int i = 0; i < parts.size(); ++i) {
        prefix = prefix.isEmpty() ? parts[i] : prefix + '/' + parts[i];
        const _FileNode* next = nullptr;
        for (const _FileNode* c : cur->children) {
            const QByteArray& cp = c->item.pathUtf8;
            if (cp == prefix || (!RecordPath::isClean(cp) && RecordPath::parts(cp).join('/') == prefix)) {
                next = c;
                if (i + 1 < parts.size() ? c->item.isFolder() : true)
                    break;
            }
        }
        if (!next)
            return nullptr;
        cur = next;
    }
    return const_cast<_FileNode*>(cur);
}

QString BackupManifest::storedFilePath(const MBDBParser::_MBDBItem& item) const
{
    return MBDBParser::getBKFilePath(dir, item.backupFileName(), false);
}

std::optional<QByteArray> BackupManifest::fileKeyBlob(const MBDBParser::_MBDBItem& item) const
{
    return StoredFileCopy(*this).keyBlobThrow(item);
}

QByteArray BackupManifest::fileKey(const MBDBParser::_MBDBItem& item) const
{
    return StoredFileCopy(*this).key(item);
}

void BackupManifest::copyFile(const _FileNode* node, QString dest, void* context, CopyProgress progress,
    ContentDigest::Sum* stored) const
{
    StoredFileCopy(*this).copyThrow(node, dest, context, progress, stored);
}

QString BackupManifest::copyFile(const _FileNode* node, const HeldFolder& folder, const QString& name,
    void* context, CopyProgress progress) const
{
    return StoredFileCopy(*this).copyThrow(node, folder, name, context, progress).name;
}

QString BackupManifest::safeJoinThrow(const QDir& base, const QString& relative)
{
    QStringList parts;
    for (const QString& p : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (p == QLatin1String("."))
            continue;
        if (p == QLatin1String("..") || p.contains(QLatin1Char('\\')) || p.contains(QChar(0)))
            fail(QStringLiteral("The backup path %1 leads out of its folder; it is not written.")
                     .arg(relative));
        parts.append(p);
    }
    if (parts.isEmpty())
        fail(QStringLiteral("The backup path \"%1\" names no file.").arg(relative));
    return base.absoluteFilePath(parts.join(QLatin1Char('/')));
}

namespace
{

// The files a reduced manifest always keeps: what the restore roads write.
const char* const kAlwaysKept[4][2] = {
    { "HomeDomain", "Library/SMS/sms.db" },
    { "HomeDomain", "Library/CallHistoryDB/CallHistory.storedata" },
    { "WirelessDomain", "Library/CallHistory/call_history.db" },
    { "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb" },
};

} // namespace

void BackupManifest::saveManifestDbAsThrow(
    bool keepSystem, QSet<QString> keepDomains, QString dest, void (*fn)(Sqlite3DB*))
{
    const BackupFolderLock reading(dir, BackupFolderLock::Mode::Shared);
    const QString src = readableManifestDbPath();
    if (isMbdb() || !QFileInfo::exists(src))
        fail(QStringLiteral("The backup in %1 has no Manifest.db.").arg(dir.absolutePath()));
    if (hasManifestKey() && !m_plainDir)
        fail(QStringLiteral("The backup in %1 is locked: its manifest cannot be read.")
                 .arg(dir.absolutePath()));
    QTemporaryDir work(RunFolder::templateFor(QStringLiteral("qm-reduced")));
    const QString plain = work.filePath(QStringLiteral("Manifest.db"));
    BackupFileCopy::copyThrow(src, plain);
    {
        Sqlite3DB db;
        db.setForeign(true);
        db.openThrow(plain, SQLITE_OPEN_READWRITE);
        QList<QString> drop;
        Sqlite3Cursor c = db.queryThrow("select fileID, domain, relativePath, flags from Files");
        while (c.moveNext()) {
            const QString fileId = c.getText(0);
            const QString domain = c.getText(1);
            const QString path = c.getText(2);
            const int flags = c.getInt(3);
            bool always = false;
            for (const auto& k : kAlwaysKept)
                always = always || (domain == QLatin1String(k[0]) && path == QLatin1String(k[1]));
            const bool system = !domain.startsWith(QLatin1String("AppDomain"), Qt::CaseInsensitive)
                || domain.contains(QLatin1String("com.apple."), Qt::CaseInsensitive);
            bool keep = always || keepDomains.contains(domain) || (keepSystem && system);
            // A file record is only worth restoring when its stored copy is in the backup.
            if (keep && flags != BackupWriter::kRecordFolder && flags != BackupWriter::kRecordLink
                && !QFileInfo::exists(MBDBParser::getBKFilePath(dir, fileId.toLower(), false)))
                keep = false;
            if (!keep)
                drop.append(fileId);
        }
        db.beginTran();
        for (const QString& id : drop)
            db.executeThrow(Sqlite3Sql("delete from Files where fileID=?").addTextParam(id));
        db.commitTran();
        db.executeThrow("vacuum");
        if (fn)
            fn(&db);
        db.close();
    }
    const QString tmpDest = dest + QStringLiteral(".qmtmp");
    if (hasManifestKey())
        BackupFileCopy::encryptThrow(manifestKey(), plain, tmpDest);
    else
        BackupFileCopy::copyThrow(plain, tmpDest);
    // On the disk first, then in place in one rename over the old copy: there always is a whole one.
    if (!OutputFile::syncPath(tmpDest) || !OutputFile::syncPath(QFileInfo(dest).absolutePath())
        || !BackupWriteNames::rename(tmpDest, dest)) {
        QFile::remove(tmpDest);
        fail(QStringLiteral("Cannot create %1.").arg(dest));
    }
}

void BackupManifest::settleEarlierWriteThrow()
{
    const BackupFolderLock settling(dir, BackupFolderLock::Mode::Exclusive);
    // What the write's commit would refuse is refused before the road reads, merges or stages.
    BackupWriter::checkNotInUseThrow(*this);
    QStringList named;
    m_writeUnsettled = !BackupWriteSettlement::settleLeftover(dir, &named);
    m_unsettledFiles = QSet<QString>(named.cbegin(), named.cend());
    if (m_writeUnsettled)
        fail(BackupWriteSettlement::unsettledText(dir));
}

QString BackupManifest::unsettledText(const QString& path, const QString& dest) const
{
    return QStringLiteral("The stored copy %1 is part of a write into the backup that was stopped before it "
                          "ended and cannot be finished or undone here (the log says why): until it is, the "
                          "file's record in the manifest does not describe what it holds. %2")
        .arg(QDir::toNativeSeparators(path),
            dest.isEmpty()
                ? QStringLiteral("Nothing was written.")
                : QStringLiteral("What the file reads as now was %1.").arg(NotAsWritten::writtenTo(dest)));
}

BackupManifest::NotAsWritten::NotAsWritten(const QString& text, const QString& copy)
    : std::runtime_error(text.toStdString())
    , m_copy(copy)
{
}

QString BackupManifest::NotAsWritten::writtenTo(const QString& copy)
{
    return QStringLiteral("written to %1").arg(QDir::toNativeSeparators(copy));
}

QString BackupManifest::NotAsWritten::toldNow(QString text, const QString& copy)
{
    if (copy.isEmpty() || QFileInfo::exists(copy))
        return text;
    return text.replace(writtenTo(copy), QStringLiteral("not kept"));
}

QString BackupManifest::NotAsWritten::toldNow(const std::exception& e)
{
    const auto* notAsWritten = dynamic_cast<const NotAsWritten*>(&e);
    return toldNow(QString::fromUtf8(e.what()), notAsWritten ? notAsWritten->copy() : QString());
}

StoredFile::State BackupManifest::storedState(const _FileNode* node, QString* text) const
{
    const QString stored = storedFilePath(node->item);
    const StoredFile::State state = StoredFile::stateOf(stored, text);
    if (state != StoredFile::State::Missing || !partOfUnsettledWrite(stored))
        return state;
    if (text)
        *text = unsettledText(stored, QString());
    return StoredFile::State::Unreadable;
}

void BackupManifest::writeFilesThrow(const QList<WriteRequest>& items,
    const std::function<void(int, const QString&)>& progress, const std::function<bool()>& cancelled,
    const std::function<bool()>& mayCommit)
{
    BackupWriter writer(*this, progress, cancelled, mayCommit);
    writer.stageFilesThrow(items);
    writer.stageManifestThrow();
    try {
        writer.commitThrow();
    } catch (const WriteNotConfirmed&) {
        noteWrittenFiles(writer); // the manifest in place is the one written, as this process sees it
        throw;
    }
    noteWrittenFiles(writer);
}

// After a write the object follows what is now on disk.
void BackupManifest::noteWrittenFiles(BackupWriter& writer)
{
    const bool mbdb = isMbdb();
    // The private copy becomes the writer's updated one, taken over with its folder: no copy that
    // a full temporary folder could refuse after the write reached the backup.
    if (m_plainDir)
        if (std::unique_ptr<QTemporaryDir> updated = writer.takeUpdatedCopy()) {
            m_connection->close();
            m_plainDir = std::move(updated);
        }
    m_plainStamp = BackupCacheCopy::stampOf(dir.absoluteFilePath(QStringLiteral("Manifest.db")));
    m_plainSum = writer.manifestWritten();
    m_loadedStamp = manifestStamp();
    for (const BackupWriter::Staged& s : writer.staged()) {
        _FileNode* node = findNode(s.req.domain, s.req.relativePath);
        if (!node || node->implied || node->item.isFolder()) {
            MBDBParser::_MBDBItem it;
            it.domain = s.req.domain;
            it.pathUtf8 = s.req.relativePath.toUtf8();
            it.mode = BackupWriter::kFileMode;
            node = insertRecord(it);
        }
        node->item.size = s.size;
        node->item.mtime = writer.now();
        node->item.protectionClass = quint8(s.protectionClass);
        node->item.archiveUnread = false; // the write gave the record a new archive
        node->item.hasRowid = false;
        if (mbdb || !s.keyBlob.isEmpty()) {
            auto& x = node->item.mutableExtra();
            // Inline for Manifest.db too: the write gave the record a new row.
            x.encryptionKey = s.keyBlob;
            if (mbdb && !s.keyBlob.isEmpty())
                x.present |= 4;
        }
    }
}
