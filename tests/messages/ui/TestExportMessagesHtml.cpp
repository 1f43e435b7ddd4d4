#include "app/FileNameFit.h"
#include "messages/store/MsgAttachment.h"
#include "messages/ui/BubbleHtml.h"
#include "messages/ui/ExportMessagesHtml.h"
#include "messages/ui/ExportMessagesThread.h"
#include "messages/ui/support/MsgModelBuilder.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>
#include <sys/resource.h>

// The local wall clock of a message date (seconds since 2001-01-01 UTC) in the given format.
static QString localClock(qint64 secs2001, const QString& format)
{
    return QDateTime::fromSecsSinceEpoch(978307200 + secs2001, Qt::UTC).toLocalTime().toString(format);
}

class TestExportMessagesHtml : public QObject
{
    Q_OBJECT

    static QString write(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return path;
    }
    static QString picture(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QImage image(300, 200, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        image.save(path, "PNG");
        return path;
    }
    static QJsonObject check(const QString& folder)
    {
        QString error;
        const QByteArray json = runExportChecker({ "html", folder }, &error);
        if (json.isEmpty())
            qWarning() << error;
        return QJsonDocument::fromJson(json).object();
    }
    static QString readAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private Q_SLOTS:
    // Every link and picture of the pages resolves to a file in "files", whatever characters the
    // attachment names hold; a missing attachment gets "#" and a missing picture the placeholder.
    void linksResolve()
    {
        const QString src = TestEnv::tempDir() + "/src";
        const QStringList odd = { "a#b.png", "what?.png", "100%3F.bin", "two words.mov", "q\"uote'.amr",
            QString::fromUtf8("\xC3\xA9t\xC3\xA9 \xD7\xA9.txt"), "%1%2.bin" };
        MsgModelBuilder b;
        _MsgHandle* ada = b.handle("+1", "Ada");
        _MsgChat* chat = b.chat("+1", { ada });
        _MsgMessage* m = b.message(chat, ada, 1000, "files");
        b.attach(m, picture(src + "/" + odd[0]), "image/png");
        b.attach(m, picture(src + "/" + odd[1]), "IMAGE/PNG");
        b.attach(m, write(src + "/" + odd[2], "bin"), "application/octet-stream");
        b.attach(m, write(src + "/" + odd[3], "mov"), "video/quicktime");
        b.attach(m, write(src + "/" + odd[4], "amr"), "audio/amr");
        b.attach(m, write(src + "/" + odd[5], "inline & <text>\0hidden"), "text/plain");
        b.attach(m, write(src + "/" + odd[6], "x"), "application/pdf");
        // Same name and bytes in another folder (linked to the one copy), and a picture and a file
        // that are gone.
        b.attach(
            b.message(chat, nullptr, 2000, QString(), true), picture(src + "/other/" + odd[0]), "image/png");
        b.attach(b.message(chat, ada, 3000, QString()), src + "/gone.jpg", "image/jpeg");
        b.attach(b.message(chat, ada, 4000, QString()), src + "/gone.bin", "application/zip");
        // Copies the store marked for names some disk refuses go under the phone's names, which
        // this disk takes.
        const QStringList takenHere { "AUX.jpg", "con.png", "trail.", "sp.jpg ", "lpt9" };
        for (const QString& own : takenHere) {
            const QString local = src + "/store/" + FileNameFit::localName(own);
            b.attach(b.message(chat, ada, 5000, QString()), write(local, own.toUtf8()), "application/zip")
                ->filename
                = "~/Library/SMS/Attachments/ab/" + own;
        }

        const QString out = TestEnv::tempDir() + "/html";
        const ExportRun run = runExport(b.messages(), out, ExportMessagesThread::Html);
        QCOMPARE(run.result, 1);
        const QJsonObject result = check(out);
        QCOMPARE(result["missing"].toArray(), QJsonArray());
        const QJsonObject page = result["pages"].toObject()["Ada (+1).html"].toObject();
        const QStringList links = page["links"].toVariant().toStringList();
        for (const QString& name : odd.mid(0, 5) + odd.mid(6))
            QVERIFY2(links.contains("files/" + name), qPrintable(name));
        QVERIFY(!QFile::exists(out + "/files/a#b(1).png"));
        QVERIFY(links.contains("files/empty_photo.jpg"));
        QVERIFY(links.contains("files/style.css"));
        for (const QString& own : takenHere) {
            QVERIFY2(links.contains("files/" + own), qPrintable(own));
            QCOMPARE(readAll(out + "/files/" + own), own);
        }
        // The plain-text attachment is shown inline up to its NUL byte, and copied.
        QVERIFY(page["text"].toString().contains("inline & <text>"));
        QVERIFY(!page["text"].toString().contains("hidden"));
        QVERIFY(QFile::exists(out + "/files/" + odd[5]));
        const QString html = readAll(out + "/Ada (+1).html");
        QVERIFY(html.contains("<a href=\"#\">[ATTACHMENT]</a>"));
        QVERIFY(html.contains("href=\"files/100%253F.bin\""));
    }

    // A contact card shows its card picture, copied into files/; a card that cannot be read keeps
    // the bracketed link.
    void contactCardsShowTheirPicture()
    {
        MsgModelBuilder b;
        const QString src = TestEnv::tempDir();
        _MsgChat* chat = b.chat("card", { b.handle("card") });
        b.attach(b.message(chat, nullptr, 1000, QString()),
            write(src + "/ada.vcf",
                "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ada Lovelace\r\nTEL:+15551230001\r\nEND:VCARD\r\n"),
            "text/x-vCard");
        b.attach(b.message(chat, nullptr, 2000, QString()), write(src + "/empty.vcf", "no card here"),
            "text/vcard");
        const QString out = TestEnv::tempDir() + "/cards";
        QCOMPARE(runExport(b.messages(), out, ExportMessagesThread::Html).result, 1);
        const QString html = readAll(out + "/card.html");
        QVERIFY2(html.contains("style=\"max-width:200px;max-height:200px\""), qPrintable(html));
        QVERIFY(html.contains(">[VCARD]</a>"));
        QCOMPARE(check(out)["missing"].toArray(), QJsonArray());
    }

    // Emoji are pictures with the character itself as their alternative text.
    void emojiKeepTheirCharacter()
    {
        MsgModelBuilder b;
        const QString text
            = QString::fromUtf8("hi \xF0\x9F\x98\x80 \xE2\x9C\x85 \xF0\x9F\x9A\x80 \xEE\x80\x81");
        b.message(b.chat("x", { b.handle("x") }), nullptr, 1000, text);
        const QString out = TestEnv::tempDir() + "/emoji";
        QCOMPARE(runExport(b.messages(), out, ExportMessagesThread::Html).result, 1);
        const QJsonObject page = check(out)["pages"].toObject()["x.html"].toObject();
        QCOMPARE(page["alts"].toVariant().toStringList(),
            QStringList({ QString::fromUtf8("\xF0\x9F\x98\x80"), QString::fromUtf8("\xE2\x9C\x85"),
                QString::fromUtf8("\xF0\x9F\x9A\x80"), QString::fromUtf8("\xEE\x80\x81") }));
    }

    // A message of 30 texts of 1 MB of emoji each costs the export one bubble at a time, and its
    // page about what the texts hold: the first pictures of each text, the rest as characters.
    // The page still reads as HTML.
    void manyEmojiTextsStayBounded()
    {
        const QByteArray grin("\xF0\x9F\x98\x80");
        const QString path
            = write(TestEnv::tempDir() + "/src/emoji.txt", grin.repeated(_MsgAttachment::kMaxPlainText / 4));
        MsgModelBuilder b;
        _MsgMessage* m = b.message(b.chat("x", { b.handle("x") }), nullptr, 1000, "see");
        for (int i = 0; i < 30; ++i)
            b.attach(m, path, "text/plain");
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        const long before = usage.ru_maxrss;
        const QString out = TestEnv::tempDir() + "/emoji";
        QCOMPARE(runExport(b.messages(), out, ExportMessagesThread::Html).result, 1);
        getrusage(RUSAGE_SELF, &usage);
        QVERIFY2(
            usage.ru_maxrss - before < 300 * 1024, qPrintable(QString::number(usage.ru_maxrss - before)));
        QVERIFY(QFileInfo(out + "/x.html").size() < 30 * 3 * _MsgAttachment::kMaxPlainText / 2);
        const QJsonObject page = check(out)["pages"].toObject()["x.html"].toObject();
        QCOMPARE(page["alts"].toArray().size(), 30 * kMaxEmojiPictures);
        QCOMPARE(page["text"].toString().count(QString::fromUtf8(grin)),
            30 * (_MsgAttachment::kMaxPlainText / 4 - kMaxEmojiPictures));
    }

    // A date line when at least 61 seconds passed since the last one, through the whole page;
    // sender names only above received messages of groups; system messages as one line.
    void dateLinesSendersAndEvents()
    {
        MsgModelBuilder b;
        _MsgHandle* ada = b.handle("+1", "Ada");
        _MsgHandle* bob = b.handle("+2");
        _MsgChat* group = b.chat("grp", { ada, bob });
        int date = 100000;
        for (int i = 0; i < 60; ++i)
            b.message(group, i % 2 ? ada : bob, date += 60, "m", i % 3 == 0);
        b.message(group, ada, date += 61, "late");
        b.message(group, ada, date - 500, "earlier");
        _MsgMessage* event = b.message(group, ada, date += 1000, QString());
        event->item_type = 3;
        const QString out = TestEnv::tempDir() + "/dates";
        QCOMPARE(runExport(b.messages(), out, ExportMessagesThread::Html).result, 1);
        const QJsonObject classes
            = check(out)["pages"].toObject()["grp.html"].toObject()["classes"].toObject();
        QCOMPARE(classes["dt"].toInt(), 30 + 1);
        QCOMPARE(classes["sysif"].toInt(), 1);
        QCOMPARE(classes["ct_left"].toInt(), 40 + 2);
        const QString html = readAll(out + "/grp.html");
        const QString firstLine = localClock(100060, "dd MMM yyyy hh:mm AP");
        QVERIFY2(html.contains("<div class=\"dt\">" + firstLine + "</div>"), qPrintable(firstLine));
        QVERIFY(html.contains("<div class=\"ct_left\">Ada</div>"));
        QVERIFY(html.contains("<div class=\"ct_left\">+2</div>"));
    }

    // With every sender labelled, a one-to-one conversation names its chat above received messages.
    void labelAllSenders()
    {
        MsgModelBuilder b;
        _MsgHandle* ada = b.handle("+1", "Ada");
        _MsgChat* chat = b.chat("+1", { ada });
        _MsgMessage* in = b.message(chat, ada, 1000, "in");
        _MsgMessage* out = b.message(chat, nullptr, 2000, "out", true);
        const QString dir = TestEnv::tempDir() + "/labels";
        QDir().mkpath(dir);
        ExportMessagesHtml page(HeldFolder::open(dir), "p.html", true);
        page.init();
        page.write(*in);
        page.write(*out);
        page.uninit();
        const QString html = readAll(dir + "/p.html");
        QCOMPARE(html.count("<div class=\"ct_left\">Ada (+1)</div>"), 1);
    }

    // A page with no message is still a whole document.
    void emptyPage()
    {
        const QString out = TestEnv::tempDir() + "/emptypage";
        QDir().mkpath(out);
        ExportMessagesHtml page(HeldFolder::open(out), "p.html", false);
        page.init();
        QVERIFY(QDir(out + "/files").exists());
        page.uninit();
        const QString html = readAll(out + "/p.html");
        QVERIFY(html.startsWith("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\""));
        QVERIFY(html.endsWith(
            "<link href=\"files/style.css\" type=\"text/css\" rel=\"stylesheet\"/></head><body>\n"
            "</body></html>"));
    }

    // A taken name gets "(1)" before its suffix; with two dots the middle part goes.
    void saveAttaFileNumbers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("second");
        QTest::newRow("plain") << "pic.jpg"
                               << "pic(1).jpg";
        QTest::newRow("two dots") << "a.b.c"
                                  << "a(1).c";
        QTest::newRow("no suffix") << "README"
                                   << "README(1)";
    }
    void saveAttaFileNumbers()
    {
        QFETCH(QString, name);
        QFETCH(QString, second);
        const QString base = TestEnv::tempDir();
        QDir().mkpath(base + "/out/files"); // as init() makes it
        ExportMessagesHtml page(HeldFolder::open(base + "/out"), "p.html", false);
        QCOMPARE(page.saveAttaFile(write(base + "/1/" + name, "1")), name);
        QCOMPARE(page.saveAttaFile(write(base + "/2/" + name, "2")), second);
        QCOMPARE(readAll(base + "/out/files/" + second), QString("2"));
    }

    void linkEncoding()
    {
        QCOMPARE(g_htmlFilesLink("a b#?%\"'<&.png"), QString("files/a%20b%23%3F%25%22%27%3C%26.png"));
        QCOMPARE(g_htmlFilesLink(QString::fromUtf8("\xC3\xA9.png")), QString("files/%C3%A9.png"));
    }
};

QTEST_MAIN(TestExportMessagesHtml)
#include "TestExportMessagesHtml.moc"
