#include "messages/support/MsgFixtures.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

// The developer probe's "messages" command, run as a program.
class TestProbeMessages : public QObject
{
    Q_OBJECT

    QString probe;

    QJsonObject run(const QString& path, int* rc = nullptr)
    {
        QProcess p;
        p.start(probe, { "messages", path });
        p.waitForFinished(120000);
        if (rc)
            *rc = p.exitCode();
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    }

private Q_SLOTS:
    void initTestCase()
    {
        probe = QCoreApplication::applicationDirPath() + "/../tools/probe/qm-probe";
        if (!QFile::exists(probe))
            QSKIP("qm-probe is not built beside the tests");
    }

    void cacheFolderAndFile()
    {
        const QString folder = MsgFixtures::generate("ios6");
        QVERIFY(!folder.isEmpty());
        const QJsonObject exp = MsgFixtures::expected(folder);
        const QByteArray before = MsgFixtures::fileHash(MsgFixtures::smsPath(folder));
        for (const QString& path : { folder, MsgFixtures::smsPath(folder) }) {
            int rc = -1;
            const QJsonObject o = run(path, &rc);
            QCOMPARE(rc, 0);
            QCOMPARE(o["schema"].toString(), QString("ios6"));
            QCOMPARE(o["chats"].toInt(), exp["chats"].toInt());
            QCOMPARE(o["handles"].toInt(), exp["handles_distinct_joined"].toInt());
            QCOMPARE(o["messages"].toInt(), exp["messages"].toInt());
            QCOMPARE(o["attachments"].toInt(), exp["attachments"].toInt());
            QCOMPARE(o["first_date21"].toInt(), exp["first_date"].toInt());
            QCOMPARE(o["last_date21"].toInt(), exp["last_date"].toInt());
            QCOMPARE(o["first_date"].toString(), QString("2013-09-04T15:06:40Z"));
        }
        // The probe works on a private copy: the given database is not touched, not even emptied
        // of its sync rows.
        QCOMPARE(MsgFixtures::fileHash(MsgFixtures::smsPath(folder)), before);
        QVERIFY(!QFile::exists(folder + "/recycle.db"));
    }

    // The tree's total and the listed messages count a message whose item type is NULL alike: as
    // an ordinary message.
    void nullItemTypeCountsAsAMessage()
    {
        const QString folder = MsgFixtures::generate("ios6");
        QVERIFY(!folder.isEmpty());
        const int messages = MsgFixtures::expected(folder)["messages"].toInt();
        QVERIFY(MsgFixtures::execSql(MsgFixtures::smsPath(folder),
            "UPDATE message SET item_type = NULL WHERE ROWID IN (SELECT message_id FROM chat_message_join "
            "ORDER BY message_id LIMIT 3)"));
        int rc = -1;
        const QJsonObject o = run(folder, &rc);
        QCOMPARE(rc, 0);
        QCOMPARE(o["messages"].toInt(), messages);
        QCOMPARE(o["total"].toInt(), messages);
    }

    // Deleted messages are recovered where the message table's root page is lost too; where nothing
    // of the table can be read the run fails, saying so, instead of recovering nothing.
    void recoverFromADamagedMessageTable_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("recovered"); // -1: the run fails
        QTest::newRow("sound") << QStringList { "--messages", "400", "--delete-every", "3" } << 133;
        QTest::newRow("root zeroed") << QStringList { "--messages", "400", "--delete-every", "3",
            "--zero-root" } << 133;
        QTest::newRow("the only leaf zeroed")
            << QStringList { "--messages", "6", "--delete-every", "3", "--zero-root" } << -1;
    }
    void recoverFromADamagedMessageTable()
    {
        QFETCH(QStringList, args);
        QFETCH(int, recovered);
        QString err;
        const QString folder = MsgFixtures::generateWith("make_deleted_sms.py", args, &err);
        QVERIFY2(!folder.isEmpty(), qPrintable(err));
        QProcess p;
        p.start(probe, { "recover-messages", folder });
        QVERIFY(p.waitForFinished(120000));
        const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        const QString error = QString::fromUtf8(p.readAllStandardError());
        if (recovered < 0) {
            QVERIFY(p.exitCode() != 0);
            // The file named is the one given, not the probe's private link to it.
            QVERIFY2(error.contains("The message table of " + QDir(folder).absolutePath())
                    && error.contains("sms.db is damaged"),
                qPrintable(error));
            QVERIFY(!o.contains("recovered_messages"));
        } else {
            QCOMPARE(p.exitCode(), 0);
            QCOMPARE(o["recovered_messages"].toInt(), recovered);
        }
    }

    void realFixtures()
    {
        QM_REQUIRE_SHARED();
        const QJsonObject magnet = run(TestEnv::realFixture("magnet-ctf-2020-sms/sms.db"));
        QCOMPARE(magnet["messages"].toInt(), 105);
        QCOMPARE(magnet["chats"].toInt(), 7);
        QCOMPARE(magnet["attachments"].toInt(), 7);
        // A copy whose message table reads as empty while its indexes count 105: damaged, not empty.
        QString err;
        const QString damaged = MsgFixtures::generateWith("make_deleted_sms.py",
            { "--from", TestEnv::realFixture("magnet-ctf-2020-sms/sms.db"), "--delete-every", "0",
                "--empty-root", "message" },
            &err);
        QVERIFY2(!damaged.isEmpty(), qPrintable(err));
        int damagedRc = 0;
        const QJsonObject broken = run(damaged, &damagedRc);
        QCOMPARE(damagedRc, 1);
        QCOMPARE(broken["total"].toInt(), 105);
        QCOMPARE(broken["error"].toString(),
            "database disk image is malformed (" + MsgFixtures::smsPath(damaged) + ")");
        const QJsonObject mac = run(TestEnv::realFixture("imessagedb/chat.db"));
        QCOMPARE(mac["schema"].toString(), QString("mac"));
        QCOMPARE(mac["messages"].toInt(), 2);
        int rc = 0;
        const QJsonObject mvt = run(TestEnv::realFixture("mvt/ios_backup"), &rc);
        QCOMPARE(rc, 1);
        QCOMPARE(mvt["total"].toInt(), 1);
        QVERIFY(mvt["error"].toString().contains("msg_group"));
    }
};

QTEST_GUILESS_MAIN(TestProbeMessages)
#include "TestProbeMessages.moc"
