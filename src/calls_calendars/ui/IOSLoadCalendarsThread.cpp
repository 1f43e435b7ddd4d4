#include "calls_calendars/ui/IOSLoadCalendarsThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "calls_calendars/CalendarSyncRecords.h"
#include "calls_calendars/LocalCalendarsDb.h"
#include "device/_IOSDevice.h"
#include "device/mobiledevice_sync.h"

#include <QDateTime>

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
    mobiledevice_sync_client client;
    try {
        const _mobiledevice_sync_ctx ctx(QLatin1String(CalendarSyncRecords::kDataClass),
            QStringLiteral("---"), QDateTime::currentDateTime().toString(Qt::ISODate));
        mobiledevice_sync_set_tethered_throw(m_device->udid, QStringLiteral("Calendars"), false);
        mobiledevice_sync_start_throw(m_device->udid, ctx, client);
        mobiledevice_sync_start_recv_all_records_throw(client);
        CalendarSyncRecords records;
        bool more = true;
        while (more) {
            PlistCFType batch;
            more = mobiledevice_sync_record_next_throw(client, batch, nullptr);
            records.readBatch(batch);
        }
        const QList<_Calendar> calendars = records.join();
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
        m_form.invokeErrorOccurred(QString::fromUtf8(e.what()).toHtmlEscaped());
    }
}
