#pragma once

#include "device/PlistCFType.h"
#include "device/SyncSession.h"
#include "device/_mobiledevice_sync_ctx.h"
#include "device/iDevice.h"

#include <QString>
#include <functional>
#include <memory>

// The open mobilesync exchange of one caller. The wrappers never free it; it frees its client when
// destroyed, also when an exception passes, and never sends a finish of its own.
struct mobiledevice_sync_client {
    mobiledevice_sync_client() = default;
    mobiledevice_sync_client(const mobiledevice_sync_client&) = delete;
    mobiledevice_sync_client& operator=(const mobiledevice_sync_client&) = delete;

    ~mobiledevice_sync_client() { free(); }
    void free()
    {
        client.reset();
        device.reset();
    }

    std::unique_ptr<SyncSession> client;
    // The device the client was started on, kept while the client lives: the library's service
    // connection still refers to it.
    std::unique_ptr<iDevice> device;
};

// Starts an exchange of the context's data class (computer data class version 106).
void mobiledevice_sync_start_throw(
    const QString& udid, const _mobiledevice_sync_ctx& ctx, mobiledevice_sync_client& client);
void mobiledevice_sync_start_recv_all_records_throw(mobiledevice_sync_client& client);
// Receives and acknowledges one batch; true while more batches follow.
bool mobiledevice_sync_record_next_throw(
    mobiledevice_sync_client& client, PlistCFType& entities, PlistCFType* actions);
void mobiledevice_sync_start_send_to_device_throw(mobiledevice_sync_client& client);
// Sends one batch and returns the device's identifier remapping (null when it sent none).
PlistCFType mobiledevice_sync_send_throw(
    mobiledevice_sync_client& client, PlistCFType entities, bool isLast, PlistCFType actions);
void mobiledevice_sync_send_finish_throw(mobiledevice_sync_client& client);
// Cancels an open exchange with the reason given; never throws (used on the way out of a failure).
void mobiledevice_sync_cancel(mobiledevice_sync_client& client, const QString& reason);
// Reads every record of a data class: sets the tethered switch of `tetheredName` to false, starts
// an exchange, asks for all records and hands each batch, the last one included, to `onBatch`.
// Ends without a finish, as every reader does; the client is released on every path.
void mobiledevice_sync_read_all_throw(const QString& udid, const QString& dataClass,
    const QString& tetheredName, const std::function<void(const PlistCFType& batch)>& onBatch);
// Writes the tethered-sync switch of one data class; true when the device took it. Never throws.
bool mobiledevice_sync_set_tethered_throw(const QString& udid, const QString& name, bool disable);
