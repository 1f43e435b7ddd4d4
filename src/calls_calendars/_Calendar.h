#pragma once

#include "calls_calendars/_CalEvent.h"

#include <QList>
#include <QString>

// One calendar with its events.
struct _Calendar {
    _Calendar() = default;
    _Calendar(qint64 id, QString name)
        : id(id)
        , name(std::move(name))
    {
    }
    qint64 id = 0;
    QString name;
    QString src_id; // the device's record id when it came from or went to a device
    QList<_CalEvent> events;
};

// By name, lower-cased, compared by UTF-16 code units.
bool compareCalendarLess(const _Calendar& a, const _Calendar& b);
