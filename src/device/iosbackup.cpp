#include "device/iosbackup.h"

#include "app/DataPaths.h"

#include <QFile>

namespace
{
const char* const kWorkingFolder = "__quillmarrow_iosbk_temp";
}

QDir iosbackup_temp_dir(const QString& name)
{
    QString path = QDir(g_defaultSaveDirPath()).absoluteFilePath(QString::fromLatin1(kWorkingFolder));
    if (!name.isEmpty())
        path += QLatin1Char('/') + name;
    return QDir(path);
}

void iosbackup_clear_temp(const QString& name)
{
    g_delDirCascade(iosbackup_temp_dir(name).absolutePath());
    QFile::remove(
        g_dataSaveDir().absoluteFilePath(QString::fromLatin1(kWorkingFolder) + QStringLiteral(".path")));
}
