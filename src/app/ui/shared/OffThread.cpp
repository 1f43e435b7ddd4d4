#include "app/ui/shared/OffThread.h"

#include "app/TaskCancel.h"
#include "app/ui/shared/PageLife.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/WorkerEnd.h"

#include <QApplication>
#include <QThread>
#include <exception>
#include <memory>

namespace
{
int g_quietMs = 500;

// The dialog of a wait that lasts: it ends with the thread, or with the user's Cancel, which asks
// the work to stop.
void waitInDialog(QThread& thread, TaskCancel::Token& token, const QString& title, QWidget* parent)
{
    ProgressForm form(
        title.isEmpty() ? QCoreApplication::translate("OffThread", "IDS_WAITING_FOR_DISK") : title,
        parent ? parent : QApplication::activeWindow());
    form.setQuiet(true);
    const auto ended = [&form] { form.succeed(QString()); };
    QObject::connect(&thread, &QThread::finished, &form, ended, Qt::QueuedConnection);
    if (thread.isFinished())
        QMetaObject::invokeMethod(&form, ended, Qt::QueuedConnection);
    if (form.exec() != 1)
        token.cancelled = true;
}

} // namespace

bool OffThread::run(const std::function<void()>& work, const QString& title, QWidget* parent)
{
    if (!qApp || QThread::currentThread() != qApp->thread()) {
        work();
        return true;
    }
    std::exception_ptr error;
    const auto token = std::make_shared<TaskCancel::Token>();
    const std::unique_ptr<QThread> thread(QThread::create([&] {
        const TaskCancel::Scope scope(token);
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
    }));
    thread->start();
    {
        const PageLife::Waiting waiting; // this frame, and whichever page's is under it, stays
        if (!WorkerEnd::runEventsFor(*thread, g_quietMs, false))
            waitInDialog(*thread, *token, title, parent);
        WorkerEnd::waitFor(*thread, token, parent);
    }
    if (error)
        std::rethrow_exception(error);
    return !token->cancelled.load();
}

int OffThread::setQuietMs(int ms)
{
    const int before = g_quietMs;
    g_quietMs = ms;
    return before;
}
