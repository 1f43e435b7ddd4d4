// Fuzz entry point: a device calendar database read through its reader (calendars, events,
// recurrences and locations).
#include "FuzzDbFolder.h"
#include "calls_calendars/IOSCalendarDb.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    IOSCalendarDb db(nullptr, fuzzDbFolder(data, size, QLatin1String(IOSCalendarDb::kCalendarFile)));
    try {
        db.total();
        db.calendars();
    } catch (const std::exception&) {
    }
    return 0;
}
