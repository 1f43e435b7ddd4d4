#include "app/ui/shared/PageRead.h"

#include "app/ui/shared/PageLife.h"
#include "app/ui/shared/Tips.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>

namespace
{
QList<PageRead*> g_reads;

// The sign over the middle of the page while it reads; clicks go through it to nothing (the page
// waits meanwhile).
class ReadingSign : public QLabel
{
public:
    explicit ReadingSign(QWidget* page)
        : QLabel(QCoreApplication::translate("PageRead", "IDS_BK_STATUS_READING"), page)
    {
        setObjectName(QStringLiteral("lbPageReading"));
        setAlignment(Qt::AlignCenter);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setStyleSheet(
            QStringLiteral("#lbPageReading { background: #F1F5FB; color: #333333; border: 1px solid "
                           "#C9D3E3; padding: 10px 24px; }"));
        page->installEventFilter(this);
        hide();
    }

    void place()
    {
        adjustSize();
        const QWidget* page = parentWidget();
        move((page->width() - width()) / 2, (page->height() - height()) / 2);
        raise();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == parent() && event->type() == QEvent::Resize && isVisible())
            place();
        return false;
    }
};

} // namespace

// One reading: its worker, its cancel and what it ended with. The hold keeps the page while the
// worker runs.
struct PageRead::Run {
    std::shared_ptr<TaskCancel::Token> token = std::make_shared<TaskCancel::Token>();
    std::unique_ptr<QThread> thread;
    std::unique_ptr<PageLife::Hold> hold;
    Shown shown;
    QString failure;
    bool cancelled = false; // the worker stopped on the cancel
};

PageRead::PageRead(QWidget* page)
    : QObject(page)
    , m_page(page)
    , m_sign(new ReadingSign(page))
{
    g_reads.append(this);
}

PageRead::~PageRead()
{
    g_reads.removeAll(this);
    end();
}

void PageRead::end()
{
    // Only a page deleted with its reading under way (the program ending, a test's page) waits here.
    m_current.reset();
    for (const std::shared_ptr<Run>& run : std::as_const(m_runs)) {
        run->token->cancelled = true;
        run->thread->requestInterruption();
    }
    for (const std::shared_ptr<Run>& run : std::as_const(m_runs))
        run->thread->wait();
    m_runs.clear();
}

void PageRead::start(Read read, Shown shown)
{
    cancel();
    auto run = std::make_shared<Run>();
    run->shown = std::move(shown);
    run->hold = std::make_unique<PageLife::Hold>(m_page);
    run->thread.reset(QThread::create([run = run.get(), token = run->token, read = std::move(read)] {
        const TaskCancel::Scope scope(token);
        try {
            read();
        } catch (const TaskCancel::Cancelled&) {
            run->cancelled = true;
        } catch (const std::exception& e) {
            run->failure = QString::fromUtf8(e.what());
            if (run->failure.isEmpty())
                run->failure = QStringLiteral("?");
        } catch (...) {
            run->failure = QStringLiteral("?");
        }
    }));
    run->thread->setObjectName(QStringLiteral("PageRead"));
    // Weak: the connection lives in the thread, which the run owns.
    connect(
        run->thread.get(), &QThread::finished, this,
        [this, weak = std::weak_ptr<Run>(run)] {
            if (const std::shared_ptr<Run> ended = weak.lock())
                this->ended(ended);
        },
        Qt::QueuedConnection);
    m_current = run;
    m_runs.append(run);
    showSign(true);
    run->thread->start();
}

void PageRead::cancel()
{
    if (!m_current)
        return;
    m_current->token->cancelled = true;
    if (m_current->thread)
        m_current->thread->requestInterruption();
    m_current.reset();
    showSign(false);
}

void PageRead::ended(const std::shared_ptr<Run>& run)
{
    m_runs.removeOne(run);
    run->thread->wait();
    run->hold.reset();
    if (run != m_current)
        return; // cancelled: its result is dropped
    m_current.reset();
    showSign(false);
    run->shown(run->cancelled ? QString() : run->failure);
    emit shown();
}

void PageRead::showSign(bool reading)
{
    // The page's actions wait for its data (a delete must not meet the reading in its database);
    // those it makes right after the reading started are caught by the second look.
    const auto setActions = [page = QPointer<QWidget>(m_page), reading] {
        if (!page)
            return;
        for (QAction* action : page->findChildren<QAction*>())
            action->setEnabled(!reading);
    };
    setActions();
    if (reading)
        QTimer::singleShot(0, this, [this, setActions] {
            if (m_current)
                setActions();
        });
    m_page->setEnabled(!reading);
    auto* sign = static_cast<ReadingSign*>(m_sign);
    sign->setVisible(reading);
    if (reading)
        sign->place();
}

void PageRead::tellFailure(const QString& failure) const
{
    if (failure.isEmpty() || (m_told && m_told(failure)))
        return;
    Tips::plainError(failure);
}

namespace
{
bool within(const PageRead* read, const QObject* object)
{
    for (const QObject* o = read; o; o = o->parent())
        if (o == object)
            return true;
    return false;
}
} // namespace

void PageRead::cancelIn(const QObject* object)
{
    for (PageRead* read : std::as_const(g_reads))
        if (within(read, object))
            read->cancel();
}

bool PageRead::readingIn(const QObject* object)
{
    return std::any_of(
        g_reads.begin(), g_reads.end(), [&](const PageRead* r) { return within(r, object) && r->reading(); });
}

void PageRead::setToldIn(const QObject* object, const Told& told)
{
    for (PageRead* read : std::as_const(g_reads))
        if (within(read, object))
            read->m_told = told;
}

void PageRead::cancelAll()
{
    for (PageRead* read : std::as_const(g_reads))
        read->cancel();
}

bool PageRead::anyReading()
{
    return std::any_of(g_reads.begin(), g_reads.end(), [](const PageRead* r) { return r->reading(); });
}
