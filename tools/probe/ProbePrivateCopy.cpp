#include "ProbePrivateCopy.h"

#include "app/OutputFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    for (const char* suffix : { "-wal", "-shm" })
        if (QFile::exists(from + QLatin1String(suffix)))
            copyPrivate(from + QLatin1String(suffix), to + QLatin1String(suffix));
}

QString probeStageDbThrow(const QString& from, const QString& work)
{
    const QString to = QDir(work).absoluteFilePath(QStringLiteral("staged-") + QFileInfo(from).fileName());
    probeCopyDbThrow(from, to);
    return to;
}
