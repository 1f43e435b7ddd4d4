#pragma once

#include "app/TaskCancel.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <mutex>

class QLabel;
class QProgressBar;
class QPushButton;

// The modal, frameless progress dialog that one worker thread reports to. Built on the stack of the
// action that starts the worker and handed to it by reference; the worker calls the invoke...
// operations (safe from any thread) and polls `cancelled`. exec() returns 1 after success, 0 after
// an error or a confirmed cancel. While the user is asked whether to cancel, the work stands still:
// a worker's next look at `cancelled` waits for the answer. A worker about to take a step that
// cannot be undone passes its point of no return first; from then on only its result ends the form.
// When the program is asked to quit, a running form ends as after a confirmed cancel (without the
// question), or, past the point of no return, waits for the worker's result and says so.
class ProgressForm : public QDialog
{
    Q_OBJECT
public:
    // The cancelled flag. Read on the dialog's own thread it is a plain flag; read on any other
    // thread while the cancel question is open, it waits for the answer (and reads the answer). The
    // wait also ends when the question goes without one: the program closing, the dialog destroyed,
    // or the reading thread asked to stop.
    class CancelFlag
    {
    public:
        explicit CancelFlag(const QObject* owner)
            : m_owner(owner)
        {
        }
        ~CancelFlag();
        CancelFlag(const CancelFlag&) = delete;
        CancelFlag& operator=(const CancelFlag&) = delete;

        operator bool() const;
        CancelFlag& operator=(bool value);
        // The value now, never waiting: for a loop that waits for something else and does no work.
        bool peek() const { return m_value.load(); }
        // The same flag as the task's cancel (see TaskCancel): the threads that report to the form,
        // or read this flag, are bound to it, so that their statements over a database from a
        // backup stop on a cancel; it ends with the form.
        const std::shared_ptr<TaskCancel::Token>& token() const { return m_token; }

    private:
        friend class ProgressForm;
        void setAsking(bool asking);
        bool waitForAnswer() const;
        void waitWhileAsking(std::unique_lock<std::mutex>& lock) const;
        // Each under the lock, so that the question and the point of no return exclude each other:
        // the question opens only before it; a cancel is set only before it; and it is passed only
        // when no cancel was set, after the answer of an open question.
        bool startAsking();
        bool confirm();
        bool passFinal();
        QPointer<QThread> finalBy() const;

        const QObject* m_owner; // its thread asks the question; it never waits here
        std::shared_ptr<TaskCancel::Token> m_token = std::make_shared<TaskCancel::Token>();
        std::atomic<bool>& m_value = m_token->cancelled;
        std::atomic<bool> m_asking = false;
        mutable std::mutex m_mutex;
        mutable std::condition_variable m_changed;
        mutable int m_waiting = 0; // threads waiting for the answer
        bool m_final = false; // past the worker's point of no return
        QPointer<QThread> m_finalBy; // the worker that passed it
    };

    // The title is the window title and the first status text. With an empty title and no parent
    // the dialog stands alone and is application-modal.
    explicit ProgressForm(const QString& title = QString(), QWidget* parent = nullptr);
    ~ProgressForm() override;

    // True exactly when the dialog ended with result 0 (or the user has just confirmed a cancel).
    // Workers poll it between steps; reads and writes look like a plain bool's.
    CancelFlag cancelled { this };

    // Enables or disables the cancel button; disabled, only the worker can end the dialog.
    void setCancelable(bool cancelable);

    // Called by the worker right before a step that cannot be undone: false when a cancel was
    // confirmed (the step must not be taken); while the cancel question is open it waits for the
    // answer. Otherwise the form can no longer be cancelled: its button is disabled, a cancel asked
    // for later is ignored, and the worker's own result ends it.
    bool passPointOfNoReturn();
    // The program is asked to quit: every running form ends as after a confirmed cancel, or waits
    // for the result of a worker past its point of no return.
    static void endAllForQuit();

    // Posted to the dialog's thread (queued from a worker, direct on the dialog's own thread). A
    // success is told once the disks the calling thread's task made files on are synced (see
    // WrittenDisks); a sync that fails is told as the error instead.
    void invokeUpdateProgress(const QString& status, int percent, const QString& text = QString());
    void invokeSucceed(const QString& text = QString());
    // The message is plain text (an exception's, naming what a backup holds), shown as it is; with
    // markup set it is the program's own rich text (a device's advice with its links).
    void invokeErrorOccurred(const QString& message, bool markup = false);

    // For a wait of a worker thread: shows status in the dialog the calling thread last reported
    // to (the bar and detail stay). False when it has reported to no dialog that still exists.
    // While waits are shown, a status reported meanwhile is kept for after them.
    static bool invokeWaitOfThisThread(const QString& status);
    // The wait has ended: when no other wait is shown, the status from before the waits (or the
    // last one reported meanwhile) is shown again.
    static void invokeWaitEndedOfThisThread();
    // True when the dialog the calling thread last reported to has ended cancelled.
    static bool cancelledForThisThread();

    // Makes the calling thread one that reports to form while the scope lasts: a helper of the
    // form's worker (a pool thread running one of its tasks) then shows its waits in the form and
    // ends them on its cancel. Afterwards the thread reports to no form.
    class ReportingScope
    {
    public:
        explicit ReportingScope(ProgressForm* form);
        ~ReportingScope();
        ReportingScope(const ReportingScope&) = delete;
        ReportingScope& operator=(const ReportingScope&) = delete;

    private:
        ProgressForm* m_form;
        TaskCancel::Scope m_cancel;
    };

    // Waits for the thread in steps of 1000 ms until it has ended; when the dialog ended cancelled
    // and terminate is true, gives up after one more step. Returns whether the thread has ended.
    bool waitForThread(QThread& thread, bool terminate);

    int exec() override;
    // A stray accept() does nothing; reject() (Escape) asks to cancel as the cancel button does, and
    // does nothing when the form cannot be cancelled: only the worker or a confirmed cancel ends it.
    void accept() override;
    void reject() override;

    // Quiet: success and error texts are kept (resultText) instead of shown in message boxes, for
    // drivers without a user (the probe, benchmarks).
    void setQuiet(bool quiet) { m_quiet = quiet; }
    QString resultText() const { return m_resultText; }
    // Whether the form ended with the worker's error (its text is resultText()); an error also ends
    // it with 0 and marks it cancelled, as a confirmed cancel does, but only an error sets this.
    bool failed() const { return m_failed; }

    // Current texts, for the caller's checks.
    QString statusText() const;
    QString detailText() const;
    int progressValue() const;

signals:
    // The user pressed cancel and confirmed; the dialog then ends with 0.
    void userCancel();

public slots:
    // A non-empty status replaces the status line (while a wait is shown, once the waits end); a
    // negative percent keeps the bar; an empty text shows "Progress:<percent>%".
    void updateProgress(const QString& status, int percent, const QString& text);
    // Shows an information box when text is not empty, then ends with 1.
    void succeed(const QString& text);
    // Shows the error box with the message (see invokeErrorOccurred), then ends with 0.
    void errorOccurred(const QString& message, bool markup = false);
    void onFinish(int result);

private slots:
    void onBtnCancel();

private:
    // Grows to show a status or detail longer than a line (such as a wait's, naming a folder).
    void growToFit();
    void finishWith(int result);
    void noteReportingThread();
    void endForQuit();
    void waitForFinalResult();

    QLabel* m_status;
    QProgressBar* m_bar;
    QLabel* m_detail;
    QPushButton* m_btnCancel;
    bool m_running = false; // inside exec()
    bool m_ended = false; // a result has been given; later reports are ignored
    int m_pendingResult = -1; // a result given before exec() started
    bool m_quiet = false;
    bool m_failed = false; // ended by the worker's error
    QString m_resultText; // the success or error text of the run
    QString m_statusBeforeWait; // shown again when the waits end
    int m_waits = 0; // waits of the reporting threads shown now
    bool m_closing = false; // waiting for the worker's result before the program quits
};
