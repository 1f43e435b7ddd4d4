#include "backup/WalFrames.h"

#include <QIODevice>
#include <QSet>
#include <QtEndian>

namespace
{

constexpr qint64 kHeader = 32;
constexpr qint64 kFrameHeader = 24;

quint32 numberAt(const QByteArray& bytes, int at)
{
    return qFromBigEndian<quint32>(bytes.constData() + at);
}

} // namespace

bool WalFrames::holdsPages(QIODevice& log, quint32 pageSize, quint32 first, quint32 last)
{
    if (!log.seek(0))
        return false;
    const QByteArray header = log.read(kHeader);
    const quint32 magic = header.size() == kHeader ? numberAt(header, 0) : 0;
    if ((magic != 0x377f0682 && magic != 0x377f0683) || numberAt(header, 8) != pageSize)
        return false;
    QSet<quint32> pending;
    QSet<quint32> committed;
    // Frames of the current run carry the header's salts; a frame after them is of an earlier run.
    for (qint64 at = kHeader;; at += kFrameHeader + pageSize) {
        QByteArray frame;
        if (log.seek(at))
            frame = log.read(kFrameHeader);
        if (frame.size() < kFrameHeader || log.size() < at + kFrameHeader + pageSize
            || numberAt(frame, 8) != numberAt(header, 16) || numberAt(frame, 12) != numberAt(header, 20))
            break;
        pending.insert(numberAt(frame, 0));
        if (numberAt(frame, 4) != 0) // a commit: its frames and those before it are the database's
            committed.unite(std::exchange(pending, {}));
    }
    for (quint32 page = first; page <= last; ++page)
        if (!committed.contains(page))
            return false;
    return first <= last;
}
