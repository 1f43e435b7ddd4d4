#include "backup/MBFileArchive.h"

#include "device/BinaryPlistTable.h"
#include "device/PlistCFType.h"

#include <cstring>

bool MBFileArchive::decode(const char* data, qsizetype size, Fields& out, bool wantKey, bool wantStrings)
{
    BinaryPlistTable p;
    if (!p.open(data, size))
        return false;
    quint64 objectsRef, topRef, rootRef, rootUid;
    if (!p.lookup(p.top(), "$objects", objectsRef) || !p.lookup(p.top(), "$top", topRef)
        || !p.lookup(topRef, "root", rootRef) || !p.uid(rootRef, rootUid))
        return false;
    quint8 kind;
    quint64 nObjects, items;
    if (!p.references(objectsRef, kind, nObjects, items) || kind != BinaryPlistTable::kArray
        || rootUid >= nObjects)
        return false;
    // Archive UIDs index $objects; turn one into an object reference.
    auto object = [&](quint64 uidValueRef, quint64& objRef) {
        quint64 u;
        if (!p.uid(uidValueRef, u) || u >= nObjects)
            return false;
        objRef = p.reference(items, u);
        return true;
    };
    const quint64 root = p.reference(items, rootUid);
    quint64 n, refs;
    if (!p.references(root, kind, n, refs) || kind != BinaryPlistTable::kDict)
        return false;
    out = Fields();
    for (quint64 i = 0; i < n; ++i) {
        const quint64 v = p.reference(refs, n + i);
        BinaryPlistTable::Header key;
        if (!p.header(p.reference(refs, i), key) || key.kind != BinaryPlistTable::kAscii || key.length == 0
            || !p.fits(key.pos, key.length, 1))
            continue;
        const char* name = reinterpret_cast<const char*>(p.data() + key.pos);
        auto is = [&]<size_t N>(
                      const char(&s)[N]) { return N - 1 == key.length && std::memcmp(name, s, N - 1) == 0; };
        switch (name[0]) {
        case 'S':
            if (is("Size"))
                p.integer(v, out.size);
            break;
        case 'M':
            if (is("Mode"))
                out.hasMode = p.integer(v, out.mode);
            break;
        case 'L':
            if (is("LastModified"))
                p.integer(v, out.lastModified);
            else if (is("LastStatusChange"))
                p.integer(v, out.lastStatusChange);
            break;
        case 'B':
            if (is("Birth"))
                p.integer(v, out.birth);
            break;
        case 'I':
            if (is("InodeNumber"))
                p.integer(v, out.inode);
            break;
        case 'U':
            if (is("UserID"))
                p.integer(v, out.userId);
            break;
        case 'G':
            if (is("GroupID"))
                p.integer(v, out.groupId);
            break;
        case 'P':
            if (is("ProtectionClass"))
                p.integer(v, out.protectionClass);
            break;
        case 'F':
            if (is("Flags"))
                p.integer(v, out.flags);
            break;
        case 'R':
            if (wantStrings && is("RelativePath")) {
                quint64 obj;
                if (object(v, obj))
                    p.bytes(obj, out.relativePath);
            }
            break;
        case 'T':
            if (wantStrings && is("Target")) {
                quint64 obj;
                if (object(v, obj))
                    p.bytes(obj, out.target);
                else
                    p.bytes(v, out.target);
            }
            break;
        case 'E':
            if (wantKey && is("EncryptionKey")) {
                quint64 obj, dataRef;
                if (object(v, obj) && p.lookup(obj, "NS.data", dataRef)) {
                    quint64 dataObj; // some writers put the bytes in an object of their own
                    if (object(dataRef, dataObj))
                        dataRef = dataObj;
                    p.bytes(dataRef, out.encryptionKey);
                }
            }
            break;
        default:
            break;
        }
    }
    return true;
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
