#pragma once

#include <QDir>
#include <QString>

// Keeps the paths that a device names inside the backup folder.
class BackupPath
{
public:
    // True when `path` (relative to `root`) names an entry strictly below the root: not absolute, no
    // ".." step, no NUL, and no symbolic link on the way from the root to it (so nothing outside can
    // be reached through a link). `absolute` receives the resolved path.
    static bool resolve(const QDir& root, const QString& path, QString* absolute = nullptr);
};
