#include "app/ui/shared/PageLife.h"

#include "app/ui/shared/PageRead.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHash>
#include <QThread>
#include <QTimer>
#include <QWidget>

namespace
{
constexpr int kSweepMs = 50;

QHash<const QObject*, int> g_holds;
QList<QPointer<QObject>> g_retired;
int g_waiting = 0;
bool g_sweepPlanned = false;

} // namespace

PageLife::Hold::Hold(const QObject* object)
{
    for (const QObject* o = object; o; o = o->parent()) {
        m_chain.append(o);
        ++g_holds[o];
    }
}

PageLife::Hold::~Hold()
{
    for (const QObject* o : std::as_const(m_chain))
        if (--g_holds[o] <= 0)
            g_holds.remove(o);
    planSweep();
}

PageLife::Waiting::Waiting()
{
    ++g_waiting;
}

PageLife::Waiting::~Waiting()
{
    --g_waiting;
    planSweep();
}

void PageLife::retire(QObject* object)
{
    if (!object)
        return;
    if (auto* widget = qobject_cast<QWidget*>(object))
        widget->hide();
    PageRead::cancelIn(object);
    g_retired.append(object);
    planSweep();
}

bool PageLife::held(const QObject* object)
{
    return g_holds.value(object) > 0;
}

int PageLife::retiredCount()
{
    g_retired.removeAll(QPointer<QObject>());
    return int(g_retired.size());
}

void PageLife::planSweep()
{
    if (g_sweepPlanned || g_retired.isEmpty() || !qApp)
        return;
    g_sweepPlanned = true;
    QTimer::singleShot(kSweepMs, qApp, [] {
        g_sweepPlanned = false;
        sweep();
    });
}

void PageLife::sweep()
{
    // Only the window's own loop deletes, with no wait under way: a dialog's loop or a wait may run
    // over a frame of a page's.
    if (QThread::currentThread()->loopLevel() <= 1 && g_waiting == 0) {
        const QList<QPointer<QObject>> pages = g_retired;
        g_retired.clear();
        for (const QPointer<QObject>& page : pages) {
            if (page && held(page))
                g_retired.append(page);
            else
                delete page.data();
        }
    }
    // Looked at again until each could go: the end of a dialog's loop plans no look of its own.
    planSweep();
}

bool PageLife::endAll(int graceMs)
{
    PageRead::cancelAll();
    QTimer wake; // the loop below looks at least this often
    wake.start(20);
    const QDeadlineTimer deadline(graceMs);
    while (PageRead::anyReading() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    return PageRead::anyReading();
}
