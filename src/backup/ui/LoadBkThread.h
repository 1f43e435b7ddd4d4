#pragma once

#include "backup/BackupManifest.h"

#include <QDir>
#include <QList>
#include <QThread>

class ProgressForm;

// Copies well-known backup files (decrypted when the backup is encrypted) into a cache folder under
// their backup file names, skipping files unchanged since the last copy ("manifest2.db").
class LoadBkThread : public QThread
{
    Q_OBJECT
public:
    LoadBkThread(const BackupManifest* manifest, QList<const BackupManifest::_FileNode*> files,
        const QDir& cacheDir, ProgressForm* form, QObject* parent = nullptr);

    // The cache folder; read by callers after the run.
    QDir cacheDir;

protected:
    void run() override;

private:
    const BackupManifest* m_manifest;
    QList<const BackupManifest::_FileNode*> m_files;
    ProgressForm* m_form;
};
