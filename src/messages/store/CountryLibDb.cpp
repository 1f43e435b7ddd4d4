#include "messages/store/CountryLibDb.h"

#include "app/DataPaths.h"

#include <QFile>
#include <stdexcept>

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

void CountryLibDb::openCheck()
{
    if (handle)
        return;
    const QString target = g_dataSaveDir().absoluteFilePath(QStringLiteral("countries.db"));
    if (!QFile::exists(target)) {
        const QString resource = QStringLiteral(":/res/countries.db");
        QFile res(resource);
        if (!res.exists())
            throw std::runtime_error("can not find :res/countries.db.");
        if (!res.copy(target))
            throw std::runtime_error(
                QStringLiteral("can not create %1. %2").arg(target, res.errorString()).toStdString());
        // A copy of a resource is read-only; the database is opened read-write.
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    }
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
