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
    db.beginTran();
}

void AbsLocalDb::endEdit(bool commit)
{
    if (!isOpened())
        open();
    if (commit)
        db.commitTran();
    else
        db.rollbackTran();
}
