#include "messages/store/Sqlite3File.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>
#include <QtTest>
#include <sqlite3.h>

namespace
{

void exec(sqlite3* db, const QString& sql)
{
    char* err = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const QString text = QString::fromUtf8(err);
        sqlite3_free(err);
        QFAIL(qPrintable(text));
    }
}

qint64 queryInt(sqlite3* db, const char* sql)
{
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    qint64 v = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
    sqlite3_finalize(st);
    return v;
}

// A database with table t(id INTEGER PRIMARY KEY, a INTEGER, b TEXT, c REAL, d BLOB) of `rows` rows
// whose every 7th row has a text long enough to spill into overflow pages; rows with id % 3 == 0
// are deleted afterwards with secure_delete off, so their records stay in free space.
QString makeDb(int pageSize, int reserved, int rows, bool deleteSome)
{
    const QString path = TestEnv::tempDir() + QString("/p%1-r%2.db").arg(pageSize).arg(reserved);
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    int res = reserved;
    if (reserved)
        sqlite3_file_control(db, "main", SQLITE_FCNTL_RESERVE_BYTES, &res);
    exec(db,
        QString("PRAGMA page_size=%1; PRAGMA secure_delete=OFF; PRAGMA journal_mode=DELETE;").arg(pageSize));
    exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, a INTEGER, b TEXT, c REAL, d BLOB)");
    exec(db, "BEGIN");
    for (int i = 1; i <= rows; ++i) {
        const QString text = (i % 7 == 0) ? QString("long-%1-").arg(i).repeated(pageSize / 8)
                                          : QString("text number %1").arg(i);
        exec(db,
            QString("INSERT INTO t VALUES(%1, %2, '%3', %4, x'0102%5')")
                .arg(i)
                .arg(qint64(i) * 1000003)
                .arg(text)
                .arg(i + 0.5)
                .arg(i % 256, 2, 16, QChar('0')));
    }
    exec(db, "COMMIT");
    if (deleteSome)
        exec(db, "DELETE FROM t WHERE id % 3 = 0");
    sqlite3_close(db);
    return path;
}

QList<_SqliteCol> tableCols()
{
    return { _SqliteCol("id", "INTEGER", false, false, true), _SqliteCol("a", "INTEGER", false, false, false),
        _SqliteCol("b", "TEXT", false, false, false), _SqliteCol("c", "REAL", false, false, false),
        _SqliteCol("d", "BLOB", false, false, false) };
}

qint64 rootPage(const QString& path)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    const qint64 root = queryInt(db, "SELECT rootpage FROM sqlite_master WHERE name='t'");
    sqlite3_close(db);
    return root;
}

// Carves every freelist page and every leaf page of the table, as the recovery does.
QList<_SqliteFileRowData> carveAll(
    const Sqlite3File& f, qint64 root, Sqlite3File::RowFilter filter, const _SqliteCarveShape& shape)
{
    QList<_SqliteFileRowData> rows;
    QSet<qint64> trunks;
    for (quint32 t = f.firstFreeTrunkPage(); t > 0 && !trunks.contains(t); t = f.freeTrunkPage(t).nextTrunk) {
        trunks.insert(t);
        for (qint32 leaf : f.freeTrunkPage(t).leafPages) {
            const _SqliteBtreePage pg = f.btreePage(leaf);
            rows += pg.isBtreePage() ? f.recoverFreeBlockRows(shape, 0, pg, filter)
                                     : f.recoverFreeBlockRowsRaw(shape, 0, leaf, 0, filter);
        }
    }
    for (const _SqliteBtreePage& leaf : f.leafs(f.btreePage(root)))
        rows += f.recoverFreeBlockRows(shape, 0, leaf, filter);
    return rows;
}

QList<_SqliteFileRowData> carveAll(const Sqlite3File& f, qint64 root, Sqlite3File::RowFilter filter)
{
    QList<_SqliteFileRowData> rows;
    QSet<qint64> trunks;
    for (quint32 t = f.firstFreeTrunkPage(); t > 0 && !trunks.contains(t); t = f.freeTrunkPage(t).nextTrunk) {
        trunks.insert(t);
        const _SqliteFreeTrunkPage trunk = f.freeTrunkPage(t);
        for (qint32 leaf : trunk.leafPages) {
            const _SqliteBtreePage pg = f.btreePage(leaf);
            rows += pg.isBtreePage() ? f.recoverFreeBlockRows(tableCols(), 0, pg, filter)
                                     : f.recoverFreeBlockRowsRaw(tableCols(), 0, leaf, 0, filter);
        }
    }
    for (const _SqliteBtreePage& leaf : f.leafs(f.btreePage(root)))
        rows += f.recoverFreeBlockRows(tableCols(), 0, leaf, filter);
    return rows;
}

// Table t as makeDb has it, created with its first three columns: rows 1 to 200 are written at
// that width (with texts long enough for two-byte payload sizes), then c REAL DEFAULT '2.5' and d BLOB
// are added and rows 201 to 300 written whole. Rows with id % 3 == 0 are deleted.
QString makeGrownDb()
{
    const QString path = TestEnv::tempDir() + "/grown.db";
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    exec(db, "PRAGMA page_size=4096; PRAGMA secure_delete=OFF; PRAGMA journal_mode=DELETE;");
    exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, a INTEGER, b TEXT)");
    const QString pad = QString("x").repeated(150);
    exec(db, "BEGIN");
    for (int i = 1; i <= 300; ++i) {
        if (i == 201)
            exec(db, "ALTER TABLE t ADD COLUMN c REAL DEFAULT '2.5'; ALTER TABLE t ADD COLUMN d BLOB");
        exec(db,
            QString(i <= 200 ? "INSERT INTO t VALUES(%1, %2, 'text number %1 %3')"
                             : "INSERT INTO t VALUES(%1, %2, 'text number %1 %3', %1.5, x'01')")
                .arg(i)
                .arg(qint64(i) * 1000003)
                .arg(pad));
    }
    exec(db, "COMMIT");
    exec(db, "DELETE FROM t WHERE id % 3 = 0");
    sqlite3_close(db);
    return path;
}

bool plausible(const _SqliteFileRowData& row)
{
    const QString b = row.values.value(2).toString();
    return row.values.size() == 5 && (b.startsWith("long-") || b.startsWith("text number "));
}

void writeBytes(const QString& path, qint64 at, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    f.seek(at);
    f.write(bytes);
}

} // namespace

class TestSqlite3File : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void varints_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("length");
        QTest::addColumn<qint64>("value");
        QTest::newRow("one byte") << QByteArray("\x05", 1) << 1 << qint64(5);
        QTest::newRow("two bytes") << QByteArray("\x81\x00", 2) << 2 << qint64(128);
        QTest::newRow("nine bytes take all 8 bits") << QByteArray(9, '\xff') << 9 << qint64(-1);
        QTest::newRow("runs into the end") << QByteArray("\x81\x82", 2) << 0 << qint64(77);
        QTest::newRow("empty") << QByteArray() << 0 << qint64(77);
    }
    void varints()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, length);
        QFETCH(qint64, value);
        qint64 out = 77;
        QCOMPARE(sqlitefile_varint(&out, bytes.constData(), bytes.constData() + bytes.size()), length);
        QCOMPARE(out, value);
        if (length > 0 && value >= 0)
            QCOMPARE(sqlitefile_varint_lengh(value), length);
    }

    void boundedReaders()
    {
        const QByteArray b("\x12\x34\x56\x78", 4);
        const char* e = b.constData() + 4;
        QCOMPARE(sqlitefile_int16(b.constData() + 2, e), qint16(0x5678));
        QCOMPARE(sqlitefile_int16(b.constData() + 3, e), qint16(0));
        QCOMPARE(sqlitefile_int32(b.constData(), e), qint32(0x12345678));
        QCOMPARE(sqlitefile_int64(b.constData(), e), qint64(0));
        QCOMPARE(sqlitefile_bytearr(10, b.constData() + 1, e), QByteArray("\x34\x56\x78", 3));
        QCOMPARE(sqlitefile_bytearr(1, e, e), QByteArray());
        QCOMPARE(sqlitefile_varint_lengh(-5), 1);
        QCOMPARE(sqlitefile_varint_lengh(qint64(1) << 56), 9);
    }

    void decodesSerialTypes()
    {
        const QByteArray body("\xff\xff\xfe"
                              "\x40\x09\x21\xfb\x54\x44\x2d\x18"
                              "abc\0z"
                              "xy",
            18);
        const QList<QVariant> v = Sqlite3File::decodeValues(
            { 3, 7, 23, 8, 9, 10, 16 }, body.constData(), body.constData() + body.size());
        QCOMPARE(v.at(0).toInt(), -2);
        QCOMPARE(v.at(1).toDouble(), 3.141592653589793);
        QCOMPARE(v.at(2).toString(), QString("abc"));
        QCOMPARE(v.at(3).toInt(), 0);
        QCOMPARE(v.at(4).toInt(), 1);
        QVERIFY(!v.at(5).isValid());
        QCOMPARE(v.at(6).toByteArray(), QByteArray("xy"));
    }

    void refusesWhatIsNotADatabase_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("tiny") << QByteArray(18, 'x');
        QByteArray odd(1024, '\0');
        odd[16] = char(0x03);
        odd[17] = char(0xe8); // 1000: not a power of two
        QTest::newRow("page size 1000") << odd;
        QByteArray zero(1024, '\0');
        QTest::newRow("page size 0") << zero;
    }
    void refusesWhatIsNotADatabase()
    {
        QFETCH(QByteArray, content);
        const QString path = TestEnv::tempDir() + "/bad.db";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        Sqlite3File file(path);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, file.open());
        Sqlite3File missing(path + ".none");
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, missing.open());
    }

    void readsLiveRows_data()
    {
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<int>("reserved");
        QTest::newRow("512") << 512 << 0;
        QTest::newRow("4096 with reserved bytes") << 4096 << 32;
        QTest::newRow("65536") << 65536 << 0;
    }
    void readsLiveRows()
    {
        QFETCH(int, pageSize);
        QFETCH(int, reserved);
        const QString path = makeDb(pageSize, reserved, 300, false);
        Sqlite3File f(path);
        f.open();
        QCOMPARE(f.usableSize(), pageSize - reserved);
        QHash<qint64, _SqliteFileRowData> rows;
        for (const _SqliteBtreePage& leaf : f.leafs(f.btreePage(rootPage(path)))) {
            QCOMPARE(leaf.type, quint8(13));
            for (const char* cell : leaf.cells) {
                const _SqliteFileRowData row = f.cellRowData(f.pageCellRow(leaf, cell));
                rows.insert(row.rowid, row);
            }
        }
        QCOMPARE(rows.size(), 300);
        for (qint64 id : { 1, 7, 150, 294, 300 }) {
            const _SqliteFileRowData& r = rows.value(id);
            QCOMPARE(r.values.size(), 5);
            QVERIFY(!r.values.at(0).isValid());
            QCOMPARE(r.values.at(1).toLongLong(), id * 1000003);
            QVERIFY(r.values.at(2).toString().contains(QString::number(id)));
            if (id % 7 == 0)
                QCOMPARE(
                    r.values.at(2).toString().size(), (QString("long-%1-").arg(id).size()) * (pageSize / 8));
            QCOMPARE(r.values.at(3).toDouble(), id + 0.5);
        }
    }

    void carvesDeletedRows_data() { readsLiveRows_data(); }
    void carvesDeletedRows()
    {
        QFETCH(int, pageSize);
        QFETCH(int, reserved);
        const QString path = makeDb(pageSize, reserved, 300, true);
        Sqlite3File f(path);
        f.open();
        QSet<qint64> found;
        for (const _SqliteFileRowData& row : carveAll(f, rootPage(path), plausible)) {
            const qint64 a = row.values.at(1).toLongLong();
            if (a % 1000003 == 0 && (a / 1000003) % 3 == 0)
                found.insert(a / 1000003);
            // A recovered rowid is either unknown or the row's own.
            QVERIFY(row.rowid == 0 || row.rowid == a / 1000003);
        }
        // Most deleted rows survive in free space; the first bytes of each freeblock are lost.
        QVERIFY2(found.size() >= 60, qPrintable(QString("found %1 of 100").arg(found.size())));
    }

    // A key column lets the carver turn rows down before decoding them: it must turn down exactly
    // the rows the filter would, also where the key's bytes run into an overflow page.
    void keyColumnTurnsDownWhatTheFilterWould_data()
    {
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("wanted"); // what the key test takes
        QTest::newRow("even integers") << 4096 << 1 << "even";
        QTest::newRow("long texts, some in overflow") << 4096 << 2 << "long";
        QTest::newRow("long texts, small pages") << 512 << 2 << "long";
        QTest::newRow("short texts") << 1024 << 2 << "short";
        QTest::newRow("reals") << 4096 << 3 << "above 150";
        QTest::newRow("blobs") << 4096 << 4 << "odd tag";
        QTest::newRow("nothing") << 1024 << 1 << "none";
    }
    void keyColumnTurnsDownWhatTheFilterWould()
    {
        QFETCH(int, pageSize);
        QFETCH(int, key);
        QFETCH(QString, wanted);
        const std::function<bool(const QVariant&)> test = [wanted](const QVariant& v) {
            if (wanted == "even")
                return v.toLongLong() % 2 == 0;
            if (wanted == "long" || wanted == "short")
                return v.toString().startsWith("long-") == (wanted == "long");
            if (wanted == "above 150")
                return v.toDouble() > 150;
            if (wanted == "odd tag")
                return v.toByteArray().size() == 3 && v.toByteArray().at(2) % 2 != 0;
            return false;
        };
        const QString path = makeDb(pageSize, 0, 300, true);
        Sqlite3File f(path);
        f.open();
        const auto filter
            = [&](const _SqliteFileRowData& r) { return plausible(r) && test(r.values.value(key)); };
        _SqliteCarveShape keyed(tableCols());
        keyed.keyColumn = key;
        keyed.keyTest = test;
        const QList<_SqliteFileRowData> fast = carveAll(f, rootPage(path), filter, keyed);
        const QList<_SqliteFileRowData> full
            = carveAll(f, rootPage(path), filter, _SqliteCarveShape(tableCols()));
        QCOMPARE(fast.size(), full.size());
        QCOMPARE(full.isEmpty(), wanted == "none");
        for (int i = 0; i < full.size(); ++i) {
            QCOMPARE(fast[i].rowid, full[i].rowid);
            QCOMPARE(fast[i].values, full[i].values);
        }
    }

    // Records older than their table's last columns are carved at the narrower widths the shape
    // allows, their missing columns read as the defaults given; the records of the full width
    // come back alike whatever the narrower widths are.
    void carvesNarrowerRecords_data()
    {
        QTest::addColumn<int>("how"); // how width 3 is tried
        QTest::addColumn<int>("least"); // of the 66 narrower records deleted
        QTest::addColumn<int>("most");
        QTest::newRow("full width only") << int(_SqliteCarveShape::NotTried) << 0 << 0;
        // Where a freed cell's first four bytes (its payload size and a one-byte rowid) were
        // overwritten, the header size is lost with them: only rowids of two bytes keep it.
        QTest::newRow("where the header declares it") << int(_SqliteCarveShape::WhereDeclared) << 20 << 25;
        QTest::newRow("wherever it fits") << int(_SqliteCarveShape::Always) << 60 << 66;
    }
    void carvesNarrowerRecords()
    {
        QFETCH(int, how);
        QFETCH(int, least);
        QFETCH(int, most);
        const QString path = makeGrownDb();
        Sqlite3File f(path);
        f.open();
        _SqliteCarveShape shape(tableCols());
        shape.defaults = { QVariant(), QVariant(), QVariant(), 2.5, QVariant() };
        if (how != _SqliteCarveShape::NotTried)
            shape.allowNarrower(3, _SqliteCarveShape::NarrowerWidth(how));
        QSet<qint64> narrow, wide;
        for (const _SqliteFileRowData& row : carveAll(f, rootPage(path), plausible, shape)) {
            const qint64 id = row.values.at(1).toLongLong() / 1000003;
            QVERIFY(id % 3 == 0 && row.values.at(1).toLongLong() % 1000003 == 0);
            QVERIFY(row.rowid == 0 || row.rowid == id);
            QVERIFY(row.values.at(2).toString().startsWith(QString("text number %1 x").arg(id)));
            if (id <= 200) {
                QCOMPARE(row.values.at(3), QVariant(2.5));
                QVERIFY(!row.values.at(4).isValid());
                narrow.insert(id);
            } else {
                QCOMPARE(row.values.at(3).toDouble(), id + 0.5);
                QCOMPARE(row.values.at(4).toByteArray(), QByteArray("\x01"));
                wide.insert(id);
            }
        }
        QVERIFY2(narrow.size() >= least && narrow.size() <= most, qPrintable(QString::number(narrow.size())));
        QSet<qint64> wideAlone;
        for (const _SqliteFileRowData& row :
            carveAll(f, rootPage(path), plausible, _SqliteCarveShape(tableCols())))
            wideAlone.insert(row.values.at(1).toLongLong() / 1000003);
        QCOMPARE(wide, wideAlone);
        QVERIFY(wide.size() >= 30);
    }

    void pageNumbersFollowTheTreeWalk_data()
    {
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<QString>("start");
        QTest::newRow("512, table") << 512 << "table";
        QTest::newRow("4096, table") << 4096 << "table";
        QTest::newRow("65536, table") << 65536 << "table";
        QTest::newRow("1024, root its own child") << 1024 << "cycle";
        QTest::newRow("1024, schema page") << 1024 << "1";
        QTest::newRow("1024, freelist trunk") << 1024 << "trunk";
        QTest::newRow("1024, no page") << 1024 << "0";
        QTest::newRow("1024, past the end") << 1024 << "99999";
    }
    void pageNumbersFollowTheTreeWalk()
    {
        QFETCH(int, pageSize);
        QFETCH(QString, start);
        const QString path = makeDb(pageSize, 0, 400, true);
        qint64 root = rootPage(path);
        if (start == "cycle") {
            Sqlite3File probe(path);
            probe.open();
            QVERIFY(!probe.btreePage(root).isLeaf());
            const quint32 self = qToBigEndian(quint32(root));
            writeBytes(path, (root - 1) * pageSize + 8, QByteArray(reinterpret_cast<const char*>(&self), 4));
        }
        Sqlite3File f(path);
        f.open();
        if (start == "trunk")
            root = f.firstFreeTrunkPage();
        else if (start != "table" && start != "cycle")
            root = start.toLongLong();
        QList<qint64> expected;
        for (const _SqliteBtreePage& page : f.allBTreePages(f.btreePage(root)))
            expected.append(page.pageNo);
        QCOMPARE(f.allBTreePageNumbers(root), expected);
        QVERIFY(!expected.isEmpty());
    }

    void damagedFilesEnd_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("root is its own child") << 0;
        QTest::newRow("cyclic freeblocks") << 1;
        QTest::newRow("cyclic trunk and huge leaf count") << 2;
        QTest::newRow("random bytes over free pages") << 3;
        QTest::newRow("truncated") << 4;
    }
    void damagedFilesEnd()
    {
        QFETCH(int, kind);
        const QString path = makeDb(1024, 0, 400, true);
        const qint64 root = rootPage(path);
        Sqlite3File probe(path);
        probe.open();
        const _SqliteBtreePage rootPg = probe.btreePage(root);
        const qint64 rootAt = (root - 1) * 1024;
        const quint32 trunk = probe.firstFreeTrunkPage();
        if (kind == 0) {
            QVERIFY(!rootPg.isLeaf());
            const quint32 self = qToBigEndian(quint32(root));
            writeBytes(path, rootAt + 8, QByteArray(reinterpret_cast<const char*>(&self), 4));
        } else if (kind == 1) {
            const _SqliteBtreePage leaf = probe.leafs(rootPg).first();
            const qint64 at = (leaf.pageNo - 1) * 1024;
            writeBytes(path, at + 1, QByteArray("\x00\x80", 2));
            writeBytes(path, at + 0x80, QByteArray("\x00\x80\x00\x10", 4));
        } else if (kind == 2) {
            QVERIFY(trunk > 0);
            const quint32 self = qToBigEndian(trunk);
            writeBytes(path, (trunk - 1) * 1024, QByteArray(reinterpret_cast<const char*>(&self), 4));
            writeBytes(path, (trunk - 1) * 1024 + 4, QByteArray("\x7f\xff\xff\xff", 4));
        } else if (kind == 3) {
            QByteArray noise(1024, '\0');
            for (char& ch : noise)
                ch = char(QRandomGenerator::global()->bounded(256));
            for (qint32 leaf : probe.freeTrunkPage(trunk).leafPages)
                writeBytes(path, (leaf - 1) * 1024, noise);
        } else {
            QFile::resize(path, QFileInfo(path).size() - 1500);
        }
        Sqlite3File f(path);
        f.open();
        QVERIFY(f.allBTreePages(f.btreePage(root)).size() <= f.pages());
        carveAll(f, root, nullptr);
        QVERIFY(f.freeTrunkPage(trunk).leafPages.size() <= 1024 / 4 - 2);
    }
};

QTEST_GUILESS_MAIN(TestSqlite3File)
#include "TestSqlite3File.moc"
