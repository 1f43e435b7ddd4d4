#pragma once

#include <QByteArray>
#include <QtGlobal>

// What a binary property list turns into once libplist parses it, read from its object table
// without recursion and before anything is built: how deep it nests and how many bytes its tree
// takes. libplist copies a shared object at every reference to it, so each object is counted once
// per reference: a few megabytes that refer to one large object a thousand times would otherwise
// become gigabytes.
class BinaryPlistShape
{
public:
    enum class Verdict {
        Readable,
        Unreadable, // no readable table, a circle of references, or a key holding a NUL character
        TooDeep,
        TooLarge,
    };

    // The verdict on bytes for trees nested at most maxDepth deep that take at most maxBytes.
    static Verdict of(const QByteArray& bytes, int maxDepth, quint64 maxBytes);

    // What one node takes in libplist's tree besides its contents (its node and value records, as
    // the allocator hands them out).
    static constexpr quint64 kNodeBytes = 96;
};
