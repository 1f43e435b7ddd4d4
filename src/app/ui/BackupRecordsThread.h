#pragma once

#include "app/TaskCancel.h"
#include "backup/lock/BackupFolderLock.h"

#include <QSharedPointer>
#include <QString>
#include <QThread>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class BackupManifest;
class ProgressForm;

// Reads a backup's file records (BackupManifest::parseInfo) off the window's thread, under a shared
// hold of its folder that the window takes over once the read has ended, so that the files it then
// copies are those the records tell. The window is never held by the read: a manifest that costs
// much, or a disk that stops answering, holds this thread only, and the window may stop waiting
// for it (abandon()).
class BackupRecordsThread : public QThread
{
    Q_OBJECT
public:
    // Reports its waits for the folder (a write elsewhere) to form until abandon().
    BackupRecordsThread(QSharedPointer<BackupManifest> manifest, ProgressForm* form);
    ~BackupRecordsThread() override;

    // The hold the read takes: shared by default; exclusive for a write into the backup that follows.
    void setMode(BackupFolderLock::Mode mode) { m_mode = mode; }
    // For a backup whose Manifest.plist was not read yet (a device's fresh backup): it is read first,
    // and an encrypted backup is unlocked with password; one that stays locked is left before the
    // hold and the records (locked()).
    void setInfoFirst(const QString& password);

    // The window stops waiting: the form is no longer reported to, the read is asked to stop (a
    // statement over the manifest ends at once; a read the system holds does not), and its hold
    // is given up on this thread when it ends.
    void abandon();

    // Read once the thread has ended, on the window's thread.
    bool read() const { return m_error.isEmpty() && !m_cancelled && !m_locked; }
    // The wait for the folder was cancelled: nothing to tell.
    bool cancelled() const { return m_cancelled; }
    const QString& error() const { return m_error; }
    // The backup read with setInfoFirst is encrypted and the password did not unlock it.
    bool locked() const { return m_locked; }
    // The hold the read took, now the calling thread's; null when the read failed.
    std::unique_ptr<BackupFolderLock> takeHold();
    const QSharedPointer<BackupManifest>& manifest() const { return m_manifest; }

    // For tests: called on the reading thread before each read, with the backup's folder.
    static void setBeforeRead(std::function<void(const QString& folder)> hook);

protected:
    void run() override;

private:
    // Manifest.plist and the unlock of setInfoFirst; false when the backup stays locked.
    bool readInfo();

private:
    const QSharedPointer<BackupManifest> m_manifest;
    const QString m_folder;
    const std::shared_ptr<TaskCancel::Token> m_cancel = std::make_shared<TaskCancel::Token>();
    std::mutex m_mutex; // over the form and the hold, between this thread and the window's
    ProgressForm* m_form;
    bool m_abandoned = false;
    std::unique_ptr<BackupFolderLock> m_hold;
    bool m_cancelled = false;
    QString m_error;
    BackupFolderLock::Mode m_mode = BackupFolderLock::Mode::Shared;
    bool m_infoFirst = false;
    QString m_password;
    bool m_locked = false;
};
