#include "app/ui/shared/WorkerEnd.h"

#include "app/RunFolder.h"
#include "app/WorkerSigns.h"
#include "app/ui/shared/PageLife.h"
#include "app/ui/shared/Tips.h"
#include "app/ui/shared/WinMovable.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace
{
constexpr int kLookMs = 50;
constexpr int kFirstLookMs = 20;
int g_stillMs = 3000;
int g_graceMs = 2000;
bool g_quit = false;

void leaveNow(int code)
{
    std::fflush(nullptr); // the log is written line by line; what stdio holds goes out
    RunFolder::removeNow(); // as the program's end would
    ::_exit(code);
}
WorkerEnd::LeaveCall g_leave = leaveNow;

// Sees the program's request to quit while a wait runs (ProgressForm tells of one that came before).
class QuitSeen : public QObject
{
public:
    QuitSeen() { QCoreApplication::instance()->installEventFilter(this); }
    ~QuitSeen() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Quit && watched == QCoreApplication::instance())
            WorkerEnd::noteQuit();
        return false;
    }
};

// The worker's signs of life: the processor time of the threads besides this one, and the looks of
// its task for the cancel. A thread that stays in one call on a file, its own time standing, is
// still however the program's other threads work meanwhile (a preview being decoded, say).
class Life
{
public:
    explicit Life(std::shared_ptr<const TaskCancel::Token> token)
        : m_token(std::move(token))
        , m_self(WorkerSigns::thisThread())
    {
        m_still.start();
        m_stuck.start();
    }
    // Looks again; the time since the signs last moved.
    qint64 stillFor()
    {
        const WorkerSigns::Look signs = WorkerSigns::lookBesides(m_self);
        const quint64 looks = m_token ? m_token->looks.load() : 0;
        if (looks != m_looks || signs.waits != m_waits) {
            m_waits = signs.waits;
            m_stuck.restart();
        }
        if (signs.ticks != m_ticks || looks != m_looks) {
            m_ticks = signs.ticks;
            m_looks = looks;
            m_still.restart();
        }
        return std::max(m_still.elapsed(), m_waits.isEmpty() ? 0 : m_stuck.elapsed());
    }
    pid_t self() const { return m_self; }

private:
    std::shared_ptr<const TaskCancel::Token> m_token;
    pid_t m_self;
    qint64 m_ticks = -2;
    quint64 m_looks = 0;
    QByteArray m_waits;
    QElapsedTimer m_still;
    QElapsedTimer m_stuck; // since the threads waiting on a file last changed
};

// Once the program is to quit: the grace for the worker, then the program leaves without it.
void leaveOnQuit(QThread& thread)
{
    if (!g_quit)
        return;
    WorkerEnd::runEventsFor(thread, g_graceMs, false);
    if (!thread.isFinished())
        g_leave(0);
    g_quit = false; // only a test's leave call returns
}

// The small frameless dialog over the window while the step under way stops: a label alone, made
// at once (no style sheet to parse while the window waits).
std::unique_ptr<QWidget> cancellingDialog(QWidget* parent)
{
    auto dialog = std::make_unique<QWidget>(parent, Qt::Dialog | Qt::FramelessWindowHint);
    dialog->setObjectName(QStringLiteral("CancellingDialog"));
    dialog->setWindowModality(Qt::ApplicationModal);
    auto* text = new QLabel(QCoreApplication::translate("ProgressForm", "IDS_CANCELLING"), dialog.get());
    text->setObjectName(QStringLiteral("lbStatus"));
    auto* layout = new QVBoxLayout(dialog.get());
    layout->setContentsMargins(18, 14, 18, 14);
    layout->addWidget(text);
    dialog->setMinimumWidth(300);
    new WinMovable(dialog.get());
    dialog->show();
    return dialog;
}

// Shows the dialog until the worker ends (true) or stands still too long (false).
bool cancelling(QThread& thread, Life& life, QWidget* parent)
{
    const std::unique_ptr<QWidget> dialog = cancellingDialog(parent);
    while (!thread.isFinished()) {
        WorkerEnd::runEventsFor(thread, kLookMs, true);
        leaveOnQuit(thread);
        if (!thread.isFinished() && life.stillFor() >= g_stillMs)
            return false;
    }
    return true;
}

} // namespace

bool WorkerEnd::runEventsFor(QThread& thread, int ms, bool input)
{
    QTimer wake; // the loop below returns at least this often, and at once when the thread ends
    wake.start(kFirstLookMs);
    bool ended = false;
    QObject::connect(
        &thread, &QThread::finished, &wake, [&ended] { ended = true; }, Qt::QueuedConnection);
    const QDeadlineTimer deadline(ms);
    const auto flags = QEventLoop::WaitForMoreEvents
        | (input ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    while (!thread.isFinished() && !ended && !deadline.hasExpired())
        QCoreApplication::processEvents(flags);
    if (ended)
        thread.wait(1000); // past its last signal: it ends at once, and no dialog waits for that signal
    return thread.isFinished();
}

void WorkerEnd::waitFor(
    QThread& thread, const std::shared_ptr<const TaskCancel::Token>& token, QWidget* parent)
{
    thread.setParent(nullptr);
    // A quit noted is one this wait answers: the next wait's worker is not cut short by it.
    const auto answered = qScopeGuard([] { g_quit = false; });
    if (thread.wait(kFirstLookMs)) // most workers have ended, or do at once
        return;
    const PageLife::Waiting waiting; // the caller's frame, a page's maybe, stays until the worker ends
    const QuitSeen quit;
    if (!token || !token->cancelled.load()) {
        // Ending after its result: it only closes what it opened; the window paints meanwhile.
        while (!thread.isFinished()) {
            WorkerEnd::runEventsFor(thread, kLookMs, false);
            leaveOnQuit(thread);
        }
        return;
    }
    Life life(token);
    if (cancelling(thread, life, parent))
        return;
    const QString place = WorkerSigns::waitedPlaceBesides(life.self());
    Tips::warning(
        QCoreApplication::translate("ProgressForm", "IDS_CANCELLED_DISK_NOT_ANSWERING_%1")
            .arg(place.isEmpty() ? QStringLiteral("the files being written") : place.toHtmlEscaped()));
    // The window answers; the caller's frame, which the worker reads, stays until it ends.
    while (!thread.isFinished()) {
        WorkerEnd::runEventsFor(thread, kLookMs, true);
        leaveOnQuit(thread);
    }
}

void WorkerEnd::noteQuit()
{
    g_quit = true;
}

void WorkerEnd::leave(int code)
{
    g_leave(code);
}

int WorkerEnd::graceMs()
{
    return g_graceMs;
}

void WorkerEnd::setTimes(int stillMs, int graceMs)
{
    g_stillMs = stillMs;
    g_graceMs = graceMs;
}

WorkerEnd::LeaveCall WorkerEnd::setLeaveCall(LeaveCall call)
{
    const LeaveCall before = g_leave;
    g_leave = call ? call : leaveNow;
    return before;
}

void WorkerEnd::setQuitNoted(bool noted)
{
    g_quit = noted;
}
