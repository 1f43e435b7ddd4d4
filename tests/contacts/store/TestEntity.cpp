#include "contacts/store/Entity.h"
#include "contacts/store/PimLabelMaps.h"
#include "contacts/store/_Contact.h"

#include <QtTest>

class TestEntity : public QObject
{
    Q_OBJECT
private slots:
    void fullName_data()
    {
        QTest::addColumn<QStringList>("parts"); // prefix, first, middle, last, suffix
        QTest::addColumn<QString>("expected");
        QTest::newRow("all") << QStringList { "Dr.", "Anna", "", "Lee", "Jr." } << "Dr. Anna Lee Jr.";
        QTest::newRow("last only") << QStringList { "", "", "", "Lee", "" } << "Lee";
        QTest::newRow("empty") << QStringList { "", "", "", "", "" } << "";
        QTest::newRow("blank part kept inside") << QStringList { "", "A", " ", "B", "" } << "A   B";
        QTest::newRow("first only") << QStringList { "", "Anna", "", "", "" } << "Anna";
        QTest::newRow("blanks at both ends") << QStringList { " ", " Anna", "", "", "Jr. " } << "Anna Jr.";
        QTest::newRow("blank first, then a last") << QStringList { "", " ", "", "Lee", "" } << "Lee";
        QTest::newRow("blank prefix only") << QStringList { "\t", "", "", "", "" } << "";
    }
    void fullName()
    {
        QFETCH(QStringList, parts);
        QFETCH(QString, expected);
        pim::Entity e;
        const char* keys[] = { "data5", "data2", "data4", "data3", "data6" };
        for (int i = 0; i < 5; ++i)
            e.values[QLatin1String(keys[i])] = parts.at(i);
        QCOMPARE(e.fullName(), expected);
    }

    void formattedAddr_data()
    {
        QTest::addColumn<QStringList>("parts"); // street, city, state, zip, country
        QTest::addColumn<QString>("expected");
        QTest::newRow("all") << QStringList { "1 Main St", "Springfield", "IL", "627", "USA" }
                             << "1 Main St\nSpringfield, IL 627\nUSA";
        QTest::newRow("no state") << QStringList { "1 Main St", "Springfield", "", "627", "" }
                                  << "1 Main St\nSpringfield, 627";
        QTest::newRow("city only") << QStringList { "1 Main St", "Springfield", "", "", "" }
                                   << "1 Main St\nSpringfield";
        QTest::newRow("state no city")
            << QStringList { "1 Main St", "", "IL", "627", "" } << "1 Main St\n IL 627";
        QTest::newRow("zip without city")
            << QStringList { "1 Main St", "", "", "627", "USA" } << "1 Main St\nUSA";
        QTest::newRow("no street") << QStringList { "", "Springfield", "IL", "", "USA" }
                                   << "Springfield, IL\nUSA";
        QTest::newRow("empty") << QStringList { "", "", "", "", "" } << "";
    }
    void formattedAddr()
    {
        QFETCH(QStringList, parts);
        QFETCH(QString, expected);
        pim::Entity e;
        const char* keys[] = { "data4", "data7", "data8", "data9", "data10" };
        for (int i = 0; i < 5; ++i)
            e.values[QLatin1String(keys[i])] = parts.at(i);
        QCOMPARE(e.formattedAddr(), expected);
    }

    void photoHash()
    {
        pim::Entity none;
        QCOMPARE(none.photoHash(), QStringLiteral("1B2M2Y8AsgTpgAmY7PhCfg=="));
        QVERIFY(none.values.isEmpty()); // the lookup adds no key
        pim::Entity photo;
        photo.values[QStringLiteral("data15")] = QByteArray("abc");
        QCOMPARE(photo.photoHash(), pim::Entity::photoHash(QByteArray("abc")));
        QCOMPARE(photo.photoHash().size(), 24);
    }

    void phoneOrder_data()
    {
        QTest::addColumn<QVariant>("a");
        QTest::addColumn<QVariant>("b");
        QTest::addColumn<bool>("less");
        QTest::newRow("mobile before main") << QVariant(2) << QVariant(12) << true;
        QTest::newRow("text code like integer") << QVariant("2") << QVariant(1) << true;
        QTest::newRow("work before other") << QVariant(3) << QVariant(6) << true;
        QTest::newRow("equal ranks") << QVariant(6) << QVariant(9) << false;
        QTest::newRow("absent ranks last") << QVariant() << QVariant(3) << false;
    }
    void phoneOrder()
    {
        QFETCH(QVariant, a);
        QFETCH(QVariant, b);
        QFETCH(bool, less);
        pim::Entity x, y;
        if (a.isValid())
            x.values[QStringLiteral("data2")] = a;
        y.values[QStringLiteral("data2")] = b;
        QCOMPARE(pim::comparePhoneLess(x, y), less);
    }

    // A code reads as the integer of the value's text, whatever type holds it.
    void code_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("code");
        QTest::newRow("int") << QVariant(12) << 12;
        QTest::newRow("negative int") << QVariant(-3) << -3;
        QTest::newRow("text") << QVariant("7") << 7;
        QTest::newRow("no number") << QVariant("x") << 0;
        QTest::newRow("beyond int") << QVariant(Q_INT64_C(5000000000)) << 0;
        QTest::newRow("real") << QVariant(2.5) << 0;
        QTest::newRow("absent") << QVariant() << 0;
    }
    void code()
    {
        QFETCH(QVariant, value);
        QFETCH(int, code);
        pim::Entity e;
        if (value.isValid())
            e.values.insert("data2", value);
        QCOMPARE(e.code("data2"), code);
    }

    void labelMaps()
    {
        QCOMPARE(pim::phoneTypeMap().size(), 20);
        QVERIFY(!pim::phoneTypeMap().contains(7));
        QCOMPARE(pim::phoneTypeMap().value(12), QStringLiteral("Main"));
        QCOMPARE(pim::emailTypeMap().value(3), QString());
        QCOMPARE(pim::relTypeMap().value(11), QStringLiteral("Referred by"));
        QCOMPARE(pim::urlTypeMap().value(1), QStringLiteral("Home page"));
        QCOMPARE(pim::nicknameTypeMap().value(2), QStringLiteral("Other"));
        QCOMPARE(pim::imProtocolMap().size(), 12);
        QMap<int, QString> copy = pim::eventTypeMap();
        copy[2];
        QVERIFY(!pim::eventTypeMap().contains(2)); // a caller's copy never changes the map
    }

    void contactCopiesAreIndependent()
    {
        pim::_Contact a(1, "s", "A");
        a.entities[3].append(pim::Entity());
        pim::_Contact b = a;
        b.entities[3].append(pim::Entity());
        QCOMPARE(a.entities[3].size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestEntity)
#include "TestEntity.moc"
