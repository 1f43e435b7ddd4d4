#include "messages/store/MsgMessageTable.h"

void MsgMessageTable::reserve(qsizetype size)
{
    m_byRowid.reserve(size);
    if (m_ordered)
        m_order.reserve(size);
}

void MsgMessageTable::insert(qint64 rowid, _MsgMessage* message)
{
    if (!m_removed.isEmpty())
        dropRemoved();
    auto it = m_byRowid.find(rowid);
    if (it != m_byRowid.end()) {
        if (*it == message)
            return;
        if (m_ordered)
            m_removed.insert(*it);
        *it = message;
    } else
        m_byRowid.insert(rowid, message);
    if (m_ordered)
        m_order.append(message);
}

bool MsgMessageTable::remove(qint64 rowid)
{
    const auto it = m_byRowid.constFind(rowid);
    if (it == m_byRowid.constEnd())
        return false;
    if (m_ordered)
        m_removed.insert(*it);
    m_byRowid.erase(it);
    return true;
}

QList<_MsgMessage*> MsgMessageTable::inOrder() const
{
    if (!m_ordered)
        return m_byRowid.values();
    if (m_removed.isEmpty())
        return m_order; // shared until the caller changes it
    QList<_MsgMessage*> list = withoutRemoved();
    return list.size() == m_byRowid.size() ? list : m_byRowid.values();
}

QList<_MsgMessage*> MsgMessageTable::withoutRemoved() const
{
    QList<_MsgMessage*> list;
    list.reserve(m_order.size() - m_removed.size());
    for (_MsgMessage* m : m_order)
        if (!m_removed.contains(m))
            list.append(m);
    return list;
}

void MsgMessageTable::dropRemoved()
{
    // A record listed under two rowids, one of them removed, would leave the list short: the
    // order is given up then rather than guessed.
    m_order = withoutRemoved();
    m_removed.clear();
    if (m_order.size() != m_byRowid.size()) {
        m_ordered = false;
        m_order = QList<_MsgMessage*>();
    }
}
