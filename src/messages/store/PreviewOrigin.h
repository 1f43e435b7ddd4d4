#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QFile;

// Which copy of a picture a message preview was drawn from, kept in a small file beside the
// preview: a preview is shown only for the very copy it was drawn from. A copy is known by its
// bytes (its size and a digest of its first and last 16 kB, read anew at each look) and by where
// it stands on its disk (device and inode): never by its name or a time stamp, which a copy made
// anew at the same name keeps on some disks (exFAT tells its write time as its change time). A
// picture no preview could be drawn from is remembered the same way, so that its decoding is not
// done again at every view; a new copy at that place is tried afresh.
class PreviewOrigin
{
public:
    enum class Drawn { Nothing, Picture, NoPicture };

    PreviewOrigin() = default;
    // The copy open in file; on a failed read, *why holds the system's reason and it is invalid.
    static PreviewOrigin of(QFile& file, QString* why);
    // The one kept in the file at path; invalid when there is none or it is not one of ours.
    static PreviewOrigin readFrom(const QString& path);

    bool isValid() const { return m_size >= 0; }
    // Whether a preview drawn (or found not drawable) from this copy holds for now, the copy as it
    // stands now, given the preview file at preview: a picture's preview stands for the same
    // bytes, but only the very preview file written for it; a picture without one only for the
    // very copy.
    bool holdsFor(const PreviewOrigin& now, const QString& preview) const;

    // This copy, with what was drawn from it: the preview at preview (Picture), or none.
    PreviewOrigin drawn(Drawn what, const QString& preview) const;
    // Keeps it at path, replacing what stood there; false when it could not be written whole.
    bool writeTo(const QString& path) const;

private:
    QByteArray text() const;

    quint64 m_device = 0;
    quint64 m_inode = 0;
    qint64 m_size = -1;
    QByteArray m_digest;
    Drawn m_drawn = Drawn::Nothing;
    quint64 m_previewInode = 0;
};
