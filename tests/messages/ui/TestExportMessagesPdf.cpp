#include "messages/ui/ExportMessagesPdf.h"
#include "messages/ui/ExportMessagesThread.h"
#include "messages/ui/support/MsgModelBuilder.h"
#include "messages/ui/support/PdfTools.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QtTest>

class TestExportMessagesPdf : public QObject
{
    Q_OBJECT

    // A group conversation over several pages with names, date lines and one event.
    static void groupConversation(MsgModelBuilder& b)
    {
        _MsgHandle* ada = b.handle("+1", "Ada");
        _MsgHandle* bob = b.handle("bob@example.com");
        _MsgChat* group = b.chat("chat5", { ada, bob });
        int date = 100000;
        for (int i = 0; i < 40; ++i)
            b.message(group, i % 2 ? ada : bob, date += 120, QString("message number %1").arg(i), i % 3 == 0);
        _MsgMessage* event = b.message(group, ada, date += 1000, QString());
        event->item_type = 3;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!PdfTools::available())
            QSKIP("poppler-utils (pdfinfo, pdftotext, pdftoppm) are not installed");
        // Fixed fonts, so layout and page counts do not depend on the machine.
        QApplication::setFont(QFont("DejaVu Sans"));
    }

    // A4 pages that the standard tools read: date lines, sender names, the event line and the
    // page numbers are text; the first page is kept as a picture for looking at.
    void readsAsA4()
    {
        MsgModelBuilder b;
        groupConversation(b);
        const QString out = TestEnv::tempDir() + "/pdf";
        const ExportRun run = runExport(b.messages(), out, ExportMessagesThread::Pdf);
        QCOMPARE(run.result, 1);
        const QString pdf = out + "/chat5.pdf";
        QVERIFY(PdfTools::pageSize(pdf).contains("(A4)"));
        const int pages = PdfTools::pages(pdf);
        QVERIFY2(pages >= 2, qPrintable(QString::number(pages)));
        const QString all = PdfTools::text(pdf);
        QVERIFY(all.contains("02 Jan 2001 3:48 AM"));
        QVERIFY(all.contains("02 Jan 2001 3:50 AM"));
        QVERIFY(all.contains("Ada"));
        QVERIFY(all.contains("bob@example.com"));
        QVERIFY(all.contains("Ada left the conversation."));
        for (int p = 1; p <= pages; ++p) {
            const QStringList words = PdfTools::text(pdf, p).simplified().split(' ');
            QCOMPARE(words.last(), QString::number(p));
        }
        const QImage first = PdfTools::render(pdf, 1);
        QVERIFY(!first.isNull());
        QVERIFY(PdfTools::darkPixels(first) > 500);
        const QString shots = qEnvironmentVariable("QM_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            QDir().mkpath(shots);
            first.save(shots + "/messages-pdf-page.png");
        }
    }

    // A bubble taller than a page goes on over the next pages; none of its text is cut off.
    void tallBubbleContinues()
    {
        MsgModelBuilder b;
        QString text;
        for (int i = 0; i < 1500; ++i)
            text += QString("word%1 ").arg(i);
        text += "LASTWORD";
        b.message(b.chat("tall", { b.handle("tall") }), nullptr, 1000, text);
        b.message(b.chat("tall", { b.handle("tall") }), nullptr, 9000, "after");
        const QString out = TestEnv::tempDir() + "/tall";
        QCOMPARE(runExport(b.messages(), out, ExportMessagesThread::Pdf).result, 1);
        const QString pdf = out + "/tall.pdf";
        const int pages = PdfTools::pages(pdf);
        QVERIFY2(pages >= 3, qPrintable(QString::number(pages)));
        // Every page carries bubble text: the lines after the first page were not dropped.
        for (int p = 1; p <= pages; ++p)
            QVERIFY2(PdfTools::darkPixels(PdfTools::render(pdf, p)) > 2000, qPrintable(QString::number(p)));
    }

    // Bad input of every kind gives a PDF: empty text, only attachments, missing files, long
    // words, every emoji range and right-to-left text.
    void badInput()
    {
        MsgModelBuilder b;
        _MsgChat* c = b.chat("bad", { b.handle("bad") });
        b.message(c, nullptr, 1000, QString());
        _MsgMessage* atts = b.message(c, nullptr, 2000, QString(QChar(0xFFFC)), true);
        b.attach(atts, "/no/such/file.jpg", "image/jpeg");
        b.attach(atts, "/no/such/file.txt", "text/plain");
        b.attach(atts, "/no/such/card.vcf", "text/x-vcard");
        b.message(c, nullptr, 3000, QString(20000, 'x'));
        QString emoji;
        for (char32_t cp : { 0x1F600, 0x1F30D, 0x1F680, 0x2705, 0xE001, 0x3030 })
            emoji += QString::fromUcs4(&cp, 1);
        b.message(c, nullptr, 4000,
            emoji + QString::fromUtf8(" \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD8\xB3\xD9\x84\xD8\xA7\xD9\x85"));
        const QString out = TestEnv::tempDir() + "/bad";
        const ExportRun run = runExport(b.messages(), out, ExportMessagesThread::Pdf);
        QCOMPARE(run.result, 1);
        QVERIFY(PdfTools::pages(out + "/bad.pdf") >= 2);
    }

    // A text of 1 MB runs over many pages without error, in every format; one of 20 MB is kept
    // whole by the text formats and cut after its first megabyte, with a line saying so, by the
    // page formats.
    void megabyteText_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("megabytes");
        QTest::newRow("txt") << int(ExportMessagesThread::Txt) << 1;
        QTest::newRow("csv") << int(ExportMessagesThread::Csv) << 1;
        QTest::newRow("html") << int(ExportMessagesThread::Html) << 1;
        QTest::newRow("pdf") << int(ExportMessagesThread::Pdf) << 1;
        QTest::newRow("txt, 20 MB whole") << int(ExportMessagesThread::Txt) << 20;
        QTest::newRow("html, 20 MB cut") << int(ExportMessagesThread::Html) << 20;
        QTest::newRow("pdf, 20 MB cut") << int(ExportMessagesThread::Pdf) << 20;
    }
    void megabyteText()
    {
        QFETCH(int, type);
        QFETCH(int, megabytes);
        MsgModelBuilder b;
        const QString text
            = QStringLiteral("lorem ipsum dolor sit amet ").repeated((megabytes << 20) / 27 + 1);
        b.message(b.chat("big", { b.handle("big") }), nullptr, 1000, text);
        const QString out = TestEnv::tempDir() + "/big" + QString::number(type);
        const ExportRun run = runExport(b.messages(), out, type);
        QCOMPARE(run.result, 1);
        QCOMPARE(run.written.size(), 1);
        const QString file = run.written.first();
        const bool pdf = type == ExportMessagesThread::Pdf;
        QVERIFY(QFileInfo(file).size() > (pdf ? 100000 : 1 << 20));
        if (pdf)
            QVERIFY(PdfTools::pages(file) > 100);
        const bool cut = megabytes > 1 && type != ExportMessagesThread::Txt;
        if (megabytes > 1 && !pdf)
            QCOMPARE(QFileInfo(file).size() < (megabytes << 20), cut);
        const QString line = "[Cut here: only the first 1 MB of the text is shown.]";
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        // The bubbles are pictures: a megabyte of these words fills 339 pages, twenty would fill
        // thousands.
        if (cut && pdf)
            QVERIFY(PdfTools::pages(file) < 400);
        else if (cut)
            QVERIFY(written.readAll().contains("<br/>" + line.toUtf8() + "</div>"));
    }

    void unwritableFileThrows()
    {
        ExportMessagesPdf pdf(HeldFolder::open(TestEnv::tempDir()), QString(300, 'x') + ".pdf");
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, pdf.init());
    }
};

QTEST_MAIN(TestExportMessagesPdf)
#include "TestExportMessagesPdf.moc"
