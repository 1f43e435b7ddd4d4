#include "contacts/device/IOSContactsLoader.h"
#include "contacts/support/ContactFixtures.h"
#include "contacts/support/DeviceContactRecords.h"
#include "device/support/FakeDeviceBackend.h"

#include <QtTest>

using DeviceContactRecords::batch;
using DeviceContactRecords::record;

namespace
{
const QString kClass = QStringLiteral("com.apple.Contacts");

QString v(const pim::_Contact& c, int kind, int i, const char* key)
{
    return c.entities.value(kind).value(i).values.value(QLatin1String(key)).toString();
}

pim::_Contact bySrc(const QList<pim::_Contact>& list, const QString& src)
{
    for (const pim::_Contact& c : list)
        if (c.srcId == src)
            return c;
    return pim::_Contact();
}
} // namespace

class TestIOSContactsLoader : public QObject
{
    Q_OBJECT
    std::shared_ptr<FakeDeviceBackend> backend;

private slots:
    void init() { backend = FakeDeviceBackend::install(); }
    void cleanup() { FakeDeviceBackend::uninstall(); }

    void everyKindAcrossBatches()
    {
        FakeDevice& phone = backend->addDevice("U1");
        const QDateTime bday(QDate(1980, 5, 17), QTime(0, 0), Qt::UTC);
        phone.syncBatches[kClass] = {
            // A child before its parent, then a record of an unknown kind and malformed ones.
            FakeSyncBatch {
                batch({ { "p-early",
                            record("Phone Number", { { "value", "111" }, { "type", "mobile" } }, { "c1" }) },
                    { "x1", record("Ringtone", { { "value", "?" } }, { "c1" }) },
                    { "x2", record("Phone Number", { { "value", "222" } }, { "nobody" }) } }),
                PlistCFType() },
            FakeSyncBatch {
                batch({ { "c1",
                            record("Contact",
                                { { "first name", "Ann" }, { "last name", "Lee" }, { "title", "Dr." },
                                    { "first name yomi", "An" }, { "nickname", "" }, { "job title", "Chief" },
                                    { "birthday", bday }, { "image", QByteArray("img") },
                                    { "notes", "n" } }) },
                    { "e1", record("Email Address", { { "value", "a@x" }, { "type", "work" } }, { "c1" }) },
                    { "a1",
                        record("Street Address",
                            { { "street", "1 Main" }, { "city", "Town" }, { "country code", "us" },
                                { "type", "home" }, { "label", "" } },
                            { "c1" }) } }),
                PlistCFType() },
            // The batch marked as the last one is read too.
            FakeSyncBatch {
                batch({ { "u1",
                            record("URL", { { "value", "http://x" }, { "type", "home page" } }, { "c1" }) },
                    { "i1",
                        record("IM", { { "user", "ann" }, { "service", "skype" }, { "type", "home" } },
                            { "c1", "c1" }) },
                    { "d1", record("Date", { { "value", bday }, { "type", "anniversary" } }, { "c1" }) },
                    { "r1", record("Related Name", { { "value", "Mary" }, { "type", "Mother" } }, { "c1" }) },
                    { "bad", record("Phone Number", { { "value", "333" }, { "contact", "c1" } }) } }),
                PlistCFType() },
        };
        auto store = ContactFixtures::newStore();
        store->beginEdit();
        loadIOSContacts("U1", *store);
        store->endEdit(true);
        const QList<pim::_Contact> list = store->contacts();
        QCOMPARE(list.size(), 1);
        const pim::_Contact c = list.first();
        QCOMPARE(c.srcId, QStringLiteral("c1"));
        QCOMPARE(c.fullName, QStringLiteral("Dr. Ann Lee"));
        QCOMPARE(v(c, 1, 0, "data7"), QStringLiteral("An"));
        QCOMPARE(v(c, 5, 0, "data3"), QStringLiteral("1"));
        QCOMPARE(v(c, 10, 0, "data4"), QStringLiteral("Chief"));
        QCOMPARE(v(c, 10, 0, "data2"), QStringLiteral("1"));
        QCOMPARE(v(c, 6, 0, "data1"), QStringLiteral("1980-05-17T00:00:00"));
        QCOMPARE(v(c, 6, 0, "data2"), QStringLiteral("3"));
        QCOMPARE(c.entities.value(2).first().values.value("data15").toByteArray(), QByteArray("img"));
        QCOMPARE(v(c, 9, 0, "data1"), QStringLiteral("n"));
        QCOMPARE(c.entities.value(3).size(), 1); // the early child, linked at the end
        QCOMPARE(v(c, 3, 0, "data2"), QStringLiteral("2"));
        QCOMPARE(c.entities.value(3).first().srcId, QStringLiteral("p-early"));
        QCOMPARE(v(c, 4, 0, "data2"), QStringLiteral("2"));
        QCOMPARE(v(c, 12, 0, "data1"), QStringLiteral("1 Main\nTown"));
        QCOMPARE(v(c, 12, 0, "data11"), QStringLiteral("us"));
        QCOMPARE(v(c, 13, 0, "data2"), QStringLiteral("1"));
        QCOMPARE(c.entities.value(8).size(), 2); // named twice
        QCOMPARE(v(c, 8, 0, "data5"), QStringLiteral("4"));
        QCOMPARE(v(c, 6, 1, "data2"), QStringLiteral("1"));
        QCOMPARE(v(c, 11, 0, "data2"), QString()); // "Mother" is no word of the table
        QCOMPARE(v(c, 11, 0, "data1"), QStringLiteral("Mary"));
        QVERIFY(phone.syncLog.contains("getAll"));
        QVERIFY(!phone.syncLog.contains("finish"));
    }

    void sameIdentifierTwice()
    {
        FakeDevice& phone = backend->addDevice("U1");
        phone.syncBatches[kClass] = {
            FakeSyncBatch {
                batch({ { "c1", record("Contact", { { "first name", "A" } }) } }), PlistCFType() },
            FakeSyncBatch { batch({ { "c1", record("Contact", { { "first name", "B" } }) },
                                { "p", record("Phone Number", { { "value", "1" } }, { "c1" }) } }),
                PlistCFType() },
        };
        auto store = ContactFixtures::newStore();
        store->beginEdit();
        loadIOSContacts("U1", *store);
        store->endEdit(true);
        const QList<pim::_Contact> list = store->contacts();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list.at(0).fullName, QStringLiteral("A"));
        QVERIFY(!list.at(0).entities.contains(3));
        QCOMPARE(list.at(1).entities.value(3).size(), 1);
    }

    void failures_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("message");
        QTest::newRow("start") << 0 << "mobiledevice_sync_start_throw: start failed. return -5. busy";
        QTest::newRow("receive") << 1 << "mobilesync_receive_changes failed. return -3.";
        QTest::newRow("ack") << 2 << "mobilesync_acknowledge_changes_from_device failed. return -4.";
        QTest::newRow("no device") << 3 << "mobiledevice_sync_start_throw: open device failed.";
    }
    void failures()
    {
        QFETCH(int, which);
        QFETCH(QString, message);
        FakeDevice& phone = backend->addDevice("U1");
        phone.syncBatches[kClass]
            = { FakeSyncBatch { batch({ { "c1", record("Contact", {}) } }), PlistCFType() } };
        if (which == 0) {
            phone.syncStartError = -5;
            phone.syncStartDescription = "busy";
        }
        if (which == 1)
            phone.receiveError = -3;
        if (which == 2)
            phone.acknowledgeError = -4;
        auto store = ContactFixtures::newStore();
        store->beginEdit();
        try {
            loadIOSContacts(which == 3 ? "U2" : "U1", *store);
            QFAIL("no error");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString(e.what()).startsWith(message), e.what());
        }
        store->endEdit(false);
        QCOMPARE(store->total(), qint64(0));
    }
};

QTEST_GUILESS_MAIN(TestIOSContactsLoader)
#include "TestIOSContactsLoader.moc"
