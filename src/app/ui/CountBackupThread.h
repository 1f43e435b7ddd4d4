#pragma once

#include "app/ui/DataSources.h"

#include <QDir>
#include <QThread>

class BackupManifest;
class ProgressForm;

// Counts what each data kind of a loaded backup holds (DataSources::takeBackupCounts) off the
// window's thread, where the cancel of its progress dialog reaches the statements over the copies:
// a count the cancel stopped, and every count after it, stays unknown. The manifest is only read;
// the caller puts the counts into it once the thread has ended.
class CountBackupThread : public QThread
{
    Q_OBJECT
public:
    CountBackupThread(
        const BackupManifest& manifest, const QDir& cacheDir, ProgressForm& form, QObject* parent = nullptr);

    // Read after the run.
    const DataSources::BackupCounts& counts() const { return m_counts; }

protected:
    void run() override;

private:
    const BackupManifest& m_manifest;
    QDir m_cacheDir;
    ProgressForm& m_form;
    DataSources::BackupCounts m_counts;
};
