#include "device/mobiledevice_loader.h"

namespace
{
QString& rememberedPath()
{
    static QString path;
    return path;
}
} // namespace

int mobiledevice_loader_ini(QString& message, const QString& uwpiTunesPath, const QStringList& arguments)
{
    Q_UNUSED(message);
    Q_UNUSED(arguments);
    rememberedPath() = uwpiTunesPath;
    return 1;
}

QString mobiledevice_loader_ini_uwpiTunesPath()
{
    return rememberedPath();
}

QString mobiledevice_exe32_path(const QString& name, QProcessEnvironment& environment)
{
    Q_UNUSED(environment);
    return QStringLiteral("/System/Library/PrivateFrameworks/MobileDevice.framework/Versions/A/"
                          "AppleMobileDeviceHelper.app/Contents/Resources/")
        + name;
}
