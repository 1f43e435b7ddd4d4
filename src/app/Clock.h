#pragma once

#include <QDateTime>

// Where the program reads "now" for its own logic (the update check's time file, the log's day
// files). The system clock unless a test installed a clock of its own.
class Clock
{
public:
    virtual ~Clock();
    virtual QDateTime currentDateTime() const = 0;

    // The current local date and time, from the installed clock.
    static QDateTime now();
    // Seconds since 1970-01-01 00:00 UTC, from the installed clock.
    static qint64 secsSinceEpoch();

    // Installs a clock (not owned; null restores the system clock). The clock must outlive its
    // installation; install it before any thread reads the time.
    static void install(const Clock* clock);
};
