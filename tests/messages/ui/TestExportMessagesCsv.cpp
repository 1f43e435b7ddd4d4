#include "app/IdsTranslator.h"
#include "app/ui/support/EnglishTexts.h"
#include "messages/ui/ExportMessagesCsv.h"
#include "messages/ui/ExportMessagesThread.h"
#include "messages/ui/support/MsgModelBuilder.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

// The local wall clock of a message date (seconds since 2001-01-01 UTC) in the given format.
static QString localClock(qint64 secs2001, const QString& format)
{
    return QDateTime::fromSecsSinceEpoch(978307200 + secs2001, Qt::UTC).toLocalTime().toString(format);
}

class TestExportMessagesCsv : public QObject
{
    Q_OBJECT
    IdsTranslator translator;

    static QJsonArray readCsv(const QString& path)
    {
        QString error;
        const QByteArray json = runExportChecker({ "csv", path }, &error);
        if (json.isEmpty())
            qWarning() << error;
        return QJsonDocument::fromJson(json).array();
    }

private Q_SLOTS:
    void initTestCase() { installEnglishTexts(translator); }

    void csvFormat_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("plain") << "plain text"
                               << "plain text";
        QTest::newRow("comma") << "a,b"
                               << "\"a,b\"";
        QTest::newRow("quote") << "say \"x\""
                               << "\"say \"\"x\"\"\"";
        QTest::newRow("line feed") << "a\nb"
                                   << "\"a\nb\"";
        // Quoted as well, or a reader ends the record at the carriage return.
        QTest::newRow("lone cr") << "a\rb"
                                 << "\"a\rb\"";
    }
    void csvFormat()
    {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QCOMPARE(g_csvFormat(text), field);
    }

    // Python's csv module reads back every field as it was: commas, quotes, line feeds, lone
    // carriage returns, empty content, group chats and messages without a chat.
    void readsBackWithPythonCsv()
    {
        MsgModelBuilder b;
        _MsgHandle* ada = b.handle("+15550001", "Ada, \"Countess\"");
        _MsgHandle* bob = b.handle("bob@example.com");
        _MsgChat* single = b.chat("+15550001", { ada });
        _MsgChat* group = b.chat("chat42", { ada, bob }, "Team");
        const QStringList texts = { "one, two", "say \"hi\"", "line\nbreak", "carriage\rreturn", "",
            QString::fromUtf8("smile \xF0\x9F\x98\x80") };
        int date = 500000000;
        for (const QString& t : texts)
            b.message(single, ada, date += 10, t, false);
        b.message(group, bob, date += 10, "group text", false);
        b.message(nullptr, nullptr, date += 10, "lost", true);
        const QString path = TestEnv::tempDir() + "/out.csv";
        const ExportRun run = runExport(b.messages(), path, ExportMessagesThread::Csv);
        QCOMPARE(run.result, 1);
        QCOMPARE(run.text, QString("Successfully extracted 8 Messages."));

        const QJsonArray rows = readCsv(path);
        QCOMPARE(rows.size(), 9);
        QCOMPARE(rows[0].toArray().toVariantList(),
            QVariantList({ "date", "send", "person", "number", "content" }));
        const QStringList expected
            = { "one, two", "say \"hi\"", "line\nbreak", "carriage\rreturn", "", "smile [EMOJI]" };
        for (int i = 0; i < expected.size(); ++i) {
            const QJsonArray row = rows[i + 1].toArray();
            QCOMPARE(row.size(), 5);
            QCOMPARE(row[2].toString(), QString("Ada, \"Countess\""));
            QCOMPARE(row[3].toString(), QString("+15550001"));
            QCOMPARE(row[4].toString(), expected[i]);
        }
        QCOMPARE(rows[1].toArray()[0].toString(), localClock(500000010, "yyyy-MM-dd hh:mm:ss"));
        QCOMPARE(rows[1].toArray()[1].toString(), QString("0"));
        QCOMPARE(rows[7].toArray()[2].toString(), QString("chat42"));
        QCOMPARE(rows[7].toArray()[3].toString(), QString("chat42"));
        QCOMPARE(rows[8].toArray().toVariantList(),
            QVariantList({ localClock(500000080, "yyyy-MM-dd hh:mm:ss"), "1", "", "", "lost" }));

        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.startsWith("date,send,person,number,content\n"));
        QVERIFY(bytes.contains(",+15550001,\n")); // empty content: the line ends with the comma
    }

    // Messages come out oldest first whatever the order of the list.
    void dateOrder()
    {
        MsgModelBuilder b;
        _MsgChat* c = b.chat("x", { b.handle("x") });
        b.message(c, nullptr, 3000, "third");
        b.message(c, nullptr, 1000, "first");
        b.message(c, nullptr, 2000, "second");
        const QString path = TestEnv::tempDir() + "/order.csv";
        QCOMPARE(runExport(b.messages(), path, ExportMessagesThread::Csv).result, 1);
        const QJsonArray rows = readCsv(path);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[1].toArray()[4].toString(), QString("first"));
        QCOMPARE(rows[3].toArray()[4].toString(), QString("third"));
    }
};

QTEST_MAIN(TestExportMessagesCsv)
#include "TestExportMessagesCsv.moc"
