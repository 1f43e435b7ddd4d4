#include "app/DataPaths.h"
#include "app/ui/StartUpChecks.h"
#include "app/ui/support/ModalAnswerer.h"

#include <QFile>
#include <QtTest>
#include <unistd.h>

class TestStartUpChecks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noOldDatabasesNoProgressWindow()
    {
        g_localDbDir().mkpath("Work");
        ModalAnswerer answerer;
        QVERIFY(!StartUpChecks::convertOldLocalDbs());
        QCOMPARE(answerer.handled(), 0);
    }

    void writableStorageNoWarning()
    {
        g_dataSaveDir();
        ModalAnswerer answerer;
        QVERIFY(!StartUpChecks::warnIfStorageNotWritable());
        QCOMPARE(answerer.handled(), 0);
    }

    void readOnlyStorageWarnsOnce()
    {
        if (geteuid() == 0)
            QSKIP("the super-user may write anywhere; a read-only folder cannot be made");
        const QString base = g_defaultSaveDirPath();
        const QFile::Permissions before = QFile::permissions(base);
        QVERIFY(QFile::setPermissions(base, QFile::ReadOwner | QFile::ExeOwner));
        ModalAnswerer answerer;
        const bool warned = StartUpChecks::warnIfStorageNotWritable();
        QFile::setPermissions(base, before);
        QVERIFY(warned);
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY(answerer.seen().first().contains("How to?"));
    }
};

QTEST_MAIN(TestStartUpChecks)
#include "TestStartUpChecks.moc"
