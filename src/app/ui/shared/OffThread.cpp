#include "app/ui/shared/OffThread.h"

#include "app/ui/shared/WorkerEnd.h"

#include <QCoreApplication>
#include <QThread>
#include <exception>
#include <memory>

void OffThread::run(const std::function<void()>& work)
{
    if (!qApp || QThread::currentThread() != qApp->thread()) {
        work();
        return;
    }
    std::exception_ptr error;
    const std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
    }));
    thread->start();
    WorkerEnd::waitFor(*thread);
    if (error)
        std::rethrow_exception(error);
}
