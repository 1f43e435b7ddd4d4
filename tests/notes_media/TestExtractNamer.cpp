#include "notes_media/ExtractNamer.h"

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
        QTest::newRow("dot dot") << ".."
                                 << "__";
        QTest::newRow("dot") << "."
                             << "_";
        QTest::newRow("empty") << ""
                               << "_";
        QTest::newRow("separators") << "a/../b\\c"
                                    << "a..bc";
        QTest::newRow("NUL") << QString("a") + QChar(0) + "b"
                             << "ab";
        QTest::newRow("colon and question mark") << "what: now?.txt"
                                                 << "what now.txt";
        QTest::newRow("padded dot dot") << " .. "
                                        << "__";
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

    void collisionsOfOneRunAreNumbered()
    {
        ExtractNamer namer;
        QCOMPARE(namer.claimPath("/d", "c:d.txt", true), QString("/d/cd.txt"));
        QCOMPARE(namer.claimPath("/d", "cd.txt", true), QString("/d/cd (2).txt"));
        QCOMPARE(namer.claimPath("/d", "c?d.txt", true), QString("/d/cd (3).txt"));
        QCOMPARE(namer.claimPath("/d", "x.y", false), QString("/d/x.y"));
        QCOMPARE(namer.claimPath("/d", "x.y", false), QString("/d/x.y (2)"));
        QCOMPARE(namer.claimPath("/e", "cd.txt", true), QString("/e/cd.txt"));
        const QString longName = QString(254, 'a') + ".b";
        namer.claimPath("/d", longName, true);
        QVERIFY(namer.claimPath("/d", longName, true).section('/', -1).toUtf8().size() <= 255);
    }
};

QTEST_GUILESS_MAIN(TestExtractNamer)
#include "TestExtractNamer.moc"
