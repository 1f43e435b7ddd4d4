#include "support/ForeignDisk.h"

#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <csignal>
#include <dirent.h>
#include <sys/mount.h>
#include <unistd.h>

namespace
{
constexpr qint64 kImageBytes = 64 * 1024 * 1024;
constexpr int kWaitMs = 30000;
constexpr int kStopSeconds = 20; // a stop lasts at most this long
constexpr int kLifeSeconds = 240; // well inside a test's time limit
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
    m_server = m_mounted ? serverPid() : 0;
    if (m_server > 0)
        guard(QStringLiteral("i=0; while [ $i -lt %1 ]; do grep -qF \" $2 \" /proc/mounts || exit 0; "
                             "sleep 1; i=$((i+1)); done; kill -KILL $1")
                  .arg(kLifeSeconds));
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

// Whatever becomes of this process (a failed check, a kill), the disk's server is resumed and, at
// the end of the disk's life, ended: a call on a disk whose server stopped, or one that took a
// request and stalls, waits in the kernel where no kill reaches it, and would hold the test run.
// script gets the server's pid as $1 and the mount point as $2.
void ForeignDisk::guard(const QString& script)
{
    QProcess sh;
    sh.setProgram(QStringLiteral("/bin/sh"));
    sh.setArguments({ "-c", script, "guard", QString::number(m_server), m_path });
    sh.setStandardInputFile(QProcess::nullDevice());
    sh.setStandardOutputFile(QProcess::nullDevice());
    sh.setStandardErrorFile(QProcess::nullDevice());
    sh.startDetached();
}

// The server is the process of the disk's program that holds its image (or loop device) open.
// Found by names and links alone: reading another process's arguments waits on that process's
// memory, which a process held by a stopped disk does not let go of.
int ForeignDisk::serverPid() const
{
    const QByteArray held = QFile::encodeName(m_loop.isEmpty() ? m_image : m_loop);
    const QStringList servers { "fusefat", "ntfs-3g", "mount.exfat-fus" }; // as /proc cuts names
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        const int pid = entry.toInt();
        QFile comm("/proc/" + entry + "/comm");
        if (pid <= 0 || !comm.open(QIODevice::ReadOnly) || !servers.contains(comm.readAll().trimmed()))
            continue;
        const QByteArray fds = "/proc/" + entry.toLatin1() + "/fd/";
        DIR* dir = ::opendir(fds.constData());
        bool holds = false;
        while (const dirent* fd = dir && !holds ? ::readdir(dir) : nullptr) {
            char target[4096];
            const ssize_t n = ::readlink((fds + fd->d_name).constData(), target, sizeof target);
            holds = n > 0 && QByteArray(target, n) == held;
        }
        if (dir)
            ::closedir(dir);
        if (holds)
            return pid;
    }
    return 0;
}

// The guard that resumes the server starts before the stop: starting a program afterwards closes,
// in its child, this process's files on the disk, and each such close waits on the server.
bool ForeignDisk::stop()
{
    if (m_server <= 0)
        return false;
    guard(QStringLiteral("sleep %1; kill -CONT $1").arg(kStopSeconds));
    if (::kill(m_server, SIGSTOP) != 0)
        return false;
    m_stopped = m_server;
    return true;
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
