#include "calls_calendars/LocalCallHistoryDb.h"
#include "support/TestEnv.h"

#include <QFile>
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

// Every stored row in id order, all columns, plus the store's index definitions.
QStringList storeDump(LocalCallHistoryDb& db)
{
    QStringList out;
    db.open();
    Sqlite3Cursor c = db.db.queryThrow("select * from call order by _id");
    while (c.moveNext()) {
        QStringList cells;
        for (int i = 0; i < 20; ++i)
            cells << (c.isNull(i) ? QStringLiteral("NULL") : c.getText(i));
        out << cells.join('|');
    }
    Sqlite3Cursor ix
        = db.db.queryThrow("select name, sql from sqlite_master where type='index' order by name");
    while (ix.moveNext())
        out << ix.getText(0) + ':' + ix.getText(1);
    return out;
}

qint64 cacheSize(LocalCallHistoryDb& db)
{
    db.open();
    Sqlite3Cursor c = db.db.queryThrow("pragma cache_size");
    return c.moveNext() ? c.getInt64(0) : 0;
}

QList<_CallHistory> callsOf(const QString& keys)
{
    // One letter a call; the same letter the same hash, with other details that must not be saved.
    QList<_CallHistory> list;
    int n = 0;
    for (const QChar key : keys) {
        _CallHistory c = call(1000 * (1000 - key.unicode()), "+1 555 " + QString(key), CallFlagIncoming);
        c.duration = ++n;
        c.name = key == 'c' ? QString() : "Name " + QString(key);
        c.face_time_data = key == 'b' ? QByteArray("\0ft", 3) : QByteArray();
        list << c;
    }
    return list;
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
        // An empty file, as a making that a kill or a full disk stopped leaves, is made a store.
        const QString empty = TestEnv::tempDir() + "/empty.db";
        QVERIFY(QFile(empty).open(QIODevice::WriteOnly));
        LocalCallHistoryDb made(empty);
        QCOMPARE(made.total(), 0);
        QCOMPARE(made.db.tbCols("call").size(), 20);
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

    // Saving a list at once stores what saving its calls one by one stores.
    void insertManyAsOneByOne_data()
    {
        QTest::addColumn<QString>("stored"); // calls in the store before
        QTest::addColumn<QString>("saved");
        QTest::addColumn<bool>("inEdit");
        QTest::newRow("empty store, no duplicates") << ""
                                                    << "abcde" << true;
        QTest::newRow("empty store, duplicates in the list") << ""
                                                             << "abacbba" << true;
        QTest::newRow("calls already stored") << "cx"
                                              << "abcacx" << true;
        QTest::newRow("outside an edit") << ""
                                         << "abab" << false;
        QTest::newRow("nothing to save") << "a"
                                         << "" << true;
    }
    void insertManyAsOneByOne()
    {
        QFETCH(QString, stored);
        QFETCH(QString, saved);
        QFETCH(bool, inEdit);
        LocalCallHistoryDb bulk(TestEnv::tempDir() + "/bulk.db");
        LocalCallHistoryDb single(TestEnv::tempDir() + "/single.db");
        for (LocalCallHistoryDb* db : { &bulk, &single })
            for (const _CallHistory& c : callsOf(stored))
                db->insertCallHistory(c);
        const QList<_CallHistory> list = callsOf(saved);
        const qint64 cache = cacheSize(bulk);
        if (inEdit)
            bulk.beginEdit();
        QList<qsizetype> seen;
        bulk.insertCallHistories(list, [&](qsizetype i) { seen << i; });
        if (inEdit)
            bulk.endEdit(true);
        QCOMPARE(cacheSize(bulk), cache);
        for (const _CallHistory& c : list)
            single.insertCallHistory(c);
        QCOMPARE(seen.size(), list.size());
        QCOMPARE(storeDump(bulk), storeDump(single));
    }

    // A save stopped halfway and rolled back leaves the store as it was, indexes included.
    void stoppedSaveRolledBack_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("empty store") << "";
        QTest::newRow("calls already stored") << "xy";
    }
    void stoppedSaveRolledBack()
    {
        QFETCH(QString, stored);
        LocalCallHistoryDb db(TestEnv::tempDir() + "/calls.db");
        for (const _CallHistory& c : callsOf(stored))
            db.insertCallHistory(c);
        const QStringList before = storeDump(db);
        const qint64 cache = cacheSize(db);
        db.beginEdit();
        const auto stopAtThird = [](qsizetype i) {
            if (i == 2)
                throw std::runtime_error("stop");
        };
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.insertCallHistories(callsOf("abcd"), stopAtThird));
        db.endEdit(false);
        QCOMPARE(storeDump(db), before);
        QCOMPARE(cacheSize(db), cache); // the save's larger cache is given back
    }

    void deleteFileThenReuse()
    {
        LocalCallHistoryDb db(TestEnv::tempDir() + "/calls.db");
        db.insertCallHistory(call(5000, "1", CallFlagIncoming));
        QFile left(db.path + "-wal"); // a kill's leftover goes with the store
        QVERIFY(left.open(QIODevice::WriteOnly) && left.write("left") == 4);
        left.close();
        db.deleteDbFile();
        QVERIFY(!QFile::exists(db.path) && !QFile::exists(db.path + "-wal"));
        QCOMPARE(db.callHistories().size(), 0);
        db.deleteDbFile();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.deleteDbFile()); // no file to remove
    }
};

QTEST_GUILESS_MAIN(TestLocalCallHistoryDb)
#include "TestLocalCallHistoryDb.moc"
