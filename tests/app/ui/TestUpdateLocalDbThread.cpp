#include "app/DataPaths.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/UpdateLocalDbThread.h"

#include <QFile>
#include <QtTest>

class TestUpdateLocalDbThread : public QObject
{
    Q_OBJECT

    static void touch(const QString& path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old layout");
    }

private Q_SLOTS:
    void init() { QDir(g_localDbDir().absolutePath()).removeRecursively(); }

    void currentLayoutNeedsNothing()
    {
        g_localDbDir().mkpath("Work");
        touch(g_localDbDir().absoluteFilePath("Work/contacts.db"));
        QVERIFY(UpdateLocalDbThread::firstFolderToUpdate().isEmpty());
    }

    // This build has no converter for the old files: they stay untouched and no progress dialog
    // is asked for at every start.
    void oldFilesWithoutConverterAreKept()
    {
        g_localDbDir().mkpath("Old/attachments");
        touch(g_localDbDir().absoluteFilePath("Old/mms.db"));
        touch(g_localDbDir().absoluteFilePath("Old/calendar.db"));
        QVERIFY(UpdateLocalDbThread::firstFolderToUpdate().isEmpty());

        ProgressForm form;
        form.setCancelable(false);
        UpdateLocalDbThread thread(form);
        thread.start();
        QCOMPARE(form.exec(), 1);
        QVERIFY(thread.wait(10000));
        QVERIFY(QFile::exists(g_localDbDir().absoluteFilePath("Old/mms.db")));
        QVERIFY(QFile::exists(g_localDbDir().absoluteFilePath("Old/calendar.db")));
        QVERIFY(QDir(g_localDbDir().absoluteFilePath("Old/attachments")).exists());
    }
};

QTEST_MAIN(TestUpdateLocalDbThread)
#include "TestUpdateLocalDbThread.moc"
