#include "app/IdsTranslator.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "contacts/device/IOSContactsLoader.h"
#include "contacts/device/ui/RestoreContactsThread.h"
#include "contacts/support/ContactFixtures.h"
#include "contacts/support/DeviceContactRecords.h"
#include "device/support/FakeDeviceBackend.h"

#include <QDirIterator>
#include <QtTest>

using ContactFixtures::entity;
using DeviceContactRecords::batch;
using DeviceContactRecords::record;

namespace
{
const QString kClass = QStringLiteral("com.apple.Contacts");

pim::_Contact person(const QString& first, const QString& last)
{
    pim::_Contact c;
    pim::Entity name = entity({ { "data2", first }, { "data3", last } });
    c.fullName = name.fullName();
    name.values["data1"] = c.fullName;
    c.entities[1] << name;
    return c;
}

int restore(const QList<pim::_Contact>& list, QString& text)
{
    ProgressForm form;
    form.setQuiet(true);
    RestoreContactsThread thread("U1", list, &form);
    thread.start();
    const int result = form.exec();
    thread.wait();
    text = form.resultText();
    return result;
}

int starts(const FakeDevice& phone)
{
    return int(phone.syncLog.filter(QRegularExpression("^start ")).size());
}

bool workingCopyLeft()
{
    QDirIterator it(QDir::tempPath(), { "U1-contacts.db" }, QDir::Files, QDirIterator::Subdirectories);
    return it.hasNext();
}
} // namespace

class TestRestoreContactsThread : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;
    std::shared_ptr<FakeDeviceBackend> backend;

private slots:
    void initTestCase() { installEnglishTexts(m_translator); }
    void init()
    {
        backend = FakeDeviceBackend::install();
        FakeDevice& phone = backend->addDevice("U1");
        phone.syncBatches[kClass] = { FakeSyncBatch {
            batch({ { "c1",
                        record("Contact",
                            { { "first name", "Ann" }, { "last name", "Lee" }, { "notes", "old" } }) },
                { "p1", record("Phone Number", { { "value", "111" }, { "type", "mobile" } }, { "c1" }) } }),
            PlistCFType() } };
    }
    void cleanup() { FakeDeviceBackend::uninstall(); }

    void mergesAndSendsChanges()
    {
        pim::_Contact ann = person("Ann", "Lee");
        ann.entities[3] << entity({ { "data1", "111" }, { "data2", 2 } })
                        << entity({ { "data1", "222" }, { "data2", 1 } });
        ann.entities[9] << entity({ { "data1", "new" } });
        pim::_Contact bob = person("Bob", "New");
        bob.entities[3] << entity({ { "data1", "333" } });
        bob.entities[6] << entity({ { "data1", "1980-05-17T00:00:00" }, { "data2", 3 } });
        pim::_Contact bob2 = person("bob", "new");
        bob2.entities[4] << entity({ { "data1", "bob@x" }, { "data2", 2 } });
        QString text;
        QCOMPARE(restore({ ann, bob, bob2 }, text), 1);
        QCOMPARE(text, QStringLiteral("Successfully restored 1 Contacts with 2 merged."));
        FakeDevice& phone = *backend->device("U1");
        QCOMPARE(starts(phone), 2); // the load, then one batch
        QCOMPARE(phone.sent.size(), 2);
        const PlistCFType contacts = phone.sent.at(0).entities;
        QCOMPARE(contacts.dict_size(), 2);
        // The merged note goes out, not the one the device had.
        QCOMPARE(contacts.get("c1").get("notes").CFStringQString(), QStringLiteral("new"));
        QString bobTemp;
        for (const PlistCFType& k : contacts.dict_keys())
            if (k.CFStringQString().startsWith('-'))
                bobTemp = k.CFStringQString();
        QVERIFY(contacts.get(bobTemp).get("birthday").ref());
        const PlistCFType entities = phone.sent.at(1).entities;
        QStringList keys;
        for (const PlistCFType& k : entities.dict_keys())
            keys << k.CFStringQString();
        keys.sort();
        QCOMPARE(keys.size(), 3); // Ann's new phone, Bob's phone and the second Bob's e-mail
        QVERIFY(keys.at(0).startsWith("3/c1/-"));
        QVERIFY(keys.at(1).startsWith("3/dev-" + bobTemp + "/-"));
        QVERIFY(keys.at(2).startsWith("4/dev-" + bobTemp + "/-"));
        QVERIFY(phone.syncLog.contains("finish"));
        QVERIFY(!phone.sent.at(0).isLast);
        QVERIFY(!workingCopyLeft());
    }

    void deviceIdentifiersAreStored()
    {
        auto store = ContactFixtures::newStore();
        store->beginEdit();
        loadIOSContacts("U1", *store);
        store->endEdit(true);
        pim::_Contact ann = person("Ann", "Lee");
        ann.entities[4] << entity({ { "data1", "ann@x" } });
        pim::_Contact cat = person("Cat", "New");
        cat.entities[3] << entity({ { "data1", "444" } });
        ProgressForm form;
        RestoreContactsThread thread("U1", { ann, cat }, &form);
        thread.handleBatch(*store, 0, 2);
        QCOMPARE(store->db.tranDepth(), 0);
        const QList<pim::_Contact> all = store->contacts();
        QCOMPARE(all.size(), 2);
        const pim::_Contact annBack = all.at(0);
        QCOMPARE(annBack.srcId, QStringLiteral("c1"));
        QCOMPARE(annBack.entities.value(4).first().srcId,
            QStringLiteral("dev-4/c1/-%1").arg(annBack.entities.value(4).first().id));
        const pim::_Contact catBack = all.at(1);
        QCOMPARE(catBack.srcId, QStringLiteral("dev--%1").arg(catBack.id));
        QCOMPARE(catBack.entities.value(3).first().srcId,
            QStringLiteral("dev-3/dev--%1/-%2").arg(catBack.id).arg(catBack.entities.value(3).first().id));
        QCOMPARE(backend->device("U1")->sent.size(), 2);
    }

    void nothingChangedSendsNothing()
    {
        pim::_Contact ann = person("ANN", "lee");
        ann.entities[3] << entity({ { "data1", "111" }, { "data2", 2 } });
        QString text;
        QCOMPARE(restore({ ann }, text), 1);
        QCOMPARE(text, QStringLiteral("Successfully restored 0 Contacts with 1 merged."));
        QCOMPARE(starts(*backend->device("U1")), 1);
    }

    void emptyListAndBatches()
    {
        QString text;
        QCOMPARE(restore({}, text), 1);
        QCOMPARE(text, QStringLiteral("Successfully restored 0 Contacts."));
        QList<pim::_Contact> many;
        for (int i = 0; i < 25; ++i)
            many << person("P", QString::number(i));
        QCOMPARE(restore(many, text), 1);
        QCOMPARE(text, QStringLiteral("Successfully restored 25 Contacts."));
        QCOMPARE(starts(*backend->device("U1")), 1 + 1 + 3); // two loads, batches of 10, 10 and 5
    }

    void failureCancelsTheSession()
    {
        backend->device("U1")->sendChangesError = -7;
        QString text;
        QCOMPARE(restore({ person("New", "One") }, text), 0);
        QCOMPARE(text, QStringLiteral("mobilesync_send_changes failed. return -7."));
        QVERIFY(!backend->device("U1")->syncLog.filter(QRegularExpression("^cancel ")).isEmpty());
        QVERIFY(!workingCopyLeft());
    }

    void cancelSendsNothing()
    {
        ProgressForm form;
        form.setQuiet(true);
        form.cancelled = true;
        RestoreContactsThread thread("U1", { person("New", "One") }, &form);
        thread.start();
        QVERIFY(thread.wait(30000));
        QCOMPARE(starts(*backend->device("U1")), 1);
        QVERIFY(backend->device("U1")->sent.isEmpty());
    }
};

QTEST_MAIN(TestRestoreContactsThread)
#include "TestRestoreContactsThread.moc"
