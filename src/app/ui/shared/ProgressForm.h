#pragma once

#include <QDialog>
#include <QString>
#include <atomic>

class QLabel;
class QProgressBar;
class QPushButton;
class QThread;

// The modal, frameless progress dialog that one worker thread reports to. Built on the stack of the
// action that starts the worker and handed to it by reference; the worker calls the invoke...
// operations (safe from any thread) and polls `cancelled`. exec() returns 1 after success, 0 after
// an error or a confirmed cancel.
class ProgressForm : public QDialog
{
    Q_OBJECT
public:
    // The title is the window title and the first status text. With an empty title and no parent
    // the dialog stands alone and is application-modal.
    explicit ProgressForm(const QString& title = QString(), QWidget* parent = nullptr);
    ~ProgressForm() override;

    // True exactly when the dialog ended with result 0. Workers poll it without a lock; atomic so
    // that a polling loop always sees the change (reads and writes look like a plain bool's).
    std::atomic<bool> cancelled = false;

    // Enables or disables the cancel button; disabled, only the worker can end the dialog.
    void setCancelable(bool cancelable);

    // Posted to the dialog's thread (queued from a worker, direct on the dialog's own thread).
    void invokeUpdateProgress(const QString& status, int percent, const QString& text = QString());
    void invokeSucceed(const QString& text = QString());
    void invokeErrorOccurred(const QString& message);

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
    // Shows the error box with the message, then ends with 0.
    void errorOccurred(const QString& message);
    void onFinish(int result);

private slots:
    void onBtnCancel();

private:
    // Grows to show a status or detail longer than a line (such as a wait's, naming a folder).
    void growToFit();
    void finishWith(int result);
    void noteReportingThread();

    QLabel* m_status;
    QProgressBar* m_bar;
    QLabel* m_detail;
    QPushButton* m_btnCancel;
    bool m_running = false; // inside exec()
    bool m_ended = false; // a result has been given; later reports are ignored
    int m_pendingResult = -1; // a result given before exec() started
    bool m_quiet = false;
    QString m_resultText; // the success or error text of the run
    QString m_statusBeforeWait; // shown again when the waits end
    int m_waits = 0; // waits of the reporting threads shown now
};
