#include "app/sqlite/Sqlite3DB.h"
#include "backup/BackupManifest.h"
#include "backup/support/BackupReads.h"
#include "backup/support/GenBackup.h"
#include "backup/support/ManifestOpens.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <optional>
#include <sqlite3.h>

namespace
{

using BackupReads::errorOf;
using BackupReads::extract;
using BackupReads::readAll;
using BackupReads::scanManifest;

// The rows of table from one database into the same table of another (values as stored).
void copyRows(Sqlite3DB& from, Sqlite3DB& to, const QString& table)
{
    sqlite3_stmt* read = nullptr;
    sqlite3_stmt* write = nullptr;
    QCOMPARE(
        sqlite3_prepare_v2(from.handle, qPrintable("select * from " + table), -1, &read, nullptr), SQLITE_OK);
    const int n = sqlite3_column_count(read);
    const QString marks = QStringList(n, "?").join(',');
    QCOMPARE(sqlite3_prepare_v2(to.handle, qPrintable("insert into " + table + " values(" + marks + ")"), -1,
                 &write, nullptr),
        SQLITE_OK);
    while (sqlite3_step(read) == SQLITE_ROW) {
        for (int i = 0; i < n; ++i)
            sqlite3_bind_value(write, i + 1, sqlite3_column_value(read, i));
        QCOMPARE(sqlite3_step(write), SQLITE_DONE);
        sqlite3_reset(write);
    }
    sqlite3_finalize(read);
    sqlite3_finalize(write);
}

// Every record of the tree as "domain/path", in tree order.
QStringList recordsOf(BackupManifest& m)
{
    QStringList out;
    std::function<void(const BackupManifest::_FileNode*)> walk = [&](const BackupManifest::_FileNode* n) {
        for (const auto* c : n->children) {
            if (!c->implied)
                out << c->item.domain + "/" + c->item.relativePath();
            walk(c);
        }
    };
    walk(m.rootNode());
    return out;
}

// Damage done to a Manifest.db as a half-copied file or a failing disk leaves it, on its 4 KB
// pages (numbered from 1): "cut N" drops the last N bytes, "swap A B" exchanges two pages,
// "copy A B" writes page A over page B, "zero A" clears a page.
void damageManifest(const QString& path, const QString& damage)
{
    constexpr int kPage = 4096;
    QByteArray bytes = readAll(path);
    const QStringList words = damage.split(' ');
    const qsizetype a = words.value(1).toLongLong(), b = words.value(2).toLongLong();
    const auto page = [&](qsizetype n) { return bytes.mid((n - 1) * kPage, kPage); };
    QVERIFY2(a > 0 && (words[0] == "cut" || a * kPage <= bytes.size()) && b * kPage <= bytes.size(),
        qPrintable(damage));
    if (words[0] == "cut")
        bytes.chop(a);
    else if (words[0] == "swap") {
        const QByteArray first = page(a);
        bytes.replace((a - 1) * kPage, kPage, page(b));
        bytes.replace((b - 1) * kPage, kPage, first);
    } else if (words[0] == "copy")
        bytes.replace((b - 1) * kPage, kPage, page(a));
    else if (words[0] == "zero")
        bytes.replace((a - 1) * kPage, kPage, QByteArray(kPage, 0));
    else
        QFAIL(qPrintable(damage));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
}

// Damage inside the rows, done to the database the program reads (for an encrypted backup, what
// its manifest decrypts to): "unkey PATH" renames the data of the key object in that record's
// archive, so the archive decodes without a key; "unindex NAME" makes the root of that index an
// empty leaf, so lookups through it find nothing while the table reads whole.
void damageRows(const QString& path, const QString& damage)
{
    const QString what = damage.section(' ', 1);
    qint64 page = 0;
    {
        Sqlite3DB db;
        db.openThrow(path, SQLITE_OPEN_READWRITE);
        if (damage.startsWith("unkey ")) {
            Sqlite3Cursor c = db.queryThrow(
                Sqlite3Sql("select rowid, file from Files where relativePath=?").addTextParam(what));
            QVERIFY2(c.moveNext(), qPrintable(damage));
            QByteArray archive = c.getBlob(1);
            QVERIFY(archive.contains("NS.data"));
            archive.replace("NS.data", "NS.dita");
            db.executeThrow(Sqlite3Sql("update Files set file=? where rowid=?")
                                .addBlobParam(archive)
                                .addInt64Param(c.getInt64(0)));
            return;
        }
        Sqlite3Cursor c
            = db.queryThrow(Sqlite3Sql("select rootpage from sqlite_master where type='index' and name=?")
                                .addTextParam(what));
        QVERIFY2(damage.startsWith("unindex ") && c.moveNext(), qPrintable(damage));
        page = c.getInt64(0);
    }
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(16));
    const QByteArray sizeBytes = f.read(2);
    const int pageSize
        = sizeBytes == QByteArray("\0\1", 2) ? 65536 : (uchar(sizeBytes[0]) << 8 | uchar(sizeBytes[1]));
    // An index leaf: type 0x0a, no freeblock, no cells, content at the page's end.
    const QByteArray leaf("\x0a\0\0\0\0\0\0\0", 8);
    QVERIFY(f.seek((page - 1) * pageSize) && f.write(leaf) == leaf.size());
}

// Copies every stored file of a damaged backup's tree as extraction does. Each copy written holds
// the intact backup's bytes; one that fails fails as one whose key cannot be had, writing nothing.
// Returns how many were written.
int extractAgainstIntact(const BackupManifest& damaged, const BackupManifest& intact)
{
    int written = 0;
    const QString out = TestEnv::tempDir() + "/out.bin";
    std::function<void(const BackupManifest::_FileNode*)> walk = [&](const BackupManifest::_FileNode* n) {
        for (const auto* c : n->children) {
            walk(c);
            if (c->implied || !c->item.isFile() || !QFileInfo::exists(damaged.storedFilePath(c->item)))
                continue;
            const QString err = errorOf([&] { damaged.copyFile(c, out, nullptr, nullptr); });
            const QString name = c->item.domain + "/" + c->item.relativePath();
            if (!err.isEmpty()) {
                QVERIFY2(err.startsWith("Cannot decrypt "), qPrintable(err));
                QVERIFY2(!QFileInfo::exists(out), qPrintable(name));
                continue;
            }
            const auto* same = intact.findNode(c->item.domain, c->item.relativePath());
            QVERIFY2(same && readAll(out) == extract(intact, same), qPrintable(name));
            QFile::remove(out);
            ++written;
        }
    };
    walk(damaged.rootNode());
    return written;
}
} // namespace

// The reading of the file records of a Manifest.db into the tree (ManifestDbReader): the same tree
// whatever the layout of the rowids and the text encoding, and a damaged table read as SQLite's own
// scan reads it, or refused by name.
class TestManifestDbReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void treeDoesNotDependOnRowidLayout_data()
    {
        QTest::addColumn<QString>("sql");
        // Rowid ranges of 8,192 rows at least, 256 at most: the reading threads, one per core up to
        // eight, are the only opens of the manifest beyond the first, which they read through too. A
        // thread the system starts late may find every range taken and open nothing.
        QTest::addColumn<int>("ranges");
        QTest::newRow("dense") << "" << 3;
        // Rowids far apart: the reading is split into a bounded number of ranges.
        QTest::newRow("sparse")
            << "update Files set rowid = rowid * 1000003 + 4611686018427387904 where rowid % 2 = 0" << 256;
        // Records in reverse: files come before the folder records that hold them.
        QTest::newRow("reversed")
            << "create table t as select * from Files order by rowid desc; delete from Files; "
               "insert into Files select * from t; drop table t"
            << 3;
    }
    void treeDoesNotDependOnRowidLayout()
    {
        QFETCH(QString, sql);
        QFETCH(int, ranges);
        const QString dir = GenBackup::make({ "--layout", "db", "--records", "20000", "--no-filler-files" });
        QVERIFY(!dir.isEmpty());
        if (!sql.isEmpty()) {
            Sqlite3DB db;
            db.openThrow(dir + "/Manifest.db", 2);
            QCOMPARE(sqlite3_exec(db.handle, sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        }
        std::optional<ManifestOpens> opens(std::in_place);
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo();
        const int opened = opens->count();
        QVERIFY2(opened >= 1 && opened <= std::min(ranges, std::clamp(QThread::idealThreadCount(), 1, 8)),
            qPrintable(QString::number(opened)));
        opens.reset();
        QCOMPARE(m.recordCount(), qint64(20000));
        // Every record is reachable once, folders hold their records, implied folders only fill gaps.
        qint64 records = 0;
        QSet<QString> folders;
        std::function<void(const BackupManifest::_FileNode*)> walk = [&](const BackupManifest::_FileNode* n) {
            for (const auto* c : n->children) {
                QCOMPARE(c->parent, n);
                if (!c->implied)
                    ++records;
                if (c->item.isFolder()) {
                    const QString key = c->item.domain + "/" + c->item.relativePath();
                    QVERIFY2(!folders.contains(key), qPrintable(key));
                    folders.insert(key);
                }
                walk(c);
            }
        };
        walk(m.rootNode());
        QCOMPARE(records, qint64(20000));
        QVERIFY(m.smsNode && m.addressBookNode && m.calendarNode);
        QCOMPARE(m.photoList.size(), 3);
        QVERIFY(m.findNode("HomeDomain", "Library/SMS/sms.db") == m.smsNode);
    }

    // Records read the same whatever text encoding the manifest database keeps.
    void textEncodingsReadAlike_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::newRow("UTF-8") << "UTF-8";
        QTest::newRow("UTF-16le") << "UTF-16le";
        QTest::newRow("UTF-16be") << "UTF-16be";
    }
    void textEncodingsReadAlike()
    {
        QFETCH(QString, encoding);
        const QString dir = GenBackup::make({ "--layout", "db" });
        const QString plain = dir + "/Manifest.db", copy = dir + "/encoded.db";
        {
            Sqlite3DB db;
            db.openThrow(plain, 2);
            db.executeThrow(
                "insert into Files select 'x' || fileID, 'HomeDomain', 'Library/Ünïcødé/файл.db', flags, "
                "file from Files where relativePath = 'Library/SMS/sms.db'");
            db.executeThrow(
                "insert into Files select 'y' || fileID, 'HomeDomain', '', flags, file from Files "
                "where relativePath = 'Library/SMS/sms.db'");
        }
        BackupManifest before(dir);
        before.readManifestInfo();
        before.parseInfo();
        {
            Sqlite3DB db;
            db.openThrow(copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            db.executeThrow("pragma encoding = '" + encoding + "'");
            Sqlite3DB from;
            from.openThrow(plain, SQLITE_OPEN_READONLY);
            Sqlite3Cursor tables
                = from.queryThrow("select sql, name from sqlite_master where type = 'table'");
            while (tables.moveNext()) {
                db.executeThrow(tables.getText(0));
                copyRows(from, db, tables.getText(1));
            }
        }
        QVERIFY(QFile::remove(plain) && QFile::rename(copy, plain));
        BackupManifest after(dir);
        after.readManifestInfo();
        after.parseInfo();
        QCOMPARE(recordsOf(after), recordsOf(before));
        const BackupManifest::_FileNode* n = after.findNode("HomeDomain", "Library/Ünïcødé/файл.db");
        QVERIFY(n);
        QCOMPARE(n->item.relativePath(), QString("Library/Ünïcødé/файл.db"));
    }

    // A damaged Manifest.db reads as SQLite's own scan of its Files table reads it: every record
    // that scan finds, once, whatever order its pages are in; refused when the scan fails or finds
    // fewer records than the table counts. An encrypted backup's files extract as the intact
    // backup's, but for those whose record lost its key (unwritten).
    void damagedManifestReadsAsSqliteScansIt_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("unwritten");
        const QStringList small { "--photos", "12", "--voicemails", "5", "--recordings", "5", "--videos",
            "2" };
        // Three rowid ranges under a tree of two levels: pages 2, 662, 663, ... hold its inner nodes.
        const QStringList large { "--records", "20000", "--no-filler-files" };
        for (const char* damage : { "cut 2000", "cut 4000", "cut 4096", "cut 9000", "swap 9 10", "swap 10 13",
                 "swap 2 9", "swap 9 17", "swap 3 12", "copy 10 12", "copy 12 17", "zero 12", "zero 3" })
            QTest::addRow("small, %s", damage) << small << QString(damage) << 0;
        for (const char* damage :
            { "cut 2000", "cut 8192", "swap 1000 3000", "swap 662 1000", "swap 663 2000", "swap 1000 1001",
                "copy 1000 3000", "copy 1500 2600", "zero 1000", "zero 4247", "swap 2 1000" })
            QTest::addRow("large, %s", damage) << large << QString(damage) << 0;
        // A manifest in whole blocks decrypts when cut by whole blocks. Cut by 32 bytes, the last
        // page keeps every record but the archive of the one at its end.
        const QStringList encrypted
            = QStringList { "--password", "1234", "--iter", "10", "--dpic", "10", "--manifest-nopad" }
            + small;
        QTest::newRow("encrypted, cut 2000") << encrypted << "cut 2000" << 0;
        QTest::newRow("encrypted, cut 32") << encrypted << "cut 32" << 1;
        // A record whose archive decodes without a key: its stored bytes are never taken for the file.
        QTest::newRow("encrypted, unkey")
            << encrypted << "unkey Library/AddressBook/AddressBook.sqlitedb" << 1;
        // Keys are found through the records' rows, not through the damaged index.
        QTest::newRow("encrypted, unindex") << encrypted << "unindex sqlite_autoindex_Files_1" << 0;
    }
    void damagedManifestReadsAsSqliteScansIt()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, damage);
        QFETCH(int, unwritten);
        // One generated backup per kind; each case damages a copy of it, a whole one when its files
        // are extracted.
        static QHash<QStringList, QString> made;
        if (!made.contains(args))
            made.insert(args, GenBackup::make(args));
        QVERIFY(!made[args].isEmpty());
        const bool encrypted = args.contains("--password");
        const QString dir = encrypted ? TestEnv::copyToTemp(made[args]) : TestEnv::tempDir();
        for (const char* name : { "Manifest.plist", "Info.plist", "Status.plist", "Manifest.db" })
            if (!encrypted)
                QFile::copy(made[args] + "/" + name, dir + "/" + name);
        const QString db = dir + "/Manifest.db";
        const bool inRows = damage.startsWith("unkey") || damage.startsWith("unindex");
        if (!inRows)
            damageManifest(db, damage);
        BackupManifest m(dir);
        m.readManifestInfo();
        const QString password = args.value(args.indexOf("--password") + 1);
        QVERIFY(!encrypted || m.setPasscode(password));
        if (inRows)
            damageRows(m.readableManifestDbPath(), damage);
        QVERIFY(!QTest::currentTestFailed());
        QStringList expected;
        qint64 counted = 0;
        const int scan = scanManifest(m.readableManifestDbPath(), &expected, &counted);
        const QString err = errorOf([&] { m.parseInfo(); });
        if (scan != SQLITE_OK || expected.size() < counted) {
            QVERIFY(scan == SQLITE_OK || (scan & 0xff) == SQLITE_CORRUPT);
            QVERIFY2(err.startsWith(db + " is damaged or not a backup manifest: "), qPrintable(err));
            QCOMPARE(m.rootNode()->children.size(), 0);
            return;
        }
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QStringList read = recordsOf(m);
        QCOMPARE(m.recordCount(), qint64(expected.size()));
        read.sort();
        expected.sort();
        QCOMPARE(read, expected);
        if (!encrypted)
            return;
        BackupManifest intact(made[args]);
        intact.readManifestInfo();
        QVERIFY(intact.setPasscode(password));
        intact.parseInfo();
        const int written = extractAgainstIntact(m, intact);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(written, extractAgainstIntact(intact, intact) - unwritten);
    }
};

QTEST_GUILESS_MAIN(TestManifestDbReader)
#include "TestManifestDbReader.moc"
