#include "device/mobiledevice_sync.h"
#include "device/support/FakeDeviceBackend.h"

#include <QtTest>

namespace
{
PlistCFType records(const QStringList& ids)
{
    PlistCFType dict = PlistCFType::createCFDictionary();
    for (const QString& id : ids) {
        PlistCFType record = PlistCFType::createCFDictionary();
        record.put("com.apple.syncservices.RecordEntityName",
            PlistCFType::createCFString("com.apple.contacts.Contact"));
        dict.put(id, record);
    }
    return dict;
}

QString errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}
} // namespace

class TestMobiledeviceSync : public QObject
{
    Q_OBJECT
    std::shared_ptr<FakeDeviceBackend> backend;

private Q_SLOTS:
    void init()
    {
        backend = FakeDeviceBackend::install();
        FakeDevice& device = backend->addDevice("U1");
        device.syncBatches["com.apple.Contacts"] = { FakeSyncBatch { records({ "1", "2" }), PlistCFType() },
            FakeSyncBatch { records({ "3" }), PlistCFType() } };
    }
    void cleanup() { FakeDeviceBackend::uninstall(); }

    void readsAllBatches()
    {
        _mobiledevice_sync_ctx ctx("com.apple.Contacts", "---", "2026-12-07T05:00:00");
        mobiledevice_sync_client client;
        QVERIFY(!mobiledevice_sync_set_tethered_throw("nobody", "Contacts", false));
        QVERIFY(mobiledevice_sync_set_tethered_throw("U1", "Contacts", false));
        mobiledevice_sync_start_throw("U1", ctx, client);
        mobiledevice_sync_start_recv_all_records_throw(client);
        QStringList ids;
        PlistCFType entities;
        bool more = true;
        while (more) {
            more = mobiledevice_sync_record_next_throw(client, entities, nullptr);
            for (const PlistCFType& key : entities.dict_keys())
                ids << key.CFStringQString();
        }
        QCOMPARE(ids, (QStringList { "1", "2", "3" }));
        QCOMPARE(backend->device("U1")->syncLog,
            (QStringList { "start com.apple.Contacts --- 2026-12-07T05:00:00 106", "getAll", "receive", "ack",
                "receive", "ack" }));
        QVERIFY(backend->calls().contains("sync start U1 QUILLMARROW"));
        QCOMPARE(backend->device("U1")->setValueLog,
            QStringList { "com.apple.mobile.tethered_sync|Contacts|{DisableTethered : 0}" });
    }

    void sendsBatchesAndReadsTheRemapping()
    {
        _mobiledevice_sync_ctx ctx("com.apple.Calendars", "---", "now");
        mobiledevice_sync_client client;
        mobiledevice_sync_start_throw("U1", ctx, client);
        mobiledevice_sync_start_send_to_device_throw(client);
        const PlistCFType mapping
            = mobiledevice_sync_send_throw(client, records({ "a" }), false, PlistCFType());
        QCOMPARE(mapping.get("a").CFStringQString(), QStringLiteral("dev-a"));
        PlistCFType actions = PlistCFType::createCFDictionary();
        actions.put("SyncDeviceLinkEntityNamesKey", PlistCFType::createCFArray());
        mobiledevice_sync_send_throw(client, records({ "b" }), false, actions);
        mobiledevice_sync_send_finish_throw(client);
        const auto& sent = backend->device("U1")->sent;
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent[0].dataClass, QStringLiteral("com.apple.Calendars"));
        QVERIFY(!sent[0].actions.ref()); // no actions node at all
        QVERIFY(sent[1].actions.isCFDictionary());
        QCOMPARE(backend->device("U1")->syncLog.last(), QStringLiteral("finish"));
    }

    void emptyClientDoesNothing()
    {
        mobiledevice_sync_client client;
        PlistCFType entities = PlistCFType::createCFString("untouched");
        QVERIFY(!mobiledevice_sync_record_next_throw(client, entities, nullptr));
        QCOMPARE(entities.CFStringQString(), QStringLiteral("untouched"));
        QCOMPARE(mobiledevice_sync_send_throw(client, records({ "x" }), true, PlistCFType()).typeId(), 16ul);
        mobiledevice_sync_start_send_to_device_throw(client);
        mobiledevice_sync_send_finish_throw(client);
        mobiledevice_sync_start_recv_all_records_throw(client);
    }

    void failuresThrowTheirTexts()
    {
        _mobiledevice_sync_ctx ctx("com.apple.Notes", "---", "now");
        mobiledevice_sync_client absent;
        QCOMPARE(errorOf([&] { mobiledevice_sync_start_throw("nobody", ctx, absent); }),
            QStringLiteral("mobiledevice_sync_start_throw: open device failed. return -3."));

        FakeDevice& device = *backend->device("U1");
        device.syncServiceError = -4;
        mobiledevice_sync_client c1;
        QCOMPARE(errorOf([&] { mobiledevice_sync_start_throw("U1", ctx, c1); }),
            QStringLiteral("mobiledevice_sync_start_throw: start service failed. return -4."));
        device.syncServiceError = 0;
        device.syncStartError = -7;
        device.syncStartDescription = "refused";
        mobiledevice_sync_client c2;
        QCOMPARE(errorOf([&] { mobiledevice_sync_start_throw("U1", ctx, c2); }),
            QStringLiteral("mobiledevice_sync_start_throw: start failed. return -7. refused"));
        QVERIFY(c2.client); // left for its owner to free
        device.syncStartError = 0;

        mobiledevice_sync_client c3;
        mobiledevice_sync_start_throw("U1", ctx, c3);
        device.readyToSendResult = -11;
        QCOMPARE(errorOf([&] { mobiledevice_sync_start_send_to_device_throw(c3); }),
            QStringLiteral("mobilesync_ready_to_send_changes_from_computer failed. return -11."));
        device.sendChangesError = -1;
        QCOMPARE(errorOf([&] { mobiledevice_sync_send_throw(c3, records({ "x" }), false, PlistCFType()); }),
            QStringLiteral("mobilesync_send_changes failed. return -1."));
        device.sendChangesError = 0;
        device.remapError = -2;
        QCOMPARE(errorOf([&] { mobiledevice_sync_send_throw(c3, records({ "x" }), false, PlistCFType()); }),
            QStringLiteral("mobilesync_remap_identifiers failed. return -2."));
        device.finishError = -3;
        QCOMPARE(errorOf([&] { mobiledevice_sync_send_finish_throw(c3); }),
            QStringLiteral("mobilesync_finish failed. return -3."));
        device.receiveError = -5;
        PlistCFType entities;
        QCOMPARE(errorOf([&] { mobiledevice_sync_record_next_throw(c3, entities, nullptr); }),
            QStringLiteral("mobilesync_receive_changes failed. return -5."));
        device.receiveError = 0;
        device.acknowledgeError = -6;
        QCOMPARE(errorOf([&] { mobiledevice_sync_record_next_throw(c3, entities, nullptr); }),
            QStringLiteral("mobilesync_acknowledge_changes_from_device failed. return -6."));
        QVERIFY(entities.isCFDictionary()); // the batch was already stored
    }
};

QTEST_GUILESS_MAIN(TestMobiledeviceSync)
#include "TestMobiledeviceSync.moc"
