#pragma once

// Whole-process timing for the benchmarks: a program is started, waited for and measured as the
// user meets it (start to exit), with its peak resident memory.
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
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
    long peakKb = 0; // peak resident set
    int status = -1; // exit code, -1 when it did not exit normally
};

// Runs argv (argv[0] looked up in PATH) with standard output to /dev/null, or to outFile.
inline Run run(const QStringList& argv, const QString& outFile = QString())
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
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
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

} // namespace Bench
