#include "calls_calendars/CallHistoryExport.h"
#include "calls_calendars/support/CallsFixtures.h"
#include "support/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

namespace
{

QList<_CallHistory> sampleCalls()
{
    QList<_CallHistory> calls;
    const int flags[3] = { 4, 5, 8 };
    for (int i = 0; i < 3; ++i) {
        _CallHistory c;
        c.date = QDateTime(QDate(2012, 6, 12 + i), QTime(14, 30), Qt::UTC);
        c.flags = CallHistoryFlag(flags[i]);
        c.duration = 65 * i;
        c.address = i == 1 ? "+1 571 308 3236 ext. 12345678901" : "5713083236";
        c.person = i == 0 ? "Tee, Pat \"P\"" : QString();
        calls.append(c);
    }
    return calls;
}

void writeAll(const QString& path, const QList<_CallHistory>& calls)
{
    CallHistoryExport out(path);
    out.init();
    for (const _CallHistory& c : calls)
        out.write(c);
    out.uninit();
}

} // namespace

class TestCallHistoryExport : public QObject
{
    Q_OBJECT
private slots:
    void csvReadsBack_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("lower") << "calls.csv";
        QTest::newRow("upper") << "calls.CSV";
    }
    void csvReadsBack()
    {
        QFETCH(QString, name);
        const QString path = TestEnv::tempDir() + "/" + name;
        writeAll(path, sampleCalls());
        const QString json = CallsFixtures::runPython({ "-c",
            "import csv,json,sys; print(json.dumps(list(csv.reader(open(sys.argv[1], newline='', "
            "encoding='utf-8')))))",
            path });
        const QJsonArray rows = QJsonDocument::fromJson(json.toUtf8()).array();
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0].toArray().toVariantList(),
            QVariantList({ "Flag", "Number", "Contact", "Date", "Duration" }));
        QCOMPARE(rows[1].toArray()[0].toString(), QString("Incoming"));
        QCOMPARE(rows[1].toArray()[2].toString(), QString("Tee, Pat \"P\""));
        QCOMPARE(rows[2].toArray()[0].toString(), QString("Outgoing"));
        QCOMPARE(rows[2].toArray()[4].toString(), QString("65 s"));
        QCOMPARE(rows[3].toArray()[0].toString(), QString("Blocked"));
    }

    // What the screen bounds, the exports write whole.
    void longValuesWrittenWhole_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("person");
        QTest::newRow("CSV: number of 1 MB") << "calls.csv" << QString(1 << 20, '5') << "Pat";
        QTest::newRow("CSV: contact of 10 MB") << "calls.csv"
                                               << "555" << QString(10 << 20, 'P');
        QTest::newRow("text: contact of 10 MB") << "calls.txt"
                                                << "555" << QString(10 << 20, 'P');
    }
    void longValuesWrittenWhole()
    {
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(QString, person);
        QList<_CallHistory> calls = sampleCalls();
        calls[0].address = address;
        calls[0].person = person;
        const QString path = TestEnv::tempDir() + "/" + name;
        writeAll(path, calls);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray written = f.readAll();
        QVERIFY(written.contains(address.toUtf8()));
        QVERIFY(written.contains(person.toUtf8()));
    }

    void textKeepsWidths()
    {
        const QString path = TestEnv::tempDir() + "/calls.txt";
        writeAll(path, sampleCalls());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
        QCOMPARE(lines.size(), 5); // four lines and the empty text after the last line feed
        QCOMPARE(lines[0],
            QString("Flag").leftJustified(15) + QString("Number").leftJustified(20)
                + QString("Contact").leftJustified(20) + QString("Date").leftJustified(25)
                + QString("Duration").leftJustified(15));
        QCOMPARE(lines[1].indexOf("5713083236"), 15);
        QCOMPARE(lines[1].indexOf("Tee, Pat"), 35); // unquoted in text
        QVERIFY(lines[2].indexOf("65 s") > 80); // the long number pushes the rest right
    }

    void writeErrorRemovesFile()
    {
        // Files may not grow past 4 KiB for a while: the writes after that fail.
        const QString path = TestEnv::tempDir() + "/calls.csv";
        struct rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &small);
        bool failed = false;
        {
            CallHistoryExport out(path);
            try {
                out.init();
                for (int i = 0; i < 2000; ++i)
                    out.write(sampleCalls().first());
                out.uninit();
            } catch (const std::runtime_error&) {
                failed = true;
            }
        }
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(failed);
        QVERIFY(!QFile::exists(path)); // no partial file is left
    }

    void openErrorThrows()
    {
        CallHistoryExport out(TestEnv::tempDir() + "/no/such/folder/calls.csv");
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, out.init());
    }
};

QTEST_GUILESS_MAIN(TestCallHistoryExport)
#include "TestCallHistoryExport.moc"
