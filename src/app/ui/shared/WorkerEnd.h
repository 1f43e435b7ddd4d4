#pragma once

class QThread;

// The end of a worker whose progress dialog has closed. The worker may still finish the step under
// way (a file being copied) and reads what its caller owns, so the caller waits for it; but the
// window does not freeze meanwhile: it keeps painting, and the user's input (clicks, keys, the
// closing of a window) waits until the worker has ended.
class WorkerEnd
{
public:
    static void waitFor(QThread& thread);
};
