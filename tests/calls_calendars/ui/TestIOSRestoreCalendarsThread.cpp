#include "app/IdsTranslator.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "calls_calendars/LocalCalendarsDb.h"
#include "calls_calendars/ui/IOSRestoreCalendarsThread.h"
#include "device/_IOSDevice.h"
#include "device/support/FakeDeviceBackend.h"
#include "support/TestEnv.h"

#include <QtTest>

namespace
{

const QString kUdid = QStringLiteral("0000aaaa1111bbbb2222cccc3333dddd4444eeee");

QList<_CalEvent> manyEvents(int n)
{
    QList<_CalEvent> list;
    for (int i = 0; i < n; ++i) {
        _CalEvent e(0, 0, "Elsewhere");
        e.start_date = QDateTime(QDate(2013, 1, 1), QTime(9, 0), Qt::UTC).addDays(i);
        e.end_date = e.start_date.addSecs(1800);
        e.summary = QString("Event %1").arg(i);
        if (i % 10 == 0)
            e.rrule = "FREQ=WEEKLY;INTERVAL=2";
        list.append(e);
    }
    return list;
}

} // namespace

class TestIOSRestoreCalendarsThread : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;
    std::shared_ptr<FakeDeviceBackend> backend;
    QSharedPointer<_IOSDevice> device;
    QString mirrorPath;

    QString run(const QList<_CalEvent>& events, int* result, QString* detail = nullptr)
    {
        LocalCalendarsDb mirror(mirrorPath);
        ProgressForm form;
        form.setQuiet(true);
        IOSRestoreCalendarsThread thread(device, mirror, events, form);
        thread.start();
        *result = form.exec();
        thread.wait();
        if (detail)
            *detail = form.detailText();
        return form.resultText();
    }

private slots:
    void initTestCase() { installEnglishTexts(m_english); }
    void init()
    {
        backend = FakeDeviceBackend::install();
        backend->addDevice(kUdid);
        device = QSharedPointer<_IOSDevice>::create();
        device->udid = kUdid;
        mirrorPath = TestEnv::tempDir() + "/calendars.db";
        LocalCalendarsDb mirror(mirrorPath);
        mirror.getCalendarOrAdd("Home", "1/3");
    }
    void cleanup() { FakeDeviceBackend::uninstall(); }

    void batchesOfTwenty()
    {
        int result = -1;
        QString detail;
        QCOMPARE(run(manyEvents(45), &result, &detail),
            QString("Successfully restored 45 Calendar events to Device."));
        QCOMPARE(result, 1);
        QCOMPARE(detail, QString("Events:45 / 45"));
        const FakeDevice* phone = backend->device(kUdid);
        QCOMPARE(phone->sent.size(), 6); // events and recurrences of three batches
        QCOMPARE(phone->sent[0].entities.dict_size(), 20);
        QCOMPARE(phone->sent[4].entities.dict_size(), 5);
        QCOMPARE(phone->sent[1].entities.dict_size(), 2); // events 0 and 10 repeat
        QCOMPARE(phone->sent[0].entities.get("2/-1").get("calendar").at(0).CFStringQString(), QString("1/3"));
        // A second run finds every event in the mirror and talks to the device no more.
        QCOMPARE(
            run(manyEvents(45), &result), QString("Successfully restored 0 Calendar events with 45 merged."));
        QCOMPARE(backend->device(kUdid)->sent.size(), 6);
    }

    void recurrenceWithoutDeviceIdIsLeftOut()
    {
        backend->device(kUdid)->remap = [](const PlistCFType&) { return PlistCFType::createCFDictionary(); };
        int result = -1;
        run(manyEvents(3), &result);
        QCOMPARE(result, 1);
        const FakeDevice* phone = backend->device(kUdid);
        QCOMPARE(phone->sent.size(), 2);
        QCOMPARE(phone->sent[1].entities.dict_size(), 0); // sent all the same, empty
    }

    void noCalendarOnTheDevice()
    {
        QFile::remove(mirrorPath);
        int result = -1;
        QCOMPARE(run(manyEvents(2), &result), QString("No Calendar on iPhone. Please create one first."));
        QCOMPARE(result, 0);
        QCOMPARE(backend->device(kUdid)->sent.size(), 0);
    }

    void cancelAfterTheFirstBatch()
    {
        // The user cancels once the device took the first batch (its events and recurrences).
        ProgressForm form;
        form.setQuiet(true);
        int remaps = 0;
        backend->device(kUdid)->remap = [&](const PlistCFType& sent) {
            PlistCFType mapping = PlistCFType::createCFDictionary();
            for (const PlistCFType& key : sent.dict_keys())
                mapping.put(
                    key.CFStringQString(), PlistCFType::createCFString("dev-" + key.CFStringQString()));
            if (++remaps == 2) {
                form.cancelled = true;
                QMetaObject::invokeMethod(
                    &form, [&form] { form.done(0); }, Qt::QueuedConnection);
            }
            return mapping;
        };
        {
            LocalCalendarsDb mirror(mirrorPath);
            IOSRestoreCalendarsThread thread(device, mirror, manyEvents(45), form);
            thread.start();
            QCOMPARE(form.exec(), 0);
            thread.wait();
        }
        QCOMPARE(form.resultText(), QString()); // no message
        QCOMPARE(backend->device(kUdid)->sent.size(), 2);
        QCOMPARE(LocalCalendarsDb(mirrorPath).total(), 20);
    }

    void deviceErrorRollsTheBatchBack()
    {
        backend->device(kUdid)->sendChangesError = -1;
        int result = -1;
        QVERIFY(run(manyEvents(3), &result).contains("mobilesync_send_changes failed"));
        QCOMPARE(result, 0);
        LocalCalendarsDb mirror(mirrorPath);
        QCOMPARE(mirror.total(), 0);
    }
};

QTEST_MAIN(TestIOSRestoreCalendarsThread)
#include "TestIOSRestoreCalendarsThread.moc"
