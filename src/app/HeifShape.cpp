#include "app/HeifShape.h"

#include <QIODevice>
#include <limits>

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
// Grids made of grids, one in another.
constexpr int kMostDepth = 16;
constexpr qint64 kUncounted = std::numeric_limits<qint64>::max();

qint64 saturatedSum(qint64 a, qint64 b)
{
    return b > kUncounted - a ? kUncounted : a + b;
}

// The bits of a NAL unit after its two-byte header, without the bytes that only keep start codes
// out of it (a 3 after two zero bytes).
struct NalBits {
    const QByteArray& nal;
    qsizetype at = 2;
    int bit = 0;
    int zeros = 0;
    bool failed = false;

    quint32 bit1()
    {
        if (bit == 0) {
            if (zeros >= 2 && at < nal.size() && nal[at] == 3) {
                ++at;
                zeros = 0;
            }
            if (at >= nal.size()) {
                failed = true;
                return 0;
            }
            zeros = nal[at] == 0 ? zeros + 1 : 0;
        }
        const quint32 v = (uchar(nal[at]) >> (7 - bit)) & 1;
        if (++bit == 8) {
            bit = 0;
            ++at;
        }
        return v;
    }
    quint64 bits(int n)
    {
        quint64 v = 0;
        while (n-- > 0 && !failed)
            v = v << 1 | bit1();
        return v;
    }
    // An unsigned Exp-Golomb value.
    quint64 ue()
    {
        int lead = 0;
        while (!failed && bit1() == 0)
            if (++lead > 32)
                failed = true;
        return failed ? 0 : (quint64(1) << lead) - 1 + bits(lead);
    }
};

// The picture size a sequence parameter set gives, in pixels; 0 when it cannot be read.
qint64 spsPixels(const QByteArray& nal)
{
    NalBits r { nal };
    r.bits(4); // the parameter set it uses
    const int subLayers = int(r.bits(3));
    r.bits(1 + 96); // nesting; the profile, tier and level
    bool profile[8] = {}, level[8] = {};
    for (int i = 0; i < subLayers; ++i) {
        profile[i] = r.bits(1);
        level[i] = r.bits(1);
    }
    if (subLayers > 0)
        r.bits(2 * (8 - subLayers));
    for (int i = 0; i < subLayers; ++i)
        r.bits((profile[i] ? 88 : 0) + (level[i] ? 8 : 0));
    r.ue(); // its own id
    if (r.ue() == 3) // chroma format 4:4:4
        r.bits(1);
    const quint64 w = r.ue(), h = r.ue();
    return r.failed || w > 0xFFFFFFFF || h > 0xFFFFFFFF ? 0 : qint64(w * h);
}

int be16(const QByteArray& b, qsizetype at)
{
    return uchar(b[at]) << 8 | uchar(b[at + 1]);
}

// The largest picture the parameter sets of an HEVC configuration (an hvcC box's content) give.
qint64 codedPixels(const QByteArray& config)
{
    qint64 most = 0;
    qsizetype at = 23;
    const int arrays = config.size() > 22 ? uchar(config[22]) : 0;
    for (int a = 0; a < arrays && at + 3 <= config.size(); ++a) {
        const bool sps = (uchar(config[at]) & 0x3F) == 33;
        const int count = be16(config, at + 1);
        at += 3;
        for (int n = 0; n < count && at + 2 <= config.size(); ++n) {
            const int size = be16(config, at);
            at += 2;
            if (sps && at + size <= config.size())
                most = qMax(most, spsPixels(config.mid(at, size)));
            at += size;
        }
    }
    return most;
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
    Box box;
    for (qint64 at = meta.body + 4; m_boxes < kMostBoxes && next(at, meta.end, &box); at = box.end) {
        ++m_boxes;
        if (box.type == fourcc("iinf"))
            m_items = qMax(m_items, fullBoxValue(box, 2, 4));
        else if (box.type == fourcc("iref"))
            readReferences(box);
        else if (box.type == fourcc("iprp"))
            readProperties(box);
    }
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
    if (property.type == fourcc("ispe")) {
        const QByteArray size = readBody(property, 12);
        if (size.size() == 12)
            pixels = qint64(be(size.constData() + 4, 4)) * be(size.constData() + 8, 4);
    } else if (property.type == fourcc("hvcC")) {
        pixels = codedPixels(readBody(property, 65536));
    }
    m_propertyPixels.push_back(pixels);
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
            if (index >= 1 && index <= m_propertyPixels.size())
                pixels = qMax(pixels, m_propertyPixels[index - 1]);
        }
        if (pixels > 0)
            m_itemPixels[item] = qMax(m_itemPixels[item], pixels);
    }
}
