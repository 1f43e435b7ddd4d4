// Fuzz entry point: the older call database (table call) read through the call-history reader, each call then
// formatted as the export writes it.
#include "FuzzDbFolder.h"
#include "calls_calendars/CallHistoryExport.h"
#include "calls_calendars/IOSCallHistoryDb.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    IOSCallHistoryDb db(fuzzDbFolder(data, size, QLatin1String(IOSCallHistoryDb::kOldDbFile)), true);
    try {
        db.total();
        for (const _CallHistory& call : db.callHistories()) {
            call.toHash();
            CallHistoryExport::line(call, true);
        }
    } catch (const std::exception&) {
    }
    return 0;
}
