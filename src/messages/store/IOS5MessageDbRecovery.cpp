// The recovery operations of the older device message database.
#include "app/Clock.h"
#include "app/MacEpoch.h"
#include "messages/store/IOS5MessageDb.h"
#include "messages/store/IOS5MessageRecovery.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgIdentity.h"

#include <QDateTime>

namespace
{

void setFixedFields(RecycleMsg& m)
{
    m.type = 0;
    m.is_delivered = 0;
    m.is_finished = 1;
    m.is_emote = 0;
    m.is_empty = 0;
    m.is_delayed = 0;
    m.is_auto_reply = 0;
    m.is_prepared = 1;
    m.is_read = 1;
    m.is_system_message = 0;
    m.is_sent = 1;
    m.has_dd_results = m.is_service_message = m.is_forward = m.was_downgraded = m.is_archive = 0;
    m.cache_has_attachments = 0;
    m.was_data_detected = 1;
    m.was_deduplicated = 0;
    m.handle_id = 0;
}

bool fillIMessage(const QList<QVariant>& v, RecycleMsg& m, const _CountryInfo& own)
{
    if (v[23].toString() != QLatin1String("Madrid"))
        return false;
    m.guid = v[20].toString();
    m.service = QStringLiteral("iMessage");
    m.account = v[24].toString();
    m.account_guid = v.size() > 32 ? v[32].toString() : QString();
    m.error = v[28].toInt();
    m.date = v[2].toInt();
    m.date_read = v[30].toInt();
    m.date_delivered = v[31].toInt();
    m.is_from_me = m.date_delivered > 0 ? 1 : 0;
    m.handle = own.formatNumber(v[18].toString());
    const QString room = v[22].toString();
    m.chat_identifier = room.isEmpty() ? m.handle : room;
    return true;
}

bool fillSms(const QList<QVariant>& v, RecycleMsg& m, const _CountryInfo& rules)
{
    m.guid = genUUID();
    m.service = QStringLiteral("SMS");
    m.account = QStringLiteral("e:");
    m.error = 0;
    m.date = m.date_read = m.date_delivered = int(quint32(v[2].toInt()) - quint32(kMacEpochOffset));
    m.is_from_me = v[4].toInt() == 3 ? 1 : 0;
    const QString address = v[1].toString();
    if (address.isEmpty())
        return false;
    m.chat_identifier = m.handle = rules.formatNumber(address);
    return true;
}

bool madridValuesNull(const QList<QVariant>& v)
{
    for (int i = 17; i <= 31; ++i) {
        if (i != 29 && !v[i].isNull() && v[i].isValid())
            return false;
    }
    return true;
}

} // namespace

void IOS5MessageDb::recycleDeletedMessages(IProgressSink* progress)
{
    IOS5MessageRecovery(*this, progress).run();
}

bool IOS5MessageDb::recoverFetchMessage(const _SqliteFileRowData& row, RecycleMsg& m)
{
    const QList<QVariant>& v = row.values;
    if (v.size() < 17)
        return false;
    m.rowid = row.rowid;
    m.replace = v[5].toInt();
    if (quint32(v[16].toInt()) > 1 || !IOS5MessageRecovery::checkMessageRow(row))
        return false;
    m.text = v[3].toString();
    m.service_center = v[6].toString();
    m.subject = v[12].toString();
    m.country = v[13].toString();
    bool found = false;
    const _CountryInfo rules = _countryDb.infoByCode(m.country, &found);
    if (!m.country.isEmpty() && !found)
        return false;
    m.version = v[11].toInt();
    setFixedFields(m);
    const bool full = v.size() >= 33;
    const bool madrid = full && v[29].toInt() == 1;
    if (full && !madrid && !madridValuesNull(v))
        return false;
    if (!(madrid ? fillIMessage(v, m, _countryInfo) : fillSms(v, m, rules)))
        return false;
    const qint64 now = Clock::secsSinceEpoch() - kMacEpochOffset;
    return m.date >= 1 && m.date <= now;
}

void IOS5MessageDb::deletedMessages(MsgData& data)
{
    openCheck();
    recycleStore.mergeMessages(data, recycleStore.messages());
}
