#include "app/support/LoopbackHttpServer.h"

#include <QTcpSocket>
#include <QtTest>

LoopbackHttpServer::LoopbackHttpServer(QObject* parent)
    : QObject(parent)
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::onNewConnection);
}

QUrl LoopbackHttpServer::baseUrl() const
{
    return QUrl(QString("http://127.0.0.1:%1").arg(m_server.serverPort()));
}

void LoopbackHttpServer::setResponse(int status, const QByteArray& body)
{
    m_status = status;
    m_body = body;
}

bool LoopbackHttpServer::waitForRequests(int n, int timeoutMs)
{
    return QTest::qWaitFor([this, n] { return m_requests.size() >= n; }, timeoutMs);
}

void LoopbackHttpServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
            if (headerEnd < 0)
                return;
            Request request;
            const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            request.method = first.value(0);
            request.target = first.value(1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon > 0)
                    request.headers.insert(
                        lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
            }
            const qsizetype length = request.headers.value("content-length", "0").toLongLong();
            if (buffer->size() < headerEnd + 4 + length)
                return; // body still coming
            request.body = buffer->mid(headerEnd + 4, length);
            buffer->clear();
            m_requests.append(request);
            socket->write("HTTP/1.1 " + QByteArray::number(m_status) + " X\r\nContent-Length: "
                + QByteArray::number(m_body.size()) + "\r\nConnection: close\r\n\r\n" + m_body);
            socket->disconnectFromHost();
        });
    }
}
