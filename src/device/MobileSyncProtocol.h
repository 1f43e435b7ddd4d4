#pragma once

#include "device/PlistCFType.h"

#include <QString>

// The computer-to-device half of a mobilesync exchange, written over plain message send and
// receive. The device library refuses to send changes unless its own readiness call ran after a
// receive of the device's changes; these steps do not require that, so a restore can push records
// straight after the start of an exchange.
class MobileSyncProtocol
{
public:
    // The send and receive of whole DeviceLink messages (mobilesync_send, mobilesync_receive).
    class Wire
    {
    public:
        virtual ~Wire();
        virtual int send(const PlistCFType& message) = 0;
        virtual int receive(PlistCFType& message) = 0;
    };

    // mobilesync error codes used here, as the device library numbers them.
    enum { Success = 0, PlistError = -2, Cancelled = -8, NotReady = -11 };

    // Waits for "SDMessageDeviceReadyToReceiveChanges" and answers with the DeviceLink ping; a
    // "SDMessageCancelSession" gives Cancelled, any other message NotReady.
    static int readyToSendNoCheck(Wire& wire);
    // Sends "SDMessageProcessChanges" for the data class; a null `actions` sends the empty marker.
    static int sendChanges(Wire& wire, const QString& dataClass, const PlistCFType& entities, bool isLast,
        const PlistCFType& actions);
    // Reads "SDMessageRemapRecordIdentifiers"; `mapping` owns a copy of the dictionary, or is null.
    static int remapIdentifiers(Wire& wire, PlistCFType& mapping);

private:
    // Receives one message into `message` and checks that it is an array led by `expectedType`: a
    // receive failure passes through, a malformed message gives PlistError, "SDMessageCancelSession"
    // Cancelled and any other type `otherTypeError`.
    static int receiveExpected(
        Wire& wire, const char* expectedType, int otherTypeError, PlistCFType& message);
};
