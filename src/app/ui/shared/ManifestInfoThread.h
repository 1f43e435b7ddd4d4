#pragma once

#include "app/TaskCancel.h"

#include <QSharedPointer>
#include <QString>
#include <QThread>
#include <functional>
#include <memory>

class BackupManifest;

// Reads what a list of backups shows of one backup folder (BackupManifest::readManifestInfo) off the
// window's thread: a folder on a disk that stopped answering, or a manifest that costs much to open,
// holds this thread only. Until the thread has ended, the backup it reads is its own.
class ManifestInfoThread : public QThread
{
    Q_OBJECT
public:
    // Told apart as the list of remembered backups tells them apart: a folder the user may not read
    // (Refused) is kept, one that is not there any more (Missing) is dropped.
    // An entry of a folder of backups may be no backup at all (NotBackup, see mayBeBackup).
    enum class Outcome { Read, Missing, Refused, Unreadable, NotBackup };

    // With entry, path is an entry of a folder of backups, looked at here first: one that is no
    // backup is NotBackup.
    explicit ManifestInfoThread(const QString& path, bool entry = false, QObject* parent = nullptr);

    // Whether an entry of a folder of backups is taken for a backup: one that lost its
    // Manifest.plist is named among those left out, not passed over, and so is one the user may
    // not look into. Looks into the entry (a link there may lead to a disk that does not answer).
    static bool mayBeBackup(const QString& path);
    ~ManifestInfoThread() override;

    // Asks the read to stop: a statement over the manifest database ends at once; a read the
    // system holds (a disk that does not answer) is not ended by it.
    void cancel() { m_cancel->cancelled = true; }

    const QString& path() const { return m_path; }
    // Read once the thread has ended.
    Outcome outcome() const { return m_outcome; }
    // Why the backup was not read: the system's reason for a folder it refuses, else the read's.
    const QString& why() const { return m_why; }
    // The backup with its Manifest.plist read; null unless the outcome is Read.
    QSharedPointer<BackupManifest> manifest() const;

    // For tests: called on the reading thread before each read, with the folder's path.
    static void setBeforeRead(std::function<void(const QString& path)> hook);

protected:
    void run() override;

private:
    const QString m_path;
    const bool m_entry;
    const QSharedPointer<BackupManifest> m_manifest;
    const std::shared_ptr<TaskCancel::Token> m_cancel = std::make_shared<TaskCancel::Token>();
    Outcome m_outcome = Outcome::Unreadable;
    QString m_why;
};
