#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

// The kind of a call as the program tells them apart; other raw values pass through unchanged.
enum CallHistoryFlag : int {
    CallFlagNone = 0,
    CallFlagIncoming = 4,
    CallFlagOutgoing = 5,
    CallFlagUnanswered = 8,
};

// One call of the call history, carrying the columns of both generations of the device's call
// database. A plain value.
struct _CallHistory {
    qint64 id = 0; // _id in calls.db; 0 for calls read from a backup
    QString address;
    QDateTime date;
    std::optional<int> duration = 0; // seconds; none when the store holds none that fits
    CallHistoryFlag flags = CallFlagNone;
    QString name;
    QString country_code; // mobile country code
    QString network_code;
    int read = 1;
    int assisted = 0;
    QByteArray face_time_data;
    QString originalAddress;
    int answered = 1;
    int call_type = 1;
    int availability = 0;
    QString device_id;
    QString cn; // two-letter country code
    QString unique_id;
    qint64 z_pk = 0; // row key in a newer call store; 0 = none
    QString person; // contact name found for the address

    // Lower-case hex MD5 over the start second (32-bit little-endian), the UTF-8 address and the
    // flags (32-bit little-endian): the duplicate key of calls.db and of the newer call store.
    QByteArray toHash() const;
};

// Its members all move as plain bytes: lists of calls grow without copying them one by one.
Q_DECLARE_TYPEINFO(_CallHistory, Q_RELOCATABLE_TYPE);

// Whole seconds since 1970 of a date-time, truncated toward zero (a null date gives 0).
qint64 callSecsSinceEpoch(const QDateTime& date);

// Newest first: true when a is later than b.
bool compareCallByDateLess(const _CallHistory& a, const _CallHistory& b);
