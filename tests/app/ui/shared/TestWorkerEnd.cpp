#include "app/IdsTranslator.h"
#include "app/OutputFile.h"
#include "app/ui/shared/OffThread.h"
#include "app/ui/shared/PageActions.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "app/ui/shared/WorkerEnd.h"
#include "app/ui/support/DialogAnswers.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "support/ForeignDisk.h"
#include "support/ui/GuiTestEnv.h"
#include "support/ui/TickGaps.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <memory>
#include <thread>

namespace
{

// What showed during the wait: the "Cancelling…" dialog (looked for now and then) and the boxes.
struct Seen {
    bool cancellingDialog = false;
    QStringList boxes;
};

void watchForCancellingDialog(QObject* context, Seen& seen)
{
    auto* look = new QTimer(context);
    QObject::connect(look, &QTimer::timeout, context, [&seen] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "CancellingDialog" && w->isVisible() && !seen.cancellingDialog) {
                seen.cancellingDialog = true;
                GuiTestEnv::screenshot(w, "cancelling");
            }
    });
    look->start(100);
}

std::atomic<int> g_left { -1 };
std::atomic<bool> g_release { false };
void leaveAndRelease(int code)
{
    g_left = code;
    g_release = true;
    g_release.notify_all();
}

} // namespace

// The wait for a worker after its dialog has closed.
class TestWorkerEnd : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { installEnglishTexts(m_texts); }

    void cleanup()
    {
        Tips::setAnswerer(nullptr);
        WorkerEnd::setTimes(3000, 2000);
        WorkerEnd::setLeaveCall(nullptr);
        WorkerEnd::setQuitNoted(false);
    }

    // A worker still finishing a step: the window goes on painting (its timers and posted events
    // run) and the wait returns only once the worker has ended.
    void theWindowKeepsGoingUntilTheWorkerEnds()
    {
        std::atomic<bool> ended = false;
        std::unique_ptr<QThread> worker(QThread::create([&ended] {
            QThread::msleep(400);
            ended = true;
        }));
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&ticks] { ++ticks; });
        tick.start(10);
        worker->start();
        QElapsedTimer took;
        took.start();
        WorkerEnd::waitFor(*worker);
        QVERIFY(ended);
        QVERIFY(worker->isFinished());
        QVERIFY(took.elapsed() >= 350);
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    }

    // Small file work the window leaves to a thread: it runs there, the window paints meanwhile, and
    // what it throws reaches the caller.
    void offThreadWorkRunsBesideTheWindow()
    {
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&ticks] { ++ticks; });
        tick.start(10);
        bool onWindowThread = true;
        OffThread::run([&] {
            onWindowThread = QThread::currentThread() == qApp->thread();
            QThread::msleep(300);
        });
        QVERIFY(!onWindowThread);
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        QVERIFY_THROWS_EXCEPTION(
            std::runtime_error, OffThread::run([] { throw std::runtime_error("disk full"); }));
    }

    // After a confirmed cancel the window never waits on the worker: "Cancelling…" shows while the
    // step under way stops; a worker held by a disk that does not answer (its server stopped) is
    // left once it shows no sign of life for a few seconds, the user told which disk; so too while
    // another thread of the program keeps working.
    void cancelNeverHoldsTheWindow_data()
    {
        QTest::addColumn<bool>("diskStops");
        QTest::addColumn<bool>("busyBeside");
        QTest::newRow("the step stops within a block") << false << false;
        QTest::newRow("a write waits on a disk that does not answer") << true << false;
        QTest::newRow("the same while another thread works") << true << true;
    }
    void cancelNeverHoldsTheWindow()
    {
        QFETCH(bool, diskStops);
        QFETCH(bool, busyBeside);
        std::unique_ptr<ForeignDisk> disk;
        if (diskStops) {
            disk = std::make_unique<ForeignDisk>(ForeignDisk::Kind::Fat);
            if (!disk->isMounted())
                QSKIP(qPrintable(disk->whyNot()));
        }
        auto token = std::make_shared<TaskCancel::Token>();
        std::atomic<int> blocks = 0;
        // Writes blocks until cancelled, looking for the cancel between them, as a copy does.
        std::unique_ptr<QThread> worker(QThread::create([&] {
            const TaskCancel::Scope scope(token);
            OutputFile out(disk ? disk->path() + "/big.bin" : QDir::tempPath() + "/qm-worker-end.bin");
            if (!out.open(QIODevice::WriteOnly))
                return;
            const QByteArray block(64 * 1024, 'x');
            while (!TaskCancel::requested() && out.write(block) == block.size()) {
                ++blocks;
                QThread::msleep(diskStops ? 1 : 600);
            }
        }));
        std::atomic<bool> busy = busyBeside;
        std::thread other([&busy] {
            while (busy) { // a quarter of a processor, as a preview being decoded
                QElapsedTimer spin;
                spin.start();
                while (spin.elapsed() < 5) { }
                QThread::msleep(15);
            }
        });
        const auto endOther = qScopeGuard([&] {
            busy = false;
            other.join();
        });
        worker->start();
        QTRY_VERIFY(blocks >= 2);
        if (disk) {
            QVERIFY(disk->stop());
            QThread::msleep(300); // the write under way now waits on the disk
        }
        token->cancelled = true;
        Seen seen;
        watchForCancellingDialog(this, seen);
        Tips::setAnswerer([&](QMessageBox& box) {
            seen.boxes << box.text();
            GuiTestEnv::screenshot(&box, "disk-does-not-answer");
            QTimer::singleShot(500, this, [&disk] { disk->resume(); });
            box.buttons().first()->click();
        });
        const TickGaps gaps;
        QElapsedTimer took;
        took.start();
        WorkerEnd::waitFor(*worker, token);
        QVERIFY(worker->isFinished());
        QVERIFY2(gaps.longest() < 200, qPrintable(QString::number(gaps.longest())));
        QVERIFY(seen.cancellingDialog);
        if (!diskStops) {
            QCOMPARE(seen.boxes, QStringList());
            return;
        }
        QCOMPARE(seen.boxes,
            QStringList { QString("Cancelled, but the disk of %1 does not answer: the step under way waits "
                                  "for it, and ends on its own once the disk answers again.")
                              .arg(disk->path()) });
        QVERIFY2(
            took.elapsed() >= 3000 && took.elapsed() < 8000, qPrintable(QString::number(took.elapsed())));
    }

    // The same through a page's worker road, the user pressing Cancel and Yes while an export
    // writes onto a disk that stops answering: the window runs its events all along.
    void aPageCancelNeverHoldsTheWindow()
    {
        ForeignDisk disk(ForeignDisk::Kind::Fat);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));
        std::atomic<int> blocks = 0;
        ModalAnswerer answerer;
        QString status;
        DialogAnswers::answerProgress(answerer, &status, true, [&](ProgressForm*) {
            QTRY_VERIFY(blocks >= 5);
            QVERIFY(disk.stop());
        });
        answerer.answerWith([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            // Which disk the text names is checked where the worker's call is known (above); here
            // the worker may be caught between calls, and the text then names no place.
            if (!box || !box->text().startsWith("Cancelled, but the disk of "))
                return false;
            QTimer::singleShot(500, this, [&disk] { disk.resume(); });
            return ModalAnswerer::click(box, QMessageBox::Ok);
        });
        const TickGaps gaps;
        const bool ok = PageActions::runWorker(nullptr, "Exporting", [&](ProgressForm& form) {
            return std::unique_ptr<QThread>(QThread::create([&] {
                OutputFile out(disk.path() + "/calls.csv");
                const QByteArray block(64 * 1024, 'x');
                if (!out.open(QIODevice::WriteOnly))
                    return form.invokeErrorOccurred(out.failure());
                while (!form.cancelled && out.write(block) == block.size()) {
                    form.invokeUpdateProgress(QString(), -1, QString::number(++blocks));
                    QThread::msleep(1);
                }
            }));
        });
        QVERIFY(!ok);
        QCOMPARE(status, QString("Exporting"));
        QCOMPARE(answerer.seen().size(), 2); // the question, then which disk does not answer
        QVERIFY2(gaps.longest() < 200, qPrintable(QString::number(gaps.longest())));
    }

    // Leaving the program gives a worker that was left a short grace, then leaves without it.
    void quitDoesNotWaitForALeftWorker()
    {
        WorkerEnd::setTimes(300, 500);
        WorkerEnd::setLeaveCall(leaveAndRelease);
        g_left = -1;
        g_release = false;
        auto token = std::make_shared<TaskCancel::Token>();
        token->cancelled = true;
        std::unique_ptr<QThread> worker(QThread::create([] {
            g_release.wait(false); // waits without a sign of life, as on a disk
        }));
        worker->start();
        Tips::setAnswerer([](QMessageBox& box) {
            GuiTestEnv::askToQuit();
            box.buttons().first()->click();
        });
        const TickGaps gaps;
        QElapsedTimer took;
        took.start();
        WorkerEnd::waitFor(*worker, token);
        QCOMPARE(g_left.load(), 0);
        QVERIFY2(took.elapsed() >= 800 && took.elapsed() < 3000, qPrintable(QString::number(took.elapsed())));
        QVERIFY2(gaps.longest() < 200, qPrintable(QString::number(gaps.longest())));
        GuiTestEnv::resumeAfterQuit();
    }

private:
    IdsTranslator m_texts;
};

QTEST_MAIN(TestWorkerEnd)
#include "TestWorkerEnd.moc"
