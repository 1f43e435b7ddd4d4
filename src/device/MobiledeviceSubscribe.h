#pragma once

#include <QObject>
#include <QString>

struct DeviceEvent;

// Turns the device library's attach and detach events into Qt signals. The events arrive on the
// library's own thread; receivers on the GUI thread get the signals queued.
class MobiledeviceSubscribe : public QObject
{
    Q_OBJECT
public:
    explicit MobiledeviceSubscribe(QObject* parent = nullptr);
    ~MobiledeviceSubscribe() override;

    bool start();
    void stop();

    // Called only by the event callback.
    void invokeNewDevice(const QString& udid);
    void invokeKickDevice(const QString& udid);

    // Devices attached since start (additions minus removals); written on the library's thread.
    int deviceCount = 0;

signals:
    void newDevice(QString udid);
    void kickDevice(QString udid);

private:
    static void subscribe(const DeviceEvent& event, void* userData);
};
