#include "app/DataPaths.h"
#include "messages/store/MsgPath.h"
#include "support/NameMark.h"
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
    // extension; of characters or in a shape an NTFS or FAT disk refuses, without them. Each name
    // changed so, or that looks like one, carries a mark of the whole name, so that names that
    // differ only in what is left out stay two files.
    void devicePathsAsKept_data()
    {
        QTest::addColumn<QString>("devicePath");
        QTest::addColumn<QString>("kept"); // below the relay folder
        const QString sms = "var/mobile/Library/SMS/";
        const QString cjk = QString(100, QChar(0x4E2D)) + ".JPG"; // 304 bytes
        QTest::newRow("100 CJK characters")
            << "~/Library/SMS/" + cjk << sms + QString(72, QChar(0x4E2D)) + nameMark(cjk) + ".JPG";
        QTest::newRow("forbidden characters alone") << "~/Library/SMS/a/???" << sms + "a/_" + nameMark("???");
        QTest::newRow("a colon") << "~/Library/SMS/a:b.jpg" << sms + "ab" + nameMark("a:b.jpg") + ".jpg";
        QTest::newRow("a question mark") << "~/Library/SMS/x?.jpg" << sms + "x" + nameMark("x?.jpg") + ".jpg";
        QTest::newRow("a star") << "~/Library/SMS/x*.jpg" << sms + "x" + nameMark("x*.jpg") + ".jpg";
        QTest::newRow("a control character")
            << "~/Library/SMS/x\x01y.jpg" << sms + "xy" + nameMark("x\x01y.jpg") + ".jpg";
        QTest::newRow("in a folder's name")
            << "~/Library/SMS/Attachments/a|b/c.jpg" << sms + "Attachments/ab" + nameMark("a|b") + "/c.jpg";
        const QString marked = "ab" + nameMark("a:b.jpg") + ".jpg";
        QTest::newRow("a name that looks marked")
            << "~/Library/SMS/" + marked << sms + "ab" + nameMark("a:b.jpg") + nameMark(marked) + ".jpg";
        QTest::newRow("a device's name")
            << "~/Library/SMS/AUX.jpg" << sms + "AUX" + nameMark("AUX.jpg") + ".jpg";
        QTest::newRow("a device's name, two extensions")
            << "~/Library/SMS/lpt1.tar.gz" << sms + "lpt1" + nameMark("lpt1.tar.gz") + ".tar.gz";
        QTest::newRow("a dot at the end") << "~/Library/SMS/end." << sms + "end" + nameMark("end.");
        QTest::newRow("a space at the end")
            << "~/Library/SMS/end .jpg " << sms + "end " + nameMark("end .jpg ") + ".jpg";
        QTest::newRow("an extension alone left")
            << "~/Library/SMS/\".jpg" << sms + "_" + nameMark("\".jpg") + ".jpg";
    }
    void devicePathsAsKept()
    {
        QFETCH(QString, devicePath);
        QFETCH(QString, kept);
        const QDir relay(m_base + "/real");
        QCOMPARE(msgRelayPath(relay, devicePath), relay.absoluteFilePath(kept));
    }

    // Where the disk took the phone's own name, a copy stands under it and is found there first;
    // a name that looks marked, has a control character or is too long never stands for itself.
    void phonesOwnNamesFoundFirst_data()
    {
        QTest::addColumn<QString>("devicePath");
        QTest::addColumn<QString>("kept");
        const QString sms = "var/mobile/Library/SMS/";
        QTest::newRow("a device's name") << "~/Library/SMS/AUX.jpg" << sms + "AUX.jpg";
        QTest::newRow("a colon") << "~/Library/SMS/a:b.jpg" << sms + "a:b.jpg";
        QTest::newRow("a dot at the end") << "~/Library/SMS/end." << sms + "end.";
        QTest::newRow("in a folder's name") << "~/Library/SMS/con/c.jpg" << sms + "con/c.jpg";
        const QString marked = "ab" + nameMark("a:b.jpg") + ".jpg";
        QTest::newRow("a name that looks marked")
            << "~/Library/SMS/" + marked << sms + "ab" + nameMark("a:b.jpg") + nameMark(marked) + ".jpg";
        QTest::newRow("a control character")
            << "~/Library/SMS/x\x01y.jpg" << sms + "xy" + nameMark("x\x01y.jpg") + ".jpg";
    }
    void phonesOwnNamesFoundFirst()
    {
        QFETCH(QString, devicePath);
        QFETCH(QString, kept);
        const QDir relay(TestEnv::tempDir());
        const QString plain = relay.absoluteFilePath("var/mobile/" + devicePath.mid(2));
        const QString fitted = msgRelayPath(relay, devicePath);
        write(fitted);
        if (!plain.contains(QChar(1)))
            write(plain);
        QCOMPARE(msgRelayPath(relay, devicePath), relay.absoluteFilePath(kept));
    }
};

QTEST_GUILESS_MAIN(TestMsgPath)
#include "TestMsgPath.moc"
