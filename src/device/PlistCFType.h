#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSharedPointer>
#include <QString>

class QFile;

// Serialised form of a property list: 100 is XML, every other value (callers use 200) binary.
enum CFPropertyListFormat { CFPropertyListXMLFormat = 100, CFPropertyListBinaryFormat = 200 };

// Shared holder of one libplist node. Frees the node on destruction while it still owns it.
class PlistCFTypePrivacy
{
public:
    PlistCFTypePrivacy(void* node, bool owned);
    ~PlistCFTypePrivacy();
    PlistCFTypePrivacy(const PlistCFTypePrivacy&) = delete;
    PlistCFTypePrivacy& operator=(const PlistCFTypePrivacy&) = delete;

    void* p() const { return node; }

    void* node;
    bool owned;
};

// A property-list value over one libplist node (plist_t), with CoreFoundation-style operations.
//
// Ownership: values made by the create operations (and by parsing and clone) own their node; values
// got from a container with get/at are views that borrow it and are valid only while the container
// lives; putting a value into a container hands its node to the container; copies of a handle share
// one node, freed with the last copy while still owned. Reads never fail: a value of the wrong kind
// gives the caller's default, an empty result or the null value.
class PlistCFType
{
public:
    PlistCFType();
    PlistCFType(void* node, bool owned);
    PlistCFType(const PlistCFType& other);
    PlistCFType& operator=(const PlistCFType& other);
    virtual ~PlistCFType();

    // The wrapped node (null for a null value); the caller does not gain ownership.
    void* ref() const;

    // CoreFoundation-style type identifier: 21 bool, 22 number, 7 string, 19 array, 18 dictionary,
    // 37 date, 20 data, 35 keyed-archiver UID, 16 anything else (null value).
    unsigned long typeId() const;
    bool isCFBoolean() const;
    bool isCFNumber() const;
    bool isCFString() const;
    bool isCFData() const;
    bool isCFDate() const;
    bool isCFDictionary() const;
    bool isCFArray() const;
    bool isCFKeyedArchiverUID() const;

    // Creators: each returns an owning value over a new node.
    static PlistCFType createCFBoolean(bool value);
    static PlistCFType createCFNumberInt8(char value);
    static PlistCFType createCFNumberInt16(short value);
    static PlistCFType createCFNumberInt32(int value);
    static PlistCFType createCFNumberInt64(long long value);
    static PlistCFType createCFNumberCFIndex(long value);
    static PlistCFType createCFNumberFloat(float value);
    static PlistCFType createCFNumberDouble(double value);
    static PlistCFType createCFString(const QString& text);
    static PlistCFType createCFData(const QByteArray& bytes);
    // The date-time's clock reading is taken as UTC, whatever its time spec.
    static PlistCFType createCFDate(QDateTime dateTime);
    static PlistCFType createCFKeyedArchiverUID(long value);
    static PlistCFType createCFDictionary();
    static PlistCFType createCFArray();
    static PlistCFType createCFDictionary(const QList<PlistCFType>& keys, const QList<PlistCFType>& values);
    static PlistCFType createCFArray(const QList<PlistCFType>& items);
    static PlistCFType createCFDictionaryCreateMutableCopy(const PlistCFType& dict);
    static PlistCFType clone(PlistCFType value);

    // Typed reads; the argument is returned when the node is not of an accepted kind.
    bool CFNumberBool(bool def) const;
    char CFNumberInt8(char def) const;
    short CFNumberInt16(short def) const;
    int CFNumberInt(int def) const;
    long long CFNumberInt64(long long def) const;
    double CFNumberDouble(double def) const;
    float CFNumberFloat(float def) const;

    QString CFStringQString() const;
    int CFStringLength() const;
    QByteArray CFDataBytes() const;
    int CFDataLength() const;
    // Local date-time of the stored date read as a wall-clock reading, plus offsetSecs seconds;
    // invalid for anything but a date.
    QDateTime CFDateToDateTime(int offsetSecs) const;
    // The stored date's clock reading plus offsetSecs seconds, in UTC: the exact mirror of
    // createCFDate, with no local zone involved; invalid for anything but a date.
    QDateTime CFDateToUtcClock(int offsetSecs) const;
    quint32 CFKeyedArchiverUIDGetValue() const;
    QString toString() const;

    // Dictionaries.
    int dict_size() const;
    QList<PlistCFType> dict_keys() const;
    PlistCFType get(const QString& key) const;
    PlistCFType get(const PlistCFType& key) const;
    PlistCFType& put(const QString& key, PlistCFType value);
    PlistCFType& put(PlistCFType key, PlistCFType value);
    PlistCFType& dict_replace(const PlistCFType& key, const PlistCFType& value);

    // Arrays.
    int array_size() const;
    PlistCFType at(int index) const;
    PlistCFType& append(PlistCFType value);
    PlistCFType& array_replace(int index, const PlistCFType& value);

    // Parsing (binary when the bytes begin with "bplist", else XML) and serialising. A binary list
    // whose tree would take more than kMaxExpandedBytes is refused (the null value, *tooLarge set).
    static PlistCFType createCFPropertyList(const QByteArray& bytes, bool* tooLarge = nullptr);
    // The most a parsed binary property list may take, an object counted at every reference to it
    // (libplist copies a shared one at each): far above what a phone writes, far below what a few
    // megabytes referring a thousand times to one large value would take.
    static constexpr qint64 kMaxExpandedBytes = 128 * 1024 * 1024;
    // Null for a file that cannot be read or is larger than kMaxFileBytes.
    static PlistCFType createCFPropertyListFromFile(const QString& path);
    // The most of a property list file that is read: far above what a phone writes (a keybag's
    // list holds a few hundred kB), so that a crafted or sparse file costs no more than this.
    static constexpr qint64 kMaxFileBytes = 8 * 1024 * 1024;
    enum class FileRead { Read, Failed, TooLarge };
    // Reads the whole file opened as file into *bytes, up to kMaxFileBytes; Failed with *why set
    // (the system's reason) when a read fails, TooLarge, with nothing read, beyond the bound.
    static FileRead readFileBounded(QFile& file, QByteArray* bytes, QString* why);
    // The text of a property list file refused as TooLarge.
    static QString tooLargeText(const QString& path);
    // The text of a property list refused as it would take more than kMaxExpandedBytes.
    static QString expandsTooFarText(const QString& path);
    QByteArray CFPropertyListToBytes(CFPropertyListFormat format) const;
    PlistCFType CFPropertyListToData(CFPropertyListFormat format) const;

    // Keyed archives.
    // The root object's entries of the archive held by this value, UID references resolved one
    // level; the entries are views valid while this archive lives.
    QHash<QString, PlistCFType> NSKeyedArchiver() const;
    // A new keyed archive of a string-keyed dictionary; the values pass into the archive.
    static PlistCFType createNSDictionaryStringCFType(
        const QHash<QString, PlistCFType>& dict, bool mutableClass);
    // The dictionary held by such an archive, each value an owning deep copy.
    static QHash<QString, PlistCFType> parseNSDictionaryStringCFType(const PlistCFType& archive);

private:
    enum class InsertMode { DictSet, ArrayAppend, ArraySet };

    int nodeType() const;
    void insertChild(const PlistCFType& value, InsertMode mode, const QByteArray& key, int index);

    QSharedPointer<PlistCFTypePrivacy> m_holder;
    QHash<void*, QSharedPointer<PlistCFTypePrivacy>> m_keepAlive;
};
