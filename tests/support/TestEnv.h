#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

// Test environment shared by every suite.
namespace TestEnv
{

// Points HOME at a fresh temporary folder (removed at exit) and fixes zone and locale.
// Called automatically before main() of every suite that links the test support library.
void setUp();

// The fixtures folder beside the checkout, or an empty string when it is absent.
QString sharedDir();

// Absolute path of a file or folder of ../shared/fixtures/real in this process's private copy of its
// top-level fixture folder (made on first use, removed at exit), or empty when ../shared is absent.
// Tests never open a fixture in place: a reader may leave logs or other files beside what it opens.
QString realFixture(const QString& relative);

// Copies a file or folder into a fresh temporary folder that lives until the process ends, so a
// fixture is never opened in place. Returns the path of the copy, or empty when the source is absent.
QString copyToTemp(const QString& source);

// A fresh temporary folder that lives until the process ends.
QString tempDir();

// The first copy that text says bytes were written to ("written to /path") and that is not there;
// empty when it names none that is gone.
QString copyNamedButGone(const QString& text);

// Runs work, watched from a thread of its own: work that has not ended after seconds ends the whole
// suite at once (qFatal naming what), so that a case never waits for ever.
void endsWithin(int seconds, const char* what, const std::function<void()>& work);

// Puts bytes (a link to target, when given) at path, making its folder, belonging to the user uid:
// what another user of the machine may leave where the program writes.
bool plant(const QString& path, const QByteArray& bytes, unsigned uid = 0, const QString& target = QString());

// The arguments to run the suite with: those given, or, when they are only options and QM_SHARD is
// "k/n", these with the suite's k-th of every n test functions (in the order they are declared,
// rows staying together): one long suite runs as several tests, each far from its limit.
QStringList shardArguments(const QObject& suite, int argc, char** argv);

} // namespace TestEnv

// QTEST_MAIN for a suite that runs in shards (see TestEnv::shardArguments).
#define QM_SHARDED_TEST_MAIN(TestObject)                                                                     \
    int main(int argc, char* argv[])                                                                         \
    {                                                                                                        \
        QTEST_MAIN_SETUP()                                                                                   \
        TestObject tc;                                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, TestEnv::shardArguments(tc, argc, argv));                                   \
    }

// Use at the top of a test that needs ../shared: skips with a clear message when it is absent.
#define QM_REQUIRE_SHARED()                                                                                  \
    do {                                                                                                     \
        if (TestEnv::sharedDir().isEmpty())                                                                  \
            QSKIP("../shared/fixtures is not beside the checkout; fixture test skipped");                    \
    } while (0)
