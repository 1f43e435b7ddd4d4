#include "app/ThreadHeapReserve.h"

#include <QtTest>
#include <cstdlib>
#include <thread>
#include <vector>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

class TestThreadHeapReserve : public QObject
{
    Q_OBJECT
private slots:
    // While the reserve lives, small allocations of up to its size on the same thread take the
    // reserved reach: the heaps' system memory does not grow again.
    void smallAllocationsUseTheReach_data()
    {
        QTest::addColumn<qsizetype>("reserve");
        QTest::addColumn<qsizetype>("used"); // in allocations of 88 bytes (96 with the allocator's header)
        QTest::newRow("8 MiB, half used") << qsizetype(8 << 20) << qsizetype(4 << 20);
        QTest::newRow("8 MiB, nearly all used") << qsizetype(8 << 20) << qsizetype(7 << 20);
        QTest::newRow("100 MiB, across heaps") << qsizetype(100 << 20) << qsizetype(90 << 20);
        QTest::newRow("one block") << qsizetype(1) << qsizetype(32 << 10);
    }
    void smallAllocationsUseTheReach()
    {
#if !defined(__GLIBC__)
        QSKIP("only glibc's heaps are reserved");
#else
        QFETCH(qsizetype, reserve);
        QFETCH(qsizetype, used);
        std::size_t grown = 0;
        std::thread([&] {
            std::vector<void*> small;
            small.reserve(std::size_t(used / 96));
            const ThreadHeapReserve kept { std::size_t(reserve) };
            const std::size_t reach = mallinfo2().arena;
            for (qsizetype done = 0; done < used; done += 96)
                small.push_back(std::malloc(88));
            grown = mallinfo2().arena - reach;
            for (void* p : small)
                std::free(p);
        }).join();
        QCOMPARE(grown, std::size_t(0));
#endif
    }

    void nothingReserved()
    {
        const ThreadHeapReserve none { 0 };
        void* p = std::malloc(16);
        QVERIFY(p);
        std::free(p);
    }
};

QTEST_GUILESS_MAIN(TestThreadHeapReserve)
#include "TestThreadHeapReserve.moc"
