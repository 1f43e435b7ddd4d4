#pragma once

#include <QByteArray>
#include <memory>
#include <vector>

class BinaryPlistTable;

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
    // Decodes the records of one manifest for a file tree with exactly decodeForTree's result,
    // faster: the records of one archiver share the layout of their archive (the objects walked to
    // reach the numbers, and which value holds which number). The last few layouts seen are kept;
    // a record that holds every object of one byte for byte, at the same object numbers, has its
    // numbers read straight from the values that layout names. Any other record, and any record
    // whose strings are wanted, takes decodeForTree's full walk. One per thread.
    class TreeDecoder
    {
    public:
        TreeDecoder();
        ~TreeDecoder();
        bool decode(const char* data, qsizetype size, Fields& out, bool wantStrings);
        // Records read through a kept layout so far.
        qint64 shortcuts() const { return m_shortcuts; }

    private:
        static constexpr size_t kLayouts = 8;
        static constexpr qint64 kMaxMisses = 64; // records that may teach a layout in any case
        struct Layout;
        void learn(const BinaryPlistTable& p, const Fields& decoded);
        std::vector<std::unique_ptr<Layout>> m_layouts; // the most recently used first
        qint64 m_shortcuts = 0;
        qint64 m_misses = 0;
    };

    // The archive of a record with these fields (target aside), as a binary property list.
    static QByteArray encode(const Fields& fields);
};
