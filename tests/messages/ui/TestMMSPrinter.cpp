#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/DialogAnswers.h"
#include "app/ui/support/ModalAnswerer.h"
#include "messages/ui/MMSPrinter.h"
#include "messages/ui/MMSPrinterPrivacy.h"
#include "messages/ui/support/MsgModelBuilder.h"
#include "messages/ui/support/PdfTools.h"
#include "support/TestEnv.h"
#include "support/TestPictures.h"
#include "support/ui/GuiTestEnv.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTimer>
#include <QtTest>

// The local wall clock of a message date (seconds since 2001-01-01 UTC) in the given format.
static QString localClock(qint64 secs2001, const QString& format)
{
    return QDateTime::fromSecsSinceEpoch(978307200 + secs2001, Qt::UTC).toLocalTime().toString(format);
}

class TestMMSPrinter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (!PdfTools::available())
            QSKIP("poppler-utils (pdfinfo, pdftotext, pdftoppm) are not installed");
        QApplication::setFont(QFont("DejaVu Sans"));
    }

    void bubbleGeometry_data()
    {
        QTest::addColumn<bool>("fromMe");
        QTest::newRow("received") << false;
        QTest::newRow("sent") << true;
    }
    void bubbleGeometry()
    {
        QFETCH(bool, fromMe);
        // An empty text bubble keeps its least size.
        QCOMPARE(text_bubble(QString(), 400, fromMe).size(), QSize(90, 52));
        QVERIFY(pm_bubble(QImage(), fromMe).isNull());
        // A small picture: the least bubble, the picture drawn 30 wide and 25 high.
        QImage picture(30, 15, QImage::Format_ARGB32);
        picture.fill(Qt::red);
        const QImage bubble = pm_bubble(picture, fromMe);
        QCOMPARE(bubble.size(), QSize(90, 52));
        const int left = fromMe ? 20 : 30;
        const auto red = [&](int x, int y) { return bubble.pixelColor(x, y) == QColor(Qt::red); };
        QVERIFY(red(left, 10) && red(left + 29, 10 + 24));
        QVERIFY(!red(left + 30, 20) && !red(left + 10, 10 + 25) && !red(left - 1, 20));
    }

    // The preview dialog opens on the messages (kept as a picture), and the same painting on a
    // PDF printer gives A4 pages in date order with their numbers, each request from page 1.
    void previewAndPaint()
    {
        MsgModelBuilder b;
        _MsgHandle* ada = b.handle("+1", "Ada");
        _MsgChat* chat = b.chat("+1", { ada });
        for (int i = 30; i > 0; --i)
            b.message(chat, ada, 100000 + i * 3600, QString("note %1 with some words to wrap").arg(i), i % 2);
        MMSPrinter printer;
        ModalAnswerer answerer;
        QString title;
        QElapsedTimer shown;
        answerer.answerWith([&](QWidget* modal) {
            auto* dialog = qobject_cast<QPrintPreviewDialog*>(modal);
            if (!dialog)
                return false;
            if (!shown.isValid()) {
                shown.start();
                dialog->resize(760, 900);
            }
            if (shown.elapsed() < 500) // let the preview paint its pages
                return false;
            title = dialog->windowTitle();
            GuiTestEnv::screenshot(dialog, "messages-print-preview");
            dialog->reject();
            return true;
        });
        printer.printMMS(b.messages());
        QCOMPARE(answerer.handled(), 1);
        QVERIFY(!title.isEmpty());

        const QString path = TestEnv::tempDir() + "/printed.pdf";
        for (int round = 0; round < 2; ++round) {
            QPrinter pdf(QPrinter::ScreenResolution);
            pdf.setOutputFormat(QPrinter::PdfFormat);
            pdf.setPageSize(QPageSize(QPageSize::A4));
            pdf.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
            pdf.setOutputFileName(path);
            printer.onPaintRequested(&pdf);
        }
        QVERIFY(PdfTools::pageSize(path).contains("(A4)"));
        const int pages = PdfTools::pages(path);
        QVERIFY(pages >= 2);
        const QString first = PdfTools::text(path, 1);
        // The earliest two messages, in local time.
        QVERIFY(first.contains(localClock(103600, "dd MMM yyyy h:m AP")));
        QVERIFY(first.indexOf(localClock(103600, "h:m AP")) < first.indexOf(localClock(107200, "h:m AP")));
        QCOMPARE(PdfTools::text(path, pages).simplified().split(' ').last(), QString::number(pages));
    }

    void previewsAreMadeApart_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("longTexts"); // texts of 1 MB, else a picture slow to decode
        QTest::newRow("made, then the preview opens") << false << false;
        QTest::newRow("cancelled: no preview") << true << false;
        QTest::newRow("texts of 1 MB laid out, then the preview opens") << false << true;
        QTest::newRow("texts of 1 MB, cancelled: no preview") << true << true;
    }
    // A picture slow to decode, and texts long to lay out, are made on a thread apart under a
    // progress dialog: the window answers all the while, the preview opens once all is made and
    // its page requests place what was made, or it does not open at all when the wait is cancelled.
    void previewsAreMadeApart()
    {
        QFETCH(bool, cancel);
        QFETCH(bool, longTexts);
        const QString path = TestEnv::tempDir() + "/IMG_0011.JPG";
        QVERIFY(TestPictures::sparseFile(path, 0,
            TestPictures::withScans(TestPictures::progressiveJpeg(TestPictures::noise(2048, 2048)), 90)));
        MsgModelBuilder b;
        _MsgHandle* ada = b.handle("+1", "Ada");
        _MsgChat* chat = b.chat("+1", { ada });
        QString words;
        while (words.size() < (1 << 20))
            words += QStringLiteral("lorem ipsum dolor sit amet, ");
        const _MsgAttachment* a = nullptr;
        if (longTexts) {
            b.message(chat, ada, 100000, words, 0);
            b.message(chat, ada, 100100, words, 1);
        } else {
            a = b.attach(b.message(chat, ada, 100000, QString(QChar(0xFFFC)), 0), path, "image/jpeg");
        }
        MMSPrinter printer;
        ModalAnswerer answerer;
        QString status;
        DialogAnswers::answerProgress(answerer, &status, cancel);
        bool previewed = false;
        int pages = 0;
        answerer.answerWith([&](QWidget* modal) {
            auto* dialog = qobject_cast<QPrintPreviewDialog*>(modal);
            if (!dialog)
                return false;
            previewed = true;
            pages = dialog->findChild<QPrintPreviewWidget*>()->pageCount();
            QTimer::singleShot(300, dialog, [dialog] {
                GuiTestEnv::screenshot(dialog, "messages-print-preview-picture");
                dialog->reject();
            });
            return true;
        });
        QElapsedTimer sinceTick;
        qint64 longest = 0;
        QTimer ticks;
        ticks.setInterval(20);
        connect(&ticks, &QTimer::timeout, [&] { longest = qMax(longest, sinceTick.restart()); });
        sinceTick.start();
        ticks.start();
        printer.printMMS(b.messages());
        ticks.stop();
        QVERIFY2(longest < 200, qPrintable(QString("the window did not answer for %1 ms").arg(longest)));
        QCOMPARE(status, QString("IDS_PRINT_PREVIEWS_MMS"));
        QCOMPARE(previewed, !cancel);
        if (!cancel && longTexts)
            QVERIFY2(pages > 200, qPrintable(QString::number(pages)));
        else if (!cancel)
            QCOMPARE(QImage(a->thumbnail()).size(), QSize(120, 120));
        else
            QCOMPARE(answerer.pending(), 1); // the preview's answer, never asked for
    }
};

QTEST_MAIN(TestMMSPrinter)
#include "TestMMSPrinter.moc"
