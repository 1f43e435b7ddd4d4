#include "backup/support/GenBackup.h"
#include "calls_calendars/support/CallsFixtures.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace CallsFixtures;

// The developer probe's call-history and calendar commands, run as a program.
class TestProbeCalls : public QObject
{
    Q_OBJECT
    QString probe;

    // input goes to the probe's standard input (a password asked for there).
    int run(const QStringList& args, QByteArray* out = nullptr, QByteArray* err = nullptr,
        const QString& input = QString())
    {
        QProcess p;
        p.start(probe, args);
        if (!input.isEmpty())
            p.write((input + "\n").toUtf8());
        p.closeWriteChannel();
        p.waitForFinished(300000);
        if (out)
            *out = p.readAllStandardOutput();
        if (err)
            *err = p.readAllStandardError();
        return p.exitCode();
    }
    QJsonObject json(const QStringList& args)
    {
        QByteArray out;
        const int rc = run(args, &out);
        return rc == 0 ? QJsonDocument::fromJson(out).object() : QJsonObject();
    }

private slots:
    void initTestCase()
    {
        probe = QCoreApplication::applicationDirPath() + "/../tools/probe/qm-probe";
        if (!QFile::exists(probe))
            QSKIP("qm-probe is not built beside the tests");
    }

    void tracyFile()
    {
        QM_REQUIRE_SHARED();
        const QJsonObject o = json({ "calls", TestEnv::realFixture("tracy-phone-2012/call_history.db") });
        QCOMPARE(o["calls"].toInt(), 5);
        QCOMPARE(o["incoming"].toInt(), 4);
        QCOMPARE(o["outgoing"].toInt(), 1);
    }

    void generatedBackups_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << QString();
        QTest::newRow("encrypted") << QString("pw");
    }
    void generatedBackups()
    {
        QFETCH(QString, password);
        const QString store = makeCallDb({ "--calls", "6" });
        const QString calendar = makeCalendarDb();
        QStringList args { "--content", "Library/CallHistoryDB/CallHistory.storedata=" + store, "--content",
            "Library/Calendar/Calendar.sqlitedb=" + calendar };
        QStringList pw;
        if (!password.isEmpty()) {
            args << "--password" << password << "--iter"
                 << "10"
                 << "--dpic"
                 << "10";
            pw << "--password" << password;
        }
        const QString backup = GenBackup::make(args);
        QVERIFY(!backup.isEmpty());
        const QString before = GenBackup::folderDigest(backup);
        QCOMPARE(json(QStringList { "calls" } + pw + QStringList { backup })["calls"].toInt(), 6);
        QCOMPARE(json(QStringList { "calendars" } + pw + QStringList { backup })["events"].toInt(), 8);
        QCOMPARE(GenBackup::folderDigest(backup), before); // only read

        const QString ics = TestEnv::tempDir() + "/events.ics";
        QCOMPARE(
            run(QStringList { "export-calendars", "--format", "ics" } + pw + QStringList { backup, ics }), 0);
        QVERIFY(QFile::exists(ics));
        const QString csv = TestEnv::tempDir() + "/calls";
        QCOMPARE(
            run(QStringList { "export-calls", "--format", "csv" } + pw + QStringList { backup, csv }), 0);
        QVERIFY(QFile::exists(csv + ".csv"));

        const QString source = makeCallDb({ "--calls", "3", "--seed", "9" });
        QByteArray out;
        QCOMPARE(run(QStringList { "merge-calls", source, backup } + pw, &out), 0);
        QVERIFY(out.contains("merged 3 calls"));
        QCOMPARE(json(QStringList { "calls" } + pw + QStringList { backup })["calls"].toInt(), 9);
    }

    // Calls a device left in the store's write-ahead log are read, and a merge written back
    // leaves the backup's log empty (not the old log over the new store).
    void callsInTheLogAreReadAndKept_data() { generatedBackups_data(); }
    void callsInTheLogAreReadAndKept()
    {
        QFETCH(QString, password);
        const QString store = makeCallDb({ "--calls", "65", "--wal", "5" });
        QVERIFY(QFile::exists(store + "-wal"));
        const QString rel = "Library/CallHistoryDB/CallHistory.storedata";
        QStringList args { "--content", rel + "=" + store, "--put",
            "HomeDomain:" + rel + "-wal=" + store + "-wal" };
        QStringList pw;
        if (!password.isEmpty()) {
            args << "--password" << password << "--iter"
                 << "10"
                 << "--dpic"
                 << "10";
            pw << "--password" << password;
        }
        const QString backup = GenBackup::make(args);
        QVERIFY(!backup.isEmpty());
        QCOMPARE(json(QStringList { "calls" } + pw + QStringList { backup })["calls"].toInt(), 65);
        QByteArray out;
        QCOMPARE(
            run(QStringList { "merge-calls", makeCallDb({ "--calls", "3", "--seed", "9" }), backup } + pw,
                &out),
            0);
        QVERIFY2(out.contains("merged 3 calls"), out.constData());
        QCOMPARE(json(QStringList { "calls" } + pw + QStringList { backup })["calls"].toInt(), 68);
        // The log the backup holds now is empty, and the store alone holds every call.
        const QString wal = TestEnv::tempDir() + "/wal";
        QCOMPARE(run({ "extract", backup, "HomeDomain", rel + "-wal", wal }, nullptr, nullptr, password), 0);
        QCOMPARE(QFileInfo(wal).size(), 0);
        const QString alone = TestEnv::tempDir() + "/CallHistory.storedata";
        QCOMPARE(
            run(QStringList { "extract", backup, "HomeDomain", rel, alone }, nullptr, nullptr, password), 0);
        QCOMPARE(json({ "calls", alone })["calls"].toInt(), 68);
    }

    void otherCalendarGeneration()
    {
        QM_REQUIRE_SHARED();
        QByteArray err;
        QVERIFY(run({ "calendars",
                        TestEnv::realFixture("mvt/ios_backup/20/2041457d5fe04d39d0ab481178355df6781e6858") },
                    nullptr, &err)
            != 0);
        QVERIFY(err.contains("no calendar table"));
    }
};

QTEST_GUILESS_MAIN(TestProbeCalls)
#include "TestProbeCalls.moc"
