#include "app/sqlite/BlockReadVfs.h"
#include "app/sqlite/Sqlite3DB.h"
#include "support/TestEnv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QtTest>
#include <sqlite3.h>

class TestBlockReadVfs : public QObject
{
    Q_OBJECT

    // A database of rows whose values range from empty to many pages (overflow chains).
    static QString makeDb(const QString& name, int pageSize, int rows, bool wal)
    {
        const QString path = QDir(TestEnv::tempDir()).absoluteFilePath(name);
        QFile::remove(path);
        Sqlite3DB db;
        db.openThrow(path, 6);
        db.executeThrow(QString("pragma page_size = %1").arg(pageSize));
        if (wal)
            db.executeThrow("pragma journal_mode = wal");
        db.executeThrow("create table t(id integer primary key, v blob, w text)");
        db.executeThrow("begin");
        for (int i = 0; i < rows; ++i)
            db.executeThrow(
                QString("insert into t values(%1, randomblob(%2), 'row %1')").arg(i).arg(i * 7919 % 150000));
        db.executeThrow("commit");
        db.close();
        return path;
    }

    struct Scan {
        QByteArray digest;
        QString error;
        int cacheMisses = 0;
    };

    static Scan scan(Sqlite3DB& db)
    {
        Scan s;
        sqlite3_stmt* stmt = nullptr;
        QCryptographicHash hash(QCryptographicHash::Sha1);
        int rc = sqlite3_prepare_v2(db.handle, "select id, v, w from t order by id", -1, &stmt, nullptr);
        while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            for (int c = 0; c < 3; ++c)
                hash.addData(QByteArrayView(
                    static_cast<const char*>(sqlite3_column_blob(stmt, c)), sqlite3_column_bytes(stmt, c)));
            rc = SQLITE_OK;
        }
        if (rc != SQLITE_DONE)
            s.error = QString::fromUtf8(sqlite3_errmsg(db.handle));
        sqlite3_finalize(stmt);
        int highwater = 0;
        sqlite3_db_status(db.handle, SQLITE_DBSTATUS_CACHE_MISS, &s.cacheMisses, &highwater, 0);
        s.digest = hash.result();
        return s;
    }

    static void openBoth(const QString& path, Sqlite3DB& own, Sqlite3DB& blocks)
    {
        const int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
        own.openThrow(Sqlite3DB::immutableUri(path), flags);
        QVERIFY(BlockReadVfs::name());
        blocks.openThrow(Sqlite3DB::immutableUri(path), flags, BlockReadVfs::name());
        blocks.executeThrow("pragma mmap_size = 1073741824");
    }

private Q_SLOTS:
    void readsAsSqliteOwnLayer_data()
    {
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("wal");
        QTest::newRow("small pages, many blocks") << 512 << 300 << false;
        QTest::newRow("usual pages") << 4096 << 400 << false;
        QTest::newRow("pages as large as a block") << 65536 << 100 << false;
        QTest::newRow("whole file in one block") << 4096 << 3 << false;
        QTest::newRow("write-ahead log database") << 4096 << 200 << true;
    }

    // Every value is read as SQLite's own layer reads it, and the pages come from the blocks.
    void readsAsSqliteOwnLayer()
    {
        QFETCH(int, pageSize);
        QFETCH(int, rows);
        QFETCH(bool, wal);
        const QString path = makeDb(QString("scan-%1-%2.db").arg(pageSize).arg(rows), pageSize, rows, wal);
        const qint64 pages = QFileInfo(path).size() / pageSize;
        Sqlite3DB own, blocks;
        openBoth(path, own, blocks);
        if (QTest::currentTestFailed())
            return;
        const Scan expected = scan(own), got = scan(blocks);
        QVERIFY2(expected.error.isEmpty(), qPrintable(expected.error));
        QVERIFY2(got.error.isEmpty(), qPrintable(got.error));
        QCOMPARE(got.digest, expected.digest);
        QVERIFY2(got.cacheMisses <= 2 || got.cacheMisses < pages / 10,
            qPrintable(QString("%1 of %2 pages read into the cache").arg(got.cacheMisses).arg(pages)));
    }

    // A file cut short after opening (a drive pulled, a copy overwritten): the same error as
    // SQLite's own layer gives, never a crash or a silently shorter table.
    void fileCutShortFailsAsSqliteOwnLayer()
    {
        const QString path = makeDb("cut.db", 4096, 400, false);
        Sqlite3DB own, blocks;
        openBoth(path, own, blocks);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(QFile::resize(path, QFileInfo(path).size() / 2 + 1000));
        const Scan expected = scan(own), got = scan(blocks);
        QVERIFY(!expected.error.isEmpty());
        QCOMPARE(got.error, expected.error);
    }
};

QTEST_GUILESS_MAIN(TestBlockReadVfs)
#include "TestBlockReadVfs.moc"
