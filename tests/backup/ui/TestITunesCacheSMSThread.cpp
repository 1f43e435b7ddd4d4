#include "app/FileNameFit.h"
#include "app/KeptFileName.h"
#include "app/sqlite/Sqlite3DB.h"
#include "app/ui/DataSources.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BackupManifest.h"
#include "backup/BkCacheDb.h"
#include "backup/support/GenBackup.h"
#include "backup/ui/ITunesCacheSMSThread.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgCopyMarks.h"
#include "messages/store/MsgData.h"
#include "support/ForeignDisk.h"
#include "support/MockClock.h"
#include "support/SimulatedDisk.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtTest>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// A folder bound at a place for as long as it lives: the cache's folder put on another disk.
class Bound
{
public:
    Bound(const QString& folder, const QString& at)
        : m_at(at)
    {
        QDir().mkpath(at);
        m_bound = ::mount(QFile::encodeName(folder).constData(), QFile::encodeName(at).constData(), nullptr,
                      MS_BIND, nullptr)
            == 0;
    }
    ~Bound()
    {
        if (m_bound)
            ::umount2(QFile::encodeName(m_at).constData(), MNT_DETACH);
    }
    bool isBound() const { return m_bound; }

private:
    QString m_at;
    bool m_bound = false;
};
} // namespace

class TestITunesCacheSMSThread : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void copiesMessageAndAddressBookFolders_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("named"); // the record the error names
        QTest::addColumn<QStringList>("copied"); // the databases in the cache after the run
        QTest::addColumn<qint64>("counted"); // the messages the tree then counts
        QTest::addColumn<QString>("why"); // what the error says of the stored copy
        QTest::addColumn<QStringList>("marked"); // the copies recorded as not what the phone wrote
        QTest::addColumn<QString>("disk"); // the cache's disk: empty for the tests' own, else its kind
        const QStringList all { "SMS/sms.db", "AddressBook/AddressBook.sqlitedb",
            "AddressBook/AddressBookImages.sqlitedb" };
        const QStringList encrypted { "--password", "pw", "--iter", "5", "--dpic", "5" };
        QTest::newRow("mbdb, encrypted") << QStringList { "--layout", "mbdb" } + encrypted << 1 << "" << all
                                         << qint64(2) << "" << QStringList {} << QString();
        QTest::newRow("plain") << QStringList {} << 1 << "" << all << qint64(2) << "" << QStringList {}
                               << QString();
        // A file cut short is named; the others are copied all the same, and so is what it holds.
        QTest::newRow("an address book file cut short")
            << encrypted
                + QStringList { "--stored-damage", "Library/AddressBook/AddressBookImages.sqlitedb=cut-half" }
            << 0 << "Record: HomeDomain Library/AddressBook/AddressBookImages.sqlitedb" << all << qint64(2)
            << "ends without its padding" << QStringList { "AddressBook/AddressBookImages.sqlitedb" }
            << QString();
        // The message database itself cut short: nothing is read from it, and its count is unknown.
        QTest::newRow("sms.db cut short")
            << encrypted + QStringList { "--stored-damage", "Library/SMS/sms.db=cut-half" } << 0 << ""
            << QStringList {} << DataSources::kUnknownCount << "ends without its padding"
            << QStringList { "SMS/sms.db" } << QString();
        // A picture of a message cut in half: the pages learn it from the cache.
        const QString picture = "Library/SMS/Attachments/25/01/DEMO-ATTACHMENT-0001/IMG_4101.JPG";
        QTest::newRow("a message attachment cut short")
            << QStringList { "--demo" } + encrypted + QStringList { "--stored-damage", picture + "=cut-half" }
            << 0 << "Record: MediaDomain " + picture << all << qint64(16) << "ends without its padding"
            << QStringList { picture.mid(8) } << QString();
        // In a plain backup: the message database left empty, a picture attached to a message cut
        // short. The record's size is the witness.
        QTest::newRow("plain, sms.db empty")
            << QStringList { "--stored-damage", "Library/SMS/sms.db=empty" } << 0 << "" << QStringList {}
            << DataSources::kUnknownCount << "it is empty" << QStringList { "SMS/sms.db" } << QString();
        const QString attachment = "Library/SMS/Attachments/4a/02/DEMO-ATTACHMENT-0002/IMG_4102.JPG";
        QTest::newRow("plain, an attachment cut short")
            << QStringList { "--demo", "--stored-damage", attachment + "=short-half" } << 0
            << "Record: MediaDomain " + attachment << all << qint64(16) << "it is shorter than its record"
            << QStringList { attachment.mid(8) } << QString();
        // A stored copy whose every read fails (a disk's read error): named with its record and the
        // system's reason, left out of the cache and marked there, and the others copied. Without
        // the message database nothing of the messages is read, and their count is unknown.
        const QString eio = "Input/output error";
        QTest::newRow("an attachment unreadable")
            << QStringList { "--demo", "--stored-damage", picture + "=unreadable" } << 0
            << "Record: MediaDomain " + picture << all << qint64(16) << eio << QStringList { picture.mid(8) }
            << QString();
        QTest::newRow("encrypted, an attachment unreadable")
            << QStringList { "--demo" } + encrypted
                + QStringList { "--stored-damage", picture + "=unreadable" }
            << 0 << "Record: MediaDomain " + picture << all << qint64(16) << eio
            << QStringList { picture.mid(8) } << QString();
        QTest::newRow("encrypted, an address book file unreadable")
            << encrypted
                + QStringList { "--stored-damage",
                      "Library/AddressBook/AddressBookImages.sqlitedb=unreadable" }
            << 0 << "Record: HomeDomain Library/AddressBook/AddressBookImages.sqlitedb" << all.mid(0, 2)
            << qint64(2) << eio << QStringList { "AddressBook/AddressBookImages.sqlitedb" } << QString();
        // A picture's key in its record that does not unwrap: that picture alone is left out.
        QTest::newRow("encrypted, an attachment's key damaged")
            << QStringList { "--demo" } + encrypted + QStringList { "--stored-damage", picture + "=key-bit" }
            << 0 << "Record: MediaDomain " + picture << all << qint64(16) << "fails its check"
            << QStringList { picture.mid(8) } << QString();
        // A plain database shorter than its own header gives: named, copied and marked.
        QTest::newRow("plain, an address book database cut short")
            << QStringList { "--stored-damage", "Library/AddressBook/AddressBookImages.sqlitedb=short-1000" }
            << 0 << "Record: HomeDomain Library/AddressBook/AddressBookImages.sqlitedb" << all << qint64(2)
            << "than the database's own header gives"
            << QStringList { "AddressBook/AddressBookImages.sqlitedb" } << QString();
        QTest::newRow("plain, sms.db cut short")
            << QStringList { "--demo", "--stored-damage", "Library/SMS/sms.db=short-1000" } << 0
            << "Record: HomeDomain Library/SMS/sms.db" << QStringList {} << DataSources::kUnknownCount
            << "than the database's own header gives" << QStringList { "SMS/sms.db" } << QString();
        QTest::newRow("sms.db unreadable")
            << QStringList { "--stored-damage", "Library/SMS/sms.db=unreadable" } << 0
            << "Record: HomeDomain Library/SMS/sms.db" << QStringList {} << DataSources::kUnknownCount << eio
            << QStringList { "SMS/sms.db" } << QString();
        // Names a disk cannot keep as they stand (304 bytes) are kept where the pages look for them;
        // one that leads out of the folder costs that file alone.
        const QString cjk = "1=" + QString(100, QChar(0x4E2D)) + ".JPG";
        QTest::newRow("an attachment named 100 CJK characters")
            << QStringList { "--demo", "--attachment-name", cjk } << 1 << "" << all << qint64(16) << ""
            << QStringList {} << QString();
        QTest::newRow("an attachment named with a question mark")
            << QStringList { "--demo", "--attachment-name", "2=Why?.JPG" } << 1 << "" << all << qint64(16)
            << "" << QStringList {} << QString();
        // Names some disks refuse, kept as the phone gives them where this disk takes them.
        QTest::newRow("attachments named as a device and with a dot at the end")
            << QStringList { "--demo", "--attachment-name", "1=con/AUX.JPG", "--attachment-name", "2=end." }
            << 1 << "" << all << qint64(16) << "" << QStringList {} << QString();
        // Names that differ only in characters a disk refuses stay two files, each with its own
        // record's bytes; so does one that looks like such a name made for a disk.
        const QStringList colon { "--attachment-name", "1=shared/a:b.JPG", "--attachment-name",
            "2=shared/ab.JPG" };
        QTest::newRow("attachments whose names differ in a colon")
            << QStringList { "--demo" } + colon << 1 << "" << all << qint64(16) << "" << QStringList {}
            << QString();
        const QStringList marks { "--attachment-name", "1=shared/x?.JPG", "--attachment-name",
            "2=shared/x*.JPG" };
        QTest::newRow("attachments whose names differ in a question mark and a star")
            << QStringList { "--demo" } + marks << 1 << "" << all << qint64(16) << "" << QStringList {}
            << QString();
        // One path in two domains: the attachment keeps the media domain's bytes, as a phone keeps
        // its attachments there, and the other record is named.
        QTest::newRow("an attachment's path in the home domain too")
            << QStringList { "--demo", "--put", "HomeDomain:" + picture + "=/dev/null" } << 0
            << "Record: HomeDomain " + picture << all << qint64(16)
            << "holds the copy of MediaDomain " + picture << QStringList {} << QString();
        const QString out = "Library/SMS/Attachments/../../../../x.jpg";
        QTest::newRow("an attachment whose path leads out")
            << QStringList { "--demo", "--put", "MediaDomain:" + out + "=/dev/null" } << 0
            << "Record: MediaDomain " + out << all << qint64(16) << "leads out of its folder"
            << QStringList {} << QString();
        const QString deep
            = "Library/SMS/Attachments/" + QString(250, 'd').append('/').repeated(17) + "x.jpg";
        QTest::newRow("an attachment whose path is too long for the system")
            << QStringList { "--demo", "--put", "MediaDomain:" + deep + "=/dev/null" } << 0
            << "Record: MediaDomain " + deep << all << qint64(16) << "longer than the system allows"
            << QStringList {} << QString();
        // On a disk that ignores case, a name that finds another record's copy is set aside under
        // its mark; one the disk refuses is fitted for that file alone.
        QTest::newRow("exFAT: attachments whose names differ in case") << QStringList {
            "--demo", "--attachment-name", "1=shared/Photo.JPG", "--attachment-name", "2=shared/photo.jpg"
        } << 1 << "" << all << qint64(16) << "" << QStringList {} << "exfat";
        QTest::newRow("FAT: an attachment named beyond ASCII")
            << QStringList { "--demo", "--attachment-name", "1=Caf\u00e9.jpg" } << 1 << "" << all
            << qint64(16) << "" << QStringList {} << "fat";
    }

    // Each row is loaded twice: the second load reuses the copies, and says and marks the same.
    void copiesMessageAndAddressBookFolders()
    {
        QFETCH(QStringList, args);
        QFETCH(int, result);
        QFETCH(QString, named);
        QFETCH(QStringList, copied);
        QFETCH(qint64, counted);
        QFETCH(QString, why);
        QFETCH(QStringList, marked);
        QFETCH(QString, disk);
        const QString dir = GenBackup::make(args);
        BackupManifest m(dir);
        m.readManifestInfo();
        if (m.IsEncrypted)
            QVERIFY(m.setPasscode("pw"));
        m.parseInfo();
        std::unique_ptr<ForeignDisk> mounted;
        std::optional<Bound> cacheOnDisk;
        if (!disk.isEmpty()) {
            mounted = std::make_unique<ForeignDisk>(ForeignDisk::kindOf(disk));
            if (!mounted->isMounted())
                QSKIP(qPrintable(mounted->whyNot()));
            // The copies on the disk, the cache's own database beside them on the tests' own.
            cacheOnDisk.emplace(
                mounted->path(), BkCacheDb::cacheDir().absoluteFilePath(m.dirPathMd5() + "/file-relay"));
            QVERIFY(cacheOnDisk->isBound());
        }
        for (int load = 0; load < 2; ++load) {
            ModalAnswerer answerer;
            ProgressForm form;
            ITunesCacheSMSThread t(m, form);
            QCOMPARE(t.cacheDir().dirName(), m.dirPathMd5());
            t.start();
            QCOMPARE(form.exec(), result);
            t.wait();
            if (result == 0) {
                QVERIFY(answerer.waitHandled(1));
                const QString shown = answerer.seen().value(0);
                QVERIFY2(shown.contains(why) && shown.contains(named), qPrintable(shown));
                QCOMPARE(TestEnv::copyNamedButGone(shown), QString());
            }
        }
        const QDir cache(BkCacheDb::cacheDir().absoluteFilePath(m.dirPathMd5()));
        const QString lib = cache.absoluteFilePath("file-relay/var/mobile/Library");
        for (const QString& rel : copied) {
            QFile f(lib + "/" + rel);
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(rel));
            QCOMPARE(f.read(15), QByteArray("SQLite format 3"));
        }
        if (copied.isEmpty())
            QVERIFY(!QFileInfo::exists(lib));
        QVERIFY(QFileInfo::exists(cache.absoluteFilePath("manifest.db")));
        const QHash<QString, QString> marks = BkCacheDb::notAsWrittenIn(cache);
        QStringList got;
        for (auto it = marks.cbegin(); it != marks.cend(); ++it) {
            got << QDir(lib).relativeFilePath(it.key());
            QVERIFY2(it.value().contains(why), qPrintable(it.value()));
            // No copy stands in for a stored file that could not be read.
            if (it.value().startsWith("Cannot ") || it.value().startsWith("can not "))
                QVERIFY2(!QFileInfo::exists(it.key()), qPrintable(it.key()));
        }
        QCOMPARE(got, marked);
        DataSources::countBackup(m, cache);
        QCOMPARE(m.msgCount, counted);
        if (counted <= 0)
            return;
        // The page's model of the cache knows the attachments the load found not as written.
        MsgData data;
        IOS6MessageDb(cache, _CountryInfo(), false).messages(data, 0);
        QCOMPARE(MsgCopyMarks::apply(data, cache),
            int(marked.filter(QRegularExpression("^SMS/Attachments/")).size()));
        for (const _MsgAttachment* a : std::as_const(data.p()->attachments)) {
            QVERIFY2(!a->_notAsWritten.isEmpty() || QFileInfo(a->_path).isFile(), qPrintable(a->filename));
            // Under the phone's own name, unless that is longer than a disk keeps; on another disk,
            // set aside or fitted where it finds another's entry by it or refuses it.
            const QString last = a->filename.section('/', -1);
            const bool aside = !disk.isEmpty()
                && (a->_path.endsWith("/" + KeptFileName::aside(last))
                    || a->_path.endsWith("/" + FileNameFit::asciiName(last)));
            if (last.toUtf8().size() <= 255)
                QVERIFY2(a->_path.endsWith(a->filename.mid(1)) || aside, qPrintable(a->_path));
            if (a->_notAsWritten.isEmpty())
                QVERIFY2(holdsItsRecord(m, *a), qPrintable(a->filename));
        }
    }
    // Whether the copy a page reads for a holds the bytes of a's own record in the backup.
    static bool holdsItsRecord(const BackupManifest& m, const _MsgAttachment& a)
    {
        const auto* node = m.findNode("MediaDomain", a.filename.mid(2));
        const QString own = TestEnv::tempDir() + "/own";
        QFile::remove(own);
        if (!node)
            return false;
        BackupCacheCopy::copyWithLogThrow(m, node, own);
        QFile x(own), y(a._path);
        return x.open(QIODevice::ReadOnly) && y.open(QIODevice::ReadOnly) && x.readAll() == y.readAll();
    }

    // A picture whose stored copy turns unreadable after a first load: the copy of that load no
    // longer stands for it, the pages find it marked, and once it reads again a load copies it.
    void anUnreadableCopyIsTriedAgain()
    {
        const QString dir = GenBackup::make({ "--demo" });
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo();
        const QString rel = "Library/SMS/Attachments/25/01/DEMO-ATTACHMENT-0001/IMG_4101.JPG";
        const QString stored = m.storedFilePath(m.findNode("MediaDomain", rel)->item);
        QFile original(stored);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray bytes = original.readAll();
        original.close();
        const QDir cache(BkCacheDb::cacheDir().absoluteFilePath(m.dirPathMd5()));
        const QString copy = cache.absoluteFilePath("file-relay/var/mobile/" + rel);
        const auto load = [&](int result) {
            ModalAnswerer answerer;
            ProgressForm form;
            ITunesCacheSMSThread t(m, form);
            t.start();
            const int got = form.exec();
            t.wait();
            MsgData data;
            IOS6MessageDb(cache, _CountryInfo(), false).messages(data, 0);
            return got == result ? MsgCopyMarks::apply(data, cache) : -1;
        };
        QCOMPARE(load(1), 0);
        QVERIFY(QFileInfo::exists(copy));
        QVERIFY(QFile::remove(stored) && QFile::link("/proc/self/mem", stored));
        QCOMPARE(load(0), 1);
        QVERIFY(!QFileInfo::exists(copy));
        QVERIFY(QFile::remove(stored));
        QVERIFY(original.open(QIODevice::WriteOnly));
        original.write(bytes);
        original.close();
        QCOMPARE(load(1), 0);
        QFile again(copy);
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), bytes);
    }

    // A backup replaced at the same path by one whose files carry the same record times: the
    // cache must not stand in for the new files, and a write-back road copies afresh anyway.
    void replacedBackupIsCopiedAgain()
    {
        const QString dir = GenBackup::make({});
        auto cacheOnce = [&](bool fresh) {
            BackupManifest m(dir);
            m.readManifestInfo();
            m.parseInfo();
            ProgressForm form;
            ITunesCacheSMSThread t(m, form);
            t.setFresh(fresh);
            t.start();
            const int result = form.exec();
            t.wait();
            QFile f(t.cacheDir().absoluteFilePath("file-relay/var/mobile/Library/SMS/sms.db"));
            return result == 1 && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo();
        const QString stored = m.storedFilePath(m.smsNode->item);
        QVERIFY(cacheOnce(false).startsWith("SQLite format 3"));
        // The stored file replaced (as a new backup brings it), its record untouched.
        const QString replacement = stored + ".new";
        QFile f(replacement);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("the newer database");
        f.close();
        QVERIFY(QFile::remove(stored) && QFile::rename(replacement, stored));
        QCOMPARE(cacheOnce(false), QByteArray("the newer database"));
        // A cached copy changed by the program itself is not written back either.
        const QString cached = BkCacheDb::cacheDir().absoluteFilePath(m.dirPathMd5())
            + "/file-relay/var/mobile/Library/SMS/sms.db";
        QFile c(cached);
        QVERIFY(c.open(QIODevice::Append));
        c.write(" changed in the cache");
        c.close();
        QCOMPARE(cacheOnce(true), QByteArray("the newer database"));
    }

    // A stored file changed in place between two loads, as another program rewrites it with the
    // same size and puts its times back, on a disk that keeps whole seconds and no change time: its
    // stamp in the cache is made to match it again, as such a disk would show it. Where change
    // times prove the file unchanged, that stamp decides and the file is not read again. Rewritten
    // while a load reads it, the copy is not kept and the load says so; the next load copies it.
    void aFileRewrittenInPlace_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("file"); // domain:path of the record
        // "rewrite", "none", "older cache" (made before contents), "older naming" (made before the
        // places of copies, with another record's bytes in the copy), "rewrite while read", "rewrite
        // after read" (while the load reads the files after it), or "written just before" the load
        // (", rewritten" after it)
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("copiedAgain");
        QTest::addColumn<bool>("changeTimes"); // on a disk whose change times prove, else as exFAT
        const QStringList encrypted { "--password", "pw", "--iter", "5", "--dpic", "5" };
        const QString sms = "HomeDomain:Library/SMS/sms.db";
        QTest::newRow("sms.db rewritten") << QStringList {} << sms << "rewrite" << true << false;
        QTest::newRow("encrypted, sms.db rewritten") << encrypted << sms << "rewrite" << true << false;
        QTest::newRow("mbdb, sms.db rewritten")
            << QStringList { "--layout", "mbdb" } << sms << "rewrite" << true << false;
        QTest::newRow("address book rewritten")
            << QStringList {} << "HomeDomain:Library/AddressBook/AddressBook.sqlitedb"
            << "rewrite" << true << false;
        QTest::newRow("log of sms.db rewritten")
            << QStringList { "--put", "HomeDomain:Library/SMS/sms.db-wal=LOG" } << sms + "-wal"
            << "rewrite" << true << false;
        QTest::newRow("sms.db unchanged") << QStringList {} << sms << "none" << false << false;
        QTest::newRow("encrypted, sms.db unchanged") << encrypted << sms << "none" << false << false;
        QTest::newRow("cache made before contents")
            << QStringList {} << sms << "older cache" << true << false;
        // Made when "a:b.JPG" and "ab.JPG" became one file, holding the first one's bytes.
        const QStringList shared { "--demo", "--attachment-name", "1=shared/a:b.JPG", "--attachment-name",
            "2=shared/ab.JPG" };
        const QString ab = "MediaDomain:Library/SMS/Attachments/shared/ab.JPG";
        QTest::newRow("cache made before places, two records at one")
            << shared << ab << "older naming" << true << false;
        QTest::newRow("change times: sms.db not read again")
            << QStringList {} << sms << "rewrite" << false << true;
        // Loaded as soon as written, its change time could not prove it then: read once more, then not.
        QTest::newRow("change times: sms.db loaded as soon as written")
            << QStringList {} << sms << "written just before" << false << true;
        // Rewritten in place within the clock tick of that load: its stamp tells nothing; read again.
        QTest::newRow("change times: sms.db rewritten within the tick of its load")
            << QStringList {} << sms << "written just before, rewritten" << true << true;
        QTest::newRow("sms.db rewritten while read")
            << QStringList {} << sms << "rewrite while read" << true << false;
        QTest::newRow("change times: sms.db rewritten while read")
            << QStringList {} << sms << "rewrite while read" << true << true;
        QTest::newRow("encrypted, address book rewritten while read")
            << encrypted << "HomeDomain:Library/AddressBook/AddressBook.sqlitedb"
            << "rewrite while read" << true << false;
        QTest::newRow("log of sms.db rewritten while read")
            << QStringList { "--put", "HomeDomain:Library/SMS/sms.db-wal=LOG" } << sms + "-wal"
            << "rewrite while read" << true << false;
        // An attachment, never rewritten in place, is copied without a digest: its stamp decides.
        const QString picture = "MediaDomain:Library/SMS/Attachments/25/01/DEMO-ATTACHMENT-0001/IMG_4101.JPG";
        QTest::newRow("change times: an attachment rewritten while read")
            << QStringList { "--demo" } << picture << "rewrite while read" << true << true;
        QTest::newRow("change times: sms.db rewritten while the load reads the files after it")
            << QStringList { "--demo" } << sms << "rewrite after read" << true << true;
    }
    void aFileRewrittenInPlace()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, file);
        QFETCH(QString, change);
        QFETCH(bool, copiedAgain);
        QFETCH(bool, changeTimes);
        SimulatedDisk disk(
            changeTimes ? SimulatedDisk::Kind::ChangeTimes : SimulatedDisk::Kind::NoChangeTimes);
        std::optional<MockClock> later; // the backup's files written long before it is loaded
        const bool justWritten = change.startsWith("written just before");
        if (changeTimes && !justWritten)
            later.emplace(QDateTime::currentDateTime().addDays(1));
        const QString log = TestEnv::tempDir() + "/sms.db-wal";
        QVERIFY(writeFile(log, QByteArray(4096, 'l')));
        const QString dir = GenBackup::make(args.replaceInStrings("=LOG", "=" + log));
        BackupManifest m(dir);
        m.readManifestInfo();
        if (m.IsEncrypted)
            QVERIFY(m.setPasscode("pw"));
        m.parseInfo();
        const QString rel = file.section(':', 1);
        const BackupManifest::_FileNode* node = m.findNode(file.section(':', 0, 0), rel);
        QVERIFY(node);
        const QString stored = m.storedFilePath(node->item);
        const QDir cache(BkCacheDb::cacheDir().absoluteFilePath(m.dirPathMd5()));
        const QString copy = cache.absoluteFilePath("file-relay/var/mobile/" + rel);
        bool written = false;
        bool seen = false;
        if (change.startsWith("rewrite ") && change.endsWith(" read"))
            BackupCacheCopy::setWhileReading([&](const QString& path) {
                const bool now = change == "rewrite while read" ? path == stored : seen && path != stored;
                seen = seen || path == stored;
                written = written || (now && rewriteKeepingTimes(stored));
            });
        if (justWritten) // its change time now
            QVERIFY(QFile::setPermissions(stored, QFile::permissions(stored)));
        QString shown;
        const int result = loadOnce(m, &shown);
        BackupCacheCopy::setWhileReading(nullptr);
        QCOMPARE(written, change.endsWith(" read"));
        QCOMPARE(result, written ? 0 : 1);
        QCOMPARE(QFileInfo::exists(copy), !written);
        QVERIFY2((shown.contains(stored
                      + " changed while it was read: another program is writing into the "
                        "backup. Load it again.")
                     && shown.contains("Record: " + file.section(':', 0, 0) + " " + rel))
                == written,
            qPrintable(shown));
        if (change == "older naming")
            QVERIFY(copyStored(m, "MediaDomain", "Library/SMS/Attachments/shared/a:b.JPG", copy));
        // A marker at the end of the copy tells whether the next load made it again.
        QFile c(copy);
        if (!written) {
            QVERIFY(c.open(QIODevice::Append));
            c.write("marker");
            c.close();
        }
        if (change == "rewrite" || change == "written just before, rewritten")
            QVERIFY(rewriteKeepingTimes(stored));
        if (change == "written just before, rewritten") // its change time as in the tick of the load
            QVERIFY(recordStampAsItStands(cache, node->item.backupFileName(), stored, {}));
        if (justWritten)
            later.emplace(QDateTime::currentDateTime().addDays(1));
        else
            QVERIFY(recordStampAsItStands(cache, node->item.backupFileName(), stored,
                change == "older cache"        ? QStringList { "content" }
                    : change == "older naming" ? QStringList { "copy" }
                                               : QStringList {}));
        QCOMPARE(loadOnce(m), 1);
        if (change == "written just before")
            QCOMPARE(cachedStamp(cache, node->item.backupFileName()), BackupCacheCopy::stampOf(stored));
        QVERIFY(c.open(QIODevice::ReadOnly));
        const QByteArray bytes = c.readAll();
        QCOMPARE(!bytes.endsWith("marker"), copiedAgain);
        QFile s(stored);
        if (copiedAgain && !m.IsEncrypted && s.open(QIODevice::ReadOnly))
            QCOMPARE(bytes, s.readAll());
    }

    // Two names of one file (as a disk that ignores case keeps "A.JPG" and "a.JPG"): the copy of
    // the second record is refused, naming the first, whose copy stays as it is.
    void oneFileUnderTwoNamesHoldsOneRecord()
    {
        const QString dir = GenBackup::make({ "--demo" });
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo();
        const QString first = "Library/SMS/Attachments/25/01/DEMO-ATTACHMENT-0001/IMG_4101.JPG";
        const QString second = "Library/SMS/Attachments/4a/02/DEMO-ATTACHMENT-0002/IMG_4102.JPG";
        const QString cache = TestEnv::tempDir();
        BkCacheDb db(cache + "/manifest.db");
        BackupCacheCopy copier(m, db);
        copier.copyThrow(m.findNode("MediaDomain", first), cache + "/A.JPG");
        const QByteArray bytes = readFile(cache + "/A.JPG");
        QVERIFY(::link(QFile::encodeName(cache + "/A.JPG").constData(),
                    QFile::encodeName(cache + "/a.JPG").constData())
            == 0);
        try {
            copier.copyThrow(m.findNode("MediaDomain", second), cache + "/a.JPG");
            QFAIL("the second record's copy took the first one's file");
        } catch (const std::exception& e) {
            QVERIFY2(QString::fromUtf8(e.what()).endsWith("holds the copy of MediaDomain " + first + "."),
                e.what());
        }
        QCOMPARE(readFile(cache + "/A.JPG"), bytes);
    }

    // A database is copied with its write-ahead log beside it; a stale log of an earlier copy goes.
    void logGoesWithItsDatabase()
    {
        const QString log = TestEnv::tempDir() + "/sms.db-wal";
        QFile f(log);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("log bytes");
        f.close();
        const QString dir = GenBackup::make({ "--put", "HomeDomain:Library/SMS/sms.db-wal=" + log });
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo();
        ProgressForm form;
        ITunesCacheSMSThread t(m, form);
        t.start();
        QCOMPARE(form.exec(), 1);
        t.wait();
        QFile cachedLog(t.cacheDir().absoluteFilePath("file-relay/var/mobile/Library/SMS/sms.db-wal"));
        QVERIFY(cachedLog.open(QIODevice::ReadOnly));
        QCOMPARE(cachedLog.readAll(), QByteArray("log bytes"));
    }

    static QByteArray readFile(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static bool writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }
    // A load of the message folders; shown gets the text of its error box, if any.
    static int loadOnce(BackupManifest& m, QString* shown = nullptr)
    {
        ModalAnswerer answerer;
        ProgressForm form;
        ITunesCacheSMSThread t(m, form);
        t.start();
        const int result = form.exec();
        t.wait();
        if (shown && result == 0 && answerer.waitHandled(1))
            *shown = answerer.seen().value(0);
        return result;
    }
    // Writes the bytes of the record domain:rel of a plain backup over the file at to.
    static bool copyStored(const BackupManifest& m, const char* domain, const QString& rel, const QString& to)
    {
        const auto* node = m.findNode(domain, rel);
        QFile from(node ? m.storedFilePath(node->item) : QString());
        return from.open(QIODevice::ReadOnly) && writeFile(to, from.readAll());
    }
    // Changes a byte in the middle of the file at path, in place, and puts its times back.
    static bool rewriteKeepingTimes(const QString& path)
    {
        struct stat st;
        if (::stat(QFile::encodeName(path).constData(), &st) != 0)
            return false;
        QFile f(path);
        if (!f.open(QIODevice::ReadWrite) || !f.seek(st.st_size / 2))
            return false;
        const char flipped = char(~f.peek(1).at(0));
        if (!f.write(&flipped, 1))
            return false;
        f.close();
        const struct timespec times[2] = { st.st_atim, st.st_mtim };
        return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
    }
    // Records stored's stamp as it stands for name in the cache of the message folder, as a disk
    // that keeps no change time shows it; the columns older names are taken out, as an older cache
    // has none.
    static QString cachedStamp(const QDir& cache, const QString& name)
    {
        Sqlite3DB db;
        db.openThrow(cache.absoluteFilePath("manifest.db"), SQLITE_OPEN_READONLY);
        Sqlite3Cursor c
            = db.queryThrow(Sqlite3Sql("select stamp from file_stamp where name=?").addTextParam(name));
        return c.moveNext() ? c.getText(0) : QString();
    }

    static bool recordStampAsItStands(
        const QDir& cache, const QString& name, const QString& stored, const QStringList& older)
    {
        try {
            Sqlite3DB db;
            db.openThrow(cache.absoluteFilePath("manifest.db"), SQLITE_OPEN_READWRITE);
            // A stamp recorded of a file not settled yet stays marked so.
            db.executeThrow(Sqlite3Sql("update file_stamp set stamp=? || (case when stamp like '% unsettled' "
                                       "then ' unsettled' else '' end) where name=?")
                                .addTextParam(BackupCacheCopy::stampOf(stored))
                                .addTextParam(name));
            for (const QString& column : older)
                if (db.queryThrow(Sqlite3Sql("select 1 from pragma_table_info('file_stamp') where name=?")
                                      .addTextParam(column))
                        .moveNext())
                    db.executeThrow("alter table file_stamp drop column " + column);
            return true;
        } catch (const std::exception& e) {
            qWarning("%s", e.what());
            return false;
        }
    }

    void backupWithoutMessagesFails()
    {
        const QString dir = GenBackup::make({ "--no-well-known" });
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo();
        ModalAnswerer answerer;
        ProgressForm form;
        ITunesCacheSMSThread t(m, form);
        t.start();
        QCOMPARE(form.exec(), 0);
        t.wait();
        QVERIFY(answerer.waitHandled(1));
        QVERIFY2(answerer.seen().value(0).contains("IDS_NOT_CONTAIN_SMS_DB_IN_ITUNES_BACKUP")
                || answerer.seen().value(0).contains("Found no message database file in this iTunes backup."),
            qPrintable(answerer.seen().value(0)));
    }
};

QTEST_MAIN(TestITunesCacheSMSThread)
#include "TestITunesCacheSMSThread.moc"
