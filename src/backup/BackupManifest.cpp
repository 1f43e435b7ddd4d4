#include "backup/BackupManifest.h"

#include "app/DataPaths.h"
#include "app/FolderAccess.h"
#include "app/OutputFile.h"
#include "app/RegularFile.h"
#include "app/SliceArena.h"
#include "app/sqlite/BlockReadVfs.h"
#include "app/sqlite/Sqlite3DB.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BackupCrypto.h"
#include "backup/BackupFolderLock.h"
#include "backup/BackupWriteJournal.h"
#include "backup/BackupWriter.h"
#include "backup/DigestingReader.h"
#include "backup/MBFileArchive.h"
#include "backup/ManifestWalCopy.h"
#include "backup/StoredFileCopy.h"
#include "backup/StoredFilesCipher.h"
#include "device/PlistCFType.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <sqlite3.h>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace
{

BackupManifest::UnlockRunner& unlockRunner()
{
    static BackupManifest::UnlockRunner runner;
    return runner;
}

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

bool looksLikeSqlite(const QString& path)
{
    QFile f;
    return RegularFile::openRead(f, path, nullptr) && f.read(16) == QByteArray("SQLite format 3\0", 16);
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
bool settleLeftoverHeld(const QDir& dir)
{
    if (!BackupWriteJournal::pending(dir))
        return true;
    const BackupFolderLock settling(dir, BackupFolderLock::Mode::Exclusive);
    return BackupWriteJournal::settleLeftover(dir);
}

enum class MediaKind { None, Photo, Video };

MediaKind mediaKind(const QByteArray& path)
{
    if (!path.startsWith("Media/DCIM/"))
        return MediaKind::None;
    const int dot = path.lastIndexOf('.');
    if (dot < 0)
        return MediaKind::None;
    const QByteArray ext = path.mid(dot + 1).toLower();
    static const QSet<QByteArray> photos
        = { "jpg", "jpeg", "png", "heic", "heif", "gif", "tif", "tiff", "bmp" };
    static const QSet<QByteArray> videos = { "mov", "mp4", "m4v", "3gp", "avi" };
    if (photos.contains(ext))
        return MediaKind::Photo;
    if (videos.contains(ext))
        return MediaKind::Video;
    return MediaKind::None;
}

// Splits a relative path into its parts, dropping empty and "." parts.
QList<QByteArray> pathParts(const QByteArray& path)
{
    QList<QByteArray> parts;
    for (const QByteArray& p : path.split('/'))
        if (!p.isEmpty() && p != ".")
            parts.append(p);
    return parts;
}

bool isCleanPath(const QByteArray& path)
{
    // No empty part, no "." part (".." is kept as a name and shown as "__"); checked at the slashes.
    const char* d = path.constData();
    const qsizetype n = path.size();
    if (n == 0)
        return true;
    if (d[0] == '/' || d[n - 1] == '/' || (d[0] == '.' && (n == 1 || d[1] == '/')))
        return false;
    for (const char* p = static_cast<const char*>(std::memchr(d, '/', size_t(n))); p;
         p = static_cast<const char*>(std::memchr(p + 1, '/', size_t(d + n - p - 1)))) {
        // p is neither the first nor the last byte here.
        if (p[1] == '/' || (p[1] == '.' && (p + 2 == d + n || p[2] == '/')))
            return false;
    }
    return true;
}

// Files the data pages read, found while the tree is built (the first record of each).
struct KnownFile {
    const char* domain;
    const char* path;
    BackupManifest::_FileNode* BackupManifest::*member;
};
const KnownFile kKnownFiles[] = {
    { "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", &BackupManifest::addressBookNode },
    { "HomeDomain", "Library/AddressBook/AddressBookImages.sqlitedb",
        &BackupManifest::addressBookImagesNode },
    { "HomeDomain", "Library/Notes/notes.sqlite", &BackupManifest::notesNode },
    { "HomeDomain", "Library/Calendar/Extras.db", &BackupManifest::calendarExtrasNode },
    { "MediaDomain", "Media/Recordings/Recordings.db", &BackupManifest::recordingsNode },
    { "HomeDomain", "Library/Voicemail/voicemail.db", &BackupManifest::voicemailNode },
    { "HomeDomain", "Library/Safari/Bookmarks.db", &BackupManifest::bookmarksNode },
    { "WirelessDomain", "Library/CallHistory/call_history.db", &BackupManifest::callHistoryNode },
    { "HomeDomain", "Library/CallHistoryDB/CallHistory.storedata", &BackupManifest::callHistoryStoreNode },
    { "HomeDomain", "Library/SMS/sms.db", &BackupManifest::smsNode },
};
// Matched ignoring case.
constexpr QLatin1String kCalendarPath("Library/Calendar/Calendar.sqlitedb");

const std::array<qsizetype, std::size(kKnownFiles)>& knownLengths()
{
    static const auto lengths = [] {
        std::array<qsizetype, std::size(kKnownFiles)> l {};
        for (size_t i = 0; i < std::size(kKnownFiles); ++i)
            l[i] = qsizetype(std::strlen(kKnownFiles[i].path));
        return l;
    }();
    return lengths;
}

bool underKnownFolders(const QByteArray& path)
{
    return path.startsWith("Library/") || path.startsWith("Media/") || path.startsWith("library/");
}

// Whether a file record may be a well-known file, a photo or a video: a quick test on the path
// alone that spares noteWellKnown nearly every record.
bool mayBeWellKnown(const QByteArray& path)
{
    if (path.startsWith("Media/DCIM/"))
        return true;
    if (!underKnownFolders(path))
        return false;
    const auto& lengths = knownLengths();
    return path.size() == kCalendarPath.size()
        || std::find(lengths.begin(), lengths.end(), path.size()) != lengths.end();
}

// Where the parent folder's path ends in a clean path: its last slash, -1 at the top.
int parentLength(const QByteArray& key)
{
    const void* slash = memrchr(key.constData(), '/', size_t(key.size()));
    return slash ? int(static_cast<const char*>(slash) - key.constData()) : -1;
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

BackupManifest::BackupManifest(QString path, QObject* parent)
    : QObject(parent)
    , dir(path)
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
    if (!RegularFile::openRead(f, plistPath, &why))
        fail(QStringLiteral("Cannot read %1. %2").arg(plistPath, why));
    const QByteArray bytes = f.readAll();
    const PlistCFType plist = PlistCFType::createCFPropertyList(bytes);
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

// Whether the stored files need the password is told by their bytes, not by IsEncrypted alone: tools
// that decrypt a backup, or only its manifest, set the flag false (and users copy such a
// Manifest.plist over another), and some leave it true over files they decrypted. An encrypted
// Manifest.db speaks for itself.
void BackupManifest::readEncryptionThrow(const PlistCFType& plist, const QString& plistPath)
{
    m_keyBag.reset();
    m_manifestKeyBlob.clear();
    m_plainDir.reset();
    m_password.clear();
    m_decryptedCopy = false;
    const bool flag = IsEncrypted;
    const bool manifestKey = plist.get(QStringLiteral("ManifestKey")).isCFData();
    const QString db = dir.absoluteFilePath(QStringLiteral("Manifest.db"));
    const bool plainManifest = isMbdb() || looksLikeSqlite(db);
    const StoredFilesCipher::Verdict verdict
        = plainManifest ? StoredFilesCipher::verdict(dir) : StoredFilesCipher::Verdict::Unknown;
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
    switch (StoredFilesCipher::verdict(dir)) {
    case StoredFilesCipher::Verdict::Encrypted:
        // A Manifest.plist that is there was refused when it was read, and said why.
        fail(keysMissingText(QFileInfo::exists(dir.absoluteFilePath(QStringLiteral("Manifest.plist")))
                ? QStringLiteral("Its Manifest.plist, which holds them, was not read.")
                : QStringLiteral("Its Manifest.plist, which holds them, is missing.")));
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
    // A backup written again since its listing may have a new keybag and manifest key.
    if (!m_infoRead || infoChanged())
        readManifestInfo();
    if (!IsEncrypted)
        return true;
    BackupKeyBag candidate = *m_keyBag;
    bool ok = false;
    std::exception_ptr error;
    m_unlockCancel = false;
    const std::function<void()> work = [&]() {
        try {
            ok = candidate.unlock(password, &m_unlockCancel);
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
    if (!ok)
        return false;
    *m_keyBag = candidate;
    m_password = password;
    if (!m_manifestKeyBlob.isEmpty())
        decryptManifestDbThrow();
    return true;
}

QByteArray BackupManifest::manifestKey() const
{
    if (m_manifestKeyBlob.isEmpty() || !isUnlocked())
        return {};
    return m_keyBag->unwrapKeyBlob(m_manifestKeyBlob);
}

void BackupManifest::decryptManifestDbThrow()
{
    const BackupFolderLock reading(dir, BackupFolderLock::Mode::Shared);
    const QString src = dir.absoluteFilePath(QStringLiteral("Manifest.db"));
    const QString stamp = BackupCacheCopy::stampOf(src);
    const QByteArray key = manifestKey();
    if (key.isEmpty())
        fail(QStringLiteral(
            "The manifest key in %1 does not fit the keybag: the backup's Manifest.plist is damaged.")
                 .arg(dir.absoluteFilePath(QStringLiteral("Manifest.plist"))));
    QFile file;
    QString why;
    if (!RegularFile::openRead(file, src, &why))
        fail(QStringLiteral("Cannot read %1. %2").arg(src, why));
    ContentDigest read; // which content was decrypted, for a write to compare with the file in place
    DigestingReader in(file, read);
    auto tmp = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/qm-manifest-XXXXXX"));
    if (!tmp->isValid())
        fail(QStringLiteral("Cannot create a temporary folder for the decrypted manifest."));
    const QString plainPath = tmp->filePath(QStringLiteral("Manifest.db"));
    OutputFile out(plainPath);
    if (!out.open(QIODevice::WriteOnly))
        fail(out.failure());
    try {
        BackupCrypto::decryptStream(key, in, out, 0);
    } catch (const std::exception& e) {
        if (out.failed())
            fail(out.failure());
        fail(QStringLiteral("%1 is damaged and cannot be decrypted: %2")
                 .arg(src, QString::fromUtf8(e.what())));
    }
    if (!out.commit())
        fail(out.failure());
    if (!looksLikeSqlite(plainPath))
        fail(QStringLiteral("%1 is damaged: it does not decrypt to a database.").arg(src));
    m_plainDir = std::move(tmp);
    m_plainStamp = stamp;
    m_plainSum = read.sum();
}

void BackupManifest::clearTree()
{
    m_root.children.clear();
    m_chunks.clear();
    m_chunkUsed = 0;
    m_recordCount = 0;
    addressBookNode = addressBookImagesNode = notesNode = calendarNode = calendarExtrasNode = nullptr;
    recordingsNode = voicemailNode = bookmarksNode = callHistoryNode = callHistoryStoreNode = smsNode
        = nullptr;
    photoList.clear();
    videoList.clear();
}

BackupManifest::_FileNode* BackupManifest::newNode(
    MBDBParser::_MBDBItem item, _FileNode* parent, bool implied)
{
    if (m_chunks.empty() || m_chunkUsed == kNodeChunk) {
        m_chunks.push_back(std::make_unique_for_overwrite<_FileNode[]>(kNodeChunk)); // see RowChunk::append
        m_chunkUsed = 0;
    }
    _FileNode& n = m_chunks.back()[m_chunkUsed++];
    n.item = std::move(item);
    n.parent = parent;
    n.implied = implied;
    parent->children.append(&n);
    return &n;
}

void BackupManifest::noteWellKnown(_FileNode* node)
{
    const MBDBParser::_MBDBItem& it = node->item;
    const QByteArray& p = it.pathUtf8;
    if (it.isFolder())
        return;
    const MediaKind media = mediaKind(p);
    if (media == MediaKind::Photo)
        photoList.append(node);
    else if (media == MediaKind::Video)
        videoList.append(node);
    if (!underKnownFolders(p))
        return;
    for (size_t i = 0; i < std::size(kKnownFiles); ++i) {
        const KnownFile& k = kKnownFiles[i];
        if (p.size() == knownLengths()[i] && !(this->*k.member) && p == k.path
            && it.domain == QLatin1String(k.domain)) {
            this->*k.member = node;
            return;
        }
    }
    // The calendar is matched ignoring case, as its readers expect.
    if (!calendarNode && p.size() == kCalendarPath.size()
        && it.domain.compare(QLatin1String("HomeDomain"), Qt::CaseInsensitive) == 0
        && QString::fromUtf8(p).compare(kCalendarPath, Qt::CaseInsensitive) == 0)
        calendarNode = node;
}

void BackupManifest::parseInfo()
{
    const BackupFolderLock reading(dir, BackupFolderLock::Mode::Shared);
    m_writeUnsettled = !settleLeftoverHeld(dir);
    if (m_writeUnsettled)
        qWarning("%s", qUtf8Printable(BackupWriteJournal::unsettledText(dir)));
    // Before the reading: a write after it makes the tree stale, never the stamp new.
    m_loadedStamp.clear();
    const QString loading = manifestStamp();
    // No tree stays from an older manifest, nor when its reading fails.
    clearTree();
    m_builder = std::make_unique<TreeBuilder>();
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
        throw;
    }
    m_builder.reset();
    m_loadedStamp = loading;
}

void BackupManifest::readRecordsThrow()
{
    const QString mbdb = dir.absoluteFilePath(QStringLiteral("Manifest.mbdb"));
    const QString db = dir.absoluteFilePath(QStringLiteral("Manifest.db"));
    if (QFileInfo::exists(mbdb)) {
        requireRegularThrow(mbdb);
        parseMbdbThrow(mbdb);
    } else if (QFileInfo::exists(db)) {
        requireRegularThrow(db);
        if (IsEncrypted && hasManifestKey() && !m_plainDir)
            fail(QStringLiteral("The backup in %1 is encrypted: unlock it with its password first.")
                     .arg(dir.absolutePath()));
        // Rows a plain manifest holds only in its log are read from a private copy.
        if (!hasManifestKey()) {
            m_plainDir.reset();
            m_plainDir = ManifestWalCopy::takeThrow(db);
        }
        parseManifestDbThrow(readableManifestDbPath());
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
    if (!isCleanPath(key))
        key = pathParts(key).join('/');
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
    noteWellKnown(n);
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
        noteWellKnown(made);
    return made;
}

void BackupManifest::parseMbdbThrow(const QString& path)
{
    const QList<MBDBParser::_MBDBItem> items = MBDBParser::parseFileThrow(path);
    for (const MBDBParser::_MBDBItem& it : items)
        insertRecord(it);
}

namespace
{

// What a reading thread works out for each record, so that the thread building the tree only
// links nodes.
struct RowInfo {
    int domain = 0; // index into RowChunk::domains
    int parentLength = -1; // of the path it is placed under: where its parent folder's path ends
    bool mayBeKnown = false; // maybe a well-known file, a photo or a video
    bool unclean = false; // the path has empty or "." parts: placed under its key in cleanKeys
};

// The records of one rowid range of Manifest.db, read and decoded by a reading thread into nodes
// that the tree then takes over.
struct RowChunk {
    // Blocks of 128 KB: small enough that a node is built shortly before it is filled, while its
    // memory is still in cache; large enough to be mapped on their own instead of growing the
    // thread's heap block by block (a system call each, which stalls the other threads' page faults).
    static constexpr int kBlock = 1024;
    std::vector<QString> domains; // distinct domains of the chunk
    std::vector<std::unique_ptr<BackupManifest::_FileNode[]>> blocks; // nodes, kBlock per block
    std::vector<RowInfo> rows;
    QHash<size_t, QByteArray> cleanKeys; // row -> the path to place it under, for unclean paths
    QString error;
    // A row outside the chunk's rowid range or out of rowid order: pages of the table are not
    // where its tree says they are, and ranges cannot be trusted to hold every row.
    bool disordered = false;

    BackupManifest::_FileNode& node(size_t i) { return blocks[i / kBlock][i % kBlock]; }
    BackupManifest::_FileNode& append()
    {
        if (rows.size() % kBlock == 0)
            // Not make_unique, which zeroes the whole block before the nodes' own initializers
            // set every member again.
            blocks.push_back(std::make_unique_for_overwrite<BackupManifest::_FileNode[]>(kBlock));
        rows.emplace_back();
        return node(rows.size() - 1);
    }
};

QString damagedText(const QString& path, const QString& why)
{
    return QStringLiteral("%1 is damaged or not a backup manifest: %2").arg(path, why);
}

// One reading thread's connection to Manifest.db. (Memory-mapped reads were measured: no faster
// here, as every connection maps and faults in the file on its own, and they count the whole file
// in the process's resident memory.)
class RowReader
{
public:
    // Reads rowid ranges in rowid order, or with wholeTable the table in the order of its pages.
    RowReader(const QString& path, bool wholeTable)
        : m_path(path)
    {
        const char* blocks = BlockReadVfs::name();
        try {
            m_db.openThrow(Sqlite3DB::immutableUri(path),
                SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI, blocks);
        } catch (const std::exception& e) {
            m_error = damagedText(path, QString::fromUtf8(e.what()));
            return;
        }
        // Pages are read once, in order: a small cache keeps SQLite's page allocations, which take a
        // process-wide lock that the reading threads would contend for, to a few.
        sqlite3_exec(m_db.handle, "pragma cache_size = 64", nullptr, nullptr, nullptr);
        // Pages in place from the block reading layer (see BlockReadVfs). Only there: SQLite's own
        // layer would map the file, and an I/O error would then end the program.
        if (blocks)
            sqlite3_exec(m_db.handle, "pragma mmap_size = 1073741824", nullptr, nullptr, nullptr);
        m_utf8 = m_db.keepsUtf8Text();
        const char* sql = wholeTable
            ? "select domain, relativePath, flags, file, rowid, fileID from Files not indexed"
            : "select domain, relativePath, flags, file, rowid from Files "
              "where rowid between ? and ? order by rowid";
        if (sqlite3_prepare_v2(m_db.handle, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
            m_error = damagedText(path, QString::fromUtf8(sqlite3_errmsg(m_db.handle)));
    }
    ~RowReader() { sqlite3_finalize(m_stmt); }

    RowChunk read(qint64 from, qint64 to);
    RowChunk readAll();

private:
    bool start(RowChunk& chunk);
    void finish(RowChunk& chunk, int rc) const;
    int domainIndex(RowChunk& chunk, const char* text, int size);
    QByteArrayView textColumn(int column) const;
    QByteArrayView blobColumn(int column) const;
    void fillFromArchive(MBDBParser::_MBDBItem& it, const char* blob, int blobLen, int flags);
    void readRow(RowChunk& chunk);

    QString m_path;
    Sqlite3DB m_db;
    sqlite3_stmt* m_stmt = nullptr;
    bool m_utf8 = false; // the database keeps its text in UTF-8
    QString m_error;
    QHash<QByteArray, int> m_domainIndex;
    QByteArray m_lastDomain;
    int m_lastIndex = -1;
    MBFileArchive::Fields m_fields;
    MBFileArchive::TreeDecoder m_decoder;
    SliceArena m_paths;
};

// The UTF-8 bytes of a text column of the current row (null for NULL). Where the database keeps
// its text in UTF-8 they are read in place: sqlite3_column_text would first copy every value to
// end it with a zero.
QByteArrayView RowReader::textColumn(int column) const
{
    if (!m_utf8) {
        const void* text = sqlite3_column_text(m_stmt, column);
        return QByteArrayView(static_cast<const char*>(text), sqlite3_column_bytes(m_stmt, column));
    }
    return blobColumn(column);
}

// The bytes of a column as they are stored. Bytes and length come from the column's value: one
// column look-up, not two; the value needs no conversion, so it cannot fail for want of memory.
QByteArrayView RowReader::blobColumn(int column) const
{
    sqlite3_value* value = sqlite3_column_value(m_stmt, column);
    return QByteArrayView(static_cast<const char*>(sqlite3_value_blob(value)), sqlite3_value_bytes(value));
}

int RowReader::domainIndex(RowChunk& chunk, const char* text, int size)
{
    const QByteArray domain = QByteArray::fromRawData(text ? text : "", size);
    if (m_lastIndex >= 0 && m_lastDomain == domain)
        return m_lastIndex;
    auto it = m_domainIndex.constFind(domain);
    if (it == m_domainIndex.constEnd()) {
        chunk.domains.push_back(QString::fromUtf8(domain));
        it = m_domainIndex.insert(
            QByteArray(domain.constData(), domain.size()), int(chunk.domains.size() - 1));
    }
    // The table's own key: no copy of the bytes when records of several domains alternate.
    m_lastDomain = it.key();
    m_lastIndex = it.value();
    return m_lastIndex;
}

// Size, time, mode and class of a record from its archive (none when blob is null); the flags
// column decides the kind when the archive lacks a mode. An unreadable archive, as a damaged page
// leaves one, gives none of them: the record is still one the table holds, marked as unread so
// that its stored file is never taken for the file.
void RowReader::fillFromArchive(MBDBParser::_MBDBItem& it, const char* blob, int blobLen, int flags)
{
    MBFileArchive::Fields& f = m_fields;
    const bool decoded = blob && m_decoder.decode(blob, blobLen, f, flags == 4);
    it.archiveUnread = !decoded;
    if (decoded) {
        it.size = f.size;
        it.mtime = quint32(f.lastModified);
        it.protectionClass = quint8(f.protectionClass);
        it.mode = quint16(f.mode);
        if (!f.target.isEmpty())
            it.mutableExtra().linkTarget = f.target;
    }
    if (!decoded || !f.hasMode || (it.mode & MBDBParser::kModeTypeMask) == 0)
        it.mode = quint16((it.mode & 07777)
            | (flags == 2        ? MBDBParser::kModeFolder
                    : flags == 4 ? MBDBParser::kModeLink
                                 : MBDBParser::kModeFile));
}

// Decodes the current row into a new node of chunk.
void RowReader::readRow(RowChunk& chunk)
{
    const QByteArrayView domain = textColumn(0);
    const int index = domainIndex(chunk, domain.data(), int(domain.size()));
    BackupManifest::_FileNode& node = chunk.append();
    RowInfo& info = chunk.rows.back();
    MBDBParser::_MBDBItem& it = node.item;
    info.domain = index;
    it.domain = chunk.domains[size_t(index)];
    const QByteArrayView path = textColumn(1);
    it.pathUtf8 = m_paths.bytes(path.data(), path.size());
    const int flags = sqlite3_column_int(m_stmt, 2);
    it.rowid = sqlite3_column_int64(m_stmt, 4);
    it.hasRowid = true;
    const QByteArrayView archive = blobColumn(3);
    const char* blob = archive.data();
    const int blobLen = int(archive.size());
    fillFromArchive(it, blobLen > 0 ? blob : nullptr, blobLen, flags);
    // Paths are used as given when clean; otherwise empty and "." parts are dropped for placing.
    const QByteArray& p = it.pathUtf8;
    if (isCleanPath(p))
        info.parentLength = parentLength(p);
    else {
        info.unclean = true;
        const QByteArray key = pathParts(p).join('/');
        info.parentLength = parentLength(key);
        chunk.cleanKeys.insert(chunk.rows.size() - 1, key);
    }
    info.mayBeKnown = !it.isFolder() && mayBeWellKnown(p);
}

// Readies the statement for a new chunk; false (with chunk.error set) when the reader could not open.
bool RowReader::start(RowChunk& chunk)
{
    if (!m_error.isEmpty()) {
        chunk.error = m_error;
        return false;
    }
    m_domainIndex.clear();
    m_lastIndex = -1;
    sqlite3_reset(m_stmt);
    return true;
}

void RowReader::finish(RowChunk& chunk, int rc) const
{
    if (rc != SQLITE_DONE)
        chunk.error = damagedText(m_path, QString::fromUtf8(sqlite3_errmsg(m_db.handle)));
}

RowChunk RowReader::read(qint64 from, qint64 to)
{
    RowChunk chunk;
    if (!start(chunk))
        return chunk;
    chunk.rows.reserve(size_t(std::min<quint64>(quint64(to) - quint64(from) + 1, 8192)));
    sqlite3_bind_int64(m_stmt, 1, from);
    sqlite3_bind_int64(m_stmt, 2, to);
    int rc;
    std::optional<qint64> last;
    while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
        const qint64 rowid = sqlite3_column_int64(m_stmt, 4);
        if (rowid < from || rowid > to || (last && rowid <= *last)) {
            chunk.disordered = true;
            return chunk;
        }
        last = rowid;
        readRow(chunk);
    }
    finish(chunk, rc);
    return chunk;
}

// Every row the table's pages hold, in their order, each record once: a page that a damaged file
// holds twice yields its rows twice. Records are told apart by fileID, those without one by rowid.
RowChunk RowReader::readAll()
{
    RowChunk chunk;
    if (!start(chunk))
        return chunk;
    QSet<QByteArray> fileIds;
    QSet<qint64> rowids;
    int rc;
    while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
        const qsizetype seen = fileIds.size() + rowids.size();
        if (sqlite3_column_type(m_stmt, 5) == SQLITE_NULL)
            rowids.insert(sqlite3_column_int64(m_stmt, 4));
        else
            fileIds.insert(blobColumn(5).toByteArray());
        if (fileIds.size() + rowids.size() == seen)
            continue; // a record already read
        readRow(chunk);
    }
    finish(chunk, rc);
    return chunk;
}

// A fixed set of reading threads that read the chunks of a rowid range in any order and hand them
// out in rowid order. Without a range, one thread reads the whole table as one chunk.
class ChunkPipeline
{
public:
    ChunkPipeline(const QString& path, std::optional<std::pair<qint64, qint64>> range, int threads)
        : m_wholeTable(!range)
        , m_minRow(range ? range->first : 0)
        , m_maxRow(range ? range->second : -1)
    {
        // Sparse rowids make chunks hold fewer rows, never more chunks than this. Unsigned, as
        // rowids may span the whole 64-bit range.
        constexpr quint64 kRows = 8192;
        constexpr quint64 kMaxChunks = 256;
        if (m_wholeTable)
            m_slots.resize(1);
        else if (m_maxRow >= m_minRow) {
            const quint64 lastOffset = quint64(m_maxRow) - quint64(m_minRow); // the span less one
            m_chunkRows = std::max(kRows, lastOffset / kMaxChunks + 1);
            m_slots.resize(size_t(lastOffset / m_chunkRows + 1));
        }
        threads = std::max(1, std::min(threads, int(m_slots.size())));
        for (int i = 0; i < threads && !m_slots.empty(); ++i) {
            try {
                m_threads.emplace_back([this, path] { work(path); });
            } catch (const std::system_error&) {
                break; // the system gives no more threads: those started do the work
            }
        }
        if (m_threads.empty())
            work(path);
    }
    ~ChunkPipeline()
    {
        m_stop = true;
        for (std::thread& t : m_threads)
            t.join();
    }
    size_t size() const { return m_slots.size(); }
    // Waits for chunk i and takes it.
    RowChunk take(size_t i)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [&] { return m_slots[i].has_value(); });
        RowChunk chunk = std::move(*m_slots[i]);
        m_slots[i].reset();
        return chunk;
    }

private:
    void work(const QString& path)
    {
        std::unique_ptr<RowReader> reader;
        for (size_t i = m_next++; i < m_slots.size() && !m_stop; i = m_next++) {
            const quint64 offset = quint64(i) * m_chunkRows;
            const qint64 from = qint64(quint64(m_minRow) + offset);
            const qint64 to = quint64(m_maxRow) - quint64(from) < m_chunkRows
                ? m_maxRow
                : qint64(quint64(from) + m_chunkRows - 1);
            RowChunk chunk;
            try {
                if (!reader)
                    reader = std::make_unique<RowReader>(path, m_wholeTable);
                chunk = m_wholeTable ? reader->readAll() : reader->read(from, to);
            } catch (const std::exception& e) {
                chunk.error = damagedText(path, QString::fromUtf8(e.what()));
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            m_slots[i] = std::move(chunk);
            m_ready.notify_all();
        }
    }

    bool m_wholeTable;
    qint64 m_minRow;
    qint64 m_maxRow;
    quint64 m_chunkRows = 1;
    std::vector<std::optional<RowChunk>> m_slots;
    std::atomic<size_t> m_next { 0 };
    std::atomic<bool> m_stop { false };
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::vector<std::thread> m_threads;
};

// What two b-tree lookups and a count tell of the Files table, to check the rows read against.
// Each query is cheap: min and max apart (together they would scan the table), and count(*) from
// the smallest index.
struct TableShape {
    bool ranged = false; // all three answered: the rows may be read by rowid range
    qint64 minRow = 0;
    qint64 maxRow = -1; // -1 when the table is empty
    qint64 rows = -1; // -1 when the rows cannot be counted
};

// Throws when the file opens as no database or has no Files table; a query that fails leaves its
// part unknown, as only the reading of the whole table can tell a damaged file that still reads.
TableShape tableShapeThrow(const QString& path)
{
    Sqlite3DB db;
    try {
        db.openReadOnlyThrow(path, true);
        if (!db.tableExists(QStringLiteral("Files")))
            fail(QStringLiteral("%1 is damaged or not a backup manifest: it has no Files table.").arg(path));
    } catch (const std::exception& e) {
        // SQLite's text names the read-only URI: name the file instead.
        const QString text
            = QString::fromUtf8(e.what()).remove(QStringLiteral(" (%1)").arg(Sqlite3DB::immutableUri(path)));
        fail(text.contains(path) ? text : damagedText(path, text));
    }
    TableShape shape;
    try {
        Sqlite3Cursor count = db.queryThrow("select count(*) from Files");
        if (count.moveNext())
            shape.rows = count.getInt64(0);
        Sqlite3Cursor lo = db.queryThrow("select min(rowid) from Files");
        Sqlite3Cursor hi = db.queryThrow("select max(rowid) from Files");
        if (shape.rows < 0 || !lo.moveNext() || !hi.moveNext())
            return shape;
        if (!lo.isNull(0)) {
            shape.minRow = lo.getInt64(0);
            shape.maxRow = hi.getInt64(0);
        }
        shape.ranged = true;
    } catch (const std::exception&) {
    }
    return shape;
}

} // namespace

void BackupManifest::parseManifestDbThrow(const QString& path)
{
    try {
        readManifestDbRowsThrow(path);
    } catch (const std::runtime_error& e) {
        // Errors name the file as the user knows it: the backup's own Manifest.db, not the
        // decrypted copy of an encrypted backup.
        const QString known = QDir::toNativeSeparators(dir.absoluteFilePath(QStringLiteral("Manifest.db")));
        fail(QString::fromUtf8(e.what()).replace(path, known));
    } catch (const std::exception& e) {
        // Any other failure (memory, a length) still names the file: never an empty backup.
        fail(damagedText(QDir::toNativeSeparators(dir.absoluteFilePath(QStringLiteral("Manifest.db"))),
            QString::fromUtf8(e.what())));
    }
}

void BackupManifest::readManifestDbRowsThrow(const QString& path)
{
    const TableShape shape = tableShapeThrow(path);
    if (shape.ranged && linkManifestRowsThrow(path, shape.minRow, shape.maxRow, shape.rows))
        return;
    // Rows missing from their ranges or out of rowid order: the table's pages are damaged or out
    // of place. Its rows are then read as SQLite's own scan finds them, each record once.
    clearTree();
    m_builder = std::make_unique<TreeBuilder>();
    linkManifestRowsThrow(path, 0, -1, -1);
    // A scan may end early without an error (a leaf page in the root's place): never a part of the
    // records taken for all of them.
    if (m_recordCount < shape.rows)
        fail(damagedText(path,
            QStringLiteral("only %1 of its %2 file records can be read.")
                .arg(m_recordCount)
                .arg(shape.rows)));
}

bool BackupManifest::linkManifestRowsThrow(const QString& path, qint64 minRow, qint64 maxRow, qint64 rows)
{
    const bool wholeTable = rows < 0;
    // Reading threads read and decode rowid ranges into nodes; this thread links them in rowid
    // order, so that the tree is the same whatever the number of threads. Linking is light, so
    // there is one reading thread per core the process may run on (idealThreadCount() counts the
    // cores of its affinity mask, so a process pinned to two cores reads with two threads).
    ChunkPipeline pipeline(path, wholeTable ? std::nullopt : std::optional(std::pair(minRow, maxRow)),
        std::clamp(QThread::idealThreadCount(), 1, 8));
    for (size_t i = 0; i < pipeline.size(); ++i) {
        RowChunk chunk = pipeline.take(i);
        if (!wholeTable && (!chunk.error.isEmpty() || chunk.disordered))
            return false;
        if (!chunk.error.isEmpty())
            fail(chunk.error);
        std::vector<DomainEntry*> entries;
        entries.reserve(chunk.domains.size());
        for (const QString& d : chunk.domains)
            entries.push_back(domainEntry(d));
        for (size_t r = 0; r < chunk.rows.size(); ++r) {
            const RowInfo& info = chunk.rows[r];
            _FileNode* made = &chunk.node(r);
            adoptRecord(made, entries[size_t(info.domain)],
                info.unclean ? chunk.cleanKeys[r] : made->item.pathUtf8, info.parentLength, info.mayBeKnown);
        }
        // The chunk's nodes join the tree's; the block that newNode fills stays the last one.
        const bool roomLeft = !m_chunks.empty() && m_chunkUsed < kNodeChunk;
        m_chunks.insert(roomLeft ? m_chunks.end() - 1 : m_chunks.end(),
            std::make_move_iterator(chunk.blocks.begin()), std::make_move_iterator(chunk.blocks.end()));
        if (!roomLeft)
            m_chunkUsed = kNodeChunk;
    }
    return wholeTable || m_recordCount == rows;
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
    const QList<QByteArray> parts = pathParts(path);
    for (int i = 0; i < parts.size(); ++i) {
        prefix = prefix.isEmpty() ? parts[i] : prefix + '/' + parts[i];
        const _FileNode* next = nullptr;
        for (const _FileNode* c : cur->children) {
            const QByteArray& cp = c->item.pathUtf8;
            if (cp == prefix || (!isCleanPath(cp) && pathParts(cp).join('/') == prefix)) {
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

void BackupManifest::copyFile(const _FileNode* node, QString dest, void* context, CopyProgress progress) const
{
    StoredFileCopy(*this).copyThrow(node, dest, context, progress);
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
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/qm-reduced-XXXXXX"));
    const QString plain = work.filePath(QStringLiteral("Manifest.db"));
    BackupWriter::copyFileThrow(src, plain);
    {
        Sqlite3DB db;
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
        BackupWriter::encryptFileThrow(manifestKey(), plain, tmpDest);
    else
        BackupWriter::copyFileThrow(plain, tmpDest);
    // On the disk first, then in place in one rename over the old copy: there always is a whole one.
    if (!OutputFile::syncPath(tmpDest) || !OutputFile::syncPath(QFileInfo(dest).absolutePath())
        || !BackupWriteJournal::rename(tmpDest, dest)) {
        QFile::remove(tmpDest);
        fail(QStringLiteral("Cannot create %1.").arg(dest));
    }
}

void BackupManifest::settleEarlierWriteThrow()
{
    const BackupFolderLock settling(dir, BackupFolderLock::Mode::Exclusive);
    m_writeUnsettled = !BackupWriteJournal::settleLeftover(dir);
    if (m_writeUnsettled)
        fail(BackupWriteJournal::unsettledText(dir));
}

void BackupManifest::writeFilesThrow(const QList<WriteRequest>& items,
    const std::function<void(int, const QString&)>& progress, const std::function<bool()>& cancelled)
{
    BackupWriter writer(*this, progress, cancelled);
    writer.stageFilesThrow(items);
    writer.stageManifestThrow();
    writer.commitThrow();
    noteWrittenFiles(writer);
}

// After a write the object follows what is now on disk.
void BackupManifest::noteWrittenFiles(const BackupWriter& writer)
{
    const bool mbdb = isMbdb();
    if (!writer.newPlainManifestDb().isEmpty() && m_plainDir)
        BackupWriter::copyFileThrow(
            writer.newPlainManifestDb(), m_plainDir->filePath(QStringLiteral("Manifest.db")));
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
