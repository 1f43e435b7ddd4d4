#include "backup/ui/BackupWaitUi.h"

#include "app/ui/shared/ProgressForm.h"
#include "backup/BackupFolderLock.h"

#include <QApplication>
#include <QThread>
#include <QTimer>

namespace BackupWaitUi
{

namespace
{

    // The wait of the calling worker is to end: its dialog was cancelled, or (for a thread
    // without one, such as a page's thumbnail thread) it was asked to stop.
    bool endedForThisThread()
    {
        return ProgressForm::cancelledForThisThread() || QThread::currentThread()->isInterruptionRequested();
    }

    // A worker thread has no dialog of its own: it says what it waits for in the progress dialog
    // it reports to (in the log when it reports to none). Cancelling that dialog, or stopping a
    // thread that reports to none, ends the wait, so that the interface, which waits for the
    // worker to end, does not wait for the other program.
    bool waitInWorker(
        BackupFolderLock::Mode mode, const QString& folder, const std::function<bool()>& tryOnce)
    {
        const QString text = BackupFolderLock::waitText(mode, folder);
        const bool shown = ProgressForm::invokeWaitOfThisThread(text);
        if (!shown)
            qInfo("%s", qUtf8Printable(text));
        bool held = false;
        while (!(held = tryOnce()) && !endedForThisThread())
            QThread::msleep(10);
        if (shown)
            ProgressForm::invokeWaitEndedOfThisThread();
        return held;
    }

} // namespace

void install()
{
    BackupFolderLock::setWaitRunner(
        [](BackupFolderLock::Mode mode, const QString& folder, const std::function<bool()>& tryOnce) {
            if (!qApp || QThread::currentThread() != qApp->thread())
                return waitInWorker(mode, folder, tryOnce);
            ProgressForm form(BackupFolderLock::waitText(mode, folder), QApplication::activeWindow());
            bool held = false;
            QTimer poll;
            poll.setInterval(20);
            QObject::connect(&poll, &QTimer::timeout, &form, [&] {
                if (held || !tryOnce())
                    return;
                held = true;
                poll.stop();
                form.invokeSucceed(QString());
            });
            poll.start();
            form.exec();
            return held;
        });
}

} // namespace BackupWaitUi
