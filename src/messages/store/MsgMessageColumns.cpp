#include "messages/store/MsgMessageColumns.h"

#include "app/sqlite/Sqlite3Cursor.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/MsgText.h"

namespace
{
struct Column {
    const char* name;
    int MsgMessageColumns::*position;
};

// Every column a record takes, by name.
const Column kColumns[] = {
    { "rowid", &MsgMessageColumns::rowid },
    { "guid", &MsgMessageColumns::guid },
    { "text", &MsgMessageColumns::text },
    { "replace", &MsgMessageColumns::replace },
    { "service_center", &MsgMessageColumns::service_center },
    { "handle_id", &MsgMessageColumns::handle_id },
    { "subject", &MsgMessageColumns::subject },
    { "country", &MsgMessageColumns::country },
    { "attributedBody", &MsgMessageColumns::attributedBody },
    { "version", &MsgMessageColumns::version },
    { "type", &MsgMessageColumns::type },
    { "service", &MsgMessageColumns::service },
    { "account", &MsgMessageColumns::account },
    { "account_guid", &MsgMessageColumns::account_guid },
    { "error", &MsgMessageColumns::error },
    { "date", &MsgMessageColumns::date },
    { "date_read", &MsgMessageColumns::date_read },
    { "date_delivered", &MsgMessageColumns::date_delivered },
    { "is_delivered", &MsgMessageColumns::is_delivered },
    { "is_finished", &MsgMessageColumns::is_finished },
    { "is_emote", &MsgMessageColumns::is_emote },
    { "is_from_me", &MsgMessageColumns::is_from_me },
    { "is_empty", &MsgMessageColumns::is_empty },
    { "is_delayed", &MsgMessageColumns::is_delayed },
    { "is_auto_reply", &MsgMessageColumns::is_auto_reply },
    { "is_prepared", &MsgMessageColumns::is_prepared },
    { "is_read", &MsgMessageColumns::is_read },
    { "is_system_message", &MsgMessageColumns::is_system_message },
    { "is_sent", &MsgMessageColumns::is_sent },
    { "has_dd_results", &MsgMessageColumns::has_dd_results },
    { "is_service_message", &MsgMessageColumns::is_service_message },
    { "is_forward", &MsgMessageColumns::is_forward },
    { "was_downgraded", &MsgMessageColumns::was_downgraded },
    { "is_archive", &MsgMessageColumns::is_archive },
    { "cache_has_attachments", &MsgMessageColumns::cache_has_attachments },
    { "cache_roomnames", &MsgMessageColumns::cache_roomnames },
    { "was_data_detected", &MsgMessageColumns::was_data_detected },
    { "was_deduplicated", &MsgMessageColumns::was_deduplicated },
    { "is_audio_message", &MsgMessageColumns::is_audio_message },
    { "is_played", &MsgMessageColumns::is_played },
    { "date_played", &MsgMessageColumns::date_played },
    { "item_type", &MsgMessageColumns::item_type },
    { "other_handle", &MsgMessageColumns::other_handle },
    { "group_title", &MsgMessageColumns::group_title },
    { "group_action_type", &MsgMessageColumns::group_action_type },
    { "share_status", &MsgMessageColumns::share_status },
    { "share_direction", &MsgMessageColumns::share_direction },
    { "is_expirable", &MsgMessageColumns::is_expirable },
    { "expire_state", &MsgMessageColumns::expire_state },
    { "message_action_type", &MsgMessageColumns::message_action_type },
};
} // namespace

MsgMessageColumns::MsgMessageColumns(const Sqlite3Cursor& c)
{
    for (const Column& col : kColumns)
        this->*col.position = c.columnIndex(QLatin1String(col.name));
}

QStringList MsgMessageColumns::names()
{
    QStringList list;
    for (const Column& col : kColumns)
        list << QLatin1String(col.name);
    return list;
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
