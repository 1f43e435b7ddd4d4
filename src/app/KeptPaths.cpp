#include "app/KeptPaths.h"

#include "app/FileNameFit.h"
#include "app/HeldFolder.h"
#include "app/KeptFileName.h"

#include <QFile>
#include <QStringList>
#include <dirent.h>
#include <utility>

namespace
{
// name with each letter in the other case.
QString otherCase(const QString& name)
{
    QString other = name;
    for (QChar& c : other)
        c = c.isUpper() ? c.toLower() : c.toUpper();
    return other;
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
    if (FileNameFit::localName(name) != name) // a name to fit: rare
        return KeptFileName::forWrite(madeFolder(m_root, folderRelative), name);
    const QString at = folderPath + QLatin1Char('/');
    const QString aside = FileNameFit::marked(name);
    QString local = name;
    if (KeptFileName::entryAt(at + aside)) {
        local = aside; // set aside by an earlier run
    } else if (!KeptFileName::entryAt(at + name)) {
        if (KeptFileName::beyondAscii(name)) // the disk may refuse it
            local = KeptFileName::taken(madeFolder(m_root, folderRelative), name);
    } else {
        // An entry is found by the name: where the name in another case finds none, the disk tells
        // case apart here and the entry is the name's own; else the folder's listing tells.
        const QString other = otherCase(name);
        if ((other == name || KeptFileName::entryAt(at + other)) && !listed(folderPath, name))
            local = aside;
    }
    if (m_listedPath == folderPath)
        m_listed.insert(local);
    return local;
}

bool KeptPaths::listed(const QString& folderPath, const QString& name)
{
    if (m_listedPath != folderPath) {
        m_listedPath = folderPath;
        m_listed.clear();
        if (DIR* list = ::opendir(QFile::encodeName(folderPath).constData())) {
            while (const dirent* entry = ::readdir(list))
                m_listed.insert(QFile::decodeName(entry->d_name));
            ::closedir(list);
        }
    }
    return m_listed.contains(name);
}
