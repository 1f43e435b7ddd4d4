#include "device/_IOSDevice.h"

#include "app/DataPaths.h"

QDir _IOSDevice::cacheDir() const
{
    const QString path = g_dataSaveDir().absoluteFilePath(QStringLiteral("ios_cache/") + udid);
    QDir dir(path);
    if (!dir.exists())
        QDir().mkpath(path);
    return dir;
}
