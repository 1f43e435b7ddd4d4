#pragma once

#include "app/FittedNames.h"
#include "app/MadeFolders.h"
#include "app/OutputFile.h"
#include "backup/BackupManifest.h"
#include "notes_media/ExtractNamer.h"

#include <QDir>
#include <QList>
#include <QPair>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <deque>
#include <memory>

class ProgressForm;
class QThreadPool;

// Extracts nodes of a backup's file tree (files, and folders with everything below them) into a
// folder, decrypting the files of an encrypted backup and giving each, and each folder the run
// made, its record's modification time. Names are cleaned and confined to the destination. Nothing
// standing at a file's name is replaced nor followed: a file of the user's own there with the very
// bytes is left as it is and counted as extracted, and otherwise the file is written beside it
// under "stem(n).ext" and named at the end (see OutputFile::setKeepStanding). The destination is held, and
// every folder is made and entered from the one it is in (see MadeFolders): a folder another program moves,
// or swaps for a link, while the run writes gets nothing more, the files meant for it counted apart as not
// written. What stood before the run is never changed or removed: a folder there is used as it is,
// and what stands at a folder's name but is no folder (the user's link, a file) stays, the files
// below it counted apart as not written, as are those below a folder the system will not make. A
// file or folder whose name the disk refuses (NTFS and FAT disks) is written under one fitted to it
// (see OutputFile::setFitName), told at the end; a file the disk takes no name for is counted apart as
// not written.
// Files without a stored copy are skipped and counted. Those the system does not let the user read
// are skipped, and those whose stored copy is not what the phone wrote are written; both are counted
// apart and named as those not written are, and the run then ends with an error, which says, as
// every error after the run began, how many files were written. Files of a plain backup are copied
// by a few helper threads while this thread walks on: progress still names the files in tree order,
// and the first failure in tree order is the one reported. The bar moves by files, or by bytes
// where those are further on. While the user is asked whether to cancel, every copy stands still;
// after a cancel the files under way complete and no other starts. After a cancel or a failure the
// folders the run made that hold nothing are removed (what was written stays). The temporaries a
// killed run left in a folder that stood before are removed. Success, or a cancel's count, is told
// once the files are on the disk. A wait for the backup folder (another program writing into it), this
// thread's or a helper's, is shown in the dialog, and a cancel ends it: the files waiting are not written.
class ExportBKFileThread : public QThread
{
    Q_OBJECT
public:
    ExportBKFileThread(const BackupManifest* manifest, const QList<const BackupManifest::_FileNode*>& nodes,
        QDir destDir, ProgressForm* form, QObject* parent = nullptr);
    ~ExportBKFileThread() override;

    qint64 totalFiles = 0;
    qint64 processedFiles = 0;
    qint64 extractedFiles = 0;
    qint64 missingFiles = 0; // files whose record has no stored copy in the backup folder
    // Files written from a stored copy that is not what the phone wrote (cut short, under another
    // key): counted apart from those extracted, and named in the result.
    qint64 damagedFiles = 0;
    // Files whose stored copy the system does not let the user read (a folder without permission)
    // or fails to read (a disk's read error): skipped, the others still extracted.
    qint64 unreadableFiles = 0;
    // Files below what stands at a folder's name and is no folder: skipped, named in the result.
    qint64 unwrittenFiles = 0;
    // After a cancel, why the files written are not known to be on the disk (empty when they are).
    QString unsyncedText;

    // A caller's success text, followed by how many of the chosen files the backup does not
    // store when there are any.
    static QString withNotStored(const QString& success, qint64 notStored);

protected:
    void run() override;

private:
    struct Progress;
    struct FileProgress;
    friend void copyFileProgress(long long total, long long done, void* context);

    void computeTotalFiles(const BackupManifest::_FileNode* node);
    void copy(const HeldFolder& dir, const BackupManifest::_FileNode* node);
    HeldFolder makeFitted(const HeldFolder& parent, const QString& path, bool* made);
    QString enterFolder(const HeldFolder& parent, const QString& path, const BackupManifest::_FileNode* node,
        HeldFolder* entered);
    void copyFileNode(const HeldFolder& dir, const QString& dirPath, const BackupManifest::_FileNode* node,
        QString blocked);
    struct PendingCopy;
    void reportFile(const QString& name, qint64 number);
    void finishOldestThrow();
    void drainQuietly();
    void settleFolders(bool ended);
    bool countedUnstored(const BackupManifest::_FileNode* node);
    void noteFinished(const PendingCopy& copy);
    void noteExtracted(const QString& path, const OutputFile::Placed& placed);
    void noteDamaged(const QString& text);
    void noteUnreadable(const QString& text);
    void noteUnwritten(const QString& text);
    QString faultsText() const;
    QString extractedText() const;

    const BackupManifest* m_manifest;
    QList<const BackupManifest::_FileNode*> m_nodes;
    QDir m_destDir;
    ProgressForm* m_form;
    ExtractNamer m_namer;
    MadeFolders m_madeFolders;
    std::shared_ptr<Progress> m_progress; // shared with the helper threads
    QString m_statusText;
    QString m_detailText;
    std::unique_ptr<QThreadPool> m_pool; // helper threads for plain backups only
    std::shared_ptr<std::atomic<bool>> m_failed; // set by the first copy that fails
    std::deque<std::shared_ptr<PendingCopy>> m_pending; // copies under way, in tree order
    // Folders made (their way from the destination), with their records' times.
    QList<QPair<QByteArray, quint32>> m_folderTimes;
    QStringList m_damaged; // the first texts of damagedFiles
    QStringList m_unreadable; // the first texts of unreadableFiles
    QStringList m_unwritten; // the first texts of unwrittenFiles
    FittedNames m_fitted; // files written under names the disk takes, as it refused their own
    bool m_endedAtFile = false; // a file's failure ended the run: counted unwritten, named by the error
};

// The progress callback of BackupManifest::copyFile; context is the copy's FileProgress.
void copyFileProgress(long long total, long long done, void* context);
