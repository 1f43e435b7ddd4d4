#include "messages/ui/ExportOutputGuard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr QDir::Filters kAll = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;

// Removes an entry the export made, hidden files inside it included; links are removed, not followed.
void removeEntry(const QFileInfo& entry)
{
    if (entry.isDir() && !entry.isSymLink())
        QDir(entry.absoluteFilePath()).removeRecursively();
    else
        QFile::remove(entry.absoluteFilePath());
}
} // namespace

ExportOutputGuard::ExportOutputGuard(const QString& path, bool folder)
    : m_path(path)
    , m_folder(folder)
{
    const QFileInfo info(path);
    m_existed = info.exists() || info.isSymLink();
    if (!m_folder || !info.isDir())
        return;
    const QDir dir(path);
    for (const QFileInfo& entry : dir.entryInfoList(kAll)) {
        m_before.insert(entry.fileName());
        if (entry.isDir() && !entry.isSymLink())
            for (const QString& inner : QDir(entry.absoluteFilePath()).entryList(kAll))
                m_before.insert(entry.fileName() + "/" + inner);
    }
}

void ExportOutputGuard::removeCreated() const
{
    const QFileInfo info(m_path);
    if (!m_folder) {
        // Only a regular file this run made: what stood there before (a file the user chose to
        // overwrite, a read-only file, a device such as /dev/null) stays.
        struct stat st;
        const QByteArray native = QFile::encodeName(m_path);
        if (!m_existed && ::lstat(native.constData(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(native.constData());
        return;
    }
    if (!m_existed) {
        if (info.isDir() && !info.isSymLink())
            QDir(m_path).removeRecursively();
        return;
    }
    if (!info.isDir())
        return;
    const QDir dir(m_path);
    for (const QFileInfo& entry : dir.entryInfoList(kAll)) {
        if (!m_before.contains(entry.fileName())) {
            removeEntry(entry);
            continue;
        }
        if (!entry.isDir() || entry.isSymLink())
            continue;
        for (const QFileInfo& inner : QDir(entry.absoluteFilePath()).entryInfoList(kAll))
            if (!m_before.contains(entry.fileName() + "/" + inner.fileName()))
                removeEntry(inner);
    }
}
