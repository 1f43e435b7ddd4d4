#include "app/IdsTranslator.h"
#include "calls_calendars/CallHistoryExport.h"
#include "calls_calendars/IOS5CallsDbCore.h"
#include "calls_calendars/IOS8CallsDbCore.h"
#include "calls_calendars/IOSCallHistoryDb.h"
#include "calls_calendars/LocalCallHistoryDb.h"
#include "calls_calendars/support/CallsFixtures.h"
#include "contacts/store/IOSContactsDb.h"
#include "contacts/support/ContactFixtures.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

using namespace CallsFixtures;

namespace
{

qint64 scalar(const QString& path, const QString& sql)
{
    Sqlite3DB db;
    db.openThrow(path, 2);
    Sqlite3Cursor c = db.queryThrow(sql);
    return c.moveNext() ? c.getInt64(0) : -1;
}

_CallHistory call(qint64 secs, const QString& address, CallHistoryFlag flags)
{
    _CallHistory c;
    c.date = QDateTime::fromSecsSinceEpoch(secs);
    c.address = address;
    c.flags = flags;
    c.duration = 42;
    return c;
}

} // namespace

class TestIOSCallHistoryDb : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;
private slots:
    void initTestCase()
    {
        QVERIFY(m_english.load(":/en.qm"));
        QCoreApplication::installTranslator(&m_english);
    }

    void numberSuffix_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("eleven digits") << "+1 (571) 308-3236"
                                       << "713083236";
        QTest::newRow("seven digits") << "555-0101"
                                      << "5550101";
        QTest::newRow("star code") << "*31#"
                                   << "31";
        QTest::newRow("e-mail") << "pat@example.com"
                                << "pat@example.com";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("punctuation") << "()- +"
                                     << "";
    }
    void numberSuffix()
    {
        QFETCH(QString, text);
        QFETCH(QString, suffix);
        QCOMPARE(message_numberSuffix(text), suffix);
    }

    void tracyCalls()
    {
        QM_REQUIRE_SHARED();
        IOSCallHistoryDb db { QDir(tracyCache()) };
        const QList<_CallHistory> calls = db.callHistories();
        QCOMPARE(calls.size(), 5);
        QCOMPARE(db.total(), 5);
        QCOMPARE(db.dbFileName(), QString(IOSCallHistoryDb::kOldDbFile));
        int in = 0;
        int out = 0;
        for (const _CallHistory& c : calls) {
            in += c.flags == CallFlagIncoming;
            out += c.flags == CallFlagOutgoing;
            const bool pat = c.address.endsWith("5713083236");
            QCOMPARE(c.person, pat ? QString("Pat") : QString());
            QVERIFY(c.network_code.isEmpty()); // a column the file lacks reads empty
        }
        QCOMPARE(in, 4);
        QCOMPARE(out, 1);
        for (int i = 1; i < calls.size(); ++i)
            QVERIFY(calls[i - 1].date >= calls[i].date);
    }

    void withheldNumberTakesNoName()
    {
        QM_REQUIRE_SHARED();
        const QString cache = tracyCache();
        {
            Sqlite3DB raw;
            raw.openThrow(cache + "/" + IOSCallHistoryDb::kOldDbFile, 2);
            raw.executeThrow("insert into call(address,date,duration,flags,id) values('',1341587999,1,4,-1)");
        }
        IOSCallHistoryDb db { QDir(cache) };
        const QList<_CallHistory> calls = db.callHistories();
        QCOMPARE(calls.size(), 6);
        QCOMPARE(calls.first().address, QString());
        QCOMPARE(calls.first().person, QString());
        QCOMPARE(db.contactIdByNumber("", -7), -7);
        QCOMPARE(db.contactIdByNumber("571-308-3236", -1), 5);
    }

    void otapkiHasNoCalls()
    {
        QM_REQUIRE_SHARED();
        const QString path
            = TestEnv::realFixture("otapki-iphone/WirelessDomain/Library/CallHistory/call_history.db");
        IOSCallHistoryDb db { QDir(cacheWith({ { IOSCallHistoryDb::kOldDbFile, path } })) };
        QCOMPARE(db.callHistories().size(), 0);
        QCOMPARE(db.total(), 0);
    }

    void generatedStore()
    {
        const QString store = makeCallDb({ "--calls", "9" });
        QVERIFY(!store.isEmpty());
        const QString old = makeCallDb({ "--kind", "old" });
        IOSCallHistoryDb db { QDir(
            cacheWith({ { IOSCallHistoryDb::kStoreFile, store }, { IOSCallHistoryDb::kOldDbFile, old } })) };
        const QList<_CallHistory> calls = db.callHistories();
        QCOMPARE(db.dbFileName(), QString(IOSCallHistoryDb::kStoreFile)); // the newer one wins
        QCOMPARE(calls.size(), 9);
        QCOMPARE(calls[0].flags, CallFlagIncoming);
        QCOMPARE(calls[1].flags, CallFlagOutgoing);
        QCOMPARE(calls[2].flags, CallFlagUnanswered);
        QCOMPARE(calls[0].address, QString());
        QCOMPARE(calls[0].cn, QString("us"));
        QVERIFY(!calls[1].unique_id.isEmpty());
    }

    void missingDatabase_data()
    {
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<QString>("message");
        QTest::newRow("plain") << false << "This data is only available when backup encryption is enabled.";
        QTest::newRow("encrypted") << true << "This backup holds no call history database.";
    }
    void missingDatabase()
    {
        QFETCH(bool, encrypted);
        QFETCH(QString, message);
        IOSCallHistoryDb db(QDir(TestEnv::tempDir()), encrypted);
        for (int i = 0; i < 2; ++i) {
            try {
                db.total();
                QFAIL("no error");
            } catch (const std::runtime_error& e) {
                QCOMPARE(QString::fromUtf8(e.what()), message);
            }
        }
        db.cancelSave(); // nothing to roll back, and no crash
    }

    void damagedDatabaseKeepsItsError()
    {
        const QString cache = TestEnv::tempDir();
        QFile f(cache + "/" + IOSCallHistoryDb::kOldDbFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        IOSCallHistoryDb db { QDir(cache) };
        QString first;
        try {
            db.callHistories();
        } catch (const std::runtime_error& e) {
            first = QString::fromUtf8(e.what());
        }
        QVERIFY(!first.isEmpty());
        for (int i = 0; i < 2; ++i) { // never used through a closed connection
            try {
                db.total();
                QFAIL("no error");
            } catch (const std::runtime_error& e) {
                QCOMPARE(QString::fromUtf8(e.what()), first);
            }
        }
    }

    void oldCoreFlags_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("answeredColumn");
        QTest::addColumn<QList<int>>("kinds"); // raw 0, 4, 5, 6, 8, 9, 3
        QTest::newRow("old") << 7 << false << QList<int> { 0, 4, 5, 0, 8, 0, 0 };
        QTest::newRow("12") << 12 << false << QList<int> { 4, 8, 8, 8, 8, 5, 8 };
        QTest::newRow("answered") << 12 << true << QList<int> { 4, 0, 0, 0, 0, 5, 0 };
    }
    void oldCoreFlags()
    {
        QFETCH(int, version);
        QFETCH(bool, answeredColumn);
        QFETCH(QList<int>, kinds);
        const QString path = makeCallDb({ "--kind", "old", "--client-version", QString::number(version) });
        if (answeredColumn) {
            Sqlite3DB raw;
            raw.openThrow(path, 2);
            raw.executeThrow("alter table call add column answered INTEGER");
        }
        IOS5CallsDbCore core;
        core.openCheck(path);
        const int raws[7] = { 0, 4, 5, 6, 8, 9, 3 };
        for (int i = 0; i < 7; ++i)
            QCOMPARE(int(core.callFlag(raws[i], 1)), kinds[i]);
        int answered = -1;
        QCOMPARE(core.callRawFlag(CallFlagOutgoing, answered), version >= 12 ? 9 : 5);
        QCOMPARE(answered, answeredColumn ? 1 : -1);
    }

    void saveIntoOldDatabase()
    {
        QM_REQUIRE_SHARED();
        const QString cache = tracyCache();
        IOSCallHistoryDb db { QDir(cache) };
        _CallHistory far = call(4102444800LL, "+15713083236", CallFlagOutgoing); // 2100: past 2038
        far.network_code = "260"; // the file has no such column: left out, no error
        db.beginSave();
        const qint64 id = db.saveCall(far);
        QCOMPARE(db.saveCall(far), id); // the 64-bit date finds its own row
        QCOMPARE(db.saveCall(call(1339531490, "6508870260", CallFlagIncoming)), 1); // already there
        db.endSaveCommit();
        db.close();
        const QString file = cache + "/" + IOSCallHistoryDb::kOldDbFile;
        QCOMPARE(scalar(file, "select count(*) from call"), 6);
        QCOMPARE(scalar(file, "select date from call where rowid=" + QString::number(id)), 4102444800LL);
        QCOMPARE(scalar(file, "select id from call where rowid=" + QString::number(id)), 5); // Pat
        QCOMPARE(scalar(file, "select flags from call where rowid=" + QString::number(id)), 5);
    }

    void unreadableAddressBook_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("no multi-values") << "DROP TABLE ABMultiValue";
        QTest::newRow("no people") << "DROP TABLE ABPerson";
        QTest::newRow("not a database") << "";
    }
    void unreadableAddressBook()
    {
        // Reading and saving calls both go on without names.
        QFETCH(QString, damage);
        const QString old = makeCallDb({ "--kind", "old" });
        const QString book = ContactFixtures::generate({ "--edge" }) + "/" + IOSContactsDb::kAddressBookName;
        QVERIFY(!old.isEmpty() && QFile::exists(book));
        const QString cache = cacheWith(
            { { IOSCallHistoryDb::kOldDbFile, old }, { IOSCallHistoryDb::kAddressBookFile, book } });
        const QString copy = cache + "/" + IOSCallHistoryDb::kAddressBookFile;
        if (damage.isEmpty()) {
            QFile f(copy);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray(4096, 'x'));
        } else {
            Sqlite3DB raw;
            raw.openThrow(copy, 2);
            raw.executeThrow(damage);
        }
        IOSCallHistoryDb db { QDir(cache) };
        const QList<_CallHistory> calls = db.callHistories();
        QVERIFY(!calls.isEmpty());
        for (const _CallHistory& c : calls)
            QCOMPARE(c.person, QString());
        db.beginSave();
        const qint64 id = db.saveCall(call(4102444800LL, "+15550100", CallFlagOutgoing));
        db.endSaveCommit();
        db.close();
        const QString file = cache + "/" + IOSCallHistoryDb::kOldDbFile;
        QCOMPARE(scalar(file, "select count(*) from call"), qint64(calls.size() + 1));
        QCOMPARE(scalar(file, "select id from call where rowid=" + QString::number(id)), -1);
    }

    void saveIntoStore()
    {
        const QString store = makeCallDb({ "--calls", "4", "--z-max-extra", "10" });
        const QString cache = cacheWith({ { IOSCallHistoryDb::kStoreFile, store } });
        IOSCallHistoryDb db { QDir(cache) };
        QList<_CallHistory> existing = db.callHistories();
        db.beginSave();
        QCOMPARE(db.saveCall(existing[1]), 2); // found by its unique id (rows are newest first)
        _CallHistory fresh = call(1500000000, "+4930123", CallFlagIncoming);
        fresh.cn = "de";
        const qint64 id = db.saveCall(fresh);
        db.endSaveCommit();
        db.close();
        const QString file = cache + "/" + IOSCallHistoryDb::kStoreFile;
        QCOMPARE(id, 15); // above the counter, so no key the store handed out is used again
        QCOMPARE(scalar(file, "select Z_MAX from Z_PRIMARYKEY where Z_NAME='CallRecord'"), 15);
        QCOMPARE(scalar(file, "select count(*) from ZCALLRECORD"), 5);
        QCOMPARE(scalar(file, "select ZANSWERED*10+ZORIGINATED from ZCALLRECORD where Z_PK=15"), 10);
        QCOMPARE(scalar(file, "select ZDATE from ZCALLRECORD where Z_PK=15"), 1500000000LL - 978307200);
        QCOMPARE(scalar(file, "select Z_ENT from ZCALLRECORD where Z_PK=15"), 2);
    }

    void emptyStoreKeepsCounter()
    {
        const QString store = makeCallDb({ "--calls", "0", "--z-max-extra", "3" });
        IOS8CallsDbCore core;
        core.openCheck(store);
        core.beginTran();
        core.endSaveThrow();
        core.commitTran();
        core.close();
        QCOMPARE(scalar(store, "select Z_MAX from Z_PRIMARYKEY where Z_NAME='CallRecord'"), 3);
    }

    void storeWithoutEntityWritesNothing()
    {
        const QString store = makeCallDb({ "--calls", "2", "--entity-name", "Other" });
        IOSCallHistoryDb db { QDir(cacheWith({ { IOSCallHistoryDb::kStoreFile, store } })) };
        QCOMPARE(db.callHistories().size(), 2); // reading needs no entity
        db.beginSave();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.saveCall(call(1500000000, "1", CallFlagIncoming)));
        db.cancelSave();
        QCOMPARE(db.total(), 2);
    }

    void uniqueIdIsStable()
    {
        const _CallHistory c = call(1000000000, "abc", CallFlagOutgoing);
        const QString id = IOS8CallsDbCore::uniqueIdFor(c);
        QCOMPARE(id.size(), 36);
        QCOMPARE(id, IOS8CallsDbCore::uniqueIdFor(c));
        QVERIFY(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
                    .match(id)
                    .hasMatch());
    }

    void outOfRangeNumbersAreNoValue_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("updates");
        QTest::newRow("older database")
            << "old" << IOSCallHistoryDb::kOldDbFile
            << QStringList { "update call set date=9223372036854775807, duration=1e12",
                   "update call set date=-9223372036854775808, duration=-5 where ROWID=2",
                   "update call set date='abc', duration='x' where ROWID=3" };
        QTest::newRow("call store") << "storedata" << IOSCallHistoryDb::kStoreFile
                                    << QStringList { "update ZCALLRECORD set ZDATE=1e300, ZDURATION=1e12",
                                           "update ZCALLRECORD set ZDATE=-1e300, ZDURATION=-1 where Z_PK=2",
                                           "update ZCALLRECORD set ZDATE=9223372036854775807 where Z_PK=3" };
    }
    void outOfRangeNumbersAreNoValue()
    {
        QFETCH(QString, kind);
        QFETCH(QString, file);
        QFETCH(QStringList, updates);
        const QString path = makeCallDb({ "--kind", kind, "--calls", "3" });
        {
            Sqlite3DB raw;
            raw.openThrow(path, 2);
            for (const QString& sql : updates)
                raw.executeThrow(sql);
        }
        IOSCallHistoryDb db { QDir(cacheWith({ { file, path } })) };
        const QList<_CallHistory> calls = db.callHistories();
        QCOMPARE(calls.size(), 3);
        for (const _CallHistory& c : calls) {
            QVERIFY2(!c.date.isValid(), qPrintable(c.date.toString(Qt::ISODate)));
            QVERIFY(!c.duration);
            // Shown and exported as absent, never as a wrapped number or 1970.
            QCOMPARE(CallHistoryExport::line(c, true).section(',', 3), QString(",\n"));
        }
        // Saved into the device's file twice, the second time each finds the row the first made.
        const auto saveAll = [&] {
            db.beginSave();
            for (const _CallHistory& c : calls)
                db.saveCall(c);
            db.endSaveCommit();
            return db.callHistories().size();
        };
        const qsizetype once = saveAll();
        QCOMPARE(saveAll(), once);
        // Merged as absent too: the local store keeps NULL and reads it back as no value.
        LocalCallHistoryDb local(TestEnv::tempDir() + "/calls.db");
        local.open();
        for (const _CallHistory& c : calls)
            local.insertCallHistory(c);
        QCOMPARE(
            scalar(local.db.dbPath(), "select count(*) from call where date is null and duration is null"),
            3);
        for (const _CallHistory& c : local.callHistories()) {
            QVERIFY(!c.date.isValid());
            QVERIFY(!c.duration);
        }
    }
};

QTEST_GUILESS_MAIN(TestIOSCallHistoryDb)
#include "TestIOSCallHistoryDb.moc"
