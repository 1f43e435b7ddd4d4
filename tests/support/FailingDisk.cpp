#include "support/FailingDisk.h"

#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FailingDisk
{

SizeLimit::SizeLimit(qint64 bytes)
{
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit old;
    if (getrlimit(RLIMIT_FSIZE, &old) == 0) {
        m_oldSoft = qint64(old.rlim_cur);
        m_oldHard = qint64(old.rlim_max);
    }
    struct rlimit limit = old;
    limit.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}

SizeLimit::~SizeLimit()
{
    struct rlimit limit;
    limit.rlim_cur = rlim_t(m_oldSoft);
    limit.rlim_max = rlim_t(m_oldHard);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_oldHandler);
}

SmallDisk::SmallDisk(qint64 bytes, int inodes)
    : m_inodes(inodes)
{
    if (geteuid() != 0) {
        m_whyNot = QStringLiteral("not running as root: no small disk can be mounted");
        return;
    }
    m_path = TestEnv::tempDir() + QStringLiteral("/disk");
    QDir().mkpath(m_path);
    QByteArray options = "size=" + QByteArray::number(bytes);
    if (inodes > 0)
        options += ",nr_inodes=" + QByteArray::number(inodes);
    if (::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", 0, options.constData()) != 0) {
        m_whyNot
            = QStringLiteral("mounting a tmpfs failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_mounted = true;
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
}

void SmallDisk::fill(qint64 leave) const
{
    const int fd = ::open(QFile::encodeName(m_path + QStringLiteral("/filler")).constData(),
        O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    char block[4096] = {};
    // Down to single bytes, so no partial block is left.
    for (size_t size = sizeof block; size > 0; size /= 2)
        while (::write(fd, block, size) == ssize_t(size)) { }
    struct stat st;
    if (leave > 0 && ::fstat(fd, &st) == 0)
        ::ftruncate(fd, std::max<off_t>(0, st.st_size - off_t(leave)));
    ::close(fd);
    for (int i = 1; m_inodes > 0 && i <= m_inodes; ++i) {
        const int more = ::open(QFile::encodeName(m_path + QStringLiteral("/filler-%1").arg(i)).constData(),
            O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (more < 0)
            break;
        ::close(more);
    }
}

bool SmallDisk::setReadOnly(bool readOnly) const
{
    const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
    return m_mounted && ::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", flags, nullptr) == 0;
}

} // namespace FailingDisk
