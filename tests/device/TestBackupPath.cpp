#include "device/BackupPath.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

class TestBackupPath : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keepsPathsInsideTheRoot_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("inside");
        QTest::newRow("plain") << "UDID/Manifest.plist" << true;
        QTest::newRow("dot steps") << "UDID/./Snapshot//x" << true;
        QTest::newRow("parent step") << "UDID/../other" << false;
        QTest::newRow("parent at start") << "../x" << false;
        QTest::newRow("absolute") << "/etc/passwd" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("root itself") << "./" << false;
        QTest::newRow("dots in a name") << "UDID/..hidden" << true;
    }
    void keepsPathsInsideTheRoot()
    {
        QFETCH(QString, path);
        QFETCH(bool, inside);
        const QString root = TestEnv::tempDir();
        QString absolute;
        QCOMPARE(BackupPath::resolve(QDir(root), path, &absolute), inside);
        if (inside)
            QVERIFY(absolute.startsWith(QDir(root).absolutePath() + "/"));
    }

    void refusesLinksOnTheWay()
    {
        const QString root = TestEnv::tempDir();
        const QString outside = TestEnv::tempDir();
        QDir().mkpath(root + "/UDID");
        QVERIFY(QFile::link(outside, root + "/UDID/out"));
        QVERIFY(QFile::link(outside + "/missing", root + "/UDID/dangling"));
        QVERIFY(!BackupPath::resolve(QDir(root), "UDID/out/file"));
        QVERIFY(!BackupPath::resolve(QDir(root), "UDID/out"));
        QVERIFY(!BackupPath::resolve(QDir(root), "UDID/dangling"));
        QVERIFY(BackupPath::resolve(QDir(root), "UDID/new/deeper/file"));
    }
};

QTEST_GUILESS_MAIN(TestBackupPath)
#include "TestBackupPath.moc"
