#pragma once

#include <QByteArray>

// Reads the keyed archive of one Manifest.db record (an "MBFile" object in a binary property
// list) straight from its bytes. Only the fields the file tree needs are taken, without building
// a property-list tree, so hundreds of thousands of records decode quickly.
class MBFileArchive
{
public:
    struct Fields {
        qint64 size = 0;
        qint64 lastModified = 0;
        qint64 lastStatusChange = 0;
        qint64 birth = 0;
        qint64 inode = 0;
        qint64 userId = 0;
        qint64 groupId = 0;
        qint64 mode = 0;
        qint64 protectionClass = 0;
        qint64 flags = 0;
        QByteArray relativePath; // UTF-8
        QByteArray target; // UTF-8 link target, empty when none
        QByteArray encryptionKey; // "NS.data" of the EncryptionKey object, when wanted
        bool hasMode = false;
    };

    // Decodes data into out; false when the bytes are not such an archive. With wantKey the
    // wrapped file key is extracted too; strings are only read when wantStrings is set.
    static bool decode(const char* data, qsizetype size, Fields& out, bool wantKey, bool wantStrings);
    static bool decode(const QByteArray& data, Fields& out, bool wantKey, bool wantStrings)
    {
        return decode(data.constData(), data.size(), out, wantKey, wantStrings);
    }
    // As decode without the key, reading only what a file tree shows: size, modification time,
    // mode, protection class (and the strings with wantStrings). The other numbers stay zero.
    static bool decodeForTree(const char* data, qsizetype size, Fields& out, bool wantStrings);
    // The archive of a record with these fields (target aside), as a binary property list.
    static QByteArray encode(const Fields& fields);
};
