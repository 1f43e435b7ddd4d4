#include "backup/ui/IOSMergeWAFiles2iTunesBKThread.h"

#include "app/RunFolder.h"
#include "app/sqlite/Sqlite3DB.h"
#include "app/ui/shared/ProgressForm.h"
#include "backup/BackupManifest.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <sqlite3.h>
#include <stdexcept>

namespace
{
bool requested(const QList<BackupManifest::WriteRequest>& requests, const QString& domain, const QString& rel)
{
    for (const BackupManifest::WriteRequest& r : requests)
        if (r.domain == domain && r.relativePath == rel)
            return true;
    return false;
}

// A database that still has a log beside it is written with the log folded in.
void foldLogThrow(const QString& file)
{
    const QFileInfo wal(file + QStringLiteral("-wal"));
    if (!wal.exists() || wal.size() == 0)
        return;
    {
        Sqlite3DB db;
        db.setForeign(true);
        db.openThrow(file, SQLITE_OPEN_READWRITE);
        db.executeThrow("PRAGMA wal_checkpoint(TRUNCATE)");
        db.close();
    }
    if (QFileInfo(wal.absoluteFilePath()).size() != 0)
        throw std::runtime_error(
            QStringLiteral("Cannot fold the write-ahead log of %1 into it.").arg(file).toStdString());
}

// A database written back without its log: the backup's "-wal" and "-shm" records of it are
// emptied as well, or SQLite would lay the old log over the new file. No such record is added.
void emptyJournalsThrow(
    const BackupManifest& manifest, const QTemporaryDir& work, QList<BackupManifest::WriteRequest>& requests)
{
    const QString empty = work.filePath(QStringLiteral("empty"));
    const qsizetype count = requests.size();
    for (qsizetype i = 0; i < count; ++i) {
        const BackupManifest::WriteRequest r = requests.at(i);
        foldLogThrow(r.sourceFile);
        for (const char* suffix : { "-wal", "-shm" }) {
            const QString rel = r.relativePath + QLatin1String(suffix);
            const BackupManifest::_FileNode* node = manifest.findNode(r.domain, rel);
            if (!node || !node->item.isFile() || requested(requests, r.domain, rel))
                continue;
            QFile f(empty);
            if (!QFileInfo::exists(empty) && (!f.open(QIODevice::WriteOnly) || !f.flush()))
                throw std::runtime_error(
                    QStringLiteral("Cannot write %1: %2").arg(empty, f.errorString()).toStdString());
            requests.append({ r.domain, empty, rel, true, r.useSecondClassKey });
        }
    }
}
} // namespace

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
    QTemporaryDir work(RunFolder::templateFor(QStringLiteral("qm-merge")));
    try {
        emptyJournalsThrow(m_manifest, work, requests);
        for (BackupManifest::WriteRequest& r : requests)
            r.expectedOld = m_expected.value(MBDBParser::backupFileName(r.domain, r.relativePath));
    } catch (const std::exception& e) {
        m_form.invokeErrorOccurred(QString::fromUtf8(e.what()));
        return;
    }
    const int total = int(requests.size());
    try {
        m_form.invokeUpdateProgress(QStringLiteral("Transferring files..."), 0);
        m_manifest.writeFilesThrow(
            requests,
            [&](int index, const QString& path) {
                m_form.invokeUpdateProgress(QStringLiteral("Transferring files..."),
                    total ? index * 100 / total : 0, QStringLiteral("File: %1").arg(path));
            },
            [&]() { return bool(m_form.cancelled); }, [&]() { return m_form.passPointOfNoReturn(); });
    } catch (const std::exception& e) {
        // Past the point of no return the form is not cancelled: the error of the commit is shown.
        if (!m_form.cancelled)
            m_form.invokeErrorOccurred(QString::fromUtf8(e.what()));
        return;
    }
    m_form.invokeSucceed(QString());
}
