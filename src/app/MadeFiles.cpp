#include "app/MadeFiles.h"

#include <sys/stat.h>

bool MadeFiles::note(const HeldFolder& folder, const QString& name)
{
    struct stat st;
    if (!folder.isValid() || !folder.lstat(name, &st))
        return false;
    m_made.push_back({ folder, name, st.st_dev, st.st_ino });
    return true;
}

int MadeFiles::takeBack()
{
    int removed = 0;
    // Newest first: a folder's files before the folder.
    for (auto it = m_made.crbegin(); it != m_made.crend(); ++it)
        removed += it->folder.removeIfSame(it->name, it->dev, it->ino) ? 1 : 0;
    m_made.clear();
    return removed;
}
