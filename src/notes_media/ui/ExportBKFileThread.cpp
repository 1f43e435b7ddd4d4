#include "notes_media/ui/ExportBKFileThread.h"

#include "app/CountText.h"
#include "app/FileNameFit.h"
#include "app/OutputFile.h"
#include "app/TaskCancel.h"
#include "app/WrittenDisks.h"
#include "app/ui/shared/ProgressForm.h"
#include "backup/StoredFile.h"
#include "backup/StoredFileCopy.h"
#include "backup/lock/BackupFolderLock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSemaphore>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <utility>
#include <vector>

// One file copy handed to a helper thread.
struct ExportBKFileThread::PendingCopy {
    QString name; // shown while it is the oldest copy under way
    qint64 number = 0; // its place among the files, from 1
    QSemaphore done;
    QString error; // empty after success
    QString damaged; // why the stored copy is not what the phone wrote; written all the same
    QString unreadable; // why the stored copy could not be read; nothing written
    QString unwritten; // why its folder got nothing (moved or swapped for a link meanwhile), or the
                       // disk took no name for it
    QString path; // where it was meant to go
    OutputFile::Placed placed; // where it went
    bool skipped = false; // not started: the run was cancelled or an earlier copy failed
};

// How far the run is, for the bar: by files, or by bytes where those are further on, so that a big
// file moves the bar while it is written. Shared with the helper threads.
struct ExportBKFileThread::Progress {
    ProgressForm* form = nullptr;
    qint64 totalFiles = 0;
    qint64 totalBytes = 0; // as the records give them
    std::atomic<qint64> fileNumber { 0 }; // the file shown as under way
    std::atomic<qint64> doneBytes { 0 }; // of the files done, and told by the copies under way
    QElapsedTimer clock;
    std::mutex posting; // the posts reach the dialog in the order of their values
    int lastPercent = -1;
    qint64 lastPost = -1000; // ms on clock

    int percent() const
    {
        const double byFiles = totalFiles > 0 ? double(fileNumber.load()) / double(totalFiles) : 0.0;
        const double byBytes = totalBytes > 0 ? double(doneBytes.load()) / double(totalBytes) : 0.0;
        return int(qBound(0.0, std::max(byFiles, byBytes), 1.0) * 100.0);
    }
    // Posts the texts with the bar's value when it moved on (else the bar stays). A post that need
    // not be made goes only when the bar moved or 100 ms have passed: one per block would keep the
    // dialog's thread busy long after the copy (a gigabyte is 130,000 blocks of 8 KiB).
    void post(const QString& status, const std::function<QString()>& detail, bool always)
    {
        const std::lock_guard<std::mutex> lock(posting);
        const int now = percent();
        const bool moved = now > lastPercent;
        if (!moved && !always && clock.elapsed() - lastPost < 100)
            return;
        lastPost = clock.elapsed();
        lastPercent = std::max(lastPercent, now);
        form->invokeUpdateProgress(status, moved ? now : -1, detail());
    }
};

// One file's copy: the bytes it has told so far. When it ends, however it ends, the file counts
// with the size its record gives.
struct ExportBKFileThread::FileProgress {
    FileProgress(Progress& run, const BackupManifest::_FileNode* node)
        : run(run)
        , size(qMax<qint64>(0, node->item.size))
    {
    }
    ~FileProgress() { run.doneBytes += size - told; }
    FileProgress(const FileProgress&) = delete;
    FileProgress& operator=(const FileProgress&) = delete;

    Progress& run;
    qint64 size;
    qint64 told = 0;
};

namespace
{

// Copies under way at most; enough to keep the helper threads and the disk busy.
const int kWindow = 16;
// Files named in the result at most for each kind of fault; the counts tell the rest.
const int kNamed = 10;

bool isFolder(const BackupManifest::_FileNode* node)
{
    return node->item.isFolder();
}

// A path cut in the middle when long: a record's path may be thousands of bytes.
QString shortened(const QString& path)
{
    constexpr int kHead = 40, kTail = 60;
    if (path.size() <= kHead + kTail + 3)
        return path;
    return path.left(kHead) + QStringLiteral("...") + path.right(kTail);
}

// The failure of one file's copy, naming its record by domain and (shortened) path.
QString faultText(const BackupManifest::_FileNode* node, const QString& reason)
{
    return QStringLiteral("%1\nRecord: %2 %3")
        .arg(reason, node->item.domain, shortened(node->item.relativePath()));
}

QString copyFailureText(const BackupManifest::_FileNode* node, const QString& dest, const std::exception& e)
{
    return faultText(node, QString::fromUtf8(e.what()).replace(dest, shortened(dest)));
}

// Why nothing is written below path, where st tells what stands that is no folder.
QString blockedText(const QString& path, const struct stat& st)
{
    return S_ISLNK(st.st_mode)
        ? QStringLiteral("%1 is a link, and an extraction writes nothing through a link.")
              .arg(shortened(path))
        : QStringLiteral("%1 is not a folder.").arg(shortened(path));
}

// Why nothing more is written into a folder of the run that no longer stands where it was: path
// is the first on the way that does not.
QString movedText(const QString& path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode))
        return blockedText(path, st);
    return QStringLiteral("%1 was moved or replaced while the extraction wrote into it.")
        .arg(shortened(path));
}

// The failure of a copy into dir, or why it got nothing when dir no longer stands where it was.
QString unwrittenText(const HeldFolder& dir, const BackupManifest::_FileNode* node, const QString& path)
{
    QString moved;
    if (dir.inPlace(&moved))
        return QString();
    return faultText(node, QStringLiteral("Cannot write %1: %2").arg(shortened(path), movedText(moved)));
}

} // namespace

void copyFileProgress(long long total, long long done, void* context)
{
    auto* copy = static_cast<ExportBKFileThread::FileProgress*>(context);
    ExportBKFileThread::Progress& run = copy->run;
    run.doneBytes += done - copy->told;
    copy->told = done;
    run.post(
        QString(),
        [total, done] {
            const QLocale locale;
            return QStringLiteral("%1KB / %2KB")
                .arg(locale.toString(done / 1024), locale.toString(total / 1024));
        },
        false);
    // While the user is asked whether to cancel, the copy stands still here; once the cancel is
    // confirmed, the copy under way stops at its next block and leaves nothing.
    (void)bool(run.form->cancelled);
}

ExportBKFileThread::ExportBKFileThread(const BackupManifest* manifest,
    const QList<const BackupManifest::_FileNode*>& nodes, QDir destDir, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , m_manifest(manifest)
    , m_nodes(nodes)
    , m_destDir(std::move(destDir))
    , m_form(form)
{
}

ExportBKFileThread::~ExportBKFileThread() = default;

QString ExportBKFileThread::withNotStored(const QString& success, qint64 notStored)
{
    if (notStored <= 0)
        return success;
    return success + QLatin1Char(' ') + tr("IDS_%1_CHOSEN_FILES_NOT_STORED").arg(notStored);
}

void ExportBKFileThread::run()
{
    totalFiles = processedFiles = extractedFiles = missingFiles = 0;
    m_progress = std::make_shared<Progress>();
    m_progress->form = m_form;
    m_progress->clock.start();
    for (const BackupManifest::_FileNode* n : std::as_const(m_nodes))
        computeTotalFiles(n);
    m_progress->totalFiles = totalFiles;
    // Looked up once: the texts are the same for every file.
    m_statusText = tr("IDS_COPYING_FILE_%1");
    m_detailText = tr("Files:%1/%2");
    // Encrypted files stay on this thread: their keys come through the backup object, which is
    // not made for several threads at once. Plain copies go to helper threads.
    if (!m_manifest->IsEncrypted) {
        m_failed = std::make_shared<std::atomic<bool>>(false);
        m_pool = std::make_unique<QThreadPool>();
        m_pool->setMaxThreadCount(qBound(1, QThread::idealThreadCount(), 4));
    }
    // A destination that is not there yet is made; one that cannot be made says why.
    QString why;
    if (!m_madeFolders.makeDestination(m_destDir.path(), &why)) {
        m_form->invokeErrorOccurred(why);
        return;
    }
    const HeldFolder dest = m_madeFolders.destination();
    for (const BackupManifest::_FileNode* n : std::as_const(m_nodes))
        m_namer.reserve(dest.path(), n->name());
    try {
        for (const BackupManifest::_FileNode* n : std::as_const(m_nodes))
            copy(dest, n);
        while (!m_pending.empty())
            finishOldestThrow();
        const bool cancelled = m_form->cancelled;
        settleFolders(cancelled);
        if (cancelled) {
            // The files a cancel kept are counted to the user once they are on the disk.
            WrittenDisks::syncThisThread(&unsyncedText);
            return;
        }
        if (damagedFiles + unreadableFiles + unwrittenFiles > 0)
            m_form->invokeErrorOccurred(m_fitted.after(extractedText() + "\n" + faultsText()));
        else
            m_form->invokeSucceed(m_fitted.text());
    } catch (const std::exception& e) {
        drainQuietly();
        settleFolders(true);
        const QString faults = faultsText();
        unwrittenFiles += m_endedAtFile ? 1 : 0;
        m_form->invokeErrorOccurred(m_fitted.after(QString::fromUtf8(e.what()) + "\n" + extractedText()
            + (faults.isEmpty() ? QString() : "\n" + faults)));
    }
}

void ExportBKFileThread::noteDamaged(const QString& text)
{
    if (++damagedFiles <= kNamed)
        m_damaged.append(text);
}

void ExportBKFileThread::noteUnreadable(const QString& text)
{
    if (++unreadableFiles <= kNamed)
        m_unreadable.append(text);
}

void ExportBKFileThread::noteUnwritten(const QString& text)
{
    if (++unwrittenFiles <= kNamed)
        m_unwritten.append(text);
}

// How many files were written, those not as the phone wrote them too (as a cancel tells them).
QString ExportBKFileThread::extractedText() const
{
    const qint64 written = extractedFiles + damagedFiles;
    return CountText::of(
        written, QStringLiteral("1 file was extracted."), QStringLiteral("%1 files were extracted."));
}

// The files counted apart, named (the first few of each kind).
QString ExportBKFileThread::faultsText() const
{
    QStringList parts;
    const auto add = [&](qint64 count, const QStringList& named, const QString& one, const QString& many) {
        if (count == 0)
            return;
        parts.append(CountText::of(count, one, many));
        parts.append(named);
        if (count > named.size())
            parts.append(QStringLiteral("... and %1 more.").arg(count - named.size()));
    };
    add(damagedFiles, m_damaged, QStringLiteral("1 of the files is not what the phone wrote:"),
        QStringLiteral("%1 of the files are not what the phone wrote:"));
    add(unreadableFiles, m_unreadable, QStringLiteral("1 of the files could not be read:"),
        QStringLiteral("%1 of the files could not be read:"));
    add(unwrittenFiles, m_unwritten, QStringLiteral("1 of the files could not be written:"),
        QStringLiteral("%1 of the files could not be written:"));
    return parts.join(QLatin1Char('\n'));
}

// Counts a file whose stored copy the backup lacks, or the system does not let the user read;
// true when it is one.
bool ExportBKFileThread::countedUnstored(const BackupManifest::_FileNode* node)
{
    QString text;
    switch (m_manifest->storedState(node, &text)) {
    case StoredFile::State::Readable:
        return false;
    case StoredFile::State::Missing:
        ++missingFiles;
        return true;
    case StoredFile::State::Unreadable:
        noteUnreadable(faultText(node, text));
        return true;
    }
    return false;
}

// The file under way, numbered in tree order. A helper's copy is shown while it is the oldest
// under way, not when it is queued: the bar then never runs ahead of the files written (nor
// stands full while every copy waits for the backup folder).
void ExportBKFileThread::reportFile(const QString& name, qint64 number)
{
    m_progress->fileNumber = number;
    m_progress->post(
        m_statusText.arg(name), [&] { return m_detailText.arg(number).arg(totalFiles); }, true);
}

// Waits for the oldest copy under way; its failure is thrown.
void ExportBKFileThread::finishOldestThrow()
{
    const std::shared_ptr<PendingCopy> oldest = m_pending.front();
    m_pending.pop_front();
    oldest->done.acquire();
    if (!m_pending.empty())
        reportFile(m_pending.front()->name, m_pending.front()->number);
    if (!oldest->error.isEmpty()) {
        m_endedAtFile = true;
        throw std::runtime_error(oldest->error.toUtf8().toStdString());
    }
    noteFinished(*oldest);
}

// Waits for the copies still under way after a failure; those that completed still count.
void ExportBKFileThread::drainQuietly()
{
    for (const std::shared_ptr<PendingCopy>& p : m_pending) {
        p->done.acquire();
        if (p->error.isEmpty())
            noteFinished(*p);
    }
    m_pending.clear();
}

// Counts a copy that ended without an error that ends the run.
void ExportBKFileThread::noteFinished(const PendingCopy& copy)
{
    if (!copy.damaged.isEmpty())
        noteDamaged(copy.damaged);
    else if (!copy.unwritten.isEmpty())
        noteUnwritten(copy.unwritten);
    else if (!copy.unreadable.isEmpty())
        noteUnreadable(copy.unreadable);
    else if (!copy.skipped)
        noteExtracted(copy.path, copy.placed);
}

// Counts a file written, and the name it was written under when not its own.
void ExportBKFileThread::noteExtracted(const QString& path, const OutputFile::Placed& placed)
{
    ++extractedFiles;
    m_fitted.add(path, placed);
}

// After a cancel or a failure the folders made that hold nothing go. Writing into a folder (or
// removing from it) changes its time, so folders get theirs when that is done, innermost first.
void ExportBKFileThread::settleFolders(bool ended)
{
    if (ended)
        m_madeFolders.removeEmpty();
    // Each found again from the destination, never through a link: a run holds no more folders
    // open than its way down.
    const HeldFolder dest = m_madeFolders.destination();
    for (auto it = m_folderTimes.crbegin(); it != m_folderTimes.crend(); ++it) {
        const qsizetype slash = it->first.lastIndexOf('/');
        const HeldFolder parent = slash < 0 ? dest : dest.subPath(it->first.left(slash));
        parent.setTime(QFile::decodeName(it->first.mid(slash + 1)), it->second);
    }
    m_folderTimes.clear();
}

void ExportBKFileThread::computeTotalFiles(const BackupManifest::_FileNode* node)
{
    // Without recursion: a tree may be deep.
    QList<const BackupManifest::_FileNode*> stack { node };
    while (!stack.isEmpty()) {
        const BackupManifest::_FileNode* n = stack.takeLast();
        if (!isFolder(n)) {
            ++totalFiles;
            m_progress->totalBytes += qMax<qint64>(0, n->item.size);
            continue;
        }
        for (const BackupManifest::_FileNode* c : n->children)
            stack.append(c);
    }
}

void ExportBKFileThread::copy(const HeldFolder& dir, const BackupManifest::_FileNode* node)
{
    // Depth first in tree order, without recursion: a tree may be tens of thousands deep. Each entry
    // carries its folder, held, and why nothing can be written below it, empty when something can;
    // one without a node marks the end of the folder at parentPath.
    struct Entry {
        HeldFolder parent;
        QString parentPath;
        const BackupManifest::_FileNode* node;
        QString blocked;
    };
    std::vector<Entry> stack { { dir, dir.path(), node, QString() } };
    while (!stack.empty() && !m_form->cancelled) {
        const Entry e = std::move(stack.back());
        stack.pop_back();
        if (!e.node) {
            m_namer.forget(e.parentPath); // held only while the folder's entries come
            continue;
        }
        if (!isFolder(e.node)) {
            copyFileNode(e.parent, e.parentPath, e.node, e.blocked);
            continue;
        }
        const QString path = m_namer.claimPath(e.parentPath, e.node->name(), false);
        HeldFolder entered;
        const QString blocked
            = e.blocked.isEmpty() ? enterFolder(e.parent, path, e.node, &entered) : e.blocked;
        for (const BackupManifest::_FileNode* c : e.node->children)
            m_namer.reserve(path, c->name());
        stack.push_back({ HeldFolder(), path, nullptr, QString() });
        for (auto it = e.node->children.crbegin(); it != e.node->children.crend(); ++it)
            stack.push_back({ entered, path, *it, blocked });
    }
}

// Makes the folder of node at path in parent, or takes the folder that stood there (without the
// temporaries a killed run left in it), into *entered. Returns why nothing can be written below it:
// what stands there is no folder (the user's link, a file; it stays as it is), the system will not
// make it, or parent no longer stands where it was.
QString ExportBKFileThread::enterFolder(
    const HeldFolder& parent, const QString& path, const BackupManifest::_FileNode* node, HeldFolder* entered)
{
    QString moved;
    if (!parent.inPlace(&moved))
        return movedText(moved);
    const QString name = QFileInfo(path).fileName();
    bool made = false;
    *entered = m_madeFolders.make(parent, name, &made);
    if (!entered->isValid() && OutputFile::refusesName(errno))
        *entered = makeFitted(parent, path, &made);
    QByteArray relative;
    if (made && !node->implied && entered->relativeTo(m_madeFolders.destination(), &relative))
        m_folderTimes.append({ relative, node->item.mtime });
    if (entered->isValid())
        return QString();
    const int error = errno;
    struct stat st;
    if (parent.lstat(name, &st) && !S_ISDIR(st.st_mode))
        return blockedText(path, st);
    return QStringLiteral("the folder %1 cannot be made: %2.")
        .arg(shortened(path), QString::fromLocal8Bit(std::strerror(error)));
}

// The folder at path in parent under a name fitted to a disk that refused its own (as files are,
// see OutputFile::setFitName), noted as such; invalid, with the errno of the name given, when the
// disk takes none of them.
HeldFolder ExportBKFileThread::makeFitted(const HeldFolder& parent, const QString& path, bool* made)
{
    const int refused = errno;
    const QString name = QFileInfo(path).fileName();
    for (const QString& fitted : { FileNameFit::localName(name), FileNameFit::asciiName(name) }) {
        if (fitted == name)
            continue;
        const HeldFolder folder = m_madeFolders.make(parent, fitted, made);
        if (folder.isValid()) {
            m_fitted.add(path, fitted);
            return folder;
        }
    }
    errno = refused;
    return HeldFolder();
}

void ExportBKFileThread::copyFileNode(
    const HeldFolder& dir, const QString& dirPath, const BackupManifest::_FileNode* node, QString blocked)
{
    ++processedFiles;
    if (!m_pool)
        reportFile(node->name(), processedFiles);
    if (countedUnstored(node)) {
        m_progress->doneBytes += qMax<qint64>(0, node->item.size);
        return;
    }
    // Nothing standing at the name is replaced, nor a link there written through.
    const QString path = m_namer.claimPath(dirPath, node->name(), true);
    const QString name = QFileInfo(path).fileName();
    QString moved;
    if (blocked.isEmpty() && !dir.inPlace(&moved))
        blocked = movedText(moved);
    if (!blocked.isEmpty()) {
        m_progress->doneBytes += qMax<qint64>(0, node->item.size);
        noteUnwritten(faultText(node, QStringLiteral("Cannot write %1: %2").arg(shortened(path), blocked)));
        return;
    }
    if (!m_pool) {
        OutputFile::Placed placed;
        try {
            FileProgress told(*m_progress, node);
            placed = StoredFileCopy(*m_manifest).copyThrow(node, dir, name, &told, copyFileProgress);
        } catch (const BackupFolderLock::Cancelled&) {
            return; // the user ended the wait for the backup folder: nothing was written
        } catch (const TaskCancel::Cancelled&) {
            return; // the user cancelled: the copy under way stopped and left nothing
        } catch (const BackupManifest::NotAsWritten& e) {
            noteDamaged(copyFailureText(node, path, e));
            return;
        } catch (const BackupManifest::Unreadable& e) {
            noteUnreadable(copyFailureText(node, path, e));
            return;
        } catch (const OutputFile::Refused& e) {
            noteUnwritten(copyFailureText(node, path, e));
            return;
        } catch (const std::exception& e) {
            const QString unwritten = unwrittenText(dir, node, path);
            if (unwritten.isEmpty()) {
                m_endedAtFile = true;
                throw std::runtime_error(copyFailureText(node, path, e).toStdString());
            }
            noteUnwritten(unwritten);
            return;
        }
        noteExtracted(path, placed);
        return;
    }
    auto pending = std::make_shared<PendingCopy>();
    pending->name = node->name();
    pending->path = path;
    pending->number = processedFiles;
    m_pending.push_back(pending);
    if (m_pending.size() == 1)
        reportFile(pending->name, pending->number);
    const BackupManifest* manifest = m_manifest;
    ProgressForm* form = m_form;
    std::shared_ptr<std::atomic<bool>> failed = m_failed;
    std::shared_ptr<Progress> progress = m_progress;
    std::shared_ptr<WrittenDisks::Set> disks = WrittenDisks::ofThisThread();
    m_pool->start([manifest, form, node, dir, name, path, pending, failed, progress, disks] {
        // A wait for the backup folder is shown in the dialog and ends with its Cancel; the file is
        // synced with the run's others before its success is told.
        const ProgressForm::ReportingScope reporting(form);
        const WrittenDisks::Helper helping(disks);
        // Copies wait in line in tree order; once the user cancelled or one failed, no other starts.
        if (form->cancelled || failed->load()) {
            pending->skipped = true;
        } else {
            try {
                FileProgress told(*progress, node);
                pending->placed
                    = StoredFileCopy(*manifest).copyThrow(node, dir, name, &told, copyFileProgress);
            } catch (const BackupFolderLock::Cancelled&) {
                pending->skipped = true; // nothing was written
            } catch (const TaskCancel::Cancelled&) {
                pending->skipped = true; // stopped by the cancel; nothing of it is left
            } catch (const BackupManifest::NotAsWritten& e) {
                pending->damaged = copyFailureText(node, path, e);
            } catch (const BackupManifest::Unreadable& e) {
                pending->unreadable = copyFailureText(node, path, e);
            } catch (const OutputFile::Refused& e) {
                pending->unwritten = copyFailureText(node, path, e);
            } catch (const std::exception& e) {
                pending->unwritten = unwrittenText(dir, node, path);
                if (pending->unwritten.isEmpty()) {
                    pending->error = copyFailureText(node, path, e);
                    failed->store(true);
                }
            }
        }
        pending->done.release();
    });
    while (m_pending.size() >= size_t(kWindow))
        finishOldestThrow();
}
