#include "app/ui/shared/BackupFolderListing.h"

#include "app/FolderAccess.h"
#include "app/PathHook.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>

namespace
{

PathHook& beforeList()
{
    static PathHook hook;
    return hook;
}

} // namespace

void BackupFolderListing::setBeforeList(std::function<void(const QString& path)> hook)
{
    beforeList().set(std::move(hook));
}

BackupFolderListing::BackupFolderListing(const QString& folder, bool added, QObject* parent)
    : QThread(parent)
    , m_folder(folder)
    , m_added(added)
{
}

void BackupFolderListing::run()
{
    beforeList().call(m_folder);
    // A folder the user may not read looks empty: it may be a backup or hold some. One that is no
    // backup is listed for the backups it holds.
    m_backup = m_added && QDir(m_folder).exists(QStringLiteral("Manifest.plist"));
    if (FolderAccess::stateOf(m_folder, &m_why, !m_backup) != FolderAccess::State::Open || m_backup)
        return;
    DIR* dir = ::opendir(QFile::encodeName(m_folder).constData());
    if (!dir) {
        m_why = QStringLiteral("Cannot read the folder %1: %2.")
                    .arg(QDir::toNativeSeparators(m_folder), QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    const QDir base(m_folder);
    QStringList names;
    while (const dirent* entry = ::readdir(dir)) {
        // The kind as the folder tells it: a link or an unknown kind is looked at by its own read.
        if (entry->d_type != DT_DIR && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
            continue;
        const QString name = QFile::decodeName(entry->d_name);
        if (name != QLatin1String(".") && name != QLatin1String(".."))
            names.append(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const QString& name : std::as_const(names))
        m_entries.append(base.absoluteFilePath(name));
}
