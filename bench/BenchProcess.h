#pragma once

// Whole-process timing for the benchmarks: a program is started, waited for and measured as the
// user meets it (start to exit), with its peak resident memory.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace Bench
{

struct Run {
    double seconds = 0; // wall clock, start to exit
    double cpuSeconds = 0; // user and system time of the process and the children it waited for
    long peakKb = 0; // peak resident set
    int status = -1; // exit code, -1 when it did not exit normally
};

// Runs argv (argv[0] looked up in PATH) with standard output to /dev/null, or to outFile, and
// standard input from inFile when given.
inline Run run(const QStringList& argv, const QString& outFile = QString(), const QString& inFile = QString())
{
    std::vector<QByteArray> bytes;
    for (const QString& a : argv)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char*> args;
    for (QByteArray& b : bytes)
        args.push_back(b.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = outFile.isEmpty() ? QByteArray("/dev/null") : outFile.toLocal8Bit();
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const QByteArray in = inFile.toLocal8Bit();
    if (!in.isEmpty())
        posix_spawn_file_actions_addopen(&actions, 0, in.constData(), O_RDONLY, 0);
    Run r;
    timespec start {}, end {};
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return r;
    }
    int status = 0;
    rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) { }
    clock_gettime(CLOCK_MONOTONIC, &end);
    posix_spawn_file_actions_destroy(&actions);
    r.seconds = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
    r.peakKb = usage.ru_maxrss;
    r.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Removes a file or a folder tree: the untimed step before a run that writes path.
inline std::function<void()> removing(const QString& path)
{
    return [path] {
        QDir(path).removeRecursively();
        QFile::remove(path);
    };
}

// Runs one of the project's generators (python3 SCRIPT ARGS...); true when it succeeded.
inline bool generate(const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start("python3", args);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Runs ours and the reference alternately, so that both meet the same machine load, and returns
// the median time of each (with the last peak memory of ours).
struct Pair {
    Run ours;
    Run reference;
};
inline Pair alternate(const QStringList& ours, const QStringList& reference, int rounds)
{
    std::vector<double> a, b;
    Pair p;
    for (int i = 0; i < rounds; ++i) {
        p.ours = run(ours);
        p.reference = run(reference);
        a.push_back(p.ours.seconds);
        b.push_back(p.reference.seconds);
    }
    p.ours.seconds = median(a);
    p.reference.seconds = median(b);
    return p;
}

inline QStringList pinned(const QStringList& argv)
{
    return QStringList { "taskset", "-c", "0,1" } + argv;
}

// One side of a comparison: the command line, where its standard output goes (empty: /dev/null),
// what to do before each start, untimed (removing the previous run's output, for example), and
// where its standard input comes from (empty: inherited).
struct Command {
    QStringList argv;
    QString out;
    std::function<void()> before;
    QString in;
};

// A side's figures over the rounds: median time, the highest peak memory, the first failing exit.
struct Measured {
    double seconds = 0;
    double cpuSeconds = 0; // median CPU time: on a busy machine it shows what waiting hides
    long peakKb = 0;
    int status = 0;
};
struct Comparison {
    Measured ours;
    Measured reference;
    double ratio() const { return reference.seconds > 0 ? ours.seconds / reference.seconds : 0; }
};

inline Run runCommand(const Command& c)
{
    if (c.before)
        c.before();
    return run(c.argv, c.out, c.in);
}

// Both sides started as whole processes, a warm-up run of each first, then `rounds` runs
// alternating so that both meet the same machine load; the median time of each.
inline Comparison compare(const Command& ours, const Command& reference, int rounds = 5)
{
    runCommand(ours);
    runCommand(reference);
    std::vector<double> a, b, cpuA, cpuB;
    Comparison c;
    auto add = [](Measured& m, std::vector<double>& times, std::vector<double>& cpu, const Run& r) {
        times.push_back(r.seconds);
        cpu.push_back(r.cpuSeconds);
        m.peakKb = std::max(m.peakKb, r.peakKb);
        if (m.status == 0 && r.status != 0)
            m.status = r.status;
    };
    for (int i = 0; i < rounds; ++i) {
        add(c.ours, a, cpuA, runCommand(ours));
        add(c.reference, b, cpuB, runCommand(reference));
    }
    c.ours.seconds = median(a);
    c.reference.seconds = median(b);
    c.ours.cpuSeconds = median(cpuA);
    c.reference.cpuSeconds = median(cpuB);
    return c;
}

// The cores the timed processes are pinned to: QM_BENCH_CORES (a taskset list), "0,1" when unset,
// none when set to "all".
inline QString cores()
{
    return qEnvironmentVariable("QM_BENCH_CORES", QStringLiteral("0,1"));
}
inline QStringList onCores(const QStringList& argv)
{
    const QString list = cores();
    return list == QLatin1String("all") ? argv : QStringList { "taskset", "-c", list } + argv;
}

// The machine's load averages, printed beside each figure: a shared machine changes the times.
inline QString load()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(f.readLine()).section(' ', 0, 2);
}

// One line per comparison: both times, the ratio against its goal, each side's peak memory and the
// machine's load. A child's peak memory starts at this program's own at the moment it is started
// (the kernel carries it over the exec), so a side that stays below that shows this program's.
inline void report(const char* title, const Comparison& c, const char* reference, double goal,
    const QString& onCores = cores())
{
    std::printf("%s: ours %.3f s, %s %.3f s, ratio %.2f (goal <= %.2f%s)\n", title, c.ours.seconds, reference,
        c.reference.seconds, c.ratio(), goal, c.ratio() <= goal ? "" : ", NOT MET");
    std::printf(
        "    peak memory: ours %ld KB, %s %ld KB; CPU time: ours %.3f s, %s %.3f s; cores %s; load %s%s\n",
        c.ours.peakKb, reference, c.reference.peakKb, c.ours.cpuSeconds, reference, c.reference.cpuSeconds,
        qPrintable(onCores), qPrintable(load()), c.ours.status || c.reference.status ? "; A RUN FAILED" : "");
    rusage self {};
    getrusage(RUSAGE_SELF, &self);
    if (std::min(c.ours.peakKb, c.reference.peakKb) <= self.ru_maxrss)
        std::printf("    (a peak at or below this program's own, %ld KB, is that figure, not the side's)\n",
            self.ru_maxrss);
    std::fflush(stdout);
}

} // namespace Bench
