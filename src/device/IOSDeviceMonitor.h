#pragma once

#include "device/MobiledeviceSubscribe.h"
#include "device/_IOSDevice.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <QSharedPointer>
#include <QString>
#include <memory>

// What the device list shows the user. The widget side installs message boxes; without them (no
// widgets, tests) the notes go to the log and the attach note is not waited for.
class DeviceListNotes
{
public:
    virtual ~DeviceListNotes();
    // Shown before anything is read from a newly attached device (rich text); returns when closed.
    virtual void attachNote(const QString& text);
    virtual void warning(const QString& text);
    virtual void error(const QString& text);
};

// The single list of attached devices (USB only), filled from their lockdown values.
class IOSDeviceMonitor : public QObject
{
    Q_OBJECT
public:
    static IOSDeviceMonitor* getInstance();
    ~IOSDeviceMonitor() override;

    // Connects to the device events and subscribes; a failed subscription gives one warning.
    void start();

    // Who shows the monitor's notes; null restores the logging default. Set on the GUI thread.
    static void setNotes(std::shared_ptr<DeviceListNotes> notes);
    // The fixed text of the attach note.
    static QString attachNoteText();

    MobiledeviceSubscribe subscriber;
    QMap<QString, QSharedPointer<_IOSDevice>> devices;

signals:
    void deviceConnected(QString udid);
    void deviceDisconnected(QString udid);

public slots:
    void handleDeviceConnected(QString udid);
    void handleDeviceDisconnected(QString udid);

private:
    IOSDeviceMonitor();

    // Devices whose attach note is open, and those of them detached meanwhile (not added then).
    QSet<QString> attaching;
    QSet<QString> detachedWhileAttaching;
};
