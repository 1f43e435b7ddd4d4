#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <algorithm>
#include <cstring>

// The contents of many short arrays or strings kept in shared blocks instead of a heap block each:
// every value is a slice of a block and holds a reference on it; a block goes with the last of its
// slices, so a value can outlive the arena and every other value. Slices end in a 0 like any array
// or string; changing one copies it first, as for any shared value. Not thread-safe: one arena per
// thread (the slices themselves may go anywhere).
class SliceArena
{
public:
    QByteArray bytes(const char* data, qsizetype n)
    {
        if (!data || n == 0 || n > kLargest)
            return QByteArray(data ? data : "", n);
        char* start = room(m_bytes, n + 1);
        std::memcpy(start, data, size_t(n));
        start[n] = '\0';
        return QByteArray(sliceOf(m_bytes.block, start, n));
    }

    // The UTF-8 text as QString::fromUtf8 reads it.
    QString text(QByteArrayView utf8)
    {
        if (utf8.isNull() || utf8.isEmpty() || utf8.size() > kLargest)
            return QString::fromUtf8(utf8);
        // UTF-8 never takes fewer bytes than UTF-16 code units.
        char16_t* start = room(m_text, utf8.size() + 1);
        QChar* end = m_decoder.appendToBuffer(reinterpret_cast<QChar*>(start), utf8);
        const qsizetype n = reinterpret_cast<char16_t*>(end) - start;
        start[n] = 0;
        m_text.used -= utf8.size() - n; // give back what the text did not take
        return QString(sliceOf(m_text.block, start, n));
    }

private:
    static constexpr qsizetype kBlock = 32 * 1024; // elements per block
    static constexpr qsizetype kLargest = kBlock / 8; // longer values get a block of their own

    // A block and how much of it the slices took. The first block of an arena holds just the first
    // value, so a value filled on its own costs no more than an ordinary one; each further block is
    // twice the size of the one before, up to kBlock.
    template <typename Array> struct Blocks {
        Array block; // empty, its capacity filled by the slices
        qsizetype used = 0;
        qsizetype capacity = 0;
    };

    template <typename Array>
    static auto room(Blocks<Array>& b, qsizetype n) -> decltype(b.block.data_ptr().data())
    {
        if (b.block.isNull() || b.used + n > b.capacity) {
            b.capacity = std::max(n, b.capacity == 0 ? n : std::min(2 * b.capacity, kBlock));
            b.block = Array();
            b.block.reserve(b.capacity);
            b.used = 0;
        }
        auto* start = b.block.data_ptr().data() + b.used;
        b.used += n;
        return start;
    }

    template <typename Array, typename T>
    static typename Array::DataPointer sliceOf(Array& block, T* start, qsizetype n)
    {
        typename Array::DataPointer slice(block.data_ptr()); // one more reference on the block
        slice.ptr = start;
        slice.size = n;
        return slice;
    }

    Blocks<QByteArray> m_bytes;
    Blocks<QString> m_text;
    // Each value on its own, a leading byte order mark dropped, as QString::fromUtf8 does.
    QStringDecoder m_decoder { QStringDecoder::Utf8, QStringConverter::Flag::Stateless };
};
