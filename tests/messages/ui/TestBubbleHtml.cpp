#include "app/DataPaths.h"
#include "messages/ui/BubbleHtml.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QUrl>
#include <QtTest>

namespace
{
const QString kFallback = QStringLiteral("onerror=\"this.replaceWith(document.createTextNode(this.alt))\"");

void putFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// The data: URL of bytes of the given type.
QString dataUrl(const char* type, const QByteArray& bytes)
{
    return QStringLiteral("data:%1;base64,%2")
        .arg(QLatin1String(type), QString::fromLatin1(bytes.toBase64()));
}
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
        const QString grin = QString::fromUtf8("\xF0\x9F\x98\x80");
        const QString picture = "<img class=\"emoji\" src=\"" + g_emojiImageUrl("1F600") + "\" alt=\"" + grin
            + "\" " + kFallback + " />";
        QTest::newRow("emoji past the pictures' bound stay characters")
            << grin.repeated(kMaxEmojiPictures + 2) + "&"
            << picture.repeated(kMaxEmojiPictures) + grin + grin + "&amp;";
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

    // Style sheet addresses as a page sees them once the sheet is put inline. %DIR stands for the
    // sheet's folder as a file URL.
    void inlineStyleUrls_data()
    {
        QTest::addColumn<QString>("css");
        QTest::addColumn<QString>("expected");
        const QString png = dataUrl("image/png", "PNG-BYTES");
        QTest::newRow("png") << ".a { background: url(a.png) repeat-x; }"
                             << ".a { background: url(" + png + ") repeat-x; }";
        QTest::newRow("quoted") << "x{b:url(\"a.png\")} y{b:url( 'a.png' )}"
                                << "x{b:url(" + png + ")} y{b:url(" + png + ")}";
        QTest::newRow("jpeg upper case") << "url(P.JPG)"
                                         << "url(" + dataUrl("image/jpeg", "JPG") + ")";
        QTest::newRow("gif in a sub folder") << "url(sub/g.gif)"
                                             << "url(" + dataUrl("image/gif", "GIF") + ")";
        QTest::newRow("missing stays a file") << "url(none.png)"
                                              << "url(%DIR/none.png)";
        QTest::newRow("too big stays a file") << "url(big.png)"
                                              << "url(%DIR/big.png)";
        QTest::newRow("not a picture") << "url(font.woff)"
                                       << "url(%DIR/font.woff)";
        QTest::newRow("a folder named like a picture") << "url(sub)"
                                                       << "url(%DIR/sub)";
        QTest::newRow("parent folder") << "url(../up.png) url(../gone.png)"
                                       << "url(" + dataUrl("image/png", "UP") + ") url(%UP/gone.png)";
        QTest::newRow("with a scheme") << "url(https://h.invalid/a.png) url(data:image/png;base64,AA==)"
                                       << "url(https://h.invalid/a.png) url(data:image/png;base64,AA==)";
        QTest::newRow("no url") << "body { margin: 8px; }"
                                << "body { margin: 8px; }";
    }
    void inlineStyleUrls()
    {
        QFETCH(QString, css);
        QFETCH(QString, expected);
        const QString root = TestEnv::tempDir();
        const QString dir = root + "/bubble";
        QVERIFY(QDir().mkpath(dir + "/sub"));
        putFile(dir + "/a.png", "PNG-BYTES");
        putFile(dir + "/P.JPG", "JPG");
        putFile(dir + "/sub/g.gif", "GIF");
        putFile(dir + "/big.png", QByteArray(64 * 1024 + 1, 'x'));
        putFile(dir + "/font.woff", "WOFF");
        putFile(root + "/up.png", "UP");
        expected.replace("%DIR", QUrl::fromLocalFile(dir).toString(QUrl::FullyEncoded));
        expected.replace("%UP", QUrl::fromLocalFile(root).toString(QUrl::FullyEncoded));
        QCOMPARE(::inlineStyleUrls(css, QDir(dir)), expected);
    }

    // The program's own sheet: every picture it names is inline, nothing is left to fetch.
    void bubbleStyleNeedsNoFile()
    {
        const QString style = bubbleInlineStyle();
        QVERIFY(style.contains(".bb1 .bb_bg.top_left"));
        QCOMPARE(style.count("url("), style.count("url(data:image/png;base64,"));
        QVERIFY(style.count("url(data:") >= 18);
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
