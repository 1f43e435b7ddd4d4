#include "app/AbsLocalDb.h"
#include "app/ScopedEdit.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace
{

class NotesLikeDb : public AbsLocalDb
{
public:
    using AbsLocalDb::AbsLocalDb;
    void open() override
    {
        ++opens;
        const bool exists = QFile::exists(path);
        db.openThrow(path, exists ? 2 : 6);
        if (!exists)
            db.executeThrow("create table note(id integer primary key, body text)");
    }
    int count()
    {
        if (!isOpened())
            open();
        Sqlite3Cursor c = db.queryThrow("select count(*) from note");
        return c.moveNext() ? c.getInt(0) : -1;
    }
    int opens = 0;
};

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
};

QTEST_GUILESS_MAIN(TestAbsLocalDb)
#include "TestAbsLocalDb.moc"
