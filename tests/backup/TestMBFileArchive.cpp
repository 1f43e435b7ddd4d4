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

    // compareTreeRead over blobs, with and without the strings; stops at the first failure.
    static void compareTreeReads(const QList<QByteArray>& blobs)
    {
        for (const QByteArray& blob : blobs)
            for (bool wantStrings : { false, true }) {
                compareTreeRead(blob, wantStrings);
                if (QTest::currentTestFailed())
                    return;
            }
    }

    // A record with every field set; renamed swaps the first letter of an unread key for 'X', which
    // gives an archive of another layout.
    static QByteArray madeRecord(
        qint64 size, const QByteArray& path, bool key = false, const char* renamed = nullptr)
    {
        MBFileArchive::Fields f;
        f.size = size;
        f.lastModified = 1'700'000'000 + size;
        f.mode = size % 3 == 0 ? 040755 : 0100644;
        f.protectionClass = size % 5;
        f.inode = size * 7;
        f.relativePath = path;
        if (key)
            f.encryptionKey = QByteArray(44, 'k');
        QByteArray blob = MBFileArchive::encode(f);
        if (renamed) {
            const qsizetype at = blob.indexOf(renamed);
            if (at >= 0)
                blob[at] = 'X';
        }
        return blob;
    }

    static QList<QByteArray> fuzzCorpus()
    {
        QList<QByteArray> corpus;
        QDir dir(QString(QM_SOURCE_DIR) + "/tests/fuzz/corpus/manifest_record");
        for (const QString& name : dir.entryList(QDir::Files)) {
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                corpus.append(file.readAll());
        }
        return corpus;
    }

    // A decoder that keeps layouts must read each record as decodeForTree does, whatever came
    // before it. Returns how many records it read through a kept layout.
    static qint64 compareLayoutReads(const QList<QByteArray>& blobs)
    {
        MBFileArchive::TreeDecoder decoder;
        for (const QByteArray& blob : blobs)
            for (bool wantStrings : { false, true }) {
                MBFileArchive::Fields exact, kept;
                kept.size = kept.mode = 99; // left from the record before
                const bool read
                    = MBFileArchive::decodeForTree(blob.constData(), blob.size(), exact, wantStrings);
                [&] {
                    QCOMPARE(decoder.decode(blob.constData(), blob.size(), kept, wantStrings), read);
                    if (!read)
                        return;
                    QCOMPARE(kept.size, exact.size);
                    QCOMPARE(kept.lastModified, exact.lastModified);
                    QCOMPARE(kept.mode, exact.mode);
                    QCOMPARE(kept.hasMode, exact.hasMode);
                    QCOMPARE(kept.protectionClass, exact.protectionClass);
                    QCOMPARE(kept.target, exact.target);
                    QCOMPARE(kept.inode, qint64(0));
                }();
                if (QTest::currentTestFailed())
                    return -1;
            }
        return decoder.shortcuts();
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
        const QList<QByteArray> corpus = fuzzCorpus();
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
        compareTreeReads(blobs);
    }

    // The same on every real record, whose key order and shared objects come from devices.
    void treeReadMatchesFullReadOnRealRecords()
    {
        QM_REQUIRE_SHARED();
        const QList<QByteArray> blobs = realBlobs("mvt/ios_backup/Manifest.db");
        QVERIFY(!blobs.isEmpty());
        compareTreeReads(blobs);
    }

    void layoutReadMatchesFullWalk_data()
    {
        QTest::addColumn<QList<QByteArray>>("blobs");
        QTest::addColumn<int>("minShortcuts");
        const QByteArray base = madeRecord(4096, "Library/SMS/sms.db");
        QList<QByteArray> numbers, layouts, bytes, cuts, hostile;
        // Values of every width move the objects after them: the layout must follow them.
        for (qint64 size : { 0LL, 1LL, 255LL, 256LL, 70'000LL, 5'000'000'000LL, -1LL })
            for (const QByteArray& path : { QByteArray(), QByteArray("a"), QByteArray(300, 'p') })
                numbers << madeRecord(size, path);
        // More layouts than are kept, in turn.
        for (int round = 0; round < 3; ++round)
            for (const char* renamed : { "Birth", "Flags", "GroupID", "UserID", "InodeNumber", "$version" })
                layouts << madeRecord(round, "x/y", round == 1, renamed);
        // Every byte changed in turn, right after the intact record taught its layout.
        for (int i = 0; i < base.size(); ++i)
            for (char flip : { '\x01', '\x80' }) {
                QByteArray bad = base;
                bad[i] = char(bad[i] ^ flip);
                bytes << base << bad;
            }
        for (int cut = 0; cut < base.size(); ++cut)
            cuts << base << base.left(cut);
        for (const QByteArray& blob : fuzzCorpus())
            hostile << base << blob;
        QTest::newRow("one layout, numbers of every width") << numbers << 15;
        QTest::newRow("six layouts in turn") << layouts << 0;
        QTest::newRow("each byte changed after the layout") << bytes << int(base.size());
        QTest::newRow("each cut after the layout") << cuts << int(base.size()) - 1;
        QTest::newRow("hostile records after the layout") << hostile << 1;
    }

    void layoutReadMatchesFullWalk()
    {
        QFETCH(QList<QByteArray>, blobs);
        QFETCH(int, minShortcuts);
        const qint64 shortcuts = compareLayoutReads(blobs);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(shortcuts >= minShortcuts, qPrintable(QString::number(shortcuts)));
    }

    // Real records in manifest order: nearly all go through a kept layout, each read exactly.
    void layoutReadMatchesFullWalkOnRealRecords()
    {
        QM_REQUIRE_SHARED();
        const QList<QByteArray> blobs = realBlobs("mvt/ios_backup/Manifest.db")
            + realBlobs("pyiosbackup/backup_ios10_3_Manifest.decrypted.db");
        const qint64 shortcuts = compareLayoutReads(blobs);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(shortcuts > blobs.size() * 9 / 10, qPrintable(QString::number(shortcuts)));
    }
};

QTEST_GUILESS_MAIN(TestMBFileArchive)
#include "TestMBFileArchive.moc"
