#include "messages/store/IOS5MessageRecovery.h"

#include "app/ScopedEdit.h"
#include "messages/store/IOS5MessageDb.h"
#include "messages/store/MessageRecycleDb.h"

namespace
{

const char* const kColumns[] = { "ROWID", "address", "date", "text", "flags", "replace", "svc_center",
    "group_id", "association_id", "height", "UIFlags", "version", "subject", "country", "headers",
    "recipients", "read", "madrid_attributedBody", "madrid_handle", "madrid_version", "madrid_guid",
    "madrid_type", "madrid_roomname", "madrid_service", "madrid_account", "madrid_flags",
    "madrid_attachmentInfo", "madrid_url", "madrid_error", "is_madrid", "madrid_date_read",
    "madrid_date_delivered", "madrid_account_guid" };
const char* const kTypes = "ITITIITIIIIITTBBIBTITITTTIBTIIIIT"; // INTEGER, TEXT, BLOB per column

QList<_SqliteCol> layout(int count)
{
    QList<_SqliteCol> cols;
    for (int i = 0; i < count; ++i) {
        const char t = kTypes[i];
        cols.append(_SqliteCol(kColumns[i],
            t == 'I'       ? "INTEGER"
                : t == 'T' ? "TEXT"
                           : "BLOB",
            false, false, i == 0));
    }
    return cols;
}

// The file's own message table as a further shape, with the flags the fixed shapes have (only the
// rowid refuses NULL); empty when it has the columns of one of them.
QList<_SqliteCol> ownLayout(const QList<_SqliteCol>& table)
{
    QStringList names;
    for (const _SqliteCol& c : table)
        names.append(c.name.toLower());
    for (const QList<_SqliteCol>& fixed : IOS5MessageRecovery::layouts()) {
        QStringList fixedNames;
        for (const _SqliteCol& c : fixed)
            fixedNames.append(c.name.toLower());
        if (names == fixedNames)
            return {};
    }
    QList<_SqliteCol> cols;
    for (const _SqliteCol& c : table)
        cols.append(_SqliteCol(c.name, c.type, false, false, c.primaryKey));
    return cols.size() < 2 ? QList<_SqliteCol>() : cols;
}

bool inSet(const QVariant& v, std::initializer_list<quint32> allowed)
{
    const quint32 x = quint32(v.toInt());
    return std::find(allowed.begin(), allowed.end(), x) != allowed.end();
}

} // namespace

IOS5MessageRecovery::IOS5MessageRecovery(IOS5MessageDb& db, IProgressSink* progress)
    : m_db(db)
    , m_store(*db.recycleDb())
    , m_walk(db.dbPath(), progress)
{
}

QList<QList<_SqliteCol>> IOS5MessageRecovery::layouts()
{
    return { layout(33), layout(32), layout(17) };
}

bool IOS5MessageRecovery::checkMessageRow(const _SqliteFileRowData& row)
{
    const QList<QVariant>& v = row.values;
    if (v.size() < 17 || !inSet(v[16], { 0, 1 }) || !inSet(v[10], { 0, 4, 5, 6 }))
        return false;
    // Every column may be NULL, so a run of zero bytes fits the shape; a message always has a date.
    // Refusing dateless rows keeps the scan from jumping over real records behind such runs.
    if (v[2].isNull() || v[2].toLongLong() <= 0)
        return false;
    return v.size() < 33 || inSet(v[29], { 0, 1 });
}

bool IOS5MessageRecovery::isLive(const IOS5RecycleMsgItem& item)
{
    // A row still in the live table under the same rowid, date and text is a stale copy.
    Sqlite3Sql sql("select 1 from message where ROWID=? and ifnull(text,'')=?");
    sql.addInt64Param(item.rowid).addTextParam(item.text);
    return item.rowid > 0 && m_walk.copy().queryThrow(sql).moveNext();
}

void IOS5MessageRecovery::store(const IOS5RecycleMsgItem& item)
{
    if (!isLive(item))
        m_store.fileRecovered(&item, item.chat_identifier, item.handle, item.rowid);
}

QList<IOS5RecycleMsgItem> IOS5MessageRecovery::carvePage(
    const _SqliteBtreePage& page, const QList<Shape>& shapes)
{
    QList<IOS5RecycleMsgItem> found;
    for (const Shape& shape : shapes) {
        if (m_walk.cancelled())
            break;
        const QList<int>& order = shape.order;
        Sqlite3File::RowFilter test = &checkMessageRow;
        if (!order.isEmpty())
            test = [&order](const _SqliteFileRowData& r) {
                return checkMessageRow(SqliteDeletedRowWalk::reordered(r, order));
            };
        const QList<_SqliteFileRowData> rows = m_walk.carve(page, shape.shape, test);
        bool allTaken = !rows.isEmpty();
        for (const _SqliteFileRowData& row : rows) {
            IOS5RecycleMsgItem item;
            if (m_db.recoverFetchMessage(SqliteDeletedRowWalk::reordered(row, order), item))
                found.append(item);
            else
                allTaken = false;
        }
        // A shape whose every row converts read the page right; the shorter ones are not needed.
        if (allTaken)
            break;
    }
    return found;
}

void IOS5MessageRecovery::run()
{
    try {
        recover();
    } catch (const std::runtime_error& e) {
        throw m_walk.sourceError(e);
    }
}

void IOS5MessageRecovery::recover()
{
    m_walk.open();
    ScopedEdit<MessageRecycleDb> edit(m_store);
    const QList<_SqliteCol> table = m_walk.tableColumns(QStringLiteral("message"));
    const QList<_SqliteCol> full = layouts().constFirst();
    QStringList names;
    for (const _SqliteCol& c : full)
        names.append(c.name);
    const QList<int> order = SqliteDeletedRowWalk::columnOrder(table, names);
    m_walk.listFreePages([&](const _SqliteFileRowData& row) {
        IOS5RecycleMsgItem item;
        if (m_db.recoverFetchMessage(SqliteDeletedRowWalk::reordered(row, order), item))
            store(item);
    });
    if (m_walk.listTablePages(QStringLiteral("message"))) {
        QList<Shape> shapes;
        for (const QList<_SqliteCol>& cols : layouts())
            shapes.append({ _SqliteCarveShape(cols), {} });
        // Records keep the shape they were written with, and the device's own table may be another.
        const QList<_SqliteCol> own = ownLayout(table);
        if (!own.isEmpty())
            shapes.append({ _SqliteCarveShape(own), order });
        m_walk.carvePages([&](const _SqliteBtreePage& page) {
            const QList<IOS5RecycleMsgItem> items = carvePage(page, shapes);
            for (const IOS5RecycleMsgItem& item : items) {
                if (m_walk.cancelled())
                    return false;
                store(item);
            }
            return true;
        });
    }
    edit.commit();
}
