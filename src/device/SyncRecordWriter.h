#pragma once

#include "device/mobiledevice_sync.h"

#include <QList>
#include <QPair>
#include <QString>

// One exchange that writes records of a data class to a device, as every restore over the sync
// service does it: open() starts the exchange with the usual anchors and waits for the device's
// readiness to receive, send() carries one message of records, finish() ends the exchange. The
// client is released when the writer goes, also unfinished after a failure or a cancel.
class SyncRecordWriter
{
public:
    explicit SyncRecordWriter(QString dataClass);

    void open(const QString& udid);
    // Sends one message (last-batch flag false, no actions) and returns the device's remapping,
    // each sent identifier with the one the device gave it, in the order of the device's answer.
    QList<QPair<QString, QString>> send(const PlistCFType& records);
    void finish();
    // Tells the device why the exchange ends unfinished; never throws.
    void cancel(const QString& reason);

private:
    QString m_dataClass;
    mobiledevice_sync_client m_client;
};
