#include "contacts/store/IOSContactCombineRule.h"
#include "contacts/store/LocalContactsDb.h"
#include "contacts/support/ContactFixtures.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using ContactFixtures::entity;
using ContactFixtures::query;

namespace
{
pim::_Contact person(const QString& first, const QString& last)
{
    pim::_Contact c;
    pim::Entity name = entity({ { "data2", first }, { "data3", last } });
    name.values["data1"] = name.fullName();
    c.fullName = name.fullName();
    c.entities[1].append(name);
    return c;
}

QMap<int, QList<pim::Entity>> merge(LocalContactsDb& db, const pim::_Contact& c, bool* merged = nullptr)
{
    pim::_Contact stored;
    bool m = false;
    auto result = db.combineContact(c, stored, m);
    if (merged)
        *merged = m;
    return result;
}
} // namespace

class TestLocalContactsDb : public QObject
{
    Q_OBJECT
private slots:
    void createsSchemaOnFirstUse()
    {
        QString path;
        auto db = ContactFixtures::newStore(&path);
        QCOMPARE(db->total(), qint64(0));
        QVERIFY(db->isOpened());
        QCOMPARE(query(path,
                     "select name from sqlite_master where type in ('table','index') and name not like "
                     "'sqlite_%' order by name"),
            QStringLiteral("contact|contact_group|data|index_contacts_full_name|index_contacts_src_id|"
                           "index_data_contact|index_data_data|index_data_src_id"));
        QCOMPARE(db->contact(1).id, 0ULL);
        QVERIFY(db->contacts().isEmpty());
    }

    void rowLayout()
    {
        QString path;
        auto db = ContactFixtures::newStore(&path);
        pim::_Contact c(0, "", "X");
        db->insertContactBase(c);
        pim::Entity org = entity({ { "data1", "Acme" }, { "data8", "never" }, { "data9", "nine" } });
        db->insertEntity(c.id, 10, org);
        QCOMPARE(query(path, QString("select data1,data8,data9 from data where _id=%1").arg(org.id)),
            QStringLiteral("Acme,,nine"));
        pim::Entity addr = entity({ { "data4", "1 Main" }, { "data10", "USA" }, { "data11", "us" } });
        db->insertEntity(c.id, 12, addr);
        QCOMPARE(query(path, QString("select data10,data11 from data where _id=%1").arg(addr.id)),
            QStringLiteral("USA,us"));
        pim::Entity photo = entity({ { "data4", "junk" }, { "data15", QByteArray("img") } });
        db->insertEntity(c.id, 2, photo);
        QCOMPARE(query(path, QString("select data4 from data where _id=%1").arg(photo.id)),
            pim::Entity::photoHash("img"));
        QCOMPARE(photo.values.value("data4").toString(), QStringLiteral("junk"));
        pim::Entity phone = entity({ { "data1", "1" }, { "data2", 2 }, { "data15", QByteArray("x") } });
        db->insertEntity(c.id, 3, phone);
        // A number is stored as the text the data columns hold.
        QCOMPARE(
            query(path,
                QString("select data2, typeof(data2), data15 is null from data where _id=%1").arg(phone.id)),
            QStringLiteral("2,text,1"));
        phone.values["data1"] = "99";
        db->updateEntity(3, phone);
        QCOMPARE(
            query(path, QString("select data1 from data where _id=%1").arg(phone.id)), QStringLiteral("99"));
        QVERIFY_THROWS_EXCEPTION(std::exception, db->updateEntity(14, phone));
        QVERIFY_THROWS_EXCEPTION(std::exception, db->insertEntity(c.id, 0, phone));
        // The country code is read back as well as written.
        const pim::_Contact back = db->contact(c.id);
        QCOMPARE(back.entities.value(12).first().values.value("data11").toString(), QStringLiteral("us"));
        QVERIFY(!back.entities.value(10).first().values.contains("data8"));
    }

    void contactsSortedAndJoined()
    {
        QString path;
        auto db = ContactFixtures::newStore(&path);
        for (const char* name : { "Zed", "amy", "Bob", "" }) {
            pim::_Contact c(0, "", name);
            db->insertContactBase(c);
            pim::Entity n = entity({ { "data1", name } });
            db->insertEntity(c.id, 1, n);
        }
        pim::_Contact bare(0, "", "NoRows");
        db->insertContactBase(bare);
        QStringList names;
        for (const pim::_Contact& c : db->contacts())
            names << c.fullName;
        QCOMPARE(names, (QStringList { "", "Bob", "Zed", "amy" }));
        QCOMPARE(db->total(), qint64(5));
    }

    void mergeLookup_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("incoming");
        QTest::addColumn<bool>("merged");
        QTest::newRow("ascii case") << "Pat Smith"
                                    << "pat SMITH" << true;
        QTest::newRow("underscore is a letter") << "Ann Lee"
                                                << "Ann_Lee" << false;
        QTest::newRow("percent is a letter") << "Ann Lee"
                                             << "Ann%" << false;
        QTest::newRow("same percent") << "50% Off"
                                      << "50% off" << true;
        QTest::newRow("trailing blank differs") << "Ann"
                                                << "Ann " << false;
    }
    void mergeLookup()
    {
        QFETCH(QString, stored);
        QFETCH(QString, incoming);
        QFETCH(bool, merged);
        auto db = ContactFixtures::newStore();
        pim::_Contact a;
        a.fullName = stored;
        merge(*db, a);
        pim::_Contact b;
        b.fullName = incoming;
        bool m = false;
        merge(*db, b, &m);
        QCOMPARE(m, merged);
        QCOMPARE(db->total(), qint64(merged ? 1 : 2));
    }

    void namelessContacts()
    {
        auto db = ContactFixtures::newStore();
        auto org = [](const char* name) {
            pim::_Contact c;
            c.entities[1].append(entity({ { "data1", "" } }));
            c.entities[10].append(entity({ { "data1", name } }));
            return c;
        };
        bool m = true;
        merge(*db, org("Apple Inc."), &m);
        QVERIFY(!m);
        merge(*db, org("Apple Inc."), &m);
        QVERIFY(m);
        merge(*db, org("Orange"), &m);
        QVERIFY(!m);
        pim::_Contact nothing;
        merge(*db, nothing, &m);
        QVERIFY(!m);
        merge(*db, nothing, &m);
        QVERIFY(m); // the same empty contact saved again
        QCOMPARE(db->total(), qint64(3));
    }

    void namelessContactsByValues_data()
    {
        // Phones, e-mails and addresses of the stored and the incoming contact, "kind:value" each.
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("incoming");
        QTest::addColumn<bool>("merged");
        const QStringList three { "3:555 0101", "4:a@example.com", "12:1 Main St" };
        QTest::newRow("same values") << three << three << true;
        QTest::newRow("other order") << three
                                     << QStringList { "12:1 Main St", "3:555 0101", "4:a@example.com" }
                                     << true;
        QTest::newRow("one phone more") << three << (three + QStringList { "3:555 0102" }) << false;
        QTest::newRow("one value less") << three << three.mid(1) << false;
        QTest::newRow("other e-mail")
            << three << QStringList { "3:555 0101", "4:b@example.com", "12:1 Main St" } << false;
        QTest::newRow("repeated phone")
            << QStringList { "3:1", "3:1" } << QStringList { "3:1", "3:2" } << false;
        QTest::newRow("empty against values") << QStringList() << three << false;
    }
    void namelessContactsByValues()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, incoming);
        QFETCH(bool, merged);
        auto make = [](const QStringList& values) {
            pim::_Contact c;
            for (const QString& v : values) {
                const int kind = v.section(':', 0, 0).toInt();
                c.entities[kind].append(entity({ { "data1", v.section(':', 1) }, { "data2", 1 } }));
            }
            return c;
        };
        QString path;
        auto db = ContactFixtures::newStore(&path);
        bool m = true;
        merge(*db, make(stored), &m);
        QVERIFY(!m);
        merge(*db, make(incoming), &m);
        QCOMPARE(m, merged);
        // Saving the same source again adds nothing, whichever contact it matched.
        const QString before = query(path, "select * from data order by _id");
        merge(*db, make(incoming), &m);
        QVERIFY(m);
        QCOMPARE(db->total(), qint64(merged ? 1 : 2));
        QCOMPARE(query(path, "select * from data order by _id"), before);
    }

    void secondMergeChangesNothing()
    {
        QString path;
        auto db = ContactFixtures::newStore(&path);
        pim::_Contact c = person("Ann", "Lee");
        c.entities[3].append(entity({ { "data1", "123" }, { "data2", 2 } })); // no data3, stored as ''
        c.entities[2].append(entity({ { "data15", QByteArray("photo") } }));
        c.entities[6].append(entity({ { "data1", "1981-01-01T00:00:00" }, { "data2", 3 } }));
        c.entities[12].append(entity({ { "data1", "x" }, { "data4", "x" }, { "data2", 1 } }));
        QVERIFY(!merge(*db, c).isEmpty());
        const QString before = query(path, "select * from data order by _id");
        bool m = false;
        QVERIFY(merge(*db, c, &m).isEmpty());
        QVERIFY(m);
        QCOMPARE(query(path, "select * from data order by _id"), before);
    }

    void mergeCopiesNonEmptyValues()
    {
        auto db = ContactFixtures::newStore();
        pim::_Contact c = person("Ann", "Lee");
        c.entities[3].append(entity({ { "data1", "123" }, { "data2", 2 }, { "data3", "mine" } }));
        c.entities[9].append(entity({ { "data1", "old note" } }));
        merge(*db, c);
        pim::_Contact d = person("ANN", "LEE");
        d.entities[3].append(entity({ { "data1", "123" }, { "data2", 1 } }));
        d.entities[9].append(entity({ { "data1", "new note" } }));
        d.entities[9].append(entity({ { "data1", "newer note" } })); // one-entity kind: one row
        d.entities[3].append(entity({ { "data1", "456" } }));
        pim::_Contact stored;
        bool m = false;
        const auto result = db->combineContact(d, stored, m);
        QCOMPARE(result.value(3).size(), 2);
        const pim::_Contact back = db->contact(stored.id);
        QCOMPARE(back.fullName, QStringLiteral("Ann Lee")); // the stored name stays
        QCOMPARE(back.entities.value(9).size(), 1);
        QCOMPARE(
            back.entities.value(9).first().values.value("data1").toString(), QStringLiteral("newer note"));
        QCOMPARE(back.entities.value(3).size(), 2);
        QCOMPARE(back.entities.value(3).first().values.value("data2").toString(), QStringLiteral("1"));
        QCOMPARE(back.entities.value(3).first().values.value("data3").toString(), QStringLiteral("mine"));
    }

    void editRollbackUndoesMerges()
    {
        auto db = ContactFixtures::newStore();
        merge(*db, person("Keep", "Me"));
        db->beginEdit();
        merge(*db, person("Gone", "One"));
        merge(*db, person("Gone", "Two"));
        db->endEdit(false);
        QCOMPARE(db->total(), qint64(1));
        db->beginEdit();
        merge(*db, person("Stay", "One"));
        db->endEdit(true);
        QCOMPARE(db->total(), qint64(2));
    }

    // A merge that fails inside an edit: with its own savepoint it undoes itself and the edit goes
    // on; without, its rows wait for the caller's rollback. Neither leaves a transaction behind.
    void failedMergeInsideEdit_data()
    {
        QTest::addColumn<bool>("savepoints");
        QTest::addColumn<qint64>("rowsLeft");
        QTest::newRow("own savepoint") << true << qint64(0);
        QTest::newRow("caller's edit") << false << qint64(1);
    }
    void failedMergeInsideEdit()
    {
        QFETCH(bool, savepoints);
        QFETCH(qint64, rowsLeft);
        auto db = ContactFixtures::newStore();
        db->setMergeSavepoints(savepoints);
        db->beginEdit();
        db->db.executeThrow("drop table data"); // the entity rows cannot be written
        pim::_Contact stored;
        bool m = false;
        QVERIFY_THROWS_EXCEPTION(std::exception, db->combineContact(person("Ann", "Lee"), stored, m));
        QCOMPARE(db->db.tranDepth(), 1);
        QCOMPARE(db->total(), rowsLeft);
        db->endEdit(false);
        QCOMPARE(db->db.tranDepth(), 0);
        QCOMPARE(db->total(), qint64(0));
        db->setMergeSavepoints(false); // outside any edit a merge still runs in its own transaction
        merge(*db, person("Bo", "Ek"));
        QCOMPARE(db->db.tranDepth(), 0);
        QCOMPARE(db->contacts().size(), 1);
    }

    void groups()
    {
        auto db = ContactFixtures::newStore();
        pim::_Contact c = person("G", "H");
        merge(*db, c);
        QCOMPARE(db->getGroupIdOrAdd("Friends"), db->getGroupIdOrAdd("friends"));
        QVERIFY(db->getGroupIdOrAdd("F_iends") != db->getGroupIdOrAdd("Friends"));
        const pim::Entity g = db->setGroup(1, 7, "Seven");
        QCOMPARE(g.values.value("data1").toULongLong(), 7ULL);
        db->setGroup(1, 8, "Eight");
        const pim::_Contact back = db->contact(1);
        QCOMPARE(back.entities.value(7).size(), 1);
        QCOMPARE(back.entities.value(7).first().values.value("data1").toString(), QStringLiteral("8"));
        QCOMPARE(db->groups().size(), 2);
    }

    void editing()
    {
        QString path;
        auto db = ContactFixtures::newStore(&path);
        pim::_Contact c = person("A", "B");
        pim::_Contact stored;
        bool m = false;
        db->combineContact(c, stored, m);
        db->updateContactBaseSrcId(stored.id, "dev-1");
        db->updateEntitySrcId(stored.entities[1].first().id, "dev-e");
        QCOMPARE(db->contact(stored.id).srcId, QStringLiteral("dev-1"));
        db->updateContactBaseSrcId(QString("dev-1"), QString("dev-2"));
        QCOMPARE(db->contact(stored.id).srcId, QStringLiteral("dev-2"));
        QCOMPARE(db->contact(stored.id).entities[1].first().srcId, QStringLiteral("dev-e"));
        db->removeContact(stored.id);
        QCOMPARE(db->total(), qint64(0));
        QCOMPARE(query(path, "select count(*) from data"), QStringLiteral("0"));
    }

    void deleteAndRecreate()
    {
        QString path;
        auto db = ContactFixtures::newStore(&path);
        merge(*db, person("A", "B"));
        db->deleteDbFile();
        QVERIFY(!QFile::exists(path));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db->deleteDbFile());
        QCOMPARE(db->contact(1).id, 0ULL);
        QVERIFY(QFile::exists(path));
        QVERIFY(db->removeDB());
        QVERIFY(!db->removeDB());
    }

    // A store is removed from its held folder, the way to it walked as an open walks it: through the
    // user's own link, but never through another user's link in a folder everyone may write into,
    // which would lead the removal to the user's file of that name elsewhere.
    void removedThroughALinkOnTheWay_data()
    {
        QTest::addColumn<int>("owner"); // of the link
        QTest::addColumn<bool>("removed");
        QTest::newRow("the user's own link") << 0 << true;
        QTest::newRow("another user's link in a shared folder") << 65534 << false;
    }
    void removedThroughALinkOnTheWay()
    {
        QFETCH(int, owner);
        QFETCH(bool, removed);
        if (::geteuid() != 0)
            QSKIP("A link of another user is put there by root only");
        const QString dir = TestEnv::tempDir(), shared = dir + "/shared", mine = dir + "/mine";
        QVERIFY(QDir().mkpath(shared) && QDir().mkpath(mine));
        QVERIFY(::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
        const QString link = shared + "/box";
        QVERIFY(QFile::link(mine, link));
        QVERIFY(::lchown(QFile::encodeName(link).constData(), uid_t(owner), gid_t(owner)) == 0);
        for (bool asBool : { false, true }) {
            {
                LocalContactsDb made(
                    mine + "/contacts.db", QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
                merge(made, person("A", "B"));
            }
            LocalContactsDb store(
                link + "/contacts.db", QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
            QString failure;
            if (asBool)
                QCOMPARE(store.removeDB(), removed);
            else
                try {
                    store.deleteDbFile();
                } catch (const std::exception& e) {
                    failure = QString::fromUtf8(e.what());
                }
            QCOMPARE(QFile::exists(mine + "/contacts.db"), !removed);
            if (!asBool && !removed)
                QVERIFY2(failure.startsWith("Cannot write " + link + "/contacts.db"), qPrintable(failure));
            QFile::remove(mine + "/contacts.db");
        }
    }

    void badFiles()
    {
        const QString dir = TestEnv::tempDir();
        LocalContactsDb missingFolder(
            dir + "/no/such/contacts.db", QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
        QVERIFY_THROWS_EXCEPTION(std::exception, missingFolder.total()); // not counted, so not none
        // An empty file, as a making that a kill or a full disk stopped leaves, is made a store.
        const QString empty = dir + "/empty.db";
        QFile f(empty);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        LocalContactsDb db(empty, QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
        QCOMPARE(db.total(), qint64(0));
        QCOMPARE(db.contact(1).id, 0ull);
        pim::_Contact c(0, "", "X");
        db.insertContactBase(c);
        QCOMPARE(db.total(), qint64(1));
    }
};

QTEST_GUILESS_MAIN(TestLocalContactsDb)
#include "TestLocalContactsDb.moc"
