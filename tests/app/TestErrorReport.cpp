#include "app/ErrorReport.h"
#include "app/support/LoopbackHttpServer.h"

#include <QUrlQuery>
#include <QtTest>

class TestErrorReport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void buildTimeHostIsTheDefault()
    {
        // The suites switch reports off before main(); the build-time host is what the program uses.
        QVERIFY(ErrorReport::serviceBase().isEmpty());
        QVERIFY(ErrorReport::reportUrl().isEmpty());
        ErrorReport::setServiceBase(QUrl(QString::fromUtf8(QM_SERVICE_HOST)));
        QCOMPARE(ErrorReport::reportUrl().path(), QString(ErrorReport::path));
        QCOMPARE(ErrorReport::reportUrl().host(), QUrl(QString::fromUtf8(QM_SERVICE_HOST)).host());
        ErrorReport::setServiceBase(QUrl());
    }

    void bodyKeepsReservedCharacters()
    {
        const QString text = QString::fromUtf8("a+b&c=d 100% <x>\n\xc3\xa9");
        const QByteArray body = ErrorReport::body(text);
        QUrlQuery query(QString::fromLatin1(body));
        QCOMPARE(query.queryItemValue("pid"), QString("7C2E41A9D05B38F6E19A4C7D2B60F853"));
        QCOMPARE(query.queryItemValue("ver"), QString("39"));
        QCOMPARE(query.queryItemValue("msg", QUrl::FullyDecoded), text);
        QVERIFY(!body.contains('+'));
        QVERIFY(!body.contains(' '));
    }

    void postsToTheService()
    {
        LoopbackHttpServer server;
        QVERIFY(server.isListening());
        ErrorReport::setServiceBase(server.baseUrl());
        ErrorReport::post("Could not open the file.");
        QVERIFY(server.waitForRequests(1));
        const LoopbackHttpServer::Request& r = server.requests().at(0);
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.target, QByteArray(ErrorReport::path));
        QCOMPARE(r.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(r.body, ErrorReport::body("Could not open the file."));
        ErrorReport::setServiceBase(QUrl());
    }

    void postFromWorkerThreadAndIgnoresFailures()
    {
        LoopbackHttpServer server;
        server.setResponse(500, "oops");
        ErrorReport::setServiceBase(server.baseUrl());
        QThread* worker = QThread::create([] { ErrorReport::post("from a worker"); });
        worker->start();
        QVERIFY(worker->wait(5000));
        delete worker;
        QVERIFY(server.waitForRequests(1));
        QCOMPARE(server.requests().at(0).body, ErrorReport::body("from a worker"));
        // Nothing listening: the post fails quietly.
        ErrorReport::setServiceBase(QUrl("http://127.0.0.1:1"));
        ErrorReport::post("nobody there");
        QTest::qWait(200);
        ErrorReport::setServiceBase(QUrl());
    }

    void switchedOffSendsNothing()
    {
        LoopbackHttpServer server;
        ErrorReport::setServiceBase(QUrl());
        ErrorReport::post("not sent");
        QTest::qWait(200);
        QCOMPARE(server.requests().size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestErrorReport)
#include "TestErrorReport.moc"
