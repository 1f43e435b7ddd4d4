#include "calls_calendars/LocalCallHistoryDb.h"
#include "support/TestEnv.h"

#include <QtTest>

namespace
{

_CallHistory call(qint64 ms, const QString& address, CallHistoryFlag flags)
{
    _CallHistory c;
    c.date = QDateTime::fromMSecsSinceEpoch(ms);
    c.address = address;
    c.flags = flags;
    c.duration = 3;
    return c;
}

} // namespace

class TestLocalCallHistoryDb : public QObject
{
    Q_OBJECT
private slots:
    void createdWithAllColumns()
    {
        LocalCallHistoryDb db(TestEnv::tempDir() + "/calls.db");
        QCOMPARE(db.total(), 0);
        QCOMPARE(db.db.tbCols("call").size(), 20);
        QVERIFY(db.db.tbCols("call").last().name == "unique_id");
        db.close();
        db.open(); // a second open adds nothing
        QCOMPARE(db.db.tbCols("call").size(), 20);
    }

    void oldFileUpgraded()
    {
        const QString path = TestEnv::tempDir() + "/calls.db";
        {
            Sqlite3DB raw;
            raw.openThrow(path, 6);
            raw.executeThrow(
                "CREATE TABLE call (_id INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, "
                "duration INTEGER, flags INTEGER, person TEXT, hash TEXT);"
                "insert into call(address,date,duration,flags) values('1',10,2,7)");
        }
        LocalCallHistoryDb db(path);
        const QList<_CallHistory> calls = db.callHistories();
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].answered, 1);
        QCOMPARE(calls[0].call_type, 1);
        QCOMPARE(calls[0].availability, 0);
        QCOMPARE(calls[0].flags, CallFlagNone); // 7 is no kind
    }

    void insertWithoutDuplicates()
    {
        LocalCallHistoryDb db(TestEnv::tempDir() + "/calls.db");
        const _CallHistory a = call(-1900, "+1 555", CallFlagOutgoing);
        _CallHistory b = a;
        b.duration = 99;
        b.person = "Pat";
        db.beginEdit();
        const qint64 id = db.insertCallHistory(a);
        QCOMPARE(db.insertCallHistory(b), id);
        db.endEdit(true);
        const QList<_CallHistory> calls = db.callHistories();
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].date.toMSecsSinceEpoch(), -1000); // truncated toward zero
        QCOMPARE(calls[0].flags, CallFlagOutgoing);
        db.deleteCallHistory(12345); // no such row: nothing happens
        db.deleteCallHistory(id);
        QCOMPARE(db.total(), 0);
    }

    void deleteFileThenReuse()
    {
        LocalCallHistoryDb db(TestEnv::tempDir() + "/calls.db");
        db.insertCallHistory(call(5000, "1", CallFlagIncoming));
        db.deleteDbFile();
        QVERIFY(!QFile::exists(db.path));
        QCOMPARE(db.callHistories().size(), 0);
        db.deleteDbFile();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.deleteDbFile()); // no file to remove
    }
};

QTEST_GUILESS_MAIN(TestLocalCallHistoryDb)
#include "TestLocalCallHistoryDb.moc"
