#include "app/HeifShape.h"

#include "app/HevcSize.h"

#include <QIODevice>
#include <limits>
#include <map>

namespace
{
constexpr quint32 fourcc(const char (&s)[5])
{
    return quint32(uchar(s[0])) << 24 | quint32(uchar(s[1])) << 16 | quint32(uchar(s[2])) << 8 | uchar(s[3]);
}
// Boxes looked at in one list, items in the property associations, and references of grids
// read: far more than a phone writes, far fewer than a crafted file holds.
constexpr qint64 kMostBoxes = 4096;
constexpr qint64 kMostEntries = 4096;
constexpr qint64 kMostReferences = 65536;
// The item locations read, their extents, and the NAL units of coded data looked at.
constexpr qint64 kMostLocationBytes = 1 << 20;
constexpr qint64 kMostExtents = 4096;
constexpr qint64 kMostUnits = 16384;
// Grids made of grids, one in another.
constexpr int kMostDepth = 16;
constexpr qint64 kUncounted = std::numeric_limits<qint64>::max();

qint64 saturatedSum(qint64 a, qint64 b)
{
    return b > kUncounted - a ? kUncounted : a + b;
}

} // namespace

HeifShape::HeifShape(QIODevice& in)
    : m_in(in)
{
    Box box;
    for (qint64 at = 0; m_boxes < kMostBoxes && next(at, in.size(), &box); at = box.end) {
        ++m_boxes;
        // libheif reads the first meta box, the one that describes the pictures.
        if (box.type == fourcc("meta")) {
            readMeta(box);
            return;
        }
    }
}

qint64 HeifShape::mostPixels() const
{
    if (m_uncounted)
        return kUncounted;
    std::unordered_map<quint32, qint64> known;
    qint64 most = 0;
    for (const auto& [item, pixels] : m_itemPixels)
        most = qMax(most, pixels);
    for (const auto& tiles : m_tiles)
        most = qMax(most, pixelsOf(tiles.first, 0, known));
    return most;
}

// An item's own pixels, or those of the pictures it is made of together when that is more; known
// holds the items counted so far (-1 while one is being counted, so that one made of itself shows).
qint64 HeifShape::pixelsOf(quint32 item, int depth, std::unordered_map<quint32, qint64>& known) const
{
    const auto own = m_itemPixels.find(item);
    const qint64 pixels = own == m_itemPixels.end() ? 0 : own->second;
    const auto tiles = m_tiles.find(item);
    if (tiles == m_tiles.end())
        return pixels;
    const auto [counted, isNew] = known.emplace(item, -1);
    if (!isNew)
        return counted->second < 0 ? kUncounted : counted->second;
    qint64 sum = depth < kMostDepth ? 0 : kUncounted;
    for (auto tile = tiles->second.begin(); tile != tiles->second.end() && sum < kUncounted; ++tile)
        sum = saturatedSum(sum, pixelsOf(*tile, depth + 1, known));
    return known[item] = qMax(pixels, sum);
}

bool HeifShape::readAt(qint64 at, char* data, int size)
{
    return m_in.seek(at) && m_in.read(data, size) == size;
}

quint32 HeifShape::be(const char* data, int size) const
{
    quint32 v = 0;
    for (int i = 0; i < size; ++i)
        v = v << 8 | uchar(data[i]);
    return v;
}

// The box starting at at, which must end by limit.
bool HeifShape::next(qint64 at, qint64 limit, Box* box)
{
    char head[16];
    if (at + 8 > limit || !readAt(at, head, 8))
        return false;
    qint64 size = be(head, 4);
    box->type = be(head + 4, 4);
    box->body = at + 8;
    if (size == 1) { // a 64-bit size follows
        if (!readAt(at + 8, head + 8, 8))
            return false;
        size = qint64(quint64(be(head + 8, 4)) << 32 | be(head + 12, 4));
        box->body = at + 16;
    } else if (size == 0) { // to the end
        size = limit - at;
    }
    box->end = at + size;
    return size >= box->body - at && box->end <= limit;
}

// The value after a full box's version and flags: size0 bytes in version 0, size1 in later ones.
qint64 HeifShape::fullBoxValue(const Box& box, int size0, int size1)
{
    char data[8];
    if (!readAt(box.body, data, 1))
        return 0;
    const int size = data[0] == 0 ? size0 : size1;
    return box.body + 4 + size <= box.end && readAt(box.body + 4, data, size) ? be(data, size) : 0;
}

void HeifShape::readMeta(const Box& meta)
{
    Box box, iloc, idat;
    for (qint64 at = meta.body + 4; m_boxes < kMostBoxes && next(at, meta.end, &box); at = box.end) {
        ++m_boxes;
        if (box.type == fourcc("iinf"))
            m_items = qMax(m_items, fullBoxValue(box, 2, 4));
        else if (box.type == fourcc("iref"))
            readReferences(box);
        else if (box.type == fourcc("iprp"))
            readProperties(box);
        else if (box.type == fourcc("iloc") && !iloc.type)
            iloc = box;
        else if (box.type == fourcc("idat") && !idat.type)
            idat = box;
    }
    if (!iloc.type)
        return;
    readLocations(iloc, idat);
    // The coded data may carry parameter sets of its own, which the decoder takes over the
    // configuration's.
    std::map<std::vector<std::pair<qint64, qint64>>, qint64> scanned; // by the data's extents
    for (const auto& [item, lengthSize] : m_coded) {
        const auto data = m_locations.find(item);
        if (data == m_locations.end())
            continue;
        std::vector<std::pair<qint64, qint64>> key;
        for (const Extent& e : data->second)
            key.emplace_back(e.offset, e.length);
        auto found = scanned.find(key);
        if (found == scanned.end())
            found = scanned.emplace(key, inBandPixels(data->second, lengthSize)).first;
        if (found->second > 0)
            m_itemPixels[item] = qMax(m_itemPixels[item], found->second);
    }
}

// Where each item's data lies in the file: its extents, in order (construction methods 0, in the
// file, and 1, in the meta box's idat; other ones are not read).
void HeifShape::readLocations(const Box& iloc, const Box& idat)
{
    const QByteArray b = readBody(iloc, kMostLocationBytes + 1);
    if (b.size() > kMostLocationBytes) {
        m_uncounted = true;
        return;
    }
    qsizetype at = 4;
    bool failed = false;
    const auto take = [&](int size) -> quint64 {
        if (at + size > b.size()) {
            failed = true;
            return 0;
        }
        quint64 v = 0;
        for (int i = 0; i < size; ++i)
            v = v << 8 | uchar(b[at++]);
        return v;
    };
    const int version = b.isEmpty() ? 0 : uchar(b[0]);
    const quint64 sizes = take(2);
    const int offsetSize = int(sizes >> 12), lengthSize = int(sizes >> 8) & 15,
              baseSize = int(sizes >> 4) & 15;
    const int indexSize = version == 1 || version == 2 ? int(sizes & 15) : 0;
    const quint64 items = take(version < 2 ? 2 : 4);
    qint64 extents = 0;
    for (quint64 i = 0; i < items && !failed; ++i) {
        const quint32 item = quint32(take(version < 2 ? 2 : 4));
        const int method = version == 1 || version == 2 ? int(take(2) & 15) : 0;
        take(2); // data reference
        const quint64 base = take(baseSize);
        const quint64 count = take(2);
        if ((extents += qint64(count)) > kMostExtents) {
            m_uncounted = true;
            return;
        }
        for (quint64 e = 0; e < count && !failed; ++e) {
            take(indexSize);
            const qint64 offset = qint64(base + take(offsetSize)) + (method == 1 ? idat.body : 0);
            const qint64 length = qint64(take(lengthSize)), rest = m_in.size() - offset;
            if (method <= 1 && !failed && (length > 0 || rest > 0))
                m_locations[item].push_back({ offset, length > 0 ? length : rest }); // 0: to the end
        }
    }
}

// Reads size bytes at at of the data made of extents; false where it cannot.
bool HeifShape::readExtents(const std::vector<Extent>& extents, qint64 at, char* data, qint64 size)
{
    for (auto e = extents.begin(); e != extents.end() && size > 0; ++e) {
        if (at >= e->length) {
            at -= e->length;
            continue;
        }
        const qint64 n = qMin(size, e->length - at);
        if (!readAt(e->offset + at, data, int(n)))
            return false;
        data += n;
        size -= n;
        at = 0;
    }
    return size == 0;
}

// The most pixels the parameter sets among the NAL units of an item's coded data give.
qint64 HeifShape::inBandPixels(const std::vector<Extent>& extents, int lengthSize)
{
    qint64 total = 0, most = 0;
    for (const Extent& e : extents)
        total = saturatedSum(total, qMax<qint64>(e.length, 0));
    char head[6];
    for (qint64 at = 0; at <= total - lengthSize - 2;) {
        if (++m_units > kMostUnits) {
            m_uncounted = true;
            return 0;
        }
        if (!readExtents(extents, at, head, lengthSize + 2))
            break;
        const qint64 size = be(head, lengthSize);
        if (HevcSize::nalType(head + lengthSize) == HevcSize::kSpsType) {
            QByteArray nal(qMin<qint64>(size, 1024), Qt::Uninitialized);
            if (readExtents(extents, at + lengthSize, nal.data(), nal.size()))
                most = qMax(most, HevcSize::spsPixels(nal));
        }
        if (size > total - at - lengthSize)
            break;
        at += lengthSize + size;
    }
    return most;
}

void HeifShape::readReferences(const Box& iref)
{
    char version = 0;
    if (!readAt(iref.body, &version, 1))
        return;
    const int idSize = version == 0 ? 2 : 4;
    Box box;
    for (qint64 at = iref.body + 4; m_boxes < kMostBoxes && next(at, iref.end, &box); at = box.end) {
        ++m_boxes;
        char head[6];
        if (box.type != fourcc("dimg") || box.body + idSize + 2 > box.end
            || !readAt(box.body, head, idSize + 2))
            continue;
        const qint64 count = be(head + idSize, 2);
        m_mostTiles = qMax(m_mostTiles, count);
        m_references += count;
        if (m_references > kMostReferences) {
            m_uncounted = true;
            continue;
        }
        const QByteArray ids = readBody(box, idSize + 2 + count * idSize).mid(idSize + 2);
        std::vector<quint32>& tiles = m_tiles[be(head, idSize)];
        for (qsizetype i = 0; i + idSize <= ids.size(); i += idSize)
            tiles.push_back(be(ids.constData() + i, idSize));
    }
}

void HeifShape::readProperties(const Box& iprp)
{
    Box box;
    std::vector<Box> associations;
    for (qint64 at = iprp.body; m_boxes < kMostBoxes && next(at, iprp.end, &box); at = box.end) {
        if (box.type == fourcc("ipma")) {
            m_items = qMax(m_items, fullBoxValue(box, 4, 4));
            associations.push_back(box);
        }
        if (box.type != fourcc("ipco"))
            continue;
        Box property;
        for (qint64 p = box.body; m_boxes < kMostBoxes && next(p, box.end, &property); p = property.end) {
            ++m_boxes;
            readProperty(property);
        }
    }
    // Associations name properties by their place, wherever they stand.
    for (const Box& ipma : associations)
        readAssociations(ipma);
}

// The box's content from its start, at most most bytes of it; empty when it cannot be read.
QByteArray HeifShape::readBody(const Box& box, qint64 most)
{
    QByteArray body(qMin(most, box.end - box.body), Qt::Uninitialized);
    return readAt(box.body, body.data(), int(body.size())) ? body : QByteArray();
}

// The pixels a property gives its items: a declared size (ispe) or a coded one (hvcC).
void HeifShape::readProperty(const Box& property)
{
    qint64 pixels = 0;
    int lengthSize = 0;
    if (property.type == fourcc("ispe")) {
        const QByteArray size = readBody(property, 12);
        if (size.size() == 12)
            pixels = qint64(be(size.constData() + 4, 4)) * be(size.constData() + 8, 4);
    } else if (property.type == fourcc("hvcC")) {
        const QByteArray config = readBody(property, 65536);
        pixels = HevcSize::configPixels(config);
        lengthSize = HevcSize::lengthSize(config);
    }
    m_properties.push_back({ pixels, lengthSize });
}

// Gives each item the pixels of the largest property it is associated with.
void HeifShape::readAssociations(const Box& ipma)
{
    const QByteArray b = readBody(ipma, 8 + kMostEntries * (4 + 1 + 255 * 2));
    if (b.size() < 8)
        return;
    const int idSize = b[0] == 0 ? 2 : 4;
    const int indexSize = (b[3] & 1) ? 2 : 1;
    const qint64 entries = qMin<qint64>(be(b.constData() + 4, 4), kMostEntries);
    qsizetype at = 8;
    for (qint64 e = 0; e < entries && at + idSize + 1 <= b.size(); ++e) {
        const quint32 item = be(b.constData() + at, idSize);
        const int count = uchar(b[at + idSize]);
        at += idSize + 1;
        qint64 pixels = 0;
        for (int k = 0; k < count && at + indexSize <= b.size(); ++k, at += indexSize) {
            const quint32 index = be(b.constData() + at, indexSize) & (indexSize == 2 ? 0x7FFF : 0x7F);
            if (index < 1 || index > m_properties.size())
                continue;
            pixels = qMax(pixels, m_properties[index - 1].pixels);
            if (m_properties[index - 1].lengthSize > 0)
                m_coded[item] = m_properties[index - 1].lengthSize;
        }
        if (pixels > 0)
            m_itemPixels[item] = qMax(m_itemPixels[item], pixels);
    }
}
