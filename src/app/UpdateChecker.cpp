#include "app/UpdateChecker.h"

#include "app/Clock.h"

#include <QDateTime>
#include <QFile>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrlQuery>

namespace
{

QUrl& serviceBaseRef()
{
    static QUrl base(QStringLiteral(QM_SERVICE_HOST));
    return base;
}

QString baseText()
{
    QString base = serviceBaseRef().toString();
    while (base.endsWith('/'))
        base.chop(1);
    return base;
}

QByteArray upToNul(const QByteArray& bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

} // namespace

UpdateChecker::UpdateChecker(const QString& timeFilePath, QObject* parent)
    : QObject(parent)
    , m_timeFile(timeFilePath)
{
    connect(&m_network, &QNetworkAccessManager::finished, this, &UpdateChecker::onReplyFinished);
    // A service that never answers must not keep a request open for the whole run.
    m_network.setTransferTimeout(30000);
}

QUrl UpdateChecker::serviceBase()
{
    return serviceBaseRef();
}

void UpdateChecker::setServiceBase(const QUrl& base)
{
    serviceBaseRef() = base;
}

QUrl UpdateChecker::checkUrl()
{
    return QUrl(baseText()
        + QStringLiteral("/sms_check_update.php?pid=%1&ver=%2&q=1").arg(productId).arg(versionNumber));
}

QUrl UpdateChecker::updatePageUrl()
{
    return QUrl(baseText()
        + QStringLiteral("/sms_check_update.php?pid=%1&ver=%2").arg(productId).arg(versionNumber)
        + QStringLiteral("&sys=") + QStringLiteral("linux"));
}

quint32 UpdateChecker::now()
{
    return quint32(Clock::secsSinceEpoch());
}

bool UpdateChecker::shouldCheck(quint32 when) const
{
    QFile file(m_timeFile);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return true;
    bool ok = false;
    const qint32 stored = QString::fromLatin1(upToNul(file.readAll())).toInt(&ok);
    if (!ok || stored == 0)
        return true;
    // Unsigned difference: a stored time in the future wraps to a large value and so checks.
    const quint32 elapsed = when - quint32(stored);
    return elapsed >= checkInterval;
}

void UpdateChecker::start()
{
    if (serviceBase().isEmpty())
        return;
    QNetworkRequest request(checkUrl());
    m_network.get(request);
}

bool UpdateChecker::timeFileExists() const
{
    return QFile::exists(m_timeFile);
}

void UpdateChecker::writeTimeFile(quint32 when) const
{
    QFile file(m_timeFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(QByteArray::number(when));
}

bool UpdateChecker::isDownloadAddress(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (!trimmed.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        && !trimmed.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        return false;
    const QUrl url(trimmed, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty();
}

void UpdateChecker::onReplyFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status != 200) {
        // No answer or another status: nothing is recorded, so the next start asks again.
        Q_EMIT finished();
        return;
    }
    const QString text = QString::fromLatin1(upToNul(reply->readAll())).trimmed();
    if (!isDownloadAddress(text)) {
        writeTimeFile();
        Q_EMIT finished();
        return;
    }
    const bool firstCheck = !timeFileExists();
    Q_EMIT downloadOffered(text, firstCheck);
    Q_EMIT finished();
}
