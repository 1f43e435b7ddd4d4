#include "app/AbsLocalDb.h"
#include "app/ScopedEdit.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QtTest>
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

// Puts bytes (a link to target, when given) at path, belonging to the user uid.
bool plant(const QString& path, const QByteArray& bytes, uid_t uid, const QString& target = QString())
{
    QFile f(path);
    if (target.isEmpty() ? !f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()
                         : !QFile::link(target, path))
        return false;
    f.close();
    return ::lchown(QFile::encodeName(path).constData(), uid, gid_t(-1)) == 0;
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
        QVERIFY(plant(put, theirs, uid_t(owner), link ? elsewhere : QString()));
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
    void removedWithItsCompanions_data()
    {
        QTest::addColumn<int>("owner"); // of the journal beside it, and of the link on the way
        QTest::addColumn<bool>("linked"); // the store reached through a link in a shared folder
        QTest::newRow("the user's own files") << 0 << false;
        QTest::newRow("another user's journal beside it") << 65534 << false;
        QTest::newRow("through the user's own link") << 0 << true;
        QTest::newRow("through another user's link") << 65534 << true;
    }
    void removedWithItsCompanions()
    {
        QFETCH(int, owner);
        QFETCH(bool, linked);
        if (::geteuid() != 0)
            QSKIP("Files of another user are put there by root only");
        const QString row = path(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-'));
        const QString mine = row + "/mine", shared = row + "/shared";
        QVERIFY(QDir().mkpath(mine) && QDir().mkpath(shared));
        QVERIFY(::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
        {
            NotesLikeDb made(mine + "/notes.db");
            QCOMPARE(made.count(), 0);
        }
        for (const QString suffix : { "-journal", "-wal", "-shm" })
            QVERIFY(plant(
                mine + "/notes.db" + suffix, "left", uid_t(linked || suffix != "-journal" ? 0 : owner)));
        const QString folder = linked ? shared + "/box" : mine;
        if (linked)
            QVERIFY(plant(folder, QByteArray(), uid_t(owner), mine));
        NotesLikeDb store(folder + "/notes.db");
        QString failure;
        bool removed = false;
        try {
            removed = store.remove();
        } catch (const std::exception& e) {
            failure = QString::fromUtf8(e.what());
        }
        const bool refused = linked && owner != 0;
        QCOMPARE(removed, !refused);
        QCOMPARE(QFile::exists(mine + "/notes.db"), refused);
        QCOMPARE(QFile::exists(mine + "/notes.db-journal"), refused || owner != 0);
        QCOMPARE(QFile::exists(mine + "/notes.db-wal"), refused);
        if (refused)
            QCOMPARE(failure, "Cannot write " + folder + "/notes.db: " + refusal("link", folder, "followed"));
    }
};

QTEST_GUILESS_MAIN(TestAbsLocalDb)
#include "TestAbsLocalDb.moc"
