#pragma once

#include <QString>

class QFile;

// Opens files for reading that must be ordinary files. A FIFO or a device under such a name would
// block the open or the reads for ever, so the open never waits and the type is checked first.
class RegularFile
{
public:
    // Opens path read-only into file; false with *why set ("Not a regular file", "Is a directory"
    // or the system's text) when it cannot be opened or is not a regular file. Without followLinks
    // a link at path is not a regular file either.
    static bool openRead(QFile& file, const QString& path, QString* why, bool followLinks = true);
    // The reason given for a name that holds something other than a file or a folder.
    static QString notRegularText();
};
