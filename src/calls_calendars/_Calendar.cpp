#include "calls_calendars/_Calendar.h"

bool compareCalendarLess(const _Calendar& a, const _Calendar& b)
{
    return a.name.toLower() < b.name.toLower();
}
