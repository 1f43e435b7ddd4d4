#include "messages/modern/IOS6HandleRecovery.h"

#include "app/ScopedEdit.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/MessageRecycleDb.h"

namespace
{

bool isMessageService(const QString& service)
{
    return service.compare(QLatin1String("SMS"), Qt::CaseInsensitive) == 0
        || service.compare(QLatin1String("iMessage"), Qt::CaseInsensitive) == 0;
}

} // namespace

IOS6HandleRecovery::IOS6HandleRecovery(IOS6MessageDb& db, IProgressSink* progress)
    : m_db(db)
    , m_store(*db.recycleDb())
    , m_walk(db.iosDbPath(), progress)
{
}

QList<QList<_SqliteCol>> IOS6HandleRecovery::layouts()
{
    const QList<_SqliteCol> five = { _SqliteCol("ROWID", "INTEGER", false, false, true),
        _SqliteCol("id", "TEXT", true, false, false), _SqliteCol("country", "TEXT", false, false, false),
        _SqliteCol("service", "TEXT", true, false, false),
        _SqliteCol("uncanonicalized_id", "TEXT", false, false, false) };
    return { five,
        five + QList<_SqliteCol> { _SqliteCol("person_centric_id", "TEXT", false, false, false) } };
}

bool IOS6HandleRecovery::checkHandleRow(const _SqliteFileRowData& row)
{
    return row.values.size() >= 5 && isMessageService(row.values.at(3).toString());
}

void IOS6HandleRecovery::store(const _MsgHandle& h)
{
    if (m_store.findHandle(&h) == 0)
        m_store.insertHandle(&h, h.rowid);
}

void IOS6HandleRecovery::run()
{
    m_walk.open();
    ScopedEdit<MessageRecycleDb> edit(m_store);
    m_walk.listFreePages([this](const _SqliteFileRowData& row) {
        _MsgHandle h;
        if (m_db.recoverFetchHandle(row, &h))
            store(h);
    });
    if (m_walk.listTableLeaves(QStringLiteral("handle"))) {
        QList<_SqliteCarveShape> shapes;
        for (const QList<_SqliteCol>& cols : layouts())
            shapes.append(_SqliteCarveShape(cols));
        m_walk.carvePages([&](const _SqliteBtreePage& page) {
            QList<_MsgHandle> found;
            for (const _SqliteCarveShape& layout : shapes) {
                for (const _SqliteFileRowData& row : m_walk.carve(page, layout, &checkHandleRow)) {
                    _MsgHandle h;
                    if (m_db.recoverFetchHandle(row, &h))
                        found.append(h);
                }
            }
            for (const _MsgHandle& h : std::as_const(found)) {
                if (m_walk.cancelled())
                    return false;
                store(h);
            }
            return true;
        });
    }
    edit.commit();
}
