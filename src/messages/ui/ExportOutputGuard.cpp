#include "messages/ui/ExportOutputGuard.h"

#include "app/PathWalk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr QDir::Filters kAll = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
} // namespace

ExportOutputGuard::ExportOutputGuard(const QString& path, bool folder)
    : m_path(path)
    , m_folder(folder)
{
    const QFileInfo info(path);
    m_existed = info.exists() || info.isSymLink();
    if (!m_folder || !info.isDir())
        return;
    const QDir dir(path);
    for (const QFileInfo& entry : dir.entryInfoList(kAll)) {
        m_before.insert(entry.fileName());
        if (entry.isDir() && !entry.isSymLink())
            for (const QString& inner : QDir(entry.absoluteFilePath()).entryList(kAll))
                m_before.insert(entry.fileName() + "/" + inner);
    }
}

void ExportOutputGuard::removeCreated(const HeldFolder& held) const
{
    if (!m_folder) {
        // Only a regular file this run made: what stood there before (a file the user chose to
        // overwrite, a read-only file, a device such as /dev/null) stays. The way to it is walked
        // as the write walked it: a link another user put on it leads nowhere.
        PathWalk walk;
        if (!m_existed && walk.walk(m_path, false) && walk.found() && S_ISREG(walk.stat().st_mode))
            ::unlinkat(walk.folder(), walk.name().constData(), 0);
        return;
    }
    const QFileInfo info(m_path);
    const HeldFolder dir = held.isValid()   ? held
        : info.isDir() && !info.isSymLink() ? HeldFolder::open(m_path)
                                            : HeldFolder();
    for (const QString& name : dir.entries()) {
        if (!m_existed || !m_before.contains(name)) {
            dir.removeTree(name);
            continue;
        }
        const HeldFolder inner = dir.sub(name); // a folder, not a link
        for (const QString& entry : inner.entries())
            if (!m_before.contains(name + "/" + entry))
                inner.removeTree(entry);
    }
    if (!m_existed && !held.isValid() && dir.isValid())
        ::rmdir(QFile::encodeName(m_path).constData());
}
