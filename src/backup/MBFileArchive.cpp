#include "backup/MBFileArchive.h"

#include "device/BinaryPlistTable.h"
#include "device/PlistCFType.h"

#include <cstring>

namespace
{

// A dictionary key that is an ASCII string; empty for any other key.
Q_ALWAYS_INLINE QByteArrayView asciiKey(const BinaryPlistTable& p, quint64 ref)
{
    BinaryPlistTable::Header h;
    if (!p.header(ref, h) || h.kind != BinaryPlistTable::kAscii || !p.fits(h.pos, h.length, 1))
        return {};
    return QByteArrayView(p.data() + h.pos, qsizetype(h.length));
}

template <size_t N> bool is(QByteArrayView key, const char (&name)[N])
{
    return key.size() == qsizetype(N - 1) && std::memcmp(key.data(), name, N - 1) == 0;
}

// The value of the first key of a dictionary that is the ASCII string name, as
// BinaryPlistTable::lookup finds it.
template <size_t N>
bool valueOf(const BinaryPlistTable& p, quint64 dict, const char (&name)[N], quint64& value)
{
    quint8 kind;
    quint64 n, refs;
    if (!p.references(dict, kind, n, refs) || kind != BinaryPlistTable::kDict)
        return false;
    for (quint64 i = 0; i < n; ++i)
        if (is(asciiKey(p, p.reference(refs, i)), name)) {
            value = p.reference(refs, n + i);
            return true;
        }
    return false;
}

// The "$objects" and "$top" values of the archive's top dictionary, found in one pass over its
// keys (the first of each, as a lookup would find them).
bool archiveParts(const BinaryPlistTable& p, quint64& objectsRef, quint64& topRef)
{
    quint8 kind;
    quint64 n, refs;
    if (!p.references(p.top(), kind, n, refs) || kind != BinaryPlistTable::kDict)
        return false;
    bool objects = false, top = false;
    for (quint64 i = 0; i < n && !(objects && top); ++i) {
        const QByteArrayView key = asciiKey(p, p.reference(refs, i));
        if (!objects && is(key, "$objects")) {
            objectsRef = p.reference(refs, n + i);
            objects = true;
        } else if (!top && is(key, "$top")) {
            topRef = p.reference(refs, n + i);
            top = true;
        }
    }
    return objects && top;
}

// The archive's object table ($objects: nObjects references from items) and its root object.
bool archiveRoot(const BinaryPlistTable& p, quint64& items, quint64& nObjects, quint64& root)
{
    quint64 objectsRef, topRef, rootRef, rootUid;
    if (!archiveParts(p, objectsRef, topRef) || !valueOf(p, topRef, "root", rootRef)
        || !p.uid(rootRef, rootUid))
        return false;
    quint8 kind;
    if (!p.references(objectsRef, kind, nObjects, items) || kind != BinaryPlistTable::kArray
        || rootUid >= nObjects)
        return false;
    root = p.reference(items, rootUid);
    return true;
}

// The integer field of a record that a file tree shows; null for other keys.
qint64* treeField(QByteArrayView key, MBFileArchive::Fields& out)
{
    switch (key[0]) {
    case 'S':
        return is(key, "Size") ? &out.size : nullptr;
    case 'M':
        return is(key, "Mode") ? &out.mode : nullptr;
    case 'L':
        return is(key, "LastModified") ? &out.lastModified : nullptr;
    case 'P':
        return is(key, "ProtectionClass") ? &out.protectionClass : nullptr;
    default:
        return nullptr;
    }
}

// The integer field of a record that a key names; null for other keys.
qint64* integerField(QByteArrayView key, MBFileArchive::Fields& out)
{
    if (qint64* shown = treeField(key, out))
        return shown;
    switch (key[0]) {
    case 'L':
        return is(key, "LastStatusChange") ? &out.lastStatusChange : nullptr;
    case 'B':
        return is(key, "Birth") ? &out.birth : nullptr;
    case 'I':
        return is(key, "InodeNumber") ? &out.inode : nullptr;
    case 'U':
        return is(key, "UserID") ? &out.userId : nullptr;
    case 'G':
        return is(key, "GroupID") ? &out.groupId : nullptr;
    case 'F':
        return is(key, "Flags") ? &out.flags : nullptr;
    default:
        return nullptr;
    }
}

// The strings and the key of a record: only a few records have them, or only some readers want them.
class ObjectFields
{
public:
    ObjectFields(const BinaryPlistTable& p, quint64 items, quint64 nObjects)
        : m_p(p)
        , m_items(items)
        , m_nObjects(nObjects)
    {
    }

    void take(QByteArrayView key, quint64 v, MBFileArchive::Fields& out, bool wantKey, bool wantStrings) const
    {
        quint64 obj;
        if (wantStrings && is(key, "RelativePath")) {
            if (object(v, obj))
                m_p.bytes(obj, out.relativePath);
        } else if (wantStrings && is(key, "Target")) {
            if (object(v, obj))
                m_p.bytes(obj, out.target);
            else
                m_p.bytes(v, out.target);
        } else if (wantKey && is(key, "EncryptionKey")) {
            quint64 dataRef;
            if (object(v, obj) && m_p.lookup(obj, "NS.data", dataRef)) {
                quint64 dataObj; // some writers put the bytes in an object of their own
                if (object(dataRef, dataObj))
                    dataRef = dataObj;
                m_p.bytes(dataRef, out.encryptionKey);
            }
        }
    }

private:
    // Archive UIDs index $objects; turn one into an object reference.
    bool object(quint64 uidValueRef, quint64& objRef) const
    {
        quint64 u;
        if (!m_p.uid(uidValueRef, u) || u >= m_nObjects)
            return false;
        objRef = m_p.reference(m_items, u);
        return true;
    }

    const BinaryPlistTable& m_p;
    quint64 m_items;
    quint64 m_nObjects;
};

// Reads the fields of the record's dictionary that field picks out, and the objects wanted.
template <typename FieldOf>
bool decodeFields(const char* data, qsizetype size, MBFileArchive::Fields& out, bool wantKey,
    bool wantStrings, FieldOf field)
{
    BinaryPlistTable p;
    quint64 items, nObjects, root;
    if (!p.open(data, size) || !archiveRoot(p, items, nObjects, root))
        return false;
    quint8 kind;
    quint64 n, refs;
    if (!p.references(root, kind, n, refs) || kind != BinaryPlistTable::kDict)
        return false;
    out = MBFileArchive::Fields();
    const ObjectFields objects(p, items, nObjects);
    for (quint64 i = 0; i < n; ++i) {
        const QByteArrayView key = asciiKey(p, p.reference(refs, i));
        if (key.isEmpty())
            continue;
        const quint64 v = p.reference(refs, n + i);
        if (qint64* f = field(key, out)) {
            const bool read = p.integer(v, *f);
            if (f == &out.mode)
                out.hasMode = read;
        } else if ((wantStrings && (key[0] == 'R' || key[0] == 'T')) || (wantKey && key[0] == 'E'))
            objects.take(key, v, out, wantKey, wantStrings);
    }
    return true;
}

} // namespace

bool MBFileArchive::decode(const char* data, qsizetype size, Fields& out, bool wantKey, bool wantStrings)
{
    return decodeFields(data, size, out, wantKey, wantStrings,
        [](QByteArrayView key, Fields& f) { return integerField(key, f); });
}

bool MBFileArchive::decodeForTree(const char* data, qsizetype size, Fields& out, bool wantStrings)
{
    return decodeFields(
        data, size, out, false, wantStrings, [](QByteArrayView key, Fields& f) { return treeField(key, f); });
}

QByteArray MBFileArchive::encode(const Fields& f)
{
    QList<PlistCFType> objects;
    objects.append(PlistCFType::createCFString(QStringLiteral("$null")));
    PlistCFType root = PlistCFType::createCFDictionary();
    auto num = [](qint64 v) { return PlistCFType::createCFNumberInt64(v); };
    root.put(QStringLiteral("Birth"), num(f.birth));
    root.put(QStringLiteral("Flags"), num(f.flags));
    root.put(QStringLiteral("GroupID"), num(f.groupId));
    root.put(QStringLiteral("InodeNumber"), num(f.inode));
    root.put(QStringLiteral("LastModified"), num(f.lastModified));
    root.put(QStringLiteral("LastStatusChange"), num(f.lastStatusChange));
    root.put(QStringLiteral("Mode"), num(f.mode));
    root.put(QStringLiteral("ProtectionClass"), num(f.protectionClass));
    root.put(QStringLiteral("RelativePath"), PlistCFType::createCFKeyedArchiverUID(2));
    root.put(QStringLiteral("Size"), num(f.size));
    root.put(QStringLiteral("UserID"), num(f.userId));
    int next = 3;
    PlistCFType pathObj = PlistCFType::createCFString(QString::fromUtf8(f.relativePath));
    QList<PlistCFType> extra;
    if (!f.encryptionKey.isEmpty()) {
        root.put(QStringLiteral("EncryptionKey"), PlistCFType::createCFKeyedArchiverUID(next));
        PlistCFType keyObj = PlistCFType::createCFDictionary();
        keyObj.put(QStringLiteral("NS.data"), PlistCFType::createCFData(f.encryptionKey));
        keyObj.put(QStringLiteral("$class"), PlistCFType::createCFKeyedArchiverUID(next + 1));
        extra.append(keyObj);
        PlistCFType cls = PlistCFType::createCFDictionary();
        cls.put(QStringLiteral("$classname"), PlistCFType::createCFString(QStringLiteral("NSMutableData")));
        PlistCFType classes = PlistCFType::createCFArray();
        for (const char* c : { "NSMutableData", "NSData", "NSObject" })
            classes.append(PlistCFType::createCFString(QString::fromLatin1(c)));
        cls.put(QStringLiteral("$classes"), classes);
        extra.append(cls);
        next += 2;
    }
    root.put(QStringLiteral("$class"), PlistCFType::createCFKeyedArchiverUID(next));
    PlistCFType mbClass = PlistCFType::createCFDictionary();
    mbClass.put(QStringLiteral("$classname"), PlistCFType::createCFString(QStringLiteral("MBFile")));
    PlistCFType mbClasses = PlistCFType::createCFArray();
    mbClasses.append(PlistCFType::createCFString(QStringLiteral("MBFile")));
    mbClasses.append(PlistCFType::createCFString(QStringLiteral("NSObject")));
    mbClass.put(QStringLiteral("$classes"), mbClasses);

    PlistCFType objs = PlistCFType::createCFArray();
    objs.append(objects[0]);
    objs.append(root);
    objs.append(pathObj);
    for (const PlistCFType& e : extra)
        objs.append(e);
    objs.append(mbClass);
    PlistCFType top = PlistCFType::createCFDictionary();
    top.put(QStringLiteral("root"), PlistCFType::createCFKeyedArchiverUID(1));
    PlistCFType archive = PlistCFType::createCFDictionary();
    archive.put(QStringLiteral("$version"), PlistCFType::createCFNumberInt64(100000));
    archive.put(QStringLiteral("$archiver"), PlistCFType::createCFString(QStringLiteral("NSKeyedArchiver")));
    archive.put(QStringLiteral("$top"), top);
    archive.put(QStringLiteral("$objects"), objs);
    return archive.CFPropertyListToBytes(CFPropertyListBinaryFormat);
}
