#include "app/ui/shared/WorkerEnd.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <memory>

// The wait for a worker after its dialog has closed.
class TestWorkerEnd : public QObject
{
    Q_OBJECT
private Q_SLOTS:
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
};

QTEST_MAIN(TestWorkerEnd)
#include "TestWorkerEnd.moc"
