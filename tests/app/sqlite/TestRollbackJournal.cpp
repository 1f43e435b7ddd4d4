#include "app/sqlite/RollbackJournal.h"
#include "app/sqlite/Sqlite3DB.h"
#include "backup/support/BackupReads.h"
#include "backup/support/GenBackup.h"
#include "support/TestEnv.h"

#include <QtTest>
#include <sys/stat.h>

using BackupReads::readAll;
using State = RollbackJournal::State;

class TestRollbackJournal : public QObject
{
    Q_OBJECT
    QString m_hot; // a backup whose Manifest.db a change was stopped in

    // What a change to several databases ends its journal with: the name of its own journal.
    static QByteArray trailer(const QByteArray& name, quint32 sumOff = 0)
    {
        quint32 sum = sumOff;
        for (const char c : name)
            sum += quint32(c);
        QByteArray t;
        QDataStream s(&t, QIODevice::WriteOnly);
        s << quint32(262145);
        s.writeRawData(name.constData(), int(name.size()));
        s << quint32(name.size()) << sum;
        return t + QByteArray::fromHex("d9d505f920a163d7");
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_hot = GenBackup::make({ "--hot-journal" });
        QVERIFY(!m_hot.isEmpty());
    }

    // A journal is judged as SQLite judges it, never through the name it ends with, and its copy
    // holds what SQLite plays back of it and no name: the copy is played back, no name followed,
    // and costs little however large the journal is made.
    void judgedAndCopiedAsSqliteReadsIt_data()
    {
        QTest::addColumn<QString>("names"); // what stands at the name the journal ends with
        QTest::addColumn<QString>("change"); // what is done to the journal besides
        QTest::addColumn<int>("state");
        const QString none;
        QTest::newRow("no name") << none << none << int(State::Holds);
        for (const char* what : { "file", "FIFO", "link" })
            QTest::addRow("naming a %s", what) << QString(what).toLower() << none << int(State::HoldsJoint);
        QTest::newRow("naming an empty file") << "empty" << none << int(State::Stale);
        QTest::newRow("naming what is gone") << "gone" << none << int(State::Stale);
        QTest::newRow("naming a file, the sum wrong") << "file" << QString("wrong sum") << int(State::Holds);
        QTest::newRow("naming a file twice") << "file" << QString("twice") << int(State::HoldsJoint);
        QTest::newRow("sparse, 4 GB") << none << "sparse" << int(State::Holds);
        QTest::newRow("sparse, 4 GB, naming a FIFO") << "fifo" << QString("sparse") << int(State::HoldsJoint);
        // SQLite makes it beside the database: a name elsewhere is never looked up, though a file
        // stands there, and the journal is taken for a finished change.
        QTest::newRow("naming a file in another folder")
            << "file" << QString("elsewhere") << int(State::Stale);
        QTest::newRow("naming a FIFO in another folder")
            << "fifo" << QString("elsewhere") << int(State::Stale);
        // Its folder told from the name as written, never through a link the name climbs out of.
        QTest::newRow("naming a file beside it through a link")
            << "file" << QString("through") << int(State::HoldsJoint);
        QTest::newRow("a FIFO") << none << "fifo journal" << int(State::NotAFile);
        QTest::newRow("a link to a journal") << none << "link journal" << int(State::NotAFile);
        // Another user's, where everyone may write: what it holds is theirs, never read.
        QTest::newRow("another user's, where everyone may write")
            << none << "theirs journal" << int(State::Foreign);
        QTest::newRow("another user's, where the folder's group may write")
            << none << "theirs group journal" << int(State::Foreign);
    }
    void judgedAndCopiedAsSqliteReadsIt()
    {
        QFETCH(QString, names);
        QFETCH(QString, change);
        QFETCH(int, state);
        const QString dir = TestEnv::tempDir(), db = dir + "/Manifest.db", journal = db + "-journal";
        QVERIFY(QFile::copy(m_hot + "/Manifest.db", db));
        // Bytes a signed char sums below 0; beside the database, as SQLite makes it.
        const QString named = (change == "elsewhere" ? TestEnv::tempDir() : dir) + "/süper-journal";
        QVERIFY(change != "through" || QFile::link(TestEnv::tempDir(), dir + "/link"));
        const QString told = change == "through" ? dir + "/link/../süper-journal" : named;
        const QString kept = TestEnv::tempDir() + "/kept";
        QFile file(names == "link" ? kept : named);
        if (names == "fifo" || change == "fifo journal")
            QCOMPARE(::mkfifo(QFile::encodeName(names == "fifo" ? named : journal).constData(), 0600), 0);
        else if (!names.isEmpty() && names != "gone")
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(names == "empty" ? "" : "child") >= 0);
        file.close();
        QVERIFY(names != "link" || QFile::link(kept, named));
        if (change == "link journal")
            QVERIFY(QFile::copy(m_hot + "/Manifest.db-journal", kept) && QFile::link(kept, journal));
        const bool theirs = change.startsWith("theirs ");
        const bool group = change == "theirs group journal";
        if (theirs && ::geteuid() != 0)
            QSKIP("Files of another user are put there by root only");
        QVERIFY(!theirs || ::chmod(QFile::encodeName(dir).constData(), group ? 01770 : 01777) == 0);
        QVERIFY(!theirs || TestEnv::plant(journal, readAll(m_hot + "/Manifest.db-journal"), 65534));
        if (change.endsWith(" journal")) {
            QString refusal;
            if (theirs)
                refusal = "the file " + journal + " stands in a folder " + (group ? "its group" : "everyone")
                    + " may write into and belongs to another user (nobody): it is not read";
            QString why;
            QCOMPARE(int(RollbackJournal::stateOf(db, &why)), state);
            QCOMPARE(why, refusal);
            QCOMPARE(RollbackJournal::copy(db, TestEnv::tempDir() + "/copy.db"),
                "Cannot read " + journal + ". " + (theirs ? refusal : "Not a regular file"));
            return;
        }
        QVERIFY(QFile::copy(m_hot + "/Manifest.db-journal", journal));
        QFile j(journal);
        QVERIFY(j.open(QIODevice::ReadWrite) && (change != "sparse" || j.resize(qint64(4) << 30))
            && j.seek(j.size()));
        if (!names.isEmpty())
            j.write(trailer(QFile::encodeName(told), change == "wrong sum")
                + (change == "twice" ? trailer(QFile::encodeName(told)) : QByteArray()));
        j.close();
        if (change == "elsewhere")
            QTest::ignoreMessage(QtInfoMsg,
                QRegularExpression("\"" + QRegularExpression::escape(told)
                    + "\" lies outside its folder: "
                      "never looked up"));
        QCOMPARE(int(RollbackJournal::stateOf(db)), state);
        const QString copy = TestEnv::tempDir() + "/copy.db";
        QVERIFY(QFile::copy(db, copy));
        QCOMPARE(RollbackJournal::copy(db, copy), QString());
        QVERIFY(QFileInfo(copy + "-journal").size() < (1 << 20));
        Sqlite3DB played; // the first read plays the copy back
        played.openThrow(copy, SQLITE_OPEN_READWRITE);
        Sqlite3Cursor c
            = played.queryThrow("select count(*) from Files where relativePath like '%.unfinished'");
        QVERIFY(c.moveNext() && c.getInt(0) == 0 && !QFileInfo::exists(copy + "-journal"));
        QCOMPARE(
            QFileInfo(named).exists() || QFileInfo(named).isSymLink(), !names.isEmpty() && names != "gone");
        QVERIFY(names != "file" || readAll(named) == "child");
        QVERIFY(names != "link" || readAll(kept) == "child");
    }
};

QTEST_GUILESS_MAIN(TestRollbackJournal)
#include "TestRollbackJournal.moc"
