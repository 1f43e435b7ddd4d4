#include "app/ui/ProgressForm.h"
#include "device/ui/CopyUWPItunesThread.h"
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
QByteArray get(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestCopyUWPItunesThread : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void copiesOnlyMissingFilesAndMarksTheCopy()
    {
        const QString source = TestEnv::tempDir() + "/iTunes.app";
        put(source + "/Contents/a", "new a");
        put(source + "/Contents/b", "new b");
        const QDir target = CopyUWPItunesThread::uwpItunesSaveDir(source);
        QCOMPARE(target.absolutePath(), QDir::homePath() + "/quillmarrow_itunes/iTunes.app");
        put(target.absoluteFilePath("Contents/a"), "kept a");
        QVERIFY(!CopyUWPItunesThread::isUWPItunesCopied(target));

        ProgressForm form;
        CopyUWPItunesThread thread(source, false, form);
        thread.start();
        QCOMPARE(form.exec(), 1);
        thread.wait();
        QCOMPARE(get(target.absoluteFilePath("Contents/a")), QByteArray("kept a"));
        QCOMPARE(get(target.absoluteFilePath("Contents/b")), QByteArray("new b"));
        QVERIFY(CopyUWPItunesThread::isUWPItunesCopied(target));

        ProgressForm again;
        CopyUWPItunesThread clearing(source, true, again);
        clearing.start();
        QCOMPARE(again.exec(), 1);
        clearing.wait();
        QCOMPARE(get(target.absoluteFilePath("Contents/a")), QByteArray("new a"));
    }
};

QTEST_MAIN(TestCopyUWPItunesThread)
#include "TestCopyUWPItunesThread.moc"
