#include "messages/ui/BubbleHtml.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

namespace
{
const QString kFallback = QStringLiteral("onerror=\"this.replaceWith(document.createTextNode(this.alt))\"");
} // namespace

class TestBubbleHtml : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void htmlEncode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("html");
        QTest::newRow("entities") << "a & <b> c"
                                  << "a &amp; &lt;b&gt; c";
        QTest::newRow("quotes stay") << "say \"hi\" 'x'"
                                     << "say \"hi\" 'x'";
        QTest::newRow("line feed") << "a\nb"
                                   << "a<br/>b";
        QTest::newRow("crlf") << "a\r\nb"
                              << "a<br/>b";
        QTest::newRow("lone cr stays") << "a\rb"
                                       << "a\rb";
        QTest::newRow("emoji pair") << QString::fromUtf8("ok \xF0\x9F\x98\x80")
                                    << "ok <img class=\"emoji\" src=\"" + g_emojiImageUrl("1F600")
                + "\" alt=\"" + QString::fromUtf8("\xF0\x9F\x98\x80") + "\" " + kFallback + " />";
        QTest::newRow("emoji symbol") << QString::fromUtf8("\xE2\x9C\x85")
                                      << "<img class=\"emoji\" src=\"" + g_emojiImageUrl("2705") + "\" alt=\""
                + QString::fromUtf8("\xE2\x9C\x85") + "\" " + kFallback + " />";
        QTest::newRow("right to left") << QString::fromUtf8("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D")
                                       << QString::fromUtf8("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D");
    }
    void emojiHost()
    {
        QVERIFY(g_emojiImageUrl("1F600").endsWith("/app_res/emoji/1F600.png"));
        QVERIFY(g_emojiImageUrl("1F600").startsWith("http"));
    }

    void htmlEncode()
    {
        QFETCH(QString, text);
        QFETCH(QString, html);
        QCOMPARE(g_htmlEncode(text), html);
    }

    void bubbleWithAndWithoutSender()
    {
        const QString cells
            = "<div class=\"bb_bg top_left\"></div><div class=\"bb_bg top_middle\"></div>"
              "<div class=\"bb_bg top_right\"></div><div class=\"bb_bg middle_left\"></div>"
              "<div class=\"bb_bg middle_middle\"></div><div class=\"bb_bg middle_right\"></div>"
              "<div class=\"bb_bg bottom_left\"></div><div class=\"bb_bg bottom_middle\"></div>"
              "<div class=\"bb_bg bottom_right\"></div>";
        QCOMPARE(bubbleContent("x", true, QString()),
            "<div class=\"bb2\">" + cells + "x</div><div class=\"clear\"></div>");
        QCOMPARE(bubbleContent("x", false, "A<B"),
            "<div class=\"ct_left\">A&lt;B</div><div class=\"clear\"></div><div class=\"bb1\">" + cells
                + "x</div><div class=\"clear\"></div>");
    }

    // A "%3F" in a file name is not taken for a placeholder of the markup.
    void clickableImage()
    {
        const QString dir = TestEnv::tempDir();
        const QString thumb = dir + "/t%1.jpg";
        QFile f(thumb);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const QString html = imgClickableHtml(dir + "/a%3F.jpg", thumb, "style=\"x\"");
        QVERIFY2(html.contains("a%253F.jpg\"><img src=\"file://"), qPrintable(html));
        QVERIFY(html.contains("t%251.jpg\" style=\"x\"></a>"));
        QVERIFY(
            imgClickableHtml(dir + "/b.jpg", dir + "/missing.jpg", "").endsWith("/empty_photo.jpg\" ></a>"));
    }
};

QTEST_GUILESS_MAIN(TestBubbleHtml)
#include "TestBubbleHtml.moc"
