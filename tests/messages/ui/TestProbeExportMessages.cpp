#include "messages/support/MsgFixtures.h"
#include "messages/ui/support/MsgModelBuilder.h"
#include "messages/ui/support/PdfTools.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

// The probe's "export-messages" command on generated and real message databases, its files read
// back with the standard tools.
class TestProbeExportMessages : public QObject
{
    Q_OBJECT
    QString probe;

    struct Result {
        int rc = -1;
        int count = -1; // messages the export reported
        QStringList files;
    };

    Result run(const QString& format, const QString& src, const QString& out)
    {
        QProcess p;
        p.start(probe, { "export-messages", "--format", format, src, out });
        p.waitForFinished(300000);
        Result r;
        r.rc = p.exitCode();
        QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        if (!lines.isEmpty()) {
            const QRegularExpressionMatch m = QRegularExpression("(\\d+)").match(lines.takeFirst());
            r.count = m.hasMatch() ? m.captured(1).toInt() : -1;
        }
        // The pages' exports say where their folder is on a line of the closing text.
        if (!lines.isEmpty() && lines.first().startsWith("The pages are in the folder "))
            lines.removeFirst();
        r.files = lines;
        return r;
    }

    // Every format of one source, checked with the standard readers; returns the message count.
    void exportAll(const QString& src, int messages)
    {
        const QString base = TestEnv::tempDir();
        const Result csv = run("csv", src, base + "/m.csv");
        QCOMPARE(csv.rc, 0);
        QCOMPARE(csv.count, messages);
        QCOMPARE(csv.files, QStringList({ base + "/m.csv" }));
        const QJsonArray rows = QJsonDocument::fromJson(runExportChecker({ "csv", base + "/m.csv" })).array();
        QCOMPARE(rows.size(), messages + 1);
        for (const QJsonValue& row : rows)
            QCOMPARE(row.toArray().size(), 5);

        const Result txt = run("txt", src, base + "/m.txt");
        QCOMPARE(txt.rc, 0);
        QFile f(base + "/m.txt");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(int(f.readAll().count("\nDate: ")) + 1, messages);

        const Result html = run("html", src, base + "/html");
        QCOMPARE(html.rc, 0);
        QVERIFY(!html.files.isEmpty());
        const QJsonObject checked
            = QJsonDocument::fromJson(runExportChecker({ "html", base + "/html" })).object();
        QCOMPARE(checked["pages"].toObject().size(), html.files.size());
        QCOMPARE(checked["missing"].toArray(), QJsonArray());

        if (!PdfTools::available())
            return;
        const Result pdf = run("pdf", src, base + "/pdf");
        QCOMPARE(pdf.rc, 0);
        QCOMPARE(pdf.files.size(), html.files.size());
        const QRegularExpression dateLine("\\d\\d \\w\\w\\w \\d{4} \\d{1,2}:\\d{1,2} [AP]M");
        for (const QString& file : pdf.files) {
            QVERIFY(PdfTools::pageSize(file).contains("(A4)"));
            QVERIFY2(dateLine.match(PdfTools::text(file)).hasMatch(), qPrintable(file));
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        probe = QCoreApplication::applicationDirPath() + "/../tools/probe/qm-probe";
        if (!QFile::exists(probe))
            QSKIP("qm-probe is not built beside the tests");
    }

    void generatedFolder()
    {
        const QString folder = MsgFixtures::generate("ios6");
        QVERIFY(!folder.isEmpty());
        exportAll(folder, MsgFixtures::expected(folder)["messages"].toInt());
        // Attachments are taken from the given folder: the picture and the video are in files/.
        const QString out = TestEnv::tempDir() + "/withfiles";
        QCOMPARE(run("html", folder, out).rc, 0);
        QVERIFY(QFile::exists(out + "/files/clip.MOV"));
    }

    void realFixtures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("messages");
        QTest::newRow("magnet iOS 13") << "magnet-ctf-2020-sms/sms.db" << 105;
        QTest::newRow("otapki iOS 7") << "otapki-iphone/HomeDomain/Library/SMS/sms.db" << 2;
        QTest::newRow("mac chat.db") << "imessagedb/chat.db" << 2;
    }
    void realFixtures()
    {
        QM_REQUIRE_SHARED();
        QFETCH(QString, path);
        QFETCH(int, messages);
        exportAll(TestEnv::copyToTemp(TestEnv::realFixture(path)), messages);
    }

    void usage()
    {
        QProcess p;
        p.start(probe, { "export-messages", "--format", "doc", "a", "b" });
        p.waitForFinished(60000);
        QCOMPARE(p.exitCode(), 2);
    }
};

QTEST_MAIN(TestProbeExportMessages)
#include "TestProbeExportMessages.moc"
