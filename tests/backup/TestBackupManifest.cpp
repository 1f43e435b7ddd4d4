#include "app/sqlite/Sqlite3DB.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BackupCrypto.h"
#include "backup/BackupManifest.h"
#include "backup/ManifestWalCopy.h"
#include "backup/support/BackupReads.h"
#include "backup/support/GenBackup.h"
#include "backup/support/ManifestOpens.h"
#include "device/PlistCFType.h"
#include "messages/support/MsgFixtures.h"
#include "notes_media/PhotoThumbnail.h"
#include "support/TestEnv.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QtTest>
#include <atomic>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace
{

using BackupReads::errorOf;
using BackupReads::extract;
using BackupReads::loadError;
using BackupReads::readAll;
using BackupReads::scanManifest;

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
        // The opens by SQLite of Manifest.db and its private copies, from the listing to the copies of
        // stored files: one (none for Manifest.mbdb). A change in its log or journal is taken in or back
        // in a private copy, opened once more to do so; the sampling of the stored files reads the
        // file as it stands beside its log, and a copy of its own beside a journal.
        QTest::addColumn<int>("opens");
        QTest::newRow("db plain") << QStringList { "--layout", "db" } << "" << 1;
        QTest::newRow("db encrypted")
            << QStringList { "--password", "s3cret", "--iter", "10", "--dpic", "100" } << "s3cret" << 1;
        QTest::newRow("db encrypted, manifest in whole blocks") << QStringList { "--password", "pw", "--iter",
            "5", "--dpic", "5", "--manifest-nopad", "--big-file", "100003" }
                                                                << "pw" << 1;
        QTest::newRow("db encrypted, old keybag")
            << QStringList { "--password", "pw", "--iter", "5", "--no-dpsl" } << "pw" << 1;
        QTest::newRow("mbdb plain") << QStringList { "--layout", "mbdb" } << "" << 0;
        QTest::newRow("mbdb encrypted") << QStringList { "--layout", "mbdb", "--password", "pässwort",
            "--iter", "7", "--big-file", "70001" }
                                        << "pässwort" << 0;
        // Decrypted into a new folder by another tool, Manifest.plist copied as it was: a plain backup.
        QTest::newRow("db decrypted by another tool") << QStringList { "--password", "1234", "--iter", "5",
            "--dpic", "5", "--decrypted-copy" } << "" << 1;
        // That tool's plain Manifest.db copied over the encrypted one: the stored files still need
        // the password, with the keys of the plain records.
        QTest::newRow("db half-decrypted")
            << QStringList { "--password", "1234", "--iter", "5", "--dpic", "5", "--half-decrypted" }
            << "1234" << 1;
        // A Manifest.db in WAL mode whose last records are only in its log.
        QTest::newRow("db with records in its log") << QStringList { "--wal-rows", "2" } << "" << 3;
        // A program stopped in the middle of a change renaming every record and blanking its keys: read
        // as SQLite takes the change back, the keys of the half-decrypted one too.
        QTest::newRow("db with a change stopped in its journal")
            << QStringList { "--hot-journal" } << "" << 4;
        QTest::newRow("db half-decrypted, a change stopped in its journal") << QStringList { "--password",
            "1234", "--iter", "5", "--dpic", "5", "--half-decrypted", "--hot-journal" }
                                                                            << "1234" << 4;
        // Another program takes that change back while the manifest is copied: copied again without.
        QTest::newRow("db with a change stopped in its journal, taken back while copied")
            << QStringList { "--hot-journal" } << "" << 5;
        // That change was one to several databases: the journal names that change's own, beside the
        // manifest, which is never opened or removed, nor waited on. Taken back while it is there (a
        // file, a FIFO); without it, read as it stands, the change finished.
        for (const char* what : { "there", "fifo", "gone" })
            QTest::addRow("db with a change stopped in its journal, naming a journal %s", what)
                << QStringList { "--hot-journal", "--journal-names", QString("Manifest.db-mj") + what } << ""
                << (QByteArray(what) == "gone" ? 1 : 4);
        // Another user's journal where everyone may write holds their change, not the backup's: the
        // records are read as the file holds them, and the load says so.
        QTest::newRow("db with a change stopped in another user's journal, where everyone may write")
            << QStringList { "--hot-journal" } << "" << 1;
        // Manifest.plist says IsEncrypted false (a decrypting tool's, copied over), the stored files
        // are as the device encrypted them: they still need the password.
        QTest::newRow("mbdb encrypted, Manifest.plist says plain") << QStringList { "--layout", "mbdb",
            "--password", "pw", "--iter", "5", "--manifest-plist", "not-encrypted" }
                                                                   << "pw" << 0;
        QTest::newRow("db of iOS 10.0, Manifest.plist says plain") << QStringList { "--password", "pw",
            "--iter", "5", "--dpic", "5", "--no-manifest-key", "--manifest-plist", "not-encrypted" }
                                                                   << "pw" << 1;
        QTest::newRow("db half-decrypted, Manifest.plist says plain") << QStringList { "--password", "pw",
            "--iter", "5", "--dpic", "5", "--half-decrypted", "--manifest-plist", "not-encrypted" }
                                                                      << "pw" << 1;
    }
    void opensEveryGeneratedLayout()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, password);
        QFETCH(int, opens);
        const QString dir = GenBackup::make(args, "0123456789abcdef0123456789abcdef01234567-copy");
        QVERIFY(!dir.isEmpty());
        const QString named = args.contains("--journal-names")
            ? dir + "/" + args.value(args.indexOf("--journal-names") + 1)
            : QString();
        QFile there(named);
        if (named.endsWith("there"))
            QVERIFY(there.open(QIODevice::WriteOnly) && there.write("child-journal") > 0);
        there.close();
        QVERIFY(!named.endsWith("fifo") || ::mkfifo(QFile::encodeName(named).constData(), 0600) == 0);
        const bool theirs = QString(QTest::currentDataTag()).contains("another user's");
        if (theirs && ::geteuid() != 0)
            QSKIP("Files of another user are put there by root only");
        QVERIFY(!theirs
            || (::chmod(QFile::encodeName(dir).constData(), 01777) == 0
                && ::lchown(QFile::encodeName(dir + "/Manifest.db-journal").constData(), 65534, gid_t(-1))
                    == 0));
        const QString digest = GenBackup::folderDigest(dir);
        const QFileInfo before(named);
        if (named.endsWith("gone"))
            QTest::ignoreMessage(
                QtInfoMsg, QRegularExpression("is gone: taken, as SQLite takes it, for a finished change"));
        std::optional<ManifestOpens> opened(std::in_place);
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
        const bool whileCopied = QString(QTest::currentDataTag()).endsWith("while copied");
        bool takeBack = whileCopied;
        ManifestWalCopy::setWhileCopying([&](const QString& db) {
            if (!std::exchange(takeBack, false))
                return;
            Sqlite3DB other; // its first read plays the journal back in place
            other.openThrow(db, SQLITE_OPEN_READWRITE);
            other.tableExists("Files");
        });
        m.parseInfo();
        ManifestWalCopy::setWhileCopying(nullptr);
        QVERIFY(!takeBack);
        const QJsonObject summary
            = QJsonDocument::fromJson(readAll(dir + "/generator-summary.json")).object();
        QCOMPARE(m.recordCount(), qint64(summary["records"].toInt()));
        if (whileCopied) { // read as it now stands, which the roads after the load take for a change
            QVERIFY(m.smsNode && !QFileInfo::exists(dir + "/Manifest.db-journal"));
            QCOMPARE(opened->count(), opens);
            return;
        }
        if (theirs) { // the records as the change left them
            QVERIFY(!m.smsNode && m.findNode("HomeDomain", "Library/SMS/sms.db.unfinished"));
            QCOMPARE(m.readWithout(),
                dir + "/Manifest.db was read without its journal: the file " + dir
                    + "/Manifest.db-journal stands in a folder everyone may write into and belongs to "
                      "another "
                      "user (nobody): it is not read.");
            QCOMPARE(opened->count(), opens);
            return;
        }
        if (!named.isEmpty()) {
            const QFileInfo after(named);
            QVERIFY(after.exists() == before.exists() && after.isFile() == before.isFile());
            QVERIFY(!after.isFile() || readAll(named) == "child-journal");
            if (named.endsWith("gone")) { // the records as the change left them
                QVERIFY(!m.smsNode && m.findNode("HomeDomain", "Library/SMS/sms.db.unfinished"));
                QCOMPARE(opened->count(), opens);
                return;
            }
        }
        for (auto* n : { m.addressBookNode, m.addressBookImagesNode, m.notesNode, m.calendarNode,
                 m.calendarExtrasNode, m.recordingsNode, m.voicemailNode, m.bookmarksNode, m.callHistoryNode,
                 m.callHistoryStoreNode, m.smsNode }) {
            QVERIFY(n);
            QCOMPARE(extract(m, n).left(15), QByteArray("SQLite format 3"));
            QCOMPARE(extract(m, n).size(), int(n->item.size));
        }
        // The sampling of the stored files, the reading of the records and the copies' lookups of
        // their keys share one opening of the manifest (the demo's records are read by one thread).
        QCOMPARE(opened->count(), opens);
        opened.reset();
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

    // Manifest.plist lost, or rewritten by a tool that decrypted the backup (IsEncrypted false, the
    // keys perhaps gone): the stored files tell whether they are still encrypted, and encrypted files
    // without the keybag are refused by name. (A file such a tool left encrypted: TestStoredFileCopy.)
    void storedFilesTellWhatManifestPlistDoesNot_data()
    {
        QTest::addColumn<QStringList>("args");
        const QStringList mbdb { "--layout", "mbdb", "--password", "pw", "--iter", "5" };
        const QStringList ios10 { "--password", "pw", "--iter", "5", "--dpic", "5", "--no-manifest-key" };
        const QStringList half { "--password", "pw", "--iter", "5", "--dpic", "5", "--half-decrypted" };
        const QStringList missing { "--manifest-plist", "missing" };
        const QStringList noKeybag { "--manifest-plist", "no-keybag" };
        QTest::newRow("mbdb encrypted, no Manifest.plist") << mbdb + missing;
        QTest::newRow("db of iOS 10.0 encrypted, no Manifest.plist") << ios10 + missing;
        QTest::newRow("mbdb encrypted, Manifest.plist without keybag") << mbdb + noKeybag;
        QTest::newRow("db of iOS 10.0 encrypted, Manifest.plist without keybag") << ios10 + noKeybag;
        QTest::newRow("db half-decrypted, Manifest.plist without keybag") << half + noKeybag;
        // Manifest.db itself encrypted: its records cannot be read either.
        const QStringList db { "--password", "pw", "--iter", "5", "--dpic", "5" };
        QTest::newRow("db encrypted, no Manifest.plist") << db + missing;
        QTest::newRow("db encrypted, Manifest.plist without keybag") << db + noKeybag;
    }
    void storedFilesTellWhatManifestPlistDoesNot()
    {
        QFETCH(QStringList, args);
        const QString dir = GenBackup::make(args);
        QVERIFY(!dir.isEmpty());
        const bool hasPlist = QFileInfo::exists(dir + "/Manifest.plist");
        BackupManifest m(dir);
        const QString err = loadError(m);
        QVERIFY2(err.startsWith("The backup in " + dir
                     + " cannot be read: its stored files are encrypted, "
                       "but the keys to them are missing.")
                && err.endsWith(hasPlist ? "Manifest.plist holds no keybag."
                                         : "Manifest.plist, which holds "
                                           "them, is missing."),
            qPrintable(err));
        QCOMPARE(m.recordCount(), qint64(0));
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
        // Larger than any phone writes, sparse (3 GB that cost nothing on the disk) or just past the
        // bound: refused by name without being read whole.
        for (const qint64 size : { Q_INT64_C(3) << 30, PlistCFType::kMaxFileBytes + 1 }) {
            QVERIFY(QFile::resize(f.fileName(), size));
            QCOMPARE(errorOf([&] { broken.readManifestInfo(); }),
                QStringLiteral("Cannot read %1: it is far larger than any phone writes.").arg(f.fileName()));
            QVERIFY(!PlistCFType::createCFPropertyListFromFile(f.fileName()).isCFDictionary());
        }
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

    // A FIFO in place of a manifest's file is refused by name, and nothing waits on it; so is a
    // query (a view, a generated column) that Manifest.db holds where its records are read (sql,
    // run on it in place of the FIFO).
    void refusesFifosAsManifests_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("error"); // how it begins
        const QStringList encrypted { "--password", "pw", "--iter", "5", "--dpic", "5" };
        const QString none; // a FIFO: neither sql nor another error
        QTest::newRow("db plain, Manifest.db") << QStringList {} << "Manifest.db" << none << none;
        QTest::newRow("db encrypted, Manifest.db") << encrypted << "Manifest.db" << none << none;
        QTest::newRow("db plain, Manifest.plist") << QStringList {} << "Manifest.plist" << none << none;
        QTest::newRow("db encrypted, Manifest.plist") << encrypted << "Manifest.plist" << none << none;
        QTest::newRow("mbdb plain, Manifest.mbdb")
            << QStringList { "--layout", "mbdb" } << "Manifest.mbdb" << none << none;
        QTest::newRow("db plain, Files an endless view")
            << QStringList {} << "Manifest.db"
            << "alter table Files rename to Stored; create view Files as with recursive n(i) as (select 1 "
               "union all select i + 1 from n) select s.* from n, Stored as s"
            << "its \"Files\" is a view (a query the file holds), not a table.";
        QTest::newRow("db plain, a generated record column")
            << QStringList {} << "Manifest.db"
            << "alter table Files rename column file to stored; alter table Files add column file as "
               "(zeroblob(10000000))"
            << "its column \"Files.file\" is generated";
    }
    void refusesFifosAsManifests()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, name);
        QFETCH(QString, sql);
        QFETCH(QString, error);
        const QString dir = GenBackup::make(args);
        QVERIFY(!dir.isEmpty());
        if (!sql.isEmpty()) {
            Sqlite3DB db;
            db.openThrow(dir + "/" + name, SQLITE_OPEN_READWRITE);
            db.executeThrow(sql);
        }
        std::optional<Fifo> fifo;
        if (sql.isEmpty()) {
            fifo.emplace(dir + "/" + name);
            QVERIFY(fifo->made());
        }
        BackupManifest m(dir);
        QString err;
        TestEnv::endsWithin(60, "Reading the manifest", [&] {
            err = errorOf([&] {
                m.readManifestInfo();
                if (m.IsEncrypted && !m.setPasscode("pw"))
                    throw std::runtime_error("wrong password");
                m.parseInfo();
            });
        });
        QVERIFY(!fifo || !fifo->stop());
        if (sql.isEmpty())
            QCOMPARE(err, "Cannot read " + dir + "/" + name + ". Not a regular file");
        else
            QVERIFY2(err.startsWith("Cannot read " + dir + "/Manifest.db: " + error), qPrintable(err));
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
        // Whole blocks of zeros, of text or of a picture, without Manifest.plist: damage, not encryption.
        QVERIFY(QFile::remove(dir + "/Manifest.plist"));
        QByteArray picture("\xff\xd8\xff\xe0");
        for (int i = 0; picture.size() < 4096; ++i)
            picture.append(char(i * 7 + i / 256));
        for (const QByteArray& bytes :
            { QByteArray(4096, '\0'), QByteArray("text ").repeated(1024), picture }) {
            QVERIFY(dbf.open(QIODevice::WriteOnly));
            dbf.write(bytes);
            dbf.close();
            BackupManifest plain(dir);
            const QString err = loadError(plain);
            QVERIFY2(
                err.startsWith(dir + "/Manifest.db is damaged or not a backup manifest"), qPrintable(err));
        }

        // A Manifest.mbdb is read with the records before its damage (its end cut off, zeros after its
        // records), and the load says what it was read without.
        const QString mb = GenBackup::make({ "--layout", "mbdb" });
        const QByteArray bytes = readAll(mb + "/Manifest.mbdb");
        BackupManifest whole(mb);
        whole.readManifestInfo();
        whole.parseInfo();
        for (const QByteArray& damaged : { bytes.left(bytes.size() - 3), bytes + QByteArray(5000, '\0') }) {
            QFile mf(mb + "/Manifest.mbdb");
            QVERIFY(mf.open(QIODevice::WriteOnly) && mf.write(damaged) == damaged.size());
            mf.close();
            BackupManifest m2(mb);
            m2.readManifestInfo();
            m2.parseInfo();
            QCOMPARE(m2.recordCount(), whole.recordCount() - (damaged.size() < bytes.size() ? 1 : 0));
            QVERIFY2(m2.readWithout().startsWith(mb + "/Manifest.mbdb is damaged: "),
                qPrintable(m2.readWithout()));
            QVERIFY(m2.readWithout().endsWith(" records before it; the rest of the file is left out."));
        }
        QVERIFY(whole.readWithout().isEmpty());
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
