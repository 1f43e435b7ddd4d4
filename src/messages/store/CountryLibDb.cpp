#include "messages/store/CountryLibDb.h"

#include "app/DataPaths.h"

#include <QFile>
#include <QTemporaryFile>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

void fillCountryInfo(_CountryInfo& info, Sqlite3Cursor& cursor)
{
    info.sn = cursor.getText("sn");
    info.ln = cursor.getText("ln");
    info.mmc = cursor.getText("mmc");
    info.n = cursor.getText("n");
    info.numc = cursor.getText("numc");
    info.pnum = cursor.getText("pnum");
    info.r1 = QStringLiteral("^") + cursor.getText("r1") + QStringLiteral("$");
}

CountryLibDb::CountryLibDb(const QString& mmc)
    : m_mmc(mmc)
{
}

namespace
{

// Writes all of bytes into file and onto the disk: false with *why set when the disk refuses. A
// write the disk cuts short returns less without a reason; the next one fails with it.
bool writeSynced(QFile& file, const QByteArray& bytes, QString* why)
{
    for (qint64 done = 0, n = 0; done < bytes.size(); done += n)
        if ((n = file.write(bytes.constData() + done, bytes.size() - done)) <= 0)
            return false;
    if (!file.flush())
        return false;
    if (::fsync(file.handle()) == 0)
        return true;
    *why = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

// The database is written whole onto the disk under a temporary name (readable and writable by the
// owner only, as it is opened read-write) and then linked into place, which never replaces a file:
// of two programs starting at the same moment, the second finds the first one's whole file and
// keeps it.
void createFromResourceThrow(const QString& target)
{
    QFile res(QStringLiteral(":/res/countries.db"));
    if (!res.open(QIODevice::ReadOnly))
        throw std::runtime_error("can not find :res/countries.db.");
    QTemporaryFile tmp(target + QStringLiteral(".XXXXXX"));
    const QByteArray content = res.readAll();
    QString why;
    if (!tmp.open() || !writeSynced(tmp, content, &why))
        throw std::runtime_error(QStringLiteral("can not create %1. %2")
                                     .arg(target, why.isEmpty() ? tmp.errorString() : why)
                                     .toStdString());
    tmp.close();
    if (::link(QFile::encodeName(tmp.fileName()).constData(), QFile::encodeName(target).constData()) == 0
        || errno == EEXIST)
        return;
    // A file system without hard links: moved into place, unless the other program came first.
    QFile moved(tmp.fileName());
    if (!QFile::exists(target) && !moved.rename(target) && !QFile::exists(target))
        throw std::runtime_error(
            QStringLiteral("can not create %1. %2").arg(target, moved.errorString()).toStdString());
}

} // namespace

void CountryLibDb::openCheck()
{
    if (handle)
        return;
    const QString target = g_dataSaveDir().absoluteFilePath(QStringLiteral("countries.db"));
    if (!QFile::exists(target))
        createFromResourceThrow(target);
    openThrow(target, 2);
    m_def = infoByMMC(m_mmc, nullptr);
}

_CountryInfo CountryLibDb::lookup(Sqlite3Sql sql, bool* found)
{
    Sqlite3Cursor cursor = queryThrow(sql);
    if (cursor.moveNext()) {
        _CountryInfo info;
        fillCountryInfo(info, cursor);
        if (found)
            *found = true;
        return info;
    }
    if (found)
        *found = false;
    return m_def;
}

_CountryInfo CountryLibDb::infoByMMC(const QString& mmc, bool* found)
{
    openCheck();
    Sqlite3Sql sql("select c.* from mmc_sn as m inner join countries as c on m.[sn] = c.sn and m.mmc=?");
    sql.addTextParam(mmc);
    return lookup(sql, found);
}

_CountryInfo CountryLibDb::infoByCode(const QString& code, bool* found)
{
    openCheck();
    Sqlite3Sql sql("select * from countries where sn=?");
    sql.addTextParam(code.toUpper());
    return lookup(sql, found);
}

const _CountryInfo& CountryLibDb::defCountryInfo()
{
    openCheck();
    return m_def;
}
