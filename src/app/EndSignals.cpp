#include "app/EndSignals.h"

#include "app/RunFolder.h"

#include <QCoreApplication>
#include <QEvent>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace
{

const int kSignals[] = { SIGTERM, SIGINT, SIGHUP };
int g_pipe[2] = { -1, -1 };
std::atomic<int> g_received { 0 };
std::mutex g_quitLock; // held while a quit is posted, so that the application stays meanwhile
bool g_quitsLoop = false;

void onSignal(int sig)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(sig);
    // A full pipe holds signals enough already.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &number, 1);
    errno = saved;
}

void leaveNow(int sig)
{
    RunFolder::removeNow();
    ::_exit(128 + sig);
}

// The first signal while the loop is to be quit asks it to; whatever else comes ends the program.
void watch()
{
    for (;;) {
        unsigned char number = 0;
        const ssize_t got = ::read(g_pipe[0], &number, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got != 1)
            return; // the pipe is gone: nothing more can come
        int expected = 0;
        const bool first = g_received.compare_exchange_strong(expected, number);
        {
            const std::lock_guard lock(g_quitLock);
            if (first && g_quitsLoop && QCoreApplication::instance()) {
                qInfo("Ending on signal %d.", int(number));
                QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
                continue;
            }
        }
        leaveNow(number);
    }
}

} // namespace

void EndSignals::install()
{
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC) != 0)
        return;
    ::fcntl(g_pipe[1], F_SETFL, O_NONBLOCK); // a handler never waits
    std::thread(watch).detach();
    for (const int sig : kSignals) {
        struct sigaction before = {};
        if (::sigaction(sig, nullptr, &before) != 0 || before.sa_handler == SIG_IGN)
            continue;
        struct sigaction action = {};
        action.sa_handler = onSignal;
        ::sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(sig, &action, nullptr);
    }
}

void EndSignals::setQuitsLoop(bool on)
{
    const std::lock_guard lock(g_quitLock);
    g_quitsLoop = on;
}

int EndSignals::received()
{
    return g_received.load();
}

int EndSignals::exitCode(int code)
{
    const int sig = received();
    return sig ? 128 + sig : code;
}
