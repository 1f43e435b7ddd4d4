#include "app/StoreFileRemoval.h"

#include "app/HeldFolder.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

bool isOwn(const struct stat& st)
{
    return (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) && st.st_uid == ::geteuid();
}

// False, with errno set, when the user's own file at name inside stays.
bool removeIfOwn(const HeldFolder& folder, const QString& name)
{
    struct stat st;
    if (!folder.lstat(name, &st) || !isOwn(st) || folder.removeIfSame(name, st.st_dev, st.st_ino))
        return true;
    const int why = errno;
    if (!folder.lstat(name, &st) || !isOwn(st))
        return true; // gone meanwhile, or no longer the user's
    errno = why;
    return false;
}

} // namespace

bool StoreFileRemoval::removeCompanions(const HeldFolder& folder, const QString& name)
{
    bool gone = true;
    int why = 0;
    for (const char* suffix : { "-journal", "-wal", "-shm" }) {
        if (!removeIfOwn(folder, name + QLatin1String(suffix))) {
            gone = false;
            why = errno;
        }
    }
    errno = why;
    return gone;
}

bool StoreFileRemoval::removeOwn(const HeldFolder& folder, const QString& name)
{
    const bool store = removeIfOwn(folder, name);
    const int why = errno;
    if (!removeCompanions(folder, name))
        return false;
    errno = why;
    return store;
}
