#include "app/TaskCancel.h"
#include "app/sqlite/Sqlite3DB.h"
#include "app/sqlite/Sqlite3StmtCache.h"
#include "app/sqlite/SqliteTriggersOff.h"
#include "support/TestEnv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>
#include <sys/stat.h>
#include <thread>

class TestSqlite3DB : public QObject
{
    Q_OBJECT

    QString freshPath(const QString& name) { return QDir(TestEnv::tempDir()).absoluteFilePath(name); }

    // A new database with table t(id integer primary key, v).
    void makeTable(Sqlite3DB& db, const QString& path)
    {
        db.openThrow(path, 6);
        db.executeThrow("create table t(id integer primary key, v)");
    }

    int rowCount(Sqlite3DB& db, const QString& table = "t")
    {
        Sqlite3Cursor c = db.queryThrow(QString("select count(*) from %1").arg(table));
        return c.moveNext() ? c.getInt(0) : -1;
    }

    static QByteArray fileHash(const QString& path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray();
        return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
    }

private Q_SLOTS:
    void openCreateAndReopen()
    {
        const QString path = freshPath("a.db");
        Sqlite3DB db;
        QVERIFY(!db.isOpen());
        QVERIFY(db.handle == nullptr);
        makeTable(db, path);
        QVERIFY(db.handle != nullptr);
        db.executeThrow(Sqlite3Sql("insert into t(v) values(?)").addTextParam("x"));
        QCOMPARE(db.lastInsertId(), qint64(1));
        db.close();
        QVERIFY(db.handle == nullptr);
        db.close(); // harmless when closed

        db.openThrow(path, 2);
        QCOMPARE(rowCount(db), 1);
    }

    void openFailuresThrowAndLeaveClosed()
    {
        Sqlite3DB db;
        const QString missing = freshPath("missing.db");
        try {
            db.openThrow(missing, 2);
            QFAIL("opening a missing file without create must throw");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains("unable to open database file"), e.what());
        }
        QVERIFY(db.handle == nullptr);
        QVERIFY(!QFile::exists(missing));

        // A file that is not a database fails at open, with SQLite's message.
        const QString junk = freshPath("junk.db");
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        try {
            db.openThrow(junk, 2);
            QFAIL("a foreign file must not open");
        } catch (const std::exception& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains("file is not a database"), e.what());
        }
        QVERIFY(db.handle == nullptr);

        // A full disk is told as the system tells it, whatever ran on the connection since.
        db.openThrow(junk + "-fresh", 6);
        QCOMPARE(db.failureReason(std::runtime_error("database or disk is full (insert into t)")),
            QString::fromLocal8Bit(std::strerror(ENOSPC)));
        db.close();

        // A pipe at the journal's name is refused by name, never waited on.
        const QString piped = freshPath("piped.db");
        db.openThrow(piped, 6);
        db.close();
        QVERIFY(::mkfifo(QFile::encodeName(piped + "-journal").constData(), 0600) == 0);
        try {
            db.openThrow(piped, 2);
            QFAIL("a pipe at the journal's name must be refused");
        } catch (const std::exception& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains("piped.db-journal is not a file"), e.what());
        }
        QVERIFY(db.handle == nullptr);
    }

    void corruptDatabaseReportsSqliteMessage()
    {
        const QString path = freshPath("corrupt.db");
        {
            Sqlite3DB db;
            makeTable(db, path);
            db.beginTran();
            for (int i = 0; i < 2000; ++i)
                db.executeThrow(
                    Sqlite3Sql("insert into t(v) values(?)").addTextParam(QString(100, QChar('a' + i % 26))));
            db.commitTran();
        }
        // Overwrite the pages after the first with garbage; the header stays valid.
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(4096);
        f.write(QByteArray(int(f.size() - 4096), '\xA5'));
        f.close();

        Sqlite3DB db;
        bool threw = false;
        try {
            db.openThrow(path, 2);
            Sqlite3Cursor c = db.queryThrow("select v from t");
            while (c.moveNext()) { }
        } catch (const std::exception& e) {
            threw = true;
            const QString text = QString::fromUtf8(e.what());
            QVERIFY2(text.contains("malformed") || text.contains("not a database"), e.what());
        }
        QVERIFY2(threw, "reading a damaged file must not look like success");
    }

    void bindsNullsBlobsInt64AndTextWithNul()
    {
        Sqlite3DB db;
        db.openThrow(freshPath("bind.db"), 6);
        db.executeThrow("create table b(i, j, t, bl, e, n, d)");
        const QByteArray blob("\x00\x01\xff\x00z", 5);
        const QString textWithNul = QString("a") + QChar(0) + QString("b\u00e9\U0001F600");
        const qint64 big = Q_INT64_C(0x7fffffffffff1234);
        Sqlite3Sql sql("insert into b values(?,?,?,?,?,?,?)");
        sql.addIntParam(-5).addInt64Param(big).addTextParam(textWithNul).addBlobParam(blob);
        sql.addBlobParam(QByteArray()).addNullParam().addDoubleParam(-2.75);
        db.executeThrow(sql);

        Sqlite3Cursor c
            = db.queryThrow("select i, j, t, bl, e, n, d, typeof(e) te, typeof(n) tn, typeof(t) tt from b");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt("i"), -5);
        QCOMPARE(c.getInt64("j"), big);
        QCOMPARE(c.getText("t"), textWithNul);
        QCOMPARE(c.getText("t").size(), textWithNul.size());
        QCOMPARE(c.getBlob("bl"), blob);
        QCOMPARE(c.getText("te"), QString("blob")); // an empty blob stays a blob, not NULL
        QCOMPARE(c.getText("tn"), QString("null"));
        QCOMPARE(c.getText("tt"), QString("text"));
        QVERIFY(c.isNull("n"));
        QCOMPARE(c.getInt("n"), 0);
        QCOMPARE(c.getText("n"), QString());
        QCOMPARE(c.getBlob("n"), QByteArray());
        // A real read as an integer is truncated toward zero.
        QCOMPARE(c.getInt("d"), -2);
        QCOMPARE(c.getInt64("d"), qint64(-2));
        QCOMPARE(c.getDouble("d"), -2.75);
        QVERIFY(!c.moveNext());
        QVERIFY(!c.moveNext()); // stays at the end, does not start over
    }

    // Typed binds on cached statements: texts and blobs bound from temporaries stay intact until the
    // step, empty ones are not NULL, and each use starts from cleared parameters.
    void typedBindsOnCachedStatements()
    {
        Sqlite3DB db;
        db.openThrow(freshPath("typed.db"), 6);
        db.executeThrow("create table b(t, e, bl, eb, i, n)");
        Sqlite3StmtCache cache(db);
        const QString sql = "insert into b values(?,?,?,?,?,?)";
        const QString textWithNul = QString("a") + QChar(0) + QString("b\u00e9\U0001F600");
        for (int row = 0; row < 2; ++row) {
            Sqlite3Stmt& stmt = cache.prepared(sql);
            stmt.bindTextThrow(1, textWithNul + QString::number(row)); // a temporary
            stmt.bindTextThrow(2, row == 0 ? QString() : QString(""));
            stmt.bindBlobThrow(3, QByteArray("\x00\x01z", 3) + QByteArray::number(row));
            stmt.bindBlobThrow(4, QByteArray());
            if (row == 0)
                stmt.bindInt64Throw(5, Q_INT64_C(-0x7fffffffffff1234));
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, stmt.bindInt64Throw(7, 1));
            cache.execute(stmt);
        }
        Sqlite3Cursor c = db.queryThrow(
            "select t, typeof(e), bl, typeof(eb), length(eb), i, typeof(n) from b order by rowid");
        for (int row = 0; row < 2; ++row) {
            QVERIFY(c.moveNext());
            QCOMPARE(c.getText(0), textWithNul + QString::number(row));
            QCOMPARE(c.getText(1), QString("text"));
            QCOMPARE(c.getBlob(2), QByteArray("\x00\x01z", 3) + QByteArray::number(row));
            QCOMPARE(c.getText(3), QString("blob"));
            QCOMPARE(c.getInt(4), 0);
            QCOMPARE(c.isNull(5), row == 1); // not carried over from the first use
            if (row == 0)
                QCOMPARE(c.getInt64(5), Q_INT64_C(-0x7fffffffffff1234));
            QCOMPARE(c.getText(6), QString("null"));
        }
    }

    void emptyTextIsNotNull()
    {
        Sqlite3DB db;
        db.openThrow(":memory:", 6);
        db.executeThrow("create table s(a text not null, b text not null)");
        db.executeThrow(Sqlite3Sql("insert into s values(?,?)").addTextParam(QString()).addTextParam(""));
        QCOMPARE(rowCount(db, "s"), 1);
    }

    void parameterCountMismatchThrows()
    {
        Sqlite3DB db;
        db.openThrow(":memory:", 6);
        db.executeThrow("create table t(a)");
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
            db.executeThrow(Sqlite3Sql("insert into t values(?)").addIntParam(1).addIntParam(2)));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
            db.queryThrow(Sqlite3Sql("select * from t where a=?").addIntParam(1).addIntParam(2)));
        QCOMPARE(rowCount(db), 0);
    }

    void executeRunsEveryStatementAndReportsErrors()
    {
        Sqlite3DB db;
        db.openThrow(":memory:", 6);
        db.executeThrow(
            Sqlite3Sql("create table x(a); insert into x values(?); insert into x values(?); -- end")
                .addIntParam(7)
                .addIntParam(8));
        Sqlite3Cursor c = db.queryThrow("select sum(a) from x");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt(0), 15);

        db.executeThrow("create table u(k text unique)");
        db.executeThrow(Sqlite3Sql("insert into u values(?)").addTextParam("k"));
        try {
            db.executeThrow(Sqlite3Sql("insert into u values(?)").addTextParam("k"));
            QFAIL("a violated constraint must throw");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains("UNIQUE constraint failed"), e.what());
        }
        try {
            db.queryThrow("select * from nosuchtable");
            QFAIL("a missing table must throw");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains("no such table: nosuchtable"), e.what());
        }
    }

    void execReportsThroughResult()
    {
        Sqlite3DB db;
        QString err;
        QVERIFY(db.exec("select 1", err) != 0); // closed
        db.openThrow(":memory:", 6);
        err.clear();
        QCOMPARE(db.exec("create table a(x); insert into a values(1);", err), 0);
        QVERIFY(err.isEmpty());
        QVERIFY(db.exec("insert into nothere values(1)", err) != 0);
        QVERIFY2(err.contains("no such table"), qPrintable(err));
    }

    void closedConnectionThrows()
    {
        Sqlite3DB db;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.queryThrow("select 1"));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.executeThrow("select 1"));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.beginTran());
        db.commitTran(); // nothing open: nothing to do
        db.rollbackTran();
    }

    void nestedTransactionsUseSavepoints()
    {
        const QString path = freshPath("nest.db");
        Sqlite3DB db;
        makeTable(db, path);
        auto insert
            = [&](int v) { db.executeThrow(Sqlite3Sql("insert into t(v) values(?)").addIntParam(v)); };

        db.beginTran();
        insert(1);
        db.beginTran(); // inside the caller's edit: no failure
        QCOMPARE(db.tranDepth(), 2);
        insert(2);
        db.rollbackTran(); // undoes only 2
        db.beginTran();
        insert(3);
        db.commitTran(); // into the outer transaction, not yet to the file
        QCOMPARE(db.tranDepth(), 1);
        {
            Sqlite3DB other;
            other.openThrow(path, 1);
            QCOMPARE(rowCount(other), 0);
        }
        db.commitTran();
        QCOMPARE(db.tranDepth(), 0);
        {
            Sqlite3DB other;
            other.openThrow(path, 1);
            Sqlite3Cursor c = other.queryThrow("select group_concat(v) g from (select v from t order by v)");
            QVERIFY(c.moveNext());
            QCOMPARE(c.getText("g"), QString("1,3"));
        }

        // The outermost rollback undoes the committed inner work too.
        db.beginTran();
        insert(4);
        db.beginTran();
        insert(5);
        db.commitTran();
        db.rollbackTran();
        QCOMPARE(rowCount(db), 2);
        // Extra ends with nothing open are harmless.
        db.commitTran();
        db.rollbackTran();
        QCOMPARE(db.tranDepth(), 0);
    }

    // Transaction statements are kept per connection: after a reopen they act on the new file.
    void transactionsAfterReopen()
    {
        Sqlite3DB db;
        for (const char* name : { "first.db", "second.db" }) {
            makeTable(db, freshPath(name));
            db.beginTran();
            db.beginTran();
            db.executeThrow("insert into t(v) values(1)");
            db.rollbackTran();
            db.executeThrow("insert into t(v) values(2)");
            db.commitTran();
            QCOMPARE(rowCount(db), 1);
        }
        db.close();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.beginTran());
    }

    void commitAfterSqliteRolledBackThrows()
    {
        Sqlite3DB db;
        db.openThrow(freshPath("lost.db"), 6);
        db.executeThrow("create table t(v)");
        db.beginTran();
        db.executeThrow("insert into t values(1)");
        // Something ends the transaction behind the connection's back.
        QString err;
        QCOMPARE(db.exec("rollback", err), 0);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.commitTran());
        QCOMPARE(db.tranDepth(), 0);
        db.beginTran(); // usable again
        db.executeThrow("insert into t values(2)");
        db.commitTran();
        QCOMPARE(rowCount(db), 1);
    }

    void cursorByNameAndIndex()
    {
        Sqlite3DB db;
        db.openThrow(":memory:", 6);
        db.executeThrow("create table m(ROWID integer primary key autoincrement, Text text, n integer)");
        db.executeThrow("create table p(_id integer primary key, name text)");
        db.executeThrow("create table h(name text)");
        db.executeThrow("insert into m(Text, n) values('hello', 42), ('bye', 7)");
        db.executeThrow("insert into p(_id, name) values(17, 'x')");
        db.executeThrow("insert into h(name) values('y')");

        Sqlite3Cursor c = db.queryThrow("select * from m order by rowid");
        QCOMPARE(c.count(), 2);
        QVERIFY(!c.hasRow());
        QCOMPARE(c.getInt("n"), 0); // before the first row
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt64("rowid"), qint64(1)); // declared ROWID, asked as rowid
        QCOMPARE(c.getText("TEXT"), QString("hello"));
        QCOMPARE(c.getText("text"), QString("hello"));
        QCOMPARE(c.getInt("n"), 42);
        QCOMPARE(c.getInt(2), 42);
        QCOMPARE(c.getInt64(0), qint64(1));
        QCOMPARE(c.getText(1), QString("hello"));
        QCOMPARE(c.getInt("no_such_column"), 0);
        QCOMPARE(c.getText("no_such_column"), QString());
        QCOMPARE(c.getInt64(99), qint64(0));
        QCOMPARE(c.count(), 2); // counting does not move the cursor
        QCOMPARE(c.getText("text"), QString("hello"));
        QVERIFY(c.moveNext());
        QCOMPARE(c.getText("text"), QString("bye"));
        QVERIFY(!c.moveNext());

        // "rowid" under select * finds the INTEGER PRIMARY KEY of a table that names it otherwise.
        c = db.queryThrow("select * from p");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt64("rowid"), qint64(17));
        // Aliases.
        c = db.queryThrow("select name as subType, _id key from p");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getText("subtype"), QString("x"));
        QCOMPARE(c.getInt("KEY"), 17);
        // A table without a rowid alias: rowid reads 0 unless selected.
        c = db.queryThrow("select * from h");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt64("rowid"), qint64(0));
        c = db.queryThrow("select rowid, * from h");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt64("rowid"), qint64(1));
    }

    void cursorCopiesShareOneStatement()
    {
        Sqlite3DB db;
        db.openThrow(":memory:", 6);
        db.executeThrow("create table t(v); insert into t values(1),(2),(3)");
        Sqlite3Cursor a = db.queryThrow("select v from t order by v");
        Sqlite3Cursor b = a;
        QVERIFY(a.moveNext());
        QCOMPARE(b.getInt("v"), 1);
        QVERIFY(b.moveNext());
        QCOMPARE(a.getInt("v"), 2);
        // Reassigning a variable releases its share; the other copy goes on.
        a = db.queryThrow("select 'other' w");
        QVERIFY(a.moveNext());
        QCOMPARE(a.getText("w"), QString("other"));
        QVERIFY(b.moveNext());
        QCOMPARE(b.getInt("v"), 3);
        Sqlite3Cursor empty;
        QVERIFY(!empty.moveNext());
        QCOMPARE(empty.count(), 0);
    }

    void cursorOutlivingCloseIsSafe()
    {
        Sqlite3Cursor c;
        {
            Sqlite3DB db;
            db.openThrow(":memory:", 6);
            c = db.queryThrow("select 1 a union all select 2");
            QVERIFY(c.moveNext());
        }
        QCOMPARE(c.getInt("a"), 1); // the connection stays until its last statement goes
    }

    void countHonoursParameters()
    {
        Sqlite3DB db;
        db.openThrow(":memory:", 6);
        db.executeThrow("create table t(v); insert into t values(1),(2),(3),(4)");
        Sqlite3Cursor c = db.queryThrow(Sqlite3Sql("select v from t where v > ?").addIntParam(2));
        QCOMPARE(c.count(), 2);
    }

    void getRowAndInsertSql()
    {
        Sqlite3DB db;
        db.openThrow(":memory:", 6);
        db.executeThrow("create table src(id integer primary key, s text, i integer, b blob, r real, z)");
        db.executeThrow(Sqlite3Sql("insert into src values(5, 'txt', 9000000000, ?, 1.5, null)")
                            .addBlobParam(QByteArray("\0\1", 2)));
        db.executeThrow(
            "create table dst(id integer primary key, s text, i integer, b blob, r real, z default 'dz')");

        Sqlite3Cursor c = db.queryThrow("select * from src");
        QVERIFY(c.moveNext());
        Sqlite3Row row = c.getRow();
        QCOMPARE(row.columns(), QStringList({ "id", "s", "i", "b", "r", "z" }));
        QCOMPARE(row.val("i").toLongLong(), Q_INT64_C(9000000000));
        QCOMPARE(row.val("b").toByteArray(), QByteArray("\0\1", 2));
        QVERIFY(!row.val("z").isValid());
        QVERIFY(!row.val("absent").isValid());

        row.remove("z");
        db.executeThrow(row.insertSql("dst", { "id" }));
        const qint64 id = db.lastInsertId();
        QCOMPARE(id, qint64(1)); // the key was skipped, so SQLite assigned it
        c = db.queryThrow("select *, typeof(b) tb, typeof(i) ti from dst");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getText("s"), QString("txt"));
        QCOMPARE(c.getInt64("i"), Q_INT64_C(9000000000));
        QCOMPARE(c.getText("tb"), QString("blob"));
        QCOMPARE(c.getText("ti"), QString("integer"));
        QCOMPARE(c.getText("z"), QString("dz"));

        Sqlite3Row odd;
        odd["we\"ird col"] = 3;
        db.executeThrow("create table \"w t\"(\"we\"\"ird col\")");
        db.executeThrow(odd.insertSql("w t"));
        Sqlite3Row none;
        db.executeThrow(none.insertSql("w t"));
        QCOMPARE(rowCount(db, "\"w t\""), 2);
    }

    void tableInformation()
    {
        Sqlite3DB db;
        db.openThrow(":memory:", 6);
        db.executeThrow(
            "create table c(ROWID integer primary key autoincrement, name text not null default '', "
            "data blob, amount real, flag boolean, untyped, vc varchar(10))");
        const QList<_SqliteCol> cols = db.tbCols("c");
        QCOMPARE(cols.size(), 7);
        QCOMPARE(cols[0].name, QString("ROWID"));
        QVERIFY(cols[0].primaryKey);
        QVERIFY(cols[0].isInteger());
        QVERIFY(!cols[0].isText() && !cols[0].isBlob());
        QVERIFY(cols[1].notNull && cols[1].hasDefault && !cols[1].primaryKey);
        QVERIFY(cols[1].isText());
        QVERIFY(cols[2].isBlob());
        QVERIFY(cols[3].isReal());
        QVERIFY(cols[4].isNumeric());
        QVERIFY(cols[5].isBlob()); // no declared type
        QVERIFY(cols[6].isText());
        const auto info = db.tbInfo("c");
        QCOMPARE(info.size(), 7);
        QVERIFY(info.contains("amount"));
        QVERIFY(!info.contains("AMOUNT")); // names as declared
        QVERIFY(db.tbInfo("missing").isEmpty());
        QVERIFY(db.tableExists("c"));
        QVERIFY(!db.tableExists("missing"));
        QCOMPARE(
            db.columnsOf("c", { "Name", "gone", "rowid", "odd\"" }, "x"), QString("x.\"Name\", x.rowid"));
        QCOMPARE(db.columnsOf("c", { "gone" }), QString("null"));

        _SqliteCol empty;
        QVERIFY(empty.isBlob());
        QVERIFY(_SqliteCol("x", "TEXT", false, false, false).isText());
        QVERIFY(_SqliteCol("x", "BLOB", false, false, false).isBlob());
    }

    // A database from a backup is data: a view or a generated column a statement would run is
    // refused by name (with the file), the stored columns beside them read as ever, and a statement
    // stops once its thread's task is cancelled. Every run is cancelled after stopAfter ms at the
    // latest, so that none waits for ever.
    void foreignDatabaseIsReadAsData_data()
    {
        QTest::addColumn<QString>("schema");
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("stopAfter");
        QTest::addColumn<QString>("error");
        const QString endless = "with recursive n(i) as (select 1 union all select i + 1 from n) ";
        QTest::newRow("endless view in a table's place")
            << "create view t as " + endless + "select i as v from n"
            << "select count(*) from t" << 20000
            << "its \"t\" is a view (a query the file holds), not a table";
        QTest::newRow("view over a table") << "create table s(v); insert into s values(1); create view t as "
                                              "select v from s"
                                           << "select v from t" << 20000 << "its \"t\" is a view";
        QTest::newRow("view in a join")
            << "create table s(v); create view t as select v from s"
            << "select s.v from s join t using(v)" << 20000 << "its \"t\" is a view";
        QTest::newRow("generated column of a billion bytes")
            << "create table t(v, g as (zeroblob(1000000000))); insert into t(v) values(1)"
            << "select g from t" << 20000 << "its column \"t.g\" is generated";
        QTest::newRow("stored generated column under select *")
            << "create table t(v, G as (v + 1) stored); insert into t(v) values(1)"
            << "select * from t" << 20000 << "its column \"t.G\" is generated";
        QTest::newRow("stored columns beside a generated one")
            << "create table t(v, g as (zeroblob(1000000000))); insert into t(v) values(1)"
            << "select v from t" << 20000 << "";
        QTest::newRow("cancel during a long statement")
            << "create table t(v)" << endless + "select count(*) from n" << 100 << "cancelled";
        // What the program writes into its copy sets off none of the file's triggers.
        QTest::newRow("trigger without end")
            << "create table t(v); create table spill(v); insert into t values(1); create trigger fill "
               "after delete on t begin insert into spill "
                + endless + "select i from n; end"
            << "delete from t" << 20000 << "";
        QTest::newRow("value larger than a phone keeps")
            << "create table t(v)"
            << "select zeroblob(200000000)" << 20000 << "larger than 128 MB, more than a phone keeps in one";
        QTest::newRow("write into a generated column")
            << "create table t(v, g as (v + 1))"
            << "insert into t(v, g) values(1, 2)" << 20000 << "its column \"g\" is generated";
        // SQLite's own words, not those of the statement that looked for a view.
        QTest::newRow("other failure beside a view")
            << "create table s(v); create view w as select v from s"
            << "select nosuch from s" << 20000 << "no such column: nosuch";
        // What keeps SQLite from reading the file is told with SQLite's words, naming the file.
        QTest::newRow("table of a module no build has")
            << "pragma writable_schema=1; insert into sqlite_master values('table', 't', 't', 0, "
               "'CREATE VIRTUAL TABLE t USING nosuchmod(v)')"
            << "select count(*) from t" << 20000 << "Cannot read PATH: no such module: nosuchmod";
        QTest::newRow("collation no build has")
            << "create table t(v text collate nocase); pragma writable_schema=1; update sqlite_master set "
               "sql=replace(sql, 'nocase', 'nosuch') where name='t'"
            << "select v from t where v = 'a'" << 20000
            << "Cannot read PATH: no such collation sequence: nosuch";
        QTest::newRow("table without row ids")
            << "create table t(v primary key) without rowid"
            << "select rowid from t" << 20000 << "Cannot read PATH: no such column: rowid";
        // A schema whose load by SQLite grows faster than its entries (half a minute for these) is
        // refused at its open, at once.
        QTest::newRow("schema far larger than a phone writes")
            << "create table t(v); pragma writable_schema = on; " + endless
                + "insert into sqlite_master select 'trigger', 'g' || i, 't', 0, 'create trigger g' || i || "
                  "' after insert on t begin select 1; end' from n limit 100000"
            << "select 1" << 20000 << "it holds over 3000 schema entries, more than any phone writes";
        // Nor do few entries cost more than a phone's: each is read with work that grows with its
        // text and the square of its columns.
        const auto columns = [](int count) {
            return QString("(with recursive m(j) as (select 1 union all select j + 1 from m limit %1) "
                           "select group_concat('c' || j) from m)")
                .arg(count);
        };
        QTest::newRow("schema entry far longer than a phone writes")
            << "create table t(v); pragma writable_schema = on; insert into sqlite_master values('trigger', "
               "'g', 't', 0, 'create trigger g after insert on t begin select ''' || "
               "replace(hex(zeroblob(600000)), '0', 'x') || '''; end')"
            << "select 1" << 20000 << "malformed database schema (g) - string or blob too big (PATH)";
        QTest::newRow("table of more columns than a phone writes")
            << "pragma writable_schema = on; insert into sqlite_master select 'table', 'w', 'w', 0, "
               "'create table w(' || "
                + columns(1001) + " || ')'"
            << "select 1" << 20000 << "malformed database schema (w) - too many columns on w (PATH)";
        QTest::newRow("schema entries far larger than a phone writes")
            << "pragma writable_schema = on; " + endless
                + "insert into sqlite_master select 'table', 'w' || i, 'w' || i, 0, 'create table w' || i || "
                  "'(' || "
                + columns(900) + " || ')' from n limit 2000"
            << "select 1" << 20000 << "its schema entries are far larger than any phone writes";
        // 100 KB of text an entry that SQLite reads into 5 MB: refused after the entry that goes past
        // the bound, not some entries later.
        QTest::newRow("schema entries each far larger read than written")
            << "pragma writable_schema = on; " + endless
                + "insert into sqlite_master select 'table', 'w' || i, 'w' || i, 0, 'create table w' || i || "
                  "'(v check (v in (' || substr(replace(hex(zeroblob(50000)), '00', '1,'), 1, 99998) || "
                  "'1)))' from n limit 20"
            << "select 1" << 20000 << "its schema entries are far larger than any phone writes";
    }
    void foreignDatabaseIsReadAsData()
    {
        QFETCH(QString, schema);
        QFETCH(QString, query);
        QFETCH(int, stopAfter);
        QFETCH(QString, error);
        const QString path
            = freshPath(QString("foreign-%1.db").arg(QTest::currentDataTag()).replace(' ', '-'));
        error.replace("PATH", path);
        {
            Sqlite3DB own;
            own.openThrow(path, 6);
            own.executeThrow(schema);
        }
        Sqlite3DB db;
        db.setForeign(true);
        const sqlite3_int64 before = sqlite3_memory_used();
        sqlite3_memory_highwater(1);
        const auto token = std::make_shared<TaskCancel::Token>();
        const TaskCancel::Scope scope(token);
        std::atomic<bool> done = false;
        std::thread stopper([&] {
            QElapsedTimer waited;
            for (waited.start(); !done && waited.elapsed() < stopAfter;)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            token->cancelled = true;
        });
        QElapsedTimer t;
        t.start();
        QString what;
        try {
            db.openThrow(path, SQLITE_OPEN_READWRITE);
            Sqlite3Cursor c = db.queryThrow(query);
            while (c.moveNext()) { }
        } catch (const TaskCancel::Cancelled&) {
            what = "cancelled";
        } catch (const std::exception& e) {
            what = QString::fromUtf8(e.what());
        }
        const qint64 took = t.elapsed();
        done = true;
        stopper.join();
        QVERIFY2(error.isEmpty() ? what.isEmpty() : what.contains(error), qPrintable(what));
        QVERIFY2(
            !error.startsWith("it") || (what.startsWith("Cannot ") && what.contains(path)), qPrintable(what));
        QVERIFY(took < stopAfter + 2000);
        // Nor does SQLite's reading of it cost much more than the bound of its schema (16 MB).
        const sqlite3_int64 peak = sqlite3_memory_highwater(0) - before;
        QVERIFY2(peak < 40 << 20, qPrintable(QString::number(peak)));
    }

    // The guard keeps a connection's triggers from acting while it lives, and gives back the state it
    // found: on for a database of the program's own, still off for one from a backup.
    void triggersOffGivesBackTheStateFound_data()
    {
        QTest::addColumn<bool>("foreign");
        QTest::newRow("the program's own database") << false;
        QTest::newRow("a database from a backup") << true;
    }
    void triggersOffGivesBackTheStateFound()
    {
        QFETCH(bool, foreign);
        const QString path = freshPath(QString("triggers-%1.db").arg(foreign));
        {
            Sqlite3DB own;
            own.openThrow(path, 6);
            own.executeThrow(
                "create table t(v); create table spill(v); create trigger fill after insert on t "
                "begin insert into spill values(new.v); end");
        }
        Sqlite3DB db;
        db.setForeign(foreign);
        db.openThrow(path, SQLITE_OPEN_READWRITE);
        {
            const SqliteTriggersOff off(db);
            db.executeThrow("insert into t values('while')");
        }
        db.executeThrow("insert into t values('after')");
        Sqlite3Cursor c = db.queryThrow("select ifnull(group_concat(v), '') from spill");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getText(0), QString(foreign ? "" : "after"));
    }

    void readOnlyOpenOfRealFixtureWritesNothing()
    {
        QM_REQUIRE_SHARED();
        const QString src = TestEnv::realFixture("mvt/ios_backup/Manifest.db");
        if (!QFile::exists(src))
            QSKIP("Manifest.db fixture not present");
        const QString copy = TestEnv::copyToTemp(src);
        const QDir folder = QFileInfo(copy).dir();
        const QStringList before = folder.entryList(QDir::Files | QDir::Hidden);
        const QByteArray hash = fileHash(copy);
        const QDateTime mtime = QFileInfo(copy).lastModified();

        for (bool immutable : { true, false }) {
            Sqlite3DB db;
            db.openReadOnlyThrow(copy, immutable);
            Sqlite3Cursor c = db.queryThrow("select fileID, domain, relativePath, flags, file from Files");
            int rows = 0;
            while (c.moveNext()) {
                ++rows;
                QCOMPARE(c.getText("fileID").size(), 40);
            }
            QVERIFY(rows > 0);
            QCOMPARE(c.count(), rows);
            QVERIFY(db.tbInfo("Files").contains("relativePath"));
            // Writes are refused.
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.executeThrow("delete from Files"));
            db.beginTran();
            db.rollbackTran();
            db.close();
            QCOMPARE(fileHash(copy), hash);
            QCOMPARE(QFileInfo(copy).lastModified(), mtime);
            // Immutable: not even the -wal and -shm files of this WAL database appear.
            if (immutable)
                QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), before);
        }
    }

    void realMessageDatabaseReadsByName()
    {
        QM_REQUIRE_SHARED();
        const QString src = TestEnv::realFixture("magnet-ctf-2020-sms/sms.db");
        if (!QFile::exists(src))
            QSKIP("sms.db fixture not present");
        Sqlite3DB db;
        db.openReadOnlyThrow(TestEnv::copyToTemp(src), true);
        // The table declares its key as ROWID; readers ask for "rowid" under select *.
        Sqlite3Cursor c = db.queryThrow("select * from message order by ROWID");
        QCOMPARE(c.count(), 105);
        qint64 last = 0;
        int withText = 0;
        while (c.moveNext()) {
            QVERIFY(c.getInt64("rowid") > last);
            last = c.getInt64("rowid");
            QCOMPARE(c.getText("GUID"), c.getText("guid"));
            if (!c.getText("text").isEmpty())
                ++withText;
            QCOMPARE(c.getInt("no_such_column_in_old_schemas"), 0);
        }
        QVERIFY(withText > 0);
        QVERIFY(db.tbInfo("message").contains("ROWID"));
        QVERIFY(db.tbInfo("message").value("ROWID").primaryKey);
    }

    void immutableUriEscapesPath()
    {
        const QString dir = QDir(TestEnv::tempDir()).absoluteFilePath("a dir #1?x");
        QVERIFY(QDir().mkpath(dir));
        const QString path = dir + "/odd %name.db";
        {
            Sqlite3DB db;
            makeTable(db, path);
            db.executeThrow("insert into t(v) values('ok')");
        }
        Sqlite3DB db;
        db.openReadOnlyThrow(path, true);
        Sqlite3Cursor c = db.queryThrow("select v from t");
        QVERIFY(c.moveNext());
        QCOMPARE(c.getText("v"), QString("ok"));
        QVERIFY(Sqlite3DB::immutableUri(path).startsWith("file:"));
        QVERIFY(Sqlite3DB::immutableUri(path).endsWith("?mode=ro&immutable=1"));
    }
};

QTEST_GUILESS_MAIN(TestSqlite3DB)
#include "TestSqlite3DB.moc"
