#include "app/AbsLocalDb.h"

#include "app/StoreFileRemoval.h"
#include "app/sqlite/HeldFolderVfs.h"

#include <QFile>
#include <unistd.h>
#include <utility>

AbsLocalDb::AbsLocalDb(QString path)
    : path(std::move(path))
{
}

bool AbsLocalDb::openStoreThrow(int flags)
{
    bool stood = false;
    m_folder = HeldFolderVfs::holdStoreThrow(path, &m_name, &stood);
    db.openHeldThrow(m_folder, m_name, flags);
    return stood;
}

bool AbsLocalDb::removeStoreFile()
{
    // Never by its path: a link planted on the way in a folder everyone may write into would lead
    // the removal to another file of that name.
    if (!m_folder.isValid()) {
        bool stood = false;
        m_folder = HeldFolderVfs::holdStoreThrow(path, &m_name, &stood);
    }
    const bool removed = ::unlinkat(m_folder.fd(), HeldFolder::native(m_name).constData(), 0) == 0;
    const int why = errno;
    if (!StoreFileRemoval::removeCompanions(m_folder, m_name))
        return false;
    errno = why;
    return removed;
}

bool AbsLocalDb::holdsNoTable()
{
    return !db.queryThrow("select 1 from sqlite_master where type='table'").moveNext();
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

QString AbsLocalDb::failureText(const std::exception& e) const
{
    // A file beside the store that the rule for shared folders kept SQLite from opening.
    const QString refused = HeldFolderVfs::takeRefusal();
    if (!refused.isEmpty())
        return QStringLiteral("Cannot write %1: %2").arg(path, refused);
    const QString text = QString::fromUtf8(e.what());
    const QString reason = db.failureReason(e);
    // Only the store's own file failing is told as its write; any other failure in its own words.
    const bool fileFailed
        = reason != text || text.startsWith(QString::fromUtf8(sqlite3_errstr(SQLITE_IOERR)));
    if (text.contains(path) || !fileFailed)
        return text;
    return QStringLiteral("Cannot write %1. %2").arg(path, reason);
}
