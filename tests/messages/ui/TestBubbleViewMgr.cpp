#include "app/IdsTranslator.h"
#include "app/PictureDecoder.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgHandle.h"
#include "messages/ui/BubbleHtml.h"
#include "messages/ui/BubbleViewMgr.h"
#include "messages/ui/support/MsgUiFixtures.h"
#include "support/FailingDisk.h"
#include "support/ForeignDisk.h"
#include "support/TestEnv.h"
#include "support/TestPictures.h"
#include "support/ui/GuiTestEnv.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <thread>

using namespace MsgUiFixtures;
using namespace TestPictures;

namespace
{
struct Conversation {
    _MsgChat chat;
    _MsgHandle alice;
    _MsgHandle bob;
    std::vector<std::unique_ptr<_MsgMessage>> owned;
    std::vector<std::unique_ptr<_MsgAttachment>> atts;
    MsgMessageList list;

    Conversation()
    {
        alice.id = "+15550001";
        alice._ct_name = "Alice";
        bob.id = "+15550002";
        chat._handles.insert(alice.id, &alice);
    }
    _MsgMessage* add(int date, const QString& text, bool fromMe = false)
    {
        auto m = std::make_unique<_MsgMessage>();
        m->rowid = qint64(owned.size() + 1);
        m->date = date;
        m->text = text;
        m->is_from_me = fromMe ? 1 : 0;
        m->_chat = &chat;
        m->_sender = fromMe ? nullptr : &alice;
        list << m.get();
        owned.push_back(std::move(m));
        return list.last();
    }
    _MsgAttachment* attach(_MsgMessage* m, const QString& mime, const QString& path)
    {
        auto a = std::make_unique<_MsgAttachment>();
        a->rowid = qint64(atts.size() + 1);
        a->mime_type = mime;
        a->_path = path;
        a->filename = "~/Library/SMS/Attachments/" + QFileInfo(path).fileName();
        m->_attachments.insert(QString::number(a->rowid), a.get());
        atts.push_back(std::move(a));
        return atts.back().get();
    }
};

void putFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

// The most memory the process has held so far.
long peakKilobytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QString runJs(QWebEngineView* view, const QString& js)
{
    // Shared with the callback: the page calls it when it goes, also after a wait that gave up.
    const auto answer = std::make_shared<std::optional<QString>>();
    view->page()->runJavaScript(js, [answer](const QVariant& v) { *answer = v.toString(); });
    QDeadlineTimer deadline(10000);
    while (!answer->has_value() && !deadline.hasExpired())
        QTest::qWait(20);
    return answer->value_or(QStringLiteral("<no answer>"));
}
// Shows a conversation's bubbles in a view inside host, sized so: the view once its page has
// loaded, or null.
QWebEngineView* showLoaded(QWidget& host, BubbleViewMgr& mgr, const MsgMessageList& list, const QSize& size)
{
    host.resize(size);
    mgr.setWebview(&host);
    host.show();
    if (!QTest::qWaitForWindowExposed(&host))
        return nullptr;
    const int loads = mgr.loadCount();
    mgr.showBubble(list);
    QDeadlineTimer deadline(20000);
    while (mgr.loadCount() <= loads && !deadline.hasExpired())
        QTest::qWait(20);
    return mgr.loadCount() > loads ? qobject_cast<QWebEngineView*>(mgr.webview()) : nullptr;
}
} // namespace

class TestBubbleViewMgr : public QObject
{
    Q_OBJECT
    IdsTranslator texts;

private Q_SLOTS:
    void initTestCase() { installEnglishTexts(texts); }

    void encoding_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("html");
        QTest::newRow("entities") << "a&b <c>"
                                  << "a&amp;b &lt;c&gt;";
        QTest::newRow("line feeds") << "a\r\nb\nc\rd"
                                    << "a<br/>b<br/>c\rd";
        QTest::newRow("quotes stay") << "\"q\" 'a'"
                                     << "\"q\" 'a'";
    }

    void encoding()
    {
        QFETCH(QString, text);
        QFETCH(QString, html);
        QCOMPARE(g_htmlEncode(text), html);
    }

    void emojiKeepsItsCharacterAsAltText()
    {
        const QString html = g_htmlEncode(QString::fromUtf8("hi \xF0\x9F\x98\x84"));
        QVERIFY2(html.contains("/app_res/emoji/1F604.png\""), qPrintable(html));
        QVERIFY2(html.contains(QString::fromUtf8("alt=\"\xF0\x9F\x98\x84\"")), qPrintable(html));
    }

    void linkedThumbnailWithPercentAndQuestionMark()
    {
        const QString html = imgClickableHtml("/tmp/a?b %1.jpg", "/nonexistent", "style=\"x\"");
        QVERIFY2(
            html.startsWith("<a href=\"file:///tmp/a%3Fb%20%251.jpg\"><img src=\"file://"), qPrintable(html));
        QVERIFY2(html.endsWith("empty_photo.jpg\" style=\"x\"></a>"), qPrintable(html));
    }

    void paging_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("pages");
        QTest::newRow("50: one page") << 50 << 1;
        QTest::newRow("51: two pages") << 51 << 2;
    }

    void paging()
    {
        QFETCH(int, count);
        QFETCH(int, pages);
        Conversation c;
        for (int i = 0; i < count; ++i)
            c.add(500000000 + i * 100, QString("m%1").arg(i));
        BubbleViewMgr mgr;
        mgr.showBubble(c.list);
        QCOMPARE(mgr.pageCount(), pages);
        QCOMPARE(mgr.currentPage(), 1);
        const QString first = mgr.pageHtml(1);
        // The style travels with the page: nothing for the view to fetch.
        QVERIFY(first.contains("<style type=\"text/css\">") && !first.contains("style.css"));
        QVERIFY(!first.contains("/pre_page"));
        QCOMPARE(first.contains("/next_page"), pages == 2);
        if (pages == 2) {
            const QString second = mgr.pageHtml(2);
            QVERIFY(second.contains("/pre_page") && !second.contains("/next_page"));
            QCOMPARE(second.count("<a name=\"sms_"), 1);
            mgr.scrollToPos(50);
            QCOMPARE(mgr.currentPage(), 2);
            QCOMPARE(mgr.anchor(), QString("sms_51"));
        }
        mgr.showBubble({});
        QCOMPARE(mgr.pageCount(), 0);
        mgr.nextPage();
        mgr.scrollToPos(0);
        QCOMPARE(mgr.currentPage(), 0);
    }

    void dateLinesSendersAndBodies()
    {
        Conversation c;
        c.chat._handles.insert(c.bob.id, &c.bob); // a group: names above received bubbles
        c.add(500000000, "first");
        c.add(500000060, "60 s later", true);
        c.add(500000121, "61 s after the line");
        c.add(500000000, "earlier");
        _MsgMessage* subject = c.add(500001000, "");
        subject->subject = "Plans";
        _MsgMessage* onlyAtt = c.add(500002000, QString(QChar(0xFFFC)));
        c.attach(onlyAtt, "video/quicktime", "/tmp/none/clip.mov");
        BubbleViewMgr mgr;
        mgr.showBubble(c.list);
        const QString html = mgr.pageHtml(1);
        QCOMPARE(html.count("class=\"dt\""), 4);
        QCOMPARE(html.count("<div class=\"ct_left\">Alice</div>"), 5); // every received bubble, none sent
        QVERIFY(html.contains("&lt;Subject:Plans&gt;</div>"));
        QVERIFY(html.contains("[VIDEO]</a>"));
        QCOMPARE(html.count("class=\"bb1\"") + html.count("class=\"bb2\""), 6);
    }

    // A bubble costs what its preview needs, whatever the size of the file: a 48-megapixel camera
    // photo and a HEIC get their previews, a picture larger than a phone keeps the placeholder and
    // its name, and a long text its first megabyte and a line saying where it is cut. The window
    // answers all the while: a picture slow to decode is made apart, and then put into the page.
    void attachmentBubbles_data()
    {
        QTest::addColumn<QString>("mime");
        QTest::addColumn<QByteArray>("head"); // the file's first bytes
        QTest::addColumn<qint64>("size"); // the file's size, a hole after head; 0: head alone
        QTest::addColumn<QString>("shown"); // in the page
        QTest::addColumn<QSize>("preview"); // the preview's size; invalid: none
        QTest::addColumn<bool>("stopped"); // on a disk that stops answering for a second as it shows
        const QString thumb = ".thumb\" style=\"max-width:120px;max-height:120px\"></a></div>";
        QTest::newRow("48 megapixel photo")
            << "image/jpeg" << camera48mp() << 0LL << thumb << QSize(120, 90) << false;
        QTest::newRow("HEIC photo") << "image/heic" << heicOf(scene(480, 360)) << 0LL << thumb
                                    << QSize(120, 90) << false;
        QTest::newRow("progressive JPEG of 90 scans")
            << "image/jpeg" << withScans(progressiveJpeg(noise(2048, 2048)), 90) << 0LL << thumb
            << QSize(120, 120) << false;
        QTest::newRow("picture larger than a phone keeps")
            << "image/jpeg" << encoded(scene(40, 30), "JPEG") << PictureDecoder::kMaxFileBytes + 1
            << "/empty_photo.jpg\" style=\"max-width:120px;max-height:120px\"></a><br/>IMG_0007.JPG</div>"
            << QSize() << false;
        QTest::newRow("text of 64 MB")
            << "text/plain" << QByteArray("some words ").repeated(150000) << (64LL << 20)
            << "some words s<br/>[Cut here: only the first 1 MB of the text is shown.]</div>" << QSize()
            << false;
        QTest::newRow("text cut inside a character")
            << "text/plain" << QString(QChar(0x20AC)).repeated(400000).toUtf8() << 0LL
            << QString(QChar(0x20AC)) + "<br/>[Cut here" << QSize() << false;
        QTest::newRow("text on a disk that stops answering")
            << "text/plain" << QByteArray("words on a slow disk") << 0LL << "words on a slow disk</div>"
            << QSize() << true;
    }
    void attachmentBubbles()
    {
        QFETCH(QString, mime);
        QFETCH(QByteArray, head);
        QFETCH(qint64, size);
        QFETCH(QString, shown);
        QFETCH(QSize, preview);
        QFETCH(bool, stopped);
        if (head.isEmpty())
            QSKIP("heif-enc (libheif-examples) is not installed");
        std::unique_ptr<ForeignDisk> disk;
        if (stopped && !(disk = std::make_unique<ForeignDisk>(ForeignDisk::Kind::Fat))->isMounted())
            QSKIP(qPrintable(disk->whyNot()));
        const QString path = (disk ? disk->path() : TestEnv::tempDir()) + "/IMG_0007.JPG";
        QVERIFY(sparseFile(path, size, head));
        Conversation c;
        const _MsgAttachment* a = c.attach(c.add(500000000, QString(QChar(0xFFFC))), mime, path);
        QWidget host;
        host.resize(400, 300);
        BubbleViewMgr mgr;
        mgr.setWebview(&host);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QTRY_VERIFY_WITH_TIMEOUT(mgr.loadCount() > 0, 20000); // the engine has started
        QElapsedTimer sinceTick;
        qint64 longest = 0;
        QTimer ticks;
        ticks.setInterval(10);
        connect(&ticks, &QTimer::timeout, [&] { longest = qMax(longest, sinceTick.restart()); });
        const int loads = mgr.loadCount();
        QVERIFY(!disk || disk->stop());
        std::thread rescue([&disk] {
            QThread::msleep(disk ? 1000 : 0);
            if (disk)
                disk->resume();
        });
        sinceTick.start();
        ticks.start();
        mgr.showBubble(c.list);
        QTRY_VERIFY_WITH_TIMEOUT(mgr.loadCount() > loads && mgr.previewsWaiting() == 0, 30000);
        ticks.stop();
        rescue.join();
        longest = qMax(longest, sinceTick.elapsed());
        // Pictures are decoded and texts read beside the window (the web engine's own work on a long
        // page is not this check's).
        if (mime.startsWith("image/") || stopped)
            QVERIFY2(longest < 200, qPrintable(QString("the window did not answer for %1 ms").arg(longest)));
        const QString html = mgr.pageHtml(1);
        QVERIFY2(html.contains(shown), qPrintable(html.right(300)));
        QVERIFY(html.size() < 2 * _MsgAttachment::kMaxPlainText);
        const QImage made(a->thumbnail());
        QCOMPARE(made.isNull() ? QSize() : made.size(), preview);
        if (preview.isValid()) // in the page too
            QTRY_VERIFY_WITH_TIMEOUT(runJs(qobject_cast<QWebEngineView*>(mgr.webview()),
                                         "document.images[document.images.length - 1].src")
                                         .endsWith(".thumb"),
                10000);
    }

    // Another conversation shows at once while a picture of the one before is still being decoded,
    // and nothing of that one comes into it.
    void switchingConversationDoesNotWaitForAPreview()
    {
        const QString path = TestEnv::tempDir() + "/IMG_0009.JPG";
        putFile(path, withScans(progressiveJpeg(noise(2048, 2048)), 90));
        Conversation slow, other;
        slow.attach(slow.add(500000000, QString(QChar(0xFFFC))), "image/jpeg", path);
        other.add(500000000, "no pictures here");
        BubbleViewMgr mgr;
        QSignalSpy made(&mgr, &BubbleViewMgr::previewMade);
        mgr.showBubble(slow.list);
        QCOMPARE(mgr.previewsWaiting(), 1);
        QVERIFY(mgr.pageHtml(1).contains(
            "empty_photo.jpg\" style=\"max-width:120px;max-height:120px\"></a></span>"));
        QElapsedTimer switching;
        switching.start();
        mgr.showBubble(other.list);
        QVERIFY(switching.elapsed() < 200);
        QCOMPARE(mgr.previewsWaiting(), 0);
        QTest::qWait(500);
        QCOMPARE(made.count(), 0);
        QVERIFY(mgr.pageHtml(1).contains("no pictures here"));
    }

    // What a message holds never costs its page more than a bound: a long text shows its first
    // megabyte and the line, with emoji drawn as pictures within a bound; a message with many
    // long texts shows them until the page is full, then a line saying the rest is not shown.
    void longTextsStayBounded_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("attachments"); // each 1 MB of emoji
        QTest::addColumn<QString>("shown");
        const QString grin = QString::fromUtf8("\xF0\x9F\x98\x80");
        const QString cut = "<br/>[Cut here: only the first 1 MB of the text is shown.]</div>";
        QTest::newRow("20 MB of words")
            << QString("plain words ").repeated(1750000) << 0 << "words plai" + cut;
        QTest::newRow("20 MB of emoji") << grin.repeated(5000000) << 0 << grin + cut;
        QTest::newRow("30 texts of 1 MB of emoji")
            << "see" << 30
            << "<div class=\"sysif\">[Cut here: the rest of this page is too long to be shown.]</div>";
    }
    void longTextsStayBounded()
    {
        QFETCH(QString, text);
        QFETCH(int, attachments);
        QFETCH(QString, shown);
        const QString path = TestEnv::tempDir() + "/emoji.txt";
        putFile(path, QByteArray("\xF0\x9F\x98\x80").repeated(_MsgAttachment::kMaxPlainText / 4));
        Conversation c;
        _MsgMessage* m = c.add(500000000, text);
        for (int i = 0; i < attachments; ++i)
            c.attach(m, "text/plain", path);
        c.add(500000001, "after");
        BubbleViewMgr mgr;
        const long before = peakKilobytes();
        QElapsedTimer clock;
        clock.start();
        mgr.showBubble(c.list);
        // The texts are read beside the window, then put into the page.
        QTRY_COMPARE_WITH_TIMEOUT(mgr.previewsWaiting(), 0, 20000);
        const QString html = mgr.pageHtml(1);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(html.contains(shown), qPrintable(html.right(300)));
        QVERIFY(html.size() < 12 * _MsgAttachment::kMaxPlainText);
        QVERIFY(html.count("class=\"emoji\"") <= (attachments + 1) * kMaxEmojiPictures);
        QVERIFY2(
            peakKilobytes() - before < 300 * 1024, qPrintable(QString::number(peakKilobytes() - before)));
    }

    void bigPageStillShowsAndLinksAreDelegated()
    {
        const QString dir = TestEnv::tempDir();
        // Three texts just shorter than what a bubble shows of one: more than a page hands over.
        const QByteArray big = QByteArray("line of a long text attachment\n").repeated(30000);
        putFile(dir + "/long.txt", big);
        putFile(dir + "/last.txt", big + "THE-END");
        putFile(dir + "/photo.jpg", "not really a jpeg");
        putFile(dir + "/doc.JPG", "bytes");
        Conversation c;
        _MsgMessage* m = c.add(500000000, "see attached");
        for (const char* name : { "/long.txt", "/long.txt", "/last.txt" })
            c.attach(m, "text/plain", dir + name);
        for (int i = 0; i < 60; ++i)
            c.add(500000100 + i, QString("n%1").arg(i));

        QWidget host;
        host.resize(600, 400);
        BubbleViewMgr mgr;
        mgr.setWebview(&host);
        QStringList opened;
        mgr.opener = [&](const QString& p) { opened << p; };
        QString proposed;
        mgr.askSavePath = [&](const QString& p) {
            proposed = p;
            return dir + "/saved.JPG";
        };
        host.show();
        auto* view = qobject_cast<QWebEngineView*>(mgr.webview());
        QVERIFY(view);
        const int loads = mgr.loadCount();
        mgr.showBubble(c.list);
        QTRY_VERIFY_WITH_TIMEOUT(mgr.loadCount() > loads, 20000);
        // Written to its file beside the window, then shown.
        QTRY_VERIFY_WITH_TIMEOUT(
            runJs(view, "document.body.innerText.indexOf('THE-END') >= 0 ? 'yes' : 'no'") == "yes", 20000);
        QVERIFY(runJs(view, "document.getElementsByName('end').length") == "1");

        mgr.onLinkClicked(QUrl("file:///next_page"));
        QCOMPARE(mgr.currentPage(), 2);
        // The big page asked for and left at once: written late, it never covers the one asked for after.
        mgr.firstPage();
        mgr.onLinkClicked(QUrl("file:///next_page"));
        QTest::qWait(1500);
        QVERIFY(runJs(view, "document.body.innerText.indexOf('THE-END') >= 0 ? 'yes' : 'no'") == "no");
        mgr.onLinkClicked(QUrl::fromLocalFile(dir + "/photo.jpg"));
        QCOMPARE(opened, QStringList { dir + "/photo.jpg" });
        putFile(dir + "/saved.JPG", "old");
        {
            ModalAnswerer answerer;
            mgr.onLinkClicked(QUrl::fromLocalFile(dir + "/doc.JPG")); // upper-case suffix: saved
            QCOMPARE(answerer.seen().size(), 1);
        }
        QCOMPARE(bytesOf(dir + "/saved.JPG"), QByteArray("bytes"));
        QCOMPARE(proposed, QDir::home().absoluteFilePath("doc.JPG"));
        mgr.askSavePath = [&](const QString&) { return dir + "/doc.JPG"; }; // onto itself
        {
            ModalAnswerer answerer;
            mgr.onLinkClicked(QUrl::fromLocalFile(dir + "/doc.JPG"));
            mgr.onLinkClicked(QUrl::fromLocalFile(dir + "/gone.txt"));
            QCOMPARE(answerer.seen().size(), 2);
            QVERIFY(answerer.seen().last().contains("can not find"));
        }
        QCOMPARE(bytesOf(dir + "/doc.JPG"), QByteArray("bytes"));
        {
            FailingDisk::SizeLimit full(1 << 20); // the page does not fit where temporary files go
            mgr.showBubble(c.list);
            QTRY_VERIFY_WITH_TIMEOUT(QRegularExpression("page-\\d+\\.html: File too large")
                                         .match(runJs(view, "document.body.innerText"))
                                         .hasMatch(),
                20000);
        }
    }

    void engineSwitches_data()
    {
        QTest::addColumn<QByteArray>("asked");
        QTest::addColumn<QByteArray>("started");
        QTest::newRow("none") << QByteArray() << QByteArray("--no-unsandboxed-zygote");
        QTest::newRow("blank") << QByteArray("  ") << QByteArray("--no-unsandboxed-zygote");
        QTest::newRow("others kept") << QByteArray("--disable-gpu --lang=de")
                                     << QByteArray("--disable-gpu --lang=de --no-unsandboxed-zygote");
        QTest::newRow("asked already") << QByteArray("--no-unsandboxed-zygote --disable-gpu")
                                       << QByteArray("--no-unsandboxed-zygote --disable-gpu");
        QTest::newRow("only a longer switch") << QByteArray(
            "--no-unsandboxed-zygote-x") << QByteArray("--no-unsandboxed-zygote-x --no-unsandboxed-zygote");
    }
    void engineSwitches()
    {
        QFETCH(QByteArray, asked);
        QFETCH(QByteArray, started);
        QCOMPARE(BubbleViewMgr::engineSwitches(asked), started);
    }

    // The engine's switches are asked for while the view starts; the variable is left as it was
    // for programs started from this one.
    void switchVariableLeftAsItWas()
    {
        const QByteArray before = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        const bool wasSet = qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS");
        QWidget host;
        BubbleViewMgr mgr;
        mgr.setWebview(&host);
        QCOMPARE(qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"), wasSet);
        QCOMPARE(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), before);
    }

    // An emoji whose picture cannot be fetched falls back to its character, which the colour
    // emoji font draws (also where the text font has a plain glyph of its own): a bubble holding
    // one has far more coloured pixels than one without.
    void emojiDrawsInColour_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("screenshot");
        QTest::newRow("thumbs up, light skin tone")
            << QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBB ok") << "conversation-emoji";
        QTest::newRow("a face the text font draws plain") << QString::fromUtf8("\xF0\x9F\x98\x84 ok") << "";
    }
    void emojiDrawsInColour()
    {
        QFETCH(QString, text);
        QFETCH(QString, screenshot);
        Conversation c;
        c.add(600000000, text);
        c.add(600000010, "no picture ok");
        QWidget host;
        BubbleViewMgr mgr;
        QWebEngineView* view = showLoaded(host, mgr, c.list, QSize(480, 300));
        QVERIFY(view);
        QTRY_COMPARE_WITH_TIMEOUT(runJs(view, "document.images.length"), QString("0"), 20000);
        QCOMPARE(runJs(view, "document.querySelectorAll('.bb1')[0].innerText.trim()"), text);
        QTest::qWait(500);
        const QImage shot = view->grab().toImage();
        const auto coloured = [&](int bubble) {
            const QStringList r = runJs(view,
                QString("(function(){var r=document.querySelectorAll('.bb1')[%1].getBoundingClientRect();"
                        "return [r.left,r.top,r.right,r.bottom].map(Math.round).join(',');})()")
                    .arg(bubble))
                                      .split(',');
            int n = 0;
            for (int y = r.value(1).toInt(); y < r.value(3).toInt() && y < shot.height(); ++y)
                for (int x = r.value(0).toInt(); x < r.value(2).toInt() && x < shot.width(); ++x) {
                    const QColor px = shot.pixelColor(x, y);
                    const int hi = qMax(px.red(), qMax(px.green(), px.blue()));
                    const int lo = qMin(px.red(), qMin(px.green(), px.blue()));
                    n += hi - lo >= 60;
                }
            return n;
        };
        const int withEmoji = coloured(0);
        const int without = coloured(1);
        QVERIFY2(withEmoji >= without + 60, qPrintable(QString("%1 against %2").arg(withEmoji).arg(without)));
        if (!screenshot.isEmpty())
            GuiTestEnv::screenshot(&host, screenshot);
    }

    void bubblesScreenshot()
    {
        const QString dir = TestEnv::tempDir();
        QImage photo(480, 320, QImage::Format_RGB32);
        QPainter p(&photo);
        QLinearGradient sky(0, 0, 0, 320);
        sky.setColorAt(0, QColor(90, 160, 230));
        sky.setColorAt(1, QColor(250, 210, 140));
        p.fillRect(photo.rect(), sky);
        p.setBrush(QColor(60, 120, 60));
        p.drawEllipse(QPoint(240, 420), 360, 200);
        p.end();
        QVERIFY(photo.save(dir + "/IMG_0042.JPG", "JPG"));
        // A camera's 48-megapixel photo, a HEIC and a picture larger than a phone keeps.
        QVERIFY(sparseFile(dir + "/IMG_4800.JPG", 0, camera48mp()));
        QVERIFY(sparseFile(dir + "/IMG_4801.HEIC", 0, heicOf(photo.scaled(1200, 800))));
        QVERIFY(sparseFile(dir + "/IMG_4802.JPG", PictureDecoder::kMaxFileBytes + 1, encoded(photo, "JPEG")));
        Conversation c;
        c.chat._handles.insert(c.bob.id, &c.bob);
        c.chat.display_name = "Weekend plans";
        c.add(600000000, QString::fromUtf8("Are we still on for Saturday? \xF0\x9F\x98\x84"));
        c.add(600000030, QString::fromUtf8("Yes! Bring the map \xF0\x9F\x97\xBA & snacks <3"), true);
        _MsgMessage* pic = c.add(600000400, "Look at this view");
        c.attach(pic, "image/jpeg", dir + "/IMG_0042.JPG");
        _MsgMessage* clip = c.add(600000500, QString(QChar(0xFFFC)), true);
        c.attach(clip, "video/quicktime", dir + "/clip.MOV");
        _MsgMessage* more = c.add(600000600, "And the rest of the day");
        for (const char* name : { "/IMG_4800.JPG", "/IMG_4801.HEIC", "/IMG_4802.JPG" })
            c.attach(more, "image/jpeg", dir + name);
        QWidget host;
        BubbleViewMgr mgr;
        QWebEngineView* view = showLoaded(host, mgr, c.list, QSize(640, 900));
        QVERIFY(view);
        // The emoji host is unreachable here: the character still reads as the picture's alt text.
        QVERIFY(runJs(view, "document.images.length") != "0");
        QTRY_COMPARE_WITH_TIMEOUT(mgr.previewsWaiting(), 0, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(
            runJs(view, "document.querySelectorAll('[id^=qmp]').length"), QString("0"), 10000);
        QTest::qWait(300);
        GuiTestEnv::screenshot(&host, "messages-bubbles");
    }
};

QTEST_MAIN(TestBubbleViewMgr)
#include "TestBubbleViewMgr.moc"
