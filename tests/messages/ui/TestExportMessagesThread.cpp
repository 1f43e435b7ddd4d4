#include "app/DataPaths.h"
#include "app/IdsTranslator.h"
#include "app/OutputFile.h"
#include "app/PictureDecoder.h"
#include "app/ui/support/EnglishTexts.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgTempDir.h"
#include "messages/ui/ExportFileNames.h"
#include "messages/ui/ExportMessagesCsv.h"
#include "messages/ui/ExportMessagesHtml.h"
#include "messages/ui/ExportMessagesThread.h"
#include "messages/ui/support/MsgModelBuilder.h"
#include "messages/ui/support/MsgUiFixtures.h"
#include "messages/ui/support/PdfTools.h"
#include "support/ForeignDisk.h"
#include "support/NameMark.h"
#include "support/TestEnv.h"
#include "support/TestPictures.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace MsgUiFixtures;
using namespace TestPictures;

namespace
{
// The folder of the pages; the number of temporaries made so far.
QString g_pageFolder;
int g_creates = 0;

// Makes the temporary as the system does, while another program saves files beside the export: into
// "files" at the first one made there, into the folder of the pages at the first page. The second
// page finds the disk full.
int createThenDownload(int dir, const char* name, int flags, mode_t mode)
{
    struct stat folder, pages;
    const bool inPages = ::fstat(dir, &folder) == 0
        && ::stat(QFile::encodeName(g_pageFolder).constData(), &pages) == 0 && folder.st_ino == pages.st_ino;
    if (inPages && ++g_creates > 1)
        return errno = ENOSPC, -1;
    const int made = ::openat(
        dir, inPages ? "download.zip" : "later.bin", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (made >= 0)
        ::close(made);
    return ::openat(dir, name, flags, mode);
}
} // namespace

class TestExportMessagesThread : public QObject
{
    Q_OBJECT
    IdsTranslator translator;

    static void touch(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("user data");
    }
    static QStringList names(const QStringList& paths)
    {
        QStringList out;
        for (const QString& p : paths)
            out << QFileInfo(p).fileName();
        return out;
    }
    static int countOf(const QString& path, const QByteArray& needle)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? int(f.readAll().count(needle)) : -1;
    }

private Q_SLOTS:
    void initTestCase() { installEnglishTexts(translator); }

    // Conversations that would carry one file name each get their own file, and every message is
    // in one of them: two "Unknown" chats and two contacts sharing a name.
    void sameNamesGetTheirOwnFiles_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("html") << int(ExportMessagesThread::Html);
        QTest::newRow("pdf") << int(ExportMessagesThread::Pdf);
    }
    void sameNamesGetTheirOwnFiles()
    {
        QFETCH(int, type);
        MsgModelBuilder b;
        _MsgChat* unknown1 = b.chat("u1", {});
        _MsgChat* unknown2 = b.chat("u2", {});
        _MsgChat* sam1 = b.chat("+1", { b.handle("+1", "Sam") });
        _MsgChat* sam2 = b.chat("+1", { b.handle("+1", "Sam") }); // same person, other service
        _MsgChat* sam3 = b.chat("+2", { b.handle("+2", "Sam") });
        sam1->_last = 10;
        sam2->_last = 5000;
        int date = 1000;
        for (_MsgChat* c : { unknown1, unknown2, sam1, sam3, sam2, sam1 })
            b.message(c, nullptr, date += 1000, "m", false);
        const QString out = TestEnv::tempDir() + "/export";
        const ExportRun run = runExport(b.messages(), out, type);
        QCOMPARE(run.result, 1);
        QCOMPARE(run.text, "Successfully extracted 6 Messages.\nThe pages are in the folder " + out + ".");
        const QString ext = type == ExportMessagesThread::Html ? ".html" : ".pdf";
        // Oldest last date first, equal dates by identifier.
        QStringList expected = { "Sam (+2)" + ext, "Unknown" + ext, "Unknown(2)" + ext, "Sam (+1)" + ext };
        QCOMPARE(names(run.written), expected);
        for (const QString& f : run.written)
            QVERIFY(QFileInfo(f).isFile());
        if (type == ExportMessagesThread::Html) {
            // The two chats of +1, one of them before and one after "Sam (+2)", make one page.
            QCOMPARE(countOf(out + "/Sam (+1).html", "<div class=\"bb1\">"), 3);
        }
    }

    // A group is named by its identifier; a message without a chat goes to "unknown-chat";
    // identifiers that differ only in case share a file named after the first message's chat. A
    // one-to-one chat whose name holds a NUL (a blob in its row) goes by its identifier too.
    void fileNamesAndOrder()
    {
        MsgModelBuilder b;
        _MsgChat* group = b.chat("Chat99", { b.handle("a"), b.handle("b") }, "Named group", 300);
        _MsgChat* lower = b.chat("chat99", { b.handle("a"), b.handle("b") }, QString(), 100);
        _MsgChat* nul = b.chat("+15550001", { b.handle("+15550001") }, QString(QChar(0)), 200);
        _MsgChat* blob = b.chat("+15550002", { b.handle("+15550002") }, QString::fromUtf8("\0\xff", 2), 200);
        b.message(nullptr, nullptr, 50, "lost");
        b.message(b.chat("x", {}, "..."), nullptr, 20, "dots");
        b.message(lower, nullptr, 1000, "x");
        b.message(group, nullptr, 3000, "y");
        b.message(nul, nullptr, 4000, "named by a NUL");
        b.message(blob, nullptr, 5000, "named by a blob");
        const QString out = TestEnv::tempDir() + "/names";
        const ExportRun run = runExport(b.messages(), out, ExportMessagesThread::Html);
        QCOMPARE(run.result, 1);
        QCOMPARE(names(run.written),
            QStringList({ "unknown-chat.html", "unknown-chat(2).html", "+15550001.html", "+15550002.html",
                "chat99.html" }));
        QVERIFY(QFile::exists(out + "/files/style.css"));
        QVERIFY(QFile::exists(out + "/files/bb2_09.png"));
    }

    // Attachments whose copies the load found not to be what the phone wrote: every format writes
    // all its messages and keeps them, names and counts those attachments apart and ends with an
    // error, and draws no preview from them (pages and PDFs show the placeholder).
    void notAsWrittenAttachmentsEndWithAnError_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("text") << int(ExportMessagesThread::Txt);
        QTest::newRow("csv") << int(ExportMessagesThread::Csv);
        QTest::newRow("pdf") << int(ExportMessagesThread::Pdf);
        QTest::newRow("html") << int(ExportMessagesThread::Html);
        QTest::newRow("database") << int(ExportMessagesThread::Db);
    }
    void notAsWrittenAttachmentsEndWithAnError()
    {
        QFETCH(int, type);
        const QString src = TestEnv::tempDir() + "/src-" + QTest::currentDataTag();
        QDir().mkpath(src);
        QImage picture(240, 160, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QVERIFY(picture.save(src + "/IMG_0001.JPG", "JPEG") && picture.save(src + "/IMG_0002.JPG", "JPEG"));
        MsgModelBuilder b;
        _MsgChat* chat = b.chat("+1", { b.handle("+1", "Ada") });
        _MsgAttachment* whole
            = b.attach(b.message(chat, nullptr, 1000, "whole"), src + "/IMG_0001.JPG", "image/jpeg");
        _MsgAttachment* cut
            = b.attach(b.message(chat, nullptr, 2000, "cut"), src + "/IMG_0002.JPG", "image/jpeg");
        cut->filename = "~/Library/SMS/Attachments/4a/02/G/IMG_0002.JPG";
        cut->_notAsWritten
            = "The stored copy /bk/4a/4a02 is not the file the phone wrote: it ends without its padding.";
        const QString thumbs = msgPrivateTempDir();
        const QString cutThumb = thumbs + "/" + g_pathHash(cut->_path) + ".thumb";
        const QString out = TestEnv::tempDir() + "/damaged-" + QTest::currentDataTag();
        const ExportRun run = runExport(b.messages(), out, type);
        QCOMPARE(run.result, 0);
        QCOMPARE(run.text,
            QString(
                "1 of the attachments is not what the phone wrote:\n"
                "IMG_0002.JPG: The stored copy /bk/4a/4a02 is not the file the phone wrote: it ends without "
                "its padding.\n2 Messages were exported."));
        QVERIFY(!run.written.isEmpty());
        for (const QString& f : run.written)
            QVERIFY2(QFileInfo(f).size() > 0, qPrintable(f));
        QVERIFY(!QFile::exists(cutThumb));
        if (type == ExportMessagesThread::Html) {
            QFile page(run.written.first());
            QVERIFY(page.open(QIODevice::ReadOnly));
            const QByteArray html = page.readAll();
            QCOMPARE(int(html.count("files/empty_photo.jpg")), 1);
            QCOMPARE(int(html.count("<a href=\"files/IMG_0002.JPG\">")), 1); // its bytes, linked
            QVERIFY(QFile::exists(thumbs + "/" + g_pathHash(whole->_path) + ".thumb"));
        }
    }

    // A page's bubble costs what its preview needs, whatever the size of the file: a 48-megapixel
    // camera photo and a HEIC get their previews, a picture larger than a phone keeps the placeholder
    // and its name, a long text its first megabyte and a line saying where it is cut. An attachment
    // whose read fails costs only its bubble, which says why: the rest is written and kept, and the
    // export ends naming it.
    void attachmentBubbles_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("mime");
        QTest::addColumn<QByteArray>("head"); // the file's first bytes
        QTest::addColumn<qint64>("size"); // the file's size, a hole after head; -1: its reads fail
        QTest::addColumn<bool>("preview");
        QTest::addColumn<QString>("said"); // in the page (HTML); %1 stands for the file's path
        QTest::addColumn<QString>("ends"); // the export's last words, when not its success
        const QByteArray small = encoded(scene(40, 30), "JPEG");
        const QByteArray words = QByteArray("some words ").repeated(400000);
        for (const int type : { int(ExportMessagesThread::Html), int(ExportMessagesThread::Pdf) }) {
            const QString format = type == ExportMessagesThread::Html ? "html, " : "pdf, ";
            QTest::newRow(qPrintable(format + "48 megapixel photo"))
                << type << "image/jpeg" << camera48mp() << 0LL << true << ""
                << "";
            QTest::newRow(qPrintable(format + "HEIC photo"))
                << type << "image/heic" << heicOf(scene(480, 360)) << 0LL << true << ""
                << "";
            QTest::newRow(qPrintable(format + "picture larger than a phone keeps"))
                << type << "image/jpeg" << small << PictureDecoder::kMaxFileBytes + 1 << false
                << "empty_photo.jpg\" style=\"max-width:120px;max-height:120px\"></a><br/>IMG_0007.JPG<"
                << "";
            QTest::newRow(qPrintable(format + "text of 64 MB"))
                << type << "text/plain" << words << (64LL << 20) << false
                << "some words s<br/>[Cut here: only the first 1 MB of the text is shown.]<"
                << "";
            QTest::newRow(qPrintable(format + "text whose reads fail"))
                << type << "text/plain" << QByteArray("x") << -1LL << false
                << ">Cannot read %1. Input/output error<"
                << "1 attachment could not be read:\n%1: Cannot read %1. Input/output error\n3 Messages were "
                   "exported.";
        }
    }
    void attachmentBubbles()
    {
        QFETCH(int, type);
        QFETCH(QString, mime);
        QFETCH(QByteArray, head);
        QFETCH(qint64, size);
        QFETCH(bool, preview);
        QFETCH(QString, said);
        QFETCH(QString, ends);
        if (head.isEmpty())
            QSKIP("heif-enc (libheif-examples) is not installed");
        const QString path = TestEnv::tempDir() + "/IMG_0007.JPG";
        QVERIFY(size < 0 ? QFile::link("/proc/self/mem", path) : sparseFile(path, size, head));
        MsgModelBuilder b;
        _MsgChat* chat = b.chat("+1", { b.handle("+1", "Ada") });
        b.message(chat, nullptr, 1000, "before");
        b.attach(b.message(chat, nullptr, 2000, QString(QChar(0xFFFC))), path, mime);
        b.message(chat, nullptr, 3000, "after");
        const QString out = TestEnv::tempDir() + "/out";
        const ExportRun run = runExport(b.messages(), out, type);
        QCOMPARE(run.text,
            ends.isEmpty() ? "Successfully extracted 3 Messages.\nThe pages are in the folder " + out + "."
                           : ends.arg(path));
        QCOMPARE(run.written.size(), 1);
        if (type == ExportMessagesThread::Pdf) {
            const QImage page = PdfTools::render(run.written.first(), 1);
            QCOMPARE(PdfTools::pixelsOf(page, scene(1, 1).pixelColor(0, 0)) > 5000, preview);
            QVERIFY(PdfTools::pages(run.written.first()) < 600); // a megabyte of text (375 pages), not 4
            return;
        }
        const QString html = QString::fromUtf8(bytesOf(run.written.first()));
        QVERIFY(html.contains(">after<"));
        QVERIFY(html.size() < 2 * _MsgAttachment::kMaxPlainText);
        const QString thumb = QFileInfo(run.written.first()).path() + "/files/" + g_pathHash(path) + ".thumb";
        QCOMPARE(QFile::exists(thumb) ? QImage(thumb).size() : QSize(), preview ? QSize(120, 90) : QSize());
        QVERIFY2(html.contains(said.arg(path)), qPrintable(html.right(400)));
    }

    // Onto the disks desktop systems mount, a page or an attachment copy whose name the disk refuses
    // is written under a name fitted to it, marked with the whole name, linked so and said so; the
    // others are written as they stand.
    void ontoDesktopDisks_data()
    {
        QTest::addColumn<QString>("disk");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("chat"); // its name
        QTest::addColumn<QString>("attachment"); // the name of its file
        QTest::addColumn<QString>("page"); // the name the page gets
        QTest::addColumn<QString>("copy"); // the name its copy gets
        const int html = ExportMessagesThread::Html;
        QTest::newRow("NTFS, html: a device's name") << "ntfs" << html << "AUX"
                                                     << "AUX.jpg"
                                                     << "AUX" + nameMark("AUX.html") + ".html"
                                                     << "AUX" + nameMark("AUX.jpg") + ".jpg";
        QTest::newRow("NTFS, pdf: a device's name") << "ntfs" << int(ExportMessagesThread::Pdf) << "con"
                                                    << ""
                                                    << "con" + nameMark("con.pdf") + ".pdf"
                                                    << "";
        QTest::newRow("FAT, html: letters beyond ASCII") << "fat" << html << "Zoë"
                                                         << "ü.jpg"
                                                         << "Zo" + nameMark("Zoë.html") + ".html"
                                                         << "_" + nameMark("ü.jpg") + ".jpg";
    }
    void ontoDesktopDisks()
    {
        QFETCH(QString, disk);
        QFETCH(int, type);
        QFETCH(QString, chat);
        QFETCH(QString, attachment);
        QFETCH(QString, page);
        QFETCH(QString, copy);
        QM_MOUNT_OR_SKIP(mounted, disk);
        const QString src = TestEnv::tempDir();
        QImage picture(24, 16, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QVERIFY(picture.save(src + "/IMG_0001.JPG", "JPEG"));
        MsgModelBuilder b;
        b.attach(b.message(b.chat("+1", { b.handle("+1") }, "Bob", 100), nullptr, 1000, "plain"),
            src + "/IMG_0001.JPG", "image/jpeg");
        _MsgMessage* refused = b.message(b.chat("+2", { b.handle("+2") }, chat, 200), nullptr, 2000, "x");
        if (!attachment.isEmpty()) {
            QVERIFY(QFile::copy(src + "/IMG_0001.JPG", src + "/" + attachment));
            b.attach(refused, src + "/" + attachment, "image/jpeg");
        }
        const QString out = mounted.path() + "/out";
        const ExportRun run = runExport(b.messages(), out, type);
        QCOMPARE(run.result, 1);
        const QString ext = type == ExportMessagesThread::Html ? ".html" : ".pdf";
        QCOMPARE(names(run.written), QStringList({ "Bob" + ext, page }));
        for (const QString& f : run.written)
            QVERIFY2(QFileInfo(f).size() > 0, qPrintable(f));
        QVERIFY2(run.text.contains("\n" + out + "/" + chat + ext + " as " + page), qPrintable(run.text));
        if (attachment.isEmpty())
            return;
        QVERIFY(QFileInfo(out + "/files/IMG_0001.JPG").size() > 0);
        QVERIFY(QFileInfo(out + "/files/" + copy).size() > 0);
        QVERIFY2(
            run.text.contains("\n" + out + "/files/" + attachment + " as " + copy), qPrintable(run.text));
        QCOMPARE(countOf(out + "/" + page, "<a href=\"" + g_htmlFilesLink(copy).toUtf8() + "\">"), 1);
    }

    // The pages link only files this export wrote or that hold the very bytes it would write, in a
    // folder of the user's own: a "files" of another user's, or holding a style sheet of other bytes,
    // is left as it is and a folder beside it taken; an earlier export's copies are linked again.
    void pagesLinkOnlyTheirOwnFiles_data()
    {
        QTest::addColumn<QString>("before"); // what stands beside the pages before the export
        QTest::addColumn<QString>("linked"); // the folder the pages link
        QTest::newRow("another user's files, where everyone may write") << "theirs"
                                                                        << "files(2)";
        QTest::newRow("a style sheet of other bytes") << "other style"
                                                      << "files(2)";
        QTest::newRow("an earlier export's files") << "earlier export"
                                                   << "files";
    }
    void pagesLinkOnlyTheirOwnFiles()
    {
        QFETCH(QString, before);
        QFETCH(QString, linked);
        if (before == "theirs" && ::geteuid() != 0)
            QSKIP("Files of another user are put there by root only");
        const QString src = TestEnv::tempDir(), out = TestEnv::tempDir() + "/out";
        QVERIFY(sparseFile(src + "/IMG_0001.JPG", 0, encoded(scene(24, 16), "JPEG")));
        MsgModelBuilder b;
        b.attach(b.message(b.chat("+1", { b.handle("+1") }, "Bob", 100), nullptr, 1000, "x"),
            src + "/IMG_0001.JPG", "image/jpeg");
        if (before == "theirs")
            QVERIFY(TestEnv::plant(out + "/files/style.css", "theirs", 65534)
                && ::chmod(QFile::encodeName(out).constData(), 01777) == 0
                && ::lchown(QFile::encodeName(out + "/files").constData(), 65534, gid_t(-1)) == 0);
        else if (before == "other style")
            touch(out + "/files/style.css");
        else
            QCOMPARE(runExport(b.messages(), out, ExportMessagesThread::Html).result, 1);
        const QStringList standing = QDir(out + "/files").entryList(QDir::Files);
        const QByteArray css = bytesOf(out + "/files/style.css");
        const ExportRun run = runExport(b.messages(), out, ExportMessagesThread::Html);
        QCOMPARE(run.result, 1);
        const QByteArray page = bytesOf(run.written.last());
        QCOMPARE(int(page.count("<link href=\"" + g_htmlFilesLink("style.css", linked).toUtf8() + "\"")), 1);
        QCOMPARE(int(page.count("<a href=\"" + g_htmlFilesLink("IMG_0001.JPG", linked).toUtf8() + "\">")), 1);
        QCOMPARE(bytesOf(out + "/" + linked + "/style.css"), bytesOf(g_bubbleDir() + "/style.css"));
        QCOMPARE(bytesOf(out + "/files/style.css"), css);
        QCOMPARE(QDir(out + "/files").entryList(QDir::Files), standing); // nothing written there, or again
    }

    // File names made from long names stay within the 255-byte limit, numbered ones too.
    void longNamesAreCapped()
    {
        MsgModelBuilder b;
        const QString longName = QString::fromUtf8("\xC3\xA9").repeated(200); // 400 bytes
        b.message(b.chat("+1", { b.handle("+1", longName) }), nullptr, 100, "a");
        b.message(b.chat("+2", { b.handle("+1", longName) }), nullptr, 200000, "b");
        const QString out = TestEnv::tempDir() + "/long";
        const ExportRun run = runExport(b.messages(), out, ExportMessagesThread::Pdf);
        QCOMPARE(run.result, 1);
        QCOMPARE(run.written.size(), 2);
        for (const QString& f : run.written) {
            QVERIFY(QFileInfo(f).isFile());
            QVERIFY(QFileInfo(f).fileName().toUtf8().size() <= 255);
        }
        QVERIFY(run.written[1].endsWith("(2).pdf"));
        QCOMPARE(g_capUtf8(QString::fromUtf8("ab\xF0\x9F\x98\x80"), 5), QString("ab")); // no half emoji
    }

    void progressAndCount()
    {
        MsgModelBuilder b;
        _MsgChat* c = b.chat("x", { b.handle("x") });
        for (int i = 0; i < 10; ++i)
            b.message(c, nullptr, 1000 * i, "m");
        const ExportRun run
            = runExport(b.messages(), TestEnv::tempDir() + "/p.txt", ExportMessagesThread::Txt);
        QCOMPARE(run.result, 1);
        QCOMPARE(run.detail, QString("Messages: 10/10"));
        QCOMPARE(run.percent, 100);
    }

    // CSV lines made a block at a time on a second thread come out as the writer makes them one by
    // one, in the export's order, at block edges too; the progress counts every message.
    void csvBlocksKeepTheLines_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("one") << 1;
        QTest::newRow("one block") << 2048;
        QTest::newRow("one past a block") << 2049;
        QTest::newRow("several blocks") << 5000;
    }
    void csvBlocksKeepTheLines()
    {
        QFETCH(int, count);
        MsgModelBuilder b;
        _MsgChat* one = b.chat("+1", { b.handle("+1", "Ann, \"A\"") });
        _MsgChat* group = b.chat("chat42", { b.handle("+2"), b.handle("+3") });
        for (int i = 0; i < count; ++i)
            b.message(i % 3 ? one : group, nullptr, 400000000 + (i * 7919) % 100000,
                QString("m%1,\nx").arg(i), i % 2);
        const QString path = TestEnv::tempDir() + QString("/blocks%1.csv").arg(count);
        const ExportRun run = runExport(b.messages(), path, ExportMessagesThread::Csv);
        QCOMPARE(run.result, 1);
        QCOMPARE(run.detail, QString("Messages: %1/%1").arg(count));

        QList<_MsgMessage*> sorted = b.messages();
        sortMsgMessages(sorted);
        const QString expectedPath = path + ".expected";
        ExportMessagesCsv one1(expectedPath);
        one1.init();
        for (_MsgMessage* m : std::as_const(sorted))
            one1.write(*m);
        one1.uninit();
        QFile got(path);
        QFile expected(expectedPath);
        QVERIFY(got.open(QIODevice::ReadOnly) && expected.open(QIODevice::ReadOnly));
        const QByteArray bytes = got.readAll();
        QCOMPARE(bytes, expected.readAll());
        QCOMPARE(int(bytes.count("\n")), 1 + count * 2); // header, and each text's own line feed
    }

    // No message: no file for a single-file format; the folder of a per-conversation format is
    // made and stays empty.
    void emptyList()
    {
        const QString txt = TestEnv::tempDir() + "/empty.txt";
        ExportRun run = runExport({}, txt, ExportMessagesThread::Txt);
        QCOMPARE(run.result, 1);
        QCOMPARE(run.text, QString("Successfully extracted 0 Messages."));
        QVERIFY(!QFile::exists(txt));
        const QString html = TestEnv::tempDir() + "/empty-html";
        QCOMPARE(runExport({}, html, ExportMessagesThread::Html).result, 1);
        QVERIFY(QDir(html).exists());
        QVERIFY(QDir(html).isEmpty());
    }

    void unsupportedFormat()
    {
        MsgModelBuilder b;
        b.message(nullptr, nullptr, 1, "x");
        const QString out = TestEnv::tempDir() + "/db";
        const ExportRun run = runExport(b.messages(), out, 99);
        QCOMPARE(run.result, 0);
        QCOMPARE(run.text, QString("not support export format."));
    }

    // Cancel removes what the export made; a folder that held the user's files keeps them.
    void cancelRemovesOnlyItsOwnOutput()
    {
        MsgModelBuilder b;
        b.message(b.chat("x", { b.handle("x") }), nullptr, 1, "x");
        const QString fresh = TestEnv::tempDir() + "/fresh";
        QCOMPARE(runExport(b.messages(), fresh, ExportMessagesThread::Html, true).result, -1);
        QVERIFY(!QFileInfo::exists(fresh));

        const QString kept = TestEnv::tempDir() + "/kept";
        touch(kept + "/mine.txt");
        runExport(b.messages(), kept, ExportMessagesThread::Pdf, true);
        QVERIFY(QFile::exists(kept + "/mine.txt"));

        for (const int type : { int(ExportMessagesThread::Txt), int(ExportMessagesThread::Csv) }) {
            const QString single = TestEnv::tempDir() + QString("/c%1.out").arg(type);
            runExport(b.messages(), single, type, true);
            QVERIFY(!QFile::exists(single));
        }
    }

    void failedExportTakesBackOnlyWhatItMade_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("standing"); // the folder stood before the export
        QTest::newRow("HTML, new folder") << int(ExportMessagesThread::Html) << false;
        QTest::newRow("HTML, folder standing") << int(ExportMessagesThread::Html) << true;
        QTest::newRow("PDF, new folder") << int(ExportMessagesThread::Pdf) << false;
        QTest::newRow("PDF, folder standing") << int(ExportMessagesThread::Pdf) << true;
    }
    // An export that fails takes back what it made, known by what each file is: a download another
    // program saves meanwhile into its folder, or into "files", stays, and so do those folders then.
    void failedExportTakesBackOnlyWhatItMade()
    {
        QFETCH(int, type);
        QFETCH(bool, standing);
        MsgModelBuilder b;
        _MsgChat* first = b.chat("first", { b.handle("first") });
        b.message(first, nullptr, 1, "x");
        b.message(b.chat("second", { b.handle("second") }), nullptr, 2, "y");
        const QString dir = TestEnv::tempDir() + "/out";
        if (standing)
            touch(dir + "/mine.txt");
        g_pageFolder = QFileInfo(dir).absoluteFilePath();
        g_creates = 0;
        const OutputFile::CreateCall create = OutputFile::setCreateCall(createThenDownload);
        const ExportRun run = runExport(b.messages(), dir, type);
        OutputFile::setCreateCall(create);
        QCOMPARE(run.result, 0);
        QVERIFY2(run.text.contains(std::strerror(ENOSPC)), qPrintable(run.text));
        QStringList expected { "download.zip" };
        if (type == ExportMessagesThread::Html)
            expected << "files"
                     << "files/later.bin";
        if (standing)
            expected << "mine.txt";
        QStringList left;
        QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories);
        while (it.hasNext())
            left << QDir(dir).relativeFilePath(it.next());
        left.sort();
        expected.sort();
        QCOMPARE(left, expected);
    }

    // A PDF that cannot be written is an error, and the success text is not shown.
    void unwritablePdfIsAnError()
    {
        MsgModelBuilder b;
        b.message(b.chat("x", { b.handle("x") }), nullptr, 1, "x");
        const QString tooLong = TestEnv::tempDir() + "/" + QString(300, 'n');
        ExportRun run = runExport(b.messages(), tooLong, ExportMessagesThread::Pdf);
        QCOMPARE(run.result, 0);
        QVERIFY2(run.text.startsWith("Cannot make the folder " + tooLong + ": File name too long."),
            qPrintable(run.text));
        // Below a plain file no folder can be made, not even by root.
        const QString file = TestEnv::tempDir() + "/plain";
        touch(file);
        run = runExport(b.messages(), file + "/sub", ExportMessagesThread::Pdf);
        QCOMPARE(run.result, 0);
        QVERIFY(QFile::exists(file));
    }
};

QTEST_MAIN(TestExportMessagesThread)
#include "TestExportMessagesThread.moc"
