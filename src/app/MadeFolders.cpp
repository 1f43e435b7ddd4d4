#include "app/MadeFolders.h"

#include "app/OutputFile.h"
#include "app/PathWalk.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

std::function<void(const QString&)>& afterMake()
{
    static std::function<void(const QString&)> hook;
    return hook;
}

bool failed(const QString& folder, int error, QString* why)
{
    if (why)
        *why = MadeFolders::failureText(folder, error);
    errno = error;
    return false;
}

// A link on the way that is not followed.
bool failed(const QString& folder, const QString& refused, QString* why)
{
    if (why)
        *why
            = QStringLiteral("Cannot make the folder %1: %2.").arg(QDir::toNativeSeparators(folder), refused);
    errno = EACCES;
    return false;
}

} // namespace

void MadeFolders::setAfterMake(std::function<void(const QString& path)> hook)
{
    afterMake() = std::move(hook);
}

void MadeFolders::makePathThrow(const QString& path)
{
    QString why;
    if (!makePath(path, &why))
        throw std::runtime_error(why.toStdString());
}

QString MadeFolders::failureText(const QString& folder, int error)
{
    // Only for the text: the system's "Not a directory" would not say why.
    struct stat st;
    if ((error == ENOTDIR || error == ELOOP) && ::lstat(QFile::encodeName(folder).constData(), &st) == 0
        && S_ISLNK(st.st_mode))
        return QStringLiteral("Cannot make the folder %1: a link stands there, and nothing is written "
                              "through a link.")
            .arg(QDir::toNativeSeparators(folder));
    return QStringLiteral("Cannot make the folder %1: %2.")
        .arg(QDir::toNativeSeparators(folder), QString::fromLocal8Bit(std::strerror(error)));
}

bool MadeFolders::makePath(const QString& path, QString* why)
{
    return MadeFolders().holdDestination(path, why);
}

HeldFolder MadeFolders::makeHeld(const QString& path, QString* why, QString* refused)
{
    MadeFolders made;
    if (made.holdDestination(path, why))
        return made.destination();
    if (refused)
        *refused = made.m_refused;
    return HeldFolder();
}

bool MadeFolders::makeDestination(const QString& dest, QString* why)
{
    if (!holdDestination(dest, why))
        return false;
    clearLeftovers(m_dest);
    return true;
}

// A folder a run writes into loses the temporaries a run killed there left, once in the run.
void MadeFolders::clearLeftovers(const HeldFolder& folder)
{
    if (m_cleared.insert({ folder.device(), folder.inode() }).second)
        OutputFile::removeLeftovers(folder);
}

bool MadeFolders::holdDestination(const QString& dest, QString* why)
{
    // The missing part of the way is made from the deepest entry that stands (whatever it is); the
    // part that stands is the system's to resolve, a ".." after a link going up from where it leads.
    const QString given = PathWalk::absolute(dest);
    const QString shown = PathWalk::goesUp(given) ? given : QDir::cleanPath(given);
    QStringList parts = given.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QStringList missing;
    int error = 0;
    struct stat st;
    while (!parts.isEmpty()
        && ::lstat(QFile::encodeName(QLatin1Char('/') + parts.join(QLatin1Char('/'))).constData(), &st) != 0
        && (error = errno) == ENOENT)
        missing.prepend(parts.takeLast());
    // What is missing holds no link: its "." and ".." are taken by their names.
    missing = QDir::cleanPath(missing.join(QLatin1Char('/'))).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    while (!missing.isEmpty()
        && (missing.first() == QLatin1String("..") || missing.first() == QLatin1String(".")))
        parts.append(missing.takeFirst());
    const QString root = QLatin1Char('/') + parts.join(QLatin1Char('/'));
    // What stands there is the user's: a link to a folder serves, unless the system's rule for
    // links in shared folders would not follow it.
    m_refused.clear();
    m_root = HeldFolder::open(root, &m_refused);
    if (!m_root.isValid() && !m_refused.isEmpty())
        return failed(shown, m_refused, why);
    if (!m_root.isValid()) // a file on the way ("Not a directory"), a folder closed to us
        return failed(QDir::cleanPath(root), error != 0 && error != ENOENT ? error : errno, why);
    HeldFolder at = m_root;
    for (const QString& part : std::as_const(missing)) {
        // One made by another program meanwhile serves as well, unless it is no folder.
        const HeldFolder next = make(at, part);
        if (!next.isValid())
            return failed(at.filePath(part), errno, why);
        at = next;
    }
    m_dest = at;
    return true;
}

HeldFolder MadeFolders::make(const HeldFolder& parent, const QString& name, bool* made)
{
    bool madeNow = false;
    const HeldFolder folder = parent.make(name, &madeNow);
    struct stat st;
    // Kept by what it is, so that a folder put in its place later is never taken for it; one put
    // there between the making and the opening is not the one made.
    madeNow = madeNow && folder.isValid() && parent.lstat(name, &st) && st.st_dev == folder.device()
        && st.st_ino == folder.inode();
    if (made)
        *made = madeNow;
    if (!madeNow && folder.isValid())
        clearLeftovers(folder);
    if (!madeNow)
        return folder;
    // Its way from the folder held, told by the folders themselves rather than by their names.
    QByteArray relative;
    if (!folder.relativeTo(m_root, &relative))
        return folder; // not below the destination: never taken back
    m_made.push_back({ relative, folder.device(), folder.inode() });
    if (afterMake())
        afterMake()(folder.path());
    return folder;
}

int MadeFolders::removeEmpty()
{
    int removed = 0;
    for (auto it = m_made.crbegin(); it != m_made.crend(); ++it)
        removed += removeOne(*it) ? 1 : 0;
    m_made.clear();
    return removed;
}

// rmdir of the folder when it is still the one made: it fails when anything is in it.
bool MadeFolders::removeOne(const Made& made) const
{
    const qsizetype slash = made.relative.lastIndexOf('/');
    const HeldFolder parent = slash < 0 ? m_root : m_root.subPath(made.relative.left(slash));
    return parent.removeIfSame(QFile::decodeName(made.relative.mid(slash + 1)), made.dev, made.ino);
}
