#include "app/HeifShape.h"

#include <QIODevice>

namespace
{
constexpr quint32 fourcc(const char (&s)[5])
{
    return quint32(uchar(s[0])) << 24 | quint32(uchar(s[1])) << 16 | quint32(uchar(s[2])) << 8 | uchar(s[3]);
}
// Boxes looked at in one list: far more than a phone writes, far fewer than a crafted file holds.
constexpr qint64 kMostBoxes = 4096;
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
        char count[2];
        if (box.type == fourcc("dimg") && box.body + idSize + 2 <= box.end
            && readAt(box.body + idSize, count, 2))
            m_mostTiles = qMax(m_mostTiles, qint64(be(count, 2)));
    }
}

void HeifShape::readProperties(const Box& iprp)
{
    Box box;
    for (qint64 at = iprp.body; m_boxes < kMostBoxes && next(at, iprp.end, &box); at = box.end) {
        if (box.type == fourcc("ipma"))
            m_items = qMax(m_items, fullBoxValue(box, 4, 4));
        if (box.type != fourcc("ipco"))
            continue;
        Box property;
        for (qint64 p = box.body; m_boxes < kMostBoxes && next(p, box.end, &property); p = property.end)
            ++m_boxes;
    }
}
