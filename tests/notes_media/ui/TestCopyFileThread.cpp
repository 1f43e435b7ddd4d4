#include "app/ui/shared/ProgressForm.h"
#include "notes_media/ui/CopyFileThread.h"
#include "support/TestEnv.h"

#include <QDirIterator>
#include <QFile>
#include <QtTest>

namespace
{

void write(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(data);
}

struct Run {
    int result = 0;
    QString text;
};

Run copy(const QString& source, const QString& dest)
{
    Run r;
    ProgressForm form;
    form.setQuiet(true);
    CopyFileThread t(source, QDir(dest), &form);
    t.start();
    r.result = form.exec();
    t.wait();
    r.text = form.resultText();
    return r;
}

QStringList tree(const QString& dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
        QDirIterator::Subdirectories);
    while (it.hasNext())
        out.append(QDir(dir).relativeFilePath(it.next()));
    out.sort();
    return out;
}

} // namespace

class TestCopyFileThread : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void copiesFolderWithoutHiddenEntries()
    {
        const QString src = TestEnv::tempDir() + "/src";
        write(src + "/a.txt", "a");
        write(src + "/sub/b.txt", "b");
        write(src + "/.hidden", "h");
        QFile::setPermissions(src + "/a.txt", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString dest = TestEnv::tempDir() + "/new/dest";
        const Run r = copy(src, dest);
        QCOMPARE(r.result, 1);
        QCOMPARE(tree(dest), QStringList({ "src", "src/a.txt", "src/sub", "src/sub/b.txt" }));
        QVERIFY(QFileInfo(dest + "/src/a.txt").permissions() & QFile::ExeOwner);
    }

    void reportsMissingSourceAndNonFolder()
    {
        const QString dest = TestEnv::tempDir() + "/dest";
        Run r = copy(TestEnv::tempDir() + "/none", dest);
        QCOMPARE(r.result, 0);
        QVERIFY(r.text.startsWith("Can not find "));
        QVERIFY(!QFileInfo::exists(dest));
        const QString src = TestEnv::tempDir() + "/src";
        write(src + "/x", "x");
        const QString dest2 = TestEnv::tempDir();
        write(dest2 + "/src", "a file where the folder goes");
        r = copy(src, dest2);
        QCOMPARE(r.result, 0);
        QCOMPARE(r.text, QString("%1/src is not a folder.").arg(dest2));
    }

    // A link back to an ancestor is not entered again; the copy ends.
    void linkCycleEnds()
    {
        const QString src = TestEnv::tempDir() + "/src";
        write(src + "/sub/f", "f");
        QVERIFY(QFile::link(src, src + "/sub/loop"));
        const QString dest = TestEnv::tempDir();
        const Run r = copy(src, dest);
        QCOMPARE(r.result, 1);
        QCOMPARE(tree(dest), QStringList({ "src", "src/sub", "src/sub/f" }));
    }

    // After a failure only what the run made goes: a folder merged into and its old files stay.
    void failureRemovesOnlyWhatItMade()
    {
        const QString src = TestEnv::tempDir() + "/src";
        write(src + "/keep/new.txt", "n");
        write(src + "/made/m.txt", "m");
        write(src + "/zz/late.txt", "l");
        const QString dest = TestEnv::tempDir();
        write(dest + "/src/keep/old.txt", "o");
        write(dest + "/src/zz", "a file where a folder goes");
        const Run r = copy(src, dest);
        QCOMPARE(r.result, 0);
        QCOMPARE(tree(dest), QStringList({ "src", "src/keep", "src/keep/old.txt", "src/zz" }));
    }
};

QTEST_MAIN(TestCopyFileThread)
#include "TestCopyFileThread.moc"
