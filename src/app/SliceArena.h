#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
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
        char* start = room(m_bytes, m_bytesUsed, n + 1);
        std::memcpy(start, data, size_t(n));
        start[n] = '\0';
        return QByteArray(sliceOf(m_bytes, start, n));
    }

    // The UTF-8 text as QString::fromUtf8 reads it.
    QString text(QByteArrayView utf8)
    {
        if (utf8.isNull() || utf8.isEmpty() || utf8.size() > kLargest)
            return QString::fromUtf8(utf8);
        // UTF-8 never takes fewer bytes than UTF-16 code units.
        char16_t* start = room(m_text, m_textUsed, utf8.size() + 1);
        QChar* end = m_decoder.appendToBuffer(reinterpret_cast<QChar*>(start), utf8);
        const qsizetype n = reinterpret_cast<char16_t*>(end) - start;
        start[n] = 0;
        m_textUsed -= utf8.size() - n; // give back what the text did not take
        return QString(sliceOf(m_text, start, n));
    }

private:
    static constexpr qsizetype kBlock = 32 * 1024; // elements per block
    static constexpr qsizetype kLargest = kBlock / 8; // longer values get a block of their own

    template <typename Array>
    static auto room(Array& block, qsizetype& used, qsizetype n) -> decltype(block.data_ptr().data())
    {
        if (block.isNull() || used + n > kBlock) {
            block = Array();
            block.reserve(kBlock);
            used = 0;
        }
        auto* start = block.data_ptr().data() + used;
        used += n;
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

    QByteArray m_bytes; // empty arrays whose capacity the slices fill
    qsizetype m_bytesUsed = 0;
    QString m_text;
    qsizetype m_textUsed = 0;
    // Each value on its own, a leading byte order mark dropped, as QString::fromUtf8 does.
    QStringDecoder m_decoder { QStringDecoder::Utf8, QStringConverter::Flag::Stateless };
};
