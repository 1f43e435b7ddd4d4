#pragma once

#include "backup/BackupManifest.h"

#include <QDir>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QThread>
#include <functional>

class BackupCacheCopy;
class ProgressForm;

// Copies well-known backup files (decrypted when the backup is encrypted) into a cache folder under
// their backup file names, skipping files unchanged since the last copy ("manifest2.db") and files
// the backup lacks. The first copy that fails ends the run with an error, unless the run is to show
// what it can (setShowWhatItCan).
class LoadBkThread : public QThread
{
    Q_OBJECT
public:
    LoadBkThread(const BackupManifest* manifest, QList<const BackupManifest::_FileNode*> files,
        const QDir& cacheDir, ProgressForm* form, QObject* parent = nullptr);

    // For pages that only show the files: a stored copy that is not what the phone wrote is
    // copied all the same, one that cannot be read (the user may not read it, a disk's read error)
    // is left out, named with its record, and the run goes on; it then succeeds with a text that
    // names them (faults()). A road that writes back what it read never does so: its run ends at
    // such a file, and keeps no copy of it.
    void setShowWhatItCan(bool show) { m_showWhatItCan = show; }
    // Why the files the run left out or copied in part are so, by stored file; read after the run.
    const BackupLoadFaults& faults() const { return m_faults; }
    // For a road that writes the copies back: every file is copied afresh, and read() tells what
    // each stored file held as its copy read it, by file name, which the write expects to find.
    void setKeepRead(bool keep) { m_keepRead = keep; }
    const QHash<QString, ContentDigest::Sum>& read() const { return m_read; }
    // A step run on the worker before anything is copied (for a write: its hold, the settling of an
    // earlier write, the cache folder); what it throws ends the run, told as the error, but for a
    // wait for the folder the user ended (BackupFolderLock::Cancelled), which ends it quietly.
    void setFirstStep(std::function<void()> step) { m_firstStep = std::move(step); }

    // The cache folder; read by callers after the run.
    QDir cacheDir;

protected:
    void run() override;

private:
    // Runs the first step; false after it ended the run.
    bool firstStep();
    bool copyOne(BackupCacheCopy& copier, const BackupManifest::_FileNode* node);
    bool noteFault(const BackupManifest::_FileNode* node, const std::exception& e, const QString& record);
    static QString copyError(const BackupManifest::_FileNode* node);

    const BackupManifest* m_manifest;
    QList<const BackupManifest::_FileNode*> m_files;
    ProgressForm* m_form;
    bool m_showWhatItCan = false;
    bool m_keepRead = false;
    std::function<void()> m_firstStep;
    QHash<QString, ContentDigest::Sum> m_read;
    BackupLoadFaults m_faults;
};
