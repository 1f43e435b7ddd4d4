#include "device/SyncRecordWriter.h"

#include <utility>

SyncRecordWriter::SyncRecordWriter(QString dataClass)
    : m_dataClass(std::move(dataClass))
{
}

void SyncRecordWriter::open(const QString& udid)
{
    mobiledevice_sync_start_throw(udid, _mobiledevice_sync_ctx::now(m_dataClass), m_client);
    mobiledevice_sync_start_send_to_device_throw(m_client);
}

QList<QPair<QString, QString>> SyncRecordWriter::send(const PlistCFType& records)
{
    const PlistCFType answer = mobiledevice_sync_send_throw(m_client, records, false, PlistCFType());
    QList<QPair<QString, QString>> remap;
    for (const PlistCFType& key : answer.dict_keys())
        remap.append({ key.CFStringQString(), answer.get(key).CFStringQString() });
    return remap;
}

void SyncRecordWriter::finish()
{
    mobiledevice_sync_send_finish_throw(m_client);
}

void SyncRecordWriter::cancel(const QString& reason)
{
    mobiledevice_sync_cancel(m_client, reason);
}
