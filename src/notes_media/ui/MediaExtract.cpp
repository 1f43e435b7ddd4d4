#include "notes_media/ui/MediaExtract.h"

#include "app/CountText.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "app/ui/shared/WorkerEnd.h"
#include "notes_media/ui/ExportBKFileThread.h"

#include <QFileDialog>

QString MediaExtract::chooseFolder(QWidget* parent)
{
    return QFileDialog::getExistingDirectory(
        parent, QString(), QDir::home().absolutePath(), QFileDialog::ShowDirsOnly);
}

QList<const BackupManifest::_FileNode*> MediaExtract::nodes(
    const BackupManifest* manifest, const QString& domain, const QStringList& paths, qint64* notStored)
{
    QList<const BackupManifest::_FileNode*> list;
    if (!manifest)
        return list;
    for (const QString& path : paths) {
        const BackupManifest::_FileNode* n = path.isEmpty() ? nullptr : manifest->findNode(domain, path);
        if (n && !n->implied)
            list.append(n);
        else if (notStored)
            ++*notStored;
    }
    return list;
}

qint64 MediaExtract::run(QWidget* parent, const QString& title, const BackupManifest* manifest,
    const QList<const BackupManifest::_FileNode*>& nodes, const QDir& dest, qint64* notStored)
{
    if (!manifest)
        return 0; // no backup, nothing to extract from
    ProgressForm form(title, parent);
    bool userCancelled = false;
    QObject::connect(&form, &ProgressForm::userCancel, &form, [&userCancelled] { userCancelled = true; });
    ExportBKFileThread thread(manifest, nodes, dest, &form, parent);
    thread.start();
    const int result = form.exec();
    // After a cancel the copies under way complete; any still waiting for the backup folder ended
    // with the dialog.
    WorkerEnd::waitFor(thread, form.cancelled.token(), parent);
    if (notStored)
        *notStored += thread.missingFiles;
    // What a cancel left is told once the copies under way are done (those not as the phone wrote
    // them are written too).
    if (userCancelled && !thread.unsyncedText.isEmpty())
        Tips::error(thread.unsyncedText);
    else if (userCancelled)
        Tips::info(CountText::of(thread.extractedFiles + thread.damagedFiles,
            ExportBKFileThread::tr("IDS_CANCELLED_1_FILE_EXTRACTED"),
            ExportBKFileThread::tr("IDS_CANCELLED_%1_FILES_EXTRACTED")));
    return result == 1 && !form.cancelled ? thread.extractedFiles : -1;
}
