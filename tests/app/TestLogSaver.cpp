#include "app/LogSaver.h"
#include "support/MockClock.h"
#include "support/TestEnv.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

class TestLogSaver : public QObject
{
    Q_OBJECT

    QtMessageHandler testHandler = nullptr;

    static void touch(const QString& path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    static QString todayFile(const QString& root)
    {
        return QDir(root).absoluteFilePath(
            QString("log-%1.txt").arg(QDate::currentDate().toString("yyyyMMdd")));
    }

    static QByteArray readAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase()
    {
        testHandler = qInstallMessageHandler(nullptr);
        qInstallMessageHandler(testHandler);
    }

    // Hands QtTest its own handler back after each case.
    void cleanup() { qInstallMessageHandler(testHandler); }

    void lineFormats()
    {
        const QTime t(9, 5, 7);
        QCOMPARE(logsaver_format_line(QtWarningMsg, t, "disk full"), QString("(W 09:05:07) disk full\n"));
        QCOMPARE(logsaver_format_line(QtDebugMsg, t, "d"), QString("(D 09:05:07) d\n"));
        QCOMPARE(logsaver_format_line(QtCriticalMsg, t, "c"), QString("(C 09:05:07) c\n"));
        QCOMPARE(logsaver_format_line(QtFatalMsg, t, "f"), QString("(F 09:05:07) f\n"));
        QCOMPARE(logsaver_format_line(QtInfoMsg, t, "i"), QString("(09:05:07) i\n"));
        QCOMPARE(logsaver_format_line(QtWarningMsg, t, "50%1 %2"), QString("(W 09:05:07) 50%1 %2\n"));
    }

    void severalLinesStayOneEntry_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("line");
        QTest::newRow("lf") << "Cannot copy\n(W 00:00:00) forged"
                            << "(W 09:05:07) Cannot copy\n    (W 00:00:00) forged\n";
        QTest::newRow("crlf") << "a\r\nb"
                              << "(W 09:05:07) a\n    b\n";
        QTest::newRow("cr") << "a\rb\r\rc"
                            << "(W 09:05:07) a\n    b\n    \n    c\n";
        QTest::newRow("trailing") << "one\n"
                                  << "(W 09:05:07) one\n";
    }

    void severalLinesStayOneEntry()
    {
        QFETCH(QString, text);
        QFETCH(QString, line);
        QCOMPARE(logsaver_format_line(QtWarningMsg, QTime(9, 5, 7), text), line);
    }

    void dayFileAndTimeComeFromTheClock()
    {
        const QString root = QDir(TestEnv::tempDir()).absoluteFilePath("qlogs");
        MockClock clock(QDateTime(QDate(2024, 1, 31), QTime(23, 59, 59)));
        logsaver_install_msghandler(root, 10);
        qWarning("before midnight");
        clock.advance(1);
        qWarning("after");
        qInstallMessageHandler(testHandler);
        QCOMPARE(readAll(root + "/log-20240131.txt"), QByteArray("(W 23:59:59) before midnight\n"));
        QCOMPARE(readAll(root + "/log-20240201.txt"), QByteArray("(W 00:00:00) after\n"));
    }

    void trimsToNewestFiles()
    {
        const QString root = TestEnv::tempDir();
        for (int day = 1; day <= 12; ++day)
            touch(QDir(root).absoluteFilePath(QString("log-202401%1.txt").arg(day, 2, 10, QChar('0'))));
        logsaver_install_msghandler(root, 10);
        const QStringList left = QDir(root).entryList(QDir::Files, QDir::Name);
        QCOMPARE(left.size(), 10);
        QCOMPARE(left.first(), QString("log-20240103.txt"));
        QCOMPARE(left.last(), QString("log-20240112.txt"));
    }

    void trimCountsEveryRegularFile()
    {
        const QString root = TestEnv::tempDir();
        for (int day = 1; day <= 10; ++day)
            touch(QDir(root).absoluteFilePath(QString("log-202401%1.txt").arg(day, 2, 10, QChar('0'))));
        touch(root + "/about.txt"); // sorts before the log files
        touch(root + "/.hidden"); // not counted
        QVERIFY(QDir().mkpath(root + "/afolder"));
        logsaver_install_msghandler(root, 10);
        QVERIFY(!QFile::exists(root + "/about.txt"));
        QVERIFY(QFile::exists(root + "/log-20240101.txt"));
        QVERIFY(QFile::exists(root + "/.hidden"));
        QVERIFY(QFileInfo(root + "/afolder").isDir());

        // Ten or fewer: nothing goes.
        logsaver_install_msghandler(root, 10);
        QCOMPARE(QDir(root).entryList(QDir::Files).size(), 10);
        // A missing folder is not created by installing.
        logsaver_install_msghandler(root + "/missing", 10);
        QVERIFY(!QFileInfo::exists(root + "/missing"));
    }

    void writesMessagesOfEveryKind()
    {
        const QString root = QDir(TestEnv::tempDir()).absoluteFilePath("qlogs");
        logsaver_install_msghandler(root, 10);
        qWarning("disk full");
        qCritical("bad %d", 3);
        qInfo("note");
        qInstallMessageHandler(testHandler);
        const QString text = QString::fromUtf8(readAll(todayFile(root)));
        static const QRegularExpression re("^\\(W \\d\\d:\\d\\d:\\d\\d\\) disk full\\n"
                                           "\\(C \\d\\d:\\d\\d:\\d\\d\\) bad 3\\n"
                                           "\\(\\d\\d:\\d\\d:\\d\\d\\) note\\n$");
        QVERIFY2(re.match(text).hasMatch(), qPrintable(text));
    }

    void debugGoesToStandardOutputAndFile()
    {
        const QString root = QDir(TestEnv::tempDir()).absoluteFilePath("qlogs");
        logsaver_install_msghandler(root, 10);
        const QString captured = QDir(TestEnv::tempDir()).absoluteFilePath("stdout.txt");
        std::fflush(stdout);
        const int saved = dup(fileno(stdout));
        QVERIFY(std::freopen(captured.toLocal8Bit().constData(), "w", stdout));
        qDebug("h\u00e9llo %s", "w\u00f6rld");
        std::fflush(stdout);
        dup2(saved, fileno(stdout));
        close(saved);
        qInstallMessageHandler(testHandler);

        QCOMPARE(readAll(captured), QByteArray("h\u00e9llo w\u00f6rld\n"));
        const QByteArray line = readAll(todayFile(root));
        QVERIFY2(line.startsWith("(D "), line.constData());
        QVERIFY(line.endsWith(") h\u00e9llo w\u00f6rld\n")); // UTF-8 in the file
    }

    void recreatesDeletedFolder()
    {
        const QString root = QDir(TestEnv::tempDir()).absoluteFilePath("deep/qlogs");
        logsaver_install_msghandler(root, 10);
        qWarning("first");
        QVERIFY(QDir(root + "/..").removeRecursively());
        qWarning("second");
        qInstallMessageHandler(testHandler);
        QVERIFY(readAll(todayFile(root)).endsWith(") second\n"));
        // The log lives in the data folder: made again, it is its owner's alone.
        for (const QString& folder : { root, root + "/.." })
            QCOMPARE(QFileInfo(folder).permissions() & 0x77, QFile::Permissions());
    }

    void fatalWritesThenAborts()
    {
        const QString root = QDir(TestEnv::tempDir()).absoluteFilePath("fatal");
        std::fflush(stdout);
        const pid_t pid = fork();
        if (pid == 0) {
            logsaver_install_msghandler(root, 10);
            log_output(QtFatalMsg, "the end");
            _exit(0); // not reached
        }
        int status = 0;
        QCOMPARE(waitpid(pid, &status, 0), pid);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(WTERMSIG(status), SIGABRT);
        QVERIFY(readAll(todayFile(root)).endsWith(") the end\n"));
        QVERIFY(readAll(todayFile(root)).startsWith("(F "));
    }
};

QTEST_GUILESS_MAIN(TestLogSaver)
#include "TestLogSaver.moc"
