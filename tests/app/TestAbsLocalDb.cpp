#include "app/AbsLocalDb.h"
#include "app/ScopedEdit.h"
#include "calls_calendars/LocalCalendarsDb.h"
#include "calls_calendars/LocalCallHistoryDb.h"
#include "contacts/store/IOSContactCombineRule.h"
#include "contacts/store/LocalContactsDb.h"
#include "notes_media/LocalBookmarkDb.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

class NotesLikeDb : public AbsLocalDb
{
public:
    using AbsLocalDb::AbsLocalDb;
    void open() override
    {
        ++opens;
        if (!openStoreThrow(6))
            db.executeThrow("create table note(id integer primary key, body text)");
    }
    int count()
    {
        if (!isOpened())
            open();
        Sqlite3Cursor c = db.queryThrow("select count(*) from note");
        return c.moveNext() ? c.getInt(0) : -1;
    }
    bool remove()
    {
        close();
        return removeStoreFile();
    }
    int opens = 0;
};

// The local store of kind at path (notes: the stand-in above).
std::unique_ptr<AbsLocalDb> storeOf(const QString& kind, const QString& path)
{
    if (kind == "bookmarks")
        return std::make_unique<LocalBookmarkDb>(path);
    if (kind == "calendars")
        return std::make_unique<LocalCalendarsDb>(path);
    if (kind == "calls")
        return std::make_unique<LocalCallHistoryDb>(path);
    if (kind == "contacts")
        return std::make_unique<LocalContactsDb>(
            path, QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
    return std::make_unique<NotesLikeDb>(path);
}

// Removes store as its page's delete all does; false with *failure set when that throws.
bool removeAsItsPage(const QString& kind, AbsLocalDb& store, QString* failure)
{
    try {
        if (kind == "bookmarks")
            static_cast<LocalBookmarkDb&>(store).deleteDbFile();
        else if (kind == "calendars")
            static_cast<LocalCalendarsDb&>(store).deleteDbFile();
        else if (kind == "calls")
            static_cast<LocalCallHistoryDb&>(store).deleteDbFile();
        else if (kind == "contacts")
            static_cast<LocalContactsDb&>(store).deleteDbFile();
        else
            return static_cast<NotesLikeDb&>(store).remove();
        return true;
    } catch (const std::exception& e) {
        *failure = QString::fromUtf8(e.what());
        return false;
    }
}

QString refusal(const QString& what, const QString& path, const QString& done)
{
    return QStringLiteral("the %1 %2 stands in a folder everyone may write into and belongs to another user "
                          "(nobody): it is not %3, and nothing was written")
        .arg(what, path, done);
}

} // namespace

class TestAbsLocalDb : public QObject
{
    Q_OBJECT
    QString path(const QString& name) { return QDir(TestEnv::tempDir()).absoluteFilePath(name); }

private Q_SLOTS:
    void opensOnFirstEditOnly()
    {
        NotesLikeDb store(path("notes.db"));
        QVERIFY(!store.isOpened());
        QVERIFY(!QFile::exists(store.path));
        store.beginEdit();
        QVERIFY(store.isOpened());
        store.db.executeThrow("insert into note(body) values('a')");
        store.endEdit(true);
        QCOMPARE(store.opens, 1);
        QCOMPARE(store.count(), 1);
    }

    void endEditOnClosedStoreOpensFirst()
    {
        NotesLikeDb store(path("closed.db"));
        store.endEdit(false); // nothing open: opens, then has nothing to end
        QVERIFY(store.isOpened());
        QCOMPARE(store.opens, 1);
        store.close();
        QVERIFY(!store.isOpened());
        store.endEdit(true);
        QCOMPARE(store.opens, 2);
    }

    // A batch that fails inside the caller's edit rolls back its own writes only.
    void scopedBatchFailureKeepsCallersWork()
    {
        NotesLikeDb store(path("scoped.db"));
        store.beginEdit();
        store.db.executeThrow("insert into note(body) values('kept')");
        try {
            ScopedEdit<AbsLocalDb> batch(store);
            store.db.executeThrow("insert into note(body) values('dropped')");
            store.db.executeThrow("insert into missing values(1)");
            batch.commit();
        } catch (const std::runtime_error&) {
        }
        QCOMPARE(store.db.tranDepth(), 1);
        store.endEdit(true);
        QCOMPARE(store.count(), 1);
        QCOMPARE(store.db.tranDepth(), 0);
    }

    void rollbackUndoesNestedCommits()
    {
        NotesLikeDb store(path("nested.db"));
        store.beginEdit();
        store.db.executeThrow("insert into note(body) values('outer')");
        // A store operation with its own transaction inside the caller's edit.
        store.beginEdit();
        store.db.executeThrow("insert into note(body) values('inner')");
        store.endEdit(true);
        QCOMPARE(store.count(), 2);
        store.endEdit(false);
        QCOMPARE(store.count(), 0);
        QCOMPARE(store.db.tranDepth(), 0);
    }

    void rollbackAfterInnerFailureLeavesNoTransaction()
    {
        const QString file = path("failing.db");
        NotesLikeDb store(file);
        store.beginEdit();
        store.db.executeThrow("insert into note(body) values('kept?')");
        // A store writer begins its own transaction and throws before ending it.
        try {
            store.db.beginTran();
            store.db.executeThrow("insert into note(body) values('inner')");
            store.db.executeThrow("insert into nowhere values(1)");
        } catch (const std::exception&) {
            store.endEdit(false);
        }
        QCOMPARE(store.db.tranDepth(), 0);
        QCOMPARE(store.count(), 0);

        // The next save reaches the file.
        store.beginEdit();
        store.db.executeThrow("insert into note(body) values('saved')");
        store.endEdit(true);
        NotesLikeDb other(file);
        QCOMPARE(other.count(), 1);
    }

    void endEditWithoutOwnEditEndsCurrentTransaction()
    {
        NotesLikeDb store(path("plain.db"));
        store.open();
        store.db.beginTran();
        store.db.executeThrow("insert into note(body) values('x')");
        store.endEdit(true);
        QCOMPARE(store.db.tranDepth(), 0);
        QCOMPARE(store.count(), 1);
    }
    // A store is opened from its held folder, and so is every file SQLite keeps beside it: another
    // user's file (or link) at one of those names in a folder everyone may write into is neither
    // opened nor written into, whether it stood before the open or was put there after it.
    void filesBesideAStoreInASharedFolder_data()
    {
        QTest::addColumn<QString>("suffix"); // after the store's name: where the file is put
        QTest::addColumn<bool>("afterOpen"); // put there between the open and a write
        QTest::addColumn<int>("mode"); // of the store's folder
        QTest::addColumn<int>("owner"); // of the file put there
        QTest::addColumn<bool>("link"); // a link to a file of the user's instead
        QTest::addColumn<bool>("refused");
        QTest::newRow("another user's journal") << "-journal" << false << 01777 << 65534 << false << true;
        QTest::newRow("another user's log") << "-wal" << false << 01777 << 65534 << false << true;
        QTest::newRow("another user's shared memory") << "-shm" << false << 01777 << 65534 << false << true;
        QTest::newRow("another user's journal put after the open")
            << "-journal" << true << 01777 << 65534 << false << true;
        QTest::newRow("another user's link at the journal")
            << "-journal" << false << 01777 << 65534 << true << true;
        QTest::newRow("another user's link at the store") << "" << false << 01777 << 65534 << true << true;
        QTest::newRow("the user's own journal") << "-journal" << false << 01777 << 0 << false << false;
        QTest::newRow("another user's journal in a folder of the user's")
            << "-journal" << false << 0755 << 65534 << false << false;
    }
    void filesBesideAStoreInASharedFolder()
    {
        QFETCH(QString, suffix);
        QFETCH(bool, afterOpen);
        QFETCH(int, mode);
        QFETCH(int, owner);
        QFETCH(bool, link);
        QFETCH(bool, refused);
        if (::geteuid() != 0)
            QSKIP("Files of another user are put there by root only");
        const QString folder = path("shared");
        QVERIFY(QDir().mkpath(folder));
        const QString store = folder + "/notes.db", put = store + suffix;
        const QString elsewhere = path("mine.db");
        {
            NotesLikeDb made(suffix.isEmpty() ? elsewhere : store);
            made.beginEdit();
            made.db.executeThrow("insert into note(body) values('before')");
            made.endEdit(true);
        }
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), mode_t(mode)) == 0);
        NotesLikeDb notes(store);
        if (afterOpen)
            QCOMPARE(notes.count(), 1);
        // Where it may be opened, an empty file: SQLite takes it for a journal with nothing to play back.
        const QByteArray theirs = refused ? QByteArray("theirs") : QByteArray();
        QVERIFY(TestEnv::plant(put, theirs, uid_t(owner), link ? elsewhere : QString()));
        QString failure;
        try {
            notes.beginEdit();
            notes.db.executeThrow("insert into note(body) values('after')");
            notes.endEdit(true);
        } catch (const std::exception& e) {
            failure = notes.failureText(e);
            if (notes.isOpened())
                notes.endEdit(false);
        }
        if (!refused) {
            QCOMPARE(failure, QString());
            QCOMPARE(notes.count(), 2);
            return;
        }
        QCOMPARE(failure,
            "Cannot write " + store + ": "
                + refusal(link ? "link" : "file", put, link ? "followed" : "opened"));
        QFile left(put);
        QVERIFY(link || (left.open(QIODevice::ReadOnly) && left.readAll() == "theirs"));
        if (!suffix.isEmpty()) {
            NotesLikeDb again(store);
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
            QVERIFY(QFile::remove(put));
            QCOMPARE(again.count(), 1);
        }
    }

    // A store goes with the files SQLite keeps beside it, from its held folder: a journal left
    // would be played into the next store of its name. Another user's file or link is not taken.
    // Every local store goes so from its page's delete all.
    void removedWithItsCompanions_data()
    {
        QTest::addColumn<QString>("kind"); // the store
        QTest::addColumn<int>("owner"); // of the journal beside it, and of the link on the way
        QTest::addColumn<bool>("linked"); // the store reached through a link in a shared folder
        QTest::addColumn<bool>("journalLink"); // the journal a link of the user's to a file elsewhere
        QTest::newRow("the user's own files") << "notes" << 0 << false << false;
        QTest::newRow("another user's journal beside it") << "notes" << 65534 << false << false;
        QTest::newRow("through the user's own link") << "notes" << 0 << true << false;
        QTest::newRow("through another user's link") << "notes" << 65534 << true << false;
        QTest::newRow("the user's own link at the journal") << "notes" << 0 << false << true;
        for (const char* kind : { "bookmarks", "calendars", "calls", "contacts" }) {
            QTest::addRow("%s: the user's own files", kind) << kind << 0 << false << false;
            QTest::addRow("%s: through another user's link", kind) << kind << 65534 << true << false;
        }
    }
    void removedWithItsCompanions()
    {
        QFETCH(QString, kind);
        QFETCH(int, owner);
        QFETCH(bool, linked);
        QFETCH(bool, journalLink);
        if (::geteuid() != 0)
            QSKIP("Files of another user are put there by root only");
        const QString row = path(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-'));
        const QString mine = row + "/mine", shared = row + "/shared", elsewhere = row + "/elsewhere";
        const QString name = kind + ".db";
        QVERIFY(QDir().mkpath(mine) && QDir().mkpath(shared));
        QVERIFY(::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
        QVERIFY(TestEnv::plant(elsewhere, "kept", 0));
        storeOf(kind, mine + "/" + name)->open();
        for (const QString suffix : { "-journal", "-wal", "-shm" }) {
            const bool link = journalLink && suffix == "-journal";
            QVERIFY(TestEnv::plant(mine + "/" + name + suffix, "left",
                uid_t(linked || suffix != "-journal" ? 0 : owner), link ? elsewhere : QString()));
        }
        const QString folder = linked ? shared + "/box" : mine;
        if (linked)
            QVERIFY(TestEnv::plant(folder, QByteArray(), uid_t(owner), mine));
        const std::unique_ptr<AbsLocalDb> store = storeOf(kind, folder + "/" + name);
        QString failure;
        const bool removed = removeAsItsPage(kind, *store, &failure);
        const bool refused = linked && owner != 0;
        QCOMPARE(removed, !refused);
        QCOMPARE(QFile::exists(mine + "/" + name), refused);
        const QFileInfo journal(mine + "/" + name + "-journal");
        QCOMPARE(journal.exists() || journal.isSymLink(), refused || owner != 0);
        QCOMPARE(QFile::exists(mine + "/" + name + "-wal"), refused);
        QVERIFY(QFile::exists(elsewhere));
        if (refused)
            QCOMPARE(failure, "Cannot write " + store->path + ": " + refusal("link", folder, "followed"));
    }
};

QTEST_GUILESS_MAIN(TestAbsLocalDb)
#include "TestAbsLocalDb.moc"
