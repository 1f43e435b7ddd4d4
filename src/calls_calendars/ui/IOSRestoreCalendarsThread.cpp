#include "calls_calendars/ui/IOSRestoreCalendarsThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "calls_calendars/CalendarSyncRecords.h"
#include "calls_calendars/LocalCalendarsDb.h"
#include "device/SyncRecordWriter.h"
#include "device/_IOSDevice.h"

#include <QHash>

IOSRestoreCalendarsThread::IOSRestoreCalendarsThread(QSharedPointer<_IOSDevice> device, LocalCalendarsDb& db,
    QList<_CalEvent> events, ProgressForm& form, QObject* parent)
    : QThread(parent)
    , device(std::move(device))
    , calendarsDb(db)
    , restoreEvents(std::move(events))
    , form(form)
{
}

void IOSRestoreCalendarsThread::run()
{
    inEdit = false;
    total = int(restoreEvents.size());
    done = 0;
    merged = 0;
    try {
        deviceCalendars = calendarsDb.calendars();
        if (deviceCalendars.isEmpty()) {
            form.invokeErrorOccurred(tr("IDS_NO_CALENDARS_IN_DEVICE"));
            return;
        }
        for (const _Calendar& cal : deviceCalendars)
            calendarByName.insert(cal.name, cal);
        while (done < total)
            handleBatch(done, qMin(total - done, 20));
        if (merged < 1)
            form.invokeSucceed(tr("IDS_SUC_RESTORE_CALENDAR_EVENTS_%1").arg(done));
        else
            form.invokeSucceed(
                tr("IDS_SUC_RESTORE_CALENDAR_EVENTS_%1_MERGED_%2").arg(done - merged).arg(merged));
    } catch (int) {
        // Cancelled: this batch's rows go, nothing is reported.
        if (inEdit) {
            try {
                calendarsDb.endEdit(false);
            } catch (const std::exception&) {
            }
        }
    } catch (const std::exception& e) {
        if (inEdit) {
            try {
                calendarsDb.endEdit(false);
            } catch (const std::exception&) {
            }
        }
        form.invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}

const _Calendar& IOSRestoreCalendarsThread::targetCalendar(const _CalEvent& event) const
{
    auto it = calendarByName.find(event.calendar_name);
    return it != calendarByName.end() ? it.value() : deviceCalendars.first();
}

void IOSRestoreCalendarsThread::handleBatch(int start, int count)
{
    calendarsDb.beginEdit();
    inEdit = true;
    QList<_CalEvent> fresh;
    for (int i = start; i < start + count; ++i) {
        if (form.cancelled)
            throw -1;
        ++done;
        form.invokeUpdateProgress(QString(), int(double(done) / total * 100.0),
            QStringLiteral("Events:%1 / %2").arg(done).arg(total));
        _CalEvent event = restoreEvents.at(i);
        bool existed = false;
        const qint64 id = calendarsDb.saveEvent(targetCalendar(event).id, event, &existed);
        if (existed) {
            ++merged;
        } else {
            event.id = id;
            fresh.append(event);
        }
    }
    if (!fresh.isEmpty())
        sendToDevice(fresh);
    calendarsDb.endEdit(true);
    inEdit = false;
}

void IOSRestoreCalendarsThread::sendToDevice(const QList<_CalEvent>& events)
{
    PlistCFType records = PlistCFType::createCFDictionary();
    for (const _CalEvent& e : events)
        records.put(
            QStringLiteral("2/%1").arg(-e.id), CalendarSyncRecords::eventRecord(e, targetCalendar(e).src_id));
    SyncRecordWriter writer{QLatin1String(CalendarSyncRecords::kDataClass)}; // released on every path
    writer.open(device->udid);
    QHash<qint64, QString> deviceIds;
    for (const auto& [sent, assigned] : writer.send(records)) {
        qDebug("IOS Sync, cid:%s => %s", sent.toLocal8Bit().constData(), assigned.toLocal8Bit().constData());
        int number = 0;
        if (CalendarSyncRecords::parseId(sent, nullptr, &number))
            deviceIds.insert(-qint64(number), assigned);
    }
    PlistCFType rules = PlistCFType::createCFDictionary();
    for (const _CalEvent& e : events) {
        const PlistCFType rule = CalendarSyncRecords::recurrenceRecord(e, deviceIds.value(e.id));
        if (!rule.isCFDictionary())
            continue;
        // A rule whose event got no device identifier would belong to nothing on the device.
        if (deviceIds.value(e.id).isEmpty()) {
            qWarning("Calendar restore: the device named no identifier for event %lld; its recurrence is "
                     "left out.",
                e.id);
            continue;
        }
        rules.put(QStringLiteral("5/%1").arg(-e.id), rule);
    }
    for (const auto& [sent, assigned] : writer.send(rules))
        qDebug("IOS Sync, cid:%s => %s", sent.toLocal8Bit().constData(), assigned.toLocal8Bit().constData());
    writer.finish();
}
