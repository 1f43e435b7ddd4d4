#pragma once

#include <QByteArray>
#include <QList>

// The relative path of a file record as the tree places it. A record keeps the path it was stored
// with; one with empty or "." parts is placed by its other parts (".." is kept as a name).
class RecordPath
{
public:
    // Whether path has no empty and no "." part, so that it is placed as it stands.
    static bool isClean(const QByteArray& path);
    // The parts of path, without empty and "." parts.
    static QList<QByteArray> parts(const QByteArray& path);
    // Where the parent folder's path ends in a clean path: its last slash, -1 at the top.
    static int parentLength(const QByteArray& cleanPath);
};
