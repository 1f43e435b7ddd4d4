#pragma once

#include "app/TaskCancel.h"

#include <QString>
#include <memory>

class QThread;
class QWidget;

// The end of a worker whose progress dialog has closed. The worker may still finish the step under
// way and reads what its caller owns, so the caller's frame waits for it; the window never freezes
// meanwhile. After a cancel a "Cancelling…" dialog shows while the step under way stops (within a
// block on any disk that answers). When the worker shows no sign of life for a few seconds (neither
// processor time nor a look for the cancel: it waits on a disk that does not answer), the dialog
// closes, the user is told which disk, and the window answers while the worker is left to end on
// its own. Leaving the program does not wait for such a worker beyond a grace of about two seconds.
class WorkerEnd
{
public:
    // Waits for thread; token is its task's cancel (null or not cancelled: an end after success
    // or error, waited for as the window paints). The thread leaves its QObject parent: a window
    // closed meanwhile must not delete it while it runs.
    static void waitFor(QThread& thread, const std::shared_ptr<const TaskCancel::Token>& token = {},
        QWidget* parent = nullptr);

    // Runs the window's events (the user's too when input is true) until thread ends or ms have
    // passed; true when it ended.
    static bool runEventsFor(QThread& thread, int ms, bool input);

    // The program was asked to quit: a wait under way or to come gives its worker the grace, then
    // the program leaves.
    static void noteQuit();

    // Leaves the program at once with code, as a quit does once its grace is over (tests replace it).
    static void leave(int code);
    // The grace a worker gets once the program is to quit (ms).
    static int graceMs();

    // For tests: how long a worker may show no sign of life, the grace on quitting (ms), and the
    // call that leaves the program (by default stdio is flushed, then _exit). Returns the one before.
    using LeaveCall = void (*)(int code);
    static void setTimes(int stillMs, int graceMs);
    static LeaveCall setLeaveCall(LeaveCall call);
    // For tests: whether the program was asked to quit (cleared with false).
    static void setQuitNoted(bool noted);
};
