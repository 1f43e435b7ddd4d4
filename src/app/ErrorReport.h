#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// The error report: each error shown to the user is also posted (HTTP POST, reply ignored) to the
// maker's web service. The service address is fixed at build time (QM_SERVICE_HOST); tests point it
// at a loopback server of their own, or switch reporting off with an empty address.
class ErrorReport
{
public:
    // Posts the text in the background and returns at once. Safe from any thread; does nothing
    // without an application object or with an empty service address. Never throws.
    static void post(const QString& text);

    // Base address of the service ("http://host[:port]"); an empty one switches reports off.
    static QUrl serviceBase();
    static void setServiceBase(const QUrl& base);

    // Where and what post() sends.
    static QUrl reportUrl();
    static QByteArray body(const QString& text);

    static constexpr const char* path = "/sms_error_report.php";
};
