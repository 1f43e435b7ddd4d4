#pragma once

#include <QHash>
#include <QList>
#include <QSet>

class _MsgMessage;

// The messages of one model under their rowids, which also remembers the order they were put in.
//
// The readers put messages in as they read the rows, which is nearly always date order, and the
// records lie in memory in that order too. Handed out in that order (rather than the hash's own,
// which scatters them), a list sorts in about one pass and is read front to back.
class MsgMessageTable
{
public:
    using const_iterator = QHash<qint64, _MsgMessage*>::const_iterator;

    _MsgMessage* value(qint64 rowid) const { return m_byRowid.value(rowid); }
    bool contains(qint64 rowid) const { return m_byRowid.contains(rowid); }
    qsizetype size() const { return m_byRowid.size(); }
    bool isEmpty() const { return m_byRowid.isEmpty(); }
    // The messages, in no defined order.
    const_iterator begin() const { return m_byRowid.cbegin(); }
    const_iterator end() const { return m_byRowid.cend(); }
    const_iterator cbegin() const { return m_byRowid.cbegin(); }
    const_iterator cend() const { return m_byRowid.cend(); }

    void reserve(qsizetype size);
    // Puts message under rowid, in place of the one there before (if any).
    void insert(qint64 rowid, _MsgMessage* message);
    // The message under rowid; when there is none, the one make() returns, put in under rowid
    // (nothing is put in when make() returns none or throws).
    template <typename Make> _MsgMessage* valueOrInsert(qint64 rowid, Make make);
    bool remove(qint64 rowid);
    // Every message, in the order they were put in (one put in again in place of another goes
    // last). Should that order ever be lost, the table's own order.
    QList<_MsgMessage*> inOrder() const;

private:
    void dropRemoved();
    QList<_MsgMessage*> withoutRemoved() const;

    QHash<qint64, _MsgMessage*> m_byRowid;
    // The messages in the order they were put in, with those of m_removed still among them: they
    // leave the list before the next insert, so that removing many costs one pass.
    QList<_MsgMessage*> m_order;
    QSet<const _MsgMessage*> m_removed;
    bool m_ordered = true; // false once m_order no longer matches the table
};

template <typename Make> _MsgMessage* MsgMessageTable::valueOrInsert(qint64 rowid, Make make)
{
    if (!m_removed.isEmpty())
        dropRemoved();
    // One lookup for the common case of a row seen for the first time.
    _MsgMessage*& slot = m_byRowid[rowid];
    if (slot)
        return slot;
    _MsgMessage* made = nullptr;
    try {
        made = make();
    } catch (...) {
        m_byRowid.remove(rowid); // no empty entry stays behind
        throw;
    }
    if (!made) {
        m_byRowid.remove(rowid);
        return nullptr;
    }
    slot = made;
    if (m_ordered)
        m_order.append(made);
    return made;
}
