#include "messages/ui/ExportFilesFolder.h"

#include "app/DataPaths.h"
#include "app/MadeFiles.h"
#include "app/MadeFolders.h"
#include "app/OutputFile.h"
#include "messages/store/MsgStandingCopy.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// Names tried before the export gives up: a folder of pages holds no more of them.
constexpr int kMaxNumber = 1000;

QString nameOf(int n)
{
    return n == 1 ? QStringLiteral("files") : QStringLiteral("files(%1)").arg(n);
}

QFileInfoList bubbleFiles()
{
    return QDir(g_bubbleDir()).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}

// Whether every bubble file that stands in folder, one that stood before the export, holds the
// bytes the export would write, and the folder is the user's own.
bool fits(const HeldFolder& folder)
{
    struct stat st;
    if (::fstat(folder.fd(), &st) != 0 || st.st_uid != ::geteuid())
        return false;
    for (const QFileInfo& f : bubbleFiles())
        if (folder.lstat(f.fileName(), &st)
            && !ExportFilesFolder::holdsOwn(folder, f.fileName(), st, f.absoluteFilePath(), f.size()))
            return false;
    return true;
}
} // namespace

ExportFilesFolder ExportFilesFolder::takeThrow(MadeFolders& made, MadeFiles& files)
{
    const HeldFolder& pages = made.destination();
    for (int n = 1; n <= kMaxNumber; ++n) {
        ExportFilesFolder taken;
        taken.m_name = nameOf(n);
        struct stat st;
        // Another user's entry, or what is no folder, is never entered.
        if (pages.lstat(taken.m_name, &st) && (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()))
            continue;
        bool madeNow = false;
        taken.m_folder = made.make(pages, taken.m_name, &madeNow);
        if (!taken.m_folder.isValid())
            throw std::runtime_error(
                MadeFolders::failureText(pages.filePath(taken.m_name), errno).toStdString());
        if (!madeNow && !fits(taken.m_folder))
            continue;
        taken.writeBubbleThrow(files);
        return taken;
    }
    throw std::runtime_error(MadeFolders::failureText(pages.filePath(nameOf(1)), EEXIST).toStdString());
}

void ExportFilesFolder::writeBubbleThrow(MadeFiles& files) const
{
    for (const QFileInfo& f : bubbleFiles()) {
        if (m_folder.has(f.fileName()))
            continue; // the very bytes, as fits() found
        OutputFile out(m_folder, f.fileName());
        out.setKeepStanding(true);
        QString error;
        if (!out.copyFile(f.absoluteFilePath(), &error))
            throw std::runtime_error(error.toStdString());
        if (out.keptStanding())
            continue;
        files.note(m_folder, out.placedName());
        if (out.placedName() != f.fileName())
            throw std::runtime_error(
                QStringLiteral("Another program put a file at %1 while the export wrote it there.")
                    .arg(QDir::toNativeSeparators(m_folder.filePath(f.fileName())))
                    .toStdString());
    }
}

bool ExportFilesFolder::holdsOwn(const HeldFolder& folder, const QString& name, const struct stat& standing,
    const QString& source, qint64 size)
{
    return S_ISREG(standing.st_mode) && standing.st_uid == ::geteuid() && standing.st_size == size
        && MsgStandingCopy::sameBytes(folder, name, source);
}
