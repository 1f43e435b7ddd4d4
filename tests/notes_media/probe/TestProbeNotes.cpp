#include "notes_media/support/NotesFixtures.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

// The developer probe's notes, bookmarks and extraction commands, run as a program.
class TestProbeNotes : public QObject
{
    Q_OBJECT

    QString probe;

    QByteArray run(const QStringList& args, int* rc)
    {
        QProcess p;
        p.start(probe, args);
        p.waitForFinished(120000);
        *rc = p.exitCode();
        return p.readAllStandardOutput();
    }

private Q_SLOTS:
    void initTestCase()
    {
        probe = QCoreApplication::applicationDirPath() + "/../tools/probe/qm-probe";
        if (!QFile::exists(probe))
            QSKIP("qm-probe is not built beside the tests");
    }

    void countsAndExports()
    {
        const QString bookmarks = NotesFixtures::generate("make_bookmarks_db.py", {}, "Bookmarks.db");
        int rc = -1;
        QJsonObject o = QJsonDocument::fromJson(run({ "bookmarks", bookmarks }, &rc)).object();
        QCOMPARE(rc, 0);
        QCOMPARE(o["total"].toInt(), 9); // the tree counts what the page shows
        QCOMPARE(o["shown"].toInt(), 9);
        const QString html = TestEnv::tempDir() + "/b.html";
        run({ "export-bookmarks", bookmarks, html }, &rc);
        QCOMPARE(rc, 0);
        QVERIFY(QFile::exists(html));
        const QString notes = NotesFixtures::generate("make_notes_db.py", {}, "notes.sqlite");
        o = QJsonDocument::fromJson(run({ "notes", notes }, &rc)).object();
        QCOMPARE(rc, 0);
        QCOMPARE(o["notes"].toInt(), 5);
        const QString out = TestEnv::tempDir() + "/notes";
        run({ "export-notes", notes, out }, &rc);
        QCOMPARE(rc, 0);
        QCOMPARE(QDir(out).entryList(QDir::Files).size(), 5);
    }

    void extractsEncryptedTree()
    {
        QM_REQUIRE_SHARED();
        const QString dir = TestEnv::copyToTemp(TestEnv::realFixture("pyiosbackup/backup_ios9_mbdb"));
        const QString out = TestEnv::tempDir() + "/tree";
        int rc = -1;
        const QByteArray stdoutText
            = run({ "extract-tree", dir, out, "--password", "0000", "--domain", "MyTestDomain" }, &rc);
        QCOMPARE(rc, 0);
        QVERIFY2(stdoutText.contains("\"extracted\":1"), stdoutText.constData());
        QFile f(out + "/MyTestDomain/Media/Test.txt");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("Test data"));
        run({ "extract-tree", dir, out, "--password", "wrong" }, &rc);
        QVERIFY(rc != 0);
    }
};

QTEST_GUILESS_MAIN(TestProbeNotes)
#include "TestProbeNotes.moc"
