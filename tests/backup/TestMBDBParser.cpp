#include "backup/MBDBParser.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <stdexcept>

class TestMBDBParser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readsRealRecord()
    {
        QM_REQUIRE_SHARED();
        const auto items
            = MBDBParser::parseFileThrow(TestEnv::realFixture("pyiosbackup/backup_ios9_mbdb/Manifest.mbdb"));
        QCOMPARE(items.size(), 1);
        const auto& it = items[0];
        QCOMPARE(it.domain, QString("MyTestDomain"));
        QCOMPARE(it.relativePath(), QString("Media/Test.txt"));
        QCOMPARE(it.mode, quint16(0100755));
        QCOMPARE(it.uid(), 501u);
        QCOMPARE(it.mtime, 1628082463u);
        QCOMPARE(it.atime(), 1628082509u);
        QCOMPARE(it.ctime(), 1627974948u);
        QCOMPARE(it.size, qint64(9));
        QCOMPARE(it.protectionClass, quint8(4));
        QCOMPARE(it.encryptionKey().size(), 44);
        QVERIFY(it.isFile() && !it.isFolder());
        QCOMPARE(it.backupFileName(), QString("5727bd1c5fa1055e15d8b4a75a74793c84b5ffdc"));
        // Serialising the parsed record gives the file back byte for byte.
        QFile f(TestEnv::realFixture("pyiosbackup/backup_ios9_mbdb/Manifest.mbdb"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(MBDBParser::serialize(items).toHex(), f.readAll().toHex());
    }

    void roundTripsNullsPropertiesAndUnicode()
    {
        MBDBParser::_MBDBItem a;
        a.domain = "HomeDomain";
        a.pathUtf8 = QString("Library/Notizen/Übersicht.db").toUtf8();
        a.mode = 0100644;
        a.size = 1234567890123;
        a.mtime = 0xFFFFFFFF;
        auto& x = a.mutableExtra();
        x.dataHash = QByteArray(20, 'h');
        x.properties = { { "com.apple.xattr", QByteArray("\0\1", 2) } };
        MBDBParser::_MBDBItem b;
        b.domain = "MediaDomain";
        b.pathNull = true;
        b.mode = 040755;
        // A size past the largest file (2^64 - 1) reads as unknown, and is written back as it stood.
        MBDBParser::_MBDBItem unsized = a;
        unsized.size = -1;
        const QByteArray list = MBDBParser::serialize({ a, b, unsized, b });
        const auto back = MBDBParser::parseThrow(list, "t");
        QCOMPARE(back.size(), 4);
        QCOMPARE(back[2].size, qint64(-1));
        QCOMPARE(MBDBParser::serialize(back).toHex(), list.toHex());
        QCOMPARE(back[0].relativePath(), a.relativePath());
        QCOMPARE(back[0].size, a.size);
        QCOMPARE(back[0].mtime, a.mtime);
        QCOMPARE(back[0].extra->dataHash, x.dataHash);
        QCOMPARE(back[0].extra->properties.size(), 1);
        QCOMPARE(back[0].extra->properties[0].second, QByteArray("\0\1", 2));
        QVERIFY(back[1].pathNull && back[1].isFolder() && back[1].extra->present == 0);
        QCOMPARE(back[1].backupFileName(), MBDBParser::backupFileName("MediaDomain", ""));
    }

    void namesFileOnDamage()
    {
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, MBDBParser::parseThrow("garbage garbage", "x"));
        QVERIFY_THROWS_EXCEPTION(
            std::runtime_error, MBDBParser::parseThrow(QByteArray("mbdb\x04\x00", 6), "x"));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, MBDBParser::parseThrow(QByteArray("mbdb\x05", 5), "x"));
        QCOMPARE(MBDBParser::parseThrow(QByteArray("mbdb\x05\x00", 6), "x").size(), 0);
    }

    // What follows the last whole record is damage: a list that must be whole (a write's) is refused
    // naming the file; a load is given the records before it and told where, and nothing after it
    // is read, however large the file is made (sparse, it costs nothing to send).
    void damageEndsTheRecords_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<qint64>("padTo"); // the file's size with zeros after list; 0 to leave it
        QTest::addColumn<int>("whole"); // the records before the damage
        QTest::addColumn<QString>("says");
        MBDBParser::_MBDBItem a;
        a.domain = "HomeDomain";
        a.pathUtf8 = "Library/x";
        MBDBParser::_MBDBItem unnamed, huge = a;
        unnamed.pathNull = true;
        huge.size = -1; // stored as 2^64 - 1
        const QByteArray one = MBDBParser::serialize({ a }), two = MBDBParser::serialize({ a, a });
        const QString cut = "the file ends inside a record at byte %1.";
        const QString nameless = "a record has neither a domain nor a path at byte %1.";
        for (int at : { 7, 20, int(one.size()) - 1 })
            QTest::addRow("cut at byte %d", at) << one.left(at) << qint64(0) << 0 << cut.arg(6);
        QTest::newRow("cut in the second record")
            << two.left(two.size() - 1) << qint64(0) << 1 << cut.arg(one.size());
        QTest::newRow("zeros after the records") << two << two.size() + 500 << 2 << nameless.arg(two.size());
        QTest::newRow("zeros to 4 GB, sparse") << two << (qint64(4) << 30) << 2 << nameless.arg(two.size());
        QTest::newRow("a record without names")
            << MBDBParser::serialize({ a, unnamed, a }) << qint64(0) << 1 << nameless.arg(one.size());
        // A size no file can have is that record's alone: the records after it are read on.
        QTest::newRow("zeros after a record of no possible size") << MBDBParser::serialize(
            { a, huge, a }) << qint64(3 * one.size() + 500) << 3 << nameless.arg(3 * one.size() - 6 * 2);
    }
    void damageEndsTheRecords()
    {
        QFETCH(QByteArray, list);
        QFETCH(qint64, padTo);
        QFETCH(int, whole);
        QFETCH(QString, says);
        const QString path = TestEnv::tempDir() + "/Manifest.mbdb";
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(list) == list.size()
            && (!padTo || file.resize(padTo)));
        file.close();
        for (bool strict : { true, false }) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QString damaged;
            try {
                const auto items = MBDBParser::readThrow(file, path, strict ? nullptr : &damaged);
                QVERIFY2(!strict, "a damaged list taken for whole");
                QCOMPARE(items.size(), whole);
                QCOMPARE(damaged,
                    path + " is damaged: " + says + " The backup is read with "
                        + (whole == 1 ? QString("the record") : QString("the %1 records").arg(whole))
                              .replace("the 0 records", "no record")
                        + " before it; the rest of the file is left out.");
            } catch (const std::runtime_error& e) {
                QVERIFY2(strict, e.what());
                QCOMPARE(QString(e.what()), path + " is damaged: " + says);
            }
            QVERIFY(file.pos() <= 2 << 20); // read no further than a block past the damage
            file.close();
        }
        if (!padTo)
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, MBDBParser::parseThrow(list, path));
    }

    // The head of a list read for a sample: the records that lie whole in it, the one cut off left
    // out; nothing from bytes that are no list.
    void headGivesItsWholeRecords()
    {
        QList<MBDBParser::_MBDBItem> items;
        for (const char* path : { "Library/a", "Library/b", "Library/c" }) {
            MBDBParser::_MBDBItem it;
            it.domain = "HomeDomain";
            it.pathUtf8 = path;
            it.mutableExtra().encryptionKey = QByteArray(44, 'k');
            items.append(it);
        }
        const QByteArray list = MBDBParser::serialize(items);
        const QByteArray two = MBDBParser::serialize(items.mid(0, 2));
        QCOMPARE(MBDBParser::parseHead(list).size(), 3);
        for (qsizetype cut : { two.size(), two.size() + 1, list.size() - 1 }) {
            const QList<MBDBParser::_MBDBItem> head = MBDBParser::parseHead(list.left(cut));
            QCOMPARE(head.size(), 2);
            QCOMPARE(head[1].pathUtf8, QByteArray("Library/b"));
            QCOMPARE(head[1].encryptionKey(), QByteArray(44, 'k'));
        }
        QCOMPARE(MBDBParser::parseHead(list.left(5)).size(), 0);
        QCOMPARE(MBDBParser::parseHead("garbage garbage").size(), 0);
    }

    void bkFilePathFollowsLayout()
    {
        QTemporaryDir d;
        const QString name = "ab12cd";
        QCOMPARE(MBDBParser::getBKFilePath(QDir(d.path()), name, false), d.path() + "/ab12cd");
        QFile(d.filePath("Manifest.db")).open(QIODevice::WriteOnly);
        QCOMPARE(MBDBParser::getBKFilePath(QDir(d.path()), name, false), d.path() + "/ab/ab12cd");
        QVERIFY(!QDir(d.filePath("ab")).exists());
        MBDBParser::getBKFilePath(QDir(d.path()), name, true);
        QVERIFY(QDir(d.filePath("ab")).exists());
        QFile(d.filePath("Manifest.mbdb")).open(QIODevice::WriteOnly);
        QCOMPARE(MBDBParser::getBKFilePath(QDir(d.path()), name, false), d.path() + "/ab12cd");
    }
};

QTEST_GUILESS_MAIN(TestMBDBParser)
#include "TestMBDBParser.moc"
