#pragma once

#include "app/Clock.h"

#include <QDateTime>
#include <QMutex>

// A clock that stands still until the test moves it. Installed for the lifetime of the object.
//
//     MockClock clock(QDateTime(QDate(2024, 1, 31), QTime(9, 5, 7)));
//     clock.advance(86401);
class MockClock : public Clock
{
public:
    explicit MockClock(const QDateTime& start);
    ~MockClock() override;

    QDateTime currentDateTime() const override;
    void set(const QDateTime& when);
    void advance(qint64 seconds);

private:
    mutable QMutex m_mutex;
    QDateTime m_now;
};
