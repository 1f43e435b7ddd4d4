#include "app/UpdateChecker.h"
#include "app/support/LoopbackHttpServer.h"
#include "support/MockClock.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

class TestUpdateChecker : public QObject
{
    Q_OBJECT

    QString timeFile() const { return m_dir + "/last-check-version-time"; }
    void writeRaw(const QByteArray& bytes)
    {
        QFile f(timeFile());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray readRaw()
    {
        QFile f(timeFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Runs one check against the loopback server and waits for its end.
    void runCheck(UpdateChecker& checker)
    {
        QSignalSpy done(&checker, &UpdateChecker::finished);
        checker.start();
        QVERIFY(done.wait(10000));
    }

    QString m_dir;
    LoopbackHttpServer* m_server = nullptr;

private Q_SLOTS:
    void init()
    {
        m_dir = TestEnv::tempDir();
        m_server = new LoopbackHttpServer(this);
        UpdateChecker::setServiceBase(m_server->baseUrl());
    }
    void cleanup()
    {
        delete m_server;
        m_server = nullptr;
    }

    void decidesOncePerDay_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<bool>("expected");
        const quint32 now = 1700000000;
        QTest::newRow("no file") << QByteArray() << false << true;
        QTest::newRow("one day ago") << QByteArray::number(now - 86400) << true << false;
        QTest::newRow("one day and a second ago") << QByteArray::number(now - 86401) << true << true;
        QTest::newRow("just now") << QByteArray::number(now) << true << false;
        QTest::newRow("zero") << QByteArray("0") << true << true;
        QTest::newRow("text") << QByteArray("yesterday") << true << true;
        QTest::newRow("empty") << QByteArray() << true << true;
        QTest::newRow("future") << QByteArray::number(now + 100) << true << true;
        QTest::newRow("digits then NUL")
            << QByteArray::number(now - 10) + QByteArray("\0zz", 3) << true << false;
    }
    void decidesOncePerDay()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, fileExists);
        QFETCH(bool, expected);
        if (fileExists)
            writeRaw(content);
        UpdateChecker checker(timeFile());
        QCOMPARE(checker.shouldCheck(1700000000), expected);
    }

    void nowComesFromTheClock()
    {
        MockClock clock(QDateTime::fromSecsSinceEpoch(1700000000));
        UpdateChecker checker(timeFile());
        checker.writeTimeFile();
        QCOMPARE(readRaw(), QByteArray("1700000000"));
        clock.advance(86400);
        QVERIFY(!checker.shouldCheck());
        clock.advance(1);
        QVERIFY(checker.shouldCheck());
    }

    void writesDigitsOnly()
    {
        UpdateChecker checker(timeFile());
        checker.writeTimeFile(1234567890);
        QCOMPARE(readRaw(), QByteArray("1234567890"));
        QVERIFY(!checker.shouldCheck(1234567890 + 5));
    }

    void sendsTheExpectedRequest()
    {
        m_server->setResponse(200, "nothing new");
        UpdateChecker checker(timeFile());
        runCheck(checker);
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(m_server->requests().first().target,
            QByteArray("/sms_check_update.php?pid=7C2E41A9D05B38F6E19A4C7D2B60F853&ver=39&q=1"));
        QCOMPARE(m_server->requests().first().method, QByteArray("GET"));
    }

    void plainAnswerRecordsTheCheck()
    {
        m_server->setResponse(200, "no update");
        UpdateChecker checker(timeFile());
        QSignalSpy offered(&checker, &UpdateChecker::downloadOffered);
        const quint32 before = UpdateChecker::now();
        runCheck(checker);
        QCOMPARE(offered.count(), 0);
        QVERIFY(readRaw().toUInt() >= before);
    }

    void otherStatusRecordsNothing()
    {
        m_server->setResponse(404, "http://example.invalid/dl");
        UpdateChecker checker(timeFile());
        QSignalSpy offered(&checker, &UpdateChecker::downloadOffered);
        runCheck(checker);
        QCOMPARE(offered.count(), 0);
        QVERIFY(!QFile::exists(timeFile()));
    }

    void addressIsOffered_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("timeFileBefore");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("firstCheck");
        QTest::newRow("first check") << QByteArray("http://dl.example.invalid/new.deb") << false
                                     << "http://dl.example.invalid/new.deb" << true;
        QTest::newRow("upper-case scheme")
            << QByteArray("HTTP://DL.example.invalid/x") << true << "HTTP://DL.example.invalid/x" << false;
        QTest::newRow("https") << QByteArray("https://dl.example.invalid/x") << true
                               << "https://dl.example.invalid/x" << false;
        QTest::newRow("cut at NUL") << QByteArray("http://dl.example.invalid/a\0junk", 32) << true
                                    << "http://dl.example.invalid/a" << false;
    }
    void addressIsOffered()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, timeFileBefore);
        QFETCH(QString, address);
        QFETCH(bool, firstCheck);
        if (timeFileBefore)
            writeRaw("5");
        m_server->setResponse(200, body);
        UpdateChecker checker(timeFile());
        QSignalSpy offered(&checker, &UpdateChecker::downloadOffered);
        runCheck(checker);
        QCOMPARE(offered.count(), 1);
        QCOMPARE(offered.first().at(0).toString(), address);
        QCOMPARE(offered.first().at(1).toBool(), firstCheck);
        // Offering a download records nothing by itself.
        QCOMPARE(QFile::exists(timeFile()), timeFileBefore);
        if (timeFileBefore)
            QCOMPARE(readRaw(), QByteArray("5"));
    }

    void nonWebAddressIsNotActedOn_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("file") << QByteArray("file:///etc/passwd");
        QTest::newRow("script") << QByteArray("javascript:alert(1)");
        QTest::newRow("no host") << QByteArray("http://");
        QTest::newRow("ftp") << QByteArray("ftp://dl.example.invalid/x");
    }
    void nonWebAddressIsNotActedOn()
    {
        QFETCH(QByteArray, body);
        m_server->setResponse(200, body);
        UpdateChecker checker(timeFile());
        QSignalSpy offered(&checker, &UpdateChecker::downloadOffered);
        runCheck(checker);
        QCOMPARE(offered.count(), 0);
        QVERIFY(QFile::exists(timeFile()));
    }

    void unreachableServiceChangesNothing()
    {
        const QUrl base = m_server->baseUrl();
        delete m_server;
        m_server = nullptr;
        UpdateChecker::setServiceBase(base);
        UpdateChecker checker(timeFile());
        QSignalSpy offered(&checker, &UpdateChecker::downloadOffered);
        runCheck(checker);
        QCOMPARE(offered.count(), 0);
        QVERIFY(!QFile::exists(timeFile()));
    }

    void noServiceNoRequest()
    {
        UpdateChecker::setServiceBase(QUrl());
        UpdateChecker checker(timeFile());
        QSignalSpy done(&checker, &UpdateChecker::finished);
        checker.start();
        QTest::qWait(100);
        QCOMPARE(done.count(), 0);
        QCOMPARE(m_server->requests().size(), 0);
    }

    void updatePageCarriesPlatform()
    {
        const QUrl url = UpdateChecker::updatePageUrl();
        QCOMPARE(url.path(), QString("/sms_check_update.php"));
        QCOMPARE(url.query(), QString("pid=7C2E41A9D05B38F6E19A4C7D2B60F853&ver=39&sys=linux"));
    }
};

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "TestUpdateChecker.moc"
