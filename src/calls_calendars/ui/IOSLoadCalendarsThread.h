#pragma once

#include <QSharedPointer>
#include <QThread>

class LocalCalendarsDb;
class ProgressForm;
struct _IOSDevice;

// Reads every calendar and event of a connected device through its sync service and rebuilds the
// device calendar mirror from them. The mirror is the device's "calendars.db" in its cache folder,
// made there when missing: the run sets the store's path, so that the window looks at no folder.
class IOSLoadCalendarsThread : public QThread
{
    Q_OBJECT
public:
    IOSLoadCalendarsThread(QSharedPointer<_IOSDevice> device, LocalCalendarsDb& mirror, ProgressForm& form,
        QObject* parent = nullptr);

protected:
    void run() override;

private:
    QSharedPointer<_IOSDevice> m_device;
    LocalCalendarsDb& m_mirror;
    ProgressForm& m_form;
};
