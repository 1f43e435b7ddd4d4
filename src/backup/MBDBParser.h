#pragma once

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QPair>
#include <QString>
#include <memory>

class ContentDigest;
class QIODevice;

// File records of a backup. The records of Manifest.mbdb are read and written here; Manifest.db
// rows are turned into the same record type by BackupManifest.
class MBDBParser
{
public:
    static constexpr quint16 kModeTypeMask = 0xF000;
    static constexpr quint16 kModeFile = 0x8000;
    static constexpr quint16 kModeFolder = 0x4000;
    static constexpr quint16 kModeLink = 0xA000;

    // Fields that most records lack, kept out of line so a record stays small.
    struct _MBDBExtra {
        QByteArray linkTarget;
        QByteArray dataHash;
        QByteArray encryptionKey; // 4 bytes class (LE) + 40 bytes wrapped key, when stored inline
        QList<QPair<QByteArray, QByteArray>> properties;
        // Which of link target, data hash and key the mbdb record stored (even empty), bits 0-2.
        quint8 present = 0;
        // Ownership and times that only the mbdb format keeps per record (Manifest.db keeps
        // them in the record's archive).
        quint64 inode = 0;
        quint32 uid = 0;
        quint32 gid = 0;
        quint32 atime = 0;
        quint32 ctime = 0;
    };

    // One file record. Strings are kept as UTF-8; the domain text is shared between records.
    struct _MBDBItem {
        QString domain;
        QByteArray pathUtf8;
        std::shared_ptr<const _MBDBExtra> extra;
        // The stored size; negative when the record gives none a file can have (unknown).
        qint64 size = 0;
        // The Manifest.db row the record was read from (valid when hasRowid): its key is looked up
        // there again through the table's own b-tree, which holds when an index is damaged.
        qint64 rowid = 0;
        quint32 mtime = 0; // modification time, Unix seconds
        quint16 mode = 0;
        quint8 protectionClass = 0;
        bool domainNull = false; // the mbdb record stored an absent domain
        bool pathNull = false; // the mbdb record stored an absent path
        // A Manifest.db record whose archive could not be decoded: its size, time and key are unknown.
        bool archiveUnread = false;
        bool hasRowid = false;

        QString relativePath() const { return QString::fromUtf8(pathUtf8); }
        QString linkTarget() const { return extra ? QString::fromUtf8(extra->linkTarget) : QString(); }
        QByteArray encryptionKey() const { return extra ? extra->encryptionKey : QByteArray(); }
        quint64 inode() const { return extra ? extra->inode : 0; }
        quint32 uid() const { return extra ? extra->uid : 0; }
        quint32 gid() const { return extra ? extra->gid : 0; }
        quint32 atime() const { return extra ? extra->atime : mtime; }
        quint32 ctime() const { return extra ? extra->ctime : mtime; }
        bool isFolder() const { return (mode & kModeTypeMask) == kModeFolder; }
        bool isLink() const { return (mode & kModeTypeMask) == kModeLink; }
        bool isFile() const { return !isFolder() && !isLink(); }
        // Lower-case hex SHA-1 of UTF-8 domain + "-" + relative path.
        QString backupFileName() const;
        _MBDBExtra& mutableExtra();
    };

    // Parses Manifest.mbdb bytes; source names the file in error texts. Throws std::runtime_error,
    // also when the records do not go whole to the end.
    static QList<_MBDBItem> parseThrow(const QByteArray& data, const QString& source);
    // Reads the records of a Manifest.mbdb from in a block at a time: memory follows the records
    // read, never the size of the file. What follows the last whole record (the file ending inside
    // one, a record without domain and path as zeros read) is damage: thrown
    // without damaged, else the records before it are given and *damaged tells it, naming source
    // (empty when there is none), and nothing after it is read. The bytes read are added to read
    // when given. A read that fails, or a file that is no such list, is thrown.
    static QList<_MBDBItem> readThrow(
        QIODevice& in, const QString& source, QString* damaged = nullptr, ContentDigest* read = nullptr);
    // readThrow of the regular file at path.
    static QList<_MBDBItem> parseFileThrow(const QString& path, QString* damaged = nullptr);
    // The records that lie whole in head, the first bytes of a Manifest.mbdb (a record cut off at
    // its end, and all after a damaged one, are left out); none when head is no such list.
    static QList<_MBDBItem> parseHead(const QByteArray& head);
    // Serialises records in the Manifest.mbdb format (header included).
    static QByteArray serialize(const QList<_MBDBItem>& items);

    static QString backupFileName(const QString& domain, const QString& relativePath);

    // dir/name, or dir/<first two characters of name>/name when dir holds a Manifest.db and no
    // Manifest.mbdb; with create set, that sub-folder is made (*why set when it cannot be).
    static QString getBKFilePath(const QDir& dir, QString name, bool create, QString* why = nullptr);
};
