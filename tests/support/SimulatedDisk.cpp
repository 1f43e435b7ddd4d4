#include "support/SimulatedDisk.h"

#include <QFile>
#include <linux/magic.h>

SimulatedDisk::SimulatedDisk(Kind kind)
    : m_kind(kind)
{
    FileSystemView::install(this);
}

SimulatedDisk::~SimulatedDisk()
{
    FileSystemView::install(nullptr);
}

long long SimulatedDisk::typeOf(const QString&) const
{
    return m_kind == Kind::ChangeTimes ? EXT4_SUPER_MAGIC : MSDOS_SUPER_MAGIC;
}

bool SimulatedDisk::statOf(const QString& path, struct stat& st) const
{
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    if (m_kind == Kind::NoChangeTimes) {
        st.st_mtim.tv_nsec = 0;
        st.st_ctim = st.st_mtim;
    }
    return true;
}
