#include "backup/ui/BackupWaitUi.h"

#include "app/ui/shared/ProgressForm.h"
#include "backup/lock/BackupFolderLock.h"

#include <QApplication>
#include <QStringList>
#include <QThread>
#include <QTimer>

namespace BackupWaitUi
{

namespace
{

    using Says = std::function<QString()>;

    // The wait of the calling worker is to end: its dialog was cancelled, or (for a thread
    // without one, such as a page's thumbnail thread) it was asked to stop.
    bool endedForThisThread()
    {
        return ProgressForm::cancelledForThisThread() || QThread::currentThread()->isInterruptionRequested();
    }

    // What a wait of the calling thread waits for, in the dialog it reports to (in the log when it
    // reports to none), kept up to date as that changes; each thing is said once.
    class WaitShown
    {
    public:
        explicit WaitShown(const QString& text)
            : m_shown(text)
            , m_inDialog(ProgressForm::invokeWaitOfThisThread(text))
        {
            if (!m_inDialog)
                say(text);
        }
        ~WaitShown()
        {
            if (m_inDialog)
                ProgressForm::invokeWaitEndedOfThisThread();
        }
        WaitShown(const WaitShown&) = delete;
        WaitShown& operator=(const WaitShown&) = delete;

        void update(const QString& text)
        {
            if (text == m_shown)
                return;
            m_shown = text;
            if (!m_inDialog) {
                say(text);
                return;
            }
            // The new wait shown before the old one ends, so that the status from before never shows.
            ProgressForm::invokeWaitOfThisThread(text);
            ProgressForm::invokeWaitEndedOfThisThread();
        }

    private:
        void say(const QString& text)
        {
            if (m_said.contains(text))
                return;
            m_said << text;
            qInfo("%s", qUtf8Printable(text));
        }

        QString m_shown;
        bool m_inDialog;
        QStringList m_said;
    };

    // A worker thread has no dialog of its own: it says what it waits for in the progress dialog
    // it reports to (in the log when it reports to none). Cancelling that dialog, or stopping a
    // thread that reports to none, ends the wait, so that the interface, which waits for the
    // worker to end, does not wait for the other program.
    bool waitInWorker(const Says& says, const std::function<bool()>& tryOnce)
    {
        WaitShown shown(says());
        bool held = false;
        while (!(held = tryOnce()) && !endedForThisThread()) {
            shown.update(says());
            QThread::msleep(10);
        }
        return held;
    }

    // The interface thread's own wait: a dialog of its own, whose Cancel ends it.
    bool waitInInterface(const Says& says, const std::function<bool()>& tryOnce)
    {
        ProgressForm form(says(), QApplication::activeWindow());
        // The form is this thread's to report to while it waits, so that what the wait waits for
        // can change in it as in a worker's.
        const ProgressForm::ReportingScope reporting(&form);
        WaitShown shown(form.statusText());
        bool held = false;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, &form, [&] {
            if (held)
                return;
            if (!tryOnce()) {
                shown.update(says());
                return;
            }
            held = true;
            poll.stop();
            form.invokeSucceed(QString());
        });
        poll.start();
        form.exec();
        return held;
    }

} // namespace

void install()
{
    BackupFolderLock::setWaitRunner([](const Says& says, const std::function<bool()>& tryOnce) {
        if (!qApp || QThread::currentThread() != qApp->thread())
            return waitInWorker(says, tryOnce);
        return waitInInterface(says, tryOnce);
    });
}

} // namespace BackupWaitUi
