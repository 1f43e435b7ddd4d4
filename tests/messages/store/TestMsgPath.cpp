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
};

QTEST_GUILESS_MAIN(TestMsgPath)
#include "TestMsgPath.moc"
