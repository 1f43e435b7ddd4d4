#include "app/ui/shared/ProgressForm.h"

#include "app/ShownText.h"
#include "app/StyleSheet.h"
#include "app/WrittenDisks.h"
#include "app/ui/shared/Tips.h"
#include "app/ui/shared/WinMovable.h"
#include "app/ui/shared/WorkerEnd.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <map>
#include <vector>

namespace
{

// The dialog each worker thread last reported to; a dialog leaves it when it is destroyed.
struct Reporters {
    std::mutex mutex;
    std::map<QThread*, ProgressForm*> formOf;
};

Reporters& reporters()
{
    static Reporters* r = new Reporters; // never destroyed: workers may report past main
    return *r;
}

// The forms inside exec() (of the dialogs' thread), innermost last. While any runs, a filter on the
// application sees a request to quit before the windows are closed (which would ask the question).
class QuitWatch : public QObject
{
public:
    static std::vector<ProgressForm*>& running()
    {
        static std::vector<ProgressForm*> forms;
        return forms;
    }

    explicit QuitWatch(ProgressForm* form)
        : m_form(form)
    {
        if (running().empty())
            QCoreApplication::instance()->installEventFilter(filter());
        running().push_back(form);
    }
    ~QuitWatch() override
    {
        std::erase(running(), m_form);
        if (running().empty())
            QCoreApplication::instance()->removeEventFilter(filter());
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Quit && watched == QCoreApplication::instance())
            ProgressForm::endAllForQuit();
        return false; // the quit goes on
    }

private:
    QuitWatch() = default;
    static QuitWatch* filter()
    {
        static QuitWatch* watch = new QuitWatch; // never destroyed
        return watch;
    }

    ProgressForm* m_form = nullptr;
};

} // namespace

ProgressForm::ProgressForm(const QString& title, QWidget* parent)
    : QDialog(parent)
{
    setObjectName("ProgressForm");
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    if (!parent)
        setWindowModality(Qt::ApplicationModal);
    setWindowTitle(title);
    setStyleSheet(getStyleSheet());
    new WinMovable(this);

    m_status = new QLabel(title, this);
    m_status->setObjectName("lbStatus");
    m_status->setWordWrap(true);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName("progressBar");
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    m_detail = new QLabel(this);
    m_detail->setObjectName("lbDetail");
    m_detail->setWordWrap(true);
    m_btnCancel = new QPushButton(tr("IDS_CANCEL"), this);
    m_btnCancel->setObjectName("btnCancel");
    m_btnCancel->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 14, 18, 14);
    layout->setSpacing(8);
    layout->addWidget(m_status);
    layout->addWidget(m_bar);
    layout->addWidget(m_detail);
    layout->addLayout(buttons);
    setMinimumWidth(440);

    connect(m_btnCancel, &QPushButton::clicked, this, &ProgressForm::onBtnCancel);
    connect(this, &QDialog::finished, this, &ProgressForm::onFinish);
}

ProgressForm::~ProgressForm()
{
    Reporters& r = reporters();
    const std::lock_guard<std::mutex> lock(r.mutex);
    std::erase_if(r.formOf, [this](const auto& entry) { return entry.second == this; });
}

void ProgressForm::noteReportingThread()
{
    QThread* current = QThread::currentThread();
    if (current == thread())
        return;
    if (!TaskCancel::boundTo(cancelled.token().get()))
        TaskCancel::bindThisThread(cancelled.token());
    Reporters& r = reporters();
    const std::lock_guard<std::mutex> lock(r.mutex);
    r.formOf[current] = this;
}

bool ProgressForm::invokeWaitOfThisThread(const QString& status)
{
    Reporters& r = reporters();
    const std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.formOf.find(QThread::currentThread());
    if (it == r.formOf.end())
        return false;
    ProgressForm* form = it->second;
    QMetaObject::invokeMethod(
        form,
        [form, status] {
            // Several helpers of one worker may wait at once: the status from before the first
            // wait is the one to show again.
            if (form->m_waits++ == 0)
                form->m_statusBeforeWait = form->statusText();
            form->m_status->setText(ShownText::line(status));
            form->growToFit();
        },
        Qt::QueuedConnection);
    return true;
}

void ProgressForm::invokeWaitEndedOfThisThread()
{
    Reporters& r = reporters();
    const std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.formOf.find(QThread::currentThread());
    if (it == r.formOf.end())
        return;
    ProgressForm* form = it->second;
    QMetaObject::invokeMethod(
        form,
        [form] {
            if (form->m_waits > 0 && --form->m_waits == 0)
                form->m_status->setText(form->m_statusBeforeWait);
        },
        Qt::QueuedConnection);
}

bool ProgressForm::cancelledForThisThread()
{
    Reporters& r = reporters();
    const std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.formOf.find(QThread::currentThread());
    // Peeked: the caller's wait does no work, and the lock must not be held while a read waits.
    return it != r.formOf.end() && it->second->cancelled.peek();
}

ProgressForm::ReportingScope::ReportingScope(ProgressForm* form)
    : m_form(form)
    , m_cancel(form->cancelled.token())
{
    Reporters& r = reporters();
    const std::lock_guard<std::mutex> lock(r.mutex);
    r.formOf[QThread::currentThread()] = form;
}

ProgressForm::ReportingScope::~ReportingScope()
{
    Reporters& r = reporters();
    const std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.formOf.find(QThread::currentThread());
    if (it != r.formOf.end() && it->second == m_form)
        r.formOf.erase(it);
}

void ProgressForm::setCancelable(bool cancelable)
{
    m_btnCancel->setEnabled(cancelable);
}

bool ProgressForm::passPointOfNoReturn()
{
    if (!cancelled.passFinal())
        return false;
    QMetaObject::invokeMethod(
        this, [this] { m_btnCancel->setEnabled(false); }, Qt::AutoConnection);
    return true;
}

void ProgressForm::endAllForQuit()
{
    WorkerEnd::noteQuit(); // the waits for the workers these forms end are bounded from now on
    // A copy: a form that waits runs events meanwhile.
    const std::vector<ProgressForm*> forms = QuitWatch::running();
    for (auto it = forms.crbegin(); it != forms.crend(); ++it)
        (*it)->endForQuit();
}

void ProgressForm::endForQuit()
{
    if (m_ended)
        return;
    if (!cancelled.confirm()) {
        waitForFinalResult();
        return;
    }
    m_ended = true;
    emit userCancel();
    finishWith(0);
}

// The worker is past its point of no return: its result stands, and is shown as usual. A worker that
// ended without one (a fault) ends the wait all the same.
void ProgressForm::waitForFinalResult()
{
    m_closing = true;
    m_status->setText(tr("IDS_QUIT_WHEN_THIS_STEP_ENDS"));
    growToFit();
    const QPointer<QThread> worker = cancelled.finalBy();
    QTimer tick; // looks at the worker now and then
    tick.start(50);
    while (!m_ended) {
        const bool workerEnded = !worker || worker->isFinished();
        // Events only: the program is closing, nothing new is started.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents
            | (workerEnded ? QEventLoop::AllEvents : QEventLoop::WaitForMoreEvents));
        if (workerEnded && !m_ended) {
            m_ended = true;
            finishWith(0);
        }
    }
}

void ProgressForm::invokeUpdateProgress(const QString& status, int percent, const QString& text)
{
    noteReportingThread();
    QMetaObject::invokeMethod(
        this, [this, status, percent, text] { updateProgress(status, percent, text); }, Qt::AutoConnection);
}

void ProgressForm::invokeSucceed(const QString& text)
{
    // Success is told once the files the task made are on the disk.
    QString unsynced;
    if (!WrittenDisks::syncThisThread(&unsynced))
        return invokeErrorOccurred(unsynced);
    noteReportingThread();
    QMetaObject::invokeMethod(
        this, [this, text] { succeed(text); }, Qt::AutoConnection);
}

void ProgressForm::invokeErrorOccurred(const QString& message, bool markup)
{
    WrittenDisks::forgetThisThread();
    noteReportingThread();
    QMetaObject::invokeMethod(
        this, [this, message, markup] { errorOccurred(message, markup); }, Qt::AutoConnection);
}

void ProgressForm::updateProgress(const QString& status, int percent, const QString& text)
{
    // A wait stays in view as long as it lasts; what the worker reported meanwhile follows it. The
    // wait of a closing program stays to the end.
    // A report may name a record (a file of the backup): the lines show a bounded head of it.
    if (!status.isEmpty() && m_waits > 0)
        m_statusBeforeWait = ShownText::line(status);
    else if (!status.isEmpty() && !m_closing)
        m_status->setText(ShownText::line(status));
    if (percent < 0)
        percent = m_bar->value();
    m_bar->setValue(qBound(0, percent, 100));
    m_detail->setText(text.isEmpty() ? QString("Progress:%1%").arg(percent) : ShownText::line(text));
    growToFit();
}

void ProgressForm::growToFit()
{
    const int needed
        = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width()) : sizeHint().height();
    if (needed > height())
        resize(width(), needed);
}

void ProgressForm::succeed(const QString& text)
{
    // The first report wins; it is marked before its box opens, so a report arriving while the
    // box is up cannot show a second box or change the result.
    if (m_ended)
        return;
    m_ended = true;
    m_bar->setValue(100);
    m_resultText = text;
    if (!text.isEmpty() && !m_quiet)
        Tips::info(text);
    finishWith(1);
}

void ProgressForm::errorOccurred(const QString& message, bool markup)
{
    if (m_ended)
        return;
    m_ended = true;
    m_failed = true;
    m_resultText = message;
    if (!m_quiet)
        markup ? Tips::error(message) : Tips::plainError(message);
    finishWith(0);
}

void ProgressForm::onBtnCancel()
{
    // Past the worker's point of no return nothing is asked.
    if (m_ended || !m_btnCancel->isEnabled() || !cancelled.startAsking())
        return;
    // The workers wait while the question is open, and go on with its answer however it ends.
    auto answered = qScopeGuard([this] { cancelled.setAsking(false); });
    if (!Tips::question("Are You Sure You Want To Cancel?"))
        return;
    // The worker may have finished while the question was open (or, on this thread, passed its
    // point of no return); its result stands. Else the cancel is set before the workers go on, so
    // that none of them takes another step.
    if (m_ended || !cancelled.confirm())
        return;
    answered.dismiss();
    m_ended = true;
    emit userCancel();
    finishWith(0);
}

ProgressForm::CancelFlag::~CancelFlag()
{
    m_token->ended = true;
    // A reader still waiting goes on before the flag goes.
    setAsking(false);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_waiting == 0; });
}

ProgressForm::CancelFlag::operator bool() const
{
    QThread* current = QThread::currentThread();
    if (current != m_owner->thread() && !TaskCancel::boundTo(m_token.get()))
        TaskCancel::bindThisThread(m_token); // a thread that polls the form works for it
    if (m_asking.load() && current != m_owner->thread())
        return waitForAnswer();
    return m_value.load();
}

bool ProgressForm::CancelFlag::waitForAnswer() const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    waitWhileAsking(lock);
    return m_value.load();
}

void ProgressForm::CancelFlag::waitWhileAsking(std::unique_lock<std::mutex>& lock) const
{
    ++m_waiting;
    // Looked at in steps: a program that closes, or a thread asked to stop, never waits on.
    while (m_asking.load() && !QCoreApplication::closingDown()
        && !QThread::currentThread()->isInterruptionRequested())
        m_changed.wait_for(lock, std::chrono::milliseconds(100));
    --m_waiting;
    m_changed.notify_all();
}

bool ProgressForm::CancelFlag::startAsking()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_final)
        return false;
    m_asking.store(true);
    return true;
}

bool ProgressForm::CancelFlag::confirm()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_final)
            return false;
        m_value.store(true);
        m_asking.store(false);
    }
    m_changed.notify_all();
    return true;
}

bool ProgressForm::CancelFlag::passFinal()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (QThread::currentThread() != m_owner->thread())
        waitWhileAsking(lock);
    // A question still open (asked on this very thread, or its wait left unanswered) keeps the way
    // back open: the step is not taken.
    if (m_value.load() || m_asking.load())
        return false;
    m_final = true;
    m_finalBy = QThread::currentThread();
    return true;
}

QPointer<QThread> ProgressForm::CancelFlag::finalBy() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_finalBy;
}

ProgressForm::CancelFlag& ProgressForm::CancelFlag::operator=(bool value)
{
    m_value.store(value);
    return *this;
}

void ProgressForm::CancelFlag::setAsking(bool asking)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_asking.store(asking);
    }
    m_changed.notify_all();
}

void ProgressForm::finishWith(int result)
{
    if (m_running)
        done(result);
    else
        m_pendingResult = result; // exec() not started yet: it returns this at once
}

void ProgressForm::onFinish(int result)
{
    cancelled = (result == 0);
}

int ProgressForm::exec()
{
    if (m_pendingResult >= 0) {
        const int result = m_pendingResult;
        m_pendingResult = -1;
        setResult(result);
        emit finished(result);
        return result;
    }
    m_running = true;
    const QuitWatch watch(this);
    int result = QDialog::exec();
    // Its loop ended without a result: the program is ending (its event loops were told to exit).
    if (!m_ended) {
        endForQuit();
        result = this->result();
    }
    m_running = false;
    return result;
}

void ProgressForm::accept() { }

// Escape and a window's close: the same confirmed cancel as the button, when it is enabled.
void ProgressForm::reject()
{
    onBtnCancel();
}

bool ProgressForm::waitForThread(QThread& thread, bool terminate)
{
    while (!thread.wait(1000)) {
        if (terminate && cancelled)
            return thread.wait(1000);
    }
    return true;
}

QString ProgressForm::statusText() const
{
    return m_status->text();
}

QString ProgressForm::detailText() const
{
    return m_detail->text();
}

int ProgressForm::progressValue() const
{
    return m_bar->value();
}
