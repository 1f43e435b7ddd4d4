#include "backup/BackupFolderLock.h"
#include "support/TestEnv.h"

#include <QElapsedTimer>
#include <QtTest>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <thread>

using Mode = BackupFolderLock::Mode;
Q_DECLARE_METATYPE(BackupFolderLock::Mode)

namespace
{

using Clock = std::chrono::steady_clock;

// Another program, or a file system, as the test plays it: while it lasts, every lock of the folder
// fails with error. A call that would wait is counted, and waits until the end as it would.
struct Contention {
    std::atomic<bool> on { false };
    std::atomic<int> error { 0 };
    Clock::time_point until;
    std::atomic<int> blockingCalls { 0 };
};
Contention contention;

int contendedLock(int fd, int operation)
{
    const int kind = operation & ~LOCK_NB;
    if (kind == LOCK_UN || !contention.on || Clock::now() >= contention.until)
        return ::flock(fd, operation);
    if (!(operation & LOCK_NB)) {
        ++contention.blockingCalls;
        std::this_thread::sleep_until(contention.until);
        return ::flock(fd, operation);
    }
    if (contention.error == EWOULDBLOCK)
        ::flock(fd, LOCK_UN); // a failed change of a lock drops the one held
    errno = contention.error;
    return -1;
}

std::mutex logMutex;
QStringList logged;

void keepMessage(QtMsgType, const QMessageLogContext&, const QString& text)
{
    const std::lock_guard<std::mutex> lock(logMutex);
    logged << text;
}

int loggedCount(const QString& part)
{
    const std::lock_guard<std::mutex> lock(logMutex);
    return int(logged.filter(part).size());
}

} // namespace

class TestBackupFolderLock : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup()
    {
        contention.on = false;
        BackupFolderLock::setLockCall(::flock);
        BackupFolderLock::setWaitRunner(nullptr);
        qInstallMessageHandler(nullptr);
    }

    void waitsOnlyForAnotherHolder_data()
    {
        QTest::addColumn<int>("error"); // of every lock while the contention lasts
        QTest::addColumn<int>("lastsMs");
        QTest::addColumn<bool>("heldShared"); // by this thread before the contention starts
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<bool>("cancel"); // the user ends a wait at once
        QTest::addColumn<bool>("held");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        QTest::addColumn<int>("cannotLockLines");
        QTest::addColumn<int>("waitLines");
        // A file system that cannot lock: waiting would never end; used without the lock, said once.
        QTest::newRow("no locks, a read")
            << ENOLCK << 3000 << false << Mode::Shared << false << true << 0 << 1000 << 1 << 0;
        QTest::newRow("locks not supported, a write")
            << EOPNOTSUPP << 3000 << false << Mode::Exclusive << false << true << 0 << 1000 << 1 << 0;
        QTest::newRow("emulated locks refuse a folder opened for reading, a read")
            << EBADF << 3000 << false << Mode::Shared << false << true << 0 << 1000 << 1 << 0;
        QTest::newRow("emulated locks, a write within a read")
            << EBADF << 3000 << true << Mode::Exclusive << false << true << 0 << 1000 << 1 << 0;
        // Another program holds the folder for a while: the wait is said once, after a moment.
        QTest::newRow("busy, a read")
            << int(EWOULDBLOCK) << 900 << false << Mode::Shared << false << true << 900 << 3000 << 0 << 1;
        QTest::newRow("busy, a write")
            << int(EWOULDBLOCK) << 900 << false << Mode::Exclusive << false << true << 900 << 3000 << 0 << 1;
        // The change to exclusive failed and dropped the shared lock; the other program then
        // writes. Cancel takes the shared lock back without blocking, or gives up.
        QTest::newRow("cancelled change from shared to exclusive")
            << int(EWOULDBLOCK) << 3000 << true << Mode::Exclusive << true << false << 0 << 1500 << 0 << 0;
    }

    void waitsOnlyForAnotherHolder()
    {
        QFETCH(int, error);
        QFETCH(int, lastsMs);
        QFETCH(bool, heldShared);
        QFETCH(Mode, mode);
        QFETCH(bool, cancel);
        QFETCH(bool, held);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        QFETCH(int, cannotLockLines);
        QFETCH(int, waitLines);
        const QDir folder(TestEnv::tempDir());
        {
            const std::lock_guard<std::mutex> lock(logMutex);
            logged.clear();
        }
        qInstallMessageHandler(keepMessage);
        BackupFolderLock::setLockCall(contendedLock);
        if (cancel)
            BackupFolderLock::setWaitRunner(
                [](Mode, const QString&, const std::function<bool()>&) { return false; });
        std::optional<BackupFolderLock> outer;
        if (heldShared)
            outer.emplace(folder, Mode::Shared);
        contention.error = error;
        contention.blockingCalls = 0;
        contention.until = Clock::now() + std::chrono::milliseconds(lastsMs);
        contention.on = true;
        QElapsedTimer timer;
        timer.start();
        bool wasHeld = false;
        try {
            const BackupFolderLock hold(folder, mode);
            wasHeld = true;
        } catch (const BackupFolderLock::Cancelled&) {
        }
        const qint64 took = timer.elapsed();
        if (wasHeld) {
            const BackupFolderLock again(folder, mode); // nothing more is said of the same folder
        }
        outer.reset();
        QCOMPARE(wasHeld, held);
        QVERIFY2(took >= minMs && took <= maxMs, qPrintable(QString::number(took)));
        QCOMPARE(contention.blockingCalls.load(), 0);
        QCOMPARE(loggedCount("cannot be locked"), cannotLockLines);
        QCOMPARE(loggedCount(BackupFolderLock::waitText(mode, folder.absolutePath())), waitLines);
    }
};

QTEST_GUILESS_MAIN(TestBackupFolderLock)
#include "TestBackupFolderLock.moc"
