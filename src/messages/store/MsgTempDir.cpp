#include "messages/store/MsgTempDir.h"

#include "app/CacheFiles.h"
#include "app/MadeFolders.h"
#include "contacts/export/VCardThumbnail.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace
{

QString tempPath()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty())
        base = QDir::home().absoluteFilePath(QStringLiteral(".cache"));
    return QDir(base).absoluteFilePath(QStringLiteral("quillmarrow/msg-temp"));
}

} // namespace

QString msgPrivateTempDir(QString* why)
{
    const QString path = tempPath();
    MadeFolders::makePath(path, why);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// The names _MsgAttachment::thumbnail() (a preview, and what it was drawn from) and
// vcard_thumbnail() give.
bool msgClearThumbnails(QString* why)
{
    static const QRegularExpression thumbs(QStringLiteral("^[0-9a-f]{32}\\.(thumb|of)$"));
    static const QRegularExpression cards(QStringLiteral("^[0-9a-f]{32}\\.jpg$"));
    const bool first = CacheFiles::removeIn(tempPath(), thumbs, why);
    return CacheFiles::removeIn(VCardThumbnail::cachePath(), cards, first ? why : nullptr) && first;
}
