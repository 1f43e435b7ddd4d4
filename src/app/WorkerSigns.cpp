#include "app/WorkerSigns.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <cstdio>
#include <dirent.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{

// What a file in /proc holds (a line or two): read directly, a few hundred bytes at most.
QByteArray procText(const QByteArray& path)
{
    QByteArray text(512, '\0');
    FILE* f = std::fopen(path.constData(), "re");
    if (!f)
        return QByteArray();
    text.resize(qsizetype(std::fread(text.data(), 1, size_t(text.size()), f)));
    std::fclose(f);
    return text;
}

QList<pid_t> threadsBesides(pid_t thread)
{
    QList<pid_t> ids;
    DIR* tasks = ::opendir("/proc/self/task");
    if (!tasks)
        return ids;
    while (const dirent* entry = ::readdir(tasks)) {
        const pid_t id = pid_t(std::atol(entry->d_name));
        if (id > 0 && id != thread)
            ids.append(id);
    }
    ::closedir(tasks);
    return ids;
}

QByteArray taskFile(pid_t thread, const char* name)
{
    return "/proc/self/task/" + QByteArray::number(thread) + '/' + name;
}

// Which argument of a call names what it waits on: a descriptor of a file (its folder is told), or
// of a folder the call works in; -1 for a call on no descriptor. A close that waits on its disk
// tells nothing: the descriptor is gone from the table before the disk is asked.
int descriptorArgument(long call, bool* folder)
{
    *folder = false;
    switch (call) {
    case SYS_copy_file_range:
        return 2; // the file written
    case SYS_write:
    case SYS_pwrite64:
    case SYS_writev:
    case SYS_pwritev:
    case SYS_read:
    case SYS_pread64:
    case SYS_fsync:
    case SYS_fdatasync:
    case SYS_syncfs:
    case SYS_ftruncate:
    case SYS_fallocate:
    case SYS_sync_file_range:
    case SYS_flock:
    case SYS_fstat:
    case SYS_fstatfs:
    case SYS_fchmod:
    case SYS_fchown:
    case SYS_fsetxattr:
    case SYS_fgetxattr:
        return 0;
    case SYS_openat:
    case SYS_mkdirat:
    case SYS_unlinkat:
    case SYS_renameat2:
    case SYS_newfstatat:
    case SYS_statx:
    case SYS_getdents64:
    case SYS_linkat:
    case SYS_utimensat:
    case SYS_fchmodat:
    case SYS_fchownat:
#ifdef SYS_renameat
    case SYS_renameat:
#endif
        *folder = true;
        return 0;
    default:
        return -1;
    }
}

// The place a thread waits on, from its call (/proc/<thread>/syscall: the number, then the
// arguments in hex) and the descriptor's name; empty when none or not a path (a pipe, a socket).
QString placeOfCall(const QByteArray& syscall)
{
    const QList<QByteArray> fields = syscall.trimmed().split(' ');
    bool ok = false;
    const long call = fields.value(0).toLong(&ok);
    bool folder = false;
    const int argument = ok ? descriptorArgument(call, &folder) : -1;
    if (argument < 0 || fields.size() <= argument + 1)
        return QString();
    const long fd = long(fields.at(argument + 1).toULongLong(&ok, 16));
    if (!ok || fd < 0 || fd > 1 << 24)
        return QString(); // AT_FDCWD and the like: a name alone, not read here
    char target[4096];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(qint64(fd));
    const ssize_t n = ::readlink(link.constData(), target, sizeof target);
    if (n <= 0 || target[0] != '/')
        return QString();
    QString path = QFile::decodeName(QByteArray(target, n));
    if (!folder)
        path = path.section(
            QLatin1Char('/'), 0, -2, QString::SectionSkipEmpty | QString::SectionIncludeLeadingSep);
    return path.isEmpty() ? QStringLiteral("/") : path;
}

// The clock ticks a thread used so far (utime and stime); -1 when it ended meanwhile.
qint64 threadTicks(pid_t thread)
{
    // After the name in parentheses (which may hold spaces): the state is field 3, utime 14 and
    // stime 15.
    const QByteArray stat = procText(taskFile(thread, "stat"));
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return fields.at(11).toLongLong() + fields.at(12).toLongLong();
}

} // namespace

pid_t WorkerSigns::thisThread()
{
    return pid_t(::syscall(SYS_gettid));
}

WorkerSigns::Look WorkerSigns::lookBesides(pid_t thread)
{
    // One pass over the threads: each one's times read once, and its call only while it runs one.
    Look look;
    qint64 ticks = 0;
    bool any = false;
    for (const pid_t id : threadsBesides(thread)) {
        const qint64 own = threadTicks(id);
        if (own < 0)
            continue; // the thread ended meanwhile
        ticks += own;
        any = true;
        const QByteArray call = procText(taskFile(id, "syscall")).trimmed();
        if (!placeOfCall(call).isEmpty())
            look.waits += QByteArray::number(id) + ' ' + call + ' ' + QByteArray::number(own) + '\n';
    }
    look.ticks = any ? ticks : -1;
    return look;
}

QString WorkerSigns::waitedPlaceBesides(pid_t thread)
{
    for (const pid_t id : threadsBesides(thread)) {
        const QString place = placeOfCall(procText(taskFile(id, "syscall")));
        if (!place.isEmpty())
            return place;
    }
    return QString();
}
