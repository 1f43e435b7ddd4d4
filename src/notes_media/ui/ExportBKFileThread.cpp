#include "notes_media/ui/ExportBKFileThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "backup/StoredFile.h"
#include "backup/lock/BackupFolderLock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSemaphore>
#include <QThreadPool>
#include <atomic>
#include <exception>
#include <stdexcept>
#include <utility>
#include <utime.h>
#include <vector>

// One file copy handed to a helper thread.
struct ExportBKFileThread::PendingCopy {
    QString name; // shown while it is the oldest copy under way
    qint64 number = 0; // its place among the files, from 1
    QSemaphore done;
    QString error; // empty after success
    QString damaged; // why the stored copy is not what the phone wrote; written all the same
    QString unreadable; // why the stored copy could not be read; nothing written
    bool skipped = false; // not started: the run was cancelled or an earlier copy failed
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

// Removes a link standing at path (the link, never what it points to).
void removeLink(const QString& path)
{
    if (QFileInfo(path).isSymLink())
        QFile::remove(path);
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

void setModified(const QString& path, quint32 mtime)
{
    struct utimbuf times;
    times.actime = times.modtime = time_t(mtime);
    utime(QFile::encodeName(path).constData(), &times);
}

} // namespace

void copyFileProgress(long long total, long long done, void* context)
{
    // The byte count of the file under way, at most every 100 ms: posting one per 8 KiB block
    // would keep the dialog's thread busy long after the copy (a gigabyte is 130,000 blocks).
    static std::atomic<qint64> lastPost { 0 };
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    const qint64 now = clock.elapsed();
    qint64 last = lastPost.load();
    if (now - last < 100 || !lastPost.compare_exchange_strong(last, now))
        return;
    auto* form = static_cast<ProgressForm*>(context);
    const QLocale locale;
    form->invokeUpdateProgress(QString(), -1,
        QStringLiteral("%1KB / %2KB").arg(locale.toString(done / 1024), locale.toString(total / 1024)));
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
    for (const BackupManifest::_FileNode* n : std::as_const(m_nodes))
        computeTotalFiles(n);
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
    // A destination that is not there yet is made, so the first folders do not go missing.
    QDir().mkpath(m_destDir.absolutePath());
    try {
        for (const BackupManifest::_FileNode* n : std::as_const(m_nodes))
            copy(m_destDir, n);
        while (!m_pending.empty())
            finishOldestThrow();
        setFolderTimes();
        if (m_form->cancelled)
            return;
        if (damagedFiles + unreadableFiles > 0)
            m_form->invokeErrorOccurred(faultsText());
        else
            m_form->invokeSucceed(QString());
    } catch (const std::exception& e) {
        drainQuietly();
        setFolderTimes();
        const QString faults = faultsText();
        m_form->invokeErrorOccurred(
            QString::fromUtf8(e.what()) + (faults.isEmpty() ? QString() : "\n" + faults));
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

// The files counted apart, named (the first few of each kind).
QString ExportBKFileThread::faultsText() const
{
    QStringList parts;
    const auto add = [&](qint64 count, const QStringList& named, const QString& heading) {
        if (count == 0)
            return;
        parts.append(heading.arg(count));
        parts.append(named);
        if (count > named.size())
            parts.append(QStringLiteral("... and %1 more.").arg(count - named.size()));
    };
    add(damagedFiles, m_damaged, QStringLiteral("%1 of the files are not what the phone wrote:"));
    add(unreadableFiles, m_unreadable, QStringLiteral("%1 of the files could not be read:"));
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
    m_form->invokeUpdateProgress(m_statusText.arg(name), int(double(number) / totalFiles * 100.0),
        m_detailText.arg(number).arg(totalFiles));
}

// Waits for the oldest copy under way; its failure is thrown.
void ExportBKFileThread::finishOldestThrow()
{
    const std::shared_ptr<PendingCopy> oldest = m_pending.front();
    m_pending.pop_front();
    oldest->done.acquire();
    if (!m_pending.empty())
        reportFile(m_pending.front()->name, m_pending.front()->number);
    if (!oldest->error.isEmpty())
        throw std::runtime_error(oldest->error.toUtf8().toStdString());
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
    else if (!copy.unreadable.isEmpty())
        noteUnreadable(copy.unreadable);
    else if (!copy.skipped)
        ++extractedFiles;
}

// Writing into a folder changes its time, so folders get theirs when everything is written,
// innermost first.
void ExportBKFileThread::setFolderTimes()
{
    for (auto it = m_folderTimes.crbegin(); it != m_folderTimes.crend(); ++it)
        setModified(it->first, it->second);
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
            continue;
        }
        for (const BackupManifest::_FileNode* c : n->children)
            stack.append(c);
    }
}

void ExportBKFileThread::copy(const QDir& dir, const BackupManifest::_FileNode* node)
{
    // Depth first in tree order, without recursion: a tree may be tens of thousands deep.
    std::vector<std::pair<QString, const BackupManifest::_FileNode*>> stack { { dir.absolutePath(), node } };
    while (!stack.empty() && !m_form->cancelled) {
        auto [parent, n] = std::move(stack.back());
        stack.pop_back();
        if (!isFolder(n)) {
            copyFileNode(QDir(parent), n);
            continue;
        }
        const QString path = m_namer.claimPath(parent, n->name(), false);
        removeLink(path);
        QDir().mkdir(path);
        if (!n->implied)
            m_folderTimes.append({ path, n->item.mtime });
        for (auto it = n->children.crbegin(); it != n->children.crend(); ++it)
            stack.emplace_back(path, *it);
    }
}

void ExportBKFileThread::copyFileNode(const QDir& dir, const BackupManifest::_FileNode* node)
{
    ++processedFiles;
    if (!m_pool)
        reportFile(node->name(), processedFiles);
    if (countedUnstored(node))
        return;
    // A link at the name is replaced by the copy (never written through) when it is complete.
    const QString path = m_namer.claimPath(dir.absolutePath(), node->name(), true);
    if (!m_pool) {
        try {
            m_manifest->copyFile(node, path, m_form, copyFileProgress);
        } catch (const BackupFolderLock::Cancelled&) {
            return; // the user ended the wait for the backup folder: nothing was written
        } catch (const BackupManifest::NotAsWritten& e) {
            noteDamaged(copyFailureText(node, path, e));
            return;
        } catch (const BackupManifest::Unreadable& e) {
            noteUnreadable(copyFailureText(node, path, e));
            return;
        } catch (const std::exception& e) {
            throw std::runtime_error(copyFailureText(node, path, e).toStdString());
        }
        ++extractedFiles;
        return;
    }
    auto pending = std::make_shared<PendingCopy>();
    pending->name = node->name();
    pending->number = processedFiles;
    m_pending.push_back(pending);
    if (m_pending.size() == 1)
        reportFile(pending->name, pending->number);
    const BackupManifest* manifest = m_manifest;
    ProgressForm* form = m_form;
    std::shared_ptr<std::atomic<bool>> failed = m_failed;
    m_pool->start([manifest, form, node, path, pending, failed] {
        // A wait for the backup folder is shown in the dialog and ends with its Cancel.
        const ProgressForm::ReportingScope reporting(form);
        // Copies wait in line in tree order; once the user cancelled or one failed, no other starts.
        if (form->cancelled || failed->load()) {
            pending->skipped = true;
        } else {
            try {
                manifest->copyFile(node, path, form, copyFileProgress);
            } catch (const BackupFolderLock::Cancelled&) {
                pending->skipped = true; // nothing was written
            } catch (const BackupManifest::NotAsWritten& e) {
                pending->damaged = copyFailureText(node, path, e);
            } catch (const BackupManifest::Unreadable& e) {
                pending->unreadable = copyFailureText(node, path, e);
            } catch (const std::exception& e) {
                pending->error = copyFailureText(node, path, e);
                failed->store(true);
            }
        }
        pending->done.release();
    });
    while (m_pending.size() >= size_t(kWindow))
        finishOldestThrow();
}
