#include "device/mobiledevice_sync.h"

#include "device/iDevice.h"
#include "device/mobiledevice.h"

#include <stdexcept>

namespace
{
const quint64 kComputerDataClassVersion = 106;

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}
} // namespace

void mobiledevice_sync_start_throw(
    const QString& udid, const _mobiledevice_sync_ctx& ctx, mobiledevice_sync_client& client)
{
    client.free();
    auto dev = std::make_unique<iDevice>(udid);
    int err = dev->newDevice();
    if (err != 0)
        fail(QStringLiteral("mobiledevice_sync_start_throw: open device failed. return %1.").arg(err));
    client.device = std::move(dev);
    err = client.device->connection()->startSync(QString::fromLatin1(kLockdownLabel), client.client);
    if (err != 0 || !client.client)
        fail(QStringLiteral("mobiledevice_sync_start_throw: start service failed. return %1.").arg(err));
    QString description;
    err = client.client->start(
        ctx.dataClass, ctx.deviceAnchor, ctx.computerAnchor, kComputerDataClassVersion, description);
    if (err != 0)
        fail(QStringLiteral("mobiledevice_sync_start_throw: start failed. return %1. %2")
                 .arg(err)
                 .arg(description));
}

void mobiledevice_sync_start_recv_all_records_throw(mobiledevice_sync_client& client)
{
    if (!client.client)
        return;
    int err = client.client->getAllRecordsFromDevice();
    if (err != 0)
        fail(QStringLiteral("mobilesync_get_all_records_from_device failed. return %1.").arg(err));
}

bool mobiledevice_sync_record_next_throw(
    mobiledevice_sync_client& client, PlistCFType& entities, PlistCFType* actions)
{
    if (!client.client)
        return false;
    PlistCFType received;
    PlistCFType receivedActions;
    bool isLast = false;
    int err = client.client->receiveChanges(received, isLast, receivedActions);
    if (err != 0)
        fail(QStringLiteral("mobilesync_receive_changes failed. return %1.").arg(err));
    entities = received;
    if (actions)
        *actions = receivedActions;
    err = client.client->acknowledgeChangesFromDevice();
    if (err != 0)
        fail(QStringLiteral("mobilesync_acknowledge_changes_from_device failed. return %1.").arg(err));
    return !isLast;
}

void mobiledevice_sync_start_send_to_device_throw(mobiledevice_sync_client& client)
{
    if (!client.client)
        return;
    int err = client.client->readyToSendChangesFromComputerNoCheck();
    if (err != 0)
        fail(QStringLiteral("mobilesync_ready_to_send_changes_from_computer failed. return %1.").arg(err));
}

PlistCFType mobiledevice_sync_send_throw(
    mobiledevice_sync_client& client, PlistCFType entities, bool isLast, PlistCFType actions)
{
    if (!client.client)
        return PlistCFType(nullptr, true);
    int err = client.client->sendChanges(entities, isLast, actions);
    if (err != 0)
        fail(QStringLiteral("mobilesync_send_changes failed. return %1.").arg(err));
    PlistCFType mapping;
    err = client.client->remapIdentifiers(mapping);
    if (err != 0)
        fail(QStringLiteral("mobilesync_remap_identifiers failed. return %1.").arg(err));
    return mapping.ref() ? mapping : PlistCFType(nullptr, true);
}

void mobiledevice_sync_send_finish_throw(mobiledevice_sync_client& client)
{
    if (!client.client)
        return;
    int err = client.client->finish();
    if (err != 0)
        fail(QStringLiteral("mobilesync_finish failed. return %1.").arg(err));
}

void mobiledevice_sync_cancel(mobiledevice_sync_client& client, const QString& reason)
{
    if (!client.client)
        return;
    const int err = client.client->cancel(reason);
    if (err != 0)
        qWarning("mobilesync_cancel failed. return %d.", err);
}

void mobiledevice_sync_read_all_throw(const QString& udid, const QString& dataClass,
    const QString& tetheredName, const std::function<void(const PlistCFType& batch)>& onBatch)
{
    mobiledevice_sync_set_tethered_throw(udid, tetheredName, false);
    mobiledevice_sync_client client;
    mobiledevice_sync_start_throw(udid, _mobiledevice_sync_ctx::now(dataClass), client);
    mobiledevice_sync_start_recv_all_records_throw(client);
    bool more = true;
    while (more) {
        PlistCFType batch;
        more = mobiledevice_sync_record_next_throw(client, batch, nullptr);
        onBatch(batch);
    }
}

bool mobiledevice_sync_set_tethered_throw(const QString& udid, const QString& name, bool disable)
{
    PlistCFType value = PlistCFType::createCFDictionary();
    value.put(QStringLiteral("DisableTethered"), PlistCFType::createCFBoolean(disable));
    return mobiledevice_set(udid, QStringLiteral("com.apple.mobile.tethered_sync"), name, value);
}
