#include "support/ui/TickGaps.h"

#include <algorithm>

TickGaps::TickGaps()
{
    m_since.start();
    connect(&m_tick, &QTimer::timeout, this, [this] { m_longest = std::max(m_longest, m_since.restart()); });
    m_tick.start(20);
}

qint64 TickGaps::stop()
{
    m_tick.stop();
    m_longest = std::max(m_longest, m_since.elapsed());
    return m_longest;
}
