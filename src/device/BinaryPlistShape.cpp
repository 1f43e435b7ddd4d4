#include "device/BinaryPlistShape.h"

#include "device/BinaryPlistTable.h"

#include <algorithm>
#include <vector>

namespace
{

using Verdict = BinaryPlistShape::Verdict;

// A depth-first walk over the references from the top object, each object's depth and bytes
// summed from its children's once they are done (a shared object is walked once, counted at each
// reference).
class Walk
{
public:
    Walk(const BinaryPlistTable& table, int maxDepth, quint64 maxBytes)
        : m_table(table)
        , m_maxDepth(maxDepth)
        , m_maxBytes(maxBytes)
        , m_bytes(table.count(), 0)
        , m_depth(table.count(), 0)
        , m_state(table.count(), kUnseen)
    {
    }

    Verdict run();

private:
    enum State : uchar { kUnseen, kOnPath, kDone };
    struct Frame {
        quint64 object;
        quint64 first;
        quint64 n;
        quint64 next;
    };

    bool push(quint64 i);
    bool addChild(quint64 child);
    bool keyHasNul(quint64 i) const;
    quint64 ownBytes(quint64 i, quint64 items) const;

    const BinaryPlistTable& m_table;
    const int m_maxDepth;
    const quint64 m_maxBytes;
    std::vector<quint64> m_bytes; // capped at m_maxBytes + 1
    std::vector<int> m_depth;
    std::vector<uchar> m_state;
    std::vector<Frame> m_stack;
};

Verdict Walk::run()
{
    if (!push(m_table.top()))
        return Verdict::Unreadable;
    while (!m_stack.empty()) {
        Frame& f = m_stack.back();
        if (f.next == f.n) {
            const quint64 done = f.object;
            m_state[done] = kDone;
            m_stack.pop_back();
            if (!m_stack.empty() && !addChild(done))
                return Verdict::TooDeep;
            continue;
        }
        const quint64 child = m_table.reference(f.first, f.next);
        ++f.next;
        if (child >= m_table.count())
            continue; // libplist refuses it on its own
        if (m_state[child] == kOnPath)
            return Verdict::Unreadable; // a circle, which libplist refuses too
        if (m_state[child] == kDone) {
            if (!addChild(child))
                return Verdict::TooDeep;
            continue;
        }
        if (int(m_stack.size()) > m_maxDepth)
            return Verdict::TooDeep;
        if (!push(child))
            return Verdict::Unreadable;
    }
    return m_bytes[m_table.top()] > m_maxBytes ? Verdict::TooLarge : Verdict::Readable;
}

// Starts object i; false for a dictionary with a key that holds a NUL character, which trips an
// assertion in libplist's key reader.
bool Walk::push(quint64 i)
{
    Frame f { i, 0, 0, 0 };
    quint8 kind = 0;
    quint64 items = 0;
    // No container, or an unreadable one that libplist refuses on its own: no references.
    if (m_table.references(i, kind, items, f.first)) {
        f.n = kind == BinaryPlistTable::kDict ? 2 * items : items;
        for (quint64 k = 0; kind == BinaryPlistTable::kDict && k < items; ++k) {
            if (keyHasNul(m_table.reference(f.first, k)))
                return false;
        }
    }
    m_state[i] = kOnPath;
    m_depth[i] = 1;
    m_bytes[i] = std::min(m_maxBytes + 1, ownBytes(i, f.n));
    m_stack.push_back(f);
    return true;
}

// Adds a done child to the object on top of the walk's path; false when the deepest path through
// it, from the top object, is longer than the walk lets its own path grow. A shared object first
// met near the top and referred to again from deep below nests that deep in libplist's tree too.
bool Walk::addChild(quint64 child)
{
    const quint64 parent = m_stack.back().object;
    m_depth[parent] = std::max(m_depth[parent], m_depth[child] + 1);
    m_bytes[parent] = std::min(m_maxBytes + 1, m_bytes[parent] + m_bytes[child]);
    return int(m_stack.size()) - 1 + m_depth[parent] <= m_maxDepth + 1;
}

bool Walk::keyHasNul(quint64 i) const
{
    BinaryPlistTable::Header h;
    if (!m_table.header(i, h) || (h.kind != BinaryPlistTable::kAscii && h.kind != BinaryPlistTable::kUtf16))
        return false;
    const quint64 unit = h.kind == BinaryPlistTable::kUtf16 ? 2 : 1;
    if (!m_table.fits(h.pos, h.length, unit))
        return false;
    const uchar* p = m_table.data() + h.pos;
    for (quint64 k = 0; k < h.length; ++k) {
        if (p[k * unit] == 0 && (unit == 1 || p[k * unit + 1] == 0))
            return true;
    }
    return false;
}

// What object i takes in libplist's tree, without its children: the node, the contents of data
// and strings (UTF-16 is held as UTF-8, at most three bytes a unit, and text ends with a NUL), and
// a container's list of its references (items: their count, checked against the objects).
quint64 Walk::ownBytes(quint64 i, quint64 items) const
{
    BinaryPlistTable::Header h;
    if (!m_table.header(i, h))
        return BinaryPlistShape::kNodeBytes;
    // Lengths that do not fit the objects are refused by libplist, and cost nothing here.
    switch (h.kind) {
    case BinaryPlistTable::kData:
        return BinaryPlistShape::kNodeBytes + (m_table.fits(h.pos, h.length, 1) ? h.length : 0);
    case BinaryPlistTable::kAscii:
        return BinaryPlistShape::kNodeBytes + (m_table.fits(h.pos, h.length, 1) ? h.length + 1 : 0);
    case BinaryPlistTable::kUtf16:
        return BinaryPlistShape::kNodeBytes + (m_table.fits(h.pos, h.length, 2) ? 3 * h.length + 1 : 0);
    default:
        return BinaryPlistShape::kNodeBytes + items * sizeof(void*);
    }
}

} // namespace

Verdict BinaryPlistShape::of(const QByteArray& bytes, int maxDepth, quint64 maxBytes)
{
    BinaryPlistTable table;
    if (!table.open(bytes.constData(), bytes.size()))
        return Verdict::Unreadable;
    // Each object the table lists takes a node at least: refused before the walk's own records of
    // them, so that the walk too costs no more than the bound allows.
    if (table.count() > maxBytes / kNodeBytes)
        return Verdict::TooLarge;
    return Walk(table, maxDepth, maxBytes).run();
}
