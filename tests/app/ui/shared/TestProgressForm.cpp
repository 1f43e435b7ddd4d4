#include "app/IdsTranslator.h"
#include "app/ShownText.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "support/ui/GuiTestEnv.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <memory>

namespace
{

// A worker in the shape the program's threads have: reports progress, polls the cancelled flag,
// ends with success or an error.
class Worker : public QThread
{
public:
    enum class End { Succeed, Error, UntilCancelled, AtPointOfNoReturn };
    Worker(ProgressForm& form, End end, QString message = QString())
        : form(form)
        , end(end)
        , message(std::move(message))
    {
    }

    void run() override
    {
        for (int i = 0; i <= 100; i += 10) {
            if (form.cancelled) {
                stoppedOnCancel = true;
                return;
            }
            form.invokeUpdateProgress(QString("Step %1").arg(i / 10), i, QString());
            ++steps;
            msleep(5);
        }
        if (end == End::AtPointOfNoReturn) {
            while (!gateNow)
                msleep(5);
            if (!(passed = form.passPointOfNoReturn()))
                return void(stoppedOnCancel = true);
            while (!release && !form.cancelled.peek())
                msleep(5);
            return form.invokeSucceed(QString());
        }
        if (end == End::UntilCancelled) {
            while (!form.cancelled) {
                if (release) {
                    form.invokeSucceed(QString());
                    return;
                }
                ++polls;
                msleep(5);
            }
            stoppedOnCancel = true;
            return;
        }
        if (end == End::Succeed)
            form.invokeSucceed(message);
        else
            form.invokeErrorOccurred(message);
    }

    ProgressForm& form;
    End end;
    QString message;
    std::atomic<int> steps = 0;
    std::atomic<int> polls = 0; // looks at the flag while it runs until cancelled
    std::atomic<bool> release = false; // ends such a run with success
    std::atomic<bool> gateNow = false; // comes to its point of no return
    std::atomic<bool> passed = false; // past it
    std::atomic<bool> stoppedOnCancel = false;
};

QPushButton* cancelButton(ProgressForm& form)
{
    return form.findChild<QPushButton*>("btnCancel");
}

// Clicks the form's cancel button once the form is up (the click runs inside exec()), then gives
// `confirmation` to the "are you sure" box that follows.
void clickCancelWhenShown(
    ProgressForm& form, ModalAnswerer& answerer, QMessageBox::StandardButton confirmation)
{
    answerer.answerWith([&form](QWidget* modal) {
        if (modal != &form)
            return false;
        QMetaObject::invokeMethod(cancelButton(form), &QAbstractButton::click, Qt::QueuedConnection);
        return true;
    });
    answerer.answer(confirmation);
}

// Starts a worker on the form; the test runs the form and waits for the worker before it ends.
std::unique_ptr<Worker> startWorker(ProgressForm& form, Worker::End end, const QString& message = QString())
{
    auto worker = std::make_unique<Worker>(form, end, message);
    worker->start();
    return worker;
}

} // namespace

class TestProgressForm : public QObject
{
    Q_OBJECT
private:
    IdsTranslator translator;

private Q_SLOTS:
    void initTestCase() { installEnglishTexts(translator); }

    void workerSucceedsWithMessage()
    {
        ProgressForm form("Exporting");
        QCOMPARE(form.windowTitle(), QString("Exporting"));
        QCOMPARE(form.statusText(), QString("Exporting"));
        QVERIFY(!form.cancelled);
        ModalAnswerer answerer;
        const auto worker = startWorker(form, Worker::End::Succeed, "Export finished.");
        QCOMPARE(form.exec(), 1);
        form.waitForThread(*worker, false);
        QVERIFY(!form.cancelled);
        QCOMPARE(worker->steps.load(), 11);
        QCOMPARE(form.statusText(), QString("Step 10"));
        QCOMPARE(answerer.seen(), QStringList({ "Export finished." }));
        QCOMPARE(answerer.seenIcons().value(0), QMessageBox::Information);
    }

    void emptySuccessShowsNoBox()
    {
        ProgressForm form("Updating");
        ModalAnswerer answerer;
        const auto worker = startWorker(form, Worker::End::Succeed);
        QCOMPARE(form.exec(), 1);
        worker->wait();
        QCOMPARE(answerer.handled(), 0);
    }

    void workerErrorShowsErrorBoxAndCancels()
    {
        ProgressForm form("Saving");
        ModalAnswerer answerer;
        // A name in the message that looks like markup is shown as it is, never rendered.
        const auto worker = startWorker(form, Worker::End::Error, "Disk full at <b>x</b>.");
        QCOMPARE(form.exec(), 0);
        QVERIFY(form.waitForThread(*worker, true));
        QVERIFY(form.cancelled);
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY2(answerer.seen().at(0).contains("Disk full at &lt;b&gt;x&lt;/b&gt;."),
            qPrintable(answerer.seen().at(0)));
        QCOMPARE(answerer.seenIcons().value(0), QMessageBox::Critical);
    }

    void updateProgressRules()
    {
        ProgressForm form("Copying");
        form.updateProgress("Copying files", 40, QString());
        QCOMPARE(form.statusText(), QString("Copying files"));
        QCOMPARE(form.progressValue(), 40);
        QCOMPARE(form.detailText(), QString("Progress:40%"));
        // Empty status keeps the line, negative percent keeps the bar.
        form.updateProgress(QString(), -1, QString());
        QCOMPARE(form.statusText(), QString("Copying files"));
        QCOMPARE(form.progressValue(), 40);
        QCOMPARE(form.detailText(), QString("Progress:40%"));
        form.updateProgress(QString(), 55, "file 3 of 7");
        QCOMPARE(form.progressValue(), 55);
        QCOMPARE(form.detailText(), QString("file 3 of 7"));
        // A negative percent before any value starts from 0, never "-1".
        ProgressForm fresh("x");
        fresh.updateProgress(QString(), -1, QString());
        QCOMPARE(fresh.detailText(), QString("Progress:0%"));
        QCOMPARE(fresh.progressValue(), 0);
    }

    // A report naming a record of megabytes (a file of the backup) shows a bounded head of it.
    void longReportsAreBounded_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("detail");
        QTest::newRow("status of 1 MB") << QString(1 << 20, 's') << "file 1 of 2";
        QTest::newRow("detail of 1 MB") << "Copying files" << QString(1 << 20, 'd');
    }
    void longReportsAreBounded()
    {
        QFETCH(QString, status);
        QFETCH(QString, detail);
        ProgressForm form("Copying");
        form.updateProgress(status, 40, detail);
        for (const QString& shown : { form.statusText(), form.detailText() })
            QVERIFY2(shown.size() <= ShownText::kMaxLine, qPrintable(QString::number(shown.size())));
        QVERIFY(form.statusText().startsWith(status.left(10)));
        QVERIFY(form.detailText().startsWith(detail.left(10)));
    }

    // While the question is open the worker stands still at its look at the flag or at its point of
    // no return, then goes on with the answer: Yes ends it, No lets it finish. A thread asked to stop
    // is not held. Past that point nothing is asked and the worker's result stands. A quit ends the
    // form as a confirmed cancel does, or past that point waits for the worker's result, saying so.
    void cancelAnswered_data()
    {
        QTest::addColumn<bool>("yes"); // the form ends cancelled
        QTest::addColumn<QString>("moment");
        QTest::newRow("Yes") << true << "";
        QTest::newRow("No, the thread asked to stop meanwhile") << false << "";
        QTest::newRow("Yes while the worker waits at its point of no return") << true << "gate, asked";
        QTest::newRow("a click past the point of no return") << false << "gate, past";
        QTest::newRow("a quit") << true << "quit";
        QTest::newRow("a quit past the point of no return") << false << "gate, quit";
    }
    void cancelAnswered()
    {
        QFETCH(bool, yes);
        QFETCH(QString, moment);
        const bool gate = moment.startsWith("gate"), asked = moment == "" || moment == "gate, asked";
        ProgressForm form("Restoring");
        QSignalSpy cancels(&form, &ProgressForm::userCancel);
        ModalAnswerer answerer;
        const auto worker
            = startWorker(form, gate ? Worker::End::AtPointOfNoReturn : Worker::End::UntilCancelled);
        worker->gateNow = gate && !asked;
        const auto resume = qScopeGuard([&] {
            if (moment.endsWith("quit"))
                GuiTestEnv::resumeAfterQuit();
        });
        QString statusWaiting;
        answerer.answerWith([&](QWidget* modal) {
            if (modal != &form
                || !(gate ? worker->steps == 11 && (asked || worker->passed) : worker->polls > 0))
                return false;
            if (moment == "gate, quit")
                QTimer::singleShot(200, &form, [&] {
                    statusWaiting = form.statusText();
                    worker->release = true;
                });
            if (moment.endsWith("quit"))
                return GuiTestEnv::askToQuit(), true;
            QMetaObject::invokeMethod(cancelButton(form), &QAbstractButton::click, Qt::QueuedConnection);
            if (!asked) // once the click was looked at
                QMetaObject::invokeMethod(
                    &form, [&] { worker->release = true; }, Qt::QueuedConnection);
            return true;
        });
        int pollsAsked = -1, pollsStopping = -1;
        answerer.answerWith([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return false;
            worker->gateNow = true;
            const int before = worker->polls;
            QThread::msleep(200);
            pollsAsked = worker->polls + worker->passed - before;
            if (!yes) {
                worker->requestInterruption();
                QThread::msleep(200);
                pollsStopping = worker->polls - before - pollsAsked;
                worker->release = true;
            }
            return ModalAnswerer::click(box, yes ? QMessageBox::Yes : QMessageBox::No);
        });
        QCOMPARE(form.exec(), yes ? 0 : 1);
        QVERIFY(form.waitForThread(*worker, true));
        QCOMPARE(pollsAsked, asked ? 0 : -1);
        QVERIFY(yes || !asked || pollsStopping > 0);
        QCOMPARE(bool(form.cancelled), yes);
        QCOMPARE(worker->stoppedOnCancel.load(), yes);
        QCOMPARE(cancels.size(), yes ? 1 : 0);
        QCOMPARE(
            answerer.seen(), asked ? QStringList({ "Are You Sure You Want To Cancel?" }) : QStringList());
        QCOMPARE(statusWaiting,
            moment == "gate, quit" ? "This step can no longer be cancelled: the program closes when it ends."
                                   : "");
    }

    void notCancelableIgnoresButton()
    {
        ProgressForm form("Upgrading");
        form.setCancelable(false);
        QVERIFY(!cancelButton(form)->isEnabled());
        ModalAnswerer answerer;
        const auto worker = startWorker(form, Worker::End::Succeed);
        QCOMPARE(form.exec(), 1);
        worker->wait();
        QCOMPARE(answerer.handled(), 0);
    }

    void escapeAsksToCancel()
    {
        // Escape (or a window manager's close) reaches reject(): a form that can be cancelled asks
        // as its cancel button does; a stray accept() still does nothing.
        ProgressForm form("Checking");
        QSignalSpy cancels(&form, &ProgressForm::userCancel);
        ModalAnswerer answerer;
        answerer.answerWith([&form](QWidget* modal) {
            if (modal != &form)
                return false;
            form.accept();
            QMetaObject::invokeMethod(
                &form, [&form] { QTest::keyClick(&form, Qt::Key_Escape); }, Qt::QueuedConnection);
            return true;
        });
        answerer.answer(QMessageBox::Yes);
        const auto worker = startWorker(form, Worker::End::UntilCancelled);
        QCOMPARE(form.exec(), 0);
        QVERIFY(form.waitForThread(*worker, true));
        QVERIFY(form.cancelled);
        QCOMPARE(cancels.size(), 1);
        QCOMPARE(answerer.seen(), QStringList({ "Are You Sure You Want To Cancel?" }));
    }

    void escapeOnUncancelableFormDoesNothing()
    {
        ProgressForm form("Working");
        form.setCancelable(false);
        ModalAnswerer answerer;
        answerer.answerWith([&form](QWidget* modal) {
            if (modal != &form)
                return false;
            QTest::keyClick(&form, Qt::Key_Escape);
            form.reject();
            form.accept();
            form.invokeSucceed(QString());
            return true;
        });
        QCOMPARE(form.exec(), 1);
    }

    void resultBeforeExecIsNotLost()
    {
        // Reported on the GUI thread before exec() ran: exec() returns it at once instead of hanging.
        ProgressForm form("Quick");
        form.invokeSucceed(QString());
        QCOMPARE(form.exec(), 1);
        QVERIFY(!form.cancelled);
        ProgressForm failing("Quick");
        ModalAnswerer answerer;
        failing.invokeErrorOccurred("Bad input.");
        QCOMPARE(failing.exec(), 0);
        QVERIFY(failing.cancelled);
    }

    void lateReportsAfterCancelShowNoBox()
    {
        // The worker posts an error after the user cancelled: the dialog has ended, nothing shows.
        ProgressForm form("Restoring");
        ModalAnswerer answerer;
        clickCancelWhenShown(form, answerer, QMessageBox::Yes);
        const auto worker = startWorker(form, Worker::End::UntilCancelled);
        QCOMPARE(form.exec(), 0);
        worker->wait();
        form.invokeErrorOccurred("late");
        form.invokeSucceed("late");
        QTest::qWait(100);
        QCOMPARE(answerer.seen(), QStringList({ "Are You Sure You Want To Cancel?" }));
    }

    void firstReportWins()
    {
        // An error that arrives while the success box is still open neither shows a second box
        // nor turns the success into a failure.
        ProgressForm form("Saving");
        ModalAnswerer answerer;
        answerer.answerWith([&form](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return false;
            form.invokeErrorOccurred("too late");
            return ModalAnswerer::click(box, QMessageBox::Ok);
        });
        form.invokeSucceed("Saved.");
        QCOMPARE(form.exec(), 1);
        QVERIFY(!form.cancelled);
        QCOMPARE(answerer.seen(), QStringList({ "Saved." }));
    }

    void waitForThreadGivesUpWhenCancelled()
    {
        ProgressForm form("x");
        form.cancelled = true;
        std::atomic<bool> stop = false;
        QThread* stuck = QThread::create([&] {
            while (!stop)
                QThread::msleep(10);
        });
        stuck->start();
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!form.waitForThread(*stuck, true));
        QVERIFY(timer.elapsed() >= 1900 && timer.elapsed() < 5000);
        stop = true;
        QVERIFY(form.waitForThread(*stuck, false));
        delete stuck;
    }

    // Helpers of one worker (pool threads) waiting at the same time: a wait stays in view while
    // any lasts, even when the worker reports a status meanwhile; when the last ends, the status
    // from before the waits (or the one reported meanwhile) is shown again, never a wait's.
    void waitsOfSeveralHelpersShowUntilTheLastEnds_data()
    {
        QTest::addColumn<QString>("reported");
        QTest::addColumn<QString>("after");
        QTest::newRow("nothing reported meanwhile") << QString() << "Extracting";
        QTest::newRow("a file reported meanwhile") << "Copying IMG_0005.JPG"
                                                   << "Copying IMG_0005.JPG";
    }
    void waitsOfSeveralHelpersShowUntilTheLastEnds()
    {
        QFETCH(QString, reported);
        QFETCH(QString, after);
        ProgressForm form("Extracting");
        QSemaphore endA, endB;
        std::atomic<int> shown = 0;
        const auto helper = [&form, &shown](const QString& wait, QSemaphore& end) {
            return QThread::create([&form, &shown, wait, &end] {
                const ProgressForm::ReportingScope reporting(&form);
                shown += ProgressForm::invokeWaitOfThisThread(wait) ? 1 : 0;
                end.acquire();
                ProgressForm::invokeWaitEndedOfThisThread();
            });
        };
        std::unique_ptr<QThread> a(helper("Waiting A", endA)), b(helper("Waiting B", endB));
        const auto ended = qScopeGuard([&] { // also when a check fails
            endA.release();
            endB.release();
            a->wait();
            b->wait();
        });
        a->start();
        QTRY_COMPARE(form.statusText(), QString("Waiting A"));
        b->start();
        QTRY_COMPARE(form.statusText(), QString("Waiting B"));
        if (!reported.isEmpty())
            form.invokeUpdateProgress(reported, 40);
        QCOMPARE(form.statusText(), QString("Waiting B"));
        QCOMPARE(form.progressValue(), reported.isEmpty() ? 0 : 40);
        endA.release();
        QVERIFY(a->wait(5000));
        QTest::qWait(50);
        QCOMPARE(form.statusText(), QString("Waiting B"));
        endB.release();
        QVERIFY(b->wait(5000));
        QTRY_COMPARE(form.statusText(), after);
        QCOMPARE(shown.load(), 2);
    }

    // A helper reports to the worker's form only within its scope: there its waits are shown and
    // the form's cancel reaches it; afterwards the thread (a pool thread, reused) reports to none.
    void aHelperReportsToTheFormWithinItsScope()
    {
        ProgressForm form("Extracting");
        std::atomic<int> state = 0; // 1: in scope, 2: checked after cancel
        bool shown = false, cancelledBefore = true, cancelledAfter = false, shownAfter = true;
        std::unique_ptr<QThread> helper(QThread::create([&] {
            {
                const ProgressForm::ReportingScope reporting(&form);
                shown = ProgressForm::invokeWaitOfThisThread("Waiting");
                cancelledBefore = ProgressForm::cancelledForThisThread();
                state = 1;
                while (!form.cancelled)
                    QThread::msleep(5);
                cancelledAfter = ProgressForm::cancelledForThisThread();
                ProgressForm::invokeWaitEndedOfThisThread();
            }
            shownAfter = ProgressForm::invokeWaitOfThisThread("Waiting again");
        }));
        helper->start();
        QTRY_VERIFY(state == 1);
        form.cancelled = true;
        QVERIFY(helper->wait(5000));
        QVERIFY(shown);
        QVERIFY(!cancelledBefore);
        QVERIFY(cancelledAfter);
        QVERIFY(!shownAfter);
        QTRY_COMPARE(form.statusText(), QString("Extracting"));
    }

    void screenshot()
    {
        ProgressForm form("Exporting messages");
        form.updateProgress("Exporting conversation 3 of 12", 42, QString());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        GuiTestEnv::screenshot(&form, "progress-form");
    }
};

QTEST_MAIN(TestProgressForm)
#include "TestProgressForm.moc"
