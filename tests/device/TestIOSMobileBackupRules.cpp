#include "device/IOSMobileBackupRules.h"
#include "device/iosbackup.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

namespace
{
void put(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

QByteArray plist(const QString& body)
{
    return (R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>)" + body + "</dict></plist>")
        .toUtf8();
}

QString makeBackup(const QString& state, const QString& version, const QString& manifest = "Manifest.db")
{
    const QString dir = TestEnv::tempDir() + "/UDID";
    put(dir + "/Status.plist", plist("<key>SnapshotState</key><string>" + state + "</string>"));
    put(dir + "/Manifest.plist",
        plist("<key>Lockdown</key><dict><key>ProductVersion</key><string>" + version + "</string></dict>"));
    if (!manifest.isEmpty())
        put(dir + "/" + manifest, "x");
    return dir;
}
} // namespace

class TestIOSMobileBackupRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void onlyPlainIdentifiersNameDeviceFolders()
    {
        QVERIFY(IOSMobileBackupRules::isDeviceFolderName("00008030-001A2B3C4D5E6F70"));
        QVERIFY(IOSMobileBackupRules::isDeviceFolderName("0123456789abcdef0123456789abcdef01234567"));
        for (const char* bad : { "", ".", "..", "../x", "a/b", "/abs", "a b", "a\\b" })
            QVERIFY2(!IOSMobileBackupRules::isDeviceFolderName(QString::fromUtf8(bad)), bad);
        QVERIFY(!IOSMobileBackupRules::isDeviceFolderName(QString(200, 'a')));
    }

    void decidesWhetherAnEarlierBackupStays()
    {
        QVERIFY(IOSMobileBackupRules::keepEarlierBackup(QDir(makeBackup("finished", "17.1")), "17.1"));
        QVERIFY(IOSMobileBackupRules::keepEarlierBackup(
            QDir(makeBackup("finished", "17.1", "Manifest.mbdb")), "17.1"));
        QVERIFY(!IOSMobileBackupRules::keepEarlierBackup(QDir(makeBackup("finished", "17.0")), "17.1"));
        QVERIFY(!IOSMobileBackupRules::keepEarlierBackup(QDir(makeBackup("Finished", "17.1")), "17.1"));
        QVERIFY(!IOSMobileBackupRules::keepEarlierBackup(QDir(makeBackup("finished", "17.1", "")), "17.1"));
        const QString broken = makeBackup("finished", "17.1");
        put(broken + "/Status.plist", "not a plist");
        QVERIFY(!IOSMobileBackupRules::keepEarlierBackup(QDir(broken), "17.1"));
        QVERIFY(!IOSMobileBackupRules::keepEarlierBackup(QDir(TestEnv::tempDir()), "17.1"));
    }

    void backupFailureTexts()
    {
        const QString lost = IOSMobileBackupRules::backupFailureText("x: connection TO DEVICE lost", false);
        QVERIFY(lost.startsWith(
            "Connection to device lost. Please try the following solutions: <br/><br/>A:<br/>Step 1)"));
        QVERIFY(lost.contains("/guides/reset-lockdown-in-itunes.php\">How to</a>) <br/>Step 2)"));
        QVERIFY(lost.endsWith("<br/><br/>Note: You can restart your device to try again."));
        const QString setup = IOSMobileBackupRules::backupFailureText("wait until Setup is finished", true);
        QVERIFY(setup.startsWith(
            "Failed to connect your iPhone. Please try the following solutions: <br/><br/>"));
        QVERIFY(setup.endsWith(
            "/transfer-messages-from-to-iphone-with-itunes.html\"><b>tutorial</b></a> to try."));
        QCOMPARE(IOSMobileBackupRules::backupFailureText("other", false),
            QStringLiteral("other<br/><br/>Note: You can restart your device to try again."));
    }

    void restoreFailureTexts()
    {
        QVERIFY(IOSMobileBackupRules::restoreFailureText("e", true).startsWith(
            "e<br/><br/>Tip: You can follow this <a"));
        QVERIFY(IOSMobileBackupRules::restoreNeedsFreshBackup("failed: mberrordomain/205"));
        QVERIFY(!IOSMobileBackupRules::restoreNeedsFreshBackup("MBErrorDomain/20"));
    }

    void workingFolder()
    {
        const QDir base = iosbackup_temp_dir(QString());
        QCOMPARE(base.dirName(), QStringLiteral("__quillmarrow_iosbk_temp"));
        QCOMPARE(iosbackup_temp_dir("sys").absolutePath(), base.absolutePath() + "/sys");
        QVERIFY(!base.exists());
        iosbackup_clear_temp("sys"); // nothing there: nothing happens
        QDir().mkpath(iosbackup_temp_dir("sys").absoluteFilePath("UDID"));
        put(iosbackup_temp_dir("sys").absoluteFilePath("UDID/Status.plist"), "x");
        iosbackup_clear_temp("sys");
        QVERIFY(!iosbackup_temp_dir("sys").exists());
        QVERIFY(base.exists());
    }
};

QTEST_GUILESS_MAIN(TestIOSMobileBackupRules)
#include "TestIOSMobileBackupRules.moc"
