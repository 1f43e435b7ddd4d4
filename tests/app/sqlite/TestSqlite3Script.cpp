#include "app/sqlite/Sqlite3DB.h"
#include "app/sqlite/Sqlite3Script.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QtTest>

class TestSqlite3Script : public QObject
{
    Q_OBJECT

    static int tables(Sqlite3DB& db)
    {
        Sqlite3Cursor c = db.queryThrow("select count(*) from sqlite_master where type='table'");
        return c.moveNext() ? c.getInt(0) : -1;
    }

private Q_SLOTS:
    // A script runs whole or not at all; inside a caller's transaction it is the caller's to end.
    void scriptRunsWholeOrNotAtAll_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("callerTransaction");
        QTest::addColumn<int>("rc");
        QTest::addColumn<int>("tablesAfter");
        QTest::newRow("good") << "create table a(x); create table b(y); insert into a values(1);" << false
                              << SQLITE_OK << 2;
        QTest::newRow("fails halfway")
            << "create table a(x); create table a(y); create table c(z);" << false << SQLITE_ERROR << 0;
        QTest::newRow("good, caller's transaction") << "create table a(x);" << true << SQLITE_OK << 1;
        QTest::newRow("empty") << "" << false << SQLITE_OK << 0;
    }
    void scriptRunsWholeOrNotAtAll()
    {
        QFETCH(QString, script);
        QFETCH(bool, callerTransaction);
        QFETCH(int, rc);
        QFETCH(int, tablesAfter);
        Sqlite3DB db;
        db.openThrow(QDir(TestEnv::tempDir()).absoluteFilePath("s.db"), 6);
        if (callerTransaction)
            db.beginTran();
        QString err;
        QCOMPARE(sqlite3ExecScript(db, script, err), rc);
        QCOMPARE(err.isEmpty(), rc == SQLITE_OK);
        if (callerTransaction) {
            QVERIFY(!sqlite3_get_autocommit(db.handle)); // still the caller's transaction
            db.commitTran();
        }
        QVERIFY(sqlite3_get_autocommit(db.handle)); // nothing left open
        QCOMPARE(tables(db), tablesAfter);
    }
};

QTEST_GUILESS_MAIN(TestSqlite3Script)
#include "TestSqlite3Script.moc"
