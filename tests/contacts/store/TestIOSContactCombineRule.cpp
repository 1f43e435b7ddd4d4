#include "contacts/store/IOSContactCombineRule.h"

#include <QtTest>

class TestIOSContactCombineRule : public QObject
{
    Q_OBJECT
private slots:
    void validFields_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<bool>("single");
        QTest::newRow("name") << 1 << QStringList() << false;
        QTest::newRow("photo") << 2 << QStringList { "data4", "data15" } << true;
        QTest::newRow("phone") << 3 << QStringList { "data1", "data2", "data3" } << false;
        QTest::newRow("group") << 7 << QStringList() << false;
        QTest::newRow("im") << 8 << QStringList { "data1", "data5", "data2", "data3" } << false;
        QTest::newRow("org") << 10 << QStringList { "data1", "data5", "data4" } << true;
        QTest::newRow("address") << 12
                                 << QStringList { "data1", "data10", "data11", "data8", "data7", "data4",
                                        "data9", "data2", "data3" }
                                 << false;
        QTest::newRow("outside") << 14 << QStringList() << false;
        QTest::newRow("negative") << -1 << QStringList() << false;
    }
    void validFields()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, fields);
        QFETCH(bool, single);
        IOSContactCombineRule rule;
        bool flag = true;
        QCOMPARE(rule.validFields(kind, flag), fields);
        QCOMPARE(flag, single);
    }

    void otherLists()
    {
        IOSContactCombineRule rule;
        QCOMPARE(rule.checkEqualFieldsMin(8), (QStringList { "data1", "data5" }));
        QCOMPARE(rule.checkEqualFieldsFull(12).first(), QStringLiteral("data10"));
        QVERIFY(!rule.checkEqualFieldsFull(12).contains("data1"));
        QCOMPARE(rule.checkEmptyFields(10), (QStringList { "data1", "data5", "data4" }));
    }

    void isEntityEqual_data()
    {
        QTest::addColumn<QVariant>("a");
        QTest::addColumn<QVariant>("b");
        QTest::addColumn<bool>("equal");
        QTest::newRow("case counts") << QVariant("Ann") << QVariant("ann") << false;
        QTest::newRow("trailing blank counts") << QVariant("a") << QVariant("a ") << false;
        QTest::newRow("empty vs absent") << QVariant("") << QVariant() << false;
        QTest::newRow("both absent") << QVariant() << QVariant() << true;
        QTest::newRow("text 2 vs int 2") << QVariant("2") << QVariant(2) << true;
        QTest::newRow("text 02 vs int 2") << QVariant("02") << QVariant(2) << false;
        QTest::newRow("int widths") << QVariant(qlonglong(5)) << QVariant(5) << true;
        QTest::newRow("bytes") << QVariant(QByteArray("x")) << QVariant(QByteArray("x")) << true;
        QTest::newRow("null text vs empty") << QVariant(QString()) << QVariant(QString("")) << true;
    }
    void isEntityEqual()
    {
        QFETCH(QVariant, a);
        QFETCH(QVariant, b);
        QFETCH(bool, equal);
        pim::Entity x, y;
        if (a.isValid())
            x.values["data3"] = a;
        if (b.isValid())
            y.values["data3"] = b;
        QCOMPARE(AbsContactCombineRule::isEntityEqual(x, y, { "data3" }), equal);
        QVERIFY(AbsContactCombineRule::isEntityEqual(x, y, {}));
    }

    void isEntityEmpty()
    {
        pim::Entity e;
        QVERIFY(AbsContactCombineRule::isEntityEmpty(e, {}));
        QVERIFY(AbsContactCombineRule::isEntityEmpty(e, { "data1" }));
        e.values["data1"] = " ";
        QVERIFY(!AbsContactCombineRule::isEntityEmpty(e, { "data1" }));
        e.values["data2"] = 0;
        QVERIFY(!AbsContactCombineRule::isEntityEmpty(e, { "data2" }));
    }
};

QTEST_GUILESS_MAIN(TestIOSContactCombineRule)
#include "TestIOSContactCombineRule.moc"
