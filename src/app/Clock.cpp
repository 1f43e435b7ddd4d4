#include "app/Clock.h"

#include <atomic>

namespace
{

class SystemClock : public Clock
{
public:
    QDateTime currentDateTime() const override { return QDateTime::currentDateTime(); }
};

const SystemClock g_systemClock;
std::atomic<const Clock*> g_clock { &g_systemClock };

} // namespace

Clock::~Clock() = default;

QDateTime Clock::now()
{
    return g_clock.load(std::memory_order_acquire)->currentDateTime();
}

qint64 Clock::secsSinceEpoch()
{
    return now().toSecsSinceEpoch();
}

void Clock::install(const Clock* clock)
{
    g_clock.store(clock ? clock : &g_systemClock, std::memory_order_release);
}
