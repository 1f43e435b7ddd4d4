#include "messages/store/SqliteDeletedRowWalk.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>
#include <sqlite3.h>

namespace
{

bool exec(const QString& path, const QString& sql)
{
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open(path.toUtf8().constData(), &db) == SQLITE_OK
        && sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// The value SQLite reads for one column of one row, as the carver would hold it.
QVariant sqliteValue(const QString& path, const QString& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_stmt* st = nullptr;
    QVariant v;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK
        && sqlite3_step(st) == SQLITE_ROW) {
        switch (sqlite3_column_type(st, 0)) {
        case SQLITE_INTEGER:
            v = qint64(sqlite3_column_int64(st, 0));
            break;
        case SQLITE_FLOAT:
            v = sqlite3_column_double(st, 0);
            break;
        case SQLITE_TEXT:
            v = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            break;
        case SQLITE_BLOB:
            v = QByteArray(static_cast<const char*>(sqlite3_column_blob(st, 0)), sqlite3_column_bytes(st, 0));
            break;
        default:
            break;
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return v;
}

void zeroRoot(const QString& path, const QString& table)
{
    const qint64 root
        = sqliteValue(path, QString("select rootpage from sqlite_master where name='%1'").arg(table))
              .toLongLong();
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    f.seek((root - 1) * 4096);
    f.write(QByteArray(4096, '\0'));
}

} // namespace

class TestSqliteDeletedRowWalk : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A column added after a row was written reads, for that row, as SQLite reads it.
    void defaultsReadAsSqliteReadsThem_data()
    {
        QTest::addColumn<QString>("declared");
        for (const char* d :
            { "INTEGER DEFAULT 0", "INTEGER DEFAULT '7'", "INTEGER DEFAULT 'abc'", "INTEGER DEFAULT (-3)",
                "TEXT DEFAULT 5", "TEXT DEFAULT 'abc'", "TEXT DEFAULT NULL", "TEXT", "REAL DEFAULT 1",
                "REAL DEFAULT '2'", "NUMERIC DEFAULT '1.5'", "BLOB DEFAULT x'0102'", "DEFAULT 4" })
            QTest::newRow(d) << QString(d);
    }
    void defaultsReadAsSqliteReadsThem()
    {
        QFETCH(QString, declared);
        const QString path = TestEnv::tempDir() + "/t.db";
        QVERIFY(exec(path,
            "CREATE TABLE t(id INTEGER PRIMARY KEY, a TEXT); INSERT INTO t VALUES (1, 'x');"
            "ALTER TABLE t ADD COLUMN n "
                + declared));
        const QVariant read = sqliteValue(path, "select n from t");
        SqliteDeletedRowWalk walk(path, nullptr);
        walk.open();
        const QList<QVariant> defaults = walk.tableDefaults("t");
        QCOMPARE(defaults.size(), 3);
        QVERIFY(!defaults.at(0).isValid() && !defaults.at(1).isValid());
        QCOMPARE(defaults.at(2).typeId(), read.typeId());
        QCOMPARE(defaults.at(2), read);
    }

    // Where a table's root page is lost, its leaves are found by a scan of the file's pages: those
    // of no other table, index or free list; each live row once.
    void orphanLeavesOfALostRoot_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("zeroed");
        QTest::addColumn<bool>("found");
        QTest::newRow("sound table") << 600 << false << false;
        QTest::newRow("root of many leaves zeroed") << 600 << true << true;
        QTest::newRow("a root that was the only leaf zeroed") << 3 << true << false;
    }
    void orphanLeavesOfALostRoot()
    {
        QFETCH(int, rows);
        QFETCH(bool, zeroed);
        QFETCH(bool, found);
        const QString path = TestEnv::tempDir() + "/t.db";
        QVERIFY(exec(path,
            QString("PRAGMA page_size=4096; PRAGMA secure_delete=OFF;"
                    "CREATE TABLE t(id INTEGER PRIMARY KEY, a TEXT UNIQUE, b INTEGER);"
                    "CREATE TABLE u(id INTEGER PRIMARY KEY, a TEXT);"
                    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
                    " INSERT INTO t SELECT i, printf('row %d %.60c', i, 'x'), i FROM n;"
                    "INSERT INTO u SELECT id, a FROM t;"
                    "DELETE FROM t WHERE id % 5 = 0; DELETE FROM u WHERE id % 7 = 0;")
                .arg(rows)));
        if (zeroed)
            zeroRoot(path, "t");
        SqliteDeletedRowWalk walk(path, nullptr);
        walk.open();
        walk.listFreePages([](const _SqliteFileRowData&) {});
        QCOMPARE(walk.tableRootLost("t"), zeroed);
        QVERIFY(!walk.tableRootLost("u"));
        QVERIFY(!walk.tableRootLost("none"));
        if (!zeroed)
            return;
        QSet<qint64> ids;
        const bool listed = walk.listOrphanTableLeaves("t", [&](const _SqliteFileRowData& row) {
            QCOMPARE(row.values.size(), 3);
            QVERIFY(row.values.at(1).toString().startsWith(QString("row %1 ").arg(row.rowid)));
            QVERIFY(!ids.contains(row.rowid));
            ids.insert(row.rowid);
        });
        QCOMPARE(listed, found);
        QCOMPARE(ids.size(), found ? rows - rows / 5 : 0);
    }
};

QTEST_GUILESS_MAIN(TestSqliteDeletedRowWalk)
#include "TestSqliteDeletedRowWalk.moc"
