#include "backup/support/GenBackup.h"
#include "notes_media/support/NotesFixtures.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>
#include <sys/stat.h>

// The probe's voicemail, recordings and export-media commands, run as a program on generated
// backups, against sqlite3's own count and the generator's audio bytes.
class TestProbeMedia : public QObject
{
    Q_OBJECT
    QString m_probe, m_plain, m_locked;

    QJsonObject run(const QStringList& args, int* rc)
    {
        QProcess p;
        p.start(m_probe, args);
        p.waitForFinished(120000);
        *rc = p.exitCode();
        return QJsonDocument::fromJson(p.readAllStandardOutput().split('\n').value(0)).object();
    }

    // sqlite3 run over a database of the plain backup, and over its manifest.
    static int sqliteCount(
        const QString& backup, const QString& domain, const QString& rel, const QString& sql)
    {
        const QString out = NotesFixtures::python(
            "import hashlib,sqlite3,sys\n"
            "h=hashlib.sha1((sys.argv[2]+'-'+sys.argv[3]).encode()).hexdigest()\n"
            "db=sys.argv[1]+'/'+h[:2]+'/'+h if sys.argv[3] else sys.argv[1]+'/Manifest.db'\n"
            "print(sqlite3.connect(db).execute(sys.argv[4]).fetchone()[0])\n",
            { backup, domain, rel, sql });
        return out.trimmed().isEmpty() ? -1 : out.trimmed().toInt();
    }

    static QByteArray bytes(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_probe = QCoreApplication::applicationDirPath() + "/../tools/probe/qm-probe";
        if (!QFile::exists(m_probe))
            QSKIP("qm-probe is not built beside the tests");
        m_plain
            = GenBackup::make({ "--voicemails", "4", "--recordings", "3", "--photos", "0", "--videos", "0" });
        m_locked = GenBackup::make(
            { "--voicemails", "2", "--recordings", "2", "--password", "1234", "--iter", "1", "--dpic", "1" });
        QVERIFY(!m_plain.isEmpty() && !m_locked.isEmpty());
    }

    void listingsAgreeWithSqlite_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("audioLike");
        QTest::newRow("voicemail") << "voicemail"
                                   << "HomeDomain"
                                   << "Library/Voicemail/voicemail.db"
                                   << "voicemail"
                                   << "Library/Voicemail/%.amr";
        QTest::newRow("recordings") << "recordings"
                                    << "MediaDomain"
                                    << "Media/Recordings/Recordings.db"
                                    << "ZRECORDING"
                                    << "Media/Recordings/%.m4a";
    }
    void listingsAgreeWithSqlite()
    {
        QFETCH(QString, command);
        QFETCH(QString, domain);
        QFETCH(QString, database);
        QFETCH(QString, table);
        QFETCH(QString, audioLike);
        int rc = -1;
        const QJsonObject o = run({ command, m_plain }, &rc);
        QCOMPARE(rc, 0);
        const int rows = sqliteCount(m_plain, domain, database, "select count(*) from " + table);
        const int files = sqliteCount(m_plain, domain, "",
            QString("select count(*) from Files where domain='%1' and relativePath like '%2'")
                .arg(domain, audioLike));
        QCOMPARE(o["total"].toInt(), rows);
        QCOMPARE(o["rows"].toArray().size(), rows);
        QCOMPARE(files, rows);
        // The database file itself serves as SRC too.
        const QString copy = TestEnv::tempDir() + "/copy.db";
        const QString h
            = QCryptographicHash::hash((domain + "-" + database).toUtf8(), QCryptographicHash::Sha1).toHex();
        QVERIFY(QFile::copy(m_plain + "/" + h.left(2) + "/" + h, copy));
        QCOMPARE(run({ command, copy }, &rc)["total"].toInt(), rows);
        QCOMPARE(rc, 0);
    }

    void encryptedBackupNeedsItsPassword()
    {
        int rc = -1;
        QJsonObject o = run({ "voicemail", "--password", "1234", m_locked }, &rc);
        QCOMPARE(rc, 0);
        QCOMPARE(o["total"].toInt(), 2);
        const QJsonObject first = o["rows"].toArray().first().toObject();
        QCOMPARE(first["audio"].toString(), QString("Library/Voicemail/2.amr"));
        QCOMPARE(first["date"].toString(), QString("2017-07-15T03:42:03Z"));
        o = run({ "recordings", "--password", "1234", m_locked }, &rc);
        QCOMPARE(o["total"].toInt(), 2);
        run({ "recordings", "--password", "nope", m_locked }, &rc);
        QVERIFY(rc != 0);
    }

    void exportsTheGeneratorsAudio_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<QString>("relDir");
        QTest::addColumn<int>("count");
        QTest::newRow("voicemail plain") << "voicemail" << false << "Library/Voicemail" << 4;
        QTest::newRow("recordings plain") << "recordings" << false << "Media/Recordings" << 3;
        QTest::newRow("voicemail encrypted") << "voicemail" << true << "Library/Voicemail" << 2;
        QTest::newRow("recordings encrypted") << "recordings" << true << "Media/Recordings" << 2;
    }
    void exportsTheGeneratorsAudio()
    {
        QFETCH(QString, kind);
        QFETCH(bool, encrypted);
        QFETCH(QString, relDir);
        QFETCH(int, count);
        const QString audio = TestEnv::tempDir();
        QVERIFY(!NotesFixtures::generate(
            "make_media_db.py", { kind, "--count", QString::number(count), "--files", audio }, "media.db")
                     .isEmpty());
        const QString dest = TestEnv::tempDir() + "/out";
        QStringList args { "export-media", "--kind", kind, encrypted ? m_locked : m_plain, dest };
        if (encrypted)
            args << "--password"
                 << "1234";
        int rc = -1;
        const QJsonObject o = run(args, &rc);
        QCOMPARE(rc, 0);
        QCOMPARE(o["extracted"].toInt(), count);
        const QStringList names = QDir(dest).entryList(QDir::Files, QDir::Name);
        QCOMPARE(names, QDir(audio + "/" + relDir).entryList(QDir::Files, QDir::Name));
        for (const QString& n : names)
            QCOMPARE(bytes(dest + "/" + n), bytes(audio + "/" + relDir + "/" + n));
    }

    void fifosNeverBlockExtraction_data()
    {
        QTest::addColumn<bool>("inBackup");
        QTest::newRow("FIFO at a name in the destination") << false;
        QTest::newRow("FIFO in place of a stored file") << true;
    }
    // Nothing waits for a reader or a writer, and the FIFO stays: one in the backup ends the run at
    // once with an error naming it; one in the destination is left, its file written beside it.
    void fifosNeverBlockExtraction()
    {
        QFETCH(bool, inBackup);
        const QString backup = TestEnv::copyToTemp(m_plain);
        const QString names = TestEnv::tempDir();
        int rc = -1;
        run({ "export-media", "--kind", "recordings", backup, names }, &rc);
        QCOMPARE(rc, 0);
        const QString first = QDir(names).entryList(QDir::Files, QDir::Name).value(0);
        QVERIFY(!first.isEmpty());
        const QString dest = TestEnv::tempDir();
        const QByteArray h = QCryptographicHash::hash(
            "MediaDomain-Media/Recordings/" + first.toUtf8(), QCryptographicHash::Sha1)
                                 .toHex();
        const QString fifo = inBackup ? backup + "/" + h.left(2) + "/" + h : dest + "/" + first;
        QVERIFY(QFile::exists(fifo) == inBackup);
        QFile::remove(fifo);
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QProcess p;
        p.start(m_probe, { "export-media", "--kind", "recordings", backup, dest });
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
            QFAIL("the extraction waits on the FIFO");
        }
        const QString err = QString::fromUtf8(p.readAllStandardError());
        if (inBackup) {
            QVERIFY(p.exitCode() != 0);
            QVERIFY2(err.contains(fifo + ". Not a regular file"), qPrintable(err));
        } else {
            QVERIFY2(p.exitCode() == 0, qPrintable(err));
            const QFileInfo at(first);
            QCOMPARE(
                bytes(dest + "/" + at.completeBaseName() + "(2)." + at.suffix()), bytes(names + "/" + first));
        }
        struct stat st;
        QVERIFY(::lstat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
    }

    void badArgumentsAreRefused()
    {
        int rc = -1;
        run({ "export-media", "--kind", "faxes", m_plain, TestEnv::tempDir() }, &rc);
        QCOMPARE(rc, 2);
        run({ "export-media", "--kind", "voicemail", m_plain }, &rc);
        QCOMPARE(rc, 2);
        run({ "voicemail" }, &rc);
        QCOMPARE(rc, 2);
        run({ "voicemail", TestEnv::tempDir() + "/absent" }, &rc);
        QVERIFY(rc != 0);
    }
};

QTEST_GUILESS_MAIN(TestProbeMedia)
#include "TestProbeMedia.moc"
