#include "messages/store/MsgTempDir.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

QString msgPrivateTempDir()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty())
        base = QDir::home().absoluteFilePath(QStringLiteral(".cache"));
    const QString path = QDir(base).absoluteFilePath(QStringLiteral("quillmarrow/msg-temp"));
    QDir().mkpath(path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}
