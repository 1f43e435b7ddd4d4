#include "ProbePrivateCopy.h"

#include "app/OutputFile.h"

#include <QFile>
#include <stdexcept>

namespace
{
bool copyPrivate(const QString& from, const QString& to)
{
    QString error;
    if (!OutputFile::copy(from, to, &error))
        return false;
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    return true;
}
} // namespace

void probeCopyDbThrow(const QString& from, const QString& to)
{
    if (!copyPrivate(from, to))
        throw std::runtime_error(QStringLiteral("can not copy %1").arg(from).toStdString());
    // A rollback journal left by a write that never finished is rolled back on the copy, as on the
    // original: without it the copy would show the unfinished write.
    for (const char* suffix : { "-wal", "-shm", "-journal" })
        if (QFile::exists(from + QLatin1String(suffix)))
            copyPrivate(from + QLatin1String(suffix), to + QLatin1String(suffix));
}
