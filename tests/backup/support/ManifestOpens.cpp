#include "backup/support/ManifestOpens.h"

#include <QByteArray>
#include <atomic>

namespace
{
decltype(sqlite3_vfs::xOpen) s_open = nullptr;
std::atomic<int> s_opens { 0 };

int countedOpen(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
{
    if (name && (flags & SQLITE_OPEN_MAIN_DB) && QByteArray(name).endsWith("/Manifest.db"))
        ++s_opens;
    return s_open(vfs, name, file, flags, outFlags);
}
} // namespace

ManifestOpens::ManifestOpens()
    : m_vfs(sqlite3_vfs_find(nullptr))
{
    s_open = m_vfs->xOpen;
    s_opens = 0;
    m_vfs->xOpen = &countedOpen;
}

ManifestOpens::~ManifestOpens()
{
    m_vfs->xOpen = s_open;
}

int ManifestOpens::count() const
{
    return s_opens;
}
