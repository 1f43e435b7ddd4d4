#include "app/AbsDb.h"
#include "app/ScopedEdit.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace
{

// A store over one file that opens (and creates its table) on first use.
class CountingDb : public AbsDb
{
public:
    explicit CountingDb(QString path)
        : m_path(std::move(path))
    {
    }
    void openCheck() override
    {
        ++openChecks;
        if (handle)
            return;
        openThrow(m_path, 6);
        executeThrow("create table if not exists item(id integer primary key, name text, n integer)");
    }
    int openChecks = 0;

private:
    QString m_path;
};

int countRows(AbsDb& db)
{
    Sqlite3Cursor c = db.queryThrow("select count(*) from item");
    return c.moveNext() ? c.getInt(0) : -1;
}

} // namespace

class TestAbsDb : public QObject
{
    Q_OBJECT
    QString path(const QString& name) { return QDir(TestEnv::tempDir()).absoluteFilePath(name); }

private Q_SLOTS:
    void endEditWithoutBeginDoesNothing()
    {
        CountingDb db(path("none.db"));
        db.endEdit(true);
        db.endEdit(false);
        QCOMPARE(db.openChecks, 0);
        QVERIFY(db.handle == nullptr);
        QVERIFY(!QFile::exists(path("none.db")));
    }

    void editCommitsAndRollsBack()
    {
        CountingDb db(path("edit.db"));
        Sqlite3Row row;
        row["name"] = QString("a");
        row["n"] = 1;

        db.beginEdit();
        QVERIFY(db.editing);
        db.insertSqlRow(row, "item", {});
        db.endEdit(false);
        QVERIFY(!db.editing);
        QCOMPARE(countRows(db), 0);

        db.beginEdit();
        db.insertSqlRow(row, "item", {});
        db.endEdit(true);
        QCOMPARE(countRows(db), 1);
    }

    void failedCommitKeepsEditForRollback()
    {
        CountingDb db(path("deferred.db"));
        db.openCheck();
        db.executeThrow("create table parent(id integer primary key)");
        db.executeThrow(
            "create table child(pid integer references parent(id) deferrable initially deferred)");
        db.executeThrow("pragma foreign_keys=on");
        db.beginEdit();
        db.executeThrow("insert into child values(99)");
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.endEdit(true));
        QVERIFY(db.editing); // still open, so it can be rolled back
        db.endEdit(false);
        QVERIFY(!db.editing);
        Sqlite3Cursor c = db.queryThrow("select count(*) from child");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt(0), 0);
    }

    void nestedWriterInsideEdit()
    {
        // A store method that brackets its own transaction inside the caller's edit.
        CountingDb db(path("nested.db"));
        db.beginEdit();
        db.beginTran();
        db.executeThrow("insert into item(name) values('inner')");
        db.commitTran();
        db.endEdit(false);
        QCOMPARE(countRows(db), 0);
    }

    void editEndsTransactionsLeftOpenInside()
    {
        const QString file = path("unwind.db");
        CountingDb db(file);
        db.beginEdit();
        db.executeThrow("insert into item(name) values('a')");
        db.beginTran(); // a writer that throws before its own commit
        db.executeThrow("insert into item(name) values('b')");
        db.endEdit(false);
        QCOMPARE(db.tranDepth(), 0);
        QCOMPARE(countRows(db), 0);

        db.beginEdit();
        db.beginTran();
        db.executeThrow("insert into item(name) values('c')");
        db.endEdit(true); // commits the inner work with the edit
        QCOMPARE(db.tranDepth(), 0);
        CountingDb other(file);
        other.openCheck();
        QCOMPARE(countRows(other), 1);
    }

    // Rows on disk, as another connection sees them.
    static QStringList namesOnDisk(const QString& file)
    {
        CountingDb other(file);
        other.openCheck();
        QStringList names;
        Sqlite3Cursor c = other.queryThrow("select name from item order by id");
        while (c.moveNext())
            names << c.getText("name");
        return names;
    }

    void nestedEditsClosePerLevel_data()
    {
        QTest::addColumn<bool>("commitInner");
        QTest::addColumn<bool>("commitOuter");
        QTest::addColumn<QStringList>("saved");
        QTest::newRow("both commit") << true << true << QStringList { "outer", "inner", "after" };
        QTest::newRow("inner rolls back") << false << true << QStringList { "outer", "after" };
        QTest::newRow("outer rolls back") << true << false << QStringList {};
    }

    // A writer that begins and ends its own edit inside the caller's closes only its level: the
    // caller's earlier and later writes are kept or dropped with the caller's own end.
    void nestedEditsClosePerLevel()
    {
        QFETCH(bool, commitInner);
        QFETCH(bool, commitOuter);
        QFETCH(QStringList, saved);
        const QString file = path(QString("nested-%1-%2.db").arg(commitInner).arg(commitOuter));
        CountingDb db(file);
        db.beginEdit();
        db.executeThrow("insert into item(name) values('outer')");
        db.beginEdit();
        db.executeThrow("insert into item(name) values('inner')");
        db.endEdit(commitInner);
        QVERIFY(db.editing);
        QCOMPARE(db.tranDepth(), 1);
        db.executeThrow("insert into item(name) values('after')");
        db.endEdit(commitOuter);
        QVERIFY(!db.editing);
        QCOMPARE(db.tranDepth(), 0);
        QCOMPARE(namesOnDisk(file), saved);
    }

    // A batch that throws ends its own edit through the scoped guard; the caller's edit and its
    // work are untouched, and a batch on its own leaves nothing open.
    void failingBatchEndsOnlyItsOwnEdit()
    {
        const QString file = path("guard.db");
        CountingDb db(file);
        auto failingBatch = [&] {
            ScopedEdit<AbsDb> edit(db);
            db.executeThrow("insert into item(name) values('lost')");
            db.executeThrow("insert into missing_table values(1)");
            edit.commit();
        };
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, failingBatch());
        QVERIFY(!db.editing);
        QCOMPARE(db.tranDepth(), 0);

        db.beginEdit();
        db.executeThrow("insert into item(name) values('kept')");
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, failingBatch());
        QVERIFY(db.editing);
        {
            ScopedEdit<AbsDb> edit(db);
            db.executeThrow("insert into item(name) values('batch')");
            edit.commit();
        }
        db.endEdit(true);
        QCOMPARE(namesOnDisk(file), QStringList({ "kept", "batch" }));
    }

    void tableRowsAndInsertSqlRow()
    {
        CountingDb db(path("rows.db"));
        QVERIFY(db.tableRows("item").isEmpty());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.tableRows("missing"));

        Sqlite3Row row;
        row["id"] = 500;
        row["name"] = QString("x");
        row["n"] = qint64(1) << 40;
        const qint64 id = db.insertSqlRow(row, "item", { "id" });
        QCOMPARE(id, qint64(1)); // the skipped key was assigned by SQLite
        QCOMPARE(db.insertSqlRow(row, "item", {}), qint64(500));

        const QList<Sqlite3Row> rows = db.tableRows("item");
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].val("id").toLongLong(), qint64(1));
        QCOMPARE(rows[0].val("n").toLongLong(), qint64(1) << 40);
        QCOMPARE(rows[1].val("name").toString(), QString("x"));
    }
};

QTEST_GUILESS_MAIN(TestAbsDb)
#include "TestAbsDb.moc"
