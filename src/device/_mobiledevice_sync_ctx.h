#pragma once

#include <QDateTime>
#include <QString>

// The parameters of one mobilesync exchange.
struct _mobiledevice_sync_ctx {
    _mobiledevice_sync_ctx(
        const QString& dataClass, const QString& deviceAnchor, const QString& computerAnchor)
        : dataClass(dataClass)
        , deviceAnchor(deviceAnchor)
        , computerAnchor(computerAnchor)
    {
    }

    // The anchors every exchange of this program uses: no device anchor known ("---"), and the
    // current local time as the computer's.
    static _mobiledevice_sync_ctx now(const QString& dataClass)
    {
        return _mobiledevice_sync_ctx(
            dataClass, QStringLiteral("---"), QDateTime::currentDateTime().toString(Qt::ISODate));
    }

    QString
        dataClass; // "com.apple.Contacts", "com.apple.Calendars", "com.apple.Notes", "com.apple.Bookmarks"
    QString deviceAnchor; // callers pass "---"
    QString computerAnchor; // callers pass the current time as ISO 8601 text
};
