#include "app/DataPaths.h"
#include "messages/store/MsgPath.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

// Where an attachment path of a message source folder leads, judged by where it ends up.
class TestMsgPath : public QObject
{
    Q_OBJECT
    QString m_base; // holds real/ (the data), home -> real (a folder reached through a link), outside/

    static void write(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
    }

private slots:
    void initTestCase()
    {
        m_base = TestEnv::tempDir();
        write(m_base + "/real/Attachments/a.jpg");
        write(m_base + "/outside/secret.txt");
        QVERIFY(QFile::link(m_base + "/real", m_base + "/home"));
        QVERIFY(QFile::link(m_base + "/outside/secret.txt", m_base + "/real/Attachments/out.jpg"));
        QVERIFY(QFile::link(m_base + "/real/Attachments/a.jpg", m_base + "/real/Attachments/in.jpg"));
        QVERIFY(QFile::link(m_base + "/outside", m_base + "/real/Linked"));
        QVERIFY(QFile::link(m_base + "/outside/gone.txt", m_base + "/real/Attachments/dangling.jpg"));
    }

    void judgedByWhereItLeads_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("kept");
        QTest::newRow("plain file") << "real"
                                    << "Attachments/a.jpg" << true;
        QTest::newRow("folder reached through a link") << "home"
                                                       << "Attachments/a.jpg" << true;
        QTest::newRow("link that stays inside") << "home"
                                                << "Attachments/in.jpg" << true;
        QTest::newRow("link that leads out") << "real"
                                             << "Attachments/out.jpg" << false;
        QTest::newRow("link that leads out, folder linked") << "home"
                                                            << "Attachments/out.jpg" << false;
        QTest::newRow("linked sub-folder that leads out") << "real"
                                                          << "Linked/secret.txt" << false;
        QTest::newRow("dangling link") << "real"
                                       << "Attachments/dangling.jpg" << false;
        QTest::newRow("missing file") << "real"
                                      << "Attachments/none.jpg" << true;
    }
    void judgedByWhereItLeads()
    {
        QFETCH(QString, folder);
        QFETCH(QString, relative);
        QFETCH(bool, kept);
        const QDir dir(m_base + "/" + folder);
        const QString path = msgConfinedPath(dir, relative);
        QVERIFY(!path.isEmpty());
        QCOMPARE(msgSourcePath(dir, path), kept ? path : QString());
    }

    // Names as the load of a backup keeps its copies: too long for a disk, cut before the
    // extension with a mark of the whole name; of forbidden characters alone, "_".
    void devicePathsAsKept_data()
    {
        QTest::addColumn<QString>("devicePath");
        QTest::addColumn<QString>("kept"); // below the relay folder
        const QString cjk = QString(100, QChar(0x4E2D)) + ".JPG"; // 304 bytes
        QTest::newRow("100 CJK characters") << "~/Library/SMS/" + cjk
                                            << "var/mobile/Library/SMS/" + QString(80, QChar(0x4E2D)) + "~"
                + g_pathHash(cjk).left(8) + ".JPG";
        QTest::newRow("forbidden characters alone") << "~/Library/SMS/a/???"
                                                    << "var/mobile/Library/SMS/a/_";
    }
    void devicePathsAsKept()
    {
        QFETCH(QString, devicePath);
        QFETCH(QString, kept);
        const QDir relay(m_base + "/real");
        QCOMPARE(msgRelayPath(relay, devicePath), relay.absoluteFilePath(kept));
    }
};

QTEST_GUILESS_MAIN(TestMsgPath)
#include "TestMsgPath.moc"
