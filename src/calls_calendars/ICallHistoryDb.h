#pragma once

#include "calls_calendars/_CallHistory.h"

#include <QList>

// The read interface of a call-history source: a backup's call database or the local store.
class ICallHistoryDb
{
public:
    virtual ~ICallHistoryDb() = default;
    // Every call, newest first; failures throw std::exception with a readable text.
    virtual QList<_CallHistory> callHistories() = 0;
};
