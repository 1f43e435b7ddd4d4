#pragma once

#include <QRegularExpression>
#include <QString>

// Files the program keeps in a cache folder of its own (thumbnails), taken out by name: only the
// user's regular files whose whole names the pattern matches; a link, at the folder's name or
// inside it, is never followed, and nothing else there is touched.
class CacheFiles
{
public:
    // Removes such files from folder. False when one could not be removed, with *why naming it and
    // the system's reason; a folder that is not there holds none.
    static bool removeIn(const QString& folder, const QRegularExpression& names, QString* why);
};
