#include "messages/store/OrderedHandOff.h"

#include <QtTest>
#include <atomic>
#include <chrono>
#include <stdexcept>

namespace
{
// A slow step on one side now and then, so that either side gets ahead of the other.
void jitter(qint64 i, int every)
{
    if (every > 0 && i % every == 0)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}
} // namespace

class TestOrderedHandOff : public QObject
{
    Q_OBJECT

private slots:
    void takesEveryItemInOrderOrStopsCleanly_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("slowMakeEvery");
        QTest::addColumn<int>("slowTakeEvery");
        QTest::addColumn<int>("stopAt"); // take returns false at this item
        QTest::addColumn<int>("makeThrowsAt");
        QTest::addColumn<int>("takeThrowsAt");
        QTest::addColumn<int>("taken"); // items take saw, in order from 0
        QTest::addColumn<QString>("error");

        QTest::newRow("nothing to do") << 0 << 4 << 0 << 0 << -1 << -1 << -1 << 0 << "";
        QTest::newRow("one item") << 1 << 4 << 0 << 0 << -1 << -1 << -1 << 1 << "";
        QTest::newRow("many, room for one") << 500 << 1 << 7 << 5 << -1 << -1 << -1 << 500 << "";
        QTest::newRow("many, maker slow") << 300 << 4 << 3 << 0 << -1 << -1 << -1 << 300 << "";
        QTest::newRow("many, taker slow") << 300 << 4 << 0 << 3 << -1 << -1 << -1 << 300 << "";
        QTest::newRow("taker stops at the first") << 50 << 4 << 0 << 0 << 0 << -1 << -1 << 1 << "";
        QTest::newRow("taker stops midway") << 1000 << 4 << 0 << 9 << 400 << -1 << -1 << 401 << "";
        QTest::newRow("maker fails at the first") << 50 << 4 << 0 << 0 << -1 << 0 << -1 << 0 << "make 0";
        QTest::newRow("maker fails midway, taker slow")
            << 200 << 8 << 0 << 2 << -1 << 120 << -1 << 120 << "make 120";
        QTest::newRow("maker fails at the last") << 64 << 4 << 0 << 0 << -1 << 63 << -1 << 63 << "make 63";
        QTest::newRow("taker fails midway") << 1000 << 4 << 5 << 0 << -1 << -1 << 300 << 300 << "take 300";
        QTest::newRow("taker stops before the maker's failure")
            << 200 << 4 << 0 << 0 << 50 << 51 << -1 << 51 << "";
    }

    void takesEveryItemInOrderOrStopsCleanly()
    {
        QFETCH(int, count);
        QFETCH(int, capacity);
        QFETCH(int, slowMakeEvery);
        QFETCH(int, slowTakeEvery);
        QFETCH(int, stopAt);
        QFETCH(int, makeThrowsAt);
        QFETCH(int, takeThrowsAt);
        QFETCH(int, taken);
        QFETCH(QString, error);

        std::atomic<qint64> made { 0 };
        QList<qint64> seen;
        bool indexAgrees = true;
        QString thrown;
        try {
            OrderedHandOff<QList<qint64>>(capacity).run(
                count,
                [&](qint64 i) {
                    ++made;
                    jitter(i, slowMakeEvery);
                    if (i == makeThrowsAt)
                        throw std::runtime_error(QString("make %1").arg(i).toStdString());
                    return QList<qint64> { i, i * i };
                },
                [&](qint64 i, QList<qint64>& item) {
                    jitter(i, slowTakeEvery);
                    if (i == takeThrowsAt)
                        throw std::runtime_error(QString("take %1").arg(i).toStdString());
                    indexAgrees = indexAgrees && item.size() == 2 && item[1] == i * i;
                    seen.append(item[0]);
                    return i != stopAt;
                });
        } catch (const std::runtime_error& e) {
            thrown = QString::fromStdString(e.what());
        }
        QCOMPARE(thrown, error);
        QVERIFY(indexAgrees);
        QCOMPARE(seen.size(), taken);
        for (int i = 0; i < seen.size(); ++i)
            QCOMPARE(seen[i], qint64(i));
        // The worker never runs far ahead: what it made is what was taken, what waits, and the one
        // item it may have been making when it was told to stop.
        QVERIFY(made <= qMin<qint64>(count, taken + capacity + 2));
    }
};

QTEST_GUILESS_MAIN(TestOrderedHandOff)
#include "TestOrderedHandOff.moc"
