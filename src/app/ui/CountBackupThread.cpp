#include "app/ui/CountBackupThread.h"

#include "app/TaskCancel.h"
#include "app/ui/shared/ProgressForm.h"

CountBackupThread::CountBackupThread(
    const BackupManifest& manifest, const QDir& cacheDir, ProgressForm& form, QObject* parent)
    : QThread(parent)
    , m_manifest(manifest)
    , m_cacheDir(cacheDir)
    , m_form(form)
{
}

void CountBackupThread::run()
{
    // Bound before the first statement: the dialog's cancel stops the one under way.
    const TaskCancel::Scope task(m_form.cancelled.token());
    m_counts = DataSources::takeBackupCounts(m_manifest, m_cacheDir);
    if (!m_form.cancelled)
        m_form.invokeSucceed();
}
