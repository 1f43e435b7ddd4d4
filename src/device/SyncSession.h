#pragma once

#include "device/PlistCFType.h"

#include <QString>

// An open mobilesync client. Results are mobilesync error codes, 0 = success.
class SyncSession
{
public:
    virtual ~SyncSession();

    virtual int start(const QString& dataClass, const QString& deviceAnchor, const QString& computerAnchor,
        quint64 computerDataClassVersion, QString& errorDescription)
        = 0;
    virtual int getAllRecordsFromDevice() = 0;
    // One batch of changes; `entities` and `actions` own what they receive.
    virtual int receiveChanges(PlistCFType& entities, bool& isLast, PlistCFType& actions) = 0;
    virtual int acknowledgeChangesFromDevice() = 0;
    // Waits for the device's readiness to receive changes, with no preceding receive required.
    virtual int readyToSendChangesFromComputerNoCheck() = 0;
    // A null `actions` sends no actions node.
    virtual int sendChanges(const PlistCFType& entities, bool isLast, const PlistCFType& actions) = 0;
    // On success `mapping` owns the device's remapping, or is null when the device sent none.
    virtual int remapIdentifiers(PlistCFType& mapping) = 0;
    virtual int finish() = 0;
    // Ends the exchange without finishing it, telling the device why (after a failure or a cancel).
    virtual int cancel(const QString& reason) = 0;
};
