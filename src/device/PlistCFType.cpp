#include "device/PlistCFType.h"

#include "app/MacEpoch.h"
#include "app/RegularFile.h"
#include "device/BinaryPlistShape.h"
#include "device/BinaryPlistTable.h"

#include <QFile>
#include <QStringList>
#include <QTime>
#include <QtEndian>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <plist/plist.h>
#include <vector>

namespace
{

// Dates are kept within what QDateTime and 64-bit millisecond arithmetic handle comfortably.
constexpr double kMaxDateSeconds = 1e13;

int typeOf(plist_t node)
{
    return node ? int(plist_get_node_type(node)) : int(PLIST_NONE);
}

// A binary property list holding one date, for dates whose seconds since 2001 do not fit the
// 32-bit arguments of plist_new_date.
plist_t newDateFromDouble(double secondsSince2001)
{
    QByteArray bin("bplist00");
    bin.append(char(0x33));
    quint64 bits;
    std::memcpy(&bits, &secondsSince2001, sizeof bits);
    char be[8];
    qToBigEndian(bits, be);
    bin.append(be, 8);
    bin.append(char(8)); // offset table: the one object starts at byte 8
    QByteArray trailer(32, '\0');
    trailer[6] = 1; // offset size
    trailer[7] = 1; // object reference size
    trailer[15] = 1; // one object
    trailer[31] = 17; // offset table position
    bin.append(trailer);
    plist_t node = nullptr;
    plist_from_bin(bin.constData(), uint32_t(bin.size()), &node);
    return node;
}

// The exact stored seconds of a date node, read from its binary form. plist_get_date_val cannot
// give them when they do not fit 32 bits, nor the sign of a date less than a second before 2001.
bool exactDateSeconds(plist_t node, double& seconds)
{
    char* buf = nullptr;
    uint32_t len = 0;
    plist_to_bin(node, &buf, &len);
    QByteArray bin(buf, buf ? int(len) : 0);
    free(buf);
    BinaryPlistTable table;
    BinaryPlistTable::Header h;
    if (!table.open(bin.constData(), bin.size()) || !table.header(table.top(), h)
        || h.kind != BinaryPlistTable::kDate)
        return false;
    const quint64 bits = BinaryPlistTable::be(table.data() + h.pos, 8);
    std::memcpy(&seconds, &bits, sizeof seconds);
    return std::isfinite(seconds);
}

// Seconds and signed microseconds since 2001-01-01 00:00:00 of a date node.
bool dateValue(plist_t node, qint64& seconds, qint64& micros)
{
    int32_t sec = 0;
    int32_t usec = 0;
    plist_get_date_val(node, &sec, &usec);
    if (sec != std::numeric_limits<int32_t>::min() && !(sec == 0 && usec != 0)) {
        seconds = sec;
        // libplist hands out the fraction of a date before 2001 as a positive amount.
        micros = sec < 0 ? -qint64(usec) : qint64(usec);
        return true;
    }
    double exact = 0;
    if (!exactDateSeconds(node, exact) || std::fabs(exact) > kMaxDateSeconds)
        return false;
    seconds = qint64(std::trunc(exact));
    micros = std::llround((exact - double(seconds)) * 1e6);
    return true;
}

// Milliseconds since 1970 of a date node whose 2001-01-01 00:00:00 lies at base (Unix seconds);
// rounded to the millisecond, as the stored double can sit just below the written value.
std::optional<qint64> dateMSecs(plist_t node, qint64 base)
{
    qint64 seconds = 0;
    qint64 micros = 0;
    if (!dateValue(node, seconds, micros))
        return std::nullopt;
    return (base + seconds) * 1000 + qint64(std::llround(double(micros) / 1000.0));
}

// The XML form writes a keyed-archive UID as a dictionary holding only "CF$UID"; turn such
// dictionaries back into UID nodes, as Apple's reader does, so archives survive the XML form.
bool isUidDictionary(plist_t node)
{
    if (typeOf(node) != PLIST_DICT || plist_dict_get_size(node) != 1)
        return false;
    return typeOf(plist_dict_get_item(node, "CF$UID")) == PLIST_UINT;
}

plist_t uidFromDictionary(plist_t dict)
{
    uint64_t v = 0;
    plist_get_uint_val(plist_dict_get_item(dict, "CF$UID"), &v);
    return plist_new_uid(v);
}

// Property lists nested deeper than this are refused: libplist parses, copies, frees and writes
// trees recursively, and hostile input could otherwise exhaust the stack. Real ones nest a few levels.
constexpr int kMaxDepth = 512;

// The deepest nesting of array and dictionary tags in XML text, counted before libplist sees it:
// its parser frees a failed tree recursively. Comments are skipped; a malformed text can only
// count deeper than it is, never shallower.
int xmlNestingDepth(const QByteArray& xml)
{
    const char* p = xml.constData();
    const char* end = p + xml.size();
    int depth = 0;
    int deepest = 0;
    auto isNameEnd
        = [&](const char* q) { return q >= end || !(std::isalnum(uchar(*q)) || *q == '_' || *q == '-'); };
    while ((p = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)))) != nullptr) {
        ++p;
        if (end - p >= 3 && std::memcmp(p, "!--", 3) == 0) {
            const char* close = static_cast<const char*>(memmem(p + 3, size_t(end - p - 3), "-->", 3));
            if (!close)
                break;
            p = close + 3;
            continue;
        }
        const bool closing = p < end && *p == '/';
        const char* name = closing ? p + 1 : p;
        int len = 0;
        if (end - name >= 5 && std::memcmp(name, "array", 5) == 0 && isNameEnd(name + 5))
            len = 5;
        else if (end - name >= 4 && std::memcmp(name, "dict", 4) == 0 && isNameEnd(name + 4))
            len = 4;
        if (!len)
            continue;
        const char* gt = static_cast<const char*>(std::memchr(name, '>', size_t(end - name)));
        if (closing) {
            depth = std::max(0, depth - 1);
        } else if (!(gt && gt[-1] == '/')) {
            deepest = std::max(deepest, ++depth);
            if (deepest > kMaxDepth)
                return deepest;
        }
    }
    return deepest;
}

bool isContainer(plist_t node)
{
    const int type = typeOf(node);
    return type == PLIST_ARRAY || type == PLIST_DICT;
}

// The first item of a container, or null when it is empty or no container.
plist_t firstChild(plist_t node)
{
    if (typeOf(node) == PLIST_ARRAY)
        return plist_array_get_size(node) ? plist_array_get_item(node, 0) : nullptr;
    if (typeOf(node) != PLIST_DICT)
        return nullptr;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(node, &it);
    if (!it)
        return nullptr;
    char* key = nullptr;
    plist_t item = nullptr;
    plist_dict_next_item(node, it, &key, &item);
    free(key);
    free(it);
    return item;
}

// Whether a tree nests deeper than kMaxDepth, found without recursion.
bool tooDeep(plist_t root)
{
    std::vector<std::pair<plist_t, int>> pending { { root, 1 } };
    while (!pending.empty()) {
        const auto [node, d] = pending.back();
        pending.pop_back();
        if (d > kMaxDepth)
            return true;
        if (typeOf(node) == PLIST_ARRAY) {
            const uint32_t n = plist_array_get_size(node);
            for (uint32_t i = 0; i < n; ++i) {
                plist_t item = plist_array_get_item(node, i);
                if (isContainer(item))
                    pending.emplace_back(item, d + 1);
            }
        } else if (typeOf(node) == PLIST_DICT) {
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            for (; it;) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, it, &key, &item);
                free(key);
                if (!item)
                    break;
                if (isContainer(item))
                    pending.emplace_back(item, d + 1);
            }
            free(it);
        }
    }
    return false;
}

// Frees a tree from the leaves up, so its depth cannot exhaust the stack as plist_free would.
void freeDeepTree(plist_t root)
{
    plist_t node = root;
    while (node) {
        if (plist_t child = firstChild(node)) {
            node = child;
            continue;
        }
        if (node == root) {
            plist_free(root);
            return;
        }
        plist_t parent = plist_get_parent(node);
        if (typeOf(parent) == PLIST_ARRAY) {
            plist_array_remove_item(parent, 0);
        } else {
            char* key = nullptr;
            plist_dict_get_item_key(node, &key);
            plist_dict_remove_item(parent, key ? key : "");
            free(key);
        }
        node = parent;
    }
}

plist_t restoreXmlUids(plist_t root)
{
    if (isUidDictionary(root)) {
        plist_t uid = uidFromDictionary(root);
        plist_free(root);
        return uid;
    }
    QList<plist_t> pending { root };
    while (!pending.isEmpty()) {
        plist_t node = pending.takeLast();
        if (typeOf(node) == PLIST_ARRAY) {
            const uint32_t n = plist_array_get_size(node);
            for (uint32_t i = 0; i < n; ++i) {
                plist_t item = plist_array_get_item(node, i);
                if (isUidDictionary(item))
                    plist_array_set_item(node, uidFromDictionary(item), i);
                else if (typeOf(item) == PLIST_ARRAY || typeOf(item) == PLIST_DICT)
                    pending << item;
            }
        } else if (typeOf(node) == PLIST_DICT) {
            QList<QPair<QByteArray, plist_t>> items;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            for (;;) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, it, &key, &item);
                if (!item) {
                    free(key);
                    break;
                }
                items.append({ QByteArray(key ? key : ""), item });
                free(key);
            }
            free(it);
            for (const auto& [key, item] : items) {
                if (isUidDictionary(item))
                    plist_dict_set_item(node, key.constData(), uidFromDictionary(item));
                else if (typeOf(item) == PLIST_ARRAY || typeOf(item) == PLIST_DICT)
                    pending << item;
            }
        }
    }
    return root;
}

} // namespace

PlistCFTypePrivacy::PlistCFTypePrivacy(void* node, bool owned)
    : node(node)
    , owned(owned)
{
}

PlistCFTypePrivacy::~PlistCFTypePrivacy()
{
    if (owned && node)
        plist_free(node);
}

PlistCFType::PlistCFType() = default;

PlistCFType::PlistCFType(void* node, bool owned)
    : m_holder(QSharedPointer<PlistCFTypePrivacy>::create(node, owned))
{
}

PlistCFType::PlistCFType(const PlistCFType& other) = default;

PlistCFType& PlistCFType::operator=(const PlistCFType& other)
{
    if (this != &other) {
        m_holder = other.m_holder;
        m_keepAlive = other.m_keepAlive;
    }
    return *this;
}

PlistCFType::~PlistCFType()
{
    // The table goes first: the holders it keeps alive own nothing any more.
    m_keepAlive.clear();
    m_holder.reset();
}

void* PlistCFType::ref() const
{
    return m_holder ? m_holder->node : nullptr;
}

int PlistCFType::nodeType() const
{
    return typeOf(ref());
}

unsigned long PlistCFType::typeId() const
{
    switch (nodeType()) {
    case PLIST_BOOLEAN:
        return 21;
    case PLIST_UINT:
    case PLIST_REAL:
        return 22;
    case PLIST_STRING:
    case PLIST_KEY:
        return 7;
    case PLIST_ARRAY:
        return 19;
    case PLIST_DICT:
        return 18;
    case PLIST_DATE:
        return 37;
    case PLIST_DATA:
        return 20;
    case PLIST_UID:
        return 35;
    default:
        return 16;
    }
}

bool PlistCFType::isCFBoolean() const
{
    return nodeType() == PLIST_BOOLEAN;
}
bool PlistCFType::isCFNumber() const
{
    return nodeType() == PLIST_UINT || nodeType() == PLIST_REAL;
}
bool PlistCFType::isCFString() const
{
    return nodeType() == PLIST_STRING || nodeType() == PLIST_KEY;
}
bool PlistCFType::isCFData() const
{
    return nodeType() == PLIST_DATA;
}
bool PlistCFType::isCFDate() const
{
    return nodeType() == PLIST_DATE;
}
bool PlistCFType::isCFDictionary() const
{
    return nodeType() == PLIST_DICT;
}
bool PlistCFType::isCFArray() const
{
    return nodeType() == PLIST_ARRAY;
}
bool PlistCFType::isCFKeyedArchiverUID() const
{
    return nodeType() == PLIST_UID;
}

// ---- creators

PlistCFType PlistCFType::createCFBoolean(bool value)
{
    return PlistCFType(plist_new_bool(value ? 1 : 0), true);
}

PlistCFType PlistCFType::createCFNumberInt8(char value)
{
    return createCFNumberInt64(static_cast<signed char>(value));
}

PlistCFType PlistCFType::createCFNumberInt16(short value)
{
    return createCFNumberInt64(value);
}

PlistCFType PlistCFType::createCFNumberInt32(int value)
{
    return createCFNumberInt64(value);
}

PlistCFType PlistCFType::createCFNumberInt64(long long value)
{
    // Negative numbers are kept as their two's complement, which both forms write back as negative.
    return PlistCFType(plist_new_uint(static_cast<uint64_t>(value)), true);
}

PlistCFType PlistCFType::createCFNumberCFIndex(long value)
{
    return createCFNumberInt64(value);
}

PlistCFType PlistCFType::createCFNumberFloat(float value)
{
    return createCFNumberDouble(double(value));
}

PlistCFType PlistCFType::createCFNumberDouble(double value)
{
    return PlistCFType(plist_new_real(value), true);
}

PlistCFType PlistCFType::createCFString(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return PlistCFType(plist_new_string(utf8.constData()), true);
}

PlistCFType PlistCFType::createCFData(const QByteArray& bytes)
{
    return PlistCFType(plist_new_data(bytes.constData(), uint64_t(bytes.size())), true);
}

PlistCFType PlistCFType::createCFDate(QDateTime dateTime)
{
    dateTime.setTimeSpec(Qt::UTC);
    const qint64 ms = dateTime.toMSecsSinceEpoch();
    // 64-bit throughout, so dates after January 2038 stay right.
    const qint64 s = ms / 1000;
    const qint64 seconds = s - kMacEpochOffset;
    const qint64 micros = (ms - s * 1000) * 1000;
    if (seconds >= std::numeric_limits<int32_t>::min() && seconds <= std::numeric_limits<int32_t>::max())
        return PlistCFType(plist_new_date(int32_t(seconds), int32_t(micros)), true);
    return PlistCFType(newDateFromDouble(double(seconds) + double(micros) / 1e6), true);
}

PlistCFType PlistCFType::createCFKeyedArchiverUID(long value)
{
    return PlistCFType(plist_new_uid(static_cast<uint64_t>(value)), true);
}

PlistCFType PlistCFType::createCFDictionary()
{
    return PlistCFType(plist_new_dict(), true);
}

PlistCFType PlistCFType::createCFArray()
{
    return PlistCFType(plist_new_array(), true);
}

PlistCFType PlistCFType::createCFDictionary(const QList<PlistCFType>& keys, const QList<PlistCFType>& values)
{
    PlistCFType dict = createCFDictionary();
    const qsizetype n = qMin(keys.size(), values.size());
    for (qsizetype i = 0; i < n; ++i)
        dict.put(keys[i].toString(), values[i]);
    return dict;
}

PlistCFType PlistCFType::createCFArray(const QList<PlistCFType>& items)
{
    PlistCFType array = createCFArray();
    for (const PlistCFType& item : items)
        array.append(item);
    return array;
}

PlistCFType PlistCFType::createCFDictionaryCreateMutableCopy(const PlistCFType& dict)
{
    if (!dict.isCFDictionary())
        return createCFDictionary();
    return PlistCFType(plist_copy(dict.ref()), true);
}

PlistCFType PlistCFType::clone(PlistCFType value)
{
    if (!value.ref())
        return PlistCFType(nullptr, true);
    return PlistCFType(plist_copy(value.ref()), true);
}

// ---- typed reads (types are checked here: libplist asserts on a getter of the wrong kind)

bool PlistCFType::CFNumberBool(bool def) const
{
    if (nodeType() != PLIST_BOOLEAN)
        return def;
    uint8_t v = def ? 1 : 0;
    plist_get_bool_val(ref(), &v);
    return v != 0;
}

char PlistCFType::CFNumberInt8(char def) const
{
    return char(static_cast<signed char>(CFNumberInt64(static_cast<signed char>(def))));
}

short PlistCFType::CFNumberInt16(short def) const
{
    return short(CFNumberInt64(def));
}

int PlistCFType::CFNumberInt(int def) const
{
    return int(quint32(quint64(CFNumberInt64(def))));
}

long long PlistCFType::CFNumberInt64(long long def) const
{
    if (nodeType() != PLIST_UINT)
        return def;
    uint64_t v = static_cast<uint64_t>(def);
    plist_get_uint_val(ref(), &v);
    return static_cast<long long>(v);
}

double PlistCFType::CFNumberDouble(double def) const
{
    if (nodeType() != PLIST_REAL)
        return def;
    double v = def;
    plist_get_real_val(ref(), &v);
    return v;
}

float PlistCFType::CFNumberFloat(float def) const
{
    return float(CFNumberDouble(double(def)));
}

QString PlistCFType::CFStringQString() const
{
    const int type = nodeType();
    if (type == PLIST_STRING) {
        uint64_t len = 0;
        const char* s = plist_get_string_ptr(ref(), &len);
        return s ? QString::fromUtf8(s) : QString("");
    }
    if (type == PLIST_KEY) {
        char* s = nullptr;
        plist_get_key_val(ref(), &s);
        const QString text = s ? QString::fromUtf8(s) : QString("");
        free(s);
        return text;
    }
    return QString("");
}

int PlistCFType::CFStringLength() const
{
    return int(CFStringQString().size());
}

QByteArray PlistCFType::CFDataBytes() const
{
    if (nodeType() != PLIST_DATA)
        return QByteArray();
    uint64_t len = 0;
    const char* p = plist_get_data_ptr(ref(), &len);
    if (!p || len == 0 || len > uint64_t(std::numeric_limits<int>::max()))
        return QByteArray();
    return QByteArray(p, qsizetype(len));
}

int PlistCFType::CFDataLength() const
{
    return int(CFDataBytes().size());
}

QDateTime PlistCFType::CFDateToDateTime(int offsetSecs) const
{
    // The base is 2001-01-01 00:00:00 of the local clock, so a stored date reads as a wall-clock
    // reading. Kept in 64 bits so dates after January 2038 stay right.
    const qint64 base = QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::LocalTime).toSecsSinceEpoch();
    const std::optional<qint64> ms
        = nodeType() == PLIST_DATE ? dateMSecs(ref(), base + qint64(offsetSecs)) : std::nullopt;
    if (!ms)
        return QDateTime();
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(*ms, Qt::LocalTime);
    return QDateTime(local.date(), local.time(), Qt::LocalTime);
}

QDateTime PlistCFType::CFDateToUtcClock(int offsetSecs) const
{
    const std::optional<qint64> ms
        = nodeType() == PLIST_DATE ? dateMSecs(ref(), kMacEpochOffset + qint64(offsetSecs)) : std::nullopt;
    return ms ? QDateTime::fromMSecsSinceEpoch(*ms, Qt::UTC) : QDateTime();
}

quint32 PlistCFType::CFKeyedArchiverUIDGetValue() const
{
    if (nodeType() != PLIST_UID)
        return 0;
    uint64_t v = 0;
    plist_get_uid_val(ref(), &v);
    return quint32(v);
}

QString PlistCFType::toString() const
{
    switch (nodeType()) {
    case PLIST_BOOLEAN:
        return CFNumberBool(false) ? QStringLiteral("1") : QStringLiteral("0");
    case PLIST_UINT:
        return QString::number(CFNumberInt64(0));
    case PLIST_REAL:
        return QString::number(CFNumberDouble(0), 'g', 6);
    case PLIST_STRING:
    case PLIST_KEY:
        return CFStringQString();
    case PLIST_ARRAY: {
        QStringList parts;
        const int n = array_size();
        for (int i = 0; i < n; ++i)
            parts << at(i).toString();
        return "[" + parts.join(", ") + "]";
    }
    case PLIST_DICT: {
        QStringList parts;
        const QList<PlistCFType> keys = dict_keys();
        for (const PlistCFType& key : keys)
            parts << QStringLiteral("%1 : %2").arg(key.toString(), get(key).toString());
        return "{" + parts.join(", ") + "}";
    }
    case PLIST_DATE:
        return CFDateToDateTime(0).toString(Qt::TextDate);
    case PLIST_DATA:
        return QString::fromLatin1(CFDataBytes().toBase64());
    case PLIST_UID:
        return QString::number(qint32(CFKeyedArchiverUIDGetValue()));
    default:
        return QStringLiteral("NULL");
    }
}

// ---- dictionaries

int PlistCFType::dict_size() const
{
    return nodeType() == PLIST_DICT ? int(plist_dict_get_size(ref())) : 0;
}

QList<PlistCFType> PlistCFType::dict_keys() const
{
    QList<PlistCFType> keys;
    if (nodeType() != PLIST_DICT)
        return keys;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(ref(), &it);
    if (!it)
        return keys;
    for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(ref(), it, &key, &item);
        if (!item) {
            free(key);
            break;
        }
        keys << createCFString(key ? QString::fromUtf8(key) : QString());
        free(key);
    }
    free(it);
    return keys;
}

PlistCFType PlistCFType::get(const QString& key) const
{
    if (nodeType() != PLIST_DICT)
        return PlistCFType(nullptr, true);
    return PlistCFType(plist_dict_get_item(ref(), key.toUtf8().constData()), false);
}

PlistCFType PlistCFType::get(const PlistCFType& key) const
{
    return get(key.toString());
}

void PlistCFType::insertChild(const PlistCFType& value, InsertMode mode, const QByteArray& key, int index)
{
    plist_t self = ref();
    plist_t child = value.ref();
    // A node can live in one tree only. A node that already sits in a tree, that belongs to someone
    // else, or that contains this container is inserted as a deep copy instead, so no node is ever
    // freed twice and no tree turns into a cycle.
    bool adopt = value.m_holder->owned && plist_get_parent(child) == nullptr;
    for (plist_t p = self; adopt && p; p = plist_get_parent(p)) {
        if (p == child)
            adopt = false;
    }
    if (adopt) {
        m_keepAlive.insert(child, value.m_holder);
        value.m_holder->owned = false;
    } else {
        child = plist_copy(child);
    }
    switch (mode) {
    case InsertMode::DictSet:
        plist_dict_set_item(self, key.constData(), child);
        break;
    case InsertMode::ArrayAppend:
        plist_array_append_item(self, child);
        break;
    case InsertMode::ArraySet:
        plist_array_set_item(self, child, uint32_t(index));
        break;
    }
}

PlistCFType& PlistCFType::put(const QString& key, PlistCFType value)
{
    if (nodeType() != PLIST_DICT || !value.ref())
        return *this;
    insertChild(value, InsertMode::DictSet, key.toUtf8(), 0);
    return *this;
}

PlistCFType& PlistCFType::put(PlistCFType key, PlistCFType value)
{
    if (!key.ref())
        return *this;
    return put(key.toString(), value);
}

PlistCFType& PlistCFType::dict_replace(const PlistCFType& key, const PlistCFType& value)
{
    return put(key, value);
}

// ---- arrays

int PlistCFType::array_size() const
{
    return nodeType() == PLIST_ARRAY ? int(plist_array_get_size(ref())) : 0;
}

PlistCFType PlistCFType::at(int index) const
{
    if (nodeType() != PLIST_ARRAY)
        return PlistCFType(nullptr, true);
    if (index < 0 || index >= array_size())
        return PlistCFType(nullptr, false);
    return PlistCFType(plist_array_get_item(ref(), uint32_t(index)), false);
}

PlistCFType& PlistCFType::append(PlistCFType value)
{
    if (nodeType() != PLIST_ARRAY || !value.ref())
        return *this;
    insertChild(value, InsertMode::ArrayAppend, QByteArray(), 0);
    return *this;
}

PlistCFType& PlistCFType::array_replace(int index, const PlistCFType& value)
{
    if (nodeType() != PLIST_ARRAY || !value.ref() || index < 0 || index >= array_size())
        return *this;
    insertChild(value, InsertMode::ArraySet, QByteArray(), index);
    return *this;
}

// ---- parsing and serialising

PlistCFType PlistCFType::createCFPropertyList(const QByteArray& bytes, bool* tooLarge)
{
    plist_t node = nullptr;
    if (tooLarge)
        *tooLarge = false;
    if (bytes.size() > std::numeric_limits<int32_t>::max())
        return PlistCFType(nullptr, true);
    if (bytes.size() > 6 && bytes.startsWith("bplist")) {
        const auto verdict = BinaryPlistShape::of(bytes, kMaxDepth, quint64(kMaxExpandedBytes));
        if (verdict != BinaryPlistShape::Verdict::Readable) {
            if (tooLarge)
                *tooLarge = verdict == BinaryPlistShape::Verdict::TooLarge;
            return PlistCFType(nullptr, true);
        }
        plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &node);
    } else if (!bytes.isEmpty()) {
        if (xmlNestingDepth(bytes) > kMaxDepth)
            return PlistCFType(nullptr, true);
        plist_from_xml(bytes.constData(), uint32_t(bytes.size()), &node);
        if (node && tooDeep(node)) {
            freeDeepTree(node);
            node = nullptr;
        }
        if (node)
            node = restoreXmlUids(node);
    }
    return PlistCFType(node, true);
}

PlistCFType PlistCFType::createCFPropertyListFromFile(const QString& path)
{
    QFile file;
    QByteArray bytes;
    if (!RegularFile::openRead(file, path, nullptr)
        || readFileBounded(file, &bytes, nullptr) != FileRead::Read)
        return PlistCFType(nullptr, true);
    return createCFPropertyList(bytes);
}

PlistCFType::FileRead PlistCFType::readFileBounded(QFile& file, QByteArray* bytes, QString* why)
{
    bytes->clear();
    // Told by the size first, so that a sparse file of gigabytes is not read at all; a file that
    // grows meanwhile is stopped one byte past the bound.
    if (file.size() > kMaxFileBytes)
        return FileRead::TooLarge;
    if (!RegularFile::readUpTo(file, kMaxFileBytes + 1, bytes, why))
        return FileRead::Failed;
    if (bytes->size() <= kMaxFileBytes)
        return FileRead::Read;
    bytes->clear();
    return FileRead::TooLarge;
}

QString PlistCFType::tooLargeText(const QString& path)
{
    return QStringLiteral("Cannot read %1: it is far larger than any phone writes.").arg(path);
}

QString PlistCFType::expandsTooFarText(const QString& path)
{
    return QStringLiteral("Cannot read %1: it refers to its values so often that, read out, it is far larger "
                          "than any phone writes.")
        .arg(path);
}

QByteArray PlistCFType::CFPropertyListToBytes(CFPropertyListFormat format) const
{
    if (!ref())
        return QByteArray();
    char* buf = nullptr;
    uint32_t len = 0;
    if (format == CFPropertyListXMLFormat)
        plist_to_xml(ref(), &buf, &len);
    else
        plist_to_bin(ref(), &buf, &len);
    QByteArray bytes = buf ? QByteArray(buf, qsizetype(len)) : QByteArray();
    free(buf);
    return bytes;
}

PlistCFType PlistCFType::CFPropertyListToData(CFPropertyListFormat format) const
{
    return createCFData(CFPropertyListToBytes(format));
}

// ---- keyed archives

QHash<QString, PlistCFType> PlistCFType::NSKeyedArchiver() const
{
    QHash<QString, PlistCFType> result;
    if (!isCFDictionary())
        return result;
    const PlistCFType objects = get("$objects");
    if (!objects.isCFArray())
        return result;
    const PlistCFType rootRef = get("$top").get("root");
    const quint32 r = rootRef.isCFKeyedArchiverUID() ? rootRef.CFKeyedArchiverUIDGetValue() : 0;
    if (r > quint32(std::numeric_limits<int>::max()))
        return result;
    const PlistCFType root = objects.at(int(r));
    if (!root.isCFDictionary())
        return result;
    const QList<PlistCFType> keys = root.dict_keys();
    for (const PlistCFType& key : keys) {
        const PlistCFType item = root.get(key);
        if (item.isCFKeyedArchiverUID()) {
            const quint32 index = item.CFKeyedArchiverUIDGetValue();
            result.insert(key.toString(),
                index > quint32(std::numeric_limits<int>::max()) ? PlistCFType(nullptr, false)
                                                                 : objects.at(int(index)));
        } else {
            result.insert(key.toString(), item);
        }
    }
    return result;
}

PlistCFType PlistCFType::createNSDictionaryStringCFType(
    const QHash<QString, PlistCFType>& dict, bool mutableClass)
{
    PlistCFType archive = createCFDictionary();
    PlistCFType objects = createCFArray();
    PlistCFType root = createCFDictionary();
    PlistCFType keyRefs = createCFArray();
    PlistCFType valueRefs = createCFArray();

    PlistCFType top = createCFDictionary();
    top.put("root", createCFKeyedArchiverUID(1));
    archive.put("$archiver", createCFString("NSKeyedArchiver"));
    archive.put("$objects", objects);
    archive.put("$top", top);
    archive.put("$version", createCFNumberInt64(100000));

    objects.append(createCFString("$null"));
    objects.append(root);

    const QList<QString> keys = dict.keys();
    for (const QString& key : keys) {
        keyRefs.append(createCFKeyedArchiverUID(objects.array_size()));
        objects.append(createCFString(key));
    }
    for (const QString& key : keys) {
        const PlistCFType value = dict.value(key);
        if (!value.ref()) {
            // A missing value is archived as a reference to "$null", so later indexes stay right.
            valueRefs.append(createCFKeyedArchiverUID(0));
            continue;
        }
        valueRefs.append(createCFKeyedArchiverUID(objects.array_size()));
        objects.append(value);
    }

    root.put("NS.keys", keyRefs);
    root.put("NS.objects", valueRefs);
    root.put("$class", createCFKeyedArchiverUID(objects.array_size()));

    PlistCFType classRecord = createCFDictionary();
    PlistCFType classes = createCFArray();
    if (mutableClass)
        classes.append(createCFString("NSMutableDictionary"));
    classes.append(createCFString("NSDictionary"));
    classes.append(createCFString("NSObject"));
    classRecord.put("$classes", classes);
    classRecord.put("$classname", createCFString(mutableClass ? "NSMutableDictionary" : "NSDictionary"));
    objects.append(classRecord);
    return archive;
}

QHash<QString, PlistCFType> PlistCFType::parseNSDictionaryStringCFType(const PlistCFType& archive)
{
    QHash<QString, PlistCFType> result;
    const PlistCFType objects = archive.get("$objects");
    const PlistCFType rootRef = archive.get("$top").get("root");
    const qint32 r = rootRef.isCFKeyedArchiverUID() ? qint32(rootRef.CFKeyedArchiverUIDGetValue()) : 0;
    if (r < 1)
        return result;
    const PlistCFType root = objects.at(r);
    const PlistCFType keyRefs = root.get("NS.keys");
    const PlistCFType valueRefs = root.get("NS.objects");
    const int count = qMin(keyRefs.array_size(), valueRefs.array_size());
    for (int i = 0; i < count; ++i) {
        const quint32 ki = keyRefs.at(i).CFKeyedArchiverUIDGetValue();
        const quint32 vi = valueRefs.at(i).CFKeyedArchiverUIDGetValue();
        // Index 0 is the archive's "$null" marker; it comes back as that string, as the decoder gives it.
        const PlistCFType item = vi > quint32(std::numeric_limits<int>::max()) ? PlistCFType(nullptr, false)
                                                                               : objects.at(int(vi));
        const PlistCFType value = item.ref() ? clone(item) : PlistCFType(nullptr, true);
        const QString key = ki > quint32(std::numeric_limits<int>::max())
            ? QString("")
            : objects.at(int(ki)).CFStringQString();
        result.insert(key, value);
    }
    return result;
}
