#include "app/ui/shared/BackupFolderListing.h"

#include "app/FolderAccess.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>

BackupFolderListing::BackupFolderListing(const QString& folder, QObject* parent)
    : QThread(parent)
    , m_folder(folder)
{
}

void BackupFolderListing::run()
{
    if (FolderAccess::stateOf(m_folder, &m_why, true) != FolderAccess::State::Open)
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
