#pragma once

#include "app/FolderListing.h"

#include <QHash>
#include <QString>

// The local paths a run of copies gives the phone's relative paths below one folder, each name as
// the readers find it (KeptFileName::standing). A file's name kept as it is stays, unless the disk
// finds another entry by it (another case of it, on a disk that ignores case): the copy then takes
// the aside() name, so that each record keeps a file of its own; a name the disk refuses is fitted
// (KeptFileName::forWrite). Each folder's listing is read once in the run, looked up by a folded key,
// and learns the names the run gives, so a load of many files reads no folder per file.
class KeptPaths
{
public:
    explicit KeptPaths(QString root);

    // The local path relative takes below the root; the folders on the way are made where a name
    // needs a look at the disk.
    QString pathForWrite(const QString& relative);

private:
    QString nameIn(const QString& folderPath, const QString& folderRelative, const QString& name);
    FolderListing& listingOf(const QString& folderPath);

    QString m_root;
    QHash<QString, FolderListing> m_listings; // by the folder's path, case folded
};
