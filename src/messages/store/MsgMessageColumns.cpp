#include "messages/store/MsgMessageColumns.h"

#include "app/sqlite/Sqlite3Cursor.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/MsgText.h"

MsgMessageColumns::MsgMessageColumns(const Sqlite3Cursor& c)
{
#define QM_COL(name) name = c.columnIndex(QStringLiteral(#name))
    QM_COL(rowid);
    QM_COL(guid);
    QM_COL(text);
    QM_COL(replace);
    QM_COL(service_center);
    QM_COL(handle_id);
    QM_COL(subject);
    QM_COL(country);
    QM_COL(attributedBody);
    QM_COL(version);
    QM_COL(type);
    QM_COL(service);
    QM_COL(account);
    QM_COL(account_guid);
    QM_COL(error);
    QM_COL(date);
    QM_COL(date_read);
    QM_COL(date_delivered);
    QM_COL(is_delivered);
    QM_COL(is_finished);
    QM_COL(is_emote);
    QM_COL(is_from_me);
    QM_COL(is_empty);
    QM_COL(is_delayed);
    QM_COL(is_auto_reply);
    QM_COL(is_prepared);
    QM_COL(is_read);
    QM_COL(is_system_message);
    QM_COL(is_sent);
    QM_COL(has_dd_results);
    QM_COL(is_service_message);
    QM_COL(is_forward);
    QM_COL(was_downgraded);
    QM_COL(is_archive);
    QM_COL(cache_has_attachments);
    QM_COL(cache_roomnames);
    QM_COL(was_data_detected);
    QM_COL(was_deduplicated);
    QM_COL(is_audio_message);
    QM_COL(is_played);
    QM_COL(date_played);
    QM_COL(item_type);
    QM_COL(other_handle);
    QM_COL(group_title);
    QM_COL(group_action_type);
    QM_COL(share_status);
    QM_COL(share_direction);
    QM_COL(is_expirable);
    QM_COL(expire_state);
    QM_COL(message_action_type);
#undef QM_COL
}

QString MsgMessageColumns::repeatedText(const Sqlite3Cursor& c, int column, RepeatedText& cache) const
{
    const QByteArrayView utf8 = c.getTextUtf8(column);
    if (utf8.isNull())
        return QString(); // NULL, as getText reads it
    if (utf8.isEmpty() || (cache.misses > 64 && cache.hits < cache.misses))
        return c.getText(column);
    for (int i = 0; i < cache.used; ++i)
        if (cache.entries[i].utf8 == utf8) {
            ++cache.hits;
            return cache.entries[i].text;
        }
    ++cache.misses;
    RepeatedText::Entry& e = cache.entries[cache.used < 8 ? cache.used++ : cache.next++ % 8];
    e.utf8 = utf8.toByteArray();
    e.text = QString::fromUtf8(utf8);
    return e.text;
}

int MsgMessageColumns::secondsFromEither(qint64 stored)
{
    return int(stored > 100000000000000000LL ? stored / 1000000000LL : stored);
}

void MsgMessageColumns::fillCommon(const Sqlite3Cursor& c, _MsgMessage& m, Dates dates) const
{
    fillColumns(c, m, dates, Body::Keep);
}

void MsgMessageColumns::fillColumns(const Sqlite3Cursor& c, _MsgMessage& m, Dates dates, Body keep) const
{
    m.rowid = c.getInt64(rowid);
    m.guid = m_arena.text(c.getTextUtf8(guid));
    m.text = m_arena.text(c.getTextUtf8(text));
    m.replace = c.getInt(replace);
    m.service_center = repeatedText(c, service_center, m_serviceCenter);
    m.handle_id = c.getInt64(handle_id);
    m.subject = c.getText(subject);
    m.country = repeatedText(c, country, m_country);
    if (keep == Body::Keep) {
        const QByteArrayView body = c.getBlobView(attributedBody);
        m.attributedBody = m_arena.bytes(body.data(), body.size());
    } else {
        m.attributedBody = QByteArray();
    }
    m.version = c.getInt(version);
    m.type = c.getInt(type);
    m.service = repeatedText(c, service, m_service);
    m.account = repeatedText(c, account, m_account);
    m.account_guid = repeatedText(c, account_guid, m_accountGuid);
    m.error = c.getInt(error);
    switch (dates) {
    case Dates::Seconds:
        m.date = c.getInt(date);
        m.date_read = c.getInt(date_read);
        m.date_delivered = c.getInt(date_delivered);
        break;
    case Dates::Nanoseconds:
        m.date = int(c.getInt64(date) / 1000000000LL);
        m.date_read = int(c.getInt64(date_read) / 1000000000LL);
        m.date_delivered = int(c.getInt64(date_delivered) / 1000000000LL);
        break;
    case Dates::Either:
        m.date = secondsFromEither(c.getInt64(date));
        m.date_read = secondsFromEither(c.getInt64(date_read));
        m.date_delivered = secondsFromEither(c.getInt64(date_delivered));
        break;
    }
    m.is_delivered = c.getInt(is_delivered);
    m.is_finished = c.getInt(is_finished);
    m.is_emote = c.getInt(is_emote);
    m.is_from_me = c.getInt(is_from_me);
    m.is_empty = c.getInt(is_empty);
    m.is_delayed = c.getInt(is_delayed);
    m.is_auto_reply = c.getInt(is_auto_reply);
    m.is_prepared = c.getInt(is_prepared);
    m.is_read = c.getInt(is_read);
    m.is_system_message = c.getInt(is_system_message);
    m.is_sent = c.getInt(is_sent);
    m.has_dd_results = c.getInt(has_dd_results);
    m.is_service_message = c.getInt(is_service_message);
    m.is_forward = c.getInt(is_forward);
    m.was_downgraded = c.getInt(was_downgraded);
    m.is_archive = c.getInt(is_archive);
    m.cache_has_attachments = c.getInt(cache_has_attachments);
    m.cache_roomnames = repeatedText(c, cache_roomnames, m_roomNames);
    m.was_data_detected = c.getInt(was_data_detected);
    m.was_deduplicated = c.getInt(was_deduplicated);
}

void MsgMessageColumns::fill(const Sqlite3Cursor& c, _MsgMessage& m, Dates dates, Body keep) const
{
    fillColumns(c, m, dates, keep);
    m.is_audio_message = c.getInt(is_audio_message);
    m.is_played = c.getInt(is_played);
    m.date_played = c.getInt(date_played);
    m.item_type = c.getInt(item_type);
    m.other_handle = c.getInt(other_handle);
    m.group_title = repeatedText(c, group_title, m_groupTitle);
    m.group_action_type = c.getInt(group_action_type);
    m.share_status = c.getInt(share_status);
    m.share_direction = c.getInt(share_direction);
    m.is_expirable = c.getInt(is_expirable);
    m.expire_state = c.getInt(expire_state);
    m.message_action_type = c.getInt(message_action_type);
    if (m.text.isEmpty()) {
        // Read in place: the record may not keep the body.
        const QByteArrayView body = c.getBlobView(attributedBody);
        if (!body.isEmpty()) {
            const QString t = msgTextFromAttributedBody(QByteArray::fromRawData(body.data(), body.size()));
            if (!t.isNull())
                m.text = t;
        }
    }
}
