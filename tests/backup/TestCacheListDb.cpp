#include "backup/BkCacheDb.h"
#include "backup/CacheListDb.h"
#include "support/FailingDisk.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

class TestCacheListDb : public QObject
{
    Q_OBJECT
    static QByteArray fileBytes(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

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

    // A copy whose stored file is not what the phone wrote keeps that mark with its record until a
    // whole copy of the same name replaces it; a folder's marks are read without writing anything.
    void marksOfCopiesNotAsWritten()
    {
        const QDir folder(TestEnv::tempDir() + "/cache");
        QVERIFY(folder.mkpath("."));
        {
            BkCacheDb db(folder.absoluteFilePath("manifest.db"));
            db.setCopiedThrow("aa", 5, "s1", "file-relay/var/mobile/Library/SMS/x.jpg", "cut short");
            db.setCopiedThrow("bb", 5, "s2", "bb");
            QVERIFY(db.isCurrent("aa", 5, "s1"));
            QCOMPARE(db.notAsWritten("aa"), QString("cut short"));
            QCOMPARE(db.notAsWritten("bb"), QString());
        }
        {
            BkCacheDb db(folder.absoluteFilePath("manifest2.db"));
            db.setCopiedThrow("cc", 7, "s3", "cc", "under another key");
        }
        const QHash<QString, QString> marks = BkCacheDb::notAsWrittenIn(folder);
        QCOMPARE(marks.size(), 2);
        QCOMPARE(marks.value(folder.absoluteFilePath("file-relay/var/mobile/Library/SMS/x.jpg")),
            QString("cut short"));
        QCOMPARE(marks.value(folder.absoluteFilePath("cc")), QString("under another key"));
        {
            BkCacheDb db(folder.absoluteFilePath("manifest.db"));
            db.setCopiedThrow("aa", 6, "s4", "file-relay/var/mobile/Library/SMS/x.jpg"); // whole now
            QCOMPARE(db.notAsWritten("aa"), QString());
        }
        QCOMPARE(BkCacheDb::notAsWrittenIn(folder).keys(), QStringList { folder.absoluteFilePath("cc") });

        // A folder without records, one with a record of before marks, and a pipe in place of one:
        // nothing found, nothing made, nothing waited on, and the pipe named as unread.
        const QDir other(TestEnv::tempDir() + "/other");
        QVERIFY(other.mkpath("."));
        QStringList unread;
        QVERIFY(BkCacheDb::notAsWrittenIn(other, &unread).isEmpty());
        QCOMPARE(unread, QStringList());
        QVERIFY(other.entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
        QVERIFY(QProcess::execute("sqlite3",
                    { other.absoluteFilePath("manifest2.db"),
                        "create table file_cache(name TEXT PRIMARY KEY, mtime INTEGER NOT NULL)" })
            == 0);
        QVERIFY(QProcess::execute("mkfifo", { other.absoluteFilePath("manifest.db") }) == 0);
        const QByteArray old = fileBytes(other.absoluteFilePath("manifest2.db"));
        QVERIFY(BkCacheDb::notAsWrittenIn(other, &unread).isEmpty());
        QCOMPARE(fileBytes(other.absoluteFilePath("manifest2.db")), old);
        QCOMPARE(unread, QStringList { other.absoluteFilePath("manifest.db") + " is not a regular file" });
    }

    // A record that cannot be written (a full disk) fails as a whole: the copy is not left
    // current without its mark.
    void aRecordThatCannotBeWrittenLeavesNothingCurrent()
    {
        const QString path = TestEnv::tempDir() + "/full/manifest.db";
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        BkCacheDb db(path);
        db.setCopiedThrow("aa", 5, "s1", "aa");
        {
            const FailingDisk::SizeLimit full(64); // the journal of the next write cannot be written
            QVERIFY_THROWS_EXCEPTION(std::exception, db.setCopiedThrow("aa", 6, "s2", "aa", "cut short"));
        }
        QVERIFY(db.isCurrent("aa", 5, "s1"));
        QVERIFY(!db.isCurrent("aa", 6, "s2"));
        QCOMPARE(db.notAsWritten("aa"), QString());
    }
};

QTEST_GUILESS_MAIN(TestCacheListDb)
#include "TestCacheListDb.moc"
