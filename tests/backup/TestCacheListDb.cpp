#include "backup/BkCacheDb.h"
#include "backup/CacheListDb.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

class TestCacheListDb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void savesOncePerUidAndRemoves()
    {
        const QString path = TestEnv::tempDir() + "/sub/cache_list.db";
        {
            CacheListDb list(path);
            QVERIFY(list.cacheList().isEmpty()); // created on first use
            list.save("0123456789abcdef0123456789abcdef", "/backups/one");
            list.save("0123456789abcdef0123456789abcdef", "/backups/elsewhere"); // same uid: kept as it was
            list.save("ffffffffffffffffffffffffffffffff", "/backups/two");
        }
        CacheListDb again(path);
        const auto items = again.cacheList();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0].uid, QString("0123456789abcdef0123456789abcdef"));
        QCOMPARE(items[0].path, QString("/backups/one"));
        again.remove("ffffffffffffffffffffffffffffffff");
        QCOMPARE(again.cacheList().size(), 1);
    }

    void swallowsFailures()
    {
        const QString path = TestEnv::tempDir() + "/broken.db";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        CacheListDb list(path);
        QVERIFY(list.cacheList().isEmpty());
        list.save("a", "b");
        list.remove("a");
    }

    void cacheFolderAndFileTimes()
    {
        QCOMPARE(BkCacheDb::cacheDir().dirName(), QString("itunes_cache"));
        BkCacheDb db(TestEnv::tempDir() + "/manifest2.db");
        QCOMPARE(db.fileTime("abc"), qint64(-1));
        db.setFileTimeThrow("abc", 1600000000);
        db.setFileTimeThrow("abc", 1600000001);
        QCOMPARE(db.fileTime("abc"), qint64(1600000001));
    }
};

QTEST_GUILESS_MAIN(TestCacheListDb)
#include "TestCacheListDb.moc"
