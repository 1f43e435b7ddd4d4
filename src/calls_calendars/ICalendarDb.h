#pragma once

#include "calls_calendars/_Calendar.h"

#include <QList>

// The read interface of a calendar source: a backup's calendar database or the local store.
class ICalendarDb
{
public:
    virtual ~ICalendarDb() = default;
    // Every calendar with its events; failures throw std::exception with a readable text.
    virtual QList<_Calendar> calendars() = 0;
};
