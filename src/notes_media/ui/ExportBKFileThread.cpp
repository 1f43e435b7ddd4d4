#include "notes_media/ui/ExportBKFileThread.h"

#include "app/ui/shared/ProgressForm.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <exception>
#include <utility>
#include <utime.h>

namespace
{

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

void setModified(const QString& path, quint32 mtime)
{
    struct utimbuf times;
    times.actime = times.modtime = time_t(mtime);
    utime(QFile::encodeName(path).constData(), &times);
}

} // namespace

void copyFileProgress(long long total, long long done, void* context)
{
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

void ExportBKFileThread::run()
{
    totalFiles = processedFiles = extractedFiles = 0;
    for (const BackupManifest::_FileNode* n : std::as_const(m_nodes))
        computeTotalFiles(n);
    // A destination that is not there yet is made, so the first folders do not go missing.
    QDir().mkpath(m_destDir.absolutePath());
    try {
        for (const BackupManifest::_FileNode* n : std::as_const(m_nodes))
            copy(m_destDir, n);
        if (!m_form->cancelled)
            m_form->invokeSucceed(QString());
    } catch (const std::exception& e) {
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
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
    if (m_form->cancelled)
        return;
    if (!isFolder(node)) {
        copyFileNode(dir, node);
        return;
    }
    const QString path = m_namer.claimPath(dir.absolutePath(), node->name(), false);
    removeLink(path);
    QDir().mkdir(path);
    const QDir sub(path);
    for (const BackupManifest::_FileNode* c : node->children)
        copy(sub, c);
    if (!node->implied && !m_form->cancelled)
        setModified(path, node->item.mtime);
}

void ExportBKFileThread::copyFileNode(const QDir& dir, const BackupManifest::_FileNode* node)
{
    ++processedFiles;
    m_form->invokeUpdateProgress(tr("IDS_COPYING_FILE_%1").arg(node->name()),
        int(double(processedFiles) / totalFiles * 100.0),
        tr("Files:%1/%2").arg(processedFiles).arg(totalFiles));
    if (!QFileInfo::exists(m_manifest->storedFilePath(node->item)))
        return;
    const QString path = m_namer.claimPath(dir.absolutePath(), node->name(), true);
    removeLink(path);
    m_manifest->copyFile(node, path, m_form, copyFileProgress);
    ++extractedFiles;
}
