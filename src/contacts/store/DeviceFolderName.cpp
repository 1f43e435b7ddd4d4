#include "contacts/store/DeviceFolderName.h"

#include <QRegularExpression>

QString DeviceFolderName::fromDeviceName(const QString& deviceName)
{
    static const QRegularExpression unsafe(QStringLiteral("[\\\\/:*?\"<>|\\n\\r\\t]+"));
    QString name = deviceName;
    name.remove(unsafe);
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        return QString();
    return name;
}
