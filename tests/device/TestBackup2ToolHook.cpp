#include "device/Backup2ToolHook.h"
#include "device/support/FileFixtures.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

class TestBackup2ToolHook : public QObject
{
    Q_OBJECT
    Backup2ToolHook hook;
    QString root;

private Q_SLOTS:
    void init() { root = TestEnv::tempDir(); }

    void movesFilesAndFolders()
    {
        QString err;
        QCOMPARE(hook.moveFile(QDir(root), "missing", "dest", err), 0);
        QVERIFY(!QFileInfo::exists(root + "/dest"));

        putFile(root + "/src/a", "new");
        putFile(root + "/dest/old/b", "old");
        QCOMPARE(hook.moveFile(QDir(root), "src", "dest", err), 0);
        QCOMPARE(fileContents(root + "/dest/a"), QByteArray("new"));
        QVERIFY(!QFileInfo::exists(root + "/dest/old"));

        putFile(root + "/f1", "one");
        QCOMPARE(hook.moveFile(QDir(root), "f1", "deep/er/f2", err), 0);
        QCOMPARE(fileContents(root + "/deep/er/f2"), QByteArray("one"));
        QVERIFY(err.isEmpty());
    }

    void removesTreesButKeepsHiddenEntries()
    {
        putFile(root + "/dir/sub/file");
        putFile(root + "/dir/keep/.hidden");
        putFile(root + "/dir/keep/plain");
        putFile(root + "/dir/top");
        rmdir_recursive(root + "/dir");
        // The folder holding the hidden file and the folders above it stay; the rest goes.
        QVERIFY(QFileInfo::exists(root + "/dir/keep/.hidden"));
        QVERIFY(!QFileInfo::exists(root + "/dir/keep/plain"));
        QVERIFY(!QFileInfo::exists(root + "/dir/sub"));
        QVERIFY(!QFileInfo::exists(root + "/dir/top"));
        rmdir_recursive(root + "/never-there");
    }

    void removesEverythingAndReportsFailure()
    {
        QString err;
        putFile(root + "/dir/sub/file");
        QCOMPARE(hook.removeFile(QDir(root), "dir", err), 0);
        QVERIFY(!QFileInfo::exists(root + "/dir"));
        QCOMPARE(hook.removeFile(QDir(root), "never-there", err), 0);

        // A folder still holding a hidden entry stays, and the device hears that it does.
        putFile(root + "/shown/.hidden");
        QVERIFY(hook.removeFile(QDir(root), "shown", err) != 0);
        QVERIFY(QFileInfo::exists(root + "/shown/.hidden"));
        err.clear();

        // A folder that cannot be emptied is a failure the device hears about.
        putFile(root + "/locked/inner/file");
        QFile::setPermissions(root + "/locked/inner", QFile::ReadOwner | QFile::ExeOwner);
        const int result = hook.removeFile(QDir(root), "locked", err);
        QFile::setPermissions(root + "/locked/inner", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (QFileInfo::exists(root + "/locked/inner/file")) { // not when running as root
            QVERIFY(result != 0);
            QVERIFY(!err.isEmpty());
        }
    }

    void removalNeverFollowsLinks()
    {
        const QString outside = TestEnv::tempDir();
        putFile(outside + "/keep");
        putFile(root + "/dir/file");
        QVERIFY(QFile::link(outside, root + "/dir/link"));
        rmdir_recursive(root + "/dir");
        QVERIFY(!QFileInfo::exists(root + "/dir"));
        QCOMPARE(fileContents(outside + "/keep"), QByteArray("x"));
    }

    void copiesWithTypeConflicts()
    {
        QString err;
        putFile(root + "/file");
        QDir().mkpath(root + "/folder");
        QCOMPARE(hook.copyFile(QDir(root), "file", "folder", err), 14);
        QCOMPARE(err, QStringLiteral("Destination is a folder."));
        err.clear();
        QCOMPARE(hook.copyFile(QDir(root), "folder", "file", err), 14);
        QCOMPARE(err, QStringLiteral("Destination is a file."));

        putFile(root + "/tree/a/b", "b");
        putFile(root + "/tree/.hidden", "h");
        err.clear();
        QCOMPARE(hook.copyFile(QDir(root), "tree", "copy/of/tree", err), 0);
        QCOMPARE(fileContents(root + "/copy/of/tree/a/b"), QByteArray("b"));
        QVERIFY(!QFileInfo::exists(root + "/copy/of/tree/.hidden"));
        QCOMPARE(hook.copyFile(QDir(root), "absent", "x", err), 0);
        QVERIFY(!QFileInfo::exists(root + "/x"));
    }

    void listsFoldersAndOpensFiles()
    {
        putFile(root + "/dir/file", "12345");
        QDir().mkpath(root + "/dir/sub");
        putFile(root + "/dir/.hidden");
        auto items = hook.dirContents(QDir(root), "dir");
        QCOMPARE(items.size(), 2);
        std::sort(items.begin(), items.end(), [](auto& a, auto& b) { return a.name < b.name; });
        QCOMPARE(items[0].name, QStringLiteral("file"));
        QCOMPARE(items[0].kind, 1);
        QCOMPARE(items[0].size, 5);
        QCOMPARE(items[1].kind, 2);
        QVERIFY(hook.dirContents(QDir(root), "nothing").isEmpty());

        QFile file;
        QString err;
        putFile(root + "/a/b/c", "old content");
        QCOMPARE(hook.recvFileOpenWrite(QDir(root), "a/b/c", file, err), 0);
        QVERIFY(file.isOpen());
        file.close();
        QCOMPARE(fileContents(root + "/a/b/c"), QByteArray());
        QFile other;
        QCOMPARE(hook.recvFileOpenWrite(QDir(root), "x/y/z", other, err), 0);
        QVERIFY(QFileInfo::exists(root + "/x/y/z"));
    }

    void makesFoldersAndReportsConflicts()
    {
        QString err;
        QCOMPARE(hook.mkdir(QDir(root), "a/b", err), 0);
        QCOMPARE(hook.mkdir(QDir(root), "a/b", err), 0);
        QVERIFY(QFileInfo(root + "/a/b").isDir());
        putFile(root + "/plain");
        QVERIFY(hook.mkdir(QDir(root), "plain", err) != 0);
        QVERIFY(!err.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBackup2ToolHook)
#include "TestBackup2ToolHook.moc"
