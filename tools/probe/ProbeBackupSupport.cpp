#include "ProbeBackupSupport.h"

#include "app/FolderAccess.h"
#include "app/LeaveAtExit.h"

#include <QFileInfo>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace ProbeBackup
{

QString readPassword()
{
    QTextStream in(stdin);
    return in.readLine();
}

void holdForRun(const QString& dir, BackupFolderLock::Mode mode)
{
    static std::vector<std::unique_ptr<BackupFolderLock>> holds;
    holds.push_back(std::make_unique<BackupFolderLock>(QDir(dir), mode));
}

void requireEnterable(const QString& path)
{
    QString text;
    if (FolderAccess::stateOf(path, &text) == FolderAccess::State::Refused)
        throw std::runtime_error(text.toStdString());
}

std::unique_ptr<BackupManifest> openThrow(const QString& dir, bool unlock, bool parse)
{
    holdForRun(dir, BackupFolderLock::Mode::Shared);
    auto m = std::make_unique<BackupManifest>(dir);
    const bool hasPlist = QFileInfo::exists(QDir(dir).absoluteFilePath("Manifest.plist"));
    // A backup without Manifest.plist (some tools strip it) is read as a plain backup, unless its
    // stored files are encrypted: their keys went with it.
    if (hasPlist
        || !(QFileInfo::exists(QDir(dir).absoluteFilePath("Manifest.db"))
            || QFileInfo::exists(QDir(dir).absoluteFilePath("Manifest.mbdb"))))
        m->readManifestInfo();
    else
        m->readWithoutInfoThrow();
    if (unlock && m->IsEncrypted && !m->setPasscode(readPassword()))
        throw std::runtime_error("wrong password");
    if (parse)
        m->parseInfo();
    return m;
}

void releaseAtExit(std::unique_ptr<BackupManifest> manifest)
{
    if (manifest && !manifest->IsEncrypted)
        leaveAtExit(std::move(manifest));
}

} // namespace ProbeBackup
