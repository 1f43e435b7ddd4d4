#include "messages/store/CountryInfo.h"

#include <QtTest>

namespace {
_CountryInfo india()
{
    _CountryInfo c;
    c.sn = "IN";
    c.pnum = "91";
    c.numc = "10";
    c.r1 = "^[7-9]\\d{9}$";
    return c;
}
} // namespace

class TestCountryInfo : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void indiaRules()
    {
        const _CountryInfo in = india();
        QCOMPARE(in.formatNumber("98765 43210"), QString("+919876543210"));
        QCOMPARE(in.formatNumber("098765 43210"), QString("+919876543210"));
        QCOMPARE(in.formatNumber("91 98765 43210"), QString("+919876543210"));
        QCOMPARE(in.formatNumber("+91 98765 43210"), QString("+919876543210"));
        QCOMPARE(in.formatNumber("0091 9876543210"), QString("00919876543210"));
        QCOMPARE(in.formatNumber("2876543210"), QString("2876543210"));
        QCOMPARE(in.formatNumber("9176543210"), QString("+919176543210"));
        QCOMPARE(in.formatNumber("911234567890"), QString("+911234567890"));
        QCOMPARE(in.formatNumber("Bob@Example.COM - x"), QString("bob@example.com - x"));
        QCOMPARE(in.formatNumber(""), QString(""));
    }

    void otherRules()
    {
        _CountryInfo us;
        us.pnum = "1";
        us.numc = "10";
        us.r1 = "^\\d{10}$";
        QCOMPARE(us.formatNumber("(555) 123-4567"), QString("+15551234567"));
        QCOMPARE(us.formatNumber("1 555 123 4567"), QString("+15551234567"));
        _CountryInfo ru;
        ru.pnum = "7";
        ru.numc = "10";
        ru.r1 = "^9\\d{9}$";
        QCOMPARE(ru.formatNumber("89161234567"), QString("89161234567"));
        _CountryInfo de;
        de.pnum = "49";
        de.numc = "7,8,9,10,11,12";
        de.r1 = "^15[0-25-9]\\d{8}|1(?:6[023]|7\\d)\\d{7,8}$";
        for (int l = 6; l <= 13; ++l)
            QCOMPARE(de._isLengthValid(l), l >= 7 && l <= 12);
        // Start of one alternative and end of the other do not make a whole match.
        QVERIFY(!de._isMatch("15012345678999"));
        QVERIFY(de._isMatch("15012345678"));
        QVERIFY(de._isMatch("1601234567"));
        QCOMPARE(_CountryInfo().formatNumber("(555) 12-34"), QString("5551234"));
        QVERIFY(!_CountryInfo()._isMatch(""));
        QVERIFY(_CountryInfo()._isLengthValid(0));
    }
};

QTEST_GUILESS_MAIN(TestCountryInfo)
#include "TestCountryInfo.moc"
