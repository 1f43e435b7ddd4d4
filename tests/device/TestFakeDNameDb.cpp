#include "device/FakeDNameDb.h"
#include "support/TestEnv.h"

#include <QtTest>

class TestFakeDNameDb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void recordsAndListsFiles()
    {
        const QString path = TestEnv::tempDir() + "/dname.sqlite";
        const QDateTime t1 = QDateTime::fromSecsSinceEpoch(1600000000);
        const QDateTime t2 = QDateTime::fromSecsSinceEpoch(1600000100);
        const QString idA = "ab" + QString(38, 'a');
        const QString idB = "ab" + QString(38, 'b');
        const QString idC = "cd" + QString(38, 'c');
        {
            FakeDNameDb db;
            QString err;
            QVERIFY(db.open(path, &err));
            QVERIFY(db.open(path, &err)); // already open
            db.insert("Manifest.plist", "HomeDomain-Manifest", true, t1);
            db.insert(idA, "MediaDomain-a", false, t1);
            db.insert(idB, "MediaDomain-b", true, t2);
            db.insert(idC, "AppDomain-c", false, t1);
            db.update(idA, t1, 4096);
            QCOMPARE(db.getDName(idB), QStringLiteral("MediaDomain-b"));
            QCOMPARE(db.getDName("unknown"), QString());
            db.update("unknown", t1, 5);
            db.remove("unknown");

            const auto top = db.items(QString());
            QCOMPARE(top.size(), 3);
            QCOMPARE(top[0].name, QStringLiteral("ab"));
            QCOMPARE(top[0].kind, 2);
            QCOMPARE(top[0].modified, t2);
            QCOMPARE(top[1].name, QStringLiteral("cd"));
            QCOMPARE(top[2].name, QStringLiteral("Manifest.plist"));
            QCOMPARE(top[2].kind, 1);

            const auto ab = db.items("ab");
            QCOMPARE(ab.size(), 2);
            QCOMPARE(ab[0].size, 4096);

            // A second insert of a name replaces its row, size 0 again.
            db.insert(idA, "MediaDomain-a2", true, t2);
            QCOMPARE(db.items("ab")[0].size, 0);
            QCOMPARE(db.insertCount, 5);
        }
        // The destructor committed everything.
        FakeDNameDb again;
        QVERIFY(again.open(path, nullptr));
        QCOMPARE(again.getDName(idA), QStringLiteral("MediaDomain-a2"));
        QCOMPARE(FakeDNameDb::folderOf("Manifest.plist"), QString());
    }

    void commitsEveryTenThousandInserts()
    {
        const QString path = TestEnv::tempDir() + "/dname.sqlite";
        FakeDNameDb db;
        QVERIFY(db.open(path, nullptr));
        for (int i = 0; i < 10000; ++i)
            db.insert(QString::number(i), "d", false, QDateTime::currentDateTime());
        // Visible to another connection without the destructor's commit.
        Sqlite3DB reader;
        reader.openThrow(path, 1);
        Sqlite3Cursor cursor = reader.queryThrow("select count(*) from dname");
        QVERIFY(cursor.moveNext());
        QCOMPARE(cursor.getInt(0), 10000);
    }

    void openFailureGivesTheMessage()
    {
        FakeDNameDb db;
        QString err;
        QVERIFY(!db.open(TestEnv::tempDir() + "/no/such/folder/dname.sqlite", &err));
        QVERIFY(!err.isEmpty());
        QVERIFY(db.items(QString()).isEmpty());
        QCOMPARE(db.getDName("x"), QString());
    }
};

QTEST_GUILESS_MAIN(TestFakeDNameDb)
#include "TestFakeDNameDb.moc"
