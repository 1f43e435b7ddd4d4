#include "app/KeptPaths.h"

#include "app/FileNameFit.h"
#include "app/HeldFolder.h"
#include "app/KeptFileName.h"

#include <QFile>
#include <QStringList>
#include <sys/stat.h>
#include <utility>

namespace
{
bool beyondAscii(const QString& name)
{
    for (const QChar c : name)
        if (c.unicode() > 0x7E)
            return true;
    return false;
}

// The folder at relative below root, made where it is not; invalid when it cannot be.
HeldFolder madeFolder(const QString& root, const QString& relative)
{
    HeldFolder at = HeldFolder::open(root);
    if (!relative.isEmpty())
        for (const QString& part : relative.split(QLatin1Char('/')))
            if (at.isValid())
                at = at.make(part);
    return at;
}
} // namespace

KeptPaths::KeptPaths(QString root)
    : m_root(std::move(root))
{
}

QString KeptPaths::pathForWrite(const QString& relative)
{
    const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
    const QString folders = slash < 0 ? QString() : relative.left(slash);
    // Folders whose names become one on the disk hold the names of both, each told apart below.
    const QString way = folders.isEmpty() ? QString() : KeptFileName::pathForWrite(m_root, folders);
    const QString at = way.isEmpty() ? m_root : m_root + QLatin1Char('/') + way;
    const QString local = nameIn(at, way, relative.mid(slash + 1));
    return way.isEmpty() ? local : way + QLatin1Char('/') + local;
}

QString KeptPaths::nameIn(const QString& folderPath, const QString& folderRelative, const QString& name)
{
    FolderListing& listing = listingOf(folderPath);
    const bool asIs = FileNameFit::localName(name) == name;
    const QString aside = asIs ? FileNameFit::marked(name) : QString();
    QString local;
    struct stat st;
    if (!asIs)
        local = KeptFileName::forWrite(madeFolder(m_root, folderRelative), name); // a name to fit: rare
    else if (listing.lists(aside))
        local = aside; // set aside by an earlier run
    else if (listing.lists(name))
        local = name;
    else if (listing.listsAnother(name)
        && ::lstat(QFile::encodeName(folderPath + QLatin1Char('/') + name).constData(), &st) == 0)
        local = aside; // the disk finds another entry by the name
    else if (beyondAscii(name))
        local = KeptFileName::forWrite(madeFolder(m_root, folderRelative), name); // it may refuse it
    else
        local = name;
    listing.add(local);
    return local;
}

FolderListing& KeptPaths::listingOf(const QString& folderPath)
{
    const QString key = folderPath.toCaseFolded();
    auto it = m_listings.find(key);
    if (it == m_listings.end())
        it = m_listings.insert(key, FolderListing::read(folderPath));
    return it.value();
}
