#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

// A tiny HTTP/1.1 server on 127.0.0.1 (port chosen by the system) that records each request and
// answers it with a fixed status and body. For tests of code that talks to the web service.
class LoopbackHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        QByteArray target; // path and query as sent
        QMap<QByteArray, QByteArray> headers; // names lower-cased
        QByteArray body;
    };

    explicit LoopbackHttpServer(QObject* parent = nullptr);

    bool isListening() const { return m_server.isListening(); }
    QUrl baseUrl() const; // "http://127.0.0.1:<port>"

    void setResponse(int status, const QByteArray& body);

    const QList<Request>& requests() const { return m_requests; }
    // Runs the event loop until n requests have arrived or the time is up.
    bool waitForRequests(int n, int timeoutMs = 5000);

private:
    void onNewConnection();

    QTcpServer m_server;
    QList<Request> m_requests;
    int m_status = 200;
    QByteArray m_body;
};
