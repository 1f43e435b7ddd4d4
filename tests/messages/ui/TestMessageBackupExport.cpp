#include "app/IProgressSink.h"
#include "app/PrivateCopyNames.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/support/GenBackup.h"
#include "backup/support/HoldEnds.h"
#include "backup/write/BackupWriteNames.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/modern/IOS6MessageMerge.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgData.h"
#include "messages/support/MsgFixtures.h"
#include "messages/ui/MessageBackupExport.h"
#include "messages/ui/NotAsWrittenAttachments.h"
#include "messages/ui/support/MsgUiFixtures.h"
#include "support/FailingDisk.h"
#include "support/TestEnv.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QPushButton>
#include <QtTest>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <unistd.h>

using namespace MsgFixtures;
using namespace MsgUiFixtures;

namespace
{

class Cancelling : public IProgressSink
{
public:
    bool isCancelled() const override { return true; }
    void updateProgress(const QString&, int, const QString&) override { }
};

// Every stored file of a backup folder but the manifest, by relative path.
QHash<QString, QByteArray> storedFiles(const QString& dir)
{
    QHash<QString, QByteArray> out;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(dir).relativeFilePath(path);
        if (rel.startsWith("Manifest."))
            continue;
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        out.insert(rel, QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1));
    }
    return out;
}

// The user confirms a cancel on the write's form at the first sync once the commit has put the new
// manifest in place; the syncs from then on fail when asked to.
struct CancelInCommit {
    static inline QString manifest;
    static inline ino_t before = 0;
    static inline ProgressForm* form = nullptr;
    static inline bool syncsFail = false;
    static inline const FailingDisk::SmallDisk* temporaries = nullptr; // made read-only then

    static int sync(int fd)
    {
        if (BackupWriteNames::stampOf(manifest).ino == before)
            return ::fsync(fd);
        if (const FailingDisk::SmallDisk* disk = std::exchange(temporaries, nullptr))
            disk->setReadOnly(true);
        if (ProgressForm* f = std::exchange(form, nullptr))
            QMetaObject::invokeMethod(f->findChild<QPushButton*>("btnCancel"), &QAbstractButton::click,
                Qt::BlockingQueuedConnection);
        return syncsFail ? (errno = EIO, -1) : ::fsync(fd);
    }
};

// Three messages deleted into Recently Deleted (out of their chat), a row there naming a message that
// is gone, and a table of the phone's naming messages by a declared reference.
const char* const kRecentlyDeleted
    = ";insert into chat_recoverable_message_join (chat_id, message_id, delete_date) select chat_id,"
      " message_id, 7 from chat_message_join where message_id in (select rowid from message"
      " order by rowid limit 3 offset 4);"
      "insert into recoverable_message_part select chat_id, message_id, 0, 7, cast(message_id as blob),"
      " 0 from chat_recoverable_message_join;"
      "delete from chat_message_join where message_id in"
      " (select message_id from chat_recoverable_message_join);"
      "insert into chat_recoverable_message_join values (1, (select min(rowid) + 1 from message"
      " where rowid + 1 not in (select rowid from message)), 7, 0);"
      "create table note (about INTEGER REFERENCES message (ROWID), t TEXT);"
      "insert into note select rowid, guid from message limit 2";

// Each row of those tables by the guid of the message it names ('-' for none); %1 is "join" (the
// rows naming a message) or "left join" (every row).
const char* const kMessageRefs
    = "select group_concat(k, ',') from (select k from ("
      "select 'j' || ifnull(m.guid, '-') as k from chat_recoverable_message_join x"
      " %1 message m on m.rowid = x.message_id union all"
      " select 'p' || ifnull(m.guid, '-') from recoverable_message_part x"
      " %1 message m on m.rowid = x.message_id union all"
      " select 'n' || ifnull(m.guid, '-') || x.t from note x %1 message m on m.rowid = x.about)"
      " order by k)";

// The phone's record of its last failed message (the last message), or of one that is gone, beside a
// row of another key; %1 is the row number it names.
const char* const kLastFailed
    = ";insert into kvtable (key, value) values ('lastFailedMessageRowID', (select %1 from message)),"
      " ('lastFailedMessageDate', (select max(date) from message)), ('other', 42)";

// Each row of kvtable, the last failed message by its guid.
const char* const kKeyValues
    = "select group_concat(k, ',') from (select key || '=' || ifnull((select guid from message where rowid ="
      " kvtable.value and key = 'lastFailedMessageRowID'), value) as k from kvtable order by key)";

QList<_MsgMessage*> chosen(MsgData& data)
{
    const QString src = generate("ios6");
    IOS6MessageDb(QDir(src), _CountryInfo(), false).messages(data, 0);
    return data.messages();
}

} // namespace

class TestMessageBackupExport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mergeOrder_data()
    {
        QTest::addColumn<qint64>("rowA");
        QTest::addColumn<int>("dateA");
        QTest::addColumn<qint64>("rowB");
        QTest::addColumn<int>("dateB");
        QTest::addColumn<bool>("aFirst");
        QTest::newRow("window: rowid wins over a later date")
            << qint64(1000) << 220 << qint64(1020) << 100 << true;
        QTest::newRow("21 rowids apart: dates decide") << qint64(1000) << 220 << qint64(1021) << 100 << false;
        QTest::newRow("121 s apart: dates decide") << qint64(1000) << 221 << qint64(1020) << 100 << false;
        QTest::newRow("rowid 0: dates decide") << qint64(0) << 220 << qint64(10) << 100 << false;
    }
    void mergeOrder()
    {
        QFETCH(qint64, rowA);
        QFETCH(int, dateA);
        QFETCH(qint64, rowB);
        QFETCH(int, dateB);
        QFETCH(bool, aFirst);
        _MsgInsertData a { rowA, dateA, nullptr, nullptr, false, false, 0 };
        _MsgInsertData b { rowB, dateB, nullptr, nullptr, false, false, 1 };
        QCOMPARE(compareInsertDataLess(a, b), aFirst);
        QCOMPARE(compareInsertDataLess(b, a), !aFirst);
        // Ties: the old row first, then the original order; never both ways.
        _MsgInsertData old { 5, 7, nullptr, nullptr, true, false, 3 };
        _MsgInsertData mine { 500, 7, nullptr, nullptr, false, false, 0 };
        QVERIFY(compareInsertDataLess(old, mine) && !compareInsertDataLess(mine, old));
        _MsgInsertData twin = old;
        twin.index = 4;
        QVERIFY(compareInsertDataLess(old, twin) && !compareInsertDataLess(twin, old));
    }

    void mergeBuildsOneOrderedDatabase()
    {
        const QString target
            = generateWith("make_deleted_sms.py", { "--delete-every", "0", "--messages", "40" });
        IOS6MessageDb db(QDir(target), _CountryInfo(), false);
        MsgData data;
        const QList<_MsgMessage*> messages = chosen(data);
        IOS6MessageMerge merge(_CountryInfo(), messages, db);
        merge.runThrow(nullptr);
        QVERIFY(QFile::exists(merge.workPath));
        QVERIFY(merge.restoredCount > 0);
        QCOMPARE(merge.items.first().relativePath, QString("Library/SMS/sms.db"));
        // Row ids rise with time, and every message is there once.
        QCOMPARE(querySql(merge.workPath, "select count(*) from message").toInt(), 40 + merge.restoredCount);
        QCOMPARE(querySql(merge.workPath,
                     "select count(*) from message a join message b on a.rowid < b.rowid and a.date > b.date "
                     "+ 120000000000"),
            QString("0"));
        QCOMPARE(
            querySql(merge.workPath, "select count(*) from message where has_dd_results<>0"), QString("0"));
        // A second merge gets its own work file; the first is never overwritten.
        IOS6MessageMerge again(_CountryInfo(), messages, db);
        again.runThrow(nullptr);
        QVERIFY(again.workPath != merge.workPath);
        merge.removeWorkFile();
        again.removeWorkFile();
        QVERIFY(!QFile::exists(merge.workPath));
    }

    // Merging the same messages into a database that holds them already adds no row, yet counts
    // them; chats and handles keep the row ids of the source while messages are numbered anew.
    void mergeKeepsRowidsAndSkipsKnownGuids()
    {
        const QString target
            = generateWith("make_deleted_sms.py", { "--delete-every", "0", "--messages", "10" });
        const auto rows = [](const QString& path, const QString& table, const QString& upTo) {
            return querySql(path,
                QString(
                    "select group_concat(k, ',') from (select rowid || ':' || %1 as k from %2 where rowid "
                    "<= %3 order by rowid)")
                    .arg(table == "chat" ? "guid" : "id", table, upTo));
        };
        IOS6MessageDb db(QDir(target), _CountryInfo(), false);
        MsgData data;
        const QList<_MsgMessage*> messages = chosen(data);
        IOS6MessageMerge first(_CountryInfo(), messages, db);
        first.runThrow(nullptr);
        const int n = querySql(first.workPath, "select count(*) from message").toInt();
        QCOMPARE(querySql(first.workPath, "select min(rowid) || ',' || max(rowid) from message"),
            QString("1,%1").arg(n));
        for (const QString table : { "chat", "handle" }) {
            const QString last = querySql(smsPath(target), "select max(rowid) from " + table);
            QCOMPARE(rows(first.workPath, table, last), rows(smsPath(target), table, last));
        }

        const QString again = TestEnv::tempDir();
        QVERIFY(QDir().mkpath(QFileInfo(smsPath(again)).absolutePath()));
        QVERIFY(QFile::copy(first.workPath, smsPath(again)));
        QFile::setPermissions(smsPath(again), QFile::ReadOwner | QFile::WriteOwner);
        IOS6MessageDb db2(QDir(again), _CountryInfo(), false);
        IOS6MessageMerge second(_CountryInfo(), messages, db2);
        second.runThrow(nullptr);
        QCOMPARE(second.restoredCount, first.restoredCount);
        QCOMPARE(querySql(second.workPath, "select count(*) from message").toInt(), n);
        QCOMPARE(querySql(second.workPath,
                     "select count(*) from (select guid from message group by guid "
                     "having count(*) > 1)"),
            QString("0"));
        first.removeWorkFile();
        second.removeWorkFile();
    }

    // A merge into a phone's database leaves its other tables as the phone keeps them: its triggers
    // stay in the schema and act on none of the rebuild's deletes and inserts, so no deletion record
    // names a message that is there and no row is left out; rows naming messages by row number name
    // the same messages after the renumbering, and those naming a message that is gone go with it.
    void mergeLeavesThePhonesOwnTables_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("setup");
        QTest::newRow("iOS 13 (real), its deletion records") << QString("real") << QString();
        QTest::newRow("a trigger that ignores inserts")
            << QString()
            << QString("create trigger ignore_all before insert on message begin select raise(ignore); end");
        QTest::newRow("Recently Deleted (iOS 16 tables), a table naming messages")
            << QString() << QString("recoverable");
        QTest::newRow("the last failed message (iOS 16 kvtable)") << QString() << QString("last failed");
        QTest::newRow("the last failed message, gone") << QString() << QString("last failed, gone");
    }
    void mergeLeavesThePhonesOwnTables()
    {
        QFETCH(QString, target);
        QFETCH(QString, setup);
        const bool recoverable = setup == "recoverable";
        const bool lastFailed = setup.startsWith("last failed");
        const bool gone = setup.endsWith("gone");
        if (target == "real" || recoverable || lastFailed)
            QM_REQUIRE_SHARED();
        const QString folder = target == "real"
            ? cacheFolderWith(TestEnv::realFixture("magnet-ctf-2020-sms/sms.db"))
            : generateWith("make_deleted_sms.py", { "--messages", "40" });
        if (recoverable) // the tables as the phone declares them
            setup = querySql(TestEnv::copyToTemp(TestEnv::realFixture("imessagedb/chat.db")),
                        "select group_concat(sql, ';') from sqlite_master where name in "
                        "('chat_recoverable_message_join', 'recoverable_message_part')")
                + kRecentlyDeleted;
        if (lastFailed) // the table and its trigger as the phone declares them
            setup = querySql(TestEnv::copyToTemp(TestEnv::realFixture("imessagedb/chat.db")),
                        "select group_concat(sql, ';') from sqlite_master where name in "
                        "('kvtable', 'update_last_failed_message_date')")
                + QString(kLastFailed).arg(gone ? "max(rowid) + 1" : "max(rowid)");
        QVERIFY(setup.isEmpty() || execSql(smsPath(folder), setup));
        const QString db = smsPath(folder);
        const auto refs = [](const QString& path, const char* join) {
            return querySql(path, QString(kMessageRefs).arg(join));
        };
        const QString refsBefore = recoverable ? refs(db, "join") : QString();
        const QString keyValuesBefore = querySql(db, kKeyValues);
        QVERIFY2(!lastFailed
                || keyValuesBefore.contains(
                    QRegularExpression(gone ? "RowID=\\d+,other" : "RowID=[0-9A-F-]{36},")),
            qPrintable(keyValuesBefore));
        const auto triggers = [](const QString& path) {
            return querySql(path,
                "select group_concat(name || sql) from (select * from sqlite_master where type = "
                "'trigger' order by name)");
        };
        const QString triggersBefore = triggers(db);
        const int before = querySql(db, "select count(*) from message").toInt();
        IOS6MessageDb device(QDir(folder), _CountryInfo(), false);
        MsgData data;
        const QList<_MsgMessage*> messages = chosen(data);
        IOS6MessageMerge merge(_CountryInfo(), messages, device);
        merge.runThrow(nullptr);
        const QString work = merge.workPath;
        QCOMPARE(querySql(work, "select count(*) from message").toInt(), before + merge.restoredCount);
        QCOMPARE(triggers(work), triggersBefore);
        for (const char* t :
            { "sync_deleted_messages", "deleted_messages", "sync_deleted_attachments", "sync_deleted_chats" })
            QCOMPARE(querySql(work, QString("select count(*) from %1").arg(t)),
                QString(target == "real" ? "0" : ""));
        if (recoverable)
            QCOMPARE(refs(work, "left join"), refsBefore);
        if (lastFailed)
            QCOMPARE(querySql(work, kKeyValues), gone ? QString("other=42") : keyValuesBefore);
        QCOMPARE(querySql(work, "pragma quick_check"), QString("ok"));
        merge.removeWorkFile();
    }

    // A merge that fails says why (the disk's reason, or SQLite's where the system gives none),
    // and leaves nothing beside the device's database.
    void mergeFailuresLeaveNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("told"); // empty: no error, a cancel
        QTest::newRow("no usable message") << QString() << QString("1");
        QTest::newRow("cancelled") << QString("cancel") << QString();
        QTest::newRow("a file size limit") << QString("limit") << QString("failed. File too large");
        QTest::newRow("a full disk") << QString("full") << QString("failed. No space left on device");
        QTest::newRow("a read-only disk") << QString("read-only") << QString("failed. Read-only file system");
        QTest::newRow("a damaged leaf")
            << QString("damaged") << QString("SQLite finds the database damaged (*** in database main");
        QTest::newRow("a table that leaves out rows") << QString(
            "leaves out") << QString("rows written into its table chat_message_join are not there");
        // The private copy of a backup's database is named as the backup's file (STORED), never the
        // copy or the merge's work copy of it.
        QTest::newRow("a damaged leaf of a backup's database")
            << QString("damaged, from a backup")
            << QString("Cannot merge the messages into STORED: SQLite finds the database damaged (");
        QTest::newRow("a view in place of a table of a backup's database")
            << QString("view, from a backup") << QString("Cannot read STORED: its \"message\" is a view");
    }
    void mergeFailuresLeaveNothing()
    {
        QFETCH(QString, fault);
        QFETCH(QString, told);
        const QStringList damage
            = fault.startsWith("damaged") ? QStringList { "--drop-cell", "message" } : QStringList();
        QString folder = generateWith(
            "make_deleted_sms.py", QStringList { "--delete-every", "0", "--messages", "10" } + damage);
        // A chat keeps one message and leaves out the others without a word.
        QVERIFY(fault != "leaves out"
            || execSql(smsPath(folder),
                "drop table chat_message_join; create table chat_message_join (chat_id INTEGER, message_id "
                "INTEGER, message_date INTEGER DEFAULT 0, UNIQUE (chat_id) ON CONFLICT IGNORE)"));
        QVERIFY(!fault.startsWith("view")
            || execSql(smsPath(folder),
                "alter table message rename to Stored; create view message as select * from Stored"));
        FailingDisk::SmallDisk disk(1 << 20);
        if (fault == "full" || fault == "read-only") { // the database on a small disk of its own
            if (!disk.isMounted())
                QSKIP(qPrintable(disk.whyNot()));
            QVERIFY(QDir().mkpath(QFileInfo(smsPath(disk.path())).absolutePath())
                && QFile::copy(smsPath(folder), smsPath(disk.path())));
            folder = disk.path();
        }
        IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
        const bool fromBackup = fault.endsWith("from a backup");
        const QString stored = TestEnv::tempDir() + "/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28";
        if (fromBackup) // as the load of a backup notes its copy
            PrivateCopyNames::note(db.iosDbPath(), stored, "Record: HomeDomain Library/SMS/sms.db",
                PrivateCopyNames::Texts::DatabaseErrors);
        told.replace("STORED", stored);
        MsgData data;
        _MsgMessage orphan;
        orphan.guid = "ORPHAN";
        const QList<_MsgMessage*> messages = fault.isEmpty() ? QList<_MsgMessage*> { &orphan } : chosen(data);
        if (fault == "full")
            disk.fill();
        QVERIFY(fault != "read-only" || disk.setReadOnly(true));
        const QStringList before = QDir(QFileInfo(db.iosDbPath()).dir()).entryList(QDir::Files);
        IOS6MessageMerge merge(_CountryInfo(), messages, db);
        Cancelling cancel;
        QString error;
        try {
            const FailingDisk::SizeLimit limit(fault == "limit" ? 0 : 1LL << 40); // else none to speak of
            merge.runThrow(fault == "cancel" ? &cancel : nullptr);
        } catch (const std::runtime_error& e) {
            error = QString::fromUtf8(e.what());
        } catch (int) { // a cancel
        }
        QVERIFY2(told.isEmpty() ? error.isEmpty() : error.contains(told), qPrintable(error));
        QVERIFY2(!fromBackup || !error.contains(db.iosDbPath()), qPrintable(error));
        db.close();
        QCOMPARE(QDir(QFileInfo(db.iosDbPath()).dir()).entryList(QDir::Files), before);
    }

    void attachmentPathsStayInTheirDomain()
    {
        const QString target
            = generateWith("make_deleted_sms.py", { "--delete-every", "0", "--messages", "5" });
        IOS6MessageDb db(QDir(target), _CountryInfo(), false);
        MsgData data;
        QList<_MsgMessage*> messages = chosen(data);
        const QString file = TestEnv::tempDir() + "/pic.jpg";
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write("jpeg");
        f.close();
        _MsgAttachment good, bad;
        good.rowid = 1;
        good.guid = "ATT-GOOD";
        good.filename = "~/Library/SMS/Attachments/ab/pic.jpg";
        good._path = file;
        bad = good;
        bad.rowid = 2;
        bad.guid = "ATT-BAD";
        bad.filename = "~/Library/SMS/../../../etc/pic.jpg";
        messages.first()->_attachments.insert(good.guid, &good);
        messages.first()->_attachments.insert(bad.guid, &bad);
        IOS6MessageMerge merge(_CountryInfo(), messages, db);
        merge.runThrow(nullptr);
        merge.removeWorkFile();
        messages.first()->_attachments.clear();
        QStringList media;
        for (const IOS6MessageMerge::File& i : merge.items) {
            if (i.domain == "MediaDomain")
                media << i.relativePath;
        }
        QVERIFY(media.contains("Library/SMS/Attachments/ab/pic.jpg"));
        for (const QString& rel : media)
            QVERIFY2(!rel.contains(".."), qPrintable(rel));
    }

    // A chosen message's attachment whose copy is not what the phone wrote (damaged) goes into the
    // backup as it is, like the others, and is handed back named for the caller's last word. A cancel
    // confirmed once the commit is under way changes nothing: the write's success, or its error,
    // stands (and the next opening finishes a write the disk did not confirm).
    void exportIntoBackup_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<QString>("inCommit");
        const QStringList encrypted { "--password", "pw", "--iter", "5", "--dpic", "5" };
        QTest::newRow("plain") << QStringList() << false << "";
        QTest::newRow("encrypted") << encrypted << false << "";
        QTest::newRow("older manifest, encrypted")
            << QStringList { "--layout", "mbdb", "--password", "pw", "--iter", "5" } << false << "";
        QTest::newRow("plain, an attachment not as written") << QStringList() << true << "";
        QTest::newRow("encrypted, an attachment not as written") << encrypted << true << "";
        QTest::newRow("plain, a cancel in the commit") << QStringList() << false << "cancel";
        QTest::newRow("encrypted, a cancel in a commit the disk does not confirm")
            << encrypted << false << "cancel, syncs fail";
        // The write reached the backup: the object's decrypted manifest follows it without a copy.
        QTest::newRow("encrypted, the temporary folder read-only once the manifest is in place")
            << encrypted << false << "temporaries read-only";
    }
    void exportIntoBackup()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, damaged);
        QFETCH(QString, inCommit);
        const QString device
            = generateWith("make_deleted_sms.py", { "--delete-every", "0", "--messages", "30" });
        const QString dir = GenBackup::make(
            args + QStringList { "--put", "HomeDomain:Library/SMS/sms.db=" + smsPath(device) });
        QVERIFY(!dir.isEmpty());
        const QHash<QString, QByteArray> before = storedFiles(dir);
        MsgData data;
        const QList<_MsgMessage*> messages = chosen(data);
        _MsgAttachment cut = cutAttachment("cd07", "IMG_0007.JPG", 900001);
        QVERIFY(!cut._path.isEmpty());
        if (damaged)
            messages.last()->_attachments.insert(cut.guid, &cut);
        int merged = 0, forms = 0;
        QString failure;
        NotAsWrittenAttachments told;
        ModalAnswerer answerer;
        answerer.answer(QMessageBox::Yes); // to the cancel question, were it asked
        const bool temporaries = inCommit.startsWith("temporaries");
        std::optional<FailingDisk::SmallDisk> temp;
        const QByteArray tmpdir = qgetenv("TMPDIR");
        if (temporaries && !temp.emplace(64 * 1024 * 1024).isMounted())
            QSKIP(qPrintable(temp->whyNot()));
        if (temporaries)
            qputenv("TMPDIR", QFile::encodeName(temp->path()));
        const auto tmpBack = qScopeGuard([&] {
            if (temporaries)
                tmpdir.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmpdir);
        });
        {
            BackupManifest backup(dir);
            backup.readManifestInfo();
            if (backup.IsEncrypted)
                QVERIFY(backup.setPasscode("pw"));
            backup.parseInfo();
            CancelInCommit::manifest = dir + (backup.isMbdb() ? "/Manifest.mbdb" : "/Manifest.db");
            CancelInCommit::before = BackupWriteNames::stampOf(CancelInCommit::manifest).ino;
            CancelInCommit::syncsFail = inCommit.endsWith("fail");
            CancelInCommit::temporaries = temporaries ? &*temp : nullptr;
            BackupWriteNames::setSyncCall(CancelInCommit::sync);
            const auto restore = qScopeGuard([] { BackupWriteNames::setSyncCall(::fsync); });
            const HoldEnds ends;
            merged = MessageBackupExport::run(
                backup, messages,
                [&] {
                    auto form = std::make_unique<ProgressForm>();
                    form->setQuiet(true);
                    QObject::connect(form.get(), &QDialog::finished,
                        [&failure, f = form.get()](int r) { failure = r == 1 ? "" : f->resultText(); });
                    CancelInCommit::form
                        = ++forms == 3 && inCommit.startsWith("cancel") ? form.get() : nullptr;
                    return form;
                },
                nullptr, &told);
            // The write's hold ends beside the window: its end may wait on the backup's disk.
            QCOMPARE(ends.onWindowThread(), 0);
            QVERIFY(ends.elsewhere() > 0);
            CancelInCommit::form = nullptr;
            CancelInCommit::temporaries = nullptr;
            messages.last()->_attachments.remove(cut.guid);
            if (temporaries) { // the object reads the backup as written
                QVERIFY(temp->setReadOnly(false));
                backup.parseInfo();
                const QString same = TestEnv::tempDir() + "/same.db";
                backup.copyFile(backup.smsNode, same, nullptr, nullptr);
                QCOMPARE(querySql(same, "select count(*) from message").toInt(), 30 + merged);
            }
        }
        QCOMPARE(answerer.seen(), QStringList());
        if (inCommit.endsWith("fail")) {
            QCOMPARE(merged, -1);
            QCOMPARE(failure,
                QString("Cannot confirm that the write into %1 reached the disk: its folder could not be "
                        "synced. Input/output error. What was written may not be there; the backup is "
                        "checked when it is next opened.")
                    .arg(dir));
            merged = int(messages.size());
        }
        QVERIFY(merged > 0);
        QCOMPARE(MessageBackupExport::notAsWrittenText(told, merged),
            damaged
                ? QString("1 of the attachments is not what the phone wrote:\n"
                          "IMG_0007.JPG: The stored copy /bk/cd07 is not the file the phone wrote: it "
                          "ends without its padding.\n%1 Messages were written into the backup, with those "
                          "attachments as they are.")
                      .arg(merged)
                : QString());
        // Read back with the backup reader from a fresh object: the new messages are there.
        BackupManifest back(dir);
        back.readManifestInfo();
        if (back.IsEncrypted)
            QVERIFY(back.setPasscode("pw"));
        back.parseInfo();
        const QString out = TestEnv::tempDir() + "/back.db";
        back.copyFile(back.smsNode, out, nullptr, nullptr);
        QCOMPARE(querySql(out, "select count(*) from message").toInt(), 30 + merged);
        QCOMPARE(querySql(out, "pragma integrity_check"), QString("ok"));
        const BackupManifest::_FileNode* picture
            = back.findNode("MediaDomain", "Library/SMS/Attachments/cd07/IMG_0007.JPG");
        QCOMPARE(picture != nullptr, damaged);
        if (damaged) { // its bytes as they are
            back.copyFile(picture, out + ".jpg", nullptr, nullptr);
            QCOMPARE(bytesOf(out + ".jpg"), QByteArray("first half"));
        }
        // Every other stored file is byte-identical; only the database's stored copy changed, and
        // the attachment files of the merged messages were added.
        const QHash<QString, QByteArray> after = storedFiles(dir);
        QVERIFY(after.size() > before.size());
        int changed = 0;
        for (auto it = before.begin(); it != before.end(); ++it)
            changed += after.value(it.key()) != it.value();
        QCOMPARE(changed, 1);
    }

    void smsDbReplacedDuringTheMerge_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("plain") << QStringList();
        QTest::newRow("encrypted") << QStringList { "--password", "pw", "--iter", "5", "--dpic", "5" };
        QTest::newRow("older manifest, encrypted")
            << QStringList { "--layout", "mbdb", "--password", "pw", "--iter", "5" };
    }
    // Another program (which takes no lock) renames its own sms.db over the backup's while the
    // messages are merged into the copy read before: the write fails, naming the file, and that
    // program's file stays in place as it wrote it, with nothing else changed.
    void smsDbReplacedDuringTheMerge()
    {
        QFETCH(QStringList, args);
        const QString device
            = generateWith("make_deleted_sms.py", { "--delete-every", "0", "--messages", "30" });
        const QString dir = GenBackup::make(
            args + QStringList { "--put", "HomeDomain:Library/SMS/sms.db=" + smsPath(device) });
        QVERIFY(!dir.isEmpty());
        MsgData data;
        const QList<_MsgMessage*> messages = chosen(data);
        QString failure;
        int forms = 0;
        BackupManifest backup(dir);
        backup.readManifestInfo();
        if (backup.IsEncrypted)
            QVERIFY(backup.setPasscode("pw"));
        backup.parseInfo();
        const QString stored = backup.storedFilePath(backup.smsNode->item);
        const QByteArray theirs = bytesOf(stored) + "X";
        const QHash<QString, QByteArray> before = storedFiles(dir);
        const int merged = MessageBackupExport::run(backup, messages, [&] {
            // The third form is the write's: the merge has ended, the write not begun.
            if (++forms == 3) {
                QFile f(stored + ".theirs");
                if (f.open(QIODevice::WriteOnly) && f.write(theirs) == theirs.size() && f.flush())
                    ::rename(
                        QFile::encodeName(f.fileName()).constData(), QFile::encodeName(stored).constData());
            }
            auto form = std::make_unique<ProgressForm>();
            form->setQuiet(true);
            QObject::connect(form.get(), &QDialog::finished, [&failure, f = form.get()](int r) {
                if (r != 1)
                    failure = f->resultText();
            });
            return form;
        });
        QCOMPARE(forms, 3);
        QCOMPARE(merged, -1);
        QCOMPARE(failure,
            QString("Another program changed %1 while this write was under way: nothing was written.")
                .arg(stored));
        QCOMPARE(bytesOf(stored), theirs);
        QHash<QString, QByteArray> after = storedFiles(dir);
        const QString name = QDir(dir).relativeFilePath(stored);
        QCOMPARE(after.take(name), QCryptographicHash::hash(theirs, QCryptographicHash::Sha1));
        QVERIFY(before.contains(name));
        QHash<QString, QByteArray> others = before;
        others.remove(name);
        QCOMPARE(after, others);
        QVERIFY(!QFileInfo::exists(dir + "/Manifest.qmwrite"));
    }

    // A backup replaced at the same path by a newer one (its sms.db holds 315 messages, where the
    // first held 15): the second write starts from the newer database, not from the cache of the
    // first, so every message it held is still there.
    void replacedBackupKeepsItsMessages()
    {
        auto backupWith = [](int count) {
            const QString device = generateWith(
                "make_deleted_sms.py", { "--delete-every", "0", "--messages", QString::number(count) });
            return GenBackup::make({ "--put", "HomeDomain:Library/SMS/sms.db=" + smsPath(device) });
        };
        auto exportInto = [](const QString& dir, const QList<_MsgMessage*>& messages) {
            BackupManifest backup(dir);
            backup.readManifestInfo();
            backup.parseInfo();
            return MessageBackupExport::run(backup, messages, [] {
                auto form = std::make_unique<ProgressForm>();
                form->setQuiet(true);
                return form;
            });
        };
        auto countIn = [](const QString& dir) {
            BackupManifest back(dir);
            back.readManifestInfo();
            back.parseInfo();
            const QString out = TestEnv::tempDir() + "/back.db";
            back.copyFile(back.smsNode, out, nullptr, nullptr);
            return querySql(out, "select count(*) from message").toInt();
        };
        const QString dir = backupWith(15);
        const QString newer = backupWith(315);
        QVERIFY(!dir.isEmpty() && !newer.isEmpty());
        MsgData data;
        const QList<_MsgMessage*> messages = chosen(data);
        const int first = exportInto(dir, messages);
        QVERIFY(first > 0);
        QCOMPARE(countIn(dir), 15 + first);
        QVERIFY(QDir(dir).removeRecursively());
        QVERIFY(QDir().rename(newer, dir));
        const int second = exportInto(dir, messages);
        QVERIFY(second > 0);
        QCOMPARE(countIn(dir), 315 + second);
    }
};

QTEST_MAIN(TestMessageBackupExport)
#include "TestMessageBackupExport.moc"
