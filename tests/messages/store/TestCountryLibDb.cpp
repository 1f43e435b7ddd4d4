#include "app/DataPaths.h"
#include "messages/store/CountryLibDb.h"
#include "messages/support/MsgFixtures.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <atomic>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <vector>

class TestCountryLibDb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void copiedOnFirstUseAndLookedUp()
    {
        const QString target = g_dataSaveDir().absoluteFilePath("countries.db");
        QFile::remove(target);
        CountryLibDb db { QString() };
        QVERIFY(!QFile::exists(target));
        bool found = false;
        const _CountryInfo in = db.infoByCode("in", &found);
        QVERIFY(found);
        QVERIFY(QFile::exists(target));
        QCOMPARE(in.sn, QString("IN"));
        QCOMPARE(in.pnum, QString("91"));
        QCOMPARE(in.mmc, QString("404,405"));
        QCOMPARE(in.r1, QString("^[7-9]\\d{9}$"));
        QCOMPARE(in.formatNumber("098765 43210"), QString("+919876543210"));
        QCOMPARE(db.infoByMMC("405", &found).sn, QString("IN"));
        QVERIFY(found);
        QVERIFY(db.infoByMMC("", &found).sn.isEmpty());
        QVERIFY(!found);
        QVERIFY(db.infoByCode("ZZ", &found).sn.isEmpty());
        QVERIFY(!found);
        QVERIFY(db.defCountryInfo().sn.isEmpty());
        QCOMPARE(db.infoByCode("RU", nullptr).ln, QString::fromUtf8("Россия"));
        QCOMPARE(db.infoByCode("us", nullptr).formatNumber("(212) 555-0123"), QString("+12125550123"));
        QCOMPARE(db.infoByCode("CN", nullptr).formatNumber("0086 13912345678"), QString("008613912345678"));
        QCOMPARE(db.infoByCode("CN", nullptr).formatNumber("86 13912345678"), QString("+8613912345678"));
        QVERIFY(db.infoByCode("AC", nullptr).r1 == "^$");
    }

    void tableShape()
    {
        CountryLibDb db { QString() };
        db.openCheck();
        Sqlite3Cursor c = db.queryThrow("select count(*) from countries");
        QVERIFY(c.moveNext());
        QVERIFY(c.getInt(0) >= 240);
        c = db.queryThrow(
            "select count(*) from mmc_sn m left join countries c on c.sn=m.sn where c.sn is null");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt(0), 0);
        c = db.queryThrow("select count(*) from countries where pnum='1'");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt(0), 25);
    }

    void mobileCountryCodes_data()
    {
        QTest::addColumn<QString>("mmc");
        QTest::addColumn<QString>("sn");
        QTest::newRow("Antigua") << "344"
                                 << "AG";
        QTest::newRow("Uganda") << "641"
                                << "UG";
        QTest::newRow("Russia") << "250"
                                << "RU";
        QTest::newRow("Guam") << "535"
                              << "GU";
        QTest::newRow("Bolivia") << "736"
                                 << "BO";
        QTest::newRow("United States, last") << "316"
                                             << "US";
        QTest::newRow("United Kingdom, second") << "235"
                                                << "GB";
        QTest::newRow("South Sudan") << "659"
                                     << "SS";
    }

    void mobileCountryCodes()
    {
        QFETCH(QString, mmc);
        QFETCH(QString, sn);
        CountryLibDb db { QString() };
        bool found = false;
        QCOMPARE(db.infoByMMC(mmc, &found).sn, sn);
        QVERIFY(found);
        QVERIFY(db.infoByCode(sn, nullptr).mmc.split(',').contains(mmc));
    }

    void mobileCountryCodesCoverTheList()
    {
        CountryLibDb db { QString() };
        db.openCheck();
        Sqlite3Cursor c = db.queryThrow("select count(*) from mmc_sn");
        QVERIFY(c.moveNext());
        QVERIFY(c.getInt(0) >= 235);
        // Only territories that share another country's code are left without one.
        c = db.queryThrow("select count(*) from countries where mmc='999'");
        QVERIFY(c.moveNext());
        QVERIFY(c.getInt(0) <= 18);
        // Every country's codes point back to it, unless another country claimed the code first.
        c = db.queryThrow("select count(*) from mmc_sn m join countries c on c.sn=m.sn "
                          "where ','||c.mmc||',' not like '%,'||m.mmc||',%'");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt(0), 0);
    }

    void existingFileIsKept()
    {
        const QString target = g_dataSaveDir().absoluteFilePath("countries.db");
        QFile::remove(target);
        {
            CountryLibDb db { QString() };
            db.openCheck();
        }
        QVERIFY(MsgFixtures::execSql(target, "update countries set n='Changed' where sn='IN'"));
        CountryLibDb db("405");
        QCOMPARE(db.defCountryInfo().n, QString("Changed"));
    }

    // A copy a power loss or a failing disk spoilt is made again, not used, so messages never stay blocked.
    void spoiltCopyIsMadeAgain_data()
    {
        // bytes of the whole copy kept; -1: whole, then sql; -2: a pipe; -3, -4: whole, with a pipe or
        // an empty folder at its journal's name
        QTest::addColumn<int>("keep");
        QTest::addColumn<QString>("sql");
        QTest::newRow("empty") << 0 << QString();
        QTest::newRow("cut short") << 40000 << QString();
        QTest::newRow("header only") << 100 << QString();
        QTest::newRow("a table gone") << -1 << "drop table mmc_sn";
        QTest::newRow("rows gone") << -1 << "delete from countries";
        QTest::newRow("a pipe in its place") << -2 << QString();
        QTest::newRow("a pipe at its journal's name") << -3 << QString();
        QTest::newRow("a folder at its journal's name") << -4 << QString();
    }

    void spoiltCopyIsMadeAgain()
    {
        QFETCH(int, keep);
        QFETCH(QString, sql);
        const QString target = g_dataSaveDir().absoluteFilePath("countries.db");
        QFile::remove(target);
        CountryLibDb { QString() }.openCheck();
        if (keep == -2)
            QVERIFY(QFile::remove(target) && ::mkfifo(QFile::encodeName(target).constData(), 0600) == 0);
        else if (keep == -3)
            QVERIFY(::mkfifo(QFile::encodeName(target + "-journal").constData(), 0600) == 0);
        else if (keep == -4)
            QVERIFY(QDir().mkdir(target + "-journal"));
        else if (keep >= 0)
            QVERIFY(QFile::resize(target, keep));
        else
            QVERIFY(MsgFixtures::execSql(target, sql));
        CountryLibDb db("405");
        QCOMPARE(db.defCountryInfo().sn, QString("IN"));
        QCOMPARE(db.infoByCode("US", nullptr).pnum, QString("1"));
    }

    // Programs starting together with a new data folder: each opens the database, made once, and
    // no temporary of it is left.
    void madeOnceWhenManyStartTogether()
    {
        const QDir data = g_dataSaveDir();
        const QString target = data.absoluteFilePath("countries.db");
        constexpr int kStarters = 4;
        for (int round = 0; round < 20; ++round) {
            QVERIFY(!QFile::exists(target) || QFile::remove(target));
            std::atomic<int> ready { 0 };
            std::mutex mutex;
            QStringList failures;
            std::vector<std::thread> starters;
            for (int i = 0; i < kStarters; ++i)
                starters.emplace_back([&] {
                    for (++ready; ready < kStarters;)
                        std::this_thread::yield(); // all start at the same moment
                    try {
                        CountryLibDb db { QString() };
                        if (db.infoByCode("IN", nullptr).sn != "IN")
                            throw std::runtime_error("IN not found");
                    } catch (const std::exception& e) {
                        const std::lock_guard<std::mutex> lock(mutex);
                        failures << QString::fromUtf8(e.what());
                    }
                });
            for (std::thread& t : starters)
                t.join();
            QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
        }
        QCOMPARE(
            data.entryList({ "countries.db*" }, QDir::Files | QDir::Hidden), QStringList { "countries.db" });
        QCOMPARE(QFileInfo(target).permissions() & (QFile::ReadOwner | QFile::WriteOwner),
            QFile::ReadOwner | QFile::WriteOwner);
    }
};

QTEST_GUILESS_MAIN(TestCountryLibDb)
#include "TestCountryLibDb.moc"
