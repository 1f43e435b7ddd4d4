#pragma once

#include "device/PlistCFType.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// Canned mobilesync contact records for a fake device, built from the device schema's keys.
namespace DeviceContactRecords
{
// A record of entity name `entity` ("Contact", "Phone Number", ...) with text values, a QDateTime
// as a date, a QByteArray as data; `parents` becomes the "contact" array when not empty.
PlistCFType record(const QString& entity, const QVariantMap& values, const QStringList& parents = {});
PlistCFType batch(const QList<QPair<QString, PlistCFType>>& records);
} // namespace DeviceContactRecords
