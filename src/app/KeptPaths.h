#pragma once

#include <QSet>
#include <QString>

// The local paths a run of copies gives the phone's relative paths below one folder, each name as
// the readers find it (KeptFileName::standing). A file's name kept as it is stays, unless the disk
// finds another entry by it (another case of it, on a disk that ignores case): the copy then takes
// the aside() name, so that each record keeps a file of its own; a name the disk refuses is fitted
// (KeptFileName::taken). A folder is listed only where the disk finds an entry by a name and by
// that name in another case, once while the run stays in it, so a load reads no folder per file.
class KeptPaths
{
public:
    explicit KeptPaths(QString root);

    // The local path relative takes below the root; the folders on the way are made where a name
    // needs a look at the disk.
    QString pathForWrite(const QString& relative);

private:
    QString nameIn(const QString& folderPath, const QString& folderRelative, const QString& name);
    // Whether the folder at folderPath lists an entry by the very name.
    bool listed(const QString& folderPath, const QString& name);

    QString m_root;
    // The listing of the last folder listed, with the names the run gave there since: one folder's
    // alone, as the run copies a folder's files together.
    QString m_listedPath;
    QSet<QString> m_listed;
};
