#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// The longest time between two ticks of a timer that should tick every 20 ms, from its making: how
// long the window went without running its events. The time the system kept the thread waiting for a
// processor (other processes of a busy machine) is not the program's and is left out of each gap.
class TickGaps : public QObject
{
public:
    TickGaps();
    qint64 longest() const { return m_longest; }
    // Stops the ticks; the longest gap, the one since the last tick included.
    qint64 stop();

private:
    void tick();

    QTimer m_tick;
    QElapsedTimer m_since;
    qint64 m_queued = 0; // ns the thread has waited for a processor, as of the last tick
    qint64 m_longest = 0;
};
