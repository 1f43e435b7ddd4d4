#pragma once

// Shared by the two call-history fuzz entry points: the input read as the database file `name`
// through the call-history reader, each call then formatted as the export writes it.
#include "FuzzDbFolder.h"
#include "calls_calendars/CallHistoryExport.h"
#include "calls_calendars/IOSCallHistoryDb.h"

#include <stdexcept>

inline void fuzzCallHistory(const uint8_t* data, size_t size, const char* name)
{
    IOSCallHistoryDb db(fuzzDbFolder(data, size, QLatin1String(name)), true);
    try {
        db.total();
        for (const _CallHistory& call : db.callHistories()) {
            call.toHash();
            CallHistoryExport::line(call, true);
        }
    } catch (const std::exception&) {
    }
}
