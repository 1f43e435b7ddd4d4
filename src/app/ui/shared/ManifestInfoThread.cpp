#include "app/ui/shared/ManifestInfoThread.h"

#include "app/FolderAccess.h"
#include "app/PathHook.h"
#include "backup/BackupManifest.h"

#include <QDir>
#include <QFileInfo>
#include <exception>

namespace
{

PathHook& beforeRead()
{
    static PathHook hook;
    return hook;
}

} // namespace

ManifestInfoThread::ManifestInfoThread(const QString& path, bool entry, QObject* parent)
    : QThread(parent)
    , m_path(path)
    , m_entry(entry)
    , m_manifest(new BackupManifest(path, nullptr))
{
}

ManifestInfoThread::~ManifestInfoThread() = default;

void ManifestInfoThread::setBeforeRead(std::function<void(const QString& path)> hook)
{
    beforeRead().set(std::move(hook));
}

bool ManifestInfoThread::mayBeBackup(const QString& path)
{
    const QDir dir(path);
    for (const char* name :
        { "Manifest.plist", "Manifest.db", "Manifest.mbdb", "Info.plist", "Status.plist" }) {
        if (dir.exists(QLatin1String(name)))
            return true;
    }
    return FolderAccess::stateOf(path) == FolderAccess::State::Refused;
}

QSharedPointer<BackupManifest> ManifestInfoThread::manifest() const
{
    return m_outcome == Outcome::Read ? m_manifest : QSharedPointer<BackupManifest>();
}

void ManifestInfoThread::run()
{
    const TaskCancel::Scope task(m_cancel);
    beforeRead().call(m_path);
    if (m_entry && !mayBeBackup(m_path)) {
        m_outcome = Outcome::NotBackup;
        return;
    }
    if (FolderAccess::stateOf(m_path, &m_why) == FolderAccess::State::Refused) {
        m_outcome = Outcome::Refused;
        return;
    }
    // Gone only when nothing at all stands at the path: a folder that is there and holds no
    // readable backup is kept, and says why.
    const bool there = QFileInfo::exists(m_path);
    try {
        m_manifest->readManifestInfo();
        m_outcome = Outcome::Read;
        m_why.clear();
    } catch (const std::exception& e) {
        m_why = QString::fromUtf8(e.what());
        m_outcome = there ? Outcome::Unreadable : Outcome::Missing;
    }
    // A listed backup holds no file open until it is loaded.
    m_manifest->closeManifestDb();
}
