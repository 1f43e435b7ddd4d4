#pragma once

#include "app/HeldFolder.h"

#include <QString>
#include <QtGlobal>

class MadeFiles;
class MadeFolders;
struct stat;

// The folder beside the pages of an HTML export that holds the bubble style sheet and pictures the
// pages are drawn with, and the copies of their attachments. The pages link only files this export
// wrote there or that hold the very bytes it would write: the folder is "files", unless what stands
// at that name is no folder of the user's own (another user's, where everyone may write) or holds a
// bubble file of other bytes (an earlier version's, one the user changed); then the first
// "files(n)" from n = 2 that is fit, made where nothing stands. The bubble files it lacks are
// written into it.
class ExportFilesFolder
{
public:
    // made: the run's folders, the pages' folder their destination; files: where each file written
    // is noted. Throws std::runtime_error when no folder can be made or a bubble file written.
    static ExportFilesFolder takeThrow(MadeFolders& made, MadeFiles& files);

    const HeldFolder& folder() const { return m_folder; }
    // Its name beside the pages.
    const QString& name() const { return m_name; }

    // Whether standing, the lstat of the entry name in folder, is a regular file of the user's own
    // that holds the bytes of the file at source, of size bytes: one the export links as the copy it
    // would write.
    static bool holdsOwn(const HeldFolder& folder, const QString& name, const struct stat& standing,
        const QString& source, qint64 size);

private:
    void writeBubbleThrow(MadeFiles& files) const;

    HeldFolder m_folder;
    QString m_name;
};
