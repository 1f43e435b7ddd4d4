#include "messages/store/CountryLibDb.h"

#include "app/DataPaths.h"
#include "app/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <QResource>
#include <QTemporaryFile>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
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

[[noreturn]] void failCreate(const QString& target, const QString& why)
{
    throw std::runtime_error(QStringLiteral("can not create %1. %2").arg(target, why).toStdString());
}

// The table as the program ships it.
QByteArray shippedThrow()
{
    QResource res(QStringLiteral(":/res/countries.db"));
    if (!res.isValid())
        throw std::runtime_error("can not find :res/countries.db.");
    return res.uncompressedData();
}

// What is no file at the name of the table's journal or log (a pipe, a folder) keeps SQLite from
// reading the table: gone, as the table is the program's own; a folder that holds something stays.
void clearCompanionsThrow(const QString& target)
{
    for (const char* suffix : { "-journal", "-wal" }) {
        const QByteArray companion = QFile::encodeName(target + QLatin1String(suffix));
        struct stat st;
        if (::stat(companion.constData(), &st) != 0 || S_ISREG(st.st_mode))
            continue;
        if ((S_ISDIR(st.st_mode) ? ::rmdir(companion.constData()) : ::unlink(companion.constData())) != 0)
            failCreate(target,
                QStringLiteral("%1 stands where its journal goes and cannot be removed: %2. Move it away; "
                               "then try again.")
                    .arg(QFile::decodeName(companion), QString::fromLocal8Bit(std::strerror(errno))));
    }
}

// The table is written whole onto the disk under a temporary name (readable and writable by the
// owner only, as it is opened read-write) and then linked into place, which never replaces a file:
// of two programs starting at the same moment, the second finds the first one's whole file and
// keeps it. A file that is still not whole (one a power loss emptied or cut short) is replaced, with
// the journal left beside it, which belongs to the old file and would be played into the new one.
void putWholeThrow(const QString& target, const QByteArray& content)
{
    struct stat st;
    const QByteArray to = QFile::encodeName(target);
    const bool stood = ::lstat(to.constData(), &st) == 0;
    QTemporaryFile tmp(target + QStringLiteral(".XXXXXX"));
    QString why;
    if (!tmp.open() || !writeSynced(tmp, content, &why))
        failCreate(target, why.isEmpty() ? tmp.errorString() : why);
    tmp.close();
    clearCompanionsThrow(target);
    const QByteArray from = QFile::encodeName(tmp.fileName());
    if (::link(from.constData(), to.constData()) == 0 || RegularFile::holds(target, content))
        return;
    for (const char* suffix : { "-journal", "-wal" })
        ::unlink((to + suffix).constData());
    // Not whole, or a file system without hard links: moved over it.
    if (::rename(from.constData(), to.constData()) != 0)
        failCreate(target, QString::fromLocal8Bit(std::strerror(errno)));
    if (stood)
        qWarning("Replaced %s (%lld bytes), which could not be read as the country table.",
            qUtf8Printable(target), static_cast<long long>(st.st_size));
}

} // namespace

// Whether the file opens whole with both tables holding rows; a copy the user changed is kept.
bool CountryLibDb::openWhole(const QString& target)
{
    if (!QFileInfo(target).isFile()) // a pipe would keep SQLite's first read waiting
        return false;
    try {
        openThrow(target, SQLITE_OPEN_READWRITE);
        Sqlite3Cursor c = queryThrow(Sqlite3Sql("pragma quick_check"));
        if (c.moveNext() && c.getText(0) == QLatin1String("ok") && tableExists(QStringLiteral("countries"))
            && tableExists(QStringLiteral("mmc_sn"))
            && queryThrow(Sqlite3Sql("select 1 from countries")).moveNext()
            && queryThrow(Sqlite3Sql("select 1 from mmc_sn")).moveNext())
            return true;
    } catch (const std::exception&) {
        // Missing, empty, cut short or damaged: made again.
    }
    close();
    return false;
}

void CountryLibDb::openCheck()
{
    if (handle)
        return;
    QString why;
    const QString target = g_dataSaveDir(&why).absoluteFilePath(QStringLiteral("countries.db"));
    if (!why.isEmpty())
        failCreate(target, why);
    // Decided by what the file holds, never by its being there.
    if (!openWhole(target)) {
        putWholeThrow(target, shippedThrow());
        openThrow(target, SQLITE_OPEN_READWRITE);
    }
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
