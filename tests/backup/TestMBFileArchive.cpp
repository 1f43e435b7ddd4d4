#include "app/sqlite/Sqlite3DB.h"
#include "backup/MBFileArchive.h"
#include "device/PlistCFType.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

class TestMBFileArchive : public QObject
{
    Q_OBJECT

    static QList<QByteArray> realBlobs(const QString& fixture)
    {
        Sqlite3DB db;
        db.openReadOnlyThrow(TestEnv::realFixture(fixture), true);
        Sqlite3Cursor c = db.queryThrow("select file from Files");
        QList<QByteArray> blobs;
        while (c.moveNext())
            blobs.append(c.getBlob(0));
        return blobs;
    }

    // decodeForTree must read what a tree shows exactly as decode does, and nothing else.
    static void compareTreeRead(const QByteArray& blob, bool wantStrings)
    {
        MBFileArchive::Fields full, tree;
        const bool fullRead = MBFileArchive::decode(blob, full, false, wantStrings);
        tree.inode = tree.flags = 99; // left from an earlier record: must be cleared
        QCOMPARE(MBFileArchive::decodeForTree(blob.constData(), blob.size(), tree, wantStrings), fullRead);
        if (!fullRead)
            return;
        QCOMPARE(tree.size, full.size);
        QCOMPARE(tree.lastModified, full.lastModified);
        QCOMPARE(tree.mode, full.mode);
        QCOMPARE(tree.hasMode, full.hasMode);
        QCOMPARE(tree.protectionClass, full.protectionClass);
        QCOMPARE(tree.relativePath, full.relativePath);
        QCOMPARE(tree.target, full.target);
        const qint64 unread[]
            = { tree.lastStatusChange, tree.birth, tree.inode, tree.userId, tree.groupId, tree.flags };
        for (qint64 v : unread)
            QCOMPARE(v, qint64(0));
        QVERIFY(tree.encryptionKey.isEmpty());
    }

private Q_SLOTS:
    // The fast path reads every real record exactly as the general keyed-archive reader does.
    void agreesWithGeneralReaderOnRealRecords()
    {
        QM_REQUIRE_SHARED();
        const QList<QByteArray> blobs = realBlobs("mvt/ios_backup/Manifest.db")
            + realBlobs("pyiosbackup/backup_ios10_3_Manifest.decrypted.db");
        QCOMPARE(blobs.size(), 3722);
        int links = 0, keys = 0;
        for (const QByteArray& blob : blobs) {
            MBFileArchive::Fields f;
            QVERIFY(MBFileArchive::decode(blob, f, true, true));
            const PlistCFType archive = PlistCFType::createCFPropertyList(blob); // the entries below view it
            const QHash<QString, PlistCFType> ref = archive.NSKeyedArchiver();
            QCOMPARE(f.size, ref.value("Size").CFNumberInt64(0));
            QCOMPARE(f.mode, ref.value("Mode").CFNumberInt64(0));
            QCOMPARE(f.lastModified, ref.value("LastModified").CFNumberInt64(0));
            QCOMPARE(f.protectionClass, ref.value("ProtectionClass").CFNumberInt64(0));
            QCOMPARE(f.inode, ref.value("InodeNumber").CFNumberInt64(0));
            QCOMPARE(QString::fromUtf8(f.relativePath), ref.value("RelativePath").toString());
            if (ref.contains("Target")) {
                ++links;
                QCOMPARE(QString::fromUtf8(f.target), ref.value("Target").toString());
            }
            if (ref.contains("EncryptionKey")) {
                ++keys;
                QCOMPARE(f.encryptionKey.size(), 44);
            }
        }
        QCOMPARE(links, 14);
        QCOMPARE(keys, 1090); // even the plain backup stores wrapped keys for its files
    }

    // Damaged archives are refused (or read partially) without reading outside the bytes.
    void survivesTruncatedAndMutatedBytes()
    {
        QM_REQUIRE_SHARED();
        const QList<QByteArray> blobs = realBlobs("mvt/ios_backup/Manifest.db").mid(0, 200);
        QRandomGenerator rng(42);
        for (const QByteArray& blob : blobs) {
            MBFileArchive::Fields f;
            for (int cut = 0; cut < blob.size(); cut += 7)
                MBFileArchive::decode(blob.left(cut), f, true, true);
            for (int i = 0; i < 20; ++i) {
                QByteArray bad = blob;
                bad[rng.bounded(int(bad.size()))] = char(rng.bounded(256));
                MBFileArchive::decode(bad, f, true, true);
            }
        }
        MBFileArchive::Fields f;
        QVERIFY(!MBFileArchive::decode(QByteArray("bplist00"), f, false, false));
        QVERIFY(!MBFileArchive::decode(nullptr, 0, f, false, false));
        QVERIFY(!MBFileArchive::decode(QByteArray(), f, false, false));
        QVERIFY(!MBFileArchive::decode(QByteArray(100, '\xff'), f, false, false));
    }

    void hostileRecords_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QByteArray>("target");
        // A link target whose UTF-16 length, doubled, wraps to 2: refused, not written past.
        QTest::newRow("utf-16 target length wraps")
            << "crash-utf16-target-length" << qint64(0) << QByteArray();
        QTest::newRow("utf-16 path length huge") << "utf16-path-length" << qint64(0) << QByteArray();
        QTest::newRow("size a NaN real") << "real-size-nan" << qint64(0) << QByteArray();
        QTest::newRow("size a 1e300 real") << "real-size-huge" << qint64(0) << QByteArray();
        QTest::newRow("link") << "link" << qint64(4096) << QByteArray("Ünïcode/target");
    }

    // Hand-made records of the fuzz corpus: unreadable fields stay unset, the rest is read.
    void hostileRecords()
    {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        QFETCH(QByteArray, target);
        QFile file(QString(QM_SOURCE_DIR) + "/tests/fuzz/corpus/manifest_record/" + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        MBFileArchive::Fields f;
        QVERIFY(MBFileArchive::decode(file.readAll(), f, true, true));
        QCOMPARE(f.size, size);
        QCOMPARE(f.target, target);
        QVERIFY(f.relativePath.isEmpty() || f.relativePath == "Library/SMS/sms.db" || name == "link");
    }

    void treeReadMatchesFullRead_data()
    {
        QTest::addColumn<QList<QByteArray>>("blobs");
        MBFileArchive::Fields f;
        f.size = 5'000'000'000;
        f.lastModified = 1'700'000'000;
        f.lastStatusChange = 7;
        f.birth = 8;
        f.inode = 9;
        f.userId = 501;
        f.groupId = 20;
        f.flags = 3;
        f.mode = 0100644;
        f.protectionClass = 4;
        f.relativePath = "Média/DCIM/100APPLE/IMG_0001.JPG";
        f.encryptionKey = QByteArray(44, 'k');
        const QByteArray made = MBFileArchive::encode(f);
        f.mode = 0;
        f.relativePath.clear();
        f.encryptionKey.clear();
        const QByteArray noMode = MBFileArchive::encode(f);
        QList<QByteArray> damaged;
        for (int cut = 0; cut < made.size(); cut += 5)
            damaged.append(made.left(cut));
        QRandomGenerator rng(7);
        for (int i = 0; i < 400; ++i) {
            QByteArray bad = made;
            bad[rng.bounded(int(bad.size()))] = char(rng.bounded(256));
            damaged.append(bad);
        }
        QList<QByteArray> corpus;
        QDir dir(QString(QM_SOURCE_DIR) + "/tests/fuzz/corpus/manifest_record");
        for (const QString& name : dir.entryList(QDir::Files)) {
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                corpus.append(file.readAll());
        }
        QTest::newRow("every field set") << QList<QByteArray> { made };
        QTest::newRow("mode zero, no path") << QList<QByteArray> { noMode };
        QTest::newRow("truncated and mutated") << damaged;
        QTest::newRow("hand-made hostile records") << corpus;
        QTest::newRow("not archives")
            << QList<QByteArray> { QByteArray(), QByteArray("bplist00"), QByteArray(100, '\xff') };
    }

    void treeReadMatchesFullRead()
    {
        QFETCH(QList<QByteArray>, blobs);
        QVERIFY(!blobs.isEmpty());
        for (const QByteArray& blob : blobs)
            for (bool wantStrings : { false, true }) {
                compareTreeRead(blob, wantStrings);
                if (QTest::currentTestFailed())
                    return;
            }
    }

    // The same on every real record, whose key order and shared objects come from devices.
    void treeReadMatchesFullReadOnRealRecords()
    {
        QM_REQUIRE_SHARED();
        const QList<QByteArray> blobs = realBlobs("mvt/ios_backup/Manifest.db");
        QVERIFY(!blobs.isEmpty());
        for (const QByteArray& blob : blobs)
            for (bool wantStrings : { false, true }) {
                compareTreeRead(blob, wantStrings);
                if (QTest::currentTestFailed())
                    return;
            }
    }
};

QTEST_GUILESS_MAIN(TestMBFileArchive)
#include "TestMBFileArchive.moc"
