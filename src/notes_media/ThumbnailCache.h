#pragma once

#include "backup/MBDBParser.h"

#include <QDir>
#include <QImage>
#include <QString>

// The thumbnails of a backup's pictures, kept as small JPEG files in the folder "thumbnails" of
// the backup's cache folder so that a second visit decodes no picture. An entry is named after
// the record's stored file name, size and modification time, so a picture changed by a later
// sync gets a new entry. A picture that could not be decoded is remembered by a marker entry.
// Each entry is written beside its place and then renamed; a failed or cut-short write only
// loses the entry, which is then made again.
class ThumbnailCache
{
public:
    enum class Entry { Missing, Picture, Undecodable };

    // dataDir is the backup's cache folder; an empty path keeps nothing.
    explicit ThumbnailCache(const QDir& dataDir);

    Entry lookup(const MBDBParser::_MBDBItem& item, QImage* picture) const;
    void storePicture(const MBDBParser::_MBDBItem& item, const QImage& picture) const;
    void storeUndecodable(const MBDBParser::_MBDBItem& item) const;
    // The entry's file; empty when nothing is kept.
    QString entryPath(const MBDBParser::_MBDBItem& item) const;

private:
    void write(const MBDBParser::_MBDBItem& item, const QByteArray& bytes) const;

    QString m_folder;
};
