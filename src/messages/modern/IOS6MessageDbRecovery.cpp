// The recovery operations of the modern message database: deleted messages and handles found in
// the raw pages of a private copy of its file, and the stored recovered messages merged into a model.
#include "messages/modern/IOS6HandleRecovery.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/modern/IOS6MessageRecovery.h"
#include "messages/store/MsgData.h"

namespace
{

constexpr int kMinMessageValues = 38;
constexpr int kFullMessageValues = 50;
constexpr int kHandleValues = 5;

bool isMessageService(const QString& service)
{
    return service.compare(QLatin1String("SMS"), Qt::CaseInsensitive) == 0
        || service.compare(QLatin1String("iMessage"), Qt::CaseInsensitive) == 0;
}

// Dates above 10^17 are nanoseconds since 2001.
int dateSeconds(const QVariant& v)
{
    qint64 d = v.toLongLong();
    if (d > 100000000000000000LL)
        d /= 1000000000LL;
    return int(quint32(quint64(d)));
}

} // namespace

void IOS6MessageDb::recycleDeletedMessages(const QList<_MsgChat*>& chats, IProgressSink* progress)
{
    IOS6MessageRecovery(*this, chats, progress).run();
}

bool IOS6MessageDb::recoverFetchMessage(const _SqliteFileRowData& row, _MsgMessage* m) const
{
    const QList<QVariant>& v = row.values;
    if (v.size() < kMinMessageValues)
        return false;
    m->rowid = row.rowid;
    m->guid = v[1].toString();
    m->text = v[2].toString();
    m->replace = v[3].toInt();
    m->service_center = v[4].toString();
    m->handle_id = v[5].toLongLong();
    m->subject = v[6].toString();
    m->country = v[7].toString();
    m->attributedBody = v[8].toByteArray();
    m->version = v[9].toInt();
    m->type = v[10].toInt();
    m->service = v[11].toString();
    if (!isMessageService(m->service))
        return false;
    m->account = v[12].toString();
    m->account_guid = v[13].toString();
    m->error = v[14].toInt();
    m->date = dateSeconds(v[15]);
    m->date_read = dateSeconds(v[16]);
    m->date_delivered = dateSeconds(v[17]);
    int* const flags[] = { &m->is_delivered, &m->is_finished, &m->is_emote, &m->is_from_me, &m->is_empty,
        &m->is_delayed, &m->is_auto_reply, &m->is_prepared, &m->is_read, &m->is_system_message, &m->is_sent,
        &m->has_dd_results, &m->is_service_message, &m->is_forward, &m->was_downgraded, &m->is_archive,
        &m->cache_has_attachments };
    for (int i = 0; i < 17; ++i)
        *flags[i] = v[18 + i].toInt();
    m->cache_roomnames = v[35].toString();
    m->was_data_detected = v[36].toInt();
    m->was_deduplicated = v[37].toInt();
    if (v.size() < kFullMessageValues)
        return true;
    int* const later[] = { &m->is_audio_message, &m->is_played, &m->date_played, &m->item_type };
    for (int i = 0; i < 4; ++i)
        *later[i] = v[38 + i].toInt();
    m->other_handle = int(quint32(quint64(v[42].toLongLong())));
    m->group_title = v[43].toString();
    int* const rest[] = { &m->group_action_type, &m->share_status, &m->share_direction, &m->is_expirable,
        &m->expire_state, &m->message_action_type };
    for (int i = 0; i < 6; ++i)
        *rest[i] = v[44 + i].toInt();
    return true;
}

void IOS6MessageDb::recycleDeletedHandles(IProgressSink* progress)
{
    IOS6HandleRecovery(*this, progress).run();
}

bool IOS6MessageDb::recoverFetchHandle(const _SqliteFileRowData& row, _MsgHandle* h)
{
    const QList<QVariant>& v = row.values;
    if (v.size() < kHandleValues)
        return false;
    h->rowid = row.rowid;
    h->id = v[1].toString();
    h->country = v[2].toString();
    bool found = false;
    const _CountryInfo info = countryDb.infoByCode(h->country, &found);
    if (!h->country.isEmpty() && !found)
        return false;
    h->id = info.formatNumber(h->id);
    h->service = v[3].toString();
    if (!isMessageService(h->service))
        return false;
    h->uncanonicalized_id = v[4].toString();
    return true;
}

void IOS6MessageDb::deletedMessages(MsgData& data)
{
    openCheck();
    QList<RecycleMsg> list = recycleStore.messages();
    list.removeIf([this](const RecycleMsg& m) { return findMessage(m.guid) != 0; });
    recycleStore.mergeMessages(data, list);
}
