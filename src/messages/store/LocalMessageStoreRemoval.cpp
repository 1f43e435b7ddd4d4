#include "messages/store/LocalMessageStoreRemoval.h"

#include "app/HeldFolder.h"
#include "app/StoreFileRemoval.h"

#include <QDir>
#include <cerrno>
#include <stdexcept>

namespace
{

const char kSmsFolderParent[] = "file-relay/var/mobile/Library";

// The folder at path held; invalid when nothing stands there; throws when the way is refused.
HeldFolder holdThrow(const QString& path)
{
    QString refused;
    HeldFolder folder = HeldFolder::open(path, &refused);
    if (folder.isValid() || errno == ENOENT)
        return folder;
    throw std::runtime_error(QStringLiteral("Cannot write %1: %2")
                                 .arg(path, refused.isEmpty() ? qt_error_string(errno) : refused)
                                 .toStdString());
}

} // namespace

bool LocalMessageStoreRemoval::removeThrow(const QString& dataDir)
{
    const HeldFolder data = holdThrow(dataDir);
    if (!data.isValid())
        return true;
    // Every part is tried: what can go goes, and any part that stays makes it a failure.
    const bool recycled = StoreFileRemoval::removeOwn(data, QStringLiteral("recycle.db"));
    const HeldFolder library = holdThrow(QDir(dataDir).absoluteFilePath(QLatin1String(kSmsFolderParent)));
    if (!library.isValid())
        return recycled;
    library.removeTree(QStringLiteral("SMS"));
    return recycled && !library.has(QStringLiteral("SMS"));
}
