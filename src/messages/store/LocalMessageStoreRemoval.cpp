#include "messages/store/LocalMessageStoreRemoval.h"

#include "app/AbsLocalDb.h"
#include "app/HeldFolder.h"

#include <QDir>
#include <cerrno>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

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

// The user's own file name inside (with SQLite's companions), never what a link there leads to.
void removeOwnStore(const HeldFolder& folder, const QString& name)
{
    struct stat st;
    if (folder.lstat(name, &st) && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) && st.st_uid == ::geteuid())
        folder.removeIfSame(name, st.st_dev, st.st_ino);
    AbsLocalDb::removeOwnCompanions(folder, name);
}

} // namespace

bool LocalMessageStoreRemoval::removeThrow(const QString& dataDir)
{
    const HeldFolder data = holdThrow(dataDir);
    if (!data.isValid())
        return true;
    removeOwnStore(data, QStringLiteral("recycle.db"));
    const HeldFolder library = holdThrow(QDir(dataDir).absoluteFilePath(QLatin1String(kSmsFolderParent)));
    if (!library.isValid())
        return true;
    library.removeTree(QStringLiteral("SMS"));
    return !library.has(QStringLiteral("SMS"));
}
