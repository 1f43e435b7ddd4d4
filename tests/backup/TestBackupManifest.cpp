#include "app/sqlite/Sqlite3DB.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BackupCrypto.h"
#include "backup/BackupManifest.h"
#include "backup/support/GenBackup.h"
#include "messages/support/MsgFixtures.h"
#include "notes_media/PhotoThumbnail.h"
#include "support/TestEnv.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QtTest>
#include <atomic>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace
{

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray extract(const BackupManifest& m, const BackupManifest::_FileNode* node)
{
    const QString out = TestEnv::tempDir() + "/out.bin";
    m.copyFile(node, out, nullptr, nullptr);
    return readAll(out);
}

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

QString errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

// A plain stored copy cut short by damage: an empty one, or a picture, is never a success, though
// its bytes are written; a database is copied as it stands, its record's size being no witness.
void checkPlainCutShort(
    const BackupManifest& m, const BackupManifest::_FileNode* node, const QString& damage, const QString& out)
{
    const QString stored = m.storedFilePath(node->item);
    const QString err = errorOf([&] {
        try {
            m.copyFile(node, out, nullptr, nullptr);
        } catch (const BackupManifest::NotAsWritten& e) {
            throw std::runtime_error(QByteArray("not as written: ") + e.what());
        }
    });
    QVERIFY2(err.startsWith("not as written: ") && err.contains(node->item.backupFileName())
            && err.contains(damage == "empty" ? "it is empty" : "it is shorter than its record")
            && err.contains(QString("its record gives %1 bytes").arg(node->item.size)),
        qPrintable(err));
    QVERIFY(QFileInfo::exists(out));
    QCOMPARE(readAll(out), readAll(stored));
    if (node->item.pathUtf8.endsWith(".JPG"))
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, PhotoThumbnail::readStoredThrow(m, node));
    if (damage == "empty")
        return;
    const BackupManifest::_FileNode* db = m.findNode("HomeDomain", "Library/SMS/sms.db");
    QVERIFY(QFileInfo(m.storedFilePath(db->item)).size() < db->item.size);
    m.copyFile(db, out, nullptr, nullptr);
    QCOMPARE(readAll(out), readAll(m.storedFilePath(db->item)));
}

// A FIFO at path that never holds a test for ever: after two seconds, a reader waiting to open it
// is let through to its end. stop() tells whether one had to be.
class Fifo
{
public:
    explicit Fifo(const QString& path)
        : m_path(QFile::encodeName(path))
    {
        QFile::remove(path);
        m_made = ::mkfifo(m_path.constData(), 0600) == 0;
        m_thread = std::thread([this] {
            for (int i = 0; !m_stop; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                const int fd = i < 100 ? -1 : ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    m_released = true;
                    ::close(fd);
                }
            }
        });
    }
    ~Fifo() { stop(); }
    bool made() const { return m_made; }
    bool stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_released;
    }

private:
    QByteArray m_path;
    bool m_made = false;
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_released { false };
    std::thread m_thread;
};

// Puts every file of another backup over the one in dir, as the phone-sync program writes a new
// backup into the folder.
void writeOver(const QString& dir, const QString& other)
{
    QDirIterator it(other, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString to = dir + from.mid(other.size());
        QDir().mkpath(QFileInfo(to).absolutePath());
        QFile::remove(to);
        QVERIFY(QFile::copy(from, to));
    }
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

// The records SQLite's own scan of the Files table finds, each once (by fileID, by rowid without
// one), as "domain/path", and the table's count(*) (-1 when it fails); the scan's error code when it fails.
int scanManifest(const QString& path, QStringList* records, qint64* counted)
{
    sqlite3* db = nullptr;
    const QByteArray uri = Sqlite3DB::immutableUri(path).toUtf8();
    int rc = sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    sqlite3_stmt* stmt = nullptr;
    *counted = -1;
    if (rc == SQLITE_OK
        && sqlite3_prepare_v2(db, "select count(*) from Files", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW)
        *counted = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    stmt = nullptr;
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(
            db, "select fileID, rowid, domain, relativePath from Files not indexed", -1, &stmt, nullptr);
    QSet<QString> seen;
    while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const auto text = [&](int column) {
            return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)));
        };
        const QString key = sqlite3_column_type(stmt, 0) == SQLITE_NULL
            ? "rowid " + QString::number(sqlite3_column_int64(stmt, 1))
            : text(0);
        if (!seen.contains(key)) {
            seen.insert(key);
            records->append(text(2) + "/" + text(3));
        }
        rc = SQLITE_OK;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Copies every stored file of a damaged backup's tree as extraction does. Each copy written holds
// the intact backup's bytes; one that fails fails as a key that does not fit and writes nothing.
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
                QVERIFY2(err.startsWith("BackupManifest::decryptFile: decrypt failed."), qPrintable(err));
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

class TestBackupManifest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void opensRealPlainBackup()
    {
        QM_REQUIRE_SHARED();
        const QString dir = TestEnv::copyToTemp(TestEnv::realFixture("mvt/ios_backup"));
        BackupManifest m(dir);
        // This fixture has no Manifest.plist: the identity is missing, the records still read.
        QVERIFY(errorOf([&] { m.readManifestInfo(); }).startsWith("Cannot find "));
        m.parseInfo();
        QCOMPARE(m.recordCount(), qint64(3721));
        QVERIFY(m.smsNode);
        QVERIFY(m.calendarNode);
        QCOMPARE(m.smsNode->item.backupFileName(), QString("3d0d7e5fb2ce288813306e4d4636395e047a3d28"));
        const QByteArray sms = extract(m, m.smsNode);
        QCOMPARE(sms, readAll(dir + "/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28"));
        // Every record sits under a top-level domain node, whose name is the domain.
        qint64 folders = 0, files = 0, links = 0;
        std::function<void(const BackupManifest::_FileNode*)> walk = [&](const BackupManifest::_FileNode* n) {
            for (const auto* c : n->children) {
                QCOMPARE(c->parent, n);
                if (!c->implied)
                    (c->item.isFolder() ? folders : c->item.isLink() ? links : files)++;
                walk(c);
            }
        };
        walk(m.rootNode());
        QCOMPARE(files, qint64(1089));
        QCOMPARE(links, qint64(14));
        QCOMPARE(folders, qint64(2618));
        // A record whose stored file is missing gives an error naming it.
        const BackupManifest::_FileNode* missing = m.addressBookNode ? m.addressBookNode : nullptr;
        for (const auto* top : m.rootNode()->children)
            for (const auto* c : top->children)
                if (!missing && c->item.isFile() && !QFileInfo::exists(m.storedFilePath(c->item)))
                    missing = c;
        QVERIFY(missing);
        const QString err = errorOf([&] { extract(m, missing); });
        QVERIFY2(
            err.startsWith("can not open ") && err.contains(missing->item.backupFileName()), qPrintable(err));
    }

    void opensRealEncryptedBackups_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<bool>("plainManifest");
        QTest::newRow("Manifest.db, encrypted manifest") << "pyiosbackup/backup_ios10_3" << false;
        QTest::newRow("Manifest.mbdb") << "pyiosbackup/backup_ios9_mbdb" << false;
        // Its decrypted Manifest.db copied over the encrypted one, the stored file still encrypted.
        QTest::newRow("Manifest.db, decrypted manifest") << "pyiosbackup/backup_ios10_3" << true;
    }
    void opensRealEncryptedBackups()
    {
        QM_REQUIRE_SHARED();
        QFETCH(QString, fixture);
        QFETCH(bool, plainManifest);
        const QString dir = TestEnv::copyToTemp(TestEnv::realFixture(fixture));
        if (plainManifest) {
            BackupManifest first(dir);
            first.readManifestInfo();
            QVERIFY(first.setPasscode("0000"));
            QVERIFY(QFile::remove(dir + "/Manifest.db"));
            QVERIFY(QFile::copy(first.readableManifestDbPath(), dir + "/Manifest.db"));
        }
        BackupManifest m(dir);
        m.readManifestInfo();
        QVERIFY(m.IsEncrypted);
        QVERIFY(!m.setPasscode("1234"));
        QVERIFY(!m.isUnlocked());
        QVERIFY(m.setPasscode("0000"));
        m.parseInfo();
        QCOMPARE(m.recordCount(), qint64(1));
        const auto* node = m.findNode("MyTestDomain", "Media/Test.txt");
        QVERIFY(node);
        QCOMPARE(node->item.size, qint64(9));
        QCOMPARE(extract(m, node), QByteArray("Test data"));
        QCOMPARE(node->name(), QString("Test.txt"));
    }

    void opensEveryGeneratedLayout_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("password");
        QTest::newRow("db plain") << QStringList { "--layout", "db" } << "";
        QTest::newRow("db encrypted")
            << QStringList { "--password", "s3cret", "--iter", "10", "--dpic", "100" } << "s3cret";
        QTest::newRow("db encrypted, manifest in whole blocks") << QStringList { "--password", "pw", "--iter",
            "5", "--dpic", "5", "--manifest-nopad", "--big-file", "100003" }
                                                                << "pw";
        QTest::newRow("db encrypted, old keybag")
            << QStringList { "--password", "pw", "--iter", "5", "--no-dpsl" } << "pw";
        QTest::newRow("mbdb plain") << QStringList { "--layout", "mbdb" } << "";
        QTest::newRow("mbdb encrypted") << QStringList { "--layout", "mbdb", "--password", "pässwort",
            "--iter", "7", "--big-file", "70001" }
                                        << "pässwort";
        // Decrypted into a new folder by another tool, Manifest.plist copied as it was: a plain backup.
        QTest::newRow("db decrypted by another tool")
            << QStringList { "--password", "1234", "--iter", "5", "--dpic", "5", "--decrypted-copy" } << "";
        // That tool's plain Manifest.db copied over the encrypted one: the stored files still need
        // the password, with the keys of the plain records.
        QTest::newRow("db half-decrypted") << QStringList { "--password", "1234", "--iter", "5", "--dpic",
            "5", "--half-decrypted" } << "1234";
        // A Manifest.db in WAL mode whose last records are only in its log.
        QTest::newRow("db with records in its log") << QStringList { "--wal-rows", "2" } << "";
        // Manifest.plist says IsEncrypted false (a decrypting tool's, copied over), the stored files
        // are as the device encrypted them: they still need the password.
        QTest::newRow("mbdb encrypted, Manifest.plist says plain") << QStringList { "--layout", "mbdb",
            "--password", "pw", "--iter", "5", "--manifest-plist", "not-encrypted" }
                                                                   << "pw";
        QTest::newRow("db of iOS 10.0, Manifest.plist says plain") << QStringList { "--password", "pw",
            "--iter", "5", "--dpic", "5", "--no-manifest-key", "--manifest-plist", "not-encrypted" }
                                                                   << "pw";
        QTest::newRow("db half-decrypted, Manifest.plist says plain") << QStringList { "--password", "pw",
            "--iter", "5", "--dpic", "5", "--half-decrypted", "--manifest-plist", "not-encrypted" }
                                                                      << "pw";
    }
    void opensEveryGeneratedLayout()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, password);
        const QString dir = GenBackup::make(args, "0123456789abcdef0123456789abcdef01234567-copy");
        QVERIFY(!dir.isEmpty());
        const QString digest = GenBackup::folderDigest(dir);
        BackupManifest m(dir);
        m.readManifestInfo();
        QCOMPARE(m.DeviceName, QString("Demo iPhone"));
        QCOMPARE(m.UniqueDeviceID, QString("0123456789abcdef0123456789abcdef01234567"));
        QCOMPARE(m.displayName, QString("Demo iPhone-copy"));
        QCOMPARE(m.IsEncrypted, !password.isEmpty());
        QCOMPARE(m.date, QFileInfo(dir + "/Status.plist").lastModified());
        QCOMPARE(m.dirPathMd5().size(), 32);
        if (!password.isEmpty()) {
            QVERIFY(!m.setPasscode(password + "x"));
            if (!args.contains("mbdb") && !args.contains("--no-dpsl") && !args.contains("--half-decrypted")
                && !args.contains("--no-manifest-key"))
                QVERIFY(errorOf([&] { m.parseInfo(); }).contains("unlock"));
            QVERIFY(m.setPasscode(password));
        }
        m.parseInfo();
        const QJsonObject summary
            = QJsonDocument::fromJson(readAll(dir + "/generator-summary.json")).object();
        QCOMPARE(m.recordCount(), qint64(summary["records"].toInt()));
        for (auto* n : { m.addressBookNode, m.addressBookImagesNode, m.notesNode, m.calendarNode,
                 m.calendarExtrasNode, m.recordingsNode, m.voicemailNode, m.bookmarksNode, m.callHistoryNode,
                 m.callHistoryStoreNode, m.smsNode }) {
            QVERIFY(n);
            QCOMPARE(extract(m, n).left(15), QByteArray("SQLite format 3"));
            QCOMPARE(extract(m, n).size(), int(n->item.size));
        }
        QCOMPARE(m.photoList.size(), 3);
        QCOMPARE(m.videoList.size(), 2);
        QCOMPARE(extract(m, m.photoList[0]).left(4), QByteArray("\x89PNG"));
        if (auto* big = m.findNode("HomeDomain", "Library/Caches/big.bin")) {
            const QByteArray bytes = extract(m, big);
            QCOMPARE(bytes.size(), int(big->item.size));
            QVERIFY(bytes.size() > 70000);
        }
        const auto* link = m.findNode("HomeDomain", "Library/Preferences/link.plist");
        QVERIFY(link && link->item.isLink());
        QCOMPARE(link->item.linkTarget(), QString("/var/mobile/elsewhere.plist"));
        // The copy carries the record's modification time.
        const QString copy = TestEnv::tempDir() + "/sms-copy.db";
        m.copyFile(m.smsNode, copy, nullptr, nullptr);
        QCOMPARE(QFileInfo(copy).lastModified().toSecsSinceEpoch(), qint64(m.smsNode->item.mtime));
        QCOMPARE(MsgFixtures::querySql(copy, "select count(*) from message"), QString("2"));
        if (args.contains("--wal-rows")) { // the log's records are not in the file itself
            QStringList inFile;
            qint64 counted = 0;
            QCOMPARE(scanManifest(dir + "/Manifest.db", &inFile, &counted), SQLITE_OK);
            QCOMPARE(counted, m.recordCount() - 2);
        }
        QCOMPARE(GenBackup::folderDigest(dir), digest); // reading writes nothing into the folder
    }

    // A device records a size that differs from the stored file for a file that changed while it
    // was backed up: every road that decrypts the file gives the whole file all the same.
    void recordSizeNeverCutsAFile_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("delta");
        // The stored copies as make_backup.py --stored-damage leaves them, empty for the phone's own.
        // A layout beginning "plain " is of a backup without a password.
        QTest::addColumn<QString>("damage");
        for (const char* path : { "Library/SMS/sms.db", "Library/AddressBook/AddressBook.sqlitedb",
                 "Media/DCIM/100APPLE/IMG_0002.JPG" })
            for (int delta : { -4096, 5000, 8 })
                QTest::addRow("db, %s, %d", path, delta) << "db" << QString(path) << delta << "";
        QTest::newRow("mbdb, sms.db, -4096") << "mbdb"
                                             << "Library/SMS/sms.db" << -4096 << "";
        // A copy cut short at a block boundary, one under a key the record does not hold: never a
        // success, though what they decrypt to is written. One another tool decrypted in place: copied
        // as it stands.
        for (const char* path : { "Library/SMS/sms.db", "Media/DCIM/100APPLE/IMG_0002.JPG" })
            for (const char* damage : { "cut-half", "other-key", "in-place" })
                QTest::addRow("db, %s, %s", path, damage) << "db" << QString(path) << 0 << damage;
        QTest::newRow("mbdb, sms.db, cut-half") << "mbdb"
                                                << "Library/SMS/sms.db" << 0 << "cut-half";
        // Decrypted in place, and its last block happens to decrypt to valid padding under its key.
        QTest::newRow("db, sms.db, in-place-padded") << "db"
                                                     << "Library/SMS/sms.db" << 0 << "in-place-padded";
        QTest::newRow("db, AddressBook.sqlitedb, in-place")
            << "db"
            << "Library/AddressBook/AddressBook.sqlitedb" << 0 << "in-place";
        // A backup another tool decrypted, read without a password, in which that tool left a file as
        // the device encrypted it: never a success, its bytes copied as they stand.
        for (const char* path : { "Library/SMS/sms.db", "Media/DCIM/100APPLE/IMG_0002.JPG" })
            QTest::addRow("db decrypted by another tool, %s, still-encrypted", path)
                << "db" << QString(path) << 0 << "still-encrypted";
        // A plain backup, where the record's size is the only witness: an empty copy of a file that
        // held bytes, and a picture cut short, are never a success, though what there is is written.
        // A database cut short keeps its stale size's benefit of the doubt (checked in the same rows).
        for (const char* damage : { "empty", "short-half", "short-1000" })
            QTest::addRow("plain db, IMG_0002.JPG, %s", damage)
                << "plain db" << QString("Media/DCIM/100APPLE/IMG_0002.JPG") << 0 << damage;
        QTest::newRow("plain db, sms.db, empty") << "plain db"
                                                 << "Library/SMS/sms.db" << 0 << "empty";
        QTest::newRow("plain mbdb, IMG_0002.JPG, short-1000")
            << "plain mbdb"
            << "Media/DCIM/100APPLE/IMG_0002.JPG" << 0 << "short-1000";
    }
    void recordSizeNeverCutsAFile()
    {
        QFETCH(QString, layout);
        QFETCH(QString, path);
        QFETCH(int, delta);
        QFETCH(QString, damage);
        const bool plain = layout.startsWith("plain ");
        // One backup per layout, delta and damage, every file of the table off by it.
        static QHash<QString, QString> made;
        const QString key = QString(layout).replace(' ', '-') + QString::number(delta) + damage;
        const QStringList paths { "Library/SMS/sms.db", "Library/AddressBook/AddressBook.sqlitedb",
            "Media/DCIM/100APPLE/IMG_0002.JPG" };
        if (!made.contains(key)) {
            QStringList args { "--layout", layout.section(' ', -1), "--photo-width", "640", "--photo-height",
                "480" };
            if (!plain)
                args += QStringList { "--password", "pw", "--iter", "5", "--dpic", "5" };
            for (const QString& p : paths) {
                args << "--size-delta" << QString("%1=%2").arg(p).arg(delta);
                if (!damage.isEmpty())
                    args << "--stored-damage" << QString("%1=%2").arg(p, damage);
            }
            if (damage == "still-encrypted")
                args << "--decrypted-copy";
            made.insert(key, GenBackup::make(args, "0123456789abcdef0123456789abcdef01234567-" + key));
        }
        const QString dir = made[key];
        QVERIFY(!dir.isEmpty());
        BackupManifest m(dir);
        m.readManifestInfo();
        QVERIFY(plain || m.setPasscode("pw"));
        m.parseInfo();
        const QString domain = path.startsWith("Media/") ? "CameraRollDomain" : "HomeDomain";
        const auto* node = m.findNode(domain, path);
        QVERIFY(node);
        const QJsonObject truth = QJsonDocument::fromJson(readAll(dir + "/generator-summary.json"))
                                      .object()["resized"]
                                      .toObject()[domain + "/" + path]
                                      .toObject();
        QCOMPARE(node->item.size, qint64(truth["size"].toInt())); // the tree shows the record's size
        QVERIFY(truth["length"].toInt() > 4096);
        const QString out = TestEnv::tempDir() + "/whole.bin";
        QFile::remove(out);
        if (plain) {
            checkPlainCutShort(m, node, damage, out);
            return;
        }
        if (damage == "still-encrypted") {
            QVERIFY(!m.IsEncrypted); // most of its files are plain: read as a decrypted copy
            QString err;
            try {
                m.copyFile(node, out, nullptr, nullptr);
            } catch (const BackupManifest::NotAsWritten& e) {
                err = QString::fromUtf8(e.what());
            }
            QVERIFY2(err.contains(node->item.backupFileName()) && err.contains("is still encrypted")
                    && err.contains(QString("its record gives %1 bytes").arg(node->item.size)),
                qPrintable(err));
            QCOMPARE(readAll(out), readAll(m.storedFilePath(node->item)));
            return;
        }
        if (damage == "cut-half" || damage == "other-key") {
            QString err;
            try {
                m.copyFile(node, out, nullptr, nullptr);
            } catch (const BackupManifest::NotAsWritten& e) {
                err = QString::fromUtf8(e.what());
            }
            QVERIFY2(err.contains(node->item.backupFileName()) && err.contains("ends without its padding")
                    && err.contains(QString("its record gives %1 bytes").arg(node->item.size)),
                qPrintable(err));
            // Nothing is lost: what the stored copy holds is written, a cut database still begins as one.
            const qint64 stored = QFileInfo(m.storedFilePath(node->item)).size();
            QVERIFY(QFileInfo(out).size() == stored || QFileInfo(out).size() == node->item.size);
            if (damage == "cut-half")
                QVERIFY(readAll(out).startsWith(path.endsWith(".JPG") ? "\xff\xd8\xff" : "SQLite format 3"));
            // Thumbnails draw none.
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, PhotoThumbnail::readStoredThrow(m, node));
            return;
        }
        m.copyFile(node, out, nullptr, nullptr);
        const QByteArray bytes = readAll(out);
        QCOMPARE(bytes.size(), truth["length"].toInt());
        QCOMPARE(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex(),
            truth["sha1"].toString().toLatin1());
        if (path.endsWith(".JPG")) {
            QVERIFY(!PhotoThumbnail::make(PhotoThumbnail::readStoredThrow(m, node), QSize(64, 64)).isNull());
            return;
        }
        QCOMPARE(MsgFixtures::querySql(out, "pragma integrity_check"), QString("ok"));
        if (path.endsWith("sms.db"))
            QCOMPARE(MsgFixtures::querySql(out, "select count(*) from message"), QString("2"));
    }

    // Manifest.plist lost, or rewritten by a tool that decrypted the backup (IsEncrypted false, the
    // keys perhaps gone): the stored files tell whether they are still encrypted. Encrypted files
    // without the keybag are refused by name; in a decrypted copy a file the tool left encrypted is
    // named when copied.
    void storedFilesTellWhatManifestPlistDoesNot_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("refused");
        const QStringList mbdb { "--layout", "mbdb", "--password", "pw", "--iter", "5" };
        const QStringList ios10 { "--password", "pw", "--iter", "5", "--dpic", "5", "--no-manifest-key" };
        const QStringList half { "--password", "pw", "--iter", "5", "--dpic", "5", "--half-decrypted" };
        const QStringList missing { "--manifest-plist", "missing" };
        const QStringList noKeybag { "--manifest-plist", "no-keybag" };
        QTest::newRow("mbdb encrypted, no Manifest.plist") << mbdb + missing << true;
        QTest::newRow("db of iOS 10.0 encrypted, no Manifest.plist") << ios10 + missing << true;
        QTest::newRow("mbdb encrypted, Manifest.plist without keybag") << mbdb + noKeybag << true;
        QTest::newRow("db of iOS 10.0 encrypted, Manifest.plist without keybag") << ios10 + noKeybag << true;
        QTest::newRow("db half-decrypted, Manifest.plist without keybag") << half + noKeybag << true;
        const QStringList leftEncrypted { "--password", "pw", "--iter", "5", "--dpic", "5",
            "--decrypted-copy", "--stored-damage", "Library/SMS/sms.db=still-encrypted" };
        QTest::newRow("db decrypted, sms.db left encrypted, Manifest.plist says plain")
            << leftEncrypted + QStringList { "--manifest-plist", "not-encrypted" } << false;
        QTest::newRow("db decrypted, sms.db left encrypted, no Manifest.plist")
            << leftEncrypted + missing << false;
        QTest::newRow("mbdb decrypted, sms.db left encrypted, Manifest.plist says plain")
            << QStringList { "--layout", "mbdb" } + leftEncrypted
                + QStringList { "--manifest-plist", "not-encrypted" }
            << false;
    }
    void storedFilesTellWhatManifestPlistDoesNot()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, refused);
        const QString dir = GenBackup::make(args);
        QVERIFY(!dir.isEmpty());
        const bool hasPlist = QFileInfo::exists(dir + "/Manifest.plist");
        BackupManifest m(dir);
        const QString err = errorOf([&] {
            if (hasPlist)
                m.readManifestInfo();
            m.parseInfo();
        });
        if (refused) {
            QVERIFY2(err.startsWith("The backup in " + dir
                         + " cannot be read: its stored files are encrypted, "
                           "but the keys to them are missing.")
                    && err.endsWith(hasPlist ? "Manifest.plist holds no keybag."
                                             : "Manifest.plist, which holds "
                                               "them, is missing."),
                qPrintable(err));
            QCOMPARE(m.recordCount(), qint64(0));
            return;
        }
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QVERIFY(!m.IsEncrypted);
        // The other databases are the tool's plain copies; the one it left encrypted is named.
        for (const auto* n : { m.addressBookNode, m.notesNode, m.calendarNode, m.bookmarksNode })
            QCOMPARE(extract(m, n).left(15), QByteArray("SQLite format 3"));
        const QString out = TestEnv::tempDir() + "/left.bin";
        QString named;
        try {
            m.copyFile(m.smsNode, out, nullptr, nullptr);
        } catch (const BackupManifest::NotAsWritten& e) {
            named = QString::fromUtf8(e.what());
        }
        QVERIFY2(named.contains(m.smsNode->item.backupFileName())
                && named.contains("is still encrypted, although the backup was decrypted by another tool"),
            qPrintable(named));
        QCOMPARE(readAll(out), readAll(m.storedFilePath(m.smsNode->item)));
    }

    void treeDoesNotDependOnRowidLayout_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("dense") << "";
        // Rowids far apart: the reading is split into a bounded number of ranges.
        QTest::newRow("sparse")
            << "update Files set rowid = rowid * 1000003 + 4611686018427387904 where rowid % 2 = 0";
        // Records in reverse: files come before the folder records that hold them.
        QTest::newRow("reversed")
            << "create table t as select * from Files order by rowid desc; delete from Files; "
               "insert into Files select * from t; drop table t";
    }
    void treeDoesNotDependOnRowidLayout()
    {
        QFETCH(QString, sql);
        const QString dir = GenBackup::make({ "--layout", "db", "--records", "20000", "--no-filler-files" });
        QVERIFY(!dir.isEmpty());
        if (!sql.isEmpty()) {
            Sqlite3DB db;
            db.openThrow(dir + "/Manifest.db", 2);
            QCOMPARE(sqlite3_exec(db.handle, sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        }
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo();
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

    void uncleanPathsArePlacedByTheirParts_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("lookup");
        QTest::newRow("double slash and dot") << "Library//SMS/./copy.db"
                                              << "Library/SMS/copy.db";
        QTest::newRow("leading slash") << "/Library/SMS/lead.db"
                                       << "Library/SMS/lead.db";
        QTest::newRow("trailing slash") << "Library/SMS/trail.db/"
                                        << "Library/SMS/trail.db";
        QTest::newRow("new folders") << "Library/./New//Deep/x.db"
                                     << "Library/New/Deep/x.db";
        QTest::newRow("leading dot") << "./Library/SMS/dot.db"
                                     << "Library/SMS/dot.db";
        QTest::newRow("dot before the name") << "Library/SMS/x/./y.db"
                                             << "Library/SMS/x/y.db";
        QTest::newRow("two dots stay a name") << "Library/SMS/../z.db"
                                              << "Library/SMS/../z.db";
    }
    void uncleanPathsArePlacedByTheirParts()
    {
        QFETCH(QString, stored);
        QFETCH(QString, lookup);
        const QString dir = GenBackup::make({ "--layout", "db" });
        {
            Sqlite3DB db;
            db.openThrow(dir + "/Manifest.db", 2);
            Sqlite3Sql sql("insert into Files select 'x' || fileID, domain, ?, flags, file from Files "
                           "where relativePath = 'Library/SMS/sms.db'");
            sql.addTextParam(stored);
            db.executeThrow(sql);
        }
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo();
        const BackupManifest::_FileNode* n = m.findNode("HomeDomain", lookup);
        QVERIFY(n);
        QCOMPARE(n->item.relativePath(), stored); // the record keeps its own path
        QVERIFY(!n->implied);
        QCOMPARE(n->parent, m.findNode("HomeDomain", lookup.section('/', 0, -2)));
        QVERIFY(m.smsNode && m.smsNode != n);
    }

    // Well-known files and camera pictures are recognised by domain and path alone; a quick test on
    // the path picks the records worth comparing, and must not drop any that match.
    void findsWellKnownFilesByPath_data()
    {
        QTest::addColumn<QString>("remove"); // the generated record it stands in for, if any
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("found");
        const QString calendar = "Library/Calendar/Calendar.sqlitedb";
        QTest::newRow("calendar path in other case") << calendar << "HomeDomain"
                                                     << "library/calendar/CALENDAR.sqlitedb"
                                                     << "calendar" << true;
        QTest::newRow("calendar domain in other case")
            << calendar << "homedomain" << calendar << "calendar" << true;
        QTest::newRow("calendar path one byte longer") << calendar << "HomeDomain" << calendar + "x"
                                                       << "calendar" << false;
        QTest::newRow("messages in another domain") << "Library/SMS/sms.db"
                                                    << "MediaDomain"
                                                    << "Library/SMS/sms.db"
                                                    << "sms" << false;
        QTest::newRow("messages under an unclean path") << "Library/SMS/sms.db"
                                                        << "HomeDomain"
                                                        << "Library//SMS/sms.db"
                                                        << "sms" << false;
        QTest::newRow("camera picture") << ""
                                        << "CameraRollDomain"
                                        << "Media/DCIM/100APPLE/IMG_0001.JPG"
                                        << "photo" << true;
        QTest::newRow("camera movie") << ""
                                      << "CameraRollDomain"
                                      << "Media/DCIM/100APPLE/IMG_0002.MOV"
                                      << "video" << true;
        QTest::newRow("picture outside the camera folders") << ""
                                                            << "CameraRollDomain"
                                                            << "Media/Other/IMG_0003.JPG"
                                                            << "photo" << false;
    }
    void findsWellKnownFilesByPath()
    {
        QFETCH(QString, remove);
        QFETCH(QString, domain);
        QFETCH(QString, path);
        QFETCH(QString, kind);
        QFETCH(bool, found);
        const QString dir = GenBackup::make({ "--layout", "db" });
        {
            Sqlite3DB db;
            db.openThrow(dir + "/Manifest.db", 2);
            // A file record like the message database's, under the new domain and path.
            Sqlite3Sql copy("insert into Files select 'x' || fileID, ?, ?, flags, file from Files "
                            "where relativePath = 'Library/SMS/sms.db'");
            copy.addTextParam(domain);
            copy.addTextParam(path);
            db.executeThrow(copy);
            db.executeThrow(Sqlite3Sql("delete from Files where relativePath = ? and fileID not like 'x%'")
                                .addTextParam(remove));
        }
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo();
        if (kind == "photo" || kind == "video") {
            const QList<BackupManifest::_FileNode*>& list = kind == "photo" ? m.photoList : m.videoList;
            QCOMPARE(list.size(), (kind == "photo" ? 3 : 2) + (found ? 1 : 0));
            return;
        }
        const BackupManifest::_FileNode* node = kind == "calendar" ? m.calendarNode : m.smsNode;
        QCOMPARE(node != nullptr, found);
        if (found) {
            QCOMPARE(node->item.domain, domain);
            QCOMPARE(node->item.relativePath(), path);
        }
    }

    void tellsBadInputApart()
    {
        // Not a backup at all.
        const QString empty = TestEnv::tempDir();
        BackupManifest none(empty);
        QVERIFY(errorOf([&] { none.readManifestInfo(); }).startsWith("Cannot find "));
        QVERIFY(errorOf([&] { none.parseInfo(); }).contains("not a device backup"));

        const QString dir = GenBackup::make({ "--password", "pw", "--iter", "5", "--dpic", "5" });
        QVERIFY(!dir.isEmpty());
        // Garbage Manifest.plist: named in the error.
        const QByteArray plist = readAll(dir + "/Manifest.plist");
        QFile f(dir + "/Manifest.plist");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(plist.left(plist.size() / 2));
        f.close();
        BackupManifest broken(dir);
        QVERIFY(errorOf([&] { broken.readManifestInfo(); }).contains("Manifest.plist"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(plist);
        f.close();

        // A damaged encrypted Manifest.db with the right password: a damaged manifest, not a wrong password.
        const QByteArray db = readAll(dir + "/Manifest.db");
        QFile dbf(dir + "/Manifest.db");
        QVERIFY(dbf.open(QIODevice::WriteOnly));
        dbf.write(db.left(4093));
        dbf.close();
        BackupManifest m(dir);
        m.readManifestInfo();
        QVERIFY(!m.setPasscode("wrong"));
        const QString err = errorOf([&] { m.setPasscode("pw"); });
        QVERIFY2(err.contains("Manifest.db") && err.contains("damaged"), qPrintable(err));
        QVERIFY(dbf.open(QIODevice::WriteOnly));
        dbf.write(QByteArray(4096, 'g'));
        dbf.close();
        QVERIFY(errorOf([&] { m.setPasscode("pw"); }).contains("does not decrypt to a database"));
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

    // Another program writes into a loaded backup: no road copies by the records and keys of the
    // manifest loaded, and none writes a new manifest over the newer one. Loaded again, it reads.
    void copiesOnlyByTheManifestInPlace_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("change");
        const QStringList encrypted { "--password", "pw", "--iter", "5", "--dpic", "5" };
        QTest::newRow("db plain, a new backup over it") << QStringList {} << "new backup";
        QTest::newRow("db encrypted, a new backup over it") << encrypted << "new backup";
        QTest::newRow("mbdb encrypted, a new backup over it")
            << QStringList { "--layout", "mbdb", "--password", "pw", "--iter", "5" } << "new backup";
        QTest::newRow("db plain, its manifest changed in place") << QStringList {} << "in place";
        QTest::newRow("db encrypted, its manifest changed in place") << encrypted << "in place";
        QTest::newRow("db plain, its manifest a FIFO") << QStringList {} << "fifo";
    }
    void copiesOnlyByTheManifestInPlace()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, change);
        const QString dir = GenBackup::make(args);
        QVERIFY(!dir.isEmpty());
        const bool encrypted = args.contains("--password");
        const auto load = [&](BackupManifest& m) {
            m.readManifestInfo();
            QVERIFY(!encrypted || m.setPasscode("pw"));
            m.parseInfo();
        };
        BackupManifest m(dir);
        load(m);
        const QString db = dir + (args.contains("mbdb") ? "/Manifest.mbdb" : "/Manifest.db");
        std::unique_ptr<Fifo> fifo;
        if (change == "new backup")
            writeOver(dir, GenBackup::make(args + QStringList { "--seed", "8" }));
        else if (change == "fifo")
            fifo = std::make_unique<Fifo>(db);
        else { // bytes of the same file, as a database written in place
            QByteArray bytes = readAll(db);
            bytes[bytes.size() - 1] = char(bytes[bytes.size() - 1] ^ 1);
            QFile f(db);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.write(bytes) == bytes.size());
        }
        QVERIFY(!QTest::currentTestFailed());
        const QString digest = GenBackup::folderDigest(dir);
        const QString out = TestEnv::tempDir() + "/sms.db";
        const QString src = TestEnv::tempDir() + "/new.db";
        QFile(src).open(QIODevice::WriteOnly);
        const QList<std::pair<const char*, std::function<void()>>> roads = {
            { "copy", [&] { m.copyFile(m.smsNode, out, nullptr, nullptr); } },
            { "cache copy", [&] { BackupCacheCopy::copyWithLogThrow(m, m.smsNode, out); } },
            { "thumbnail", [&] { PhotoThumbnail::readStoredThrow(m, m.photoList.value(0)); } },
            { "write",
                [&] {
                    m.writeFilesThrow({ { "HomeDomain", src, "Library/SMS/sms.db", true, false } });
                } },
        };
        for (const auto& [road, run] : roads) {
            const QString err = errorOf(run);
            QVERIFY2(err
                    == "The backup in " + dir
                        + " has changed since it was loaded: another program has written into it. Load "
                          "the backup again.",
                qPrintable(QString("%1: %2").arg(road, err)));
            QVERIFY2(!QFileInfo::exists(out), road);
        }
        QCOMPARE(GenBackup::folderDigest(dir), digest);
        if (fifo)
            QVERIFY(!fifo->stop()); // nothing waited on it
        if (change != "new backup")
            return;
        // Loaded again as a window does, with the keys of the new backup.
        const QString err = errorOf([&] {
            if (encrypted && !m.setPasscode("pw"))
                throw std::runtime_error("wrong password");
            m.parseInfo();
            QVERIFY(extract(m, m.smsNode).startsWith("SQLite format 3"));
        });
        QVERIFY2(err.isEmpty(), qPrintable(err));
    }

    // A FIFO in place of a manifest's file is refused by name, and nothing waits on it.
    void refusesFifosAsManifests_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("name");
        const QStringList encrypted { "--password", "pw", "--iter", "5", "--dpic", "5" };
        QTest::newRow("db plain, Manifest.db") << QStringList {} << "Manifest.db";
        QTest::newRow("db encrypted, Manifest.db") << encrypted << "Manifest.db";
        QTest::newRow("db plain, Manifest.plist") << QStringList {} << "Manifest.plist";
        QTest::newRow("db encrypted, Manifest.plist") << encrypted << "Manifest.plist";
        QTest::newRow("mbdb plain, Manifest.mbdb") << QStringList { "--layout", "mbdb" } << "Manifest.mbdb";
    }
    void refusesFifosAsManifests()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, name);
        const QString dir = GenBackup::make(args);
        QVERIFY(!dir.isEmpty());
        Fifo fifo(dir + "/" + name);
        QVERIFY(fifo.made());
        BackupManifest m(dir);
        const QString err = errorOf([&] {
            m.readManifestInfo();
            if (m.IsEncrypted && !m.setPasscode("pw"))
                throw std::runtime_error("wrong password");
            m.parseInfo();
        });
        QVERIFY(!fifo.stop());
        QCOMPARE(err, "Cannot read " + dir + "/" + name + ". Not a regular file");
    }

    void lockedBackupNeverCopiesCiphertextAsFile()
    {
        const QString dir = GenBackup::make({ "--layout", "mbdb", "--password", "pw", "--iter", "5" });
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo(); // mbdb records are readable without the password
        const QString err = errorOf([&] { extract(m, m.smsNode); });
        QVERIFY2(err.startsWith("BackupManifest::decryptFile: decrypt failed.") && err.contains("locked"),
            qPrintable(err));
    }

    void namesDamagedRecordFiles()
    {
        const QString dir = GenBackup::make({ "--layout", "db" });
        QFile dbf(dir + "/Manifest.db");
        QVERIFY(dbf.open(QIODevice::WriteOnly));
        dbf.write("this is not a database at all, just text");
        dbf.close();
        BackupManifest m(dir);
        m.readManifestInfo();
        QVERIFY(errorOf([&] { m.parseInfo(); }).contains(dir + "/Manifest.db"));

        const QString mb = GenBackup::make({ "--layout", "mbdb" });
        const QByteArray bytes = readAll(mb + "/Manifest.mbdb");
        QFile mf(mb + "/Manifest.mbdb");
        QVERIFY(mf.open(QIODevice::WriteOnly));
        mf.write(bytes.left(bytes.size() - 3));
        mf.close();
        BackupManifest m2(mb);
        m2.readManifestInfo();
        QVERIFY(errorOf([&] { m2.parseInfo(); }).contains(mb + "/Manifest.mbdb"));
    }

    void namesAndPathsNeverLeaveTheirFolder()
    {
        BackupManifest::_FileNode n;
        n.item.domain = "HomeDomain";
        n.item.pathUtf8 = "Library/..";
        QCOMPARE(n.name(), QString("__"));
        n.item.pathUtf8 = "";
        QCOMPARE(n.name(), QString("HomeDomain"));
        n.item.pathUtf8 = "a/b/";
        QCOMPARE(n.name(), QString("b"));
        const QDir base(TestEnv::tempDir());
        QCOMPARE(BackupManifest::safeJoinThrow(base, "SMS//./sms.db"), base.absoluteFilePath("SMS/sms.db"));
        QVERIFY(!errorOf([&] { BackupManifest::safeJoinThrow(base, "SMS/../../etc/passwd"); }).isEmpty());
        QVERIFY(!errorOf([&] { BackupManifest::safeJoinThrow(base, "/"); }).isEmpty());
    }

    void writesBackInEveryLayout_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("password");
        QTest::newRow("db plain") << QStringList {} << "";
        QTest::newRow("db encrypted")
            << QStringList { "--password", "pw", "--iter", "5", "--dpic", "5" } << "pw";
        QTest::newRow("mbdb plain") << QStringList { "--layout", "mbdb" } << "";
        QTest::newRow("mbdb encrypted")
            << QStringList { "--layout", "mbdb", "--password", "pw", "--iter", "5" } << "pw";
        // A plain Manifest.db over encrypted files: new files are encrypted as the others.
        QTest::newRow("db half-decrypted")
            << QStringList { "--password", "pw", "--iter", "5", "--dpic", "5", "--half-decrypted" } << "pw";
    }
    void writesBackInEveryLayout()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, password);
        const QString dir = GenBackup::make(args);
        QVERIFY(!dir.isEmpty());
        const bool mbdb = args.contains("mbdb");
        const QString src1 = TestEnv::tempDir() + "/new-sms.db";
        const QString src2 = TestEnv::tempDir() + "/picture.jpg";
        QFile a(src1), b(src2);
        QVERIFY(a.open(QIODevice::WriteOnly) && b.open(QIODevice::WriteOnly));
        a.write(QByteArray(20000, 'S'));
        b.write("a new attachment");
        a.close();
        b.close();
        {
            BackupManifest m(dir);
            m.readManifestInfo();
            if (!password.isEmpty())
                QVERIFY(m.setPasscode(password));
            m.parseInfo();
            const qint64 before = m.recordCount();
            QList<BackupManifest::WriteRequest> items;
            items.append({ "HomeDomain", src1, "Library/SMS/sms.db", true, true });
            items.append({ "MediaDomain", src2, "Library/SMS/Attachments/ab/01/picture.jpg", false, true });
            items.append({ "HomeDomain", src2, "Library/Notes/notes.sqlite", false,
                false }); // present, not overwritten
            m.writeFilesThrow(items);
            // The open object sees the new files at once.
            QCOMPARE(extract(m, m.smsNode), QByteArray(20000, 'S'));
            QVERIFY(m.recordCount() > before);
        }
        QCOMPARE(QFileInfo::exists(dir + "/Manifest.db"), !mbdb);
        QCOMPARE(QFileInfo::exists(dir + "/Manifest.mbdb"), mbdb);
        BackupManifest again(dir);
        again.readManifestInfo();
        if (!password.isEmpty())
            QVERIFY(again.setPasscode(password));
        again.parseInfo();
        QCOMPARE(extract(again, again.smsNode), QByteArray(20000, 'S'));
        const auto* att = again.findNode("MediaDomain", "Library/SMS/Attachments/ab/01/picture.jpg");
        QVERIFY(att);
        QCOMPARE(extract(again, att), QByteArray("a new attachment"));
        QCOMPARE(extract(again, again.notesNode).left(15), QByteArray("SQLite format 3"));
        if (!mbdb) {
            // New folders got records of their own.
            const auto* folder = again.findNode("MediaDomain", "Library/SMS/Attachments/ab");
            QVERIFY(folder && !folder->implied);
        }
        if (!password.isEmpty())
            QVERIFY(readAll(MBDBParser::getBKFilePath(QDir(dir), att->item.backupFileName(), false))
                != "a new attachment");
        const QStringList leftovers = QDir(dir).entryList({ "*.qmtmp", "*.qmold" });
        QVERIFY2(leftovers.isEmpty(), qPrintable(leftovers.join(",")));
    }

    void writesBackIntoRealFixtures_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::newRow("plain Manifest.db") << "mvt/ios_backup";
        QTest::newRow("encrypted Manifest.db") << "pyiosbackup/backup_ios10_3";
        QTest::newRow("encrypted Manifest.mbdb") << "pyiosbackup/backup_ios9_mbdb";
    }
    void writesBackIntoRealFixtures()
    {
        QM_REQUIRE_SHARED();
        QFETCH(QString, fixture);
        const QString dir = TestEnv::copyToTemp(TestEnv::realFixture(fixture));
        const bool hasPlist = QFileInfo::exists(dir + "/Manifest.plist");
        const QString src = TestEnv::tempDir() + "/note.txt";
        QFile f(src);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("written back");
        f.close();
        auto open = [&](BackupManifest& m) {
            if (hasPlist) {
                m.readManifestInfo();
                if (m.IsEncrypted)
                    QVERIFY(m.setPasscode("0000"));
            }
            m.parseInfo();
        };
        const bool mbdb = QFileInfo::exists(dir + "/Manifest.mbdb");
        {
            BackupManifest m(dir);
            open(m);
            m.writeFilesThrow({ { "MyTestDomain", src, "Media/Test.txt", true, false },
                { "HomeDomain", src, "Library/Notes/new note.txt", false, true } });
        }
        QCOMPARE(QFileInfo::exists(dir + "/Manifest.mbdb"), mbdb);
        QCOMPARE(QFileInfo::exists(dir + "/Manifest.db"), !mbdb);
        BackupManifest again(dir);
        open(again);
        for (const auto& [domain, path] : { std::pair<QString, QString> { "MyTestDomain", "Media/Test.txt" },
                 std::pair<QString, QString> { "HomeDomain", "Library/Notes/new note.txt" } }) {
            const auto* node = again.findNode(domain, path);
            QVERIFY2(node && !node->implied, qPrintable(path));
            QCOMPARE(extract(again, node), QByteArray("written back"));
        }
    }

    void failedWriteLeavesBackupAsBefore()
    {
        for (const QStringList& args :
            { QStringList {}, QStringList { "--layout", "mbdb", "--password", "pw", "--iter", "5" } }) {
            const QString dir = GenBackup::make(args);
            QVERIFY(!dir.isEmpty());
            const QString digest = GenBackup::folderDigest(dir);
            const QString src = TestEnv::tempDir() + "/ok.db";
            QFile f(src);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("fine");
            f.close();
            BackupManifest m(dir);
            m.readManifestInfo();
            if (m.IsEncrypted)
                QVERIFY(m.setPasscode("pw"));
            m.parseInfo();
            QList<BackupManifest::WriteRequest> items;
            items.append({ "HomeDomain", src, "Library/SMS/sms.db", true, true });
            items.append({ "HomeDomain", src + ".missing", "Library/Other.db", true, true });
            QVERIFY(errorOf([&] { m.writeFilesThrow(items); }).contains(".missing"));
            QCOMPARE(GenBackup::folderDigest(dir), digest);
        }
    }

    void savesReducedManifest()
    {
        for (const QStringList& args : { QStringList { "--records", "400" },
                 QStringList { "--records", "400", "--password", "pw", "--iter", "5", "--dpic", "5" } }) {
            const QString dir = GenBackup::make(args);
            BackupManifest m(dir);
            m.readManifestInfo();
            if (m.IsEncrypted)
                QVERIFY(m.setPasscode("pw"));
            m.parseInfo();
            const QString dest = dir + "/Manifest-sys.db";
            static int calls = 0;
            calls = 0;
            m.saveManifestDbAsThrow(true, {}, dest, [](Sqlite3DB* db) {
                ++calls;
                QVERIFY(db->isOpen());
            });
            QCOMPARE(calls, 1);
            QString plain = dest;
            if (m.IsEncrypted) {
                QVERIFY(!readAll(dest).startsWith("SQLite format 3"));
                BackupManifest reopened(dir);
                // Swap the reduced manifest in to prove the key still opens it.
                QFile::rename(dir + "/Manifest.db", dir + "/Manifest-full.db");
                QFile::copy(dest, dir + "/Manifest.db");
                reopened.readManifestInfo();
                QVERIFY(reopened.setPasscode("pw"));
                plain = reopened.readableManifestDbPath();
                Sqlite3DB db;
                db.openReadOnlyThrow(plain);
                Sqlite3Cursor c = db.queryThrow("select count(*), sum(domain like 'AppDomain%') from Files");
                QVERIFY(c.moveNext());
                QVERIFY(c.getInt(0) > 0);
                QCOMPARE(c.getInt(1), 0);
                continue;
            }
            Sqlite3DB db;
            db.openReadOnlyThrow(plain);
            Sqlite3Cursor c = db.queryThrow("select count(*), sum(domain like 'AppDomain%'), "
                                            "sum(relativePath='Library/SMS/sms.db') from Files");
            QVERIFY(c.moveNext());
            QVERIFY(c.getInt(0) > 10);
            QCOMPARE(c.getInt(1), 0);
            QCOMPARE(c.getInt(2), 1);
        }
        // Without system domains only the chosen domains and the always-kept files stay.
        {
            const QString dir = GenBackup::make({ "--records", "300" });
            BackupManifest m(dir);
            m.readManifestInfo();
            m.parseInfo();
            m.saveManifestDbAsThrow(false, { "CameraRollDomain" }, dir + "/reduced.db", nullptr);
            Sqlite3DB db;
            db.openReadOnlyThrow(dir + "/reduced.db");
            Sqlite3Cursor c
                = db.queryThrow("select domain, relativePath from Files where domain != 'CameraRollDomain'");
            QStringList others;
            while (c.moveNext())
                others << c.getText(0) + "/" + c.getText(1);
            others.sort();
            QCOMPARE(others,
                QStringList({ "HomeDomain/Library/AddressBook/AddressBook.sqlitedb",
                    "HomeDomain/Library/CallHistoryDB/CallHistory.storedata", "HomeDomain/Library/SMS/sms.db",
                    "WirelessDomain/Library/CallHistory/call_history.db" }));
        }
        // A backup without Manifest.db cannot give one.
        const QString mb = GenBackup::make({ "--layout", "mbdb" });
        BackupManifest m(mb);
        m.readManifestInfo();
        m.parseInfo();
        QVERIFY(!errorOf([&] { m.saveManifestDbAsThrow(true, {}, mb + "/x.db", nullptr); }).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBackupManifest)
#include "TestBackupManifest.moc"
