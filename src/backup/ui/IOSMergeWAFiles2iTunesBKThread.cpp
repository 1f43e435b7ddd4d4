#include "backup/ui/IOSMergeWAFiles2iTunesBKThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "backup/BackupManifest.h"

IOSMergeWAFiles2iTunesBKThread::IOSMergeWAFiles2iTunesBKThread(
    BackupManifest& manifest, const QList<_Item>& items, ProgressForm& form, QObject* parent)
    : QThread(parent)
    , m_manifest(manifest)
    , m_items(items)
    , m_form(form)
{
}

void IOSMergeWAFiles2iTunesBKThread::run()
{
    QList<BackupManifest::WriteRequest> requests;
    for (const _Item& it : std::as_const(m_items))
        requests.append({ it.domain, it.sourceFile, it.relativePath, it.overwrite, it.useSecondClassKey });
    const int total = int(requests.size());
    try {
        m_form.invokeUpdateProgress(QStringLiteral("Transferring files..."), 0);
        m_manifest.writeFilesThrow(
            requests,
            [&](int index, const QString& path) {
                m_form.invokeUpdateProgress(QStringLiteral("Transferring files..."),
                    total ? index * 100 / total : 0, QStringLiteral("File: %1").arg(path));
            },
            [&]() { return bool(m_form.cancelled); });
    } catch (const std::exception& e) {
        if (!m_form.cancelled)
            m_form.invokeErrorOccurred(QString::fromUtf8(e.what()));
        return;
    }
    m_form.invokeSucceed(QString());
}
