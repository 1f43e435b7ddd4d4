#include "calls_calendars/ui/IOSLoadCalendarsThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "calls_calendars/CalendarSyncRecords.h"
#include "calls_calendars/LocalCalendarsDb.h"
#include "device/_IOSDevice.h"
#include "device/mobiledevice_sync.h"

IOSLoadCalendarsThread::IOSLoadCalendarsThread(
    QSharedPointer<_IOSDevice> device, LocalCalendarsDb& mirror, ProgressForm& form, QObject* parent)
    : QThread(parent)
    , m_device(std::move(device))
    , m_mirror(mirror)
    , m_form(form)
{
}

void IOSLoadCalendarsThread::run()
{
    m_form.invokeUpdateProgress(tr("IDS_LOADING_IOS_DEVICE_CALENDARS"), 99, QString());
    bool began = false;
    try {
        CalendarSyncRecords records;
        mobiledevice_sync_read_all_throw(m_device->udid, QLatin1String(CalendarSyncRecords::kDataClass),
            QStringLiteral("Calendars"), [&records](const PlistCFType& batch) { records.readBatch(batch); });
        const QList<_Calendar> calendars = records.join();
        m_mirror.path = m_device->cacheDir().absoluteFilePath(QStringLiteral("calendars.db"));
        m_mirror.deleteDbFile();
        m_mirror.beginEdit();
        began = true;
        for (const _Calendar& cal : calendars) {
            const qint64 id = m_mirror.getCalendarOrAdd(cal.name, cal.src_id);
            for (const _CalEvent& e : cal.events)
                m_mirror.saveEvent(id, e, nullptr);
        }
        m_mirror.endEdit(true);
        m_form.invokeSucceed(QString());
    } catch (const std::exception& e) {
        if (began) {
            try {
                m_mirror.endEdit(false);
            } catch (const std::exception& rollback) {
                qWarning("Rolling back the calendar mirror failed: %s", rollback.what());
            }
        }
        m_form.invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}
