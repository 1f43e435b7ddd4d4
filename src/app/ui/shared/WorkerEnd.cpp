#include "app/ui/shared/WorkerEnd.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

void WorkerEnd::waitFor(QThread& thread)
{
    if (thread.wait(50)) // most workers have ended, or do at once
        return;
    // Polled: finished() may have been emitted before a connection to it could be made.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (thread.isFinished())
            loop.quit();
    });
    poll.start(20);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    thread.wait();
}
