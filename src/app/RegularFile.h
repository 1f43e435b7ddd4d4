#pragma once

#include <QByteArray>
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
    // The same for the file name inside the folder open as dir.
    static bool openReadAt(
        QFile& file, int dir, const QByteArray& name, QString* why, bool followLinks = true);
    // Reads what is left of file to its end, into *bytes when given; false with *why set (the
    // system's reason) when a read fails. QIODevice::readAll takes a read that fails after other
    // bytes for the file's end, and gives a file cut short where the disk failed.
    static bool readToEnd(QFile& file, QByteArray* bytes, QString* why);
    // The same up to at most max bytes: fewer only where the file ends.
    static bool readUpTo(QFile& file, qint64 max, QByteArray* bytes, QString* why);
    // Whether the file at path (not a link) holds exactly bytes: its size is looked at first, so
    // a file of another size is never read.
    static bool holds(const QString& path, const QByteArray& bytes);
    // Reads the file at path through to its end, for a reader (SQLite, a parser, a copy) that failed
    // on it: the system's reason when it cannot be opened or a read fails (a failing disk), for the
    // file is then not known to be damaged; empty when it reads whole. Reads the whole file: only
    // for a road that has already failed.
    static QString readFailure(const QString& path);
    // The reason given for a name that holds something other than a file or a folder.
    static QString notRegularText();
};
