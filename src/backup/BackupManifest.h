#pragma once

#include "backup/BackupKeyBag.h"
#include "backup/BackupLoadFaults.h"
#include "backup/ContentDigest.h"
#include "backup/MBDBParser.h"
#include "backup/ManifestDecryption.h"
#include "backup/StoredFile.h"

#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

class BackupWriter;
class HeldFolder;
class ManifestConnection;
class PlistCFType;
class QTemporaryDir;
class Sqlite3DB;

// One backup folder on disk: the device identity of Manifest.plist, the encryption state with
// keybag and password, the file records (Manifest.mbdb or Manifest.db) as a tree, the well-known
// database files, and the copying, decrypting and encrypting of its files.
class BackupManifest : public QObject
{
    Q_OBJECT
public:
    // One node of the file tree. Nodes live in the manifest and stay valid as long as it does.
    struct _FileNode {
        MBDBParser::_MBDBItem item;
        _FileNode* parent = nullptr;
        QList<_FileNode*> children;
        // No record of its own: a folder implied by the paths of other records.
        bool implied = false;

        // The name the tree shows: the last part of the relative path, or the domain for the top
        // level. "." and ".." are shown as "_" and "__" so a name can never lead out of a folder.
        QString name() const;
    };

    // Runs the key derivation of setPasscode. The user interface installs one that shows a
    // progress dialog while a worker thread runs work; the default calls work directly.
    using UnlockRunner = std::function<void(BackupManifest& manifest, const std::function<void()>& work)>;
    static void setUnlockRunner(UnlockRunner runner);
    // For tests: a step the password check takes first, in the work the runner runs, with the
    // backup's folder (to hold it as a disk that stopped answering does).
    static void setBeforeUnlock(std::function<void(const QString& folder)> hook);

    // Callback of copyFile: the stored copy's bytes, those of them copied (or decrypted) so far, and
    // context; told along the way and last before the file is put in place.
    using CopyProgress = void (*)(long long total, long long done, void* context);

    explicit BackupManifest(QString path, QObject* parent = nullptr);
    ~BackupManifest() override;

    // Manifest.plist (and the time of Status.plist): identity, date, keybag, manifest key, and the
    // encryption, which the stored files tell whatever its IsEncrypted says (IsEncrypted is then
    // whether they need the password). Throws std::runtime_error ("Cannot find ..." when the file is
    // missing; naming the backup when its files are encrypted and it holds no keybag).
    void readManifestInfo();
    // Closes the connection to Manifest.db that readManifestInfo leaves open for the reading of the
    // records to use again: for a listing, which reads no records.
    void closeManifestDb();
    // Reads the file records into the tree and finds the well-known files. Throws
    // std::runtime_error naming the file when the records cannot be read. A write into the folder
    // that an earlier run left unfinished is finished or undone first, so no stored file is read
    // from under it; when that cannot be done the records are still read (earlierWriteUnsettled).
    void parseInfo();
    // For a backup read without its Manifest.plist (lost in a copy, or never written): tells from
    // the stored files whether it can be read at all. Throws std::runtime_error naming the backup
    // when they are encrypted, since their keys are in the Manifest.plist it lacks; parseInfo runs
    // it when readManifestInfo has not.
    void readWithoutInfoThrow();
    // Whether parseInfo found an earlier write it could not finish or undo (a read-only folder).
    bool earlierWriteUnsettled() const { return m_writeUnsettled; }
    // What parseInfo read the records without, for the user (a journal beside a plain Manifest.db
    // that is not a file, the damaged rest of a Manifest.mbdb); empty when they were read with all
    // that goes with them.
    QString readWithout() const { return m_readWithout; }
    // Whether the stored file at path is one of that write's that does not hold what its record in
    // the manifest in place describes (BackupWriteSettlement::settleLeftover): so until the write is
    // finished or undone, and every copy of it says so.
    bool partOfUnsettledWrite(const QString& path) const { return m_unsettledFiles.contains(path); }
    // Why the stored file at path, part of that write, is not what its record describes; what it
    // reads as was written to dest, or nothing when dest is empty.
    QString unsettledText(const QString& path, const QString& dest) const;
    // Whether node's stored file may be read (StoredFile::stateOf). One that write moved aside, and
    // that comes back when the write is finished or undone, is Unreadable, and text says so.
    StoredFile::State storedState(const _FileNode* node, QString* text = nullptr) const;
    // Finishes or undoes an earlier unfinished write, as a road that writes into the backup does
    // before it reads; throws std::runtime_error when it cannot, or when a plain manifest is in
    // another program's use (BackupWriter::checkNotInUseThrow), before anything changes.
    void settleEarlierWriteThrow();
    // Tries the password on the keybag; true when it unlocks (the manifest database is then
    // decrypted for reading). Throws when the keybag asks for absurd work or the manifest is damaged,
    // and BackupKeyBag::Cancelled, leaving the backup as it was, after cancelUnlock().
    bool setPasscode(QString password);
    // Asks the setPasscode under way (on another thread) to stop soon; safe from any thread.
    void cancelUnlock() { m_unlockCancel = true; }

    // Lower-case hex MD5 of the folder's absolute path; names the backup's cache folder.
    QString dirPathMd5() const;

    // Thrown by copyFile when the stored copy of an encrypted record is not the file the phone
    // wrote: it ends without the padding the phone gives every file (cut short, not encrypted, or
    // encrypted under another key), or is not whole blocks; or, in a backup that another tool
    // decrypted, it is still encrypted; or a copy taken as it stands is cut short of its record
    // (empty, or a picture, film, sound or message attachment shorter than its record, see
    // StoredFileCopy::cutShort), or a database shorter than its own header gives. What it decrypts
    // to (or holds) is written all the same when there is anything; the text names the stored
    // copy, says which and gives the record's size. Where it says that bytes were written to a
    // copy, it names that copy (copy()) as writtenTo does.
    class NotAsWritten : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
        NotAsWritten(const QString& text, const QString& copy);
        // The copy the text says bytes were written to; empty when it names none.
        const QString& copy() const { return m_copy; }
        // The words of every such text that say bytes were written to copy.
        static QString writtenTo(const QString& copy);
        // text, which may say bytes were written to copy, as it holds now: once copy is gone, it
        // says instead that they were not kept.
        static QString toldNow(QString text, const QString& copy);
        // What e tells now: the text of a NotAsWritten as it holds now, any other's as it stands.
        static QString toldNow(const std::exception& e);

    private:
        QString m_copy;
    };
    // Thrown by copyFile when the stored copy cannot be read: the system refuses to open it, a read
    // fails (a failing disk), or in an encrypted backup its file key cannot be had (the record's key
    // is damaged, missing or of a class the keybag lacks). Nothing is written; the text names the
    // stored copy and gives the system's reason, or the key's. The backup's other files may well
    // still be read.
    class Unreadable : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };
    // Thrown by writeFilesThrow when the write was put in place but a step that makes it last on the
    // disk failed (the sync of the folder, the removal of the manifest it replaced): it may or may
    // not be there, its record stays for the next opening of the backup to settle, and the object
    // follows the write.
    class WriteNotConfirmed : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

    // Throws when the manifest in place is not the one the tree was read from: another program
    // wrote into the backup since, and the tree's records and keys no longer tell its files. A
    // cheap look at the manifest's files (no read); called under the shared hold.
    void checkLoadedThrow() const;

    // Copies the stored file of node to dest, decrypted for an encrypted backup; see StoredFileCopy.
    // With stored, it gets the content of the stored file as the copy read it (in the same pass):
    // what a road that writes the copy back expects to replace (WriteRequest::expectedOld).
    void copyFile(const _FileNode* node, QString dest, void* context, CopyProgress progress,
        ContentDigest::Sum* stored = nullptr) const;
    // The same, to the file name inside folder, a folder the caller holds (see OutputFile); a name
    // the disk refuses is fitted. Returns the name written; throws OutputFile::Refused when the disk
    // takes no name fitted from it.
    QString copyFile(const _FileNode* node, const HeldFolder& folder, const QString& name, void* context,
        CopyProgress progress) const;

    // Writes a copy of the manifest database reduced to the records worth restoring to dest,
    // runs fn on it, and encrypts it again when the backup's manifest is encrypted.
    void saveManifestDbAsThrow(
        bool keepSystem, QSet<QString> keepDomains, QString dest, void (*fn)(Sqlite3DB*));

    // One file to write into the backup (see writeFilesThrow).
    struct WriteRequest {
        QString domain;
        QString sourceFile;
        QString relativePath;
        bool overwrite = false;
        bool useSecondClassKey = false;
        // What the stored file this request replaces held when the road read it (see copyFile);
        // unknown when it read none. The write is refused when the file no longer holds it.
        ContentDigest::Sum expectedOld;
    };
    // Writes each file under its hashed name (encrypted when the backup is), adds or updates its
    // record and saves the manifest in the backup's own format. Everything is prepared in
    // temporaries first and replaces the old files at the end; on failure the backup is unchanged.
    // progress(index, relative path) is called before each file; cancelled() is polled between files.
    // mayCommit() is asked right before the first file of the backup is replaced: false stops the
    // write with nothing written, true means it can no longer be cancelled (see BackupWriter).
    void writeFilesThrow(const QList<WriteRequest>& items,
        const std::function<void(int, const QString&)>& progress = {},
        const std::function<bool()>& cancelled = {}, const std::function<bool()>& mayCommit = {});

    // Lookups over the parsed tree.
    _FileNode* rootNode() { return &m_root; }
    const _FileNode* rootNode() const { return &m_root; }
    _FileNode* findNode(const QString& domain, const QString& relativePath) const;
    qint64 recordCount() const { return m_recordCount; }
    // The stored copy of a record in the backup folder.
    QString storedFilePath(const MBDBParser::_MBDBItem& item) const;
    // The record's key blob (4 bytes class LE + wrapped key), read from the manifest when needed;
    // empty for a plain backup or a record without a key, nothing when the manifest cannot tell it.
    std::optional<QByteArray> fileKeyBlob(const MBDBParser::_MBDBItem& item) const;
    // The record's unwrapped file key; empty for plain backups or when unwrapping fails.
    QByteArray fileKey(const MBDBParser::_MBDBItem& item) const;

    bool isMbdb() const;
    bool isUnlocked() const { return m_keyBag && m_keyBag->isUnlocked(); }
    const BackupKeyBag* keyBag() const { return m_keyBag.get(); }
    QString password() const { return m_password; }
    bool hasManifestKey() const { return !m_manifestKeyBlob.isEmpty(); }
    // The Manifest.db to read: the decrypted copy for an encrypted manifest, a private copy of a
    // plain one whose log holds rows, else the backup's own.
    QString readableManifestDbPath() const;

    // From the "Lockdown" dictionary of Manifest.plist.
    QString UniqueDeviceID;
    QString DeviceName;
    QString ProductType;
    QString ProductVersion;
    QString SerialNumber;
    QString BuildVersion;
    // "Date" of Manifest.plist, or the modification time of Status.plist when that exists.
    QDateTime date;
    // Whether the stored files need the password (see readManifestInfo), not the flag of that name.
    bool IsEncrypted = false;
    QString version;
    QString displayName;
    // The backup folder.
    QDir dir;

    // Well-known files, null when the backup lacks them.
    _FileNode* addressBookNode = nullptr; // Library/AddressBook/AddressBook.sqlitedb
    _FileNode* addressBookImagesNode = nullptr; // Library/AddressBook/AddressBookImages.sqlitedb
    _FileNode* notesNode = nullptr; // Library/Notes/notes.sqlite
    _FileNode* calendarNode = nullptr; // Library/Calendar/Calendar.sqlitedb
    _FileNode* calendarExtrasNode = nullptr; // Library/Calendar/Extras.db
    _FileNode* recordingsNode = nullptr; // Media/Recordings/Recordings.db
    _FileNode* voicemailNode = nullptr; // Library/Voicemail/voicemail.db
    _FileNode* bookmarksNode = nullptr; // Library/Safari/Bookmarks.db
    _FileNode* callHistoryNode = nullptr; // Library/CallHistory/call_history.db
    _FileNode* callHistoryStoreNode = nullptr; // Library/CallHistoryDB/CallHistory.storedata
    _FileNode* smsNode = nullptr; // Library/SMS/sms.db
    // Pictures and movies of the camera folders under Media/DCIM/.
    QList<_FileNode*> photoList;
    QList<_FileNode*> videoList;

    // Counts written by the backup loading, in this order.
    qint64 msgCount = 0;
    qint64 contactsCount = 0;
    qint64 voicemailCount = 0;
    qint64 calendarEventCount = 0;
    qint64 notesCount = 0;
    qint64 callHistoryCount = 0;
    qint64 recordingsCount = 0;
    qint64 bookmarksCount = 0;
    // What the last load could not copy as the phone wrote it, for the pages that read those files.
    BackupLoadFaults loadFaults;

    // Joins a backup-relative path to base, refusing any path that would leave base.
    static QString safeJoinThrow(const QDir& base, const QString& relative);

private:
    friend class BackupWriter; // reads the keybag, the manifest key and the decrypted manifest
    friend class StoredFileCopy; // reads the decrypted manifest and whether another tool decrypted it
    friend class ManifestDbReader; // links the records of Manifest.db into the tree
    void noteWrittenFiles(BackupWriter& writer);
    // The error of a backup another program has written since it was loaded.
    QString changedText() const;
    // The manifest in place is not the one loaded: nothing is read or written until parseInfo
    // reads it again, decrypting it anew.
    void noteChangedOnDisk();
    struct TreeBuilder;
    void clearTree();
    // Clears the tree and starts building it anew.
    void restartTree();
    _FileNode* newNode(MBDBParser::_MBDBItem item, _FileNode* parent, bool implied);
    // Takes over blocks of nodes made elsewhere, leaving blocks empty.
    void takeNodes(std::vector<std::unique_ptr<_FileNode[]>>& blocks);
    struct DomainEntry;
    _FileNode* insertRecord(MBDBParser::_MBDBItem item, DomainEntry* entry = nullptr);
    _FileNode* adoptRecord(
        _FileNode* made, DomainEntry* entry, const QByteArray& key, int parentLength, bool mayBeKnown);
    // The folder a record with the (clean) path key goes into; slash is the last '/' of key or -1.
    _FileNode* parentFolder(
        _FileNode* dom, QHash<QByteArray, _FileNode*>* folders, const QByteArray& key, int slash);
    DomainEntry* domainEntry(const QString& domain);
    _FileNode* domainNode(const QString& domain);
    _FileNode* folderNode(
        _FileNode* domain, QHash<QByteArray, _FileNode*>* folders, const QByteArray& folderPath);
    _FileNode* childFolder(_FileNode* parent, QHash<QByteArray, _FileNode*>* folders, const QByteArray& path);
    [[noreturn]] void failTooDeep(const QString& domain, const QByteArray& folderPath) const;
    void readRecordsThrow();
    void parseMbdbThrow(const QString& path);
    void readEncryptionThrow(const PlistCFType& plist, const QString& plistPath);
    void readKeysThrow(
        const PlistCFType& plist, const QString& plistPath, bool filesSay, bool manifestEncrypted);
    QString keysMissingText(const QString& why) const;
    void logEncryption(bool flag, bool plainDbWithManifestKey, const QString& plistPath) const;
    void decryptManifestDbThrow();
    bool unlockThrow(const QString& password);
    // key, or a throw naming Manifest.plist when the manifest key did not unwrap.
    QByteArray keyThrow(const QByteArray& key) const;
    void adoptPlainManifest(ManifestDecryption::Copy copy);
    QByteArray manifestKey() const;
    QString manifestStamp() const;
    // Whether Manifest.plist is not the one readManifestInfo read.
    bool infoChanged() const;

    _FileNode m_root;
    // Nodes in chunks: stable addresses without a heap block per node. Chunks made here hold
    // kNodeChunk nodes, as many as RowChunk's blocks: kept below the size the C library maps a
    // block on its own at; those taken over from the reading threads of Manifest.db may hold fewer.
    static constexpr int kNodeChunk = 512;
    // Folders a record may lie below. A device's paths hold at most 1024 bytes, so at most 512
    // folders; a deeper record would cost a folder node, with its own path, per level.
    static constexpr int kMaxFolderDepth = 1024;
    std::vector<std::unique_ptr<_FileNode[]>> m_chunks;
    int m_chunkUsed = 0;
    std::unique_ptr<TreeBuilder> m_builder;
    qint64 m_recordCount = 0;
    std::unique_ptr<BackupKeyBag> m_keyBag;
    QByteArray m_manifestKeyBlob;
    QString m_password;
    // The records carry keys (or Manifest.plist says encrypted), but another tool decrypted the
    // stored files: one it left encrypted is named when copied.
    bool m_decryptedCopy = false;
    std::atomic<bool> m_unlockCancel { false };
    // Holds the decrypted Manifest.db, or the copy of a plain one with its log's rows.
    std::unique_ptr<QTemporaryDir> m_plainDir;
    QString m_plainStamp; // which Manifest.db it was decrypted from
    ContentDigest::Sum m_plainSum; // the content of the encrypted Manifest.db it was decrypted from
    QString m_loadedStamp; // which manifest the tree was read from; empty before parseInfo
    bool m_infoRead = false;
    QString m_infoStamp; // which Manifest.plist readManifestInfo read
    bool m_writeUnsettled = false;
    QString m_readWithout;
    QSet<QString> m_unsettledFiles; // the files the record of that write names
    // The copies' reads of records' keys; last, so that it closes before the folder it reads goes.
    std::unique_ptr<ManifestConnection> m_connection;
};
