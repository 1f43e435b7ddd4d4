#include "messages/ui/ExportMessagesThread.h"
#include "messages/ui/ExportMessagesTxt.h"
#include "messages/ui/support/MsgModelBuilder.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>
#include <sys/stat.h>

class TestExportMessagesTxt : public QObject
{
    Q_OBJECT

    static QString readAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    static bool isCharDevice(const char* path)
    {
        struct stat st;
        return ::stat(path, &st) == 0 && S_ISCHR(st.st_mode);
    }

private Q_SLOTS:
    // The conversation's name follows "From: " or "To: ", also in group chats; no chat reads
    // "Unknown"; every block ends with an empty line.
    void blocks()
    {
        MsgModelBuilder b;
        _MsgHandle* ada = b.handle("+15550001", "Ada");
        _MsgHandle* bob = b.handle("+15550002");
        _MsgChat* group = b.chat("chat7", { ada, bob });
        b.message(group, ada, 100, "hello\nthere");
        b.message(group, nullptr, 200, "reply", true);
        b.message(
            nullptr, nullptr, 300, QString::fromUtf8("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xF0\x9F\x98\x80"));
        const QString path = TestEnv::tempDir() + "/out.txt";
        QCOMPARE(runExport(b.messages(), path, ExportMessagesThread::Txt).result, 1);
        const QStringList lines = readAll(path).split('\n');
        QCOMPARE(lines.size(), 14);
        QVERIFY(lines[0].startsWith("Date: "));
        QVERIFY(
            lines[1] == "From: Ada (+15550001), +15550002" || lines[1] == "From: +15550002, Ada (+15550001)");
        QCOMPARE(lines[2], QString("hello"));
        QCOMPARE(lines[3], QString("there"));
        QCOMPARE(lines[4], QString());
        QVERIFY(lines[6].startsWith("To: "));
        QCOMPARE(lines[10], QString("From: Unknown"));
        QCOMPARE(lines[11], QString::fromUtf8("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D [EMOJI]"));
        QCOMPARE(lines[13], QString());
    }

    // What the screen bounds, the text and CSV exports write whole: a message of 10 MB, or a
    // conversation or contact named with 1 MB.
    void longValuesWrittenWhole_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        const QString mb(1 << 20, 'n');
        QTest::newRow("text: message of 10 MB")
            << int(ExportMessagesThread::Txt) << QString(10 << 20, 'w') << "Ada";
        QTest::newRow("text: name of 1 MB") << int(ExportMessagesThread::Txt) << "hi" << mb;
        QTest::newRow("CSV: message of 10 MB")
            << int(ExportMessagesThread::Csv) << QString(10 << 20, 'w') << "Ada";
        QTest::newRow("CSV: name of 1 MB") << int(ExportMessagesThread::Csv) << "hi" << mb;
    }
    void longValuesWrittenWhole()
    {
        QFETCH(int, type);
        QFETCH(QString, text);
        QFETCH(QString, name);
        MsgModelBuilder b;
        _MsgHandle* ada = b.handle("+15550001", name);
        b.message(b.chat("+15550001", { ada }), ada, 100, text);
        const QString path = TestEnv::tempDir() + "/out";
        QCOMPARE(runExport(b.messages(), path, type).result, 1);
        const QString written = readAll(path);
        QVERIFY(written.contains(text));
        QVERIFY(written.contains(name));
    }

    // A full disk is a failure, not a success; the device given as the output is left alone.
    void writeErrorIsReported()
    {
        if (!isCharDevice("/dev/full"))
            QSKIP("no /dev/full device on this system");
        MsgModelBuilder b;
        _MsgChat* c = b.chat("x", { b.handle("x") });
        for (int i = 0; i < 3; ++i)
            b.message(c, nullptr, 100 + i * 100, QString(5000, 'w'));
        // Through a link: the link is followed to the device, and neither is removed.
        const QString link = TestEnv::tempDir() + "/full.txt";
        QVERIFY(QFile::link("/dev/full", link));
        const ExportRun run = runExport(b.messages(), link, ExportMessagesThread::Txt);
        QCOMPARE(run.result, 0);
        QCOMPARE(run.text, QString("Cannot write %1: No space left on device").arg(link));
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(isCharDevice("/dev/full"));
    }

    void unopenableFileIsReported()
    {
        MsgModelBuilder b;
        b.message(nullptr, nullptr, 100, "x");
        const QString path = TestEnv::tempDir() + "/no/such/folder/out.txt";
        const ExportRun run = runExport(b.messages(), path, ExportMessagesThread::Txt);
        QCOMPARE(run.result, 0);
        QVERIFY(!run.text.isEmpty());
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_MAIN(TestExportMessagesTxt)
#include "TestExportMessagesTxt.moc"
