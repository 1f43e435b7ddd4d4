#include "contacts/device/ContactSyncRecords.h"
#include "contacts/support/ContactFixtures.h"

#include <QtTest>

using ContactFixtures::entity;

namespace
{
qint64 secs2001(const PlistCFType& date)
{
    return date.CFDateToDateTime(0).toSecsSinceEpoch()
        - QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::LocalTime).toSecsSinceEpoch();
}

QStringList keys(const PlistCFType& dict)
{
    QStringList list;
    for (const PlistCFType& k : dict.dict_keys())
        list << k.CFStringQString();
    list.sort();
    return list;
}
} // namespace

class TestContactSyncRecords : public QObject
{
    Q_OBJECT
private slots:
    void bareContact()
    {
        PlistCFType records = PlistCFType::createCFDictionary();
        addPlistDataFromContact(records, pim::_Contact(42, "", "X"));
        const PlistCFType r = records.get(QStringLiteral("-42"));
        QCOMPARE(keys(r), (QStringList { "com.apple.syncservices.RecordEntityName", "display as company" }));
        QCOMPARE(r.get(QStringLiteral("display as company")).CFStringQString(), QStringLiteral("person"));
        addPlistDataFromContact(records, pim::_Contact(7, "-dev", "Y"));
        QVERIFY(records.get(QStringLiteral("-dev")).ref());
    }

    void contactFields()
    {
        pim::_Contact c(5, "abc", "Ann Lee");
        c.entities[1] << entity({ { "data2", "Ann" }, { "data3", "Lee" }, { "data5", " " } })
                      << entity({ { "data2", "Other" } });
        c.entities[10] << entity({ { "data1", "Acme" }, { "data4", "Chief" } });
        c.entities[9] << entity({ { "data1", "note" } });
        c.entities[2] << entity({ { "data15", QByteArray() } }) << entity({ { "data15", QByteArray("x") } });
        c.entities[6] << entity({ { "data1", "1980-05-17" }, { "data2", "3" } })
                      << entity({ { "data1", "17.05.1980" }, { "data2", 3 } })
                      << entity({ { "data1", "1990-01-01T00:00:00" }, { "data2", 1 } });
        PlistCFType records = PlistCFType::createCFDictionary();
        addPlistDataFromContact(records, c);
        const PlistCFType r = records.get(QStringLiteral("abc"));
        QCOMPARE(r.get(QStringLiteral("first name")).CFStringQString(), QStringLiteral("Ann"));
        QCOMPARE(r.get(QStringLiteral("title")).CFStringQString(), QStringLiteral(" "));
        QVERIFY(!r.get(QStringLiteral("middle name")).ref());
        QCOMPARE(r.get(QStringLiteral("company name")).CFStringQString(), QStringLiteral("Acme"));
        QCOMPARE(r.get(QStringLiteral("job title")).CFStringQString(), QStringLiteral("Chief"));
        QVERIFY(!r.get(QStringLiteral("department")).ref());
        QCOMPARE(r.get(QStringLiteral("notes")).CFStringQString(), QStringLiteral("note"));
        QVERIFY(!r.get(QStringLiteral("image")).ref()); // only the first photo is looked at
        QCOMPARE(secs2001(r.get(QStringLiteral("birthday"))), qint64(-650937600));
    }

    void birthdays_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("sent");
        QTest::newRow("zone ignored") << "1980-05-17T00:00:00+02:00" << true;
        QTest::newRow("utc") << "1980-05-17T00:00:00Z" << true;
        QTest::newRow("1900 out of range") << "1900-01-01T00:00:00" << false;
        QTest::newRow("2100 out of range") << "2100-01-01T00:00:00" << false;
        QTest::newRow("empty") << "" << false;
    }
    void birthdays()
    {
        QFETCH(QString, text);
        QFETCH(bool, sent);
        pim::_Contact c(1, "", "");
        c.entities[6] << entity({ { "data1", text }, { "data2", 3 } });
        PlistCFType records = PlistCFType::createCFDictionary();
        addPlistDataFromContact(records, c);
        const PlistCFType b = records.get(QStringLiteral("-1")).get(QStringLiteral("birthday"));
        QCOMPARE(bool(b.ref()), sent);
        if (sent)
            QCOMPARE(secs2001(b), qint64(-650937600));
    }

    void entityRecords_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QVariantMap>("values");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("type");
        QTest::newRow("mobile") << 3 << QVariantMap { { "data1", "555" }, { "data2", 2 } } << "3/12/-45"
                                << "mobile";
        QTest::newRow("labelled") << 3
                                  << QVariantMap { { "data1", "555" }, { "data2", 2 }, { "data3", "Car" } }
                                  << "3/12/-45"
                                  << "other";
        QTest::newRow("phone 7") << 3 << QVariantMap { { "data1", "5" }, { "data2", "7" } } << "3/12/-45"
                                 << "other";
        QTest::newRow("main") << 3 << QVariantMap { { "data1", "5" }, { "data2", 12 } } << "3/12/-45"
                              << "main";
        QTest::newRow("empty value") << 3 << QVariantMap { { "data3", "L" } } << ""
                                     << "";
        QTest::newRow("blank value") << 4 << QVariantMap { { "data1", " " } } << "4/12/-45"
                                     << "other";
        QTest::newRow("url") << 13 << QVariantMap { { "data1", "http://x" }, { "data2", 1 } } << "22/12/-45"
                             << "home page";
        QTest::newRow("relation") << 11 << QVariantMap { { "data1", "M" }, { "data2", 8 } } << "23/12/-45"
                                  << "mother";
        QTest::newRow("anniversary") << 6 << QVariantMap { { "data1", "1990-01-01" }, { "data2", 1 } }
                                     << "12/12/-45"
                                     << "anniversary";
        QTest::newRow("birthday no label")
            << 6 << QVariantMap { { "data1", "1990-01-01" }, { "data2", 3 } } << ""
            << "";
        QTest::newRow("birthday labelled")
            << 6 << QVariantMap { { "data1", "1990-01-01" }, { "data2", 3 }, { "data3", "B" } } << "12/12/-45"
            << "other";
        QTest::newRow("bad date") << 6 << QVariantMap { { "data1", "soon" }, { "data2", 1 } } << ""
                                  << "";
        QTest::newRow("country code only") << 12 << QVariantMap { { "data11", "us" } } << ""
                                           << "";
        QTest::newRow("address") << 12
                                 << QVariantMap { { "data4", "1 Main" }, { "data11", "us" }, { "data2", 2 } }
                                 << "5/12/-45"
                                 << "work";
        QTest::newRow("note") << 9 << QVariantMap { { "data1", "n" } } << ""
                              << "";
        QTest::newRow("own id") << 3 << QVariantMap { { "data1", "5" }, { "srcId", "dev-9" } } << "dev-9"
                                << "other";
    }
    void entityRecords()
    {
        QFETCH(int, kind);
        QFETCH(QVariantMap, values);
        QFETCH(QString, key);
        QFETCH(QString, type);
        pim::Entity e;
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            if (it.key() == "srcId")
                e.srcId = it.value().toString();
            else
                e.values[it.key()] = it.value();
        }
        PlistCFType records = PlistCFType::createCFDictionary();
        addPlistDataFromEntity(records, "12", kind, -45, e);
        QCOMPARE(keys(records), key.isEmpty() ? QStringList() : QStringList { key });
        if (key.isEmpty())
            return;
        const PlistCFType r = records.get(key);
        QCOMPARE(r.get(QStringLiteral("type")).CFStringQString(), type);
        QCOMPARE(r.get(QStringLiteral("contact")).at(0).CFStringQString(), QStringLiteral("12"));
        QCOMPARE(r.get(QStringLiteral("label")).ref() != nullptr, e.values.contains("data3"));
    }

    void imAndAddressItems()
    {
        PlistCFType records = PlistCFType::createCFDictionary();
        addPlistDataFromEntity(records, "c", 8, -1,
            entity({ { "data1", "me" }, { "data5", 6 }, { "data6", "custom" }, { "data2", 1 } }));
        addPlistDataFromEntity(records, "c", 8, -2, entity({ { "data1", "you" }, { "data5", 9 } }));
        QCOMPARE(records.get(QStringLiteral("13/c/-1")).get(QStringLiteral("service")).CFStringQString(),
            QStringLiteral("googletalk"));
        QCOMPARE(records.get(QStringLiteral("13/c/-1")).get(QStringLiteral("user")).CFStringQString(),
            QStringLiteral("me"));
        QVERIFY(!records.get(QStringLiteral("13/c/-2")).get(QStringLiteral("service")).ref());
        addPlistDataFromEntity(records, "c", 12, -3,
            entity({ { "data4", "1 Main" }, { "data7", "Town" }, { "data10", "USA" }, { "data11", "us" } }));
        const PlistCFType a = records.get(QStringLiteral("5/c/-3"));
        QCOMPARE(a.get(QStringLiteral("street")).CFStringQString(), QStringLiteral("1 Main"));
        QCOMPARE(a.get(QStringLiteral("country code")).CFStringQString(), QStringLiteral("us"));
        QVERIFY(!a.get(QStringLiteral("state")).ref());
        QCOMPARE(a.get(QStringLiteral("com.apple.syncservices.RecordEntityName")).CFStringQString(),
            QStringLiteral("com.apple.contacts.Street Address"));
    }
};

QTEST_GUILESS_MAIN(TestContactSyncRecords)
#include "TestContactSyncRecords.moc"
