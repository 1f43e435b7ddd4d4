#include "backup/MBFileArchive.h"

#include "device/BinaryPlistTable.h"
#include "device/PlistCFType.h"

#include <algorithm>
#include <cstring>
#include <map>

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

// How the archive walk reads the objects it passes: as they are. LayoutRecorder reads them the
// same way and notes every object read.
class PlainReader
{
public:
    explicit PlainReader(const BinaryPlistTable& p)
        : m_p(p)
    {
    }
    const BinaryPlistTable& table() const { return m_p; }
    bool container(quint64 idx, quint8 kind, quint64& n, quint64& refs) const
    {
        quint8 found;
        return m_p.references(idx, found, n, refs) && found == kind;
    }
    QByteArrayView key(quint64 idx) const { return asciiKey(m_p, idx); }
    bool uid(quint64 idx, quint64& value) const { return m_p.uid(idx, value); }

private:
    const BinaryPlistTable& m_p;
};

// The value of the first key of a dictionary that is the ASCII string name, as
// BinaryPlistTable::lookup finds it.
template <typename Reader, size_t N>
bool valueOf(Reader& r, quint64 dict, const char (&name)[N], quint64& value)
{
    quint64 n, refs;
    if (!r.container(dict, BinaryPlistTable::kDict, n, refs))
        return false;
    for (quint64 i = 0; i < n; ++i)
        if (is(r.key(r.table().reference(refs, i)), name)) {
            value = r.table().reference(refs, n + i);
            return true;
        }
    return false;
}

// The "$objects" and "$top" values of the archive's top dictionary, found in one pass over its
// keys (the first of each, as a lookup would find them).
template <typename Reader> bool archiveParts(Reader& r, quint64& objectsRef, quint64& topRef)
{
    const BinaryPlistTable& p = r.table();
    quint64 n, refs;
    if (!r.container(p.top(), BinaryPlistTable::kDict, n, refs))
        return false;
    bool objects = false, top = false;
    for (quint64 i = 0; i < n && !(objects && top); ++i) {
        const QByteArrayView key = r.key(p.reference(refs, i));
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
template <typename Reader> bool archiveRoot(Reader& r, quint64& items, quint64& nObjects, quint64& root)
{
    quint64 objectsRef, topRef, rootRef, rootUid;
    if (!archiveParts(r, objectsRef, topRef) || !valueOf(r, topRef, "root", rootRef)
        || !r.uid(rootRef, rootUid))
        return false;
    if (!r.container(objectsRef, BinaryPlistTable::kArray, nObjects, items) || rootUid >= nObjects)
        return false;
    root = r.table().reference(items, rootUid);
    return true;
}

using Number = qint64 MBFileArchive::Fields::*;

// The integer field of a record that a file tree shows; null for other keys.
Number treeNumber(QByteArrayView key)
{
    using F = MBFileArchive::Fields;
    switch (key[0]) {
    case 'S':
        return is(key, "Size") ? &F::size : nullptr;
    case 'M':
        return is(key, "Mode") ? &F::mode : nullptr;
    case 'L':
        return is(key, "LastModified") ? &F::lastModified : nullptr;
    case 'P':
        return is(key, "ProtectionClass") ? &F::protectionClass : nullptr;
    default:
        return nullptr;
    }
}

qint64* treeField(QByteArrayView key, MBFileArchive::Fields& out)
{
    const Number n = treeNumber(key);
    return n ? &(out.*n) : nullptr;
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
    PlainReader r(p);
    quint64 items, nObjects, root, n, refs;
    if (!p.open(data, size) || !archiveRoot(r, items, nObjects, root)
        || !r.container(root, BinaryPlistTable::kDict, n, refs))
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

// What decodeFields decides for a tree from an archive's structure alone: the objects it walks
// to reach the record's dictionary, and which value holds which number.
struct ArchiveLayout {
    // Objects first, first + 1, ... lying one after another from offsets[0]; bytes holds them all.
    struct Run {
        quint64 first = 0;
        std::vector<quint64> offsets;
        QByteArray entries; // their offset table entries, as stored
        QByteArray bytes;
    };
    // A number and the object of its value, in the order of the record's keys.
    struct Step {
        Number number;
        quint64 value;
    };
    int offsetSize = 0;
    int refSize = 0;
    quint64 count = 0;
    quint64 top = 0;
    std::vector<Run> runs;
    std::vector<Step> steps;

    // Whether the archive holds the same objects: then decodeFields walks it the same way.
    bool matches(const BinaryPlistTable& p) const
    {
        if (p.offsetSize() != offsetSize || p.refSize() != refSize || p.count() != count || p.top() != top)
            return false;
        for (const Run& run : runs) {
            quint64 at, off;
            const quint64 n = quint64(run.bytes.size());
            if (!p.offset(run.first, at) || !p.fits(at, n, 1)
                || std::memcmp(p.data() + at, run.bytes.constData(), n) != 0)
                return false;
            // The objects may have moved together, as when a longer value comes before them.
            const quint64 shift = at - run.offsets[0];
            if (shift == 0) {
                if (std::memcmp(p.offsetEntries(run.first), run.entries.constData(), run.entries.size()) != 0)
                    return false;
                continue;
            }
            for (size_t i = 1; i < run.offsets.size(); ++i)
                if (!p.offset(run.first + i, off) || off != run.offsets[i] + shift)
                    return false;
        }
        return true;
    }

    // The numbers of a matching archive, read as decodeFields reads them.
    void read(const BinaryPlistTable& p, MBFileArchive::Fields& out) const
    {
        out = MBFileArchive::Fields();
        for (const Step& s : steps) {
            const bool read = p.integer(s.value, out.*s.number);
            if (s.number == &MBFileArchive::Fields::mode)
                out.hasMode = read;
        }
    }
};

// Walks an archive as decodeFields does for a tree and notes its layout. Gives up on anything
// unusual (a key that is no ASCII string, say): such archives always take the full walk.
class LayoutRecorder
{
public:
    explicit LayoutRecorder(const BinaryPlistTable& p)
        : m_p(p)
    {
    }
    bool record(ArchiveLayout& layout);

    // The walk's reads, as PlainReader's, each object read noted.
    const BinaryPlistTable& table() const { return m_p; }
    bool container(quint64 idx, quint8 kind, quint64& n, quint64& refs);
    QByteArrayView key(quint64 idx);
    bool uid(quint64 idx, quint64& value);

private:
    bool note(quint64 idx, quint64 end);

    const BinaryPlistTable& m_p;
    std::map<quint64, std::pair<quint64, quint64>> m_objects; // object -> offset, bytes read
    bool m_unusual = false; // a key was read that a layout cannot stand for
};

bool LayoutRecorder::note(quint64 idx, quint64 end)
{
    quint64 off;
    if (!m_p.offset(idx, off) || end <= off)
        return false;
    auto& o = m_objects[idx];
    o = { off, std::max(o.second, end - off) };
    return true;
}

bool LayoutRecorder::container(quint64 idx, quint8 kind, quint64& n, quint64& refs)
{
    quint8 found;
    if (!m_p.references(idx, found, n, refs) || found != kind)
        return false;
    const quint64 perItem = kind == BinaryPlistTable::kDict ? 2 : 1;
    return note(idx, refs + perItem * n * quint64(m_p.refSize()));
}

QByteArrayView LayoutRecorder::key(quint64 idx)
{
    const QByteArrayView key = asciiKey(m_p, idx);
    const char* start = reinterpret_cast<const char*>(m_p.data());
    if (key.isEmpty() || !note(idx, quint64(key.data() + key.size() - start)))
        m_unusual = true;
    return key;
}

bool LayoutRecorder::uid(quint64 idx, quint64& value)
{
    BinaryPlistTable::Header h;
    return m_p.header(idx, h) && h.kind == BinaryPlistTable::kUid && note(idx, h.pos + h.length)
        && m_p.uid(idx, value);
}

bool LayoutRecorder::record(ArchiveLayout& l)
{
    quint64 items, nObjects, object, n, refs;
    if (!archiveRoot(*this, items, nObjects, object) || m_unusual
        || !container(object, BinaryPlistTable::kDict, n, refs))
        return false;
    for (quint64 i = 0; i < n; ++i) {
        const QByteArrayView k = key(m_p.reference(refs, i));
        if (m_unusual)
            return false;
        if (const Number number = treeNumber(k))
            l.steps.push_back({ number, m_p.reference(refs, n + i) });
    }
    l.offsetSize = m_p.offsetSize();
    l.refSize = m_p.refSize();
    l.count = m_p.count();
    l.top = m_p.top();
    // Objects that follow one another in number and in place are checked as one run of bytes.
    for (const auto& [idx, o] : m_objects) {
        ArchiveLayout::Run* last = l.runs.empty() ? nullptr : &l.runs.back();
        if (!last || idx != last->first + last->offsets.size()
            || o.first != last->offsets[0] + quint64(last->bytes.size())) {
            l.runs.emplace_back();
            last = &l.runs.back();
            last->first = idx;
        }
        last->offsets.push_back(o.first);
        last->entries.append(reinterpret_cast<const char*>(m_p.offsetEntries(idx)), m_p.offsetSize());
        last->bytes.append(reinterpret_cast<const char*>(m_p.data()) + o.first, qsizetype(o.second));
    }
    return true;
}

bool sameNumbers(const MBFileArchive::Fields& a, const MBFileArchive::Fields& b)
{
    return a.size == b.size && a.lastModified == b.lastModified && a.mode == b.mode
        && a.protectionClass == b.protectionClass && a.hasMode == b.hasMode;
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

struct MBFileArchive::TreeDecoder::Layout : ArchiveLayout {
};

MBFileArchive::TreeDecoder::TreeDecoder() = default;
MBFileArchive::TreeDecoder::~TreeDecoder() = default;

bool MBFileArchive::TreeDecoder::decode(const char* data, qsizetype size, Fields& out, bool wantStrings)
{
    BinaryPlistTable p;
    if (wantStrings || !p.open(data, size))
        return decodeForTree(data, size, out, wantStrings);
    for (auto it = m_layouts.begin(); it != m_layouts.end(); ++it)
        if ((*it)->matches(p)) {
            (*it)->read(p, out);
            std::rotate(m_layouts.begin(), it, it + 1);
            ++m_shortcuts;
            return true;
        }
    if (!decodeForTree(data, size, out, false))
        return false;
    // Learning costs a second walk: stop when the records keep differing.
    if (++m_misses <= kMaxMisses || m_misses <= m_shortcuts)
        learn(p, out);
    return true;
}

void MBFileArchive::TreeDecoder::learn(const BinaryPlistTable& p, const Fields& decoded)
{
    auto layout = std::make_unique<Layout>();
    Fields check;
    if (!LayoutRecorder(p).record(*layout))
        return;
    // A layout that would read its own record differently is never kept.
    layout->read(p, check);
    if (!sameNumbers(check, decoded))
        return;
    if (m_layouts.size() == kLayouts)
        m_layouts.pop_back();
    m_layouts.insert(m_layouts.begin(), std::move(layout));
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
