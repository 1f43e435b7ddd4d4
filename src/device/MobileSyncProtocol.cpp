#include "device/MobileSyncProtocol.h"

namespace
{
const char* const kEmptyParameter = "___EmptyParameterString___";
}

MobileSyncProtocol::Wire::~Wire() = default;

int MobileSyncProtocol::receiveExpected(
    Wire& wire, const char* expectedType, int otherTypeError, PlistCFType& message)
{
    int err = wire.receive(message);
    if (err != Success)
        return err;
    if (!message.isCFArray() || !message.at(0).isCFString())
        return PlistError;
    const QString type = message.at(0).CFStringQString();
    if (type == QLatin1String("SDMessageCancelSession"))
        return Cancelled;
    if (type != QLatin1String(expectedType))
        return otherTypeError;
    return Success;
}

int MobileSyncProtocol::readyToSendNoCheck(Wire& wire)
{
    PlistCFType message;
    const int err = receiveExpected(wire, "SDMessageDeviceReadyToReceiveChanges", NotReady, message);
    if (err != Success)
        return err;

    PlistCFType ping = PlistCFType::createCFArray();
    ping.append(PlistCFType::createCFString(QStringLiteral("DLMessagePing")));
    ping.append(PlistCFType::createCFString(QStringLiteral("Preparing to get changes for device")));
    return wire.send(ping);
}

int MobileSyncProtocol::sendChanges(Wire& wire, const QString& dataClass, const PlistCFType& entities,
    bool isLast, const PlistCFType& actions)
{
    if (!entities.isCFDictionary())
        return -1; // invalid argument, as the library answers
    PlistCFType message = PlistCFType::createCFArray();
    message.append(PlistCFType::createCFString(QStringLiteral("SDMessageProcessChanges")));
    message.append(PlistCFType::createCFString(dataClass));
    message.append(PlistCFType::clone(entities));
    message.append(PlistCFType::createCFBoolean(isLast));
    if (actions.ref())
        message.append(PlistCFType::clone(actions));
    else
        message.append(PlistCFType::createCFString(QString::fromLatin1(kEmptyParameter)));
    return wire.send(message);
}

int MobileSyncProtocol::remapIdentifiers(Wire& wire, PlistCFType& mapping)
{
    PlistCFType message;
    const int err = receiveExpected(wire, "SDMessageRemapRecordIdentifiers", PlistError, message);
    if (err != Success)
        return err;
    PlistCFType map = message.at(2);
    mapping = map.isCFDictionary() ? PlistCFType::clone(map) : PlistCFType();
    return Success;
}
