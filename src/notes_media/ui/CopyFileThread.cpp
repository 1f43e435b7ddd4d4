#include "notes_media/ui/CopyFileThread.h"

#include "app/OutputFile.h"
#include "app/ui/shared/ProgressForm.h"

#include <QFile>
#include <QLocale>
#include <cerrno>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <sys/stat.h>
#include <utility>

namespace
{

QFileInfoList listFolder(const QString& path)
{
    return QDir(path).entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot);
}

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

// Files under entry; a folder already on the way down (a link cycle) counts 0.
qint64 totalFiles(const QFileInfo& entry, QSet<QString>& ancestors)
{
    if (!entry.isDir())
        return 1;
    const QString canonical = entry.canonicalFilePath();
    if (ancestors.contains(canonical))
        return 0;
    ancestors.insert(canonical);
    qint64 n = 0;
    for (const QFileInfo& e : listFolder(entry.absoluteFilePath()))
        n += totalFiles(e, ancestors);
    ancestors.remove(canonical);
    return n;
}

} // namespace

CopyFileThread::CopyFileThread(QString source, QDir destination, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , m_source(std::move(source))
    , m_destination(std::move(destination))
    , m_form(form)
{
}

void CopyFileThread::run()
{
    const QFileInfo source(m_source);
    if (!source.exists()) {
        m_form->invokeErrorOccurred(QStringLiteral("Can not find ") + source.absoluteFilePath());
        return;
    }
    QString why;
    if (!m_made.makeDestination(m_destination.path(), &why)) {
        m_form->invokeErrorOccurred(why);
        return;
    }
    QSet<QString> ancestors;
    totalFiles = ::totalFiles(source, ancestors);
    copiedFiles = 0;
    try {
        copy(source, m_made.destination());
    } catch (const std::exception& e) {
        cleanUp();
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
        return;
    }
    if (m_form->cancelled) {
        cleanUp();
        return;
    }
    m_form->invokeSucceed(QString());
}

void CopyFileThread::copy(const QFileInfo& entry, const HeldFolder& destination)
{
    if (entry.isDir())
        copyFolder(entry, destination);
    else if (entry.isFile() && !m_form->cancelled)
        copyOneFile(entry, destination);
}

void CopyFileThread::copyFolder(const QFileInfo& entry, const HeldFolder& destination)
{
    if (m_form->cancelled)
        return;
    const QString canonical = entry.canonicalFilePath();
    if (m_ancestors.contains(canonical))
        return; // a link back into the tree being copied
    const QString name = entry.fileName();
    const QString target = destination.filePath(name);
    struct stat st;
    const bool stood = destination.lstat(name, &st);
    if (stood && !S_ISDIR(st.st_mode))
        fail(QStringLiteral("%1 is not a folder.").arg(target));
    QString moved;
    if (!destination.inPlace(&moved))
        fail(QStringLiteral("Cannot create the folder %1: the folder %2 was moved or replaced while it "
                            "was written into.")
                 .arg(target, moved));
    const HeldFolder sub = m_made.make(destination, name);
    if (!sub.isValid())
        fail(QStringLiteral("Can not create folder %1. %2")
                 .arg(target, QString::fromLocal8Bit(std::strerror(errno))));
    m_ancestors.insert(canonical);
    for (const QFileInfo& e : listFolder(entry.absoluteFilePath())) {
        if (m_form->cancelled)
            break;
        copy(e, sub);
    }
    m_ancestors.remove(canonical);
}

void CopyFileThread::copyOneFile(const QFileInfo& entry, const HeldFolder& destination)
{
    ++copiedFiles;
    m_form->invokeUpdateProgress(tr("IDS_COPYING_%1").arg(entry.fileName()),
        int(double(copiedFiles) / totalFiles * 100.0),
        QStringLiteral("Files:%1 / %2").arg(copiedFiles).arg(totalFiles));
    const QString name = entry.fileName();
    struct stat st;
    const bool existed = destination.lstat(name, &st) && !S_ISLNK(st.st_mode);
    const QLocale locale;
    const QString total = locale.toString(entry.size() / 1024);
    auto progress = [&](qint64 done) {
        m_form->invokeUpdateProgress(
            QString(), -1, QStringLiteral("%1KB / %2KB").arg(locale.toString(done / 1024), total));
        return !m_form->cancelled;
    };
    // A link at the target is replaced by the copy, never written through; the copy has the
    // source's permissions from its first moment.
    OutputFile out(destination, name);
    if (::stat(QFile::encodeName(entry.absoluteFilePath()).constData(), &st) == 0)
        out.setMode(st.st_mode & 0777);
    QString error;
    if (!out.copyFile(entry.absoluteFilePath(), &error, progress)) {
        if (m_form->cancelled)
            return;
        fail(error);
    }
    if (!existed)
        m_created.note(destination, name);
}

// Removes what this run made, newest first, for a folder source only; what was there before stays.
void CopyFileThread::cleanUp()
{
    if (!QFileInfo(m_source).isDir())
        return;
    m_created.takeBack();
    m_made.removeEmpty(); // the folders made, once they hold nothing of others
}
