#include "app/sqlite/DbSchema.h"
#include "app/sqlite/Sqlite3DB.h"
#include "support/TestEnv.h"

#include <QtTest>

// The schema description: tables and columns found without regard to case, indexes kept, and an
// unloaded or reloaded description holding nothing stale.
class TestDbSchema : public QObject
{
    Q_OBJECT
    QString m_path;

private Q_SLOTS:
    void initTestCase()
    {
        m_path = TestEnv::tempDir() + "/s.db";
        Sqlite3DB db;
        db.openThrow(m_path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        db.executeThrow(
            "create table ZCALLRECORD (Z_PK integer primary key, ZDATE timestamp, ZLOCATION varchar)");
        db.executeThrow("create table \"odd name\" (\"Mixed Col\" text)");
        db.executeThrow("create index ZCALL_DATE on ZCALLRECORD (ZDATE)");
        db.executeThrow("create view v as select Z_PK from ZCALLRECORD");
    }

    void containsCol_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<bool>("found");
        QTest::newRow("exact") << "ZCALLRECORD"
                               << "ZLOCATION" << true;
        QTest::newRow("lower case") << "zcallrecord"
                                    << "zdate" << true;
        QTest::newRow("mixed case") << "ZCallRecord"
                                    << "Z_pk" << true;
        QTest::newRow("missing column") << "ZCALLRECORD"
                                        << "ZSERVICE_PROVIDER" << false;
        QTest::newRow("missing table") << "ZHANDLE"
                                       << "Z_PK" << false;
        QTest::newRow("quoted names") << "ODD NAME"
                                      << "mixed col" << true;
        QTest::newRow("views are not tables") << "v"
                                              << "Z_PK" << false;
        QTest::newRow("index is not a table") << "ZCALL_DATE"
                                              << "ZDATE" << false;
        QTest::newRow("empty") << ""
                               << "" << false;
    }
    void containsCol()
    {
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(bool, found);
        Sqlite3DB db;
        db.openThrow(m_path, SQLITE_OPEN_READWRITE);
        DbSchema schema;
        QVERIFY(!schema.containsCol(table, column)); // nothing before loading
        schema.loadDbThrow(db);
        QCOMPARE(schema.containsCol(table, column), found);
    }

    void keepsIndexesAndReloadsFresh()
    {
        Sqlite3DB db;
        db.openThrow(m_path, SQLITE_OPEN_READWRITE);
        DbSchema schema;
        schema.loadDbThrow(db);
        QVERIFY(schema.indexes.value("zcall_date").contains("ZCALLRECORD (ZDATE)"));
        QCOMPARE(schema.tables.size(), 2);
        Sqlite3DB other;
        other.openThrow(TestEnv::tempDir() + "/t.db", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        other.executeThrow("create table t (a)");
        schema.loadDbThrow(other);
        QVERIFY(!schema.containsCol("ZCALLRECORD", "ZDATE"));
        QVERIFY(schema.containsCol("T", "A"));
        QVERIFY(schema.indexes.isEmpty());
    }

    // A failed load leaves nothing of the earlier description.
    void failedLoadThrowsAndForgets()
    {
        Sqlite3DB db;
        db.openThrow(m_path, SQLITE_OPEN_READWRITE);
        DbSchema schema;
        schema.loadDbThrow(db);
        db.close();
        QVERIFY_THROWS_EXCEPTION(std::exception, schema.loadDbThrow(db));
        QVERIFY(schema.tables.isEmpty());
        QVERIFY(!schema.containsCol("ZCALLRECORD", "ZDATE"));
    }
};

QTEST_GUILESS_MAIN(TestDbSchema)
#include "TestDbSchema.moc"
