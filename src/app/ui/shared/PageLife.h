#pragma once

#include <QList>
#include <QPointer>

class QObject;

// How long a page the window leaves lives. It is hidden at once and its readings are told to
// stop, but it is deleted only once nothing of its own runs any more: no worker of its own (a
// reading, an export whose Cancel could not stop a step on a disk that does not answer) and no
// action of its whose frames wait on the stack (a progress dialog, a wait for a worker). Even then
// it goes only from the window's own event loop, never from inside a dialog's or a wait's, so no
// frame of the page's is left to return into a page that is gone. GUI thread only.
class PageLife
{
public:
    // While a hold stands, object and each of its ancestors are kept.
    class Hold
    {
    public:
        explicit Hold(const QObject* object);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        QList<const QObject*> m_chain;
    };

    // While one stands, frames wait on the stack in an event loop of their own (a wait for a worker):
    // nothing retired goes, since any of them may be a page's.
    class Waiting
    {
    public:
        Waiting();
        ~Waiting();
        Waiting(const Waiting&) = delete;
        Waiting& operator=(const Waiting&) = delete;
    };

    // Hides object (a widget), tells its readings to stop and deletes it once it is no longer held.
    static void retire(QObject* object);
    // Whether a hold stands on object or on one of its descendants.
    static bool held(const QObject* object);
    // The pages retired and not deleted yet, for tests.
    static int retiredCount();
    // The program is ending: every reading is told to stop, and each retired page whose worker
    // ends within the grace goes. Returns whether any worker still runs.
    static bool endAll(int graceMs);

private:
    static void planSweep();
    static void sweep();
};
