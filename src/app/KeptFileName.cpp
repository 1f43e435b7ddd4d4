#include "app/KeptFileName.h"

#include "app/FileNameFit.h"
#include "app/HeldFolder.h"
#include "app/OutputFile.h"

#include <QFile>
#include <QStringList>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// Whether the folder open at dir lists an entry by the very name: a disk that ignores case, or
// drops a dot at a name's end, finds another entry by a name it does not list.
bool listedAs(int dir, const QByteArray& name)
{
    const int fd = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* list = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!list) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    bool listed = false;
    while (const dirent* entry = ::readdir(list))
        if (name == entry->d_name) {
            listed = true;
            break;
        }
    ::closedir(list);
    return listed;
}

// Whether an entry stands inside folder under the very name.
bool standsAs(const HeldFolder& folder, const QString& name)
{
    return folder.has(name) && listedAs(folder.fd(), HeldFolder::native(name));
}

// Whether the disk of folder keeps name for a file as it is: a refusal of the name shows at the
// making, a name the disk changes or finds another entry by in its listing.
bool diskKeeps(const HeldFolder& folder, const QString& name)
{
    const QByteArray native = HeldFolder::native(name);
    const int fd = ::openat(
        folder.fd(), native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno != EEXIST && !OutputFile::refusesName(errno);
    ::close(fd);
    const bool kept = listedAs(folder.fd(), native);
    ::unlinkat(folder.fd(), native.constData(), 0);
    return kept;
}

// local, the name a write means to give the phone's name inside folder, where the disk takes it;
// else the first ASCII form of the name that stands or that the disk takes (a disk that takes no
// letters beyond ASCII refuses the name), as an extraction fits a name it refuses.
QString takenForm(const HeldFolder& folder, const QString& name, const QString& local)
{
    if (!KeptFileName::beyondAscii(local) || !folder.isValid() || folder.has(local)
        || diskKeeps(folder, local))
        return local;
    const QString ascii = FileNameFit::asciiName(name);
    for (const QString& form : { ascii, FileNameFit::shortName(name) })
        if (folder.has(form) || diskKeeps(folder, form))
            return form;
    return ascii;
}

// The local name of a name kept as it is inside the folder at folderPath, as a write gave it.
QString standingAsIs(const QString& folderPath, const QString& name)
{
    const QString at = folderPath + QLatin1Char('/');
    const QString aside = FileNameFit::marked(name);
    if (KeptFileName::entryAt(at + aside))
        return aside;
    if (!KeptFileName::beyondAscii(name) || KeptFileName::entryAt(at + name))
        return name;
    for (const QString& form : { FileNameFit::asciiName(name), FileNameFit::shortName(name) })
        if (KeptFileName::entryAt(at + form))
            return form;
    return name;
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

QString KeptFileName::aside(const QString& name)
{
    const QString fitted = FileNameFit::localName(name);
    return fitted != name ? fitted : FileNameFit::marked(name);
}

QString KeptFileName::standing(const QString& folderPath, const QString& name)
{
    const QString fitted = FileNameFit::localName(name);
    if (fitted == name)
        return standingAsIs(folderPath, name);
    const HeldFolder folder = HeldFolder::open(folderPath);
    if (!folder.isValid())
        return fitted;
    const QString own = plain(name);
    if (!own.isEmpty() && standsAs(folder, own))
        return own;
    for (const QString& form : { fitted, FileNameFit::asciiName(name), FileNameFit::shortName(name) })
        if (folder.has(form))
            return form;
    // The entry the disk finds by the phone's own name (another case of it) is the one file an
    // earlier version kept for both names: this one's too.
    return !own.isEmpty() && folder.has(own) ? own : fitted;
}

QString KeptFileName::forWrite(const HeldFolder& folder, const QString& name)
{
    const QString fitted = FileNameFit::localName(name);
    if (fitted == name)
        return fitted; // the usual case
    const QString own = plain(name);
    if (own.isEmpty() || !folder.isValid())
        return takenForm(folder, name, fitted);
    if (standsAs(folder, own))
        return own;
    // Another entry found by the name (another case of it, the name without its end) is not it.
    if (folder.has(own) || folder.has(fitted))
        return fitted;
    return diskKeeps(folder, own) ? own : takenForm(folder, name, fitted);
}

QString KeptFileName::taken(const HeldFolder& folder, const QString& name)
{
    return takenForm(folder, name, name);
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

bool KeptFileName::beyondAscii(const QString& name)
{
    for (const QChar c : name)
        if (c.unicode() > 0x7E)
            return true;
    return false;
}

bool KeptFileName::entryAt(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}
