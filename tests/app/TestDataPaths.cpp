#include "app/DataPaths.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QUrl>
#include <QtTest>
#include <sys/stat.h>

class TestDataPaths : public QObject
{
    Q_OBJECT

    QString home;

    static void touch(const QString& path, const QByteArray& content = QByteArray())
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    static bool openToOthers(const QString& path) { return QFileInfo(path).permissions() & 0x77; }
    QString appSupport() const { return home + "/Library/Application Support"; }
    QString redirectFile() const
    {
        return appSupport() + "/QuillMarrow/7C2E41A9D05B38F6E19A4C7D2B60F853.redirect";
    }

private Q_SLOTS:
    void init()
    {
        // Each case starts from a fresh home and an empty cache.
        home = TestEnv::tempDir();
        qputenv("HOME", home.toUtf8());
        g_curDataSaveDirPath.clear();
        ::umask(022); // as Debian's default: what is not made closed is open to others
    }

    void defaultLayoutUnderHome()
    {
        QCOMPARE(g_osAppDir().absolutePath(), appSupport());
        QCOMPARE(g_defaultSaveDirPath(), appSupport() + "/QuillMarrow");
        QVERIFY(g_dataSaveDirLink().isEmpty());
        const QString expected = appSupport() + "/QuillMarrow/7C2E41A9D05B38F6E19A4C7D2B60F853";
        QCOMPARE(g_dataSaveDir().absolutePath(), expected);
        QVERIFY(QFileInfo(expected).isDir());
        QVERIFY(!openToOthers(expected) && !openToOthers(appSupport() + "/QuillMarrow"));
        QCOMPARE(g_localDbDir().absolutePath(), expected + "/local_databases");
        QVERIFY(QFileInfo(expected + "/local_databases").isDir());
    }

    void dataFolderIsRecreated()
    {
        const QString data = g_dataSaveDir().absolutePath();
        QVERIFY(QDir(data).removeRecursively());
        QCOMPARE(g_dataSaveDir().absolutePath(), data);
        QVERIFY(QFileInfo(data).isDir());
    }

    void redirectToExistingFolder()
    {
        const QString target = QDir(TestEnv::tempDir()).absoluteFilePath("elsewhere");
        QVERIFY(QDir().mkpath(target));
        // Without the product folder the redirect cannot be written.
        g_setDataSaveDirLink(target);
        QVERIFY(!QFile::exists(redirectFile()));
        QVERIFY(QDir().mkpath(appSupport() + "/QuillMarrow"));
        g_setDataSaveDirLink(target);
        QFile f(redirectFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), target.toUtf8()); // no terminator
        QCOMPARE(g_dataSaveDirLink(), target);
        QCOMPARE(g_dataSaveDir().absolutePath(), target + "/7C2E41A9D05B38F6E19A4C7D2B60F853");
        QVERIFY(QFileInfo(target + "/7C2E41A9D05B38F6E19A4C7D2B60F853").isDir());
        // The path is worked out once: a later change of the redirect waits for the next start.
        g_setDataSaveDirLink(QString());
        QCOMPARE(g_dataSaveDir().absolutePath(), target + "/7C2E41A9D05B38F6E19A4C7D2B60F853");
    }

    void redirectTextRules()
    {
        const QString target = QDir(TestEnv::tempDir()).absoluteFilePath("t\u00e9");
        QVERIFY(QDir().mkpath(target));
        QVERIFY(QDir().mkpath(appSupport() + "/QuillMarrow"));
        // A trailing line break names a path that does not exist.
        touch(redirectFile(), target.toUtf8() + "\n");
        QVERIFY(g_dataSaveDirLink().isEmpty());
        QCOMPARE(
            g_dataSaveDir().absolutePath(), appSupport() + "/QuillMarrow/7C2E41A9D05B38F6E19A4C7D2B60F853");
        // Only the text up to the first NUL counts.
        touch(redirectFile(), target.toUtf8() + QByteArray("\0garbage", 8));
        QCOMPARE(g_dataSaveDirLink(), target);
        // A missing target.
        touch(redirectFile(), "/no/such/folder/anywhere");
        QVERIFY(g_dataSaveDirLink().isEmpty());
    }

    // What an earlier version left open is closed; the user's folders around it, and what a link at
    // the data folder's name leads to, stay as they are; a failure is logged with its reason.
    void ownFoldersAreClosed_data()
    {
        QTest::addColumn<QString>("before"); // what stands at the data folder's name
        QTest::addColumn<bool>("redirected");
        QTest::addColumn<QString>("logged"); // about the data folder, %1
        QTest::newRow("left open") << "folder" << false << "Closed %1 to other users: its mode was 775.";
        QTest::newRow("left open, redirected")
            << "folder" << true << "Closed %1 to other users: its mode was 775.";
        QTest::newRow("link")
            << "link" << false
            << "Left %1 alone: it is a link, and the folder it leads to is open to other users.";
        QTest::newRow("file") << "file" << false << "Cannot close %1 to other users: Not a directory.";
        // An earlier version left it open to writes: what another user put there is taken out of the way.
        QTest::newRow("left open to writes, another user's files in it")
            << "others' files" << false << "Closed %1 to other users: its mode was 777.";
        // A redirect's data folder another user made first (in a shared folder): never used.
        QTest::newRow("redirected to another user's folder")
            << "another user's" << true
            << "Not using %1 as the data folder: it belongs to another user, who may read what is kept "
               "there. "
               "Using %2 instead.";
    }

    void ownFoldersAreClosed()
    {
        QFETCH(QString, before);
        QFETCH(bool, redirected);
        QFETCH(QString, logged);
        const QString product = appSupport() + "/QuillMarrow", elsewhere = appSupport() + "/elsewhere";
        const QString base = redirected ? TestEnv::tempDir() + "/disk" : product;
        const QString data = base + "/7C2E41A9D05B38F6E19A4C7D2B60F853";
        QVERIFY(QDir().mkpath(product) && QDir().mkpath(base) && QDir().mkpath(elsewhere));
        if (redirected)
            g_setDataSaveDirLink(base);
        const bool others = before == "others' files" || before == "another user's";
        if (others && ::geteuid() != 0)
            QSKIP("only root can make files of another user");
        const QString mine = data + "/ios_cache", planted = data + "/planted",
                      theirs = data + "/itunes_cache";
        if (before == "folder")
            QVERIFY(QDir().mkpath(theirs) && ::chmod(QFile::encodeName(data), 0775) == 0);
        else if (others) {
            QVERIFY(
                QDir().mkpath(theirs) && QDir().mkpath(mine) && ::chmod(QFile::encodeName(data), 0777) == 0);
            touch(planted);
            const QString& owned = before == "another user's" ? data : theirs;
            QVERIFY(::chown(QFile::encodeName(owned), 65534, 65534) == 0
                && ::chown(QFile::encodeName(planted), 65534, 65534) == 0);
        } else if (before == "link")
            QVERIFY(QFile::link(elsewhere, data));
        else
            touch(data);
        QTest::ignoreMessage(
            QtInfoMsg, qPrintable(QString("Closed %1 to other users: its mode was 755.").arg(product)));
        const QString used
            = before == "another user's" ? product + "/7C2E41A9D05B38F6E19A4C7D2B60F853" : data;
        QTest::ignoreMessage(before == "folder" || before == "others' files" ? QtInfoMsg : QtWarningMsg,
            qPrintable(logged.contains("%2") ? logged.arg(data, used) : logged.arg(data)));
        const QString taken
            = ": it belongs to another user, who could write into the folder an earlier version "
              "left open to others.";
        if (before == "others' files") {
            QTest::ignoreMessage(QtWarningMsg, qPrintable("Moved aside " + theirs + taken));
            QTest::ignoreMessage(QtWarningMsg, qPrintable("Removed " + planted + taken));
        }
        QCOMPARE(g_dataSaveDir().absolutePath(), used);
        if (others) {
            QVERIFY(!openToOthers(used) && !QFileInfo::exists(planted) == (before == "others' files"));
            QCOMPARE(QFileInfo::exists(theirs + ".another-user's"), before == "others' files");
            QCOMPARE(openToOthers(mine), before == "another user's");
            return;
        }
        QVERIFY(!openToOthers(product) && openToOthers(appSupport()) && openToOthers(elsewhere));
        QCOMPARE(openToOthers(data), before == "link"); // a file there is the program's too
        QCOMPARE(openToOthers(base), redirected);
        if (before != "folder")
            return;
        // Opened again while the program runs (removed and made again by a road that does not ask
        // here): the next use closes it again.
        QVERIFY(::chmod(QFile::encodeName(data), 0755) == 0);
        QTest::ignoreMessage(
            QtInfoMsg, qPrintable(QString("Closed %1 to other users: its mode was 755.").arg(data)));
        g_dataSaveDir();
        QVERIFY(!openToOthers(data));
    }

    void validFilePath()
    {
        const QString dir = TestEnv::tempDir();
        const QString free = dir + "/free.txt";
        QCOMPARE(g_getValidFilePath(free), free);
        touch(dir + "/a.txt");
        touch(dir + "/a(1).txt");
        QCOMPARE(g_getValidFilePath(dir + "/a.txt"), dir + "/a(2).txt");
        touch(dir + "/notes");
        QCOMPARE(g_getValidFilePath(dir + "/notes"), dir + "/notes(1)");
        touch(dir + "/.profile");
        QCOMPARE(g_getValidFilePath(dir + "/.profile"), dir + "/(1).profile");
        touch(dir + "/report.tar.gz");
        QCOMPARE(g_getValidFilePath(dir + "/report.tar.gz"), dir + "/report(1).gz");
        // A folder counts as taken too, and so does a dangling link.
        QVERIFY(QDir().mkpath(dir + "/sub"));
        QCOMPARE(g_getValidFilePath(dir + "/sub"), dir + "/sub(1)");
        QVERIFY(QFile::link(dir + "/nowhere", dir + "/dangling"));
        QCOMPARE(g_getValidFilePath(dir + "/dangling"), dir + "/dangling(1)");
        // A name too long for a disk is cut before its extension, with its number too.
        const QString longName = dir + "/" + QString(300, 'a') + ".txt";
        QCOMPARE(g_getValidFilePath(longName), dir + "/" + QString(251, 'a') + ".txt");
        touch(dir + "/" + QString(251, 'a') + ".txt");
        QCOMPARE(g_getValidFilePath(longName), dir + "/" + QString(248, 'a') + "(1).txt");
    }

    void formatFileName()
    {
        QCOMPARE(g_formatFileName("  a:b?c.txt  "), QString("abc.txt"));
        QCOMPARE(g_formatFileName("***"), QString());
        QCOMPARE(g_formatFileName("x\\y/z\"<>|\n\r\tw"), QString("xyzw"));
        QCOMPARE(g_formatFileName(".hidden name"), QString(".hidden name"));
        QCOMPARE(g_formatFileName(QString("x") + QChar(0) + "y.jpg"), QString("xy.jpg"));
    }

    void delDirCascade()
    {
        const QString base = TestEnv::tempDir();
        g_delDirCascade(base + "/does-not-exist"); // nothing happens

        const QString tree = base + "/tree";
        QVERIFY(QDir().mkpath(tree + "/a/b"));
        touch(tree + "/f1");
        touch(tree + "/a/b/f2");
        // A link to a folder outside: removed as a link, its target untouched.
        const QString outside = base + "/outside";
        QVERIFY(QDir().mkpath(outside));
        touch(outside + "/keep.txt");
        QVERIFY(QFile::link(outside, tree + "/a/link"));
        g_delDirCascade(tree);
        QVERIFY(!QFileInfo::exists(tree));
        QVERIFY(QFile::exists(outside + "/keep.txt"));

        // A hidden entry keeps its folder.
        const QString hidden = base + "/hidden";
        QVERIFY(QDir().mkpath(hidden + "/inner"));
        touch(hidden + "/inner/.dot");
        touch(hidden + "/plain");
        g_delDirCascade(hidden);
        QVERIFY(QFile::exists(hidden + "/inner/.dot"));
        QVERIFY(!QFile::exists(hidden + "/plain"));

        // A link given as the folder itself is not walked.
        QVERIFY(QFile::link(outside, base + "/toplink"));
        g_delDirCascade(base + "/toplink");
        QVERIFY(QFile::exists(outside + "/keep.txt"));
        QVERIFY(QFileInfo(base + "/toplink").isSymLink());

        // The user's own link on the way leads to the folder.
        QVERIFY(QDir().mkpath(outside + "/sub/deep"));
        touch(outside + "/sub/deep/f");
        g_delDirCascade(base + "/toplink/sub");
        QVERIFY(!QFileInfo::exists(outside + "/sub"));
        QVERIFY(QFile::exists(outside + "/keep.txt"));
    }

    void pathHash()
    {
        QCOMPARE(g_pathHash(""), QString("d41d8cd98f00b204e9800998ecf8427e"));
        QCOMPARE(g_pathHash("abc"), QString("900150983cd24fb0d6963f7d28e17f72"));
        QVERIFY(g_pathHash("ABC") != g_pathHash("abc"));
        QCOMPARE(g_pathHash("/a/b"), g_pathHash("/a/b"));
    }

    void openersAreSafeWithoutDesktop()
    {
        // Headless: nothing is started; the caller learns it and the log says why.
        const QString folder = TestEnv::tempDir();
        QTest::ignoreMessage(QtWarningMsg,
            qPrintable(QString("cannot open %1 without a desktop session")
                           .arg(QUrl::fromLocalFile(folder).toDisplayString())));
        QVERIFY(!g_openFileOrFolder(folder));
        QTest::ignoreMessage(QtWarningMsg, "cannot open https://example.invalid/ without a desktop session");
        QVERIFY(!g_openLink("https://example.invalid/"));
    }
};

QTEST_GUILESS_MAIN(TestDataPaths)
#include "TestDataPaths.moc"
