#include "app/AppInfo.h"

#include <QObject>

QString AppInfo::displayName()
{
    return QObject::tr("Quillmarrow");
}

QString AppInfo::homePage()
{
    return QStringLiteral("https://quillmarrow.example/");
}

QString AppInfo::helpPage()
{
    return homePage() + QStringLiteral("help/");
}

QString AppInfo::supportPage()
{
    return homePage() + QStringLiteral("support/");
}

QString AppInfo::storageHowToPage()
{
    return homePage() + QStringLiteral("help/storage-access/");
}
