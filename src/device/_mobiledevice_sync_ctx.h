#pragma once

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

    QString
        dataClass; // "com.apple.Contacts", "com.apple.Calendars", "com.apple.Notes", "com.apple.Bookmarks"
    QString deviceAnchor; // callers pass "---"
    QString computerAnchor; // callers pass the current time as ISO 8601 text
};
