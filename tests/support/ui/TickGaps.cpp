#include "support/ui/TickGaps.h"

#include <QFile>
#include <algorithm>

namespace
{
// The ns this thread has spent runnable but waiting for a processor (the second field of its
// schedstat); 0 where the system does not keep it, so that gaps are then counted whole.
qint64 queuedNs()
{
    QFile f(QStringLiteral("/proc/thread-self/schedstat"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readLine(128).split(' ');
    return fields.size() >= 2 ? fields.at(1).trimmed().toLongLong() : 0;
}
} // namespace

TickGaps::TickGaps()
{
    m_queued = queuedNs();
    m_since.start();
    connect(&m_tick, &QTimer::timeout, this, &TickGaps::tick);
    m_tick.start(20);
}

void TickGaps::tick()
{
    const qint64 wall = m_since.restart();
    const qint64 queued = queuedNs();
    m_longest = std::max(m_longest, wall - (queued - m_queued) / 1000000);
    m_queued = queued;
}

qint64 TickGaps::stop()
{
    m_tick.stop();
    tick();
    return m_longest;
}
