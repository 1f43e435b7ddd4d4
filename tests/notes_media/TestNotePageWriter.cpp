#include "notes_media/NotePageWriter.h"

#include <QXmlStreamReader>
#include <QtTest>

class TestNotePageWriter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fileName_data()
    {
        QTest::addColumn<QString>("srcId");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "7"
                               << "Hello"
                               << "7-Hello.html";
        QTest::newRow("empty summary") << "7"
                                       << ""
                                       << "7-.html";
        QTest::newRow("only removed") << "7"
                                      << "/:?"
                                      << "7-.html";
        QTest::newRow("cut at 20") << "1"
                                   << "abcdefghijklmnopqrstuvwxy"
                                   << "1-abcdefghijklmnopqrst.html";
        QTest::newRow("removal before cut") << "1"
                                            << "a:b:c:defghijklmnopqrst"
                                            << "1-abcdefghijklmnopqrst.html";
        QTest::newRow("surrogate not split")
            << "3" << QString("1234567890123456789") + QChar(0xD83D) + QChar(0xDE00)
            << "3-1234567890123456789.html";
        QTest::newRow("id cleaned") << "../../etc/x"
                                    << "s"
                                    << "....etcx-s.html";
        QTest::newRow("id with NUL") << QString("a") + QChar(0) + "b"
                                     << "s"
                                     << "ab-s.html";
        QTest::newRow("spaces kept") << "2"
                                     << " a.b "
                                     << "2- a.b .html";
    }
    void fileName()
    {
        QFETCH(QString, srcId);
        QFETCH(QString, summary);
        _Notes n;
        n.srcId = srcId;
        n.summary = summary;
        QSet<QString> used;
        QTEST(NotePageWriter::fileName(n, used), "expected");
    }

    void collisionsAndLongIds()
    {
        _Notes n;
        n.srcId = "1";
        n.summary = "same";
        QSet<QString> used;
        QCOMPARE(NotePageWriter::fileName(n, used), QString("1-same.html"));
        QCOMPARE(NotePageWriter::fileName(n, used), QString("1-same (2).html"));
        QCOMPARE(NotePageWriter::fileName(n, used), QString("1-same (3).html"));
        n.srcId = QString(400, QChar(0x00E9)); // 800 bytes of UTF-8
        QVERIFY(NotePageWriter::fileName(n, used).toUtf8().size() <= 255);
    }

    // What the screen bounds, the note's page writes whole.
    void longValuesWrittenWhole_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("content");
        QTest::newRow("title of 1 MB") << QString(1 << 20, 't') << "<p>x</p>";
        QTest::newRow("content of 10 MB") << "t"
                                          << "<p>" + QString(10 << 20, 'c') + "</p>";
    }
    void longValuesWrittenWhole()
    {
        _Notes n;
        QFETCH(QString, title);
        QFETCH(QString, content);
        n.title = title;
        n.content = content;
        const QByteArray page = NotePageWriter::page(n);
        QVERIFY(page.contains("<title>" + title.toUtf8() + "</title>"));
        QVERIFY(page.contains(content.toUtf8()));
    }

    // The page is well-formed XML with the title escaped and the content kept as HTML.
    void pageParsesAsXml()
    {
        _Notes n;
        n.title = "Fish & <chips>";
        n.content = "<p>Fried <b>fish</b></p>";
        const QByteArray page = NotePageWriter::page(n);
        QVERIFY(page.contains("<title>Fish &amp; &lt;chips&gt;</title>"));
        QVERIFY(page.contains("<body>\n<p>Fried <b>fish</b></p></body></html>"));
        QVERIFY(page.startsWith("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\""));
        QXmlStreamReader xml(page);
        QString title;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("title"))
                title = xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(title, n.title);
    }
};

QTEST_GUILESS_MAIN(TestNotePageWriter)
#include "TestNotePageWriter.moc"
