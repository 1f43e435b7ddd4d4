#include "notes_media/ExtractNamer.h"
#include "support/NameMark.h"

#include <QtTest>

class TestExtractNamer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "a.txt"
                               << "a.txt";
        // A changed name carries the mark of the whole name, so it never becomes another's.
        QTest::newRow("dot dot") << ".."
                                 << "__" + nameMark("..");
        QTest::newRow("dot") << "."
                             << "_" + nameMark(".");
        QTest::newRow("empty") << ""
                               << "_" + nameMark("");
        QTest::newRow("separators") << "a/../b\\c"
                                    << "a." + nameMark("a/../b\\c") + ".bc";
        QTest::newRow("NUL") << QString("a") + QChar(0) + "b"
                             << "ab" + nameMark(QString("a") + QChar(0) + "b");
        QTest::newRow("colon and question mark") << "what: now?.txt"
                                                 << "what now" + nameMark("what: now?.txt") + ".txt";
        QTest::newRow("padded dot dot") << " .. "
                                        << "__" + nameMark(" .. ");
        QTest::newRow("looks like a changed name")
            << "x" + nameMark("y") + ".jpg"
            << "x" + nameMark("y") + nameMark("x" + nameMark("y") + ".jpg") + ".jpg";
    }
    void cleanName()
    {
        QFETCH(QString, name);
        QTEST(ExtractNamer::cleanName(name), "expected");
    }

    void longNamesStayOneEntry()
    {
        const QString clean = ExtractNamer::cleanName(QString(300, QChar(0x00E9)));
        QVERIFY(clean.toUtf8().size() <= 255);
        QVERIFY(!clean.contains('/'));
    }

    void longNamesKeepTheirExtension_data()
    {
        const QString emoji = QString::fromUtf8("\xF0\x9F\x8E\xB5"); // 4 bytes, two UTF-16 units
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("200 x e-acute")
            << QString(200, QChar(0x00E9)) + ".m4a" << QString(125, QChar(0x00E9)) + ".m4a";
        QTest::newRow("ASCII, one byte over") << QString(252, 'a') + ".m4a" << QString(251, 'a') + ".m4a";
        QTest::newRow("exactly 255 bytes") << QString(251, 'a') + ".m4a" << QString(251, 'a') + ".m4a";
        QTest::newRow("emoji not split") << emoji.repeated(70) + ".m4a" << emoji.repeated(62) + ".m4a";
        QTest::newRow("dots inside the stem") << QString(300, 'a') + ".tar.gz" << QString(252, 'a') + ".gz";
        QTest::newRow("no extension") << QString(300, 'a') << QString(255, 'a');
        QTest::newRow("leading dot only") << "." + QString(300, 'a') << "." + QString(254, 'a');
        QTest::newRow("too long to be an extension") << "a." + QString(300, 'b') << "a." + QString(253, 'b');
    }
    // A name over 255 bytes is cut before its extension, which stays, on a character boundary.
    void longNamesKeepTheirExtension()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        const QString clean = ExtractNamer::cleanName(name);
        QCOMPARE(clean, expected);
        QVERIFY(clean.toUtf8().size() <= 255);
    }

    void collisionsOfOneRunAreNumbered()
    {
        ExtractNamer namer;
        // A name made from another never takes a record's own.
        QCOMPARE(namer.claimPath("/d", "c:d.txt", true), "/d/cd" + nameMark("c:d.txt") + ".txt");
        QCOMPARE(namer.claimPath("/d", "cd.txt", true), QString("/d/cd.txt"));
        QCOMPARE(namer.claimPath("/d", "cd.txt", true), QString("/d/cd (2).txt"));
        QCOMPARE(namer.claimPath("/d", "x.y", false), QString("/d/x.y"));
        QCOMPARE(namer.claimPath("/d", "x.y", false), QString("/d/x.y (2)"));
        QCOMPARE(namer.claimPath("/e", "cd.txt", true), QString("/e/cd.txt"));
        const QString longName = QString(254, 'a') + ".b";
        namer.claimPath("/d", longName, true);
        QVERIFY(namer.claimPath("/d", longName, true).section('/', -1).toUtf8().size() <= 255);
    }

    // Paths a disk that ignores case (exFAT, FAT, most Mac and Windows disks) or composition, or
    // drops a name's trailing dots, would store as one entry are numbered as exact repeats are, so
    // no file of a run replaces another. Each claim is folder/name, a folder's with a trailing /.
    void entriesOneOnSomeDisksAreNumbered_data()
    {
        const QString eAcute = QString(QChar(0x00E9));
        const QString eAndAccent = QString("e") + QChar(0x0301);
        QTest::addColumn<QStringList>("claims");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("files differing in case") << QStringList { "/d/Notes.txt", "/d/notes.txt",
            "/d/NOTES.TXT" } << QStringList { "/d/Notes.txt", "/d/notes (2).txt", "/d/NOTES (3).TXT" };
        QTest::newRow("folders differing in case, with their files")
            << QStringList { "/d/Caches/", "/d/Caches/x.dat", "/d/caches/", "/d/caches (2)/x.dat" }
            << QStringList { "/d/Caches", "/d/Caches/x.dat", "/d/caches (2)", "/d/caches (2)/x.dat" };
        QTest::newRow("a file and a folder differing in case")
            << QStringList { "/d/Data/", "/d/data" } << QStringList { "/d/Data", "/d/data (2)" };
        QTest::newRow("the same folder given in another case") << QStringList { "/d/Caches/x.dat",
            "/d/caches/X.dat" } << QStringList { "/d/Caches/x.dat", "/d/caches/X (2).dat" };
        QTest::newRow("a number taken by a name in another case")
            << QStringList { "/d/Notes.txt", "/d/notes.txt", "/d/NOTES (2).txt" }
            << QStringList { "/d/Notes.txt", "/d/notes (2).txt", "/d/NOTES (2) (2).txt" };
        QTest::newRow("Unicode case folding, final sigma and umlaut")
            << QStringList { QString::fromUtf8("/d/ΟΔΟΣ.txt"), QString::fromUtf8("/d/οδος.txt"),
                   QString::fromUtf8("/d/Ärger"), QString::fromUtf8("/d/ärger") }
            << QStringList { QString::fromUtf8("/d/ΟΔΟΣ.txt"), QString::fromUtf8("/d/οδος (2).txt"),
                   QString::fromUtf8("/d/Ärger"), QString::fromUtf8("/d/ärger (2)") };
        // Full case folding, as APFS and ext4's case folding compare names: one letter may fold to
        // several, and a capital I with a dot is an i with a combining dot.
        QTest::newRow("sharp s and double s")
            << QStringList { QString::fromUtf8("/d/Straße.txt"), "/d/STRASSE.txt", "/d/strasse.txt" }
            << QStringList { QString::fromUtf8("/d/Straße.txt"), "/d/STRASSE (2).txt", "/d/strasse (3).txt" };
        QTest::newRow("capital sharp s and double s")
            << QStringList { QString::fromUtf8("/d/\xE1\xBA\x9E.txt"), "/d/SS.txt" }
            << QStringList { QString::fromUtf8("/d/\xE1\xBA\x9E.txt"), "/d/SS (2).txt" };
        QTest::newRow("ligature and its letters") << QStringList { QString::fromUtf8("/d/\xEF\xAC\x81.txt"),
            "/d/FI.txt" } << QStringList { QString::fromUtf8("/d/\xEF\xAC\x81.txt"), "/d/FI (2).txt" };
        QTest::newRow("capital I with a dot and i with a combining dot") << QStringList {
            QString::fromUtf8("/d/\xC4\xB0.txt"), QString::fromUtf8("/d/i\xCC\x87.txt")
        } << QStringList { QString::fromUtf8("/d/\xC4\xB0.txt"), QString::fromUtf8("/d/i\xCC\x87 (2).txt") };
        QTest::newRow("a folder with a sharp s, with its files")
            << QStringList { QString::fromUtf8("/d/Maße/"), "/d/MASSE/", "/d/MASSE (2)/x.txt" }
            << QStringList { QString::fromUtf8("/d/Maße"), "/d/MASSE (2)", "/d/MASSE (2)/x.txt" };
        QTest::newRow("one accented letter composed two ways")
            << QStringList { "/d/caf" + eAcute + ".txt", "/d/caf" + eAndAccent + ".txt" }
            << QStringList { "/d/caf" + eAcute + ".txt", "/d/caf" + eAndAccent + " (2).txt" };
        QTest::newRow("a number skips the names entries to come own (+: told by reserve)") << QStringList {
            "+/d/IMG.JPG", "+/d/img.jpg", "+/d/IMG (2).JPG", "/d/IMG.JPG", "/d/img.jpg", "/d/IMG (2).JPG"
        } << QStringList { "/d/IMG.JPG", "/d/img (3).jpg", "/d/IMG (2).JPG" };
        QTest::newRow("names told after a number and names forgotten (-: all entries of the folder came)")
            << QStringList { "+/d/IMG (2).JPG", "/d/IMG.JPG", "/d/img.jpg", "+/d/IMG (4).JPG", "/d/Img.jpg",
                   "-/d", "/d/iMG.jpg" }
            << QStringList { "/d/IMG.JPG", "/d/img (3).jpg", "/d/Img (5).jpg", "/d/iMG (2).jpg" };
        QTest::newRow("trailing dots") << QStringList { "/d/notes", "/d/notes.", "/d/notes.." }
                                       << QStringList { "/d/notes", "/d/notes (2).", "/d/notes. (2)." };
    }
    void entriesOneOnSomeDisksAreNumbered()
    {
        QFETCH(QStringList, claims);
        QFETCH(QStringList, expected);
        ExtractNamer namer;
        QStringList paths;
        for (QString claim : claims) {
            if (claim.startsWith('+')) {
                namer.reserve(claim.mid(1).section('/', 0, -2), claim.section('/', -1));
                continue;
            }
            if (claim.startsWith('-')) {
                namer.forget(claim.mid(1));
                continue;
            }
            const bool isFile = !claim.endsWith('/');
            if (!isFile)
                claim.chop(1);
            paths << namer.claimPath(claim.section('/', 0, -2), claim.section('/', -1), isFile);
        }
        QCOMPARE(paths, expected);
    }
};

QTEST_GUILESS_MAIN(TestExtractNamer)
#include "TestExtractNamer.moc"
