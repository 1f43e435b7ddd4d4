#include "messages/store/MsgTempDir.h"

#include "app/MadeFolders.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

QString msgPrivateTempDir(QString* why)
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty())
        base = QDir::home().absoluteFilePath(QStringLiteral(".cache"));
    const QString path = QDir(base).absoluteFilePath(QStringLiteral("quillmarrow/msg-temp"));
    MadeFolders::makePath(path, why);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}
