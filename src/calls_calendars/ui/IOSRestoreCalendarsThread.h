#pragma once

#include "calls_calendars/_Calendar.h"

#include <QList>
#include <QMap>
#include <QSharedPointer>
#include <QThread>

class LocalCalendarsDb;
class ProgressForm;
struct _IOSDevice;

// Restores events to a connected device through its sync service, in batches of at most 20: each
// event is stored into the device calendar mirror first, and only those the mirror did not hold
// are sent (with their recurrences).
class IOSRestoreCalendarsThread : public QThread
{
    Q_OBJECT
public:
    IOSRestoreCalendarsThread(QSharedPointer<_IOSDevice> device, LocalCalendarsDb& db,
        QList<_CalEvent> events, ProgressForm& form, QObject* parent = nullptr);

protected:
    void run() override;

private:
    void handleBatch(int start, int count);
    const _Calendar& targetCalendar(const _CalEvent& event) const;
    void sendToDevice(const QList<_CalEvent>& events);

    QSharedPointer<_IOSDevice> device;
    LocalCalendarsDb& calendarsDb;
    QList<_CalEvent> restoreEvents;
    ProgressForm& form;
    int total = 0;
    int done = 0;
    int merged = 0;
    bool inEdit = false;
    QList<_Calendar> deviceCalendars;
    QMap<QString, _Calendar> calendarByName;
};
