#include "app/AbsLocalDb.h"

#include <utility>

AbsLocalDb::AbsLocalDb(QString path)
    : path(std::move(path))
{
}

void AbsLocalDb::beginEdit()
{
    if (!isOpened())
        open();
    const int base = db.tranDepth();
    if (base == 0)
        m_editBases.clear(); // nothing open: earlier edits ended with the connection
    db.beginTran();
    m_editBases.append(base);
}

void AbsLocalDb::endEdit(bool commit)
{
    if (!isOpened())
        open();
    if (m_editBases.isEmpty()) {
        if (commit)
            db.commitTran();
        else
            db.rollbackTran();
        return;
    }
    const int base = m_editBases.last();
    while (db.tranDepth() > base) {
        if (commit)
            db.commitTran();
        else
            db.rollbackTran();
    }
    m_editBases.removeLast();
}
