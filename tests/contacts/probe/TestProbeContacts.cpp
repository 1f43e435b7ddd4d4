#include "contacts/store/IOSContactsDb.h"
#include "contacts/support/ContactFixtures.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

// The developer probe's "contacts" and "save-contacts" commands, run as a program.
class TestProbeContacts : public QObject
{
    Q_OBJECT
    QString probe;

    QByteArray run(const QStringList& args, int& rc, QByteArray* err = nullptr)
    {
        QProcess p;
        p.start(probe, args);
        p.waitForFinished(120000);
        rc = p.exitCode();
        if (err)
            *err = p.readAllStandardError();
        return p.readAllStandardOutput();
    }

    static QByteArray bytes(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QJsonObject counts(const QString& src)
    {
        int rc = -1;
        const QJsonObject o = QJsonDocument::fromJson(run({ "contacts", src }, rc)).object();
        return rc == 0 ? o : QJsonObject();
    }

private slots:
    void initTestCase()
    {
        probe = QCoreApplication::applicationDirPath() + "/../tools/probe/qm-probe";
        if (!QFile::exists(probe))
            QSKIP("qm-probe is not built beside the tests");
    }

    void cacheFolderAndBackup()
    {
        const QString cache = ContactFixtures::generate({ "--edge" });
        const QJsonObject o = counts(cache);
        QCOMPARE(o["contacts"].toInt(), 10);
        QCOMPARE(o["source"].toString(), QStringLiteral("addressbook"));
        QCOMPARE(o["entities"].toObject()["phone"].toInt(), 7);
        QCOMPARE(o["entities"].toObject()["photo"].toInt(), 2);
        const QString backup = QDir(TestEnv::tempDir()).absoluteFilePath("bk");
        QCOMPARE(
            QProcess::execute("python3",
                { QString::fromUtf8(QM_TOOLS_DIR) + "/gen/make_backup.py", "--addressbook", "edge", backup }),
            0);
        QCOMPARE(counts(backup)["contacts"].toInt(), 10);
    }

    void saveTwice()
    {
        const QString cache = ContactFixtures::generate({ "--edge" });
        const QString store = QDir(TestEnv::tempDir()).absoluteFilePath("Local");
        int rc = -1;
        QCOMPARE(run({ "save-contacts", cache, store }, rc).trimmed(),
            QByteArray("Successfully backup 8 contacts with 2  merged."));
        QCOMPARE(rc, 0);
        QCOMPARE(run({ "save-contacts", cache, store }, rc).trimmed(),
            QByteArray("Successfully backup 0 contacts with 10  merged."));
        const QJsonObject o = counts(store);
        QCOMPARE(o["source"].toString(), QStringLiteral("store"));
        QCOMPARE(o["contacts"].toInt(), 8);
    }

    void fileKindByItsTables()
    {
        // An address book copied as "ab.db" and a store copied as "mine.sqlite" are read as what they are.
        const QString cache = ContactFixtures::generate({ "--edge" });
        const QDir dir(TestEnv::tempDir());
        QVERIFY(QFile::copy(
            QDir(cache).absoluteFilePath(IOSContactsDb::kAddressBookName), dir.absoluteFilePath("ab.db")));
        QJsonObject o = counts(dir.absoluteFilePath("ab.db"));
        QCOMPARE(o["source"].toString(), QStringLiteral("addressbook"));
        QCOMPARE(o["contacts"].toInt(), 10);
        const QString store = dir.absoluteFilePath("Local");
        int rc = -1;
        run({ "save-contacts", dir.absoluteFilePath("ab.db"), store }, rc);
        QCOMPARE(rc, 0);
        QVERIFY(QFile::copy(store + "/contacts.db", dir.absoluteFilePath("mine.sqlite")));
        o = counts(dir.absoluteFilePath("mine.sqlite"));
        QCOMPARE(o["source"].toString(), QStringLiteral("store"));
        QCOMPARE(o["contacts"].toInt(), 8);
    }

    void hotJournalIsRolledBack_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("contacts");
        QTest::newRow("store") << "store"
                               << "contact" << 8;
        QTest::newRow("address book") << "addressbook"
                                      << "ABPerson" << 10;
    }
    // A save killed in the middle of its transaction leaves its changes in the file and the way
    // back in the -journal beside it: the probe reads what was committed, and leaves both files as
    // they are. Damage it cannot read is reported under the user's file name.
    void hotJournalIsRolledBack()
    {
        QFETCH(QString, kind);
        QFETCH(QString, table);
        const QString cache = ContactFixtures::generate({ "--edge" });
        const QDir dir(TestEnv::tempDir());
        const QString db = dir.absoluteFilePath("book.db");
        int rc = -1;
        if (kind == "store") {
            run({ "save-contacts", cache, dir.absoluteFilePath("Local") }, rc);
            QVERIFY(QFile::copy(dir.absoluteFilePath("Local/contacts.db"), db));
        } else
            QVERIFY(QFile::copy(QDir(cache).absoluteFilePath(IOSContactsDb::kAddressBookName), db));
        QCOMPARE(QProcess::execute("python3",
                     { "-c",
                         "import os,sqlite3,sys\n"
                         "db=sqlite3.connect(sys.argv[1],isolation_level=None)\n"
                         "db.execute('pragma cache_size=5'); db.execute('begin')\n"
                         "db.execute('delete from '+sys.argv[2]); db.execute('create table filler(x)')\n"
                         "for i in range(2000): db.execute('insert into filler values(randomblob(900))')\n"
                         "os._exit(0)\n",
                         db, table }),
            0);
        QVERIFY(QFile::exists(db + "-journal"));
        const QByteArray file = bytes(db), journal = bytes(db + "-journal");
        const QJsonObject o = counts(db);
        QCOMPARE(o["source"].toString(), kind);
        QTEST(o["contacts"].toInt(), "contacts");
        QCOMPARE(bytes(db), file);
        QCOMPARE(bytes(db + "-journal"), journal);
        // The file cut short as well: SQLite's complaint names the given file, not the probe's copy.
        QFile::resize(db, 8192);
        QByteArray err;
        run({ "contacts", db }, rc, &err);
        QCOMPARE(rc, 1);
        QVERIFY2(err.contains("(" + db.toUtf8() + ")") && !err.contains("qm-probe-"), err.constData());
    }

    void realBook()
    {
        QM_REQUIRE_SHARED();
        QCOMPARE(
            counts(TestEnv::realFixture("tracy-phone-2012/AddressBook.sqlitedb"))["contacts"].toInt(), 6);
    }

    void badInput()
    {
        int rc = 0;
        QByteArray err;
        run({ "contacts", "/no/such/path" }, rc, &err);
        QCOMPARE(rc, 1);
        QVERIFY(err.contains("does not exist"));
        run({ "contacts", TestEnv::tempDir() }, rc, &err);
        QCOMPARE(rc, 1);
        QVERIFY(err.contains("holds no address book"));
    }
};

QTEST_GUILESS_MAIN(TestProbeContacts)
#include "TestProbeContacts.moc"
