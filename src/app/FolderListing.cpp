#include "app/FolderListing.h"

#include <QFile>
#include <cstring>
#include <dirent.h>

FolderListing FolderListing::read(const QString& path)
{
    FolderListing listing;
    DIR* list = ::opendir(QFile::encodeName(path).constData());
    if (!list)
        return listing;
    while (const dirent* entry = ::readdir(list))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            listing.add(QFile::decodeName(entry->d_name));
    ::closedir(list);
    return listing;
}

bool FolderListing::listsAnother(const QString& name) const
{
    return m_folded.value(folded(name)) > (m_names.contains(name) ? 1 : 0);
}

void FolderListing::add(const QString& name)
{
    if (!m_names.contains(name)) {
        m_names.insert(name);
        ++m_folded[folded(name)];
    }
}

QString FolderListing::folded(const QString& name)
{
    QString key = name.toCaseFolded();
    while (key.endsWith(QLatin1Char('.')) || key.endsWith(QLatin1Char(' ')))
        key.chop(1);
    return key;
}
