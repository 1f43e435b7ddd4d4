#include "support/ForeignDisk.h"

#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <csignal>
#include <sys/mount.h>
#include <unistd.h>

namespace
{
constexpr qint64 kImageBytes = 64 * 1024 * 1024;
constexpr int kWaitMs = 30000;
} // namespace

ForeignDisk::Kind ForeignDisk::kindOf(const QString& name)
{
    return name == QLatin1String("fat") ? Kind::Fat
        : name == QLatin1String("ntfs") ? Kind::Ntfs
                                        : Kind::ExFat;
}

ForeignDisk::ForeignDisk(Kind kind)
    : m_kind(kind)
{
    if (geteuid() != 0) {
        m_whyNot = QStringLiteral("not running as root: no FAT, NTFS or exFAT disk can be mounted");
        return;
    }
    const QString base = TestEnv::tempDir();
    m_image = base + QStringLiteral("/disk.img");
    m_path = base + QStringLiteral("/disk");
    QDir().mkpath(m_path);
    QFile image(m_image);
    if (!image.open(QIODevice::WriteOnly) || !image.resize(kImageBytes)) {
        m_whyNot = QStringLiteral("cannot make the disk's image %1").arg(m_image);
        return;
    }
    image.close();
    switch (m_kind) {
    case Kind::Fat:
        m_mounted = run("mkfs.vfat", { m_image }) && run("fusefat", { "-o", "rw+", m_image, m_path });
        break;
    case Kind::Ntfs:
        m_mounted = run("mkfs.ntfs", { "-F", "-Q", m_image })
            && run("ntfs-3g", { "-o", "windows_names", m_image, m_path });
        break;
    case Kind::ExFat:
        m_mounted = run("losetup", { "-f", "--show", m_image }, &m_loop) && run("mkfs.exfat", { m_loop })
            && run("mount.exfat-fuse", { m_loop, m_path });
        break;
    }
}

ForeignDisk::~ForeignDisk()
{
    resume();
    if (m_mounted && !run("fusermount", { "-u", m_path }))
        ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
    if (!m_loop.isEmpty())
        run("losetup", { "-d", m_loop });
    QFile::remove(m_image);
}

// The server is the process whose arguments name the mount point.
bool ForeignDisk::stop()
{
    const QByteArray mountPoint = QFile::encodeName(m_path);
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        const int pid = entry.toInt();
        QFile cmdline("/proc/" + entry + "/cmdline");
        if (pid <= 0 || pid == ::getpid() || !cmdline.open(QIODevice::ReadOnly))
            continue;
        if (cmdline.readAll().split('\0').contains(mountPoint) && ::kill(pid, SIGSTOP) == 0) {
            m_stopped = pid;
            return true;
        }
    }
    return false;
}

void ForeignDisk::resume()
{
    if (m_stopped > 0)
        ::kill(m_stopped, SIGCONT);
    m_stopped = 0;
}

// Runs program with args; false with whyNot set when it is missing or fails. out gets its first
// line of output.
bool ForeignDisk::run(const QString& program, const QStringList& args, QString* out)
{
    QString found = QStandardPaths::findExecutable(program);
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(program, { "/sbin", "/usr/sbin" });
    if (found.isEmpty()) {
        m_whyNot = QStringLiteral("%1 is not installed").arg(program);
        return false;
    }
    QProcess p;
    p.start(found, args);
    if (!p.waitForFinished(kWaitMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        p.kill();
        m_whyNot
            = QStringLiteral("%1 %2 failed: %3")
                  .arg(program, args.join(' '), QString::fromLocal8Bit(p.readAllStandardError()).trimmed());
        return false;
    }
    if (out)
        *out = QString::fromLocal8Bit(p.readAllStandardOutput()).section('\n', 0, 0).trimmed();
    return true;
}
