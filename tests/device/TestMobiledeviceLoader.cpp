#include "device/mobiledevice_loader.h"

#include <QtTest>

class TestMobiledeviceLoader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void remembersThePathAndAlwaysLoads()
    {
        QString message = "untouched";
        QCOMPARE(mobiledevice_loader_ini_uwpiTunesPath(), QString());
        QCOMPARE(mobiledevice_loader_ini(message, "/opt/iTunes", { "-x" }), 1);
        QCOMPARE(message, QStringLiteral("untouched"));
        QCOMPARE(mobiledevice_loader_ini_uwpiTunesPath(), QStringLiteral("/opt/iTunes"));
        QProcessEnvironment environment;
        QVERIFY(mobiledevice_exe32_path("AppleMobileDeviceHelper", environment)
                    .endsWith("AppleMobileDeviceHelper.app/Contents/Resources/AppleMobileDeviceHelper"));
        QVERIFY(environment.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMobiledeviceLoader)
#include "TestMobiledeviceLoader.moc"
