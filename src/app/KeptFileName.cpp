#include "app/KeptFileName.h"

#include "app/FileNameFit.h"
#include "app/HeldFolder.h"
#include "app/OutputFile.h"

#include <QFile>
#include <QStringList>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// Whether the disk of folder takes name for a file: a refusal of the name shows at the making.
bool diskTakes(const HeldFolder& folder, const QString& name)
{
    const QByteArray native = HeldFolder::native(name);
    const int fd = ::openat(
        folder.fd(), native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == EEXIST || !OutputFile::refusesName(errno);
    ::close(fd);
    ::unlinkat(folder.fd(), native.constData(), 0);
    return true;
}
} // namespace

QString KeptFileName::plain(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
        || name.toUtf8().size() > FileNameFit::kMaxNameBytes)
        return QString();
    for (const QChar c : name)
        if (c.unicode() < 0x20 || c == QLatin1Char('/') || c.unicode() == 0x7F)
            return QString();
    // What a fitted name holds: a phone's name like it keeps the fitted form, which is its alone.
    return FileNameFit::markedIfChanged(name, name) == name ? name : QString();
}

QString KeptFileName::standing(const QString& folderPath, const QString& name)
{
    const QString fitted = FileNameFit::localName(name);
    if (fitted == name)
        return fitted;
    const QString own = plain(name);
    if (own.isEmpty())
        return fitted;
    struct stat st;
    const QByteArray path = QFile::encodeName(folderPath + QLatin1Char('/') + own);
    return ::lstat(path.constData(), &st) == 0 ? own : fitted;
}

QString KeptFileName::forWrite(const HeldFolder& folder, const QString& name)
{
    const QString fitted = FileNameFit::localName(name);
    if (fitted == name)
        return fitted; // the usual case
    const QString own = plain(name);
    if (own.isEmpty() || !folder.isValid())
        return fitted;
    if (folder.has(own))
        return own;
    if (folder.has(fitted))
        return fitted;
    return diskTakes(folder, own) ? own : fitted;
}

QString KeptFileName::pathForWrite(const QString& folderPath, const QString& relative)
{
    const QString fitted = FileNameFit::localPath(relative);
    if (fitted == relative)
        return fitted; // the usual case: no name differs
    QStringList parts = relative.split(QLatin1Char('/'));
    HeldFolder at = HeldFolder::open(folderPath);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (!at.isValid()) {
            parts[i] = FileNameFit::localName(parts[i]);
            continue;
        }
        parts[i] = forWrite(at, parts[i]);
        if (i + 1 < parts.size())
            at = at.make(parts[i]);
    }
    return parts.join(QLatin1Char('/'));
}
