#pragma once

#include "app/SliceArena.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class Sqlite3Cursor;
class _MsgMessage;

// Positions of the message-table columns in the result of a query, found once per query rather
// than once per value, and the copying of a result row into a message record. Every field named
// here is assigned whatever the row holds: a column the result lacks reads 0 or empty, so the
// record's own defaults (version 10, other_handle -1) do not survive.
class MsgMessageColumns
{
public:
    // How a message table stores its three dates; the record holds seconds since 2001.
    enum class Dates {
        Seconds, // as stored, read as 32-bit
        Nanoseconds, // nanoseconds (Mac tables that have ck_record_id)
        Either, // nanoseconds when above 10^17, else seconds (device tables of later systems)
    };

    explicit MsgMessageColumns(const Sqlite3Cursor& cursor);

    // The names of the columns a record takes ("rowid" first).
    static QStringList names();

    // Seconds since 2001 of a stored 64-bit date that may be in nanoseconds (Dates::Either).
    static int secondsFromEither(qint64 stored);

    // Copies the columns of the original message table, rowid to was_deduplicated, which every
    // message store has (the recovered-message store too).
    void fillCommon(const Sqlite3Cursor& row, _MsgMessage& message, Dates dates) const;
    // What fill does with the attributed body once an empty text has been taken from it.
    enum class Body {
        Keep,
        // Left out of the record: for messages without attachments, whose body nothing reads
        // later (only a message with attachments writes its body back into a database).
        TextOnly,
    };

    // fillCommon, then the columns later systems added (is_audio_message to message_action_type).
    // A row whose text column is empty takes its text from the attributed body, where later
    // systems keep it; a body that does not parse leaves the text empty.
    void fill(const Sqlite3Cursor& row, _MsgMessage& message, Dates dates, Body body = Body::Keep) const;

    int rowid, guid, text, replace, service_center, handle_id, subject, country, attributedBody, version,
        type, service, account, account_guid, error, date, date_read, date_delivered, is_delivered,
        is_finished, is_emote, is_from_me, is_empty, is_delayed, is_auto_reply, is_prepared, is_read,
        is_system_message, is_sent, has_dd_results, is_service_message, is_forward, was_downgraded,
        is_archive, cache_has_attachments, cache_roomnames, was_data_detected, was_deduplicated,
        is_audio_message, is_played, date_played, item_type, other_handle, group_title, group_action_type,
        share_status, share_direction, is_expirable, expire_state, message_action_type;

private:
    void fillColumns(const Sqlite3Cursor& row, _MsgMessage& message, Dates dates, Body body) const;

    // The few values a column repeats on every row (service, account, country, ...) are made once
    // and shared by the messages; a column whose values do not repeat stops being looked up.
    struct RepeatedText {
        struct Entry {
            QByteArray utf8;
            QString text;
        };
        Entry entries[8];
        int used = 0;
        int next = 0;
        int hits = 0;
        int misses = 0;
    };
    QString repeatedText(const Sqlite3Cursor& row, int column, RepeatedText& cache) const;

    // The texts and bodies of the messages, kept in shared blocks rather than a heap block each.
    mutable SliceArena m_arena;
    mutable RepeatedText m_serviceCenter, m_country, m_service, m_account, m_accountGuid, m_roomNames,
        m_groupTitle;
};
