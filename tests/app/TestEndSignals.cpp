#include "app/EndSignals.h"
#include "app/RunFolder.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

// Each run is a child process of its own (the handlers and the run's folder are the process's):
// no application in this one, so that a child makes its own.
class TestEndSignals : public QObject
{
    Q_OBJECT

    // The child: a private copy in its run's folder, then it says where and waits for the signal,
    // at work or in the application's loop. After the loop ends it returns 7, or hangs when hang.
    [[noreturn]] static void child(int ready, const QString& how)
    {
        EndSignals::install();
        const QByteArray folder = QFile::encodeName(RunFolder::path());
        QFile copy(RunFolder::path() + "/Manifest.db");
        if (folder.isEmpty() || !copy.open(QIODevice::WriteOnly) || copy.write("private") != 7)
            ::_exit(3);
        copy.close();
        auto tell = [&] { static_cast<void>(::write(ready, folder.constData(), size_t(folder.size()))); };
        if (how == "at work") {
            tell();
            for (;;)
                ::pause();
        }
        int argc = 1;
        char name[] = "child";
        char* argv[] = { name, nullptr };
        QCoreApplication app(argc, argv);
        EndSignals::setQuitsLoop(true);
        QTimer::singleShot(0, &app, tell);
        const int code = app.exec();
        for (; how == "loop that hangs after";)
            ::pause();
        EndSignals::setQuitsLoop(false);
        std::exit(code == 0 && EndSignals::received() ? 7 : 4); // the run's folder goes at this exit
    }

private Q_SLOTS:
    void leavesNoPrivateCopies_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("sig");
        QTest::addColumn<int>("ends"); // the exit code, after a second signal for a loop that hangs
        for (const int sig : { SIGTERM, SIGINT, SIGHUP }) {
            const QByteArray name = QByteArray("SIG") + ::sigabbrev_np(sig);
            QTest::newRow((name + " at work").constData()) << "at work" << sig << 128 + sig;
            QTest::newRow((name + " in the loop").constData()) << "loop" << sig << 7;
        }
        QTest::newRow("a second SIGTERM while the program ends")
            << "loop that hangs after" << int(SIGTERM) << 128 + SIGTERM;
    }
    void leavesNoPrivateCopies()
    {
        QFETCH(QString, how);
        QFETCH(int, sig);
        QFETCH(int, ends);
        qputenv("TMPDIR", QFile::encodeName(TestEnv::tempDir()));
        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0)
            child(ready[1], how);
        ::close(ready[1]);
        char folder[4096] = {};
        QVERIFY(::read(ready[0], folder, sizeof folder - 1) > 0);
        ::close(ready[0]);
        QVERIFY(QFile::exists(QFile::decodeName(folder) + "/Manifest.db"));
        QCOMPARE(::kill(pid, sig), 0);
        if (how.endsWith("hangs after")) {
            ::usleep(300 * 1000); // the loop has ended, and the child hangs
            QCOMPARE(::kill(pid, sig), 0);
        }
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY2(WIFEXITED(status), "ended by the signal itself");
        QCOMPARE(WEXITSTATUS(status), ends);
        QVERIFY(!QFileInfo::exists(QFile::decodeName(folder)));
    }
};

QTEST_APPLESS_MAIN(TestEndSignals)
#include "TestEndSignals.moc"
