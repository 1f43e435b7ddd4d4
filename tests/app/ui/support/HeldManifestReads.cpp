#include "app/ui/support/HeldManifestReads.h"

#include "app/TaskCancel.h"
#include "app/support/SyntheticBackup.h"
#include "app/ui/BackupRecordsThread.h"
#include "app/ui/shared/BackupFolderListing.h"
#include "app/ui/shared/ManifestInfoThread.h"
#include "app/ui/shared/ProgressForm.h"
#include "backup/BackupManifest.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <mutex>

struct HeldManifestReads::State {
    QStringList folders;
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    int holding = 0;
    int left = 0;
    bool cancelSeen = false;
};

struct HeldManifestReads::Watch {
    QTimer look;
    QTimer tick;
    QElapsedTimer since;
    qint64 longest = -1;
    QString status;
};

namespace
{

void holdRead(HeldManifestReads::State& state, const QString& path)
{
    std::unique_lock<std::mutex> lock(state.mutex);
    if (!state.folders.contains(QDir(path).absolutePath()))
        return;
    ++state.holding;
    state.changed.notify_all();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!state.released && std::chrono::steady_clock::now() < until) {
        state.changed.wait_for(lock, std::chrono::milliseconds(20));
        state.cancelSeen = state.cancelSeen || TaskCancel::requested();
    }
    --state.holding;
    ++state.left;
    state.changed.notify_all();
}

} // namespace

HeldManifestReads::HeldManifestReads(const QStringList& folders, bool listings)
    : m_state(std::make_shared<State>())
{
    for (const QString& folder : folders)
        m_state->folders.append(QDir(folder).absolutePath());
    ManifestInfoThread::setBeforeRead([state = m_state](const QString& path) { holdRead(*state, path); });
    BackupRecordsThread::setBeforeRead([state = m_state](const QString& path) { holdRead(*state, path); });
    BackupManifest::setBeforeUnlock([state = m_state](const QString& path) { holdRead(*state, path); });
    if (listings)
        BackupFolderListing::setBeforeList(
            [state = m_state](const QString& path) { holdRead(*state, path); });
}

HeldManifestReads::~HeldManifestReads()
{
    m_watch.reset();
    release();
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->changed.wait_for(lock, std::chrono::seconds(30), [this] { return m_state->holding == 0; });
    lock.unlock();
    ManifestInfoThread::setBeforeRead({});
    BackupRecordsThread::setBeforeRead({});
    BackupManifest::setBeforeUnlock({});
    BackupFolderListing::setBeforeList({});
}

void HeldManifestReads::passListedReads()
{
    ManifestInfoThread::setBeforeRead({});
}

void HeldManifestReads::releaseAfterWatching(int ms)
{
    m_watch = std::make_unique<Watch>();
    Watch* w = m_watch.get();
    QObject::connect(
        &w->tick, &QTimer::timeout, [w] { w->longest = std::max(w->longest, w->since.restart()); });
    QObject::connect(&w->look, &QTimer::timeout, [this, w, ms] {
        if (holding() < 1)
            return;
        w->look.stop();
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* form = qobject_cast<ProgressForm*>(top); form && form->isVisible())
                w->status = form->statusText();
        w->longest = 0;
        w->since.start();
        w->tick.start(20);
        QTimer::singleShot(ms, &w->tick, [this, w] {
            w->tick.stop();
            w->longest = std::max(w->longest, w->since.elapsed());
            release();
        });
    });
    w->look.start(10);
}

qint64 HeldManifestReads::longestGap() const
{
    return m_watch ? m_watch->longest : -1;
}

QString HeldManifestReads::dialogStatus() const
{
    return m_watch ? m_watch->status : QString();
}

void HeldManifestReads::release()
{
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->released = true;
    m_state->changed.notify_all();
}

int HeldManifestReads::holding() const
{
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->holding;
}

int HeldManifestReads::left() const
{
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->left;
}

bool HeldManifestReads::cancelSeen() const
{
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->cancelSeen;
}

void HeldManifestReads::addRows()
{
    QTest::addColumn<bool>("damaged");
    QTest::addColumn<bool>("cancel");
    QTest::newRow("waited for") << false << false;
    QTest::newRow("wait cancelled") << false << true;
    QTest::newRow("not readable") << true << false;
}

bool HeldManifestReads::makeBackup(const QString& folder, bool damaged)
{
    if (!SyntheticBackup::make(folder, { "--device-name", "Held Phone", "--udid", QString(40, '7') }))
        return false;
    QFile plist(folder + "/Manifest.plist");
    return !damaged
        || (plist.open(QIODevice::WriteOnly | QIODevice::Truncate) && plist.write("no plist") > 0);
}
