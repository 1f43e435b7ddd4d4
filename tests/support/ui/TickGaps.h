#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// The longest time between two ticks of a timer that should tick every 20 ms, from its making: how
// long the window went without running its events.
class TickGaps : public QObject
{
public:
    TickGaps();
    qint64 longest() const { return m_longest; }
    // Stops the ticks; the longest gap, the one since the last tick included.
    qint64 stop();

private:
    QTimer m_tick;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};
