#include "messages/modern/MessageCarveLayouts.h"

#include "messages/store/SqliteDeletedRowWalk.h"

namespace
{

struct ColumnDef {
    const char* name;
    const char* type;
    bool notNull;
    bool hasDefault;
    bool primaryKey;
};

// The message table's columns in stored order; the first 74 are the older table.
const ColumnDef kColumns[] = {
    { "ROWID", "INTEGER", false, false, true },
    { "guid", "TEXT", true, false, false },
    { "text", "TEXT", false, false, false },
    { "replace", "INTEGER", false, true, false },
    { "service_center", "TEXT", false, false, false },
    { "handle_id", "INTEGER", false, true, false },
    { "subject", "TEXT", false, false, false },
    { "country", "TEXT", false, false, false },
    { "attributedBody", "BLOB", false, false, false },
    { "version", "INTEGER", false, true, false },
    { "type", "INTEGER", false, true, false },
    { "service", "TEXT", false, false, false },
    { "account", "TEXT", false, false, false },
    { "account_guid", "TEXT", false, false, false },
    { "error", "INTEGER", false, true, false },
    { "date", "INTEGER", false, false, false },
    { "date_read", "INTEGER", false, false, false },
    { "date_delivered", "INTEGER", false, false, false },
    { "is_delivered", "INTEGER", false, true, false },
    { "is_finished", "INTEGER", false, true, false },
    { "is_emote", "INTEGER", false, true, false },
    { "is_from_me", "INTEGER", false, true, false },
    { "is_empty", "INTEGER", false, true, false },
    { "is_delayed", "INTEGER", false, true, false },
    { "is_auto_reply", "INTEGER", false, true, false },
    { "is_prepared", "INTEGER", false, true, false },
    { "is_read", "INTEGER", false, true, false },
    { "is_system_message", "INTEGER", false, true, false },
    { "is_sent", "INTEGER", false, true, false },
    { "has_dd_results", "INTEGER", false, true, false },
    { "is_service_message", "INTEGER", false, true, false },
    { "is_forward", "INTEGER", false, true, false },
    { "was_downgraded", "INTEGER", false, true, false },
    { "is_archive", "INTEGER", false, true, false },
    { "cache_has_attachments", "INTEGER", false, true, false },
    { "cache_roomnames", "TEXT", false, false, false },
    { "was_data_detected", "INTEGER", false, true, false },
    { "was_deduplicated", "INTEGER", false, true, false },
    { "is_audio_message", "INTEGER", false, true, false },
    { "is_played", "INTEGER", false, true, false },
    { "date_played", "INTEGER", false, false, false },
    { "item_type", "INTEGER", false, true, false },
    { "other_handle", "INTEGER", false, true, false },
    { "group_title", "TEXT", false, false, false },
    { "group_action_type", "INTEGER", false, true, false },
    { "share_status", "INTEGER", false, true, false },
    { "share_direction", "INTEGER", false, true, false },
    { "is_expirable", "INTEGER", false, true, false },
    { "expire_state", "INTEGER", false, true, false },
    { "message_action_type", "INTEGER", false, true, false },
    { "message_source", "INTEGER", false, true, false },
    { "associated_message_guid", "TEXT", false, false, false },
    { "associated_message_type", "INTEGER", false, true, false },
    { "balloon_bundle_id", "TEXT", false, false, false },
    { "payload_data", "BLOB", false, false, false },
    { "expressive_send_style_id", "TEXT", false, false, false },
    { "associated_message_range_location", "INTEGER", false, true, false },
    { "associated_message_range_length", "INTEGER", false, true, false },
    { "time_expressive_send_played", "INTEGER", false, false, false },
    { "message_summary_info", "BLOB", false, false, false },
    { "ck_sync_state", "INTEGER", false, true, false },
    { "ck_record_id", "TEXT", false, false, false },
    { "ck_record_change_tag", "TEXT", false, false, false },
    { "destination_caller_id", "TEXT", false, false, false },
    { "sr_ck_sync_state", "INTEGER", false, true, false },
    { "sr_ck_record_id", "TEXT", false, false, false },
    { "sr_ck_record_change_tag", "TEXT", false, false, false },
    { "is_corrupt", "INTEGER", false, true, false },
    { "reply_to_guid", "TEXT", false, true, false },
    { "sort_id", "INTEGER", false, true, false },
    { "is_spam", "INTEGER", false, true, false },
    { "has_unseen_mention", "INTEGER", false, true, false },
    { "thread_originator_guid", "TEXT", false, true, false },
    { "thread_originator_part", "TEXT", false, true, false },
    { "syndication_ranges", "TEXT", false, true, false },
    { "was_delivered_quietly", "INTEGER", false, true, false },
    { "did_notify_recipient", "INTEGER", false, true, false },
    { "synced_syndication_ranges", "TEXT", false, true, false },
};

const char* const kNullableTexts[] = { "reply_to_guid", "thread_originator_guid", "thread_originator_part",
    "syndication_ranges", "synced_syndication_ranges" };

constexpr int kOlderColumns = 74;
constexpr int kNewerColumns = 78;

QList<_SqliteCol> layout(int count)
{
    QList<_SqliteCol> cols;
    cols.reserve(count);
    for (int i = 0; i < count; ++i) {
        const ColumnDef& c = kColumns[i];
        cols.append(_SqliteCol(c.name, c.type, c.notNull, c.hasDefault, c.primaryKey));
    }
    return cols;
}

} // namespace

QList<QList<_SqliteCol>> messageCarveLayouts()
{
    static_assert(sizeof(kColumns) / sizeof(kColumns[0]) == kNewerColumns);
    return { layout(kOlderColumns), layout(kNewerColumns) };
}

_SqliteCarveShape messageCarveShape(const QList<_SqliteCol>& cols)
{
    _SqliteCarveShape shape(cols);
    for (int i = 0; i < cols.size(); ++i) {
        for (const char* name : kNullableTexts) {
            if (cols[i].isText() && cols[i].name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                shape.acceptNull(i);
        }
    }
    return shape;
}

bool sameLeadingColumns(const QList<_SqliteCol>& a, const QList<_SqliteCol>& b, int count)
{
    if (a.size() < count || b.size() < count)
        return false;
    for (int i = 0; i < count; ++i) {
        const _SqliteCol& x = a[i];
        const _SqliteCol& y = b[i];
        if (x.name.compare(y.name, Qt::CaseInsensitive) != 0
            || x.type.compare(y.type, Qt::CaseInsensitive) != 0 || x.notNull != y.notNull
            || x.hasDefault != y.hasDefault || x.primaryKey != y.primaryKey)
            return false;
    }
    return true;
}

QList<QVariant> messageLayoutDefaults(
    const QList<_SqliteCol>& layout, const QList<_SqliteCol>& table, const QList<QVariant>& tableDefaults)
{
    QList<QVariant> out;
    for (const _SqliteCol& col : layout) {
        int at = -1;
        for (int k = 0; k < table.size() && at < 0; ++k)
            at = table[k].name.compare(col.name, Qt::CaseInsensitive) == 0 ? k : -1;
        if (at >= 0)
            out.append(tableDefaults.value(at));
        else
            out.append(col.hasDefault && col.isInteger() ? QVariant(0) : QVariant());
    }
    return out;
}

bool isOtherMessageLayout(const QList<_SqliteCol>& table)
{
    if (table.size() < 2)
        return false;
    for (const QList<_SqliteCol>& layout : messageCarveLayouts()) {
        if (layout.size() == table.size() && sameLeadingColumns(layout, table, int(table.size())))
            return false;
    }
    return true;
}

QList<int> messageColumnOrder(const QList<_SqliteCol>& table)
{
    QStringList names;
    for (const ColumnDef& c : kColumns)
        names.append(QLatin1String(c.name));
    return SqliteDeletedRowWalk::columnOrder(table, names);
}

_SqliteFileRowData toMessageLayoutOrder(const _SqliteFileRowData& row, const QList<int>& order)
{
    return SqliteDeletedRowWalk::reordered(row, order);
}
