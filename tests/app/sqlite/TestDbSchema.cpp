#include "app/sqlite/DbSchema.h"
#include "app/sqlite/Sqlite3DB.h"
#include "support/TestEnv.h"

#include <QtTest>

// The schema description: the tables asked for and their columns found without regard to case, no
// other table read, and an unloaded or reloaded description holding nothing stale.
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
        QTest::newRow("table not asked for") << "ODD NAME"
                                             << "mixed col" << false;
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
        const bool asked = QTest::currentDataTag() != QLatin1String("table not asked for");
        schema.loadDbThrow(db, { asked ? table : QString("ZCALLRECORD") });
        QCOMPARE(schema.containsCol(table, column), found);
        QVERIFY(schema.tables.size() <= 1);
    }

    void reloadsFresh()
    {
        Sqlite3DB db;
        db.openThrow(m_path, SQLITE_OPEN_READWRITE);
        DbSchema schema;
        schema.loadDbThrow(db, { "ZCALLRECORD", "odd name" });
        QCOMPARE(schema.tables.size(), 2);
        Sqlite3DB other;
        other.openThrow(TestEnv::tempDir() + "/t.db", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        other.executeThrow("create table t (a)");
        schema.loadDbThrow(other, { "ZCALLRECORD", "t" });
        QVERIFY(!schema.containsCol("ZCALLRECORD", "ZDATE"));
        QVERIFY(schema.containsCol("T", "A"));
    }

    // A failed load leaves nothing of the earlier description.
    void failedLoadThrowsAndForgets()
    {
        Sqlite3DB db;
        db.openThrow(m_path, SQLITE_OPEN_READWRITE);
        DbSchema schema;
        schema.loadDbThrow(db, { "ZCALLRECORD" });
        db.close();
        QVERIFY_THROWS_EXCEPTION(std::exception, schema.loadDbThrow(db, { "ZCALLRECORD" }));
        QVERIFY(schema.tables.isEmpty());
        QVERIFY(!schema.containsCol("ZCALLRECORD", "ZDATE"));
    }
};

QTEST_GUILESS_MAIN(TestDbSchema)
#include "TestDbSchema.moc"
