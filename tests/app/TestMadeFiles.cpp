#include "app/MadeFiles.h"
#include "support/TestEnv.h"

#include <QtTest>
#include <cstdio>

class TestMadeFiles : public QObject
{
    Q_OBJECT

    static bool write(const QString& path, const QByteArray& bytes = "bytes")
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }
    static QStringList entries(const QString& dir)
    {
        QStringList names;
        QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories);
        while (it.hasNext())
            names << QDir(dir).relativeFilePath(it.next());
        names.sort();
        return names;
    }

private Q_SLOTS:
    void takesBackOnlyWhatItMade_data()
    {
        QTest::addColumn<QString>("meanwhile"); // what another program does after the run made its files
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<int>("removed");
        QTest::newRow("nothing") << "" << QStringList { "old.txt" } << 2;
        QTest::newRow("a download beside the files")
            << "download" << QStringList { "dl.zip", "made", "made/dl.zip", "old.txt" } << 1;
        QTest::newRow("a file put at a made file's name")
            << "replace" << QStringList { "made", "made/a.txt", "old.txt" } << 0;
    }
    // A run's files go only while they are the very files it made; a folder it made only once it
    // holds nothing else; what stood before stays.
    void takesBackOnlyWhatItMade()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QStringList, left);
        QFETCH(int, removed);
        const QString dir = TestEnv::tempDir();
        QVERIFY(write(dir + "/old.txt"));
        const HeldFolder root = HeldFolder::open(dir);
        MadeFiles made;
        QVERIFY(root.make("made").isValid() && made.note(root, "made"));
        const HeldFolder inner = root.sub("made");
        QVERIFY(write(dir + "/made/a.txt") && made.note(inner, "a.txt"));
        QVERIFY(!made.note(inner, "none.txt"));
        if (meanwhile == "download")
            QVERIFY(write(dir + "/dl.zip") && write(dir + "/made/dl.zip"));
        if (meanwhile == "replace")
            QVERIFY(write(dir + "/made/a.txt.part")
                && ::rename(QFile::encodeName(dir + "/made/a.txt.part").constData(),
                       QFile::encodeName(dir + "/made/a.txt").constData())
                    == 0);
        QCOMPARE(made.takeBack(), removed);
        QCOMPARE(entries(dir), left);
        QVERIFY(made.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMadeFiles)
#include "TestMadeFiles.moc"
