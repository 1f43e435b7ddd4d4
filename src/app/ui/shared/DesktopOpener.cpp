#include "app/ui/shared/DesktopOpener.h"

#include "app/DataPaths.h"
#include "app/ui/shared/Tips.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

bool DesktopOpener::openLink(const QString& address)
{
    if (g_openLink(address))
        return true;
    Tips::warningCopyable(QCoreApplication::translate("DesktopOpener", "IDS_CANT_OPEN_LINK_%1").arg(address));
    return false;
}

bool DesktopOpener::openFileOrFolder(const QString& path)
{
    if (g_openFileOrFolder(path))
        return true;
    const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    Tips::warningCopyable(QCoreApplication::translate("DesktopOpener", "IDS_CANT_OPEN_FOLDER_%1").arg(shown));
    return false;
}
