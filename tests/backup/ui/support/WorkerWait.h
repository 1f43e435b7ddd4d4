#pragma once

#include <QString>
#include <functional>

class ProgressForm;
class QThread;

// Runs a worker's progress dialog until the worker ends, while the worker waits for a backup folder
// another process holds. The first "Waiting..." status the dialog shows is kept; then the dialog is
// cancelled (the confirmation answered Yes) or release() lets the other process go. release() also
// runs after neverHangMs, so a wait never said never hangs the test.
struct WorkerWait {
    QString seen; // the status shown while waiting, empty when none was
    int result = -1; // what the dialog's exec() returned
    bool ended = false; // whether the worker ended within 5 s of the dialog

    static WorkerWait run(ProgressForm& form, QThread& worker, bool cancel,
        const std::function<void()>& release, const std::function<void()>& whenSeen = {},
        int neverHangMs = 20000);
};
