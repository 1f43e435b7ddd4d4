#include "support/MockClock.h"

#include <QMutexLocker>

MockClock::MockClock(const QDateTime& start)
    : m_now(start)
{
    Clock::install(this);
}

MockClock::~MockClock()
{
    Clock::install(nullptr);
}

QDateTime MockClock::currentDateTime() const
{
    QMutexLocker lock(&m_mutex);
    return m_now;
}

void MockClock::set(const QDateTime& when)
{
    QMutexLocker lock(&m_mutex);
    m_now = when;
}

void MockClock::advance(qint64 seconds)
{
    QMutexLocker lock(&m_mutex);
    m_now = m_now.addSecs(seconds);
}
