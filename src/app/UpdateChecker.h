#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkReply;

// Asks the maker's web service, at most about once a day, whether a newer release exists.
// The answer is a download address or anything else; only an http or https address is acted on.
// The time of the last completed check lives in a small file whose presence also tells that a
// check has completed at least once.
class UpdateChecker : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* productId = "7C2E41A9D05B38F6E19A4C7D2B60F853";
    static constexpr int versionNumber = 39;
    static constexpr quint32 checkInterval = 86401; // one day and one second

    // timeFilePath: the "last-check-version-time" file in the data folder.
    explicit UpdateChecker(const QString& timeFilePath, QObject* parent = nullptr);

    // Base address of the service ("http://host[:port]"), fixed at build time (QM_SERVICE_HOST);
    // tests point it at a loopback server, or switch checks off with an empty address.
    static QUrl serviceBase();
    static void setServiceBase(const QUrl& base);

    // The GET that asks for a newer release, and the update page the menu opens in the browser.
    static QUrl checkUrl();
    static QUrl updatePageUrl();

    // Seconds since 1970 as the time file stores them.
    static quint32 now();

    // True when no check has completed within checkInterval seconds before `when`.
    bool shouldCheck(quint32 when = now()) const;
    // Sends the GET (nothing without a service address); the answer arrives as downloadOffered()
    // or by writing the time file.
    void start();

    bool timeFileExists() const;
    void writeTimeFile(quint32 when = now()) const;
    QString timeFilePath() const { return m_timeFile; }

    // True for an absolute http or https address with a host (scheme compared without case).
    static bool isDownloadAddress(const QString& text);

Q_SIGNALS:
    // A newer release can be had at `address`; firstCheck is true when no check has completed before.
    void downloadOffered(const QString& address, bool firstCheck);
    // The reply was handled (whatever it said); for callers that wait on it.
    void finished();

private Q_SLOTS:
    void onReplyFinished(QNetworkReply* reply);

private:
    QString m_timeFile;
    QNetworkAccessManager m_network;
};
