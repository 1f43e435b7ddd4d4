#include "app/ui/shared/ProgressForm.h"
#include "device/support/FileFixtures.h"
#include "device/ui/CopyUWPItunesThread.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

class TestCopyUWPItunesThread : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void copiesOnlyMissingFilesAndMarksTheCopy()
    {
        const QString source = TestEnv::tempDir() + "/iTunes.app";
        putFile(source + "/Contents/a", "new a");
        putFile(source + "/Contents/b", "new b");
        const QDir target = CopyUWPItunesThread::uwpItunesSaveDir(source);
        QCOMPARE(target.absolutePath(), QDir::homePath() + "/quillmarrow_itunes/iTunes.app");
        putFile(target.absoluteFilePath("Contents/a"), "kept a");
        QVERIFY(!CopyUWPItunesThread::isUWPItunesCopied(target));

        ProgressForm form;
        CopyUWPItunesThread thread(source, false, form);
        thread.start();
        QCOMPARE(form.exec(), 1);
        thread.wait();
        QCOMPARE(fileContents(target.absoluteFilePath("Contents/a")), QByteArray("kept a"));
        QCOMPARE(fileContents(target.absoluteFilePath("Contents/b")), QByteArray("new b"));
        QVERIFY(CopyUWPItunesThread::isUWPItunesCopied(target));

        ProgressForm again;
        CopyUWPItunesThread clearing(source, true, again);
        clearing.start();
        QCOMPARE(again.exec(), 1);
        clearing.wait();
        QCOMPARE(fileContents(target.absoluteFilePath("Contents/a")), QByteArray("new a"));
    }
};

QTEST_MAIN(TestCopyUWPItunesThread)
#include "TestCopyUWPItunesThread.moc"
