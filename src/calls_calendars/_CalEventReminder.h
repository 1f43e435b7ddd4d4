#pragma once

#include <QString>

// One alarm of a calendar event.
struct _CalEventReminder {
    _CalEventReminder(qint64 id = 0, qint64 eventId = 0)
        : id(id)
        , event_id(eventId)
    {
    }
    qint64 id;
    qint64 event_id;
    int minutes = 0;
    int method = 0; // stored as given; nothing here interprets it
    QString src_id;
};
