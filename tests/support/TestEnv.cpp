#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMetaMethod>
#include <QMutex>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

std::vector<std::unique_ptr<QTemporaryDir>>& tempDirs()
{
    static std::vector<std::unique_ptr<QTemporaryDir>> dirs;
    return dirs;
}

bool copyRecursively(const QString& from, const QString& to)
{
    QFileInfo info(from);
    if (info.isDir()) {
        if (!QDir().mkpath(to))
            return false;
        const auto entries
            = QDir(from).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        for (const QFileInfo& e : entries) {
            if (!copyRecursively(e.absoluteFilePath(), to + "/" + e.fileName()))
                return false;
        }
        return true;
    }
    if (!QFile::copy(from, to))
        return false;
    // Fixtures are read-only on disk; copies must be writable so tests may work on them.
    return QFile::setPermissions(to, QFile::permissions(to) | QFile::WriteOwner | QFile::ReadOwner);
}

struct AutoSetUp {
    AutoSetUp() { TestEnv::setUp(); }
};
AutoSetUp autoSetUp;

} // namespace

namespace TestEnv
{

void setUp()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    static QTemporaryDir home(QDir::tempPath() + "/qm-home-XXXXXX");
    qputenv("HOME", home.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", "UTC");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    qputenv("LC_ALL", "C.UTF-8");
}

QString sharedDir()
{
    QString dir = QString::fromUtf8(QM_SHARED_DIR) + "/fixtures";
    if (!qEnvironmentVariableIsEmpty("QM_SHARED_DIR"))
        dir = qEnvironmentVariable("QM_SHARED_DIR") + "/fixtures";
    return QFileInfo(dir).isDir() ? QDir(dir).absolutePath() : QString();
}

QString realFixture(const QString& relative)
{
    const QString shared = sharedDir();
    if (shared.isEmpty())
        return {};
    // Each top-level fixture folder is copied whole, once, so files beside the one asked for (an
    // address book's images, a database's logs) come along, and nothing ever opens the original.
    static QMutex lock;
    static QHash<QString, QString> copies;
    const QMutexLocker locked(&lock);
    const QString top = relative.section('/', 0, 0);
    if (!copies.contains(top)) {
        const QString copy = copyToTemp(shared + "/real/" + top);
        copies.insert(top, copy.isEmpty() ? tempDir() + "/" + top : copy);
    }
    const QString rest = relative.section('/', 1);
    return rest.isEmpty() ? copies.value(top) : copies.value(top) + "/" + rest;
}

QString tempDir()
{
    auto dir = std::make_unique<QTemporaryDir>();
    const QString path = dir->path();
    tempDirs().push_back(std::move(dir));
    return path;
}

QString copyToTemp(const QString& source)
{
    QFileInfo info(source);
    if (source.isEmpty() || !info.exists())
        return {};
    const QString target = tempDir() + "/" + info.fileName();
    return copyRecursively(info.absoluteFilePath(), target) ? target : QString();
}

QString copyNamedButGone(const QString& text)
{
    static const QRegularExpression written(QStringLiteral("written to (/.*?)(?=; |\\.\\n|\\.$)"));
    for (const QRegularExpressionMatch& m : written.globalMatch(text))
        if (!QFileInfo::exists(m.captured(1)))
            return m.captured(1);
    return {};
}

void endsWithin(int seconds, const char* what, const std::function<void()>& work)
{
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (!ended.wait_for(lock, std::chrono::seconds(seconds), [&] { return done; }))
            qFatal("%s did not end within %d s", what, seconds);
    });
    const auto stop = [&] {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        ended.notify_all();
        watchdog.join();
    };
    try {
        work();
    } catch (...) {
        stop();
        throw;
    }
    stop();
}

bool plant(const QString& path, const QByteArray& bytes, unsigned uid, const QString& target)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (target.isEmpty() ? !f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()
                         : !QFile::link(target, path))
        return false;
    f.close();
    return ::lchown(QFile::encodeName(path).constData(), uid_t(uid), gid_t(-1)) == 0;
}

QStringList shardArguments(const QObject& suite, int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const QStringList shard = qEnvironmentVariable("QM_SHARD").split('/');
    const int k = shard.value(0).toInt();
    const int n = shard.value(1).toInt();
    // Any word but an option (a function's name, an option's value) leaves the choice to the caller.
    const bool named
        = std::any_of(args.begin() + 1, args.end(), [](const QString& a) { return !a.startsWith('-'); });
    if (shard.size() != 2 || n < 1 || k < 1 || k > n || named)
        return args;
    static const QStringList kFixed = { "initTestCase", "cleanupTestCase", "init", "cleanup" };
    const QMetaObject* meta = suite.metaObject();
    int index = 0;
    for (int m = QObject::staticMetaObject.methodCount(); m < meta->methodCount(); ++m) {
        const QMetaMethod method = meta->method(m);
        const QString name = QString::fromLatin1(method.name());
        if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Private
            || method.parameterCount() != 0 || kFixed.contains(name) || name.endsWith("_data"))
            continue;
        if (index++ % n == k - 1)
            args << name;
    }
    return args;
}

} // namespace TestEnv
