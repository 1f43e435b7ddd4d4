#include "app/ErrorReport.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSysInfo>
#include <QThread>

namespace
{

const char* const kProductId = "7C2E41A9D05B38F6E19A4C7D2B60F853";
const int kProductVersion = 39;
const int kTimeoutMs = 30000;

QMutex& baseMutex()
{
    static QMutex mutex;
    return mutex;
}

// Function-local so that a setServiceBase() from another file's static set-up is never undone.
QUrl& baseStorage()
{
    static QUrl base(QString::fromUtf8(QM_SERVICE_HOST));
    return base;
}

// The one client of the run. It lives on the application's thread and is taken down before the
// application object goes, while the network thread behind it can still end in order.
class ReportClient
{
public:
    static QNetworkAccessManager& get()
    {
        if (!s_client) {
            s_client = new QNetworkAccessManager;
            qAddPostRoutine(&ReportClient::shutDown);
        }
        return *s_client;
    }

private:
    // Replies still in flight are dropped: a report is worth no wait at exit.
    static void shutDown()
    {
        delete s_client;
        s_client = nullptr;
    }

    static inline QNetworkAccessManager* s_client = nullptr;
};

void send(const QUrl& url, const QByteArray& body)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    request.setTransferTimeout(kTimeoutMs);
    QNetworkReply* reply = ReportClient::get().post(request, body);
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}

} // namespace

QUrl ErrorReport::serviceBase()
{
    QMutexLocker lock(&baseMutex());
    return baseStorage();
}

void ErrorReport::setServiceBase(const QUrl& base)
{
    QMutexLocker lock(&baseMutex());
    baseStorage() = base;
}

QUrl ErrorReport::reportUrl()
{
    const QUrl base = serviceBase();
    if (base.isEmpty() || !base.isValid())
        return {};
    QString basePath = base.path();
    while (basePath.endsWith('/'))
        basePath.chop(1);
    QUrl url = base;
    url.setPath(basePath + QString::fromLatin1(path));
    return url;
}

QByteArray ErrorReport::body(const QString& text)
{
    // Form encoding with every reserved character escaped, so '+', '&' and '=' inside a value
    // reach the service as they were.
    const QList<QPair<const char*, QString>> fields = {
        { "pid", QString::fromLatin1(kProductId) },
        { "ver", QString::number(kProductVersion) },
        { "sys", QSysInfo::productType() },
        { "os", QSysInfo::prettyProductName() },
        { "msg", text },
    };
    QByteArray out;
    for (const auto& [key, value] : fields) {
        if (!out.isEmpty())
            out += '&';
        out += key;
        out += '=';
        out += QUrl::toPercentEncoding(value);
    }
    return out;
}

void ErrorReport::post(const QString& text)
{
    QCoreApplication* app = QCoreApplication::instance();
    const QUrl url = reportUrl();
    if (!app || url.isEmpty())
        return;
    const QByteArray data = body(text);
    if (QThread::currentThread() == app->thread())
        send(url, data);
    else
        QMetaObject::invokeMethod(
            app, [url, data] { send(url, data); }, Qt::QueuedConnection);
}
